#include "analysis/CodeFrame.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

namespace tovanel {

void ResetFrameBuffer(FrameBuffer& buffer) {
    buffer.FillCount = 0;
    for (CodeFrame& slot : buffer.Slots) {
        slot.Count = 0;
        slot.SampleCount = 0;
        slot.Period = 0;
        slot.Total = 0;
        slot.MarkClassCount = 0;
        slot.SpaceClassCount = 0;
    }
}

void ClearFrame(CodeFrame& frame) { std::memset(&frame, 0, sizeof frame); }

void PrepareFrameInput(CodeFrame& f) {
    const int32_t count = std::clamp(f.Count, 0, MaxDurations);
    int64_t total = 0;
    for (int32_t i = 0; i < count; ++i) total += f.Durations[i];
    f.Total = static_cast<int32_t>(std::clamp<int64_t>(total, std::numeric_limits<int32_t>::min(),
                                                        std::numeric_limits<int32_t>::max()));
    std::fill(f.Durations + count, std::end(f.Durations), 0);
    std::fill(std::begin(f.Flags), std::end(f.Flags), 0u);
    std::fill(std::begin(f.ClassIndex), std::end(f.ClassIndex), 0);
}

SharedFrameBuffer::SharedFrameBuffer() { std::memset(&buffer_, 0, sizeof buffer_); }

void SharedFrameBuffer::Reset() {
    std::lock_guard lock(mutex_);
    ResetFrameBuffer(buffer_);
}

void SharedFrameBuffer::CopyTo(FrameBuffer& out) const {
    std::lock_guard lock(mutex_);
    std::memcpy(&out, &buffer_, sizeof out);
}

void SharedFrameBuffer::CopySlot(int slot, CodeFrame& out) const {
    if (slot < 0 || slot >= SlotCount) {
        ClearFrame(out);
        return;
    }
    std::lock_guard lock(mutex_);
    std::memcpy(&out, &buffer_.Slots[slot], sizeof out);
}

int32_t SharedFrameBuffer::FillCount() const {
    std::lock_guard lock(mutex_);
    return buffer_.FillCount;
}

DecodeSettings SharedDecodeSettings::Get() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

void SharedDecodeSettings::Set(const DecodeSettings& settings) {
    std::lock_guard lock(mutex_);
    settings_ = settings;
}

SharedFrameBuffer& GlobalFrameBuffer() {
    // On the heap: the buffer is about 100 KiB.
    static const std::unique_ptr<SharedFrameBuffer> buffer = std::make_unique<SharedFrameBuffer>();
    return *buffer;
}

SharedDecodeSettings& GlobalDecodeSettings() {
    static SharedDecodeSettings settings;
    return settings;
}

}  // namespace tovanel
