// Sending stored keys: the words, carriers and silences a transmitter gets,
// and what the sender says when the device fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "capture/LircTransmitter.h"
#include "database/CodeText.h"
#include "tests/support/FakeLircOutput.h"
#include "tests/support/Frames.h"

namespace tovanel {
namespace {

using Lines = std::vector<std::string>;

std::string Code(const test::Durations& d, int32_t periodMs = 0) {
    auto f = test::FrameOf(d);
    f->Period = periodMs * 1000;
    std::string text;
    FormatCodeText(*f, text);
    return text;
}

TransmitItem Item(std::string key, std::array<std::string, 4> codes, int32_t repeat, int32_t pauseMs,
                  uint32_t carrier = DefaultCarrierHz) {
    return TransmitItem{"TV", std::move(key), std::move(codes), repeat, pauseMs, carrier};
}

TEST(TransmitPlan, CarrierIsAWholeNumberOfKilohertzOrThirtyEight) {
    const std::pair<const char*, uint32_t> cases[] = {{"36", 36000}, {" 40 ", 40000}, {"455", 455000},
                                                      {"", 38000},   {"abc", 38000},  {"0", 38000},
                                                      {"3.6", 38000}, {"-36", 38000}, {"36k", 38000}};
    for (const auto& [text, hz] : cases) EXPECT_EQ(CarrierHz(text), hz) << '"' << text << '"';
}

TEST(TransmitPlan, WordsBeginAndEndWithAPulseAndJoinAcrossZeros) {
    const std::pair<test::Durations, std::vector<uint32_t>> cases[] = {
        {{9000, 4500, 560}, {9000, 4500, 560}},
        {{560, 0, 560, 1690, 560, 400}, {1120, 1690, 560}},  // zero mark: the marks join; last space dropped
        {{0, 300, 560}, {560}},                              // no pulse before the space: silence
        {{0, 0}, {}},
    };
    for (const auto& [durations, words] : cases)
        EXPECT_EQ(PulseWords(durations.data(), static_cast<int32_t>(durations.size())), words);
}

// The exact sequence a device sees for a list: carriers per item, one write
// per frame, the silences between frames, repetitions and items.
TEST(LircTransmitter, SendsFramesWithTheirSilencesRepeatsAndPauses) {
    const std::string a = Code({9000, 4500, 560, 560, 560});
    const std::string b1 = Code({1000, 500, 1000}), b2 = Code({2000, 1000, 2000}, 40);
    const std::string near = Code({2000, 1000, 2000}, 5);  // starts 5 ms after b1's start
    struct Case {
        const char* name;
        std::vector<TransmitItem> items;
        Lines log;
    } cases[] = {
        {"one frame, sent twice: 100 ms between; then the pause, the next carrier",
         {Item("Power", {a, "", "", ""}, 1, 250, 36000), Item("Mute", {a, "", "", ""}, 0, 700)},
         {"carrier 36000", "write 9000 4500 560 560 560", "wait 100000", "write 9000 4500 560 560 560",
          "wait 250000", "carrier 38000", "write 9000 4500 560 560 560"}},
        {"two frames: offset minus length between them, and again before the repetition",
         {Item("Vol+", {b1, b2, "", ""}, 1, 0)},
         {"carrier 38000", "write 1000 500 1000", "wait 37500", "write 2000 1000 2000", "wait 37500",
          "write 1000 500 1000", "wait 37500", "write 2000 1000 2000"}},
        {"never less than 10 ms of silence", {Item("Vol-", {b1, near, "", ""}, 0, 0)},
         {"carrier 38000", "write 1000 500 1000", "wait 10000", "write 2000 1000 2000"}},
        {"an item without frames sends nothing and adds no pause; negative counts are 0",
         {Item("Power", {a, "", "", ""}, -3, -5), Item("(none)", {"", "", "", ""}, 4, 9000),
          Item("Garbage", {"ab", "x", "", ""}, 0, 0), Item("Mute", {"", a, "", ""}, 0, 0)},
         {"carrier 38000", "write 9000 4500 560 560 560", "wait 0", "carrier 38000", "write 9000 4500 560 560 560"}},
    };
    for (const Case& c : cases) {
        auto log = std::make_shared<test::LircLog>();
        LircTransmitter sender(test::FakeTransmitterOptions(log));
        const TransmitOutcome out = sender.Send("/dev/lirc1", c.items);
        EXPECT_EQ(out.status, TransmitOutcome::Status::Sent) << c.name << ": " << out.error;
        Lines expected{"open /dev/lirc1"};
        expected.insert(expected.end(), c.log.begin(), c.log.end());
        expected.push_back("close");
        EXPECT_EQ(log->Lines(), expected) << c.name;
    }
}

TEST(LircTransmitter, FailuresNameTheDeviceAndStopTheSending) {
    using Script = test::FakeLircOutput::Script;
    struct Case {
        const char* name;
        Script script;
        std::string error;
        size_t writes;
    } cases[] = {
        {"missing device", Script{.openError = ENOENT}, "Can't open LIRC device /dev/lirc7: No such file or directory",
         0},
        {"no LIRC device", Script{.featuresError = ENOTTY}, "/dev/lirc7 is not a LIRC device", 0},
        {"a receiver only", Script{.features = LIRC_CAN_REC_MODE2}, "LIRC device /dev/lirc7 cannot transmit", 0},
        {"carrier refused", Script{.carrierError = EINVAL},
         "LIRC device /dev/lirc7 refuses the carrier of 36 kHz: Invalid argument", 0},
        {"write error", Script{.failWrite = 2, .writeError = ENODEV},
         "Can't transmit \"Power\" on LIRC device /dev/lirc7: No such device", 2},
    };
    for (const Case& c : cases) {
        auto log = std::make_shared<test::LircLog>();
        LircTransmitter sender(test::FakeTransmitterOptions(log, c.script));
        const TransmitOutcome out =
            sender.Send("/dev/lirc7", {Item("Power", {Code({900, 450, 900}), "", "", ""}, 3, 0, 36000)});
        EXPECT_EQ(out.status, TransmitOutcome::Status::Failed) << c.name;
        EXPECT_EQ(out.error, c.error) << c.name;
        const Lines lines = log->Lines();
        const auto writes =
            std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("write", 0) == 0; });
        EXPECT_EQ(writes, static_cast<long>(c.writes))
            << c.name;
    }
    // The kernel's device: a missing one, and a file that is no LIRC device.
    const std::vector<TransmitItem> one{Item("Power", {Code({900}), "", "", ""}, 0, 0)};
    EXPECT_EQ(LircTransmitter().Send("/nonexistent/lirc9", one).error,
              "Can't open LIRC device /nonexistent/lirc9: No such file or directory");
    EXPECT_EQ(LircTransmitter().Send("/dev/null", one).error, "/dev/null is not a LIRC device");

