#include "capture/FrameAssembler.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <mutex>

#include "analysis/Analyzer.h"

namespace tovanel {

namespace {

int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

uint32_t SteadyTickMs() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

FrameAssembler::FrameAssembler(SharedFrameBuffer& buffer, SharedDecodeSettings& settings,
                               TickClock clock, FrameNotify notify)
    : buffer_(buffer), settings_(settings), clock_(std::move(clock)), notify_(std::move(notify)) {}

void FrameAssembler::SetNotify(FrameNotify notify) { notify_ = std::move(notify); }

void FrameAssembler::SetDropNotify(DropNotify notify) { dropNotify_ = std::move(notify); }

void FrameAssembler::SubmitFrame(uint32_t gap, const int32_t* durations, int32_t count,
                                 const int16_t* samples, int32_t sampleCount) {
    if (count < 1 || durations == nullptr) return;
    // A slot holds 200 durations: a longer list keeps its first 200, and the
    // frame must end with a mark, so an even count loses its last duration.
    const int32_t given = count;
    count = std::min(count, MaxDurations);
    if (count % 2 == 0) --count;

    const DecodeSettings settings = settings_.Get();
    int32_t slot = -1;
    bool decoded = false;
    {
        std::lock_guard lock(buffer_.Mutex());
        FrameBuffer& fb = buffer_.Locked();
        const uint32_t now = clock_();
        const uint32_t elapsed = now - lastSubmitTick_;  // unsigned: wraps harmlessly
        if (elapsed > BurstPauseMs) {
            ResetFrameBuffer(fb);
            gap = 0;
        } else if (gap >= UnknownGap) {
            gap = elapsed * 1000;
        }
        // Also for a dropped frame: a key held down keeps the burst alive.
        lastSubmitTick_ = now;
        if (fb.FillCount < SlotCount) {
            slot = fb.FillCount;
            CodeFrame& f = fb.Slots[slot];
            f.Period = slot == 0 ? 0 : Saturate(int64_t{gap} + fb.Slots[slot - 1].Total);
            std::memcpy(f.Durations, durations, sizeof(int32_t) * static_cast<size_t>(count));
            f.Count = count;
            // Total, no flags, and nothing of the slot's earlier frame past Count.
            PrepareFrameInput(f);
            if (durations[0] == LeadInMark && captureSource_ == Source::IgorPlug) f.Flags[0] |= Recovered;
            if (samples != nullptr && sampleCount > 0) {
                f.SampleCount = std::min(sampleCount, MaxSamples);
                std::memcpy(f.Samples, samples, sizeof(int16_t) * static_cast<size_t>(f.SampleCount));
            }
            f.SlotIndex = slot;
            decoded = AnalyzeFrame(f, settings.ForcedModulation, settings.ForcedProtocol, settings);
            fb.FillCount = slot + 1;
        }
    }
    if (slot < 0) {
        if (dropNotify_) dropNotify_(given, 0);
        return;
    }
    if (notify_) notify_(slot, decoded);
    if (given > MaxDurations && dropNotify_) dropNotify_(given, count);
}

FrameAssembler& GlobalAssembler() {
    static FrameAssembler assembler(GlobalFrameBuffer(), GlobalDecodeSettings());
    return assembler;
}

void SubmitFrame(uint32_t gap, const int32_t* durations, int32_t count, const int16_t* samples,
                 int32_t sampleCount) {
    GlobalAssembler().SubmitFrame(gap, durations, count, samples, sampleCount);
}

}  // namespace tovanel
