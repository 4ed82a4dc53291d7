// The serial path: the edge thread on scripted line changes and clocks, the
// frame thread on queued edge items, and the real port's failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "capture/ComCapture.h"
#include "capture/FrameAssembler.h"
#include "tests/capture/CaptureSupport.h"
#include "tests/capture/Fakes.h"

namespace tovanel {
namespace {

using test::EventScript;
using test::PortScript;
using test::Recorder;

constexpr int64_t Us = 1000;  // nanoseconds of the fake counter
constexpr uint32_t Mark = EdgeMarkBit;

struct ComHarness {
    std::shared_ptr<PortScript> port = std::make_shared<PortScript>();
    std::shared_ptr<EventScript> event = std::make_shared<EventScript>();
    std::vector<int> sleeps;
    Recorder rec;
    std::unique_ptr<ComCapture> com;

    explicit ComHarness(ComSettings settings = {}, uint32_t lines = LineDcd) {
        port->lines = lines;
        ComCapture::Options o;
        o.port = std::make_unique<test::FakePort>(port);
        o.dataEvent = std::make_unique<test::FakeEvent>(event);
        o.clock = port->Clock();
        o.sleep = [this](int ms) { sleeps.push_back(ms); };
        o.realtime = false;
        com = std::make_unique<ComCapture>(rec.Sinks(), std::move(o));
        com->SetSettings(settings);
    }

