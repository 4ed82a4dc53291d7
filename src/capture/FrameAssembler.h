// The frame assembler every capture path ends in: it stores a finished frame
// in the next free slot of the recording buffer, analyses it on the calling
// thread and tells the main window which slot was filled.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "analysis/CodeFrame.h"

namespace tovanel {

// A gap of this value or more means the caller did not measure the pause
// before the frame.
inline constexpr uint32_t UnknownGap = 0xFFFFFF;
// The longest pause between two frames that still continues a burst, ms.
inline constexpr uint32_t BurstPauseMs = 300;
// The lead-in mark USB paths put in front of a frame that lost its first mark.
inline constexpr int32_t LeadInMark = 20000;

// The receivers, numbered as the settings file and the setup dialog count them.
namespace Source {
inline constexpr int32_t Com = 1;
inline constexpr int32_t Sound = 2;
inline constexpr int32_t IgorPlug = 3;
inline constexpr int32_t IgorPlug2 = 4;
inline constexpr int32_t Lirc = 5;
}  // namespace Source

// A 32-bit millisecond tick count (wraps after 49 days, harmlessly).
using TickClock = std::function<uint32_t()>;
// Told after every stored frame: the slot index and the analysis result.
// Called on the submitting thread after the buffer lock is released.
using FrameNotify = std::function<void(int32_t slot, bool decoded)>;
// Told when a frame was not stored whole: `stored` is 0 when the buffer was
// full and the frame was dropped, otherwise the durations kept of a list of
// `given` that was longer than a slot. Called on the submitting thread
// after the buffer lock is released (after FrameNotify for a stored frame).
using DropNotify = std::function<void(int32_t given, int32_t stored)>;

// Milliseconds of the monotonic clock, truncated to 32 bits.
uint32_t SteadyTickMs();

class FrameAssembler {
public:
    FrameAssembler(SharedFrameBuffer& buffer, SharedDecodeSettings& settings,
                   TickClock clock = SteadyTickMs, FrameNotify notify = nullptr);

    // Stores one frame of `count` durations (µs, mark first). `gap` is the
    // silence before it in µs, or UnknownGap. Samples are optional.
    void SubmitFrame(uint32_t gap, const int32_t* durations, int32_t count,
                     const int16_t* samples = nullptr, int32_t sampleCount = 0);

    void SetNotify(FrameNotify notify);
    void SetDropNotify(DropNotify notify);
    void SetCaptureSource(int32_t source) { captureSource_ = source; }
    int32_t CaptureSource() const { return captureSource_; }
    uint32_t LastSubmitTick() const { return lastSubmitTick_; }

private:
    SharedFrameBuffer& buffer_;
    SharedDecodeSettings& settings_;
    TickClock clock_;
    FrameNotify notify_;
    DropNotify dropNotify_;
    std::atomic<int32_t> captureSource_{Source::Com};
    std::atomic<uint32_t> lastSubmitTick_{0};
};

// The program's assembler over the global buffer and settings.
FrameAssembler& GlobalAssembler();

// Free-function form used by the capture paths.
void SubmitFrame(uint32_t gap, const int32_t* durations, int32_t count,
                 const int16_t* samples = nullptr, int32_t sampleCount = 0);

}  // namespace tovanel
