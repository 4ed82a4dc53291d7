// The kernel's reading of captured frames: which protocol and scancode the
// Linux remote-control core would report for each frame of a burst. It is
// worked out from the durations alone with each protocol's own timings,
// whatever the analyser recognised, and is none where no protocol fits.
//
// A frame is read in its burst: repeat codes report the scancode of the
// frame they repeat, and Sharp's scancode needs the inverted frame that
// follows it (the reading is on the first frame of the pair).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/CodeFrame.h"
#include "analysis/rc/RcProtocols.h"

namespace tovanel {

// One frame: durations in µs, mark first. A trailing space is ignored.
using RcDurations = std::span<const int32_t>;

// The reading of every frame of a burst (the frames of one key press, in
// the order they arrived).
std::vector<std::optional<RcReading>> ReadRcBurst(std::span<const RcDurations> burst);

// The reading of one slot of a recording buffer; its burst is slots 0 up to
// the first empty one. None for an empty slot or one outside the buffer.
std::optional<RcReading> ReadRcSlot(const FrameBuffer& buffer, int32_t slot);

// True when the frame can only be read together with the frame after it
// (the first frame of a Sharp pair): who prints frames as they arrive waits
// for the next one before printing this one.
bool RcReadingWaitsForNext(RcDurations frame);

}  // namespace tovanel
