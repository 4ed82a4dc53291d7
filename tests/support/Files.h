// Files and output text in tests: a temporary folder of the test's own,
// and a program's output split into lines.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace tovanel::test {

// A fresh folder named after the process and the running test, removed
// with everything in it at the end of the test.
struct TempDir {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("tovanel-test-" + std::to_string(::getpid()) + "-" +
         testing::UnitTest::GetInstance()->current_test_info()->name());
    TempDir() { std::filesystem::create_directories(path); }
    ~TempDir() { std::filesystem::remove_all(path); }

    // Writes a file in the folder and returns its path.
    std::string File(const std::string& name, const std::string& content) const {
        std::ofstream(path / name) << content;
        return (path / name).string();
    }
    std::string Read(const std::string& name) const { return ReadFile((path / name).string()); }

    static std::string ReadFile(const std::string& file) {
        std::ifstream in(file);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace tovanel::test
