// Geometry and colours of the oscillogram, in logical pixels. The paint box
// is ten rows of 53 pixels, one per slot of the recording buffer: a text
// column on the left, the frame's trace from x = 180 on a fixed time scale.
#pragma once

#include <QColor>

#include "analysis/CodeFrame.h"

namespace tovanel::osc {

// Rows: row k begins at y = RowHeight × k; a silver line at y = RowHeight × k
// − 1 separates it from the row above.
inline constexpr int RowHeight = 53;
inline constexpr int RowCount = SlotCount;
// Ten rows and room below for the last row's texts and shading.
inline constexpr int BoxHeight = 562;

// Trace levels below the row's top. With raw samples the low level moves up
// to leave room for the raw signal underneath.
inline constexpr int HighLevel = 10;
inline constexpr int LowBelowHigh = 32;
inline constexpr int LowBelowHighWithSamples = 13;
// Shading reaches this far below the low level.
inline constexpr int ShadeDepth = 5;

// Texts: four lines 13 pixels apart in two columns, each in a cell 14 pixels
// high filled with the text's background colour (the next line's cell
// overlaps the last pixel row of the one above).
inline constexpr int TextLineStep = 13;
inline constexpr int TextColumn1 = 4;
inline constexpr int TextColumn2 = 72;
inline constexpr int TextCellHeight = 14;
// "Recovered" is written this far right of and below the lead-in mark's start.
inline constexpr int RecoveredOffset = 10;

// Time scale: 12 pixels per millisecond, the trace starting right of the
// 180-pixel text column.
inline constexpr int TraceStart = 180;
inline constexpr double PixelsPerMicrosecond = 0.012;

// The paint box is as wide as the widest frame (at least 100 µs) plus the
// text column and 6 pixels.
inline constexpr int32_t MinWidthMicroseconds = 100;
inline constexpr int WidthMargin = TraceStart + 6;
// Beyond this a frame of absurd durations would ask for an image of
// gigabytes; 32767 pixels hold 2.7 s, far more than any receiver delivers.
inline constexpr int MaxBoxWidth = 32767;

// Raw signal: one column per 4 samples (83.3 µs at 48 kHz, 1.0 pixel), its
// centre line 14 pixels below the low level, the 16-bit range over 16
// pixels. It starts at x = 177 because the sound path keeps 16 samples (4
// columns) before the first edge, so it lines up with the trace at 180.
inline constexpr int RawStart = 177;
inline constexpr int RawCentreBelowLow = 14;
inline constexpr int RawRangePixels = 16;
inline constexpr int SamplesPerColumn = 4;

// Colours.
inline constexpr QColor Background{255, 255, 255};
inline constexpr QColor Separator{192, 192, 192};
inline constexpr QColor Trace{0, 0, 0};
inline constexpr QColor TextColour{0, 0, 0};
inline constexpr QColor RawSignal{0, 128, 0};
inline constexpr QColor ProtocolBackground{192, 255, 192};
inline constexpr QColor ModulationBackground{255, 255, 192};
inline constexpr QColor AdrColour{192, 255, 192};
inline constexpr QColor CmdColour{192, 192, 255};
inline constexpr QColor ModeColour{255, 255, 64};
inline constexpr QColor HeaderTrailerShade{208, 208, 208};
inline constexpr QColor RecoveredBackground{255, 192, 192};
inline constexpr QColor StartBitShade{128, 128, 128};
inline constexpr QColor ToggleBitShade{255, 64, 64};
// Check copies are shaded paler than the values they check.
inline constexpr QColor AdrCheckCopyShade{240, 255, 240};
inline constexpr QColor CmdCheckCopyShade{240, 240, 255};

}  // namespace tovanel::osc
