// The first key press of a recording in any of the analyser's input
// formats: its frames as a receiver would have delivered them, or analysed
// in a recording buffer as a receiver's burst is. "Open recording..."
// plays the frames; tovanel-db looks the analysed burst up or stores it.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "analysis/CodeFrame.h"
#include "tools/analyze/AnalyzeTool.h"

namespace tovanel {

struct RecordedFrame {
    uint32_t gap = 0;                // silence before the frame, µs (0 for the first)
    std::vector<int32_t> durations;  // µs, mark first
    std::vector<int16_t> samples;    // raw input around the frame (WAV only)
};

struct Recording {
    std::string name;  // the file's name, for messages
    std::vector<RecordedFrame> frames;
};

// The frames of the first burst of a durations, mode2, WAV or code-text
// stream (WAV through the sound card's edge detector with the given
// parameters; code texts with the pauses their periods give). False
// with a message naming the first bad line (and how many more there are),
// or what is wrong with the WAV data.
bool ReadFirstBurst(std::istream& in, InputFormat format, int32_t pulseTime, int32_t pulseLevel, Recording& out,
                    std::string& error);

// The first burst of `in`, analysed into `buffer` (emptied first) as a
// receiver's burst: its frames through a frame assembler with the forced
// protocol, modulation and layout of `settings`; code texts each with its
// own period, as a stored key is loaded. False with a message that begins
// with `name` when the input is bad or holds no frame.
bool AnalyzeFirstBurst(std::istream& in, const std::string& name, InputFormat format, const DecodeSettings& settings,
                       int32_t pulseTime, int32_t pulseLevel, FrameBuffer& buffer, std::string& error);

}  // namespace tovanel
