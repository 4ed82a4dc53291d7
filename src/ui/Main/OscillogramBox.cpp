#include "ui/Main/OscillogramBox.h"

#include <QPaintEvent>
#include <QPainter>

#include "ui/Main/Oscillogram.h"

namespace tovanel {

OscillogramBox::OscillogramBox(QWidget* parent)
    : QWidget(parent), buffer_(std::make_unique<FrameBuffer>()) {
    setObjectName(QStringLiteral("PaintBox1"));
    ResetFrameBuffer(*buffer_);
    ShowBuffer(*buffer_);
}

void OscillogramBox::ShowBuffer(const FrameBuffer& snapshot) {
    if (&snapshot != buffer_.get()) *buffer_ = snapshot;
    image_ = RenderOscillogram(*buffer_);
    setFixedSize(image_.size());
    update();
}

void OscillogramBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), image_, event->rect());
}

}  // namespace tovanel