    // A transmitter with a fixed carrier is not asked to set one.
    auto log = std::make_shared<test::LircLog>();
    LircTransmitter fixed(test::FakeTransmitterOptions(log, Script{.features = LIRC_CAN_SEND_PULSE}));
    EXPECT_EQ(fixed.Send("/dev/lirc0", {Item("Power", {Code({900}), "", "", ""}, 0, 0)}).status,
              TransmitOutcome::Status::Sent);
    EXPECT_EQ(log->Lines(), (Lines{"open /dev/lirc0", "write 900", "close"}));
}

TEST(LircTransmitter, RunsOnItsOwnThreadAndAStopEndsTheSilence) {
    auto log = std::make_shared<test::LircLog>();
    LircTransmitter::Options options = test::FakeTransmitterOptions(log);
    options.waitHook = nullptr;  // real waits: a minute between the two items
    LircTransmitter sender(std::move(options));
    std::promise<TransmitOutcome> finished;
    std::vector<size_t> progress;
    const std::array<std::string, 4> codes{Code({900}), "", "", ""};
    ASSERT_TRUE(sender.Start("/dev/lirc0", {Item("Power", codes, 0, 60000), Item("Mute", codes, 0, 0)},
                             [&](size_t item) { progress.push_back(item); },
                             [&](const TransmitOutcome& o) { finished.set_value(o); }));
    EXPECT_TRUE(sender.Running());
    EXPECT_FALSE(sender.Start("/dev/lirc0", {}, {}, {}));  // one sending at a time
    for (int i = 0; i < 500 && log->Lines().size() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    sender.Stop();
    const TransmitOutcome out = finished.get_future().get();
    EXPECT_EQ(out.status, TransmitOutcome::Status::Stopped);
    EXPECT_EQ(out.itemsSent, 1u);
    EXPECT_EQ(progress, std::vector<size_t>{0});
    EXPECT_FALSE(sender.Running());
    EXPECT_EQ(log->Lines(), (Lines{"open /dev/lirc0", "carrier 38000", "write 900", "close"}));
}

}  // namespace
}  // namespace tovanel
