#include "ui/Main/Oscillogram.h"

#include <algorithm>

namespace tovanel {

int OscillogramWidth(const FrameBuffer& buffer) {
    int32_t widest = 100;
    for (const CodeFrame& slot : buffer.Slots) widest = std::max(widest, slot.Total);
    return static_cast<int>(widest * 0.012 + 186);
}

void PaintOscillogram(QPainter& painter, const FrameBuffer&, const QRect& area) {
    painter.fillRect(area, Qt::white);
}

QImage RenderOscillogram(const FrameBuffer& buffer) {
    QImage image(OscillogramWidth(buffer), OscillogramHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    PaintOscillogram(painter, buffer, image.rect());
    return image;
}

}  // namespace tovanel
