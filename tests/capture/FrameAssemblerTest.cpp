// The frame assembler: bursts, periods, the full buffer and the hand-over.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "analysis/Recognition.h"
#include "capture/FrameAssembler.h"
#include "support/Protocols.h"

namespace tovanel {
namespace {

using test::Durations;

struct Harness {
    std::unique_ptr<SharedFrameBuffer> buffer = std::make_unique<SharedFrameBuffer>();
    SharedDecodeSettings settings;
    uint32_t now = 1000;
    std::vector<std::pair<int32_t, bool>> notes;
    std::vector<std::pair<int32_t, int32_t>> drops;  // given, stored
    FrameAssembler assembler{*buffer, settings, [this] { return now; },
                             [this](int32_t slot, bool decoded) { notes.emplace_back(slot, decoded); }};
    Harness() {
        assembler.SetDropNotify([this](int32_t given, int32_t stored) { drops.emplace_back(given, stored); });
    }

    void Submit(const Durations& d, uint32_t gap = UnknownGap) {
        assembler.SubmitFrame(gap, d.data(), static_cast<int32_t>(d.size()));
    }
    const CodeFrame& Slot(int i) { return buffer->Locked().Slots[i]; }
    int32_t Fill() { return buffer->FillCount(); }
};

const Durations Nec = test::NecFrame(0x04, 0x08);
const Durations Repeat{9000, 2250, 560};

TEST(FrameAssembler, BurstBoundaryAtThreeHundredMilliseconds) {
    Harness h;
    h.Submit(Nec);
    h.now += 300;
    h.Submit(Repeat);
    EXPECT_EQ(h.Fill(), 2);
    h.now += 301;
    h.Submit(Repeat);
    EXPECT_EQ(h.Fill(), 1);
    EXPECT_EQ(h.Slot(0).Count, 3);
    EXPECT_EQ(h.Slot(0).Period, 0);
    EXPECT_EQ(h.Slot(1).Count, 0);  // emptied by the reset
    ASSERT_EQ(h.notes.size(), 3u);
    EXPECT_EQ(h.notes[0], std::make_pair(0, true));
    EXPECT_EQ(h.notes[1], std::make_pair(1, true));  // a repeat code decodes
    EXPECT_EQ(h.notes[2].first, 0);
}

TEST(FrameAssembler, PeriodFromMeasuredOrTickGap) {
    Harness h;
    h.Submit(Nec);
    const int32_t total = h.Slot(0).Total;
    h.now += 40;
    h.Submit(Repeat, UnknownGap);
    EXPECT_EQ(h.Slot(1).Period, 40 * 1000 + total);
    h.now += 10;
    h.Submit(Repeat, 5000);
    EXPECT_EQ(h.Slot(2).Period, 5000 + h.Slot(1).Total);
    h.now += 10;
    h.Submit(Repeat, UnknownGap + 7);  // anything from the marker up is unknown
    EXPECT_EQ(h.Slot(3).Period, 10 * 1000 + h.Slot(2).Total);
}

TEST(FrameAssembler, FirstFrameAfterPauseIgnoresItsGap) {
    Harness h;
    h.Submit(Nec, 123456);
    EXPECT_EQ(h.Slot(0).Period, 0);
    EXPECT_EQ(h.Slot(0).SlotIndex, 0);
}

TEST(FrameAssembler, EleventhFrameIsDroppedButKeepsTheBurstAlive) {
    Harness h;
    for (int i = 0; i < 12; ++i) {
        h.Submit(i == 0 ? Nec : Repeat);
        h.now += 200;
    }
    EXPECT_EQ(h.Fill(), 10);
    EXPECT_EQ(h.notes.size(), 10u);
    EXPECT_EQ(h.drops, (std::vector<std::pair<int32_t, int32_t>>{{3, 0}, {3, 0}}));
    EXPECT_EQ(h.assembler.LastSubmitTick(), h.now - 200);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(h.Slot(i).SlotIndex, i);
    h.now += 101;  // 301 since the last (dropped) frame
    h.Submit(Nec);
    EXPECT_EQ(h.Fill(), 1);
}

TEST(FrameAssembler, CountRules) {
    Harness h;
    h.Submit({});
    EXPECT_EQ(h.assembler.LastSubmitTick(), 0u);  // an empty list changes nothing
    EXPECT_TRUE(h.notes.empty());
    h.Submit({560, 560});
    EXPECT_EQ(h.Slot(0).Count, 1);
    h.Submit({560});
    EXPECT_EQ(h.Slot(1).Count, 1);
    // Longer than a slot: the first 200, then odd.
    Durations longFrame(450, 560);
    h.Submit(longFrame);
    EXPECT_EQ(h.Slot(2).Count, 199);
    EXPECT_EQ(h.Slot(2).Total, 199 * 560);
    // Only what is lost is told: not the pause an even list ends in.
    h.Submit(Durations(200, 560));
    EXPECT_EQ(h.drops, (std::vector<std::pair<int32_t, int32_t>>{{450, 199}}));
}

TEST(FrameAssembler, RecoveredOnlyForTheFirstUsbReceiver) {
    Harness h;
    const Durations leadIn{LeadInMark, 1706, 597};
    h.assembler.SetCaptureSource(Source::IgorPlug);
    h.Submit(leadIn);
    EXPECT_EQ(h.Slot(0).Flags[0] & Recovered, uint32_t{Recovered});
    h.assembler.SetCaptureSource(Source::IgorPlug2);
    h.Submit(leadIn);
    EXPECT_EQ(h.Slot(1).Flags[0] & Recovered, 0u);
    h.assembler.SetCaptureSource(Source::IgorPlug);
    h.Submit({LeadInMark + 1, 1706, 597});
    EXPECT_EQ(h.Slot(2).Flags[0] & Recovered, 0u);
}

TEST(FrameAssembler, FlagsAreClearedAndSamplesKept) {
    Harness h;
    {
        std::lock_guard lock(h.buffer->Mutex());
        for (auto& slot : h.buffer->Locked().Slots)
            for (auto& flag : slot.Flags) flag = 0xFFFF;
    }
    std::vector<int16_t> samples(5000, 7);
    h.assembler.SubmitFrame(0, Repeat.data(), 3, samples.data(), 5000);
    EXPECT_EQ(h.Slot(0).SampleCount, MaxSamples);
    EXPECT_EQ(h.Slot(0).Samples[4095], 7);
    EXPECT_EQ(h.Slot(0).Flags[1] & ~uint32_t{Header}, 0u);  // analysis adds bits only
    h.Submit(Repeat);
    EXPECT_EQ(h.Slot(1).SampleCount, 0);
}

TEST(FrameAssembler, AShortFrameDecodesAlikeInAFreshAndInAReusedSlot) {
    // Decoders read fixed positions that a short frame does not reach; they
    // find zeros there, never what the slot's earlier frame left.
    const Durations earlier[] = {
        Durations(199, 9000),  // long spaces: every threshold bit reads 1
        test::RcmmFrame({3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3}),  // space class 3
    };
    struct Case {
        int32_t modulation, protocol;
        Durations frame;
        bool decoded;
    } cases[] = {
        {Modulation::PulseDistance, Protocol::Sharp, {320}, false},
        {Modulation::PulseDistance, Protocol::Sharp, {320, 1680, 320}, true},
        {Modulation::PulseDistance, Protocol::Nec, {9000, 4500, 560, 1690, 560}, true},
        {Modulation::BiPhase, Protocol::Rc5, {889}, false},
        {Modulation::BiPhase, Protocol::Rc5, {889, 889, 889}, false},
        {Modulation::BiPhase, Protocol::Rc6, {2666}, false},
        {Modulation::BiPhase, Protocol::Rc6, {2666, 889, 444}, false},
        {0, 0, test::RcmmFrame({1, 2, 0, 1, 0, 2}), true},
    };
    for (const Case& c : cases) {
        DecodeSettings s;
        s.ForcedModulation = c.modulation;
        s.ForcedProtocol = c.protocol;
        Harness fresh;
        fresh.settings.Set(s);
        fresh.Submit(c.frame);
        const CodeFrame& a = fresh.Slot(0);
        EXPECT_EQ(fresh.notes.at(0).second, c.decoded) << c.protocol << "/" << c.frame.size();
        for (const Durations& before : earlier) {
            Harness reused;
            reused.Submit(before);
            reused.now += BurstPauseMs + 1;
            reused.settings.Set(s);
            reused.Submit(c.frame);
            const CodeFrame& b = reused.Slot(0);
            const std::string what = std::to_string(c.protocol) + "/" + std::to_string(c.frame.size());
            EXPECT_EQ(reused.notes.at(1).second, c.decoded) << what;
            EXPECT_EQ(b.Protocol, a.Protocol) << what;
            EXPECT_EQ(b.Mode, a.Mode) << what;
            EXPECT_EQ(b.Adr, a.Adr) << what;
            EXPECT_EQ(b.Cmd, a.Cmd) << what;
            EXPECT_EQ(b.HasHeader, a.HasHeader) << what;
            for (int i = 0; i < MaxDurations; ++i) {
                ASSERT_EQ(b.Flags[i], a.Flags[i]) << what << " at " << i;
                ASSERT_EQ(b.Durations[i], a.Durations[i]) << what << " at " << i;
                ASSERT_EQ(b.ClassIndex[i], a.ClassIndex[i]) << what << " at " << i;
            }
        }
    }
}

TEST(FrameAssembler, TickWrapIsHarmless) {
    Harness h;
    h.now = 0xFFFFFF00u;
    h.Submit(Nec);
    h.now = 0x10;  // 0x110 = 272 ms later, across the wrap
    h.Submit(Repeat);
    EXPECT_EQ(h.Fill(), 2);
}

TEST(FrameAssembler, AnalysesWithTheForcedSettingsOfTheMoment) {
    Harness h;
    DecodeSettings s;
    s.ForcedModulation = Modulation::PulseDistance;
    s.ForcedProtocol = Protocol::NecRev;
    s.AdrStart = 2;
    s.AdrBits = 8;
    s.AdrOrder = true;
    h.settings.Set(s);
    h.Submit(Nec);
    EXPECT_EQ(h.Slot(0).Protocol, Protocol::NecRev);
    EXPECT_EQ(h.Slot(0).Adr, 0x04u);
}

TEST(FrameAssembler, AbsurdDurationsSaturateTotalAndPeriod) {
    Harness h;
    h.Submit({INT32_MAX, INT32_MAX, INT32_MAX});
    EXPECT_EQ(h.Slot(0).Total, INT32_MAX);
    h.now += 1;
    h.Submit({560, 560, 560}, 1000);
    EXPECT_EQ(h.Slot(1).Period, INT32_MAX);
}

TEST(FrameAssembler, ReadersNeverSeeAHalfWrittenSlot) {
    // A writer alternates two different frames into slot 0 while a reader
    // copies the slot: every copy is one frame or the other, never a mix.
    auto buffer = std::make_unique<SharedFrameBuffer>();
    SharedDecodeSettings settings;
    std::atomic<uint32_t> now{0};
    FrameAssembler assembler(*buffer, settings, [&] { return now.load(); });
    const Durations a = test::NecFrame(0x11, 0x22);
    const Durations b(151, 777);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop && i < 20000; ++i) {
            now += 301;
            const Durations& d = i % 2 ? a : b;
            assembler.SubmitFrame(UnknownGap, d.data(), static_cast<int32_t>(d.size()));
        }
        stop = true;
    });
    auto copy = test::NewFrame();
    int checked = 0;
    while (!stop) {
        buffer->CopySlot(0, *copy);
        if (copy->Count == 0) continue;
        const Durations& expect = copy->Count == static_cast<int32_t>(a.size()) ? a : b;
        ASSERT_EQ(copy->Count, static_cast<int32_t>(expect.size()));
        for (int32_t i = 0; i < copy->Count; ++i) ASSERT_EQ(copy->Durations[i], expect[i]);
        ++checked;
    }
    writer.join();
    SUCCEED() << checked << " copies checked";
}

}  // namespace
}  // namespace tovanel
