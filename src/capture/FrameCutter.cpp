#include "capture/FrameCutter.h"

#include "capture/FrameAssembler.h"

namespace tovanel {

void FrameCutter::Push(uint32_t interval, bool mark) {
    if (interval >= FrameEndInterval) {
        if (count_ > 0 && emit_) emit_(interval, durations_, count_);
        Reset();
    } else if (mark == expectMark_) {
        expectMark_ = !expectMark_;
        if (count_ < MaxFrameDurations) durations_[count_++] = static_cast<int32_t>(interval);
    } else {
        // Two marks or two spaces in a row: an edge was lost, the partial
        // frame is worthless.
        Reset();
    }
}

void FrameCutter::IdleTimeout() {
    if (count_ > 0) Push(UnknownGap, false);
}

void FrameCutter::Reset() {
    count_ = 0;
    expectMark_ = true;
}

}  // namespace tovanel
