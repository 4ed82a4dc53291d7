// Line and token scanning shared by the code file readers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capture/Setup/Quoting.h"

namespace tovanel::codefile {

// The lines of a text, numbered from 1, without their "\n" or "\r\n".
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line);
    int Number() const { return number_; }

private:
    std::string_view text_;
    size_t at_ = 0;
    int number_ = 0;
};

// Whitespace-separated tokens of a line.
std::vector<std::string_view> Tokens(std::string_view line);

std::string_view Trim(std::string_view s);
bool StartsWith(std::string_view s, std::string_view prefix);
bool EqualsNoCase(std::string_view a, std::string_view b);

// A whole number without sign: decimal, or hexadecimal after "0x"; with
// `cStyle` a leading 0 makes it octal, as C's strtoull reads it. False when
// the token is anything else or exceeds 64 bits.
bool ParseNumber(std::string_view token, uint64_t& value, bool cStyle = false);
// Exactly hexadecimal digits (no "0x"), at most 16 of them.
bool ParseHex(std::string_view token, uint64_t& value);

// Messages quote tokens as everywhere else (capture/Setup/Quoting.h).
using tovanel::Quoted;

}  // namespace tovanel::codefile
