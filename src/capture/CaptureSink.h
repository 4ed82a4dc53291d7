// What a capture path hands on: finished frames, error messages, and the
// news that it stopped by itself (the receiver went away). Each path takes
// these as injected dependencies, so the program wires them to the frame
// assembler and its message boxes, the command line to its printer, and the
// tests to recorders.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tovanel {

// The caption of the capture paths' error boxes.
inline constexpr const char* ApplicationTitle = "Tovanel v2.2.0.1";

// One finished frame: the silence before it (µs, or UnknownGap), its
// durations (µs, mark first) and, from the sound card, the raw samples.
using FrameSink = std::function<void(uint32_t gap, const int32_t* durations, int32_t count,
                                     const int16_t* samples, int32_t sampleCount)>;
// One message for the user; the GUI shows it in a message box captioned
// ApplicationTitle. It may be called on a capture worker thread.
using ErrorSink = std::function<void(const std::string& message)>;

struct CaptureSinks {
    FrameSink frame;
    ErrorSink error;
    // Called once, on the worker thread, after a running capture ended by
    // itself (its error message comes first). The owner still calls the
    // path's stop to release what is left.
    std::function<void()> lost;

    void Frame(uint32_t gap, const int32_t* d, int32_t n, const int16_t* s = nullptr,
               int32_t sc = 0) const {
        if (frame) frame(gap, d, n, s, sc);
    }
    void Error(const std::string& message) const {
        if (error) error(message);
    }
    void Lost(const std::string& message) const {
        Error(message);
        if (lost) lost();
    }
};

}  // namespace tovanel
