#include "ui/Main/OscillogramBox.h"

#include <algorithm>
#include <cmath>

#include <QHelpEvent>
#include <QtMath>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

namespace tovanel {

namespace {

// The tooltip sits right of the pointer rather than under it, where it
// would cover what the user looks at and flicker as the pointer moves.
const QPoint ToolTipOffset(16, -20);
// The hovered duration is tinted, not outlined, so its shading stays visible.
const QColor HoverTint(0, 0, 255, 48);

int Column(double x) { return static_cast<int>(std::clamp(x, -1e7, 1e7)); }

}  // namespace

OscillogramBox::OscillogramBox(QWidget* parent)
    : QWidget(parent),
      buffer_(std::make_unique<FrameBuffer>()),
      starts_(std::make_unique<DurationStartArray[]>(SlotCount)) {
    setObjectName(QStringLiteral("PaintBox1"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    ResetFrameBuffer(*buffer_);
    ShowBuffer(*buffer_);
}

void OscillogramBox::ShowBuffer(const FrameBuffer& snapshot) {
    if (&snapshot != buffer_.get()) *buffer_ = snapshot;
    for (int row = 0; row < SlotCount; ++row) DurationStarts(buffer_->Slots[row], starts_[row]);
    Render();
    setFixedSize(OscillogramWidth(*buffer_), OscillogramHeight);
    hover_ = {};
    update();
    if (QToolTip::isVisible() && underMouse()) {
        const QPoint at = mapFromGlobal(QCursor::pos());
        ShowToolTip(at, QCursor::pos());
    }
}

void OscillogramBox::Render() {
    const qreal ratio = devicePixelRatioF();
    const QSize size(OscillogramWidth(*buffer_), OscillogramHeight);
    // Repainting the image in place spares a new image (megabytes of fresh
    // pages) per frame while the width stays the same.
    const QSize device(static_cast<int>(std::ceil(size.width() * ratio)),
                       static_cast<int>(std::ceil(size.height() * ratio)));
    if (image_.isNull() || image_.devicePixelRatio() != ratio || image_.size() != device) {
        image_ = RenderOscillogram(*buffer_, ratio);
        return;
    }
    QPainter painter(&image_);
    PaintOscillogram(painter, *buffer_, QRect(QPoint(0, 0), size));
}

OscillogramBox::Hit OscillogramBox::HitAt(QPoint position) const {
    const int row = OscillogramRowAt(position.y());
    if (row < 0) return {};
    const int index = DurationAtX(buffer_->Slots[row], starts_[row], position.x());
    if (index < 0) return {};
    return {row, index};
}

QString OscillogramBox::ToolTipAt(QPoint position) const {
    const Hit hit = HitAt(position);
    return hit.row < 0 ? QString() : DurationToolTip(buffer_->Slots[hit.row], hit.row, hit.index);
}

QRect OscillogramBox::HitRect(const Hit& hit) const {
    if (hit.row < 0) return {};
    const RowLevels levels = OscillogramRowLevels(buffer_->Slots[hit.row], hit.row);
    const int left = Column(starts_[hit.row][hit.index]);
    const int right = std::max(left + 1, Column(starts_[hit.row][hit.index + 1]));
    return QRect(left, levels.high - 2, right - left, levels.low + osc::ShadeDepth + 2 - (levels.high - 2));
}

void OscillogramBox::SetHover(const Hit& hit) {
    if (hit == hover_) return;
    update(HitRect(hover_));
    hover_ = hit;
    update(HitRect(hover_));
}

void OscillogramBox::ShowToolTip(QPoint position, QPoint globalPosition) {
    const Hit hit = HitAt(position);
    SetHover(hit);
    if (hit.row < 0) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(globalPosition + ToolTipOffset,
                       DurationToolTip(buffer_->Slots[hit.row], hit.row, hit.index), this,
                       HitRect(hit));
}

bool OscillogramBox::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        ShowToolTip(help->pos(), help->globalPos());
        return true;
    }
    return QWidget::event(event);
}

void OscillogramBox::paintEvent(QPaintEvent* event) {
    // The screen may have changed since the image was made.
    if (!qFuzzyCompare(image_.devicePixelRatio(), devicePixelRatioF())) Render();
    QPainter painter(this);
    const QRect area = event->rect();
    const qreal ratio = image_.devicePixelRatio();
    painter.drawImage(area, image_,
                      QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio,
                             area.height() * ratio));
    if (hover_.row >= 0) painter.fillRect(HitRect(hover_), HoverTint);
}

void OscillogramBox::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at(qFloor(event->position().x()), qFloor(event->position().y()));
    // While a tooltip shows, it follows the pointer from duration to
    // duration; the first one waits for the usual tooltip delay.
    if (QToolTip::isVisible())
        ShowToolTip(at, event->globalPosition().toPoint());
    else
        SetHover(HitAt(at));
    QWidget::mouseMoveEvent(event);
}

void OscillogramBox::leaveEvent(QEvent* event) {
    SetHover({});
    QWidget::leaveEvent(event);
}

}  // namespace tovanel
