// The sound card's edge detector. An IR receiver module on the sound input
// gives a square-ish wave; an edge is where the difference of two samples
// PulseTime apart reaches PulseLevel percent of full scale, with the edge
// directions alternating. Intervals between edges become the frame's
// durations; 490 samples (about 10.2 ms) without an edge, or 200 durations,
// end a frame, which is handed on with the raw samples from 16 samples
// before its first edge.
//
// Fed blocks of 48 kHz 16-bit mono samples in order by one thread. The
// parameters may be changed from another thread at any time; they take
// effect from the next block. PeakLevel is read and cleared by the level
// meter on another thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "capture/CaptureSink.h"

namespace tovanel {

class EdgeDetector {
public:
    static constexpr int32_t SampleRate = 48000;
    static constexpr int32_t SilenceSamples = 490;   // ends a frame
    static constexpr int32_t MaxPending = 200;       // durations per frame
    static constexpr int32_t MaxFrameSamples = 4096; // raw samples kept per frame
    static constexpr int32_t PreTrigger = 16;        // samples kept before the first edge
    static constexpr int32_t LevelUnit = 655;        // one percent of full scale
    static constexpr int32_t EdgePosFloor = -1000000;
    static constexpr int32_t MinPulseTime = 1, MaxPulseTime = 1000, DefaultPulseTime = 2;
    static constexpr int32_t MinPulseLevel = 1, MaxPulseLevel = 100, DefaultPulseLevel = 10;

    explicit EdgeDetector(FrameSink sink = nullptr);

    void SetSink(FrameSink sink) { sink_ = std::move(sink); }

    // Window length N in samples and threshold in percent. Values outside
    // 1..1000 and 1..100 are clamped into them.
    void SetPulseTime(int32_t samples);
    void SetPulseLevel(int32_t percent);
    int32_t PulseTime() const { return pulseTime_.load(std::memory_order_relaxed); }
    int32_t PulseLevel() const { return pulseLevel_.load(std::memory_order_relaxed); }

    // Forgets everything but PeakLevel: no edge yet, no frame, silent history.
    void Reset();

    // Feeds `byteCount / 2` signed 16-bit samples.
    void DetectEdges(const int16_t* samples, size_t byteCount);

    // Largest absolute difference seen since the last clear.
    int32_t PeakLevel() const { return peakLevel_.load(std::memory_order_relaxed); }
    // Returns PeakLevel and clears it, for the level meter.
    int32_t TakePeakLevel() { return peakLevel_.exchange(0, std::memory_order_relaxed); }

    // Samples × 1000 / 48, truncating: one sample is 20.833 µs.
    static int64_t SamplesToMicros(int64_t samples) { return samples * 1000 / 48; }

    // Inspection, for tests.
    bool InFrame() const { return inFrame_; }
    int32_t LastEdgePos() const { return lastEdgePos_; }
    int32_t LastEdgeSign() const { return lastEdgeSign_; }

private:
    // History: the last samples before the current block; history_[History - 1]
    // is the sample just before it. Long enough for the largest window.
    static constexpr int32_t History = 1024;
    static constexpr int32_t Chunk = 4096;

    void Block(const int16_t* s, int32_t n);
    int16_t At(const int16_t* s, int32_t k) const { return k >= 0 ? s[k] : history_[History + k]; }
    void Hand();
    void KeepHistory(const int16_t* s, int32_t n);

    FrameSink sink_;
    std::atomic<int32_t> pulseTime_{DefaultPulseTime};
    std::atomic<int32_t> pulseLevel_{DefaultPulseLevel};
    std::atomic<int32_t> peakLevel_{0};

    int32_t lastEdgePos_ = 0;
    int32_t lastEdgeSign_ = 0;
    bool inFrame_ = false;
    int32_t gapSamples_ = 0;
    int32_t pendingCount_ = 0;
    int32_t pendingSampleCount_ = 0;
    int32_t pending_[MaxPending] = {};
    int32_t micros_[MaxPending] = {};
    int16_t pendingSamples_[MaxFrameSamples] = {};
    int16_t history_[History] = {};
};

}  // namespace tovanel
