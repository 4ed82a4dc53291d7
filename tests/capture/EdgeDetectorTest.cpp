// The sound card's edge detector, fed sample blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "capture/EdgeDetector.h"
#include "capture/FrameAssembler.h"
#include "tests/capture/CaptureSupport.h"

namespace tovanel {
namespace {

using test::SinkFrame;
using Samples = std::vector<int16_t>;

// A receiver's square wave: `lo` until the first transition, then the
// level flips at every listed sample index; `total` samples in all. The
// history before the first block is silent (0), so the default levels stay
// within the default threshold of it and give no edge at the very start.
Samples Square(const std::vector<int>& transitions, int total, int16_t lo = -5000, int16_t hi = 5000) {
    Samples s(static_cast<size_t>(total), lo);
    bool high = false;
    size_t next = 0;
    for (int i = 0; i < total; ++i) {
        while (next < transitions.size() && transitions[next] == i) {
            high = !high;
            ++next;
        }
        s[static_cast<size_t>(i)] = high ? hi : lo;
    }
    return s;
}

// Transitions from a start index and the intervals between them.
std::vector<int> Edges(int first, const std::vector<int>& intervals) {
    std::vector<int> t{first};
    for (int d : intervals) t.push_back(t.back() + d);
    return t;
}

struct Detection {
    std::vector<SinkFrame> frames;
    EdgeDetector detector{[this](uint32_t gap, const int32_t* d, int32_t n, const int16_t* s, int32_t sc) {
        frames.push_back({gap, std::vector<int32_t>(d, d + n), std::vector<int16_t>(s, s + sc)});
    }};

    // Feeds `s` in blocks of `block` samples.
    void Feed(const Samples& s, size_t block = 4096) {
        for (size_t at = 0; at < s.size(); at += block) {
            const size_t n = std::min(block, s.size() - at);
            detector.DetectEdges(s.data() + at, n * 2);
        }
    }
};

std::vector<int32_t> Micros(const std::vector<int>& samples) {
    std::vector<int32_t> us;
    for (int v : samples) us.push_back(v * 1000 / 48);
    return us;
}

TEST(EdgeDetector, SquareWaveGivesOneEdgePerTransitionAndTheFrameItsSamples) {
    const std::vector<int> intervals{28, 40, 28, 81, 28};
    const Samples s = Square(Edges(1000, intervals), 3000);
    Detection r;
    r.Feed(s);
    ASSERT_EQ(r.frames.size(), 1u);
    const SinkFrame& f = r.frames[0];
    EXPECT_EQ(f.durations, Micros(intervals));
    EXPECT_EQ(f.durations[0], 583);  // 28 samples, truncated
    // The first edge lies one sample before the first sample of the new
    // level; the silence before it counts from the start (position 0).
    EXPECT_EQ(f.gap, 999u * 1000 / 48);
    // 16 samples before the edge sample, the edge sample, then up to the
    // sample where the 490-sample silence is complete.
    ASSERT_GE(f.samples.size(), 17u);
    EXPECT_EQ(Samples(f.samples.begin(), f.samples.begin() + 17), Samples(s.begin() + 984, s.begin() + 1001));
    const int lastEdgePos = 1000 + 28 + 40 + 28 + 81 + 28 - 1;
    EXPECT_EQ(f.samples.size(), static_cast<size_t>(lastEdgePos + 491 - 984 + 1));
}

TEST(EdgeDetector, ResultDoesNotDependOnBlockSizes) {
    std::vector<int> intervals;
    for (int k = 0; k < 60; ++k) intervals.push_back(20 + (k * 7) % 50);
    std::vector<int> t = Edges(700, intervals);
    for (int v : Edges(t.back() + 2000, {27, 27, 81, 27})) t.push_back(v);  // a second frame
    const Samples s = Square(t, t.back() + 1500);
    Detection whole;
    whole.Feed(s, s.size());
    ASSERT_EQ(whole.frames.size(), 2u);
    for (size_t block : {1u, 3u, 15u, 16u, 17u, 100u, 489u, 4096u}) {
        Detection r;
        r.Feed(s, block);
        ASSERT_EQ(r.frames.size(), 2u) << block;
        for (size_t k = 0; k < 2; ++k) {
            EXPECT_EQ(r.frames[k].gap, whole.frames[k].gap) << block;
            EXPECT_EQ(r.frames[k].durations, whole.frames[k].durations) << block;
            EXPECT_EQ(r.frames[k].samples, whole.frames[k].samples) << block;
        }
    }
}

TEST(EdgeDetector, PreTriggerSamplesComeFromThePreviousBlock) {
    // The first edge sample is the 4th sample of the second block.
    Samples s = Square(Edges(4096 + 3, {30, 30}), 4096 * 2);
    for (int i = 4000; i < 4096; ++i) s[static_cast<size_t>(i)] = static_cast<int16_t>(-5000 + i % 7);
    Detection r;
    r.Feed(s, 4096);
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(Samples(r.frames[0].samples.begin(), r.frames[0].samples.begin() + 17),
              Samples(s.begin() + 4096 + 3 - 16, s.begin() + 4096 + 4));
}

TEST(EdgeDetector, SilenceOf489SamplesIsNoFrameStartAnd490Is) {
    struct Case {
        int silence;
        size_t frames;
    } cases[] = {{489, 0}, {490, 1}};
    for (const Case& c : cases) {
        // The first edge is too close to the start to begin a frame.
        const Samples s = Square(Edges(101, {c.silence, 30, 30}), 3000);
        Detection r;
        r.Feed(s);
        ASSERT_EQ(r.frames.size(), c.frames) << c.silence;
        if (c.frames == 1) {
            EXPECT_EQ(r.frames[0].gap, static_cast<uint32_t>(c.silence * 1000 / 48));
            EXPECT_EQ(r.frames[0].durations, Micros({30, 30}));
        }
    }
    // Inside a frame, 489 samples without an edge do not end it.
    Detection r;
    r.Feed(Square(Edges(1000, {30, 489, 30}), 4000));
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0].durations, Micros({30, 489, 30}));
}

