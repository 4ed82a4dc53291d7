// The kernel's IR receivers (/dev/lircN) deliver mode2 words: the top byte
// the kind, the low 24 bits microseconds. Mode2Reader cuts them into frames
// exactly like the serial path does with its line changes.
#pragma once

#include <cstdint>

#include "capture/CaptureSink.h"
#include "capture/FrameCutter.h"

namespace tovanel {

enum class Mode2Kind : uint8_t { Space = 0, Pulse = 1, Frequency = 2, Timeout = 3, Overflow = 4 };

struct Mode2Word {
    uint8_t kind;    // Mode2Kind, or another value for a kind not known here
    uint32_t value;  // µs (Hz for a frequency)
};

inline Mode2Word DecodeMode2(uint32_t word) {
    return {static_cast<uint8_t>(word >> 24), word & 0x00FFFFFFu};
}

class Mode2Reader {
public:
    explicit Mode2Reader(FrameSink sink);

    // Pulses and spaces extend the frame; a time-out ends it; an overflow
    // means lost input and discards it; other kinds carry no timing.
    void Word(uint32_t word);
    // No word for the idle time: ends the frame in progress.
    void IdleTimeout() { cutter_.IdleTimeout(); }
    void Reset() { cutter_.Reset(); }
    bool Collecting() const { return cutter_.Collecting(); }

private:
    FrameSink sink_;
    FrameCutter cutter_;
};

}  // namespace tovanel
