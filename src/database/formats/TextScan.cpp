#include "database/formats/TextScan.h"

#include <cctype>

namespace tovanel::codefile {

bool LineReader::Next(std::string_view& line) {
    if (at_ >= text_.size()) return false;
    size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(at_, end - at_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at_ = end + 1;
    ++number_;
    return true;
}

namespace {
bool Space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
int Digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}
bool ParseBase(std::string_view s, unsigned base, uint64_t& value) {
    if (s.empty()) return false;
    uint64_t v = 0;
    for (char c : s) {
        const unsigned d = static_cast<unsigned>(Digit(c));
        if (d >= base || v > (UINT64_MAX - d) / base) return false;
        v = v * base + d;
    }
    value = v;
    return true;
}
}  // namespace

std::vector<std::string_view> Tokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && Space(line[i])) ++i;
        const size_t start = i;
        while (i < line.size() && !Space(line[i])) ++i;
        if (i > start) tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && Space(s.front())) s.remove_prefix(1);
    while (!s.empty() && Space(s.back())) s.remove_suffix(1);
    return s;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool ParseNumber(std::string_view token, uint64_t& value, bool cStyle) {
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'))
        return ParseBase(token.substr(2), 16, value);
    if (cStyle && token.size() > 1 && token[0] == '0') return ParseBase(token.substr(1), 8, value);
    return ParseBase(token, 10, value);
}

bool ParseHex(std::string_view token, uint64_t& value) { return token.size() <= 16 && ParseBase(token, 16, value); }


}  // namespace tovanel::codefile
