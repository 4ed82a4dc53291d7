// What tovanel-analyze makes of input that is no recording: folders and
// devices that fail to read, values out of their range, tokens of any
// length. Always a message and exit status 2, never an abort.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/Files.h"

namespace tovanel {
namespace {

struct ShellRun {
    int status;
    std::string err;
};

// Runs a shell command line and returns its exit status and standard error.
ShellRun Shell(const std::string& command) {
    FILE* p = ::popen(("(" + command + ") 2>&1 >/dev/null").c_str(), "r");
    std::string err;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) err.append(buffer, n);
    const int s = ::pclose(p);
    return {WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s), err};
}

TEST(AnalyzeBoundaries, BadInputEndsWithAMessageAndStatusTwo) {
    const test::TempDir dir;
    const std::string exe = std::string(TOVANEL_BINARY_DIR) + "/tovanel-analyze";
    const std::string folder = dir.path.string();
    const std::string longToken(5000, 'x');
    struct Case {
        std::string command;
        std::string message;
    } cases[] = {
        // Read errors are no end of the input.
        {exe + " --input wav " + folder, "cannot read " + folder + ": Is a directory"},
        {exe + " --input wav < " + folder, "cannot read <stdin>: Is a directory"},
        {exe + " --input wav /proc/self/mem", "cannot read /proc/self/mem: Input/output error"},
        {exe + " " + folder, "cannot read " + folder + ": Is a directory"},
        {exe + " --input mode2 < " + folder, "cannot read <stdin>: Is a directory"},
        {exe + " --input wav /dev/zero", "/dev/zero: not a WAV file"},
        // mode2 values are lengths.
        {"printf 'pulse 560\\nspace -5\\npulse 560\\n' | " + exe + " --input mode2", "line 2: '-5' is negative"},
        // A token is quoted with its first 40 characters only.
        {"echo 560" + longToken + " | " + exe, "line 1: '560" + longToken.substr(0, 37) + "...' is not a whole number\n"},
        {exe + " --format " + longToken, "unknown format '" + longToken.substr(0, 40) + "...'\n"},
    };
    for (const Case& c : cases) {
        const ShellRun r = Shell(c.command);
        EXPECT_EQ(r.status, 2) << c.command << "\n" << r.err;
        EXPECT_NE(r.err.find("tovanel-analyze: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << "\n" << r.err.substr(0, 300);
    }
}

}  // namespace
}  // namespace tovanel
