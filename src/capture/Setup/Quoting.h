// How a message quotes what the user or a file gave it: in single quotes,
// and at most the first 40 characters of it, so that a bad token of a
// megabyte does not become a message of a megabyte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tovanel {

inline constexpr size_t QuotedLimit = 40;

// The token, or its first 40 characters and "..." (UTF-8 characters, never
// cut inside one; a character is at most four bytes even where the text is
// no UTF-8 at all).
inline std::string Shortened(std::string_view token) {
    size_t end = 0, characters = 0;
    while (end < token.size() && characters < QuotedLimit) {
        const size_t start = end++;
        while (end < token.size() && end - start < 4 && (static_cast<unsigned char>(token[end]) & 0xC0) == 0x80)
            ++end;
        ++characters;
    }
    if (end == token.size()) return std::string(token);
    return std::string(token.substr(0, end)) + "...";
}

// 'token', shortened as above, its control characters shown as '?' so that
// a file's bytes cannot move the cursor or recolour the user's terminal.
inline std::string Quoted(std::string_view token) {
    std::string s = Shortened(token);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return "'" + s + "'";
}

}  // namespace tovanel
