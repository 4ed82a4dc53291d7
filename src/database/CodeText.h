// CodeText: the printable form in which a stored key keeps one recorded
// frame (columns Code1..Code4). Each pair of characters carries one value:
// digit = (character code mod 128) - 32, v = 96 * first digit + second
// digit, value = (v div 4) * 2^(v mod 4). The first value is the frame's
// period in milliseconds, the rest are its durations in microseconds, mark
// first. Plain C++: the database layer, the command-line tools and a sender
// of the transmit list all read and write keys through these functions.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/CodeFrame.h"

namespace tovanel {

inline constexpr int CodeTextColumnSize = 255;  // characters a code column holds
inline constexpr int MaxCodeTextValues = CodeTextColumnSize / 2;      // 127
inline constexpr int MaxCodeTextDurations = MaxCodeTextValues - 1;   // 126
inline constexpr int32_t MaxCodeTextValue = 2303 * 8;                  // 18424

// The digit of one character. Texts the program writes use codes 32..127;
// a code above 127 reads like the code 128 lower, and a code that then lies
// below 32 (a control character, never written by the program) reads as a
// space, digit 0, so that every stored text has a defined, in-range reading.
constexpr int32_t CodeTextDigit(char32_t c) {
    const int32_t low = static_cast<int32_t>(c % 128);
    return low < 32 ? 0 : low - 32;
}

// The value of one character pair, 0..18424.
constexpr int32_t CodeTextPairValue(char32_t first, char32_t second) {
    const int32_t v = 96 * CodeTextDigit(first) + CodeTextDigit(second);
    return (v / 4) << (v % 4);
}

// The representable value nearest to x: exact when x is representable,
// halfway cases rounded up, values below 0 as 0 and above 18424 as 18424.
int32_t NearestCodeTextValue(int64_t x);

// Reads a CodeText into `frame`: Period (first value x 1000 µs), Count,
// Durations and SampleCount 0; no other field is written. Characters are
// Unicode code points; the UTF-16 form is how Qt hands the column over, the
// UTF-8 form is for other callers (an invalid UTF-8 byte reads as the
// character with its value). Only whole pairs of the first 254 characters
// are read (the first 127 values). Fewer than two values give an empty
// frame: Period, Count and SampleCount 0. Allocates nothing.
void ParseCodeText(std::u16string_view text, CodeFrame& frame);
void ParseCodeText(std::string_view utf8, CodeFrame& frame);

// Writes the period (rounded to whole milliseconds) and the first Count
// durations of `frame` as a CodeText, each value as its nearest
// representable value, with the smallest exponent that encodes it. A frame
// with Count 0 (or less) gives the empty text. A frame with more than 126
// durations does not fit a code column: the text is left empty and the
// function returns false with a message in `error`, rather than storing a
// shortened frame.
bool FormatCodeText(const CodeFrame& frame, std::string& text, std::string* error = nullptr);

// Reads one code text into `frame` as the key loader fills a slot, and
// analyses it: the text's Period and durations, SlotIndex `slot`, Total,
// and nothing of an earlier frame in Flags, ClassIndex or past Count; then
// AnalyzeFrame with the given forced modulation and protocol and the
// generic layout, whose result is returned.
bool AnalyzeCodeText(std::u16string_view text, int32_t slot, int32_t forcedModulation,
                     int32_t forcedProtocol, const DecodeSettings& layout, CodeFrame& frame);
bool AnalyzeCodeText(std::string_view utf8, int32_t slot, int32_t forcedModulation,
                     int32_t forcedProtocol, const DecodeSettings& layout, CodeFrame& frame);

// Loads a key's four code texts into slots 0..3 of `buffer`, empties slots
// 4..9, and analyses every slot in order with the given forced modulation
// and protocol and the generic layout: SlotIndex, Total and Flags are set
// as a receiver's slot would have them. FillCount is not changed. Returns
// what AnalyzeFrame returned for each slot.
std::array<bool, SlotCount> LoadCodeTextsIntoBuffer(const std::array<std::u16string_view, 4>& codes,
                                                    int32_t forcedModulation, int32_t forcedProtocol,
                                                    const DecodeSettings& layout, FrameBuffer& buffer);

}  // namespace tovanel
