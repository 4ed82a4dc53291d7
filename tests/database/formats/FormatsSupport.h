// What the code file tests share: reading a text into a collector, and
// LIRC's irsimsend as the reference transmitter.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "database/formats/CodeFile.h"
#include "support/Files.h"

namespace tovanel::test {

inline std::string FormatsData(const std::string& name) {
    return std::string(TOVANEL_SOURCE_DIR) + "/tests/database/formats/data/" + name;
}

inline CodeFileCollector ReadText(const std::string& text) {
    CodeFileCollector c;
    ReadCodeFileText(text, c);
    return c;
}

// The durations irsimsend sends for `count` presses-worth of one key (its
// first frame and count - 1 repeats), without the gap after the last frame.
// Empty when irsimsend sends nothing.
inline std::vector<int32_t> IrSimSend(const std::string& conf, const std::string& key, int count,
                                      const TempDir& dir) {
    const std::string out = (dir.path / "simsend.out").string();
    std::remove(out.c_str());
    const std::string command = "cd '" + dir.path.string() + "' && irsimsend -k '" + key + "' -c " +
                                std::to_string(count) + " '" + conf + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<int32_t> d;
    std::FILE* f = std::fopen(out.c_str(), "r");
    if (f == nullptr) return d;
    char kind[16];
    long value = 0;
    while (std::fscanf(f, "%15s %ld", kind, &value) == 2) d.push_back(static_cast<int32_t>(value));
    std::fclose(f);
    if (!d.empty() && d.size() % 2 == 0) d.pop_back();
    return d;
}

inline bool HaveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace tovanel::test