    std::vector<uint32_t> Drain() {
        std::vector<uint32_t> items;
        for (uint32_t item; com->Queue().Pop(item);) items.push_back(item);
        return items;
    }
};

TEST(ComCapture, DevicePathFromNumberOrDevice) {
    struct Case {
        int32_t com;
        const char* device;
        const char* path;
    } cases[] = {{1, "", "/dev/ttyS0"}, {2, "", "/dev/ttyS1"}, {32, "", "/dev/ttyS31"},
                 {0, "", ""},           {-3, "", ""},          {5, "/dev/ttyUSB0", "/dev/ttyUSB0"}};
    for (const Case& c : cases) EXPECT_EQ(ComDevicePath({c.com, true, 0, c.device}), c.path) << c.com;
}

TEST(ComCapture, IdleLevelComesFromTheSelectedLine) {
    struct Case {
        int32_t source;
        uint32_t lines;
        int idle;
    } cases[] = {
        {0, LineDcd, 1}, {0, LineCts, 0}, {1, LineDsr, 1}, {2, LineCts, 1},
        {2, LineDcd, 0}, {3, LineRing, 1}, {9, LineDcd, 1},  // unknown: DCD
    };
    for (const Case& c : cases) {
        ComHarness h({2, true, c.source, ""}, c.lines);
        ASSERT_TRUE(h.com->OpenComPort());
        EXPECT_EQ(h.com->IdleLevel(), c.idle) << c.source << "/" << c.lines;
        h.com->CloseComPort();
    }
}

TEST(ComCapture, OpenPowersTheReceiverAndWaitsForIt) {
    ComHarness dual({2, true, 0, ""});
    ASSERT_TRUE(dual.com->OpenComPort());
    EXPECT_EQ(dual.port->openedPath, "/dev/ttyS1");
    EXPECT_EQ(dual.sleeps, std::vector<int>{1000});
    // Opening again closes the old port after it settles.
    ASSERT_TRUE(dual.com->OpenComPort());
    EXPECT_EQ(dual.sleeps, (std::vector<int>{1000, 100, 1000}));
    EXPECT_EQ(dual.port->dtr, (std::vector<bool>{true, true}));
    dual.com->CloseComPort();
    EXPECT_FALSE(dual.com->PortOpen());

    ComHarness single({4, false, 0, ""});
    ASSERT_TRUE(single.com->OpenComPort());
    EXPECT_EQ(single.port->dtr, std::vector<bool>{false});
}

TEST(ComCapture, EdgeItemsCarryIntervalAndMarkBit) {
    ComHarness h({2, true, 0, ""}, LineDcd);  // DCD idles high
    ASSERT_TRUE(h.com->OpenComPort());
    ASSERT_TRUE(h.port->WaitIdle());
    h.port->Change(0, 9000 * Us, 1000);                // leaves idle: a space ended
    h.port->Change(LineDcd, 9560 * Us, 1000);          // back to idle: a mark ended
    h.port->Change(LineDcd | LineDsr, 9700 * Us, 1000);  // another line: no item
    h.port->Change(0, 11250 * Us + 999, 1001);         // truncated to whole µs
    ASSERT_TRUE(h.port->WaitIdle());
    EXPECT_EQ(h.Drain(), (std::vector<uint32_t>{9000, 560 | Mark, 1690}));
}

TEST(ComCapture, LongQuietTimeIsUnmeasuredAndRelearnsTheIdleLevel) {
    struct Case {
        const char* name;
        uint32_t before, after;  // DCD level before and after the change
        int64_t seconds;         // wall clock between the changes
        uint32_t item;
        int idleAfter;
    } cases[] = {
        {"leaves idle after 16 s", LineDcd, 0, 16, EdgeIntervalMask, 1},
        {"returns to idle after 16 s", 0, LineDcd, 16, EdgeIntervalMask, 0},
        {"15 s are still measured", LineDcd, 0, 15, 4000, 1},
    };
    for (const Case& c : cases) {
        ComHarness h({2, true, 0, ""}, LineDcd);
        ASSERT_TRUE(h.com->OpenComPort());
        ASSERT_TRUE(h.port->WaitIdle());
        if (c.before == 0) {
            h.port->Change(0, 1000 * Us, 1000);  // leave idle first
            ASSERT_TRUE(h.port->WaitIdle());
            h.Drain();
        }
        h.port->Change(c.after, 4000 * Us, 1000 + c.seconds);
        ASSERT_TRUE(h.port->WaitIdle());
        EXPECT_EQ(h.Drain(), std::vector<uint32_t>{c.item}) << c.name;
        EXPECT_EQ(h.com->IdleLevel(), c.idleAfter) << c.name;
    }
}

TEST(ComCapture, CounterPastTwentyFourBitsNeverReachesTheMarkBit) {
    // The wall clock was set back while the counter ran on for 20 s.
    ComHarness h({2, true, 0, ""}, LineDcd);
    ASSERT_TRUE(h.com->OpenComPort());
    ASSERT_TRUE(h.port->WaitIdle());
    h.port->Change(0, 20000000 * Us, 995);
    ASSERT_TRUE(h.port->WaitIdle());
    EXPECT_EQ(h.Drain(), std::vector<uint32_t>{EdgeIntervalMask});
}

TEST(ComCapture, VanishingPortEndsCaptureWithAMessage) {
    ComHarness h;
    ASSERT_TRUE(h.com->StartComCapture());
    h.port->Change(0, 0, 0, /*gone=*/true);
    ASSERT_TRUE(h.rec.WaitLost());
    EXPECT_EQ(h.rec.Errors(), std::vector<std::string>{"Capture stopped: the COM port is gone: /dev/ttyS1"});
    h.com->StopComCapture();
    EXPECT_FALSE(h.com->PortOpen());
    EXPECT_FALSE(h.com->Running());
}

TEST(ComCapture, FailedOpenShowsOneMessageAndLeavesNothingOpen) {
    struct Case {
        const char* name;
        bool failOpen, failPower, failRead;
        ComSettings settings;
        const char* message;
    } cases[] = {
        {"port missing or busy", true, false, false, {}, "Can't open COM port /dev/ttyS1: fake failure"},
        {"control lines refused", false, true, false, {}, "Can't open COM port /dev/ttyS1: fake failure"},
        {"line states unreadable", false, false, true, {}, "Can't open COM port /dev/ttyS1: fake failure"},
        {"no port for the number", false, false, false, {0, true, 0, ""}, "Can't open COM port: COM 0 names no port"},
    };
    for (const Case& c : cases) {
        ComHarness h(c.settings);
        h.port->failOpen = c.failOpen;
        h.port->failPower = c.failPower;
        h.port->failRead = c.failRead;
        EXPECT_FALSE(h.com->StartComCapture()) << c.name;
        EXPECT_EQ(h.rec.Errors(), std::vector<std::string>{c.message}) << c.name;
        EXPECT_FALSE(h.com->PortOpen()) << c.name;
        EXPECT_FALSE(h.com->Running()) << c.name;
        EXPECT_FALSE(h.com->EdgeThreadRunning()) << c.name;
    }
    // A data event that cannot be made fails without a message.
    ComHarness h;
    h.event->failOpen = true;
    EXPECT_FALSE(h.com->StartComCapture());
    EXPECT_TRUE(h.rec.Errors().empty());
    EXPECT_FALSE(h.com->PortOpen());
}

// ---- frame thread ------------------------------------------------------------

struct FrameHarness : ComHarness {
    FrameHarness() { EXPECT_TRUE(com->StartComCapture()); }
    ~FrameHarness() { com->StopComCapture(); }