TEST(EdgeDetector, FrameIsCutAtTwoHundredDurationsAndTheRestIgnored) {
    // 260 edges 20 samples apart: the 201st edge ends the frame, the rest of
    // the burst starts nothing; after a silence a new frame starts.
    std::vector<int> t = Edges(1000, std::vector<int>(259, 20));
    for (int v : Edges(t.back() + 600, {25, 25})) t.push_back(v);
    Detection r;
    r.Feed(Square(t, t.back() + 1000));
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[0].durations, std::vector<int32_t>(200, 20 * 1000 / 48));
    EXPECT_EQ(r.frames[1].durations, Micros({25, 25}));
}

TEST(EdgeDetector, ThresholdAndWindowLength) {
    struct Case {
        int32_t pulseTime, pulseLevel;
        int16_t step;
        bool edge;
    } cases[] = {
        {1, 10, 6550, true},    // exactly T counts
        {1, 10, 6549, false},
        {2, 50, 32750, true},
        {2, 50, 32749, false},
        {1, 1, 655, true},
        {1, 1, 654, false},
    };
    for (const Case& c : cases) {
        Detection r;
        r.detector.SetPulseTime(c.pulseTime);
        r.detector.SetPulseLevel(c.pulseLevel);
        const int16_t lo = static_cast<int16_t>(-c.step / 2);
        const int16_t hi = static_cast<int16_t>(lo + c.step);
        r.Feed(Square(Edges(1000, {40, 40}), 2500, lo, hi));
        EXPECT_EQ(r.frames.size(), c.edge ? 1u : 0u) << c.pulseTime << "/" << c.pulseLevel << "/" << c.step;
        EXPECT_EQ(r.detector.PeakLevel(), c.step);
    }
}

TEST(EdgeDetector, SlowEdgesNeedALongerWindow) {
    // Each transition ramps over 6 samples: a window of 2 never sees 10 %
    // of full scale, a window of 8 does, once per transition.
    Samples s(3000, -5000);
    auto ramp = [&](int at, int16_t from, int16_t to) {
        for (int k = 0; k < 6; ++k) s[static_cast<size_t>(at + k)] = static_cast<int16_t>(from + (to - from) * (k + 1) / 6);
        for (size_t i = static_cast<size_t>(at + 6); i < s.size(); ++i) s[i] = to;
    };
    ramp(1000, -5000, 5000);
    ramp(1040, 5000, -5000);
    ramp(1080, -5000, 5000);
    for (int32_t window : {2, 8}) {
        Detection r;
        r.detector.SetPulseTime(window);
        r.Feed(s);
        EXPECT_EQ(r.frames.size(), window == 8 ? 1u : 0u) << window;
        if (window == 8) {
            EXPECT_EQ(r.frames[0].durations, Micros({40, 40}));
        }
    }
}

TEST(EdgeDetector, ParametersAreClampedIntoTheirRanges) {
    struct Case {
        int32_t set, time, level;
    } cases[] = {{0, 1, 1}, {-5, 1, 1}, {5000, 1000, 100}, {7, 7, 7}};
    for (const Case& c : cases) {
        EdgeDetector d;
        d.SetPulseTime(c.set);
        d.SetPulseLevel(c.set);
        EXPECT_EQ(d.PulseTime(), c.time);
        EXPECT_EQ(d.PulseLevel(), c.level);
    }
    // The longest window reaches 1000 samples back, across many short blocks.
    Detection r;
    r.detector.SetPulseTime(1000);
    r.detector.SetPulseLevel(10);
    r.Feed(Square(Edges(3000, {1200, 1200}), 8000), 100);
    EXPECT_TRUE(r.frames.empty());  // the 1200-sample intervals are silences
}

TEST(EdgeDetector, FrameSamplesStopAt4096AndDurationsGoOn) {
    const std::vector<int> intervals(15, 400);
    Detection r;
    r.Feed(Square(Edges(1000, intervals), 9000));
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0].samples.size(), 4096u);
    EXPECT_EQ(r.frames[0].durations, Micros(intervals));
}

TEST(EdgeDetector, PeakLevelIsTakenAndClearedAndSurvivesReset) {
    Detection r;
    r.Feed(Square(Edges(100, {50}), 300, -16384, 16384));
    EXPECT_EQ(r.detector.PeakLevel(), 32768);
    r.detector.Reset();
    EXPECT_EQ(r.detector.TakePeakLevel(), 32768);
    EXPECT_EQ(r.detector.PeakLevel(), 0);
}

TEST(EdgeDetector, LongSilenceKeepsTheEdgePositionAtItsFloor) {
    Detection r;
    r.Feed(Square({}, 48000 * 25));
    EXPECT_EQ(r.detector.LastEdgePos(), EdgeDetector::EdgePosFloor);
    // A frame after it reports a silence too long to have been measured.
    r.Feed(Square(Edges(10, {30, 30}), 1000));
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_GE(r.frames[0].gap, UnknownGap);
}

}  // namespace
}  // namespace tovanel
