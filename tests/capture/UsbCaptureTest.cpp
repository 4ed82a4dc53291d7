// The USB receivers: byte decodings, the lead-in rule, and the polling
// thread over fake driver libraries loaded at run time like the real one.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "capture/FrameAssembler.h"
#include "capture/Setup/AppPaths.h"
#include "capture/UsbCapture.h"
#include "capture/UsbDecoding.h"
#include "tests/capture/CaptureSupport.h"

namespace tovanel {
namespace {

using Bytes = std::vector<uint8_t>;
using List = std::vector<int32_t>;

List Decode(const Bytes& b, bool plug2) {
    int32_t out[UsbMaxDurations];
    int32_t n = plug2 ? DecodeIgorPlug2(b.data(), static_cast<int32_t>(b.size()), out)
                      : DecodeIgorPlug(b.data(), static_cast<int32_t>(b.size()), out);
    n = ApplyLeadIn(out, n);
    return List(out, out + n);
}

TEST(UsbDecoding, AnswersBecomeDurations) {
    struct Case {
        const char* name;
        bool plug2;
        Bytes bytes;
        List durations;
    } cases[] = {
        {"IgorPlug-USB odd count", false, {7, 20, 7, 7, 7}, {597, 1706, 597, 597, 597}},
        {"IgorPlug-USB even count gets the lead-in", false, {20, 7}, {20000, 1706, 597}},
        {"IgorPlug-USB skips zero bytes", false, {7, 0, 20, 0, 7}, {597, 1706, 597}},
        {"IgorPlug-USB largest byte", false, {255}, {21759}},
        {"IgorPlug2 long value and short one", true, {250, 10, 26}, {20000, 10792, 554}},
        {"IgorPlug2 ends in a long byte", true, {10, 40, 252}, {213, 853, 21159}},
        {"IgorPlug2 long byte before another long byte", true, {249, 250, 5}, {20000, 5289, 10686}},
        {"IgorPlug2 short bytes and zero", true, {1, 0, 248}, {20000, 21, 5289}},
        {"IgorPlug2 255, 255 is no frame", true, {255, 255, 10, 10}, {20000}},
    };
    for (const Case& c : cases) EXPECT_EQ(Decode(c.bytes, c.plug2), c.durations) << c.name;
}

TEST(UsbDecoding, StatusTexts) {
    EXPECT_EQ(UsbStatusText(0), "OK");
    EXPECT_EQ(UsbStatusText(1), "no device");
    EXPECT_EQ(UsbStatusText(2), "no data");
    for (int32_t s : {-1, 3, 99}) EXPECT_EQ(UsbStatusText(s), "unknown");
}

// The test's own handle on the fake library keeps its script alive while
// the capture loads and releases it.
class FakeLibrary {
public:
    explicit FakeLibrary(const char* path = FAKE_IGORUSB) : handle_(dlopen(path, RTLD_NOW)) {
        if (handle_ == nullptr) return;
        reset_ = reinterpret_cast<void (*)(int)>(dlsym(handle_, "FakeIgorUsbReset"));
        answer_ = reinterpret_cast<void (*)(int, const unsigned char*, int)>(dlsym(handle_, "FakeIgorUsbAnswer"));
        calls_ = reinterpret_cast<int (*)()>(dlsym(handle_, "FakeIgorUsbCalls"));
        pending_ = reinterpret_cast<int (*)()>(dlsym(handle_, "FakeIgorUsbPending"));
        eeprom_ = reinterpret_cast<void (*)(int*, int*, int*)>(dlsym(handle_, "FakeIgorUsbEeprom"));
        reset_(2);
    }
    ~FakeLibrary() {
        if (handle_) dlclose(handle_);
    }
    bool Ok() const { return handle_ && reset_ && answer_ && calls_ && pending_ && eeprom_; }
    void Idle(int result) { reset_(result); }
    void Answer(int result, const Bytes& b) { answer_(result, b.data(), static_cast<int>(b.size())); }
    int Calls() { return calls_(); }
    // Waits until the polling thread has taken every answer and asked once more.
    bool WaitTaken() {
        const auto until = std::chrono::steady_clock::now() + test::HangGuard;
        while (std::chrono::steady_clock::now() < until) {
            const int before = calls_();
            if (pending_() == 0) {
                while (calls_() == before && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }
    void Eeprom(int& calls, int& address, int& value) { eeprom_(&calls, &address, &value); }

private:
    void* handle_;
    void (*reset_)(int) = nullptr;
    void (*answer_)(int, const unsigned char*, int) = nullptr;
    int (*calls_)() = nullptr;
    int (*pending_)() = nullptr;
    void (*eeprom_)(int*, int*, int*) = nullptr;
};

struct UsbHarness {
    test::Recorder rec;
    UsbCapture usb;
    explicit UsbHarness(std::vector<std::string> libraries = {FAKE_IGORUSB})
        : usb(rec.Sinks(), UsbCapture::Options{std::move(libraries), false}) {}
};

TEST(UsbCapture, PollingDeliversDecodedFramesWithUnknownGap) {
    FakeLibrary fake;
    ASSERT_TRUE(fake.Ok());
    fake.Answer(0, {7, 20, 7, 7, 7});
    fake.Answer(2, {});
    fake.Answer(0, {20, 7});
    UsbHarness h;
    EXPECT_EQ(h.usb.UsbStatus(), -1);
    ASSERT_TRUE(h.usb.StartIgorPlug());
    ASSERT_TRUE(h.rec.WaitFrames(2));
    ASSERT_TRUE(fake.WaitTaken());
    h.usb.StopIgorPlug();
    const auto frames = h.rec.FramesSoFar();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].gap, UnknownGap);
    EXPECT_EQ(frames[0].durations, (List{597, 1706, 597, 597, 597}));
    EXPECT_EQ(frames[1].durations, (List{20000, 1706, 597}));
    EXPECT_EQ(h.usb.UsbStatus(), 2);  // the last poll found nothing
    EXPECT_FALSE(h.usb.LibraryLoaded());
    EXPECT_TRUE(h.rec.Errors().empty());
}

TEST(UsbCapture, StatusFollowsEveryAnswerAndOnlyResultZeroDelivers) {
    struct Case {
        int result;
        Bytes bytes;
    } cases[] = {{1, {7, 7, 7}}, {2, {7, 7, 7}}, {7, {7, 7, 7}}, {0, {}}};
    for (const Case& c : cases) {
        FakeLibrary fake;
        fake.Idle(c.result);
        if (!c.bytes.empty()) fake.Answer(c.result, c.bytes);
        UsbHarness h;
        ASSERT_TRUE(h.usb.StartIgorPlug());
        ASSERT_TRUE(fake.WaitTaken());
        EXPECT_EQ(h.usb.UsbStatus(), c.result);
        h.usb.StopIgorPlug();
        EXPECT_TRUE(h.rec.FramesSoFar().empty()) << c.result;
    }
}

TEST(UsbCapture, OnlyTheFirst256BytesOfAnAnswerCount) {
    FakeLibrary fake;
    fake.Answer(0, Bytes(300, 1));
    UsbHarness h;
    ASSERT_TRUE(h.usb.StartIgorPlug());
    ASSERT_TRUE(h.rec.WaitFrames(1));
    h.usb.StopIgorPlug();
    const List d = h.rec.FramesSoFar()[0].durations;
    ASSERT_EQ(d.size(), 257u);  // 256 and the lead-in
    EXPECT_EQ(d[0], 20000);
    EXPECT_EQ(d[256], 85);
}

TEST(UsbCapture, IgorPlug2WritesItsConfigurationOnceAndIgnoresNoFrame) {
    FakeLibrary fake;
    fake.Answer(0, {255, 255, 30});
    fake.Answer(0, {250, 10, 26});
    UsbHarness h;
    ASSERT_TRUE(h.usb.StartIgorPlug2());
    ASSERT_TRUE(h.rec.WaitFrames(1));
    ASSERT_TRUE(fake.WaitTaken());
    h.usb.StopIgorPlug2();
    int calls = 0, address = 0, value = 0;
    fake.Eeprom(calls, address, value);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(address, 13);
    EXPECT_EQ(value, 192);
    const auto frames = h.rec.FramesSoFar();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].durations, (List{20000, 10792, 554}));
}

TEST(UsbCapture, LibraryMissingOrIncomplete) {
    const std::string noFile = "Error loading libigorusb.so: /nonexistent/libigorusb.so: cannot open shared object "
                               "file: No such file or directory";
    const std::string noOutPort = std::string("Invalid libfake_igorusb_no_out_port.so: ") +
                                  FAKE_IGORUSB_NO_OUT_PORT + " lacks DoGetOutDataPort";
    const std::string noEeprom =
        std::string("Invalid libfake_igorusb_no_eeprom.so: ") + FAKE_IGORUSB_NO_EEPROM + " lacks DoEEPROMWrite";
    struct Case {
        const char* library;
        bool plug2;
        const char* message;  // none: starts
    } cases[] = {
        {"/nonexistent/libigorusb.so", false, noFile.c_str()},
        {"/nonexistent/libigorusb.so", true, noFile.c_str()},
        {FAKE_IGORUSB_NO_OUT_PORT, false, noOutPort.c_str()},
        {FAKE_IGORUSB_NO_OUT_PORT, true, noOutPort.c_str()},
        {FAKE_IGORUSB_NO_EEPROM, true, noEeprom.c_str()},
        {FAKE_IGORUSB_NO_EEPROM, false, nullptr},  // IgorPlug-USB needs no EEPROM write
    };
    for (const Case& c : cases) {
        const test::Resources before;
        UsbHarness h({c.library});
        const bool ok = c.plug2 ? h.usb.StartIgorPlug2() : h.usb.StartIgorPlug();
        EXPECT_EQ(ok, c.message == nullptr) << c.library;
        EXPECT_EQ(h.usb.Running(), ok) << c.library;
        if (c.message) {
            EXPECT_EQ(h.rec.Errors(), std::vector<std::string>{c.message}) << c.library;
            EXPECT_FALSE(h.usb.LibraryLoaded());
            EXPECT_EQ(test::Resources(), before) << c.library;
        }
        h.usb.StopIgorPlug();
        EXPECT_FALSE(h.usb.LibraryLoaded());
    }
}

TEST(UsbCapture, LibraryIsLookedUpInTurn) {
    // The first candidate that loads is used.
    FakeLibrary fake;
    fake.Answer(0, {7});
    UsbHarness h({"/nonexistent/libigorusb.so", FAKE_IGORUSB});
    ASSERT_TRUE(h.usb.StartIgorPlug());
    ASSERT_TRUE(h.rec.WaitFrames(1));
    h.usb.StopIgorPlug();

    ::setenv("TOVANEL_IGORUSB", "/opt/x/libother.so", 1);
    EXPECT_EQ(IgorUsbCandidates(), std::vector<std::string>{"/opt/x/libother.so"});
    ::unsetenv("TOVANEL_IGORUSB");
    EXPECT_EQ(IgorUsbCandidates(),
              (std::vector<std::string>{ExecutableDir() + "/libigorusb.so", "libigorusb.so"}));
}

TEST(UsbCapture, StopIsHarmlessWhenNothingRuns) {
    UsbHarness h;
    h.usb.StopIgorPlug();
    h.usb.StopIgorPlug2();
    EXPECT_FALSE(h.usb.Running());
}

TEST(UsbCaptureOnThisMachine, ShippedLibraryReportsNoDeviceAndLeavesNothingBehind) {
    // Our libusb driver, found beside the executables, with no receiver
    // plugged in; and as IgorPlug2, whose identity it does not know.
    for (bool plug2 : {false, true}) {
        UsbHarness h({REAL_IGORUSB});
        const test::Resources before;
        ASSERT_TRUE(plug2 ? h.usb.StartIgorPlug2() : h.usb.StartIgorPlug());
        const auto until = std::chrono::steady_clock::now() + test::HangGuard;
        while (h.usb.UsbStatus() == -1 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(h.usb.UsbStatus(), 1) << plug2;
        EXPECT_EQ(UsbStatusText(h.usb.UsbStatus()), "no device");
        h.usb.StopIgorPlug();
        EXPECT_EQ(test::Resources(), before) << plug2;
        EXPECT_TRUE(h.rec.FramesSoFar().empty());
    }
}

}  // namespace
}  // namespace tovanel
