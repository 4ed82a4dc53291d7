// Readers of recorded frames in text form: plain duration lists and LIRC
// mode2 text. Both stream: each frame is handed on as soon as it is complete.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace tovanel {

struct InputFrame {
    bool newBurst;                   // first frame of a key press
    uint32_t gap;                    // silence before the frame, µs (0 if unknown)
    std::vector<int32_t> durations;  // µs, mark first
    int line;                        // line the frame starts on
};

struct InputHandlers {
    std::function<void(const InputFrame&)> frame;
    std::function<void(int line, const std::string& message)> error;
    // The text after '#' of every comment, whole-line or trailing, with
    // its line: a code file names its keys there ("# name: POWER").
    std::function<void(int line, const std::string& text)> comment = nullptr;
};

// One frame per line: durations in µs separated by whitespace and/or commas;
// '#' starts a comment; a blank line ends a burst. A bad line is reported
// and yields no frame. A line with an even number of durations ends in a
// space, which is taken as the gap before the next frame.
//
// A line whose first number carries a sign (+9000 -4500 ..., as `ir-ctl -r`
// prints what the receiver delivered up to its time-out) is a recording of
// its own: a burst of its own, cut into frames at spaces over 10200 µs (the
// space that ends a frame is the gap before the next), its trailing space
// dropped. Its signs must say mark (+) and space (-) in turn. The first
// number of any other line has no sign, and the line is one frame whatever
// signs later numbers carry.
void ReadDurationsText(std::istream& in, const InputHandlers& out);

// LIRC mode2 text ("pulse N", "space N", "timeout N"): cut into frames at
// spaces over 10200 µs (and at time-outs) like the capture paths, and into
// bursts at gaps over 300 ms.
void ReadMode2Text(std::istream& in, const InputHandlers& out);

// One stored key code text per line, taken as it stands: only the line
// break ("\n" or "\r\n") is removed, so leading spaces belong to the text's
// first value. An empty line ends a burst; there are no comment lines ('#'
// is a valid first character of a code text).
struct CodeTextLine {
    bool newBurst;  // first text of a key press
    std::string text;
    int line;
};
void ReadCodeTextLines(std::istream& in, const std::function<void(const CodeTextLine&)>& out);

// Parses a whole number 0..2147483647 with an optional leading + or -.
// Returns false with a message naming the token otherwise.
bool ParseDuration(std::string_view token, int32_t& value, std::string& error);

}  // namespace tovanel
