// The oscillogram: the ten slots of the recording buffer drawn as rows of
// two-level traces with their texts and the decoded fields shaded. One
// painter serves the window's paint box, `tovanel-analyze --plot` and the
// benchmarks; it holds no widget and paints a buffer snapshot into any
// QPainter. The hit-testing functions below use the same geometry and the
// same accumulation of x as the painter, so what a tooltip names is what is
// shaded under the pointer.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

#include "analysis/CodeFrame.h"
#include "ui/Main/OscillogramGeometry.h"

namespace tovanel {

inline constexpr int OscillogramHeight = osc::BoxHeight;

// Width of the paint box for a buffer: the widest frame at 12 pixels per
// millisecond (at least 100 µs) plus the text column, at most
// osc::MaxBoxWidth.
int OscillogramWidth(const FrameBuffer& buffer);

// Paints the buffer into `area` (the part to repaint, in paint-box
// coordinates; the painter's origin is the paint box's top-left corner).
// Nothing outside `area` is touched. The painter's state is restored.
void PaintOscillogram(QPainter& painter, const FrameBuffer& buffer, const QRect& area);

// The whole paint box as an image of OscillogramWidth × OscillogramHeight
// logical pixels; with a device pixel ratio above 1 the image has that many
// more device pixels and carries the ratio.
QImage RenderOscillogram(const FrameBuffer& buffer);
QImage RenderOscillogram(const FrameBuffer& buffer, qreal devicePixelRatio);

// One line of a row's text column.
struct OscillogramText {
    int x = 0;
    int y = 0;
    QColor background;
    char text[64] = {};
};
inline constexpr int MaxRowTexts = 7;

// The texts of row `row` showing `slot`, in paint order (a later cell may
// cover part of an earlier one). Returns how many; none for an empty slot.
int RowTexts(const CodeFrame& slot, int row, OscillogramText (&texts)[MaxRowTexts]);

// Hit-testing.

// The row under y, or -1 outside the ten rows.
int OscillogramRowAt(int y);

struct RowLevels {
    int top;   // first pixel row
    int high;  // y of the trace's high level
    int low;   // y of the trace's low level
};
RowLevels OscillogramRowLevels(const CodeFrame& slot, int row);

// The one step of the trace's x: floating point, so that the fractions of
// short durations add up instead of being lost per duration. Drawing
// coordinates are x truncated toward zero.
inline double NextDurationX(double x, int32_t duration) {
    return x + duration * osc::PixelsPerMicrosecond;
}

// starts[i] = x where duration i begins, for i = 0..Count (starts[Count] is
// where the trace ends), accumulated exactly as the painter does.
using DurationStartArray = double[MaxDurations + 1];
void DurationStarts(const CodeFrame& slot, DurationStartArray& starts);

// x where duration i of the slot begins (i = Count: where the trace ends).
double DurationX(const CodeFrame& slot, int i);

// The duration drawn over pixel column `x`, found by a binary search over
// the starts; -1 left of the trace or right of its end.
int DurationAtX(const CodeFrame& slot, const DurationStartArray& starts, int x);

// What a tooltip tells about duration i of the slot in row `row`: its
// index, mark or space, length, class and roles.
QString DurationToolTip(const CodeFrame& slot, int row, int i);

}  // namespace tovanel
