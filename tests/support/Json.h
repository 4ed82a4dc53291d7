// Reading tovanel-analyze's flat JSON lines in tests.
#pragma once

#include <regex>
#include <string>

namespace tovanel::test {

// The value of a key in a flat JSON line (numbers, booleans, strings,
// arrays), as written; "<missing>" when the key is not there.
inline std::string Value(const std::string& json, const std::string& key) {
    const std::regex re("\"" + key + "\":(\\[[^\\]]*\\]|\"[^\"]*\"|[^,}]*)");
    std::smatch m;
    return std::regex_search(json, m, re) ? m[1].str() : "<missing>";
}

}  // namespace tovanel::test
