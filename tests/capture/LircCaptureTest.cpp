// The kernel's IR receivers: mode2 words into frames, the capture thread
// over a scripted device, and the real device's absence.
#include <gtest/gtest.h>

#include "capture/FrameAssembler.h"
#include "capture/LircCapture.h"
#include "capture/Mode2.h"
#include "tests/capture/CaptureSupport.h"
#include "tests/capture/Fakes.h"

namespace tovanel {
namespace {

using List = std::vector<int32_t>;

uint32_t Pulse(uint32_t us) { return 0x01000000u | us; }
uint32_t Space(uint32_t us) { return us; }
uint32_t Timeout(uint32_t us) { return 0x03000000u | us; }
constexpr uint32_t Overflow = 0x04000000u;
uint32_t Frequency(uint32_t hz) { return 0x02000000u | hz; }

TEST(Mode2, WordsSplitIntoKindAndValue) {
    EXPECT_EQ(DecodeMode2(Pulse(560)).kind, 1);
    EXPECT_EQ(DecodeMode2(Pulse(560)).value, 560u);
    EXPECT_EQ(DecodeMode2(0x00FFFFFFu).kind, 0);
    EXPECT_EQ(DecodeMode2(0x00FFFFFFu).value, 0xFFFFFFu);
    EXPECT_EQ(DecodeMode2(0x7F000010u).kind, 0x7F);
}

TEST(Mode2, WordsAreCutIntoFramesLikeTheSerialPath) {
    struct Case {
        const char* name;
        std::vector<uint32_t> words;
        std::vector<List> frames;
        std::vector<uint32_t> gaps;
    } cases[] = {
        {"a long space ends the frame and is its gap",
         {Space(0xFFFFFF), Pulse(9000), Space(4500), Pulse(560), Space(40000)},
         {{9000, 4500, 560}},
         {40000}},
        {"the device's time-out ends it with an unknown gap",
         {Pulse(560), Space(1690), Pulse(560), Timeout(15000)},
         {{560, 1690, 560}},
         {UnknownGap}},
        {"10200 us stay in the frame", {Pulse(600), Space(10200), Pulse(600), Space(10201)}, {{600, 10200, 600}}, {10201}},
        {"an overflow loses the frame in progress",
         {Pulse(600), Space(500), Overflow, Pulse(700), Space(300), Pulse(700), Timeout(1)},
         {{700, 300, 700}},
         {UnknownGap}},
        {"two pulses in a row discard it; collection restarts at the next pulse",
         {Pulse(600), Pulse(600), Space(500), Pulse(800), Space(20000)},
         {{800}},
         {20000}},
        {"carrier reports and unknown kinds carry no timing",
         {Pulse(600), Frequency(38000), 0x7F000123u, Space(500), Pulse(600), Space(20000)},
         {{600, 500, 600}},
         {20000}},
    };
    for (const Case& c : cases) {
        test::Recorder rec;
        Mode2Reader reader(rec.Frames());
        for (uint32_t w : c.words) reader.Word(w);
        const auto frames = rec.FramesSoFar();
        ASSERT_EQ(frames.size(), c.frames.size()) << c.name;
        for (size_t k = 0; k < frames.size(); ++k) {
            EXPECT_EQ(frames[k].durations, c.frames[k]) << c.name;
            EXPECT_EQ(frames[k].gap, c.gaps[k]) << c.name;
        }
    }
}

struct LircHarness {
    std::shared_ptr<test::LircScript> dev = std::make_shared<test::LircScript>();
    test::Recorder rec;
    LircCapture lirc{rec.Sinks(), LircCapture::Options{std::make_unique<test::FakeLirc>(dev), false}};
};

TEST(LircCapture, ThreadCutsFramesAndEndsTheLastAtTheIdleTimeout) {
    LircHarness h;
    h.lirc.SetDevicePath("/dev/lirc3");
    ASSERT_TRUE(h.lirc.StartLircCapture());
    EXPECT_EQ(h.dev->openedPath, "/dev/lirc3");
    h.dev->Words({Space(0xFFFFFF), Pulse(9000), Space(2250)});
    h.dev->Words({Pulse(560)});
    ASSERT_TRUE(h.dev->WaitIdle());
    EXPECT_TRUE(h.rec.FramesSoFar().empty());
    h.dev->FireIdle();
    ASSERT_TRUE(h.rec.WaitFrames(1));
    EXPECT_EQ(h.rec.FramesSoFar()[0].durations, (List{9000, 2250, 560}));
    EXPECT_EQ(h.rec.FramesSoFar()[0].gap, UnknownGap);
    h.lirc.StopLircCapture();
    EXPECT_FALSE(h.lirc.DeviceOpen());
    EXPECT_FALSE(h.lirc.Running());
}

TEST(LircCapture, VanishingDeviceEndsCaptureWithAMessage) {
    LircHarness h;
    ASSERT_TRUE(h.lirc.StartLircCapture());
    h.dev->Vanish();
    ASSERT_TRUE(h.rec.WaitLost());
    EXPECT_EQ(h.rec.Errors(), std::vector<std::string>{"Capture stopped: the LIRC device is gone: /dev/lirc0"});
    h.lirc.StopLircCapture();
    EXPECT_FALSE(h.lirc.DeviceOpen());
}

TEST(LircCapture, FailedOpenShowsTheDevicesReason) {
    LircHarness h;
    h.dev->failWith = "LIRC device /dev/lirc0 does not deliver pulses and spaces (mode2)";
    EXPECT_FALSE(h.lirc.StartLircCapture());
    EXPECT_EQ(h.rec.Errors(), std::vector<std::string>{h.dev->failWith});
    EXPECT_FALSE(h.lirc.Running());
}

TEST(LircCaptureOnThisMachine, MissingOrWrongDeviceFailsCleanly) {
    struct Case {
        const char* path;
        const char* message;
    } cases[] = {
        {"/dev/tovanel-no-lirc", "Can't open LIRC device /dev/tovanel-no-lirc: No such file or directory"},
        {"/dev/null", "/dev/null is not a LIRC device"},
    };
    for (const Case& c : cases) {
        test::Recorder rec;
        LircCapture lirc(rec.Sinks());
        lirc.SetDevicePath(c.path);
        const test::Resources before;
        EXPECT_FALSE(lirc.StartLircCapture());
        EXPECT_EQ(rec.Errors(), std::vector<std::string>{c.message});
        EXPECT_FALSE(lirc.DeviceOpen());
        EXPECT_EQ(test::Resources(), before);
        lirc.StopLircCapture();
        lirc.StopLircCapture();
    }
}

}  // namespace
}  // namespace tovanel