    // Queues the items as the edge thread would, then lets the frame thread
    // run dry and, if asked, time out once.
    void Edges(const std::vector<uint32_t>& items, bool timeout) {
        for (uint32_t item : items) {
            ASSERT_TRUE(com->Queue().Push(item));
            event->Set();
        }
        ASSERT_TRUE(event->WaitIdle());
        if (timeout) {
            event->FireTimeout();
            ASSERT_TRUE(event->WaitIdle());
        }
    }
};

TEST(ComFrameThread, BurstEndsAtTheIdleTimeoutWithUnknownGap) {
    FrameHarness h;
    std::vector<uint32_t> items{EdgeIntervalMask, 9000 | Mark, 4500};
    std::vector<int32_t> expected{9000, 4500};
    for (int k = 0; k < 32; ++k) {
        const uint32_t space = k % 3 == 0 ? 1690 : 560;
        items.push_back(560 | Mark);
        items.push_back(space);
        expected.push_back(560);
        expected.push_back(static_cast<int32_t>(space));
    }
    items.push_back(560 | Mark);
    expected.push_back(560);
    h.Edges(items, false);
    EXPECT_TRUE(h.rec.FramesSoFar().empty());  // no time-out yet: the frame goes on
    h.Edges({}, true);
    const auto frames = h.rec.FramesSoFar();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].gap, UnknownGap);
    EXPECT_EQ(frames[0].durations, expected);
    EXPECT_TRUE(frames[0].samples.empty());
}

TEST(ComFrameThread, FrameRules) {
    struct Case {
        const char* name;
        std::vector<uint32_t> items;
        std::vector<std::vector<int32_t>> frames;
        std::vector<uint32_t> gaps;
    } cases[] = {
        {"10200 us stays in the frame, 10201 ends it",
         {600 | Mark, 10200, 600 | Mark, 10201},
         {{600, 10200, 600}},
         {10201}},
        {"two marks in a row discard the frame",
         {600 | Mark, 500, 600 | Mark, 700 | Mark, 400, 800 | Mark, 500, 800 | Mark, 20000},
         {{800, 500, 800}},
         {20000}},
        {"a space cannot start a frame",
         {500, 600 | Mark, 500, 600 | Mark, 30000},
         {{600, 500, 600}},
         {30000}},
        {"a long interval with an empty list submits nothing",
         {EdgeIntervalMask, 40000, EdgeIntervalMask},
         {},
         {}},
    };
    for (const Case& c : cases) {
        FrameHarness h;
        h.Edges(c.items, false);
        const auto frames = h.rec.FramesSoFar();
        ASSERT_EQ(frames.size(), c.frames.size()) << c.name;
        for (size_t k = 0; k < frames.size(); ++k) {
            EXPECT_EQ(frames[k].durations, c.frames[k]) << c.name;
            EXPECT_EQ(frames[k].gap, c.gaps[k]) << c.name;
        }
    }
}

