// The oscillogram: the ten slots of the recording buffer drawn as rows of
// two-level traces with their texts and the decoded fields shaded. One
// painter serves the window's paint box, `tovanel-analyze --plot` and the
// benchmarks; it holds no widget and paints a buffer snapshot into any
// QPainter.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

#include "analysis/CodeFrame.h"

namespace tovanel {

inline constexpr int OscillogramHeight = 562;

// Width of the paint box for a buffer: the widest frame at 12 pixels per
// millisecond (at least 100 µs) plus the text column.
int OscillogramWidth(const FrameBuffer& buffer);

// Paints the buffer into `area` (the part to repaint, in paint-box
// coordinates; the painter's origin is the paint box's top-left corner).
void PaintOscillogram(QPainter& painter, const FrameBuffer& buffer, const QRect& area);

// The whole paint box as an image of OscillogramWidth × OscillogramHeight.
QImage RenderOscillogram(const FrameBuffer& buffer);

}  // namespace tovanel
