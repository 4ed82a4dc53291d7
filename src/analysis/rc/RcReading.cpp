#include "analysis/rc/RcReading.h"

#include <algorithm>

#include "analysis/rc/RcTiming.h"

namespace tovanel {

namespace {

// The registry of readers, one per protocol family. Their frames differ in
// length or leader, so at most one of them fits a frame; the order only
// decides which is tried first.
using Reader = std::optional<RcReading> (*)(const rc::BurstAt& at);
constexpr Reader Readers[] = {
    rc::ReadNec, rc::ReadRc5, rc::ReadRc6, rc::ReadSony, rc::ReadJvc, rc::ReadSanyo, rc::ReadSharp, rc::ReadRcmm,
};

}  // namespace

std::vector<std::optional<RcReading>> ReadRcBurst(std::span<const RcDurations> burst) {
    std::vector<std::optional<RcReading>> readings(burst.size());
    for (size_t i = 0; i < burst.size(); ++i) {
        const rc::BurstAt at{burst, i, std::span(readings).first(i)};
        for (Reader read : Readers)
            if ((readings[i] = read(at))) break;
    }
    return readings;
}

std::optional<RcReading> ReadRcSlot(const FrameBuffer& buffer, int32_t slot) {
    RcDurations burst[SlotCount];
    size_t frames = 0;
    for (const CodeFrame& f : buffer.Slots) {
        if (f.Count <= 0) break;
        burst[frames++] = RcDurations(f.Durations, static_cast<size_t>(std::min(f.Count, MaxDurations)));
    }
    if (slot < 0 || static_cast<size_t>(slot) >= frames) return std::nullopt;
    // Frames after the slot matter only to the one right after it.
    const size_t used = std::min(frames, static_cast<size_t>(slot) + 2);
    return ReadRcBurst(std::span(burst, used))[static_cast<size_t>(slot)];
}

bool RcReadingWaitsForNext(RcDurations frame) { return rc::IsSharpFirstFrame(frame); }

}  // namespace tovanel