TEST(ComFrameThread, TimeoutWithNothingCollectedSubmitsNothing) {
    FrameHarness h;
    h.Edges({}, true);
    h.Edges({700 | Mark}, true);
    h.Edges({}, true);
    const auto frames = h.rec.FramesSoFar();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].durations, std::vector<int32_t>{700});
}

TEST(ComFrameThread, EdgesFromTheEdgeThreadBecomeFrames) {
    // The whole path: line changes → edge items → frame.
    FrameHarness h;
    ASSERT_TRUE(h.port->WaitIdle());
    int64_t t = 5000;
    uint32_t level = LineDcd;
    for (int64_t d : {30000, 600, 500, 600, 1700, 600}) {
        t += d;
        level ^= LineDcd;
        h.port->Change(level, t * Us, 1000);
    }
    ASSERT_TRUE(h.port->WaitIdle());
    h.Edges({}, true);
    const auto frames = h.rec.FramesSoFar();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].durations, (std::vector<int32_t>{600, 500, 600, 1700, 600}));
}

// ---- the real port -----------------------------------------------------------

struct RealCom {
    Recorder rec;
    ComCapture com{rec.Sinks(), [] {
                       ComCapture::Options o;
                       o.sleep = [](int) {};
                       o.realtime = false;
                       return o;
                   }()};
};

TEST(ComCaptureOnThisMachine, PortsThatCannotCaptureFailCleanly) {
    // A pseudo-terminal is a terminal without modem lines.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string pty = ptsname(master);
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/tovanel-no-such-port", "No such file or directory"},
        {"/dev/null", "not a serial port (Inappropriate ioctl for device)"},
        {pty, "cannot set RTS and DTR (Inappropriate ioctl for device)"},
    };
    for (const auto& [device, reason] : cases) {
        RealCom r;
        r.com.SetSettings({2, true, 0, device});
        const test::Resources before;
        EXPECT_FALSE(r.com.StartComCapture()) << device;
        EXPECT_EQ(r.rec.Errors(), std::vector<std::string>{"Can't open COM port " + device + ": " + reason}) << device;
        EXPECT_FALSE(r.com.PortOpen()) << device;
        EXPECT_EQ(test::Resources(), before) << device;
    }
    ::close(master);
}

TEST(ComCaptureOnThisMachine, StopIsHarmlessWhenNothingRuns) {
    RealCom r;
    const test::Resources before;
    r.com.StopComCapture();
    r.com.CloseComPort();
    r.com.StopComCapture();
    EXPECT_EQ(test::Resources(), before);
    EXPECT_TRUE(r.rec.Errors().empty());
}

TEST(ComCaptureOnThisMachine, PortIsOpenedForOneUserOnly) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string pty = ptsname(master);
    auto first = MakeTermiosPort(), second = MakeTermiosPort();
    ASSERT_TRUE(first->Open(pty));
    EXPECT_FALSE(second->Open(pty));
    first->Close();
    EXPECT_TRUE(second->Open(pty));
    second->Close();
    ::close(master);
}

// A real serial port blocks in its wait until stop interrupts it. Opt-in,
// since it raises the port's control lines: TOVANEL_TEST_SERIAL=/dev/ttyS0.
TEST(ComCaptureOnThisMachine, StopInterruptsTheWaitOnARealPort) {
    const char* device = std::getenv("TOVANEL_TEST_SERIAL");
    if (device == nullptr || *device == '\0') GTEST_SKIP() << "set TOVANEL_TEST_SERIAL to a serial port";
    RealCom r;
    r.com.SetSettings({1, true, 0, device});
    const test::Resources before;
    ASSERT_TRUE(r.com.StartComCapture()) << device;
    EXPECT_TRUE(r.com.EdgeThreadRunning());
    r.com.StopComCapture();
    EXPECT_TRUE(r.rec.Errors().empty());
    EXPECT_FALSE(r.com.PortOpen());
    EXPECT_EQ(test::Resources(), before);
}

}  // namespace
}  // namespace tovanel
