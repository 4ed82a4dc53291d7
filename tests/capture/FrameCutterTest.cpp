// Cutting timed line changes into frames.
#include <gtest/gtest.h>

#include <vector>

#include "capture/FrameAssembler.h"
#include "capture/FrameCutter.h"

namespace tovanel {
namespace {

struct Cut {
    uint32_t gap;
    std::vector<int32_t> durations;
};

struct Recorder {
    std::vector<Cut> frames;
    FrameCutter cutter{[this](uint32_t gap, const int32_t* d, int32_t n) {
        frames.push_back({gap, std::vector<int32_t>(d, d + n)});
    }};
};

TEST(FrameCutter, FrameEndsAtTheIdleTimeout) {
    Recorder r;
    r.cutter.Push(UnknownGap, false);  // after a long silence
    const std::vector<std::pair<uint32_t, bool>> items = {
        {560, true}, {560, false}, {560, true}, {1690, false}, {560, true}};
    for (auto [d, mark] : items) r.cutter.Push(d, mark);
    EXPECT_TRUE(r.frames.empty());
    r.cutter.IdleTimeout();
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0].gap, UnknownGap);
    EXPECT_EQ(r.frames[0].durations, (std::vector<int32_t>{560, 560, 560, 1690, 560}));
    r.cutter.IdleTimeout();  // nothing collected: nothing to end
    EXPECT_EQ(r.frames.size(), 1u);
}

TEST(FrameCutter, TenThousandTwoHundredStaysInTheFrame) {
    Recorder r;
    r.cutter.Push(560, true);
    r.cutter.Push(10200, false);
    r.cutter.Push(560, true);
    r.cutter.Push(10201, false);
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0].gap, 10201u);
    EXPECT_EQ(r.frames[0].durations, (std::vector<int32_t>{560, 10200, 560}));
}

TEST(FrameCutter, BrokenAlternationDiscardsTheFrame) {
    Recorder r;
    r.cutter.Push(560, true);
    r.cutter.Push(560, false);
    r.cutter.Push(560, false);  // two spaces: an edge was lost
    EXPECT_FALSE(r.cutter.Collecting());
    r.cutter.Push(900, false);  // a space cannot start a frame
    r.cutter.Push(700, true);
    r.cutter.Push(300, false);
    r.cutter.Push(700, true);
    r.cutter.IdleTimeout();
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0].durations, (std::vector<int32_t>{700, 300, 700}));
}

TEST(FrameCutter, CapsFramesAtTheirLimitWhileFollowingAlternation) {
    Recorder r;
    for (int i = 0; i < 1500; ++i) r.cutter.Push(500 + i % 2, i % 2 == 0);
    EXPECT_EQ(r.cutter.Count(), FrameCutter::MaxFrameDurations);
    r.cutter.Push(20000, false);
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0].durations.size(), 1024u);
}

}  // namespace
}  // namespace tovanel
