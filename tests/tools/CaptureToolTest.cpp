// tovanel-analyze's receivers: WAV recordings through the edge detector,
// the --capture and --list-devices options, a live run over the fake USB
// driver library, and a clean stop on SIGINT.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "support/Files.h"
#include "support/Json.h"
#include "tools/analyze/AnalyzeTool.h"
#include "tools/analyze/WavInput.h"

namespace tovanel {
namespace {

namespace fs = std::filesystem;

using test::Value;

std::vector<std::string> Lines(const std::string& text) { return test::SplitLines(text); }

struct Result {
    int status;
    std::vector<std::string> lines;
    std::string err;
};

Result Tool(std::vector<std::string> args, const std::string& input = "",
           const CaptureWait& wait = [](const std::function<bool()>&) { ADD_FAILURE() << "no capture expected"; }) {
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = AnalyzeMain(args, in, out, err, wait);
    return {status, Lines(out.str()), err.str()};
}

// A settings file of the test's own, named by $TOVANEL_INI.
struct Settings {
    fs::path path = fs::temp_directory_path() /
                    ("tovanel-tool-" + std::to_string(::getpid()) + "-" +
                     testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini");
    explicit Settings(const std::string& content) {
        std::ofstream(path) << content;
        ::setenv("TOVANEL_INI", path.c_str(), 1);
    }
    ~Settings() {
        ::unsetenv("TOVANEL_INI");
        fs::remove(path);
    }
};

TEST(CaptureTool, WavRecordingOfAReceiverDecodes) {
    Settings settings("");
    const Result r = Tool({"--input", "wav", std::string(TOVANEL_SOURCE_DIR) + "/samples/nec-burst.wav"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(Value(r.lines[0], "protocol_name"), "\"NEC\"");
    EXPECT_EQ(Value(r.lines[0], "count"), "67");
    EXPECT_EQ(Value(r.lines[0], "period"), "0");
    // Address 0x04 with its complement as the second byte, command 0x08.
    EXPECT_EQ(Value(r.lines[0], "adr"), std::to_string(0xFB04));
    EXPECT_EQ(Value(r.lines[0], "cmd"), "8");
    for (int k : {1, 2}) {
        EXPECT_EQ(Value(r.lines[k], "slot"), std::to_string(k));
        EXPECT_EQ(Value(r.lines[k], "repeat"), "true");
        // Repeat codes follow every 108 ms, give or take a sample or two.
        EXPECT_NEAR(std::stoi(Value(r.lines[k], "period")), 108000, 100);
    }
}

TEST(CaptureTool, WavFromStandardInputAndTheDetectorSettings) {
    // A square wave whose steps are 12 % of full scale: an edge at the
    // default 10 %, none at 20 %.
    std::vector<int16_t> s(20000, -4000);
    size_t at = 5000;
    int16_t level = 4000;
    for (int d : {432, 216, 27, 81, 27}) {
        for (int k = 0; k < d; ++k) s[at++] = level;
        level = static_cast<int16_t>(-level);
    }
    const std::string wav = WavBytes(s);
    {
        Settings settings("[Sound]\nPulseLevel=10\n");
        const Result r = Tool({"--input", "wav"}, wav);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.lines.size(), 1u);
        EXPECT_EQ(Value(r.lines[0], "count"), "5");
    }
    Settings settings("[Sound]\nPulseLevel=20\n");
    EXPECT_TRUE(Tool({"--input", "wav", "-"}, wav).lines.empty());
}

TEST(CaptureTool, OtherAudioFormatsAreRefused) {
    std::string stereo = WavBytes(std::vector<int16_t>(100, 0));
    stereo[22] = 2;  // channels
    std::string rate = WavBytes(std::vector<int16_t>(100, 0));
    rate[24] = 0x44, rate[25] = static_cast<char>(0xAC), rate[26] = 0;  // 44100 Hz
    std::string bits8 = WavBytes(std::vector<int16_t>(100, 0));
    bits8[34] = 8;
    std::string floats = WavBytes(std::vector<int16_t>(100, 0));
    floats[20] = 3;  // IEEE float
    struct Case {
        std::string bytes;
        const char* message;
    } cases[] = {
        {stereo, "48000 Hz, 16-bit, 2 channel(s)"},
        {rate, "44100 Hz"},
        {bits8, "8-bit"},
        {floats, "non-PCM"},
        {"RIFF....WAVE", "WAV file without a format"},
        {"9000 4500 560\n", "not a WAV file"},
    };
    for (const Case& c : cases) {
        const Result r = Tool({"--input", "wav"}, c.bytes);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.lines.empty());
    }
}

TEST(CaptureTool, CaptureOptions) {
    struct Case {
        std::vector<std::string> args;
        std::string source;
    } cases[] = {{{"--capture"}, ""},
                 {{"--capture", "usb"}, "usb"},
                 {{"--capture=lirc"}, "lirc"},
                 {{"--format", "text", "--capture", "usb2"}, "usb2"}};
    for (const Case& c : cases) {
        AnalyzeOptions o;
        std::string error;
        ASSERT_TRUE(ParseAnalyzeOptions(c.args, o, error)) << error;
        EXPECT_TRUE(o.capture);
        EXPECT_EQ(o.captureSource, c.source);
    }
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--capture", "USB"},
                                                std::vector<std::string>{"--capture=serial"}}) {
        const Result r = Tool(bad);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("option --capture: unknown receiver"), std::string::npos) << r.err;
    }
}

