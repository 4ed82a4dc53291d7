#include "capture/EdgeDetector.h"

#include <algorithm>
#include <cstring>

#include "capture/FrameAssembler.h"

namespace tovanel {

EdgeDetector::EdgeDetector(FrameSink sink) : sink_(std::move(sink)) {}

void EdgeDetector::SetPulseTime(int32_t samples) {
    pulseTime_.store(std::clamp(samples, MinPulseTime, MaxPulseTime), std::memory_order_relaxed);
}

void EdgeDetector::SetPulseLevel(int32_t percent) {
    pulseLevel_.store(std::clamp(percent, MinPulseLevel, MaxPulseLevel), std::memory_order_relaxed);
}

void EdgeDetector::Reset() {
    lastEdgePos_ = 0;
    lastEdgeSign_ = 0;
    inFrame_ = false;
    gapSamples_ = 0;
    pendingCount_ = 0;
    pendingSampleCount_ = 0;
    std::memset(history_, 0, sizeof history_);
}

void EdgeDetector::DetectEdges(const int16_t* samples, size_t byteCount) {
    if (samples == nullptr) return;
    // Long pieces go in chunks, so positions stay small numbers; the result
    // does not depend on how the input is divided.
    size_t n = byteCount / 2;
    while (n > 0) {
        const auto len = static_cast<int32_t>(std::min<size_t>(n, Chunk));
        Block(samples, len);
        samples += len;
        n -= static_cast<size_t>(len);
    }
}

void EdgeDetector::Hand() {
    inFrame_ = false;
    if (pendingCount_ > 0) {
        for (int32_t k = 0; k < pendingCount_; ++k)
            micros_[k] = static_cast<int32_t>(SamplesToMicros(pending_[k]));
        const int64_t gap = std::min<int64_t>(SamplesToMicros(gapSamples_), UnknownGap);
        if (sink_)
            sink_(static_cast<uint32_t>(gap), micros_, pendingCount_, pendingSamples_,
                  pendingSampleCount_);
    }
    pendingCount_ = 0;
    pendingSampleCount_ = 0;
}

void EdgeDetector::Block(const int16_t* s, int32_t n) {
    const int32_t N = std::clamp(PulseTime(), MinPulseTime, MaxPulseTime);
    const int32_t T = std::clamp(PulseLevel(), MinPulseLevel, MaxPulseLevel) * LevelUnit;
    const int32_t half = N / 2;
    int32_t peak = PeakLevel();

    for (int32_t i = 0; i < n; ++i) {
        const int32_t pos = i - half;
        const int32_t since = pos - lastEdgePos_;
        if (inFrame_) {
            if (pendingSampleCount_ < MaxFrameSamples) pendingSamples_[pendingSampleCount_++] = s[i];
            if (pendingCount_ == MaxPending || since >= SilenceSamples) Hand();
        }
        const int32_t d = int32_t{s[i]} - (i >= N ? s[i - N] : history_[History + i - N]);
        const int32_t ad = d < 0 ? -d : d;
        if (ad > peak) peak = ad;
        if (ad < T) continue;
        const int32_t sign = d > 0 ? 1 : -1;
        if (sign == lastEdgeSign_) continue;  // still the same edge
        lastEdgeSign_ = sign;
        lastEdgePos_ = pos;
        if (since >= SilenceSamples) {
            // A frame starts at this edge, with the samples just before it.
            gapSamples_ = since;
            inFrame_ = true;
            pendingCount_ = 0;
            for (int32_t k = i - PreTrigger; k <= i; ++k) pendingSamples_[k - (i - PreTrigger)] = At(s, k);
            pendingSampleCount_ = PreTrigger + 1;
        } else if (inFrame_) {
            pending_[pendingCount_++] = since;
        }
    }

    // Published once per block: a clear that races with it only costs the
    // meter one reading.
    if (peak > PeakLevel()) peakLevel_.store(peak, std::memory_order_relaxed);
    KeepHistory(s, n);
    lastEdgePos_ = std::max(lastEdgePos_ - n, EdgePosFloor);
}

void EdgeDetector::KeepHistory(const int16_t* s, int32_t n) {
    if (n >= History) {
        std::memcpy(history_, s + (n - History), sizeof(int16_t) * History);
        return;
    }
    std::memmove(history_, history_ + n, sizeof(int16_t) * static_cast<size_t>(History - n));
    std::memcpy(history_ + (History - n), s, sizeof(int16_t) * static_cast<size_t>(n));
}

}  // namespace tovanel
