// Cuts a stream of timed line changes (marks and spaces in µs) into frames,
// the way the serial-port frame thread does: a frame starts with the first
// mark after a reset, consists of alternating marks and spaces of at most
// 10200 µs, and ends at the first longer interval or at an idle time-out.
// Shared by every receiver that delivers individual intervals.
#pragma once

#include <cstdint>
#include <functional>

namespace tovanel {

class FrameCutter {
public:
    // The shortest interval that ends a frame; 10200 µs still belongs to it.
    static constexpr uint32_t FrameEndInterval = 10201;
    // Durations kept per frame; later ones are dropped while the
    // mark/space alternation is still followed.
    static constexpr int MaxFrameDurations = 1024;

    // Receives each finished frame: the interval that ended it (or
    // UnknownGap after an idle time-out) and its durations, mark first.
    using Emit = std::function<void(uint32_t gap, const int32_t* durations, int32_t count)>;

    explicit FrameCutter(Emit emit) : emit_(std::move(emit)) {}

    // One interval that just ended; `mark` is true when it was a mark.
    void Push(uint32_t interval, bool mark);
    // No edge for the idle time: ends the frame in progress, if any.
    void IdleTimeout();
    // Forgets the frame in progress.
    void Reset();

    bool Collecting() const { return count_ > 0; }
    int32_t Count() const { return count_; }

private:
    Emit emit_;
    int32_t durations_[MaxFrameDurations] = {};
    int32_t count_ = 0;
    bool expectMark_ = true;
};

}  // namespace tovanel