TEST(CaptureTool, ListDevicesStartsWithTheDefaultDevice) {
    const Result r = Tool({"--list-devices"});
    EXPECT_EQ(r.status, 0);
    ASSERT_FALSE(r.lines.empty());
    EXPECT_EQ(r.lines[0], "0: Default input device");
}

TEST(CaptureTool, ReceiverThatCannotStartEndsWithItsMessage) {
    Settings settings("[Setup]\nSource=LIRC\n[LIRC]\nDevice=/dev/tovanel-no-lirc\n[COM]\nDevice=/dev/null\n");
    Result r = Tool({"--capture"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("capturing from LIRC"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Can't open LIRC device /dev/tovanel-no-lirc"), std::string::npos) << r.err;
    r = Tool({"--capture", "com"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Can't open COM port"), std::string::npos) << r.err;
}

TEST(CaptureTool, LiveFramesArePrintedAsTheyArrive) {
    // The fake driver library answers two frames; the run stops once the
    // polling has asked again after them.
    void* fake = dlopen(FAKE_IGORUSB, RTLD_NOW);
    ASSERT_NE(fake, nullptr);
    auto reset = reinterpret_cast<void (*)(int)>(dlsym(fake, "FakeIgorUsbReset"));
    auto answer = reinterpret_cast<void (*)(int, const unsigned char*, int)>(dlsym(fake, "FakeIgorUsbAnswer"));
    auto pending = reinterpret_cast<int (*)()>(dlsym(fake, "FakeIgorUsbPending"));
    auto calls = reinterpret_cast<int (*)()>(dlsym(fake, "FakeIgorUsbCalls"));
    reset(2);
    const unsigned char first[] = {7, 20, 7, 7, 7}, second[] = {20, 7};
    answer(0, first, 5);
    answer(0, second, 2);
    Settings settings("");
    ::setenv("TOVANEL_IGORUSB", FAKE_IGORUSB, 1);
    const Result r = Tool({"--capture", "usb"}, "", [&](const std::function<bool()>& lost) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (pending() > 0 && !lost() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const int after = calls();
        while (calls() == after && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    ::unsetenv("TOVANEL_IGORUSB");
    dlclose(fake);
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 2u) << r.err;
    EXPECT_EQ(Value(r.lines[0], "count"), "5");
    EXPECT_EQ(Value(r.lines[1], "slot"), "1");
    EXPECT_EQ(Value(r.lines[1], "count"), "3");  // the lead-in mark and the two
}

TEST(CaptureTool, TheUsbReceiversStatusIsShownAtEachChange) {
    void* fake = dlopen(FAKE_IGORUSB, RTLD_NOW);
    ASSERT_NE(fake, nullptr);
    auto reset = reinterpret_cast<void (*)(int)>(dlsym(fake, "FakeIgorUsbReset"));
    auto answer = reinterpret_cast<void (*)(int, const unsigned char*, int)>(dlsym(fake, "FakeIgorUsbAnswer"));
    auto pending = reinterpret_cast<int (*)()>(dlsym(fake, "FakeIgorUsbPending"));
    auto calls = reinterpret_cast<int (*)()>(dlsym(fake, "FakeIgorUsbCalls"));
    reset(0);  // then "OK" without a frame
    for (int k = 0; k < 4; ++k) answer(1, nullptr, 0);
    for (int k = 0; k < 4; ++k) answer(2, nullptr, 0);
    Settings settings("");
    ::setenv("TOVANEL_IGORUSB", FAKE_IGORUSB, 1);
    const Result r = Tool({"--capture", "usb2"}, "", [&](const std::function<bool()>& lost) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (pending() > 0 && std::chrono::steady_clock::now() < until) {
            lost();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        for (const int after = calls(); calls() < after + 3 && std::chrono::steady_clock::now() < until;) {
            lost();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        lost();
    });
    ::unsetenv("TOVANEL_IGORUSB");
    dlclose(fake);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("tovanel-analyze: Status: no device\ntovanel-analyze: Status: no data\n"
                         "tovanel-analyze: Status: OK\n"),
              std::string::npos)
        << r.err;
}

TEST(CaptureTool, InterruptStopsALiveCaptureCleanly) {
    const std::string exe = std::string(TOVANEL_BINARY_DIR) + "/tovanel-analyze";
    // The last case interrupts the stop that the first signal started.
    for (const std::vector<int>& signals : {std::vector<int>{SIGINT}, {SIGTERM}, {SIGINT, SIGTERM}}) {
        const int sig = signals.back();
        int errPipe[2];
        ASSERT_EQ(::pipe(errPipe), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::dup2(errPipe[1], 2);
            ::close(errPipe[0]);
            ::setenv("TOVANEL_IGORUSB", FAKE_IGORUSB, 1);
            ::setenv("TOVANEL_INI", "/dev/null", 1);
            ::execl(exe.c_str(), exe.c_str(), "--capture", "usb", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(errPipe[1]);
        // The signals are taken over before this line is printed.
        std::string err;
        char c;
        while (err.find("interrupt to stop\n") == std::string::npos && ::read(errPipe[0], &c, 1) == 1) err += c;
        for (int s : signals) ::kill(pid, s);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ::close(errPipe[0]);
        EXPECT_TRUE(WIFEXITED(status)) << sig;
        EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    }
}

}  // namespace
}  // namespace tovanel
