// Classification, header/trailer marking and the pipeline's exits.
#include <gtest/gtest.h>

#include <climits>

#include "analysis/Analyzer.h"
#include "analysis/Recognition.h"
#include "support/Frames.h"

namespace tovanel {
namespace {

using test::Analyse;
using test::Durations;

TEST(Near, QuarterOfTheLargerValue) {
    struct Case {
        int64_t x, n;
        bool near;
    } cases[] = {
        {1000, 1000, true}, {751, 1000, true},  {750, 1000, false}, {1332, 1000, true},
        {1333, 1000, false}, {2000, 2666, false}, {2001, 2666, true}, {0, 0, false},
        {1, 0, false},       {INT32_MAX, INT32_MAX - 1, true},        {INT32_MAX, 0, false},
    };
    for (const Case& c : cases) EXPECT_EQ(Near(c.x, c.n), c.near) << c.x << " vs " << c.n;
}

// The classification's division-free forms agree with Near and with
// division everywhere a frame of lengths 0 and more can take them.
TEST(Near, RangeAndQuotientWithoutDivision) {
    for (int64_t m : {0, 1, 3, 4, 5, 7, 8, 9, 560, 751, 1000, 1332, 1333, 65535, INT32_MAX - 2, INT32_MAX}) {
        const NearRange r = NearRange::Of(m);
        for (int64_t d : {int64_t{0}, r.first - 1, r.first, r.first + 1, r.last - 1, r.last, r.last + 1, m,
                          int64_t{INT32_MAX}}) {
            if (d < 0 || d > INT32_MAX) continue;
            EXPECT_EQ(r.Holds(d), Near(d, m)) << d << " vs " << m;
        }
    }
    for (int64_t m = 0; m < 3000; ++m)
        for (int64_t d = 0; d < 4100; d += 1 + d / 64) ASSERT_EQ(NearRange::Of(m).Holds(d), Near(d, m)) << d << " vs " << m;

    const int64_t largest = int64_t{MaxDurations} * INT32_MAX;
    for (int32_t n = 1; n <= MaxDurations; ++n)
        for (int64_t sum : {int64_t{0}, int64_t{n} - 1, int64_t{n}, int64_t{n} * 1000 - 1, largest - 1, largest,
                            largest / n * n, largest / n * n - 1})
            ASSERT_EQ(QuotientOf(sum, n), sum / n) << sum << " / " << n;
}

TEST(SortClasses, AscendingAndStableWithCountsInStep) {
    int32_t means[] = {1690, 560, 9000, 560, 4500};
    int32_t counts[] = {1, 2, 3, 4, 5};
    SortClasses(means, counts, 5);
    EXPECT_EQ(std::vector<int32_t>(means, means + 5), (std::vector<int32_t>{560, 560, 1690, 4500, 9000}));
    // The two 560 classes keep their order.
    EXPECT_EQ(std::vector<int32_t>(counts, counts + 5), (std::vector<int32_t>{2, 4, 1, 5, 3}));
}

TEST(Classification, RunningMeansAndSortedClasses) {
    // Marks 560, 600, 540 form one class (sum 1700, mean 566); 1690 founds
    // a second, which sorts after it.
    auto a = Analyse({1690, 300, 560, 300, 600, 300, 540});
    ASSERT_EQ(a->MarkClassCount, 2);
    EXPECT_EQ(a->MarkMeans[0], 566);
    EXPECT_EQ(a->MarkCounts[0], 3);
    EXPECT_EQ(a->MarkMeans[1], 1690);
    EXPECT_EQ(a->MarkCounts[1], 1);
    ASSERT_EQ(a->SpaceClassCount, 1);
    EXPECT_EQ(a->ClassIndex[0], 1);
    EXPECT_EQ(a->ClassIndex[2], 0);
    EXPECT_EQ(a->ClassIndex[1], 0);
}

TEST(Classification, RunningMeanDriftsAndFinalPassTakesFirstFit) {
    // 1000 founds a class; 1300 joins (near 1000), mean 1150; 1500 is near
    // 1150 and joins, mean 1266; 800 is near 1266? |466| >= 316, no: it
    // founds a class. Final pass: 1000 is near 800 (|200| < 250) and lands in
    // class 0, although class 1 took it.
    auto a = Analyse({1000, 100, 1300, 100, 1500, 100, 800});
    ASSERT_EQ(a->MarkClassCount, 2);
    EXPECT_EQ(a->MarkMeans[0], 800);
    EXPECT_EQ(a->MarkMeans[1], 1266);
    EXPECT_EQ(a->ClassIndex[0], 0);
    EXPECT_EQ(a->ClassIndex[2], 1);
}

TEST(Classification, NinthLengthFailsTheFinalAssignment) {
    Durations d;
    int32_t mark = 100;
    for (int i = 0; i < 9; ++i) {
        d.push_back(mark);
        d.push_back(500);
        mark = mark * 3 / 2;  // each more than a third longer
    }
    d.pop_back();
    auto a = Analyse(d);
    EXPECT_FALSE(a.decoded);
    EXPECT_EQ(a->MarkClassCount, 8);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(a->MarkCounts[k], 1);
    EXPECT_EQ(a->Modulation, -1);
    EXPECT_EQ(a->Protocol, -1);
    EXPECT_FALSE(a->HasHeader);
    EXPECT_FALSE(a->HasTrailer);
}

TEST(Classification, HugeDurationsDoNotOverflowTheClassSums) {
    // Three marks of about 2^31 would overflow a 32-bit sum.
    auto a = Analyse({INT32_MAX, 1000, INT32_MAX - 10, 1000, INT32_MAX - 20});
    ASSERT_EQ(a->MarkClassCount, 1);
    EXPECT_EQ(a->MarkMeans[0], INT32_MAX - 10);
    EXPECT_EQ(a->MarkCounts[0], 3);
}

TEST(Pipeline, TooShortFramesExitAtTheLengthCheck) {
    for (const Durations& d : {Durations{}, Durations{560}, Durations{560, 560}}) {
        auto a = Analyse(d);
        EXPECT_FALSE(a.decoded);
        EXPECT_EQ(a->Modulation, -1);
        EXPECT_EQ(a->Protocol, -1);
        EXPECT_EQ(a->MarkClassCount, 0);
        EXPECT_EQ(a->SpaceClassCount, 0);
    }
}

TEST(Pipeline, EvenCountIsAnalysedWithoutItsTrailingSpace) {
    Durations d = test::NecFrame(0x04, 0x08);
    Durations withSpace = d;
    withSpace.push_back(40000);
    auto a = Analyse(d);
    auto b = Analyse(withSpace);
    EXPECT_EQ(b->Count, a->Count);
    EXPECT_EQ(b->Protocol, a->Protocol);
    EXPECT_EQ(b->SpaceClassCount, a->SpaceClassCount);
}

TEST(Pipeline, ResetClearsResultsButNotFlags) {
    auto f = test::FrameOf({9000, 4500, 560, 560, 560});
    f->Flags[3] = CmdBit;
    f->Adr = 77;
    f->IsRepeat = true;
    AnalyzeFrame(*f, 0, 0, {});
    EXPECT_EQ(f->Adr, 0u);
    EXPECT_FALSE(f->IsRepeat);
    EXPECT_TRUE(f->Flags[3] & CmdBit);
}

struct HeaderCase {
    const char* name;
    Durations d;
    bool header;
    uint32_t flags0, flags1;
};

class HeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, Marks) {
    const HeaderCase& c = GetParam();
    auto a = test::FrameOf(c.d);
    ASSERT_TRUE(ClassifyFrame(*a));
    EXPECT_EQ(a->HasHeader, c.header);
    EXPECT_EQ(a->Flags[0] & Header, c.flags0);
    EXPECT_EQ(a->Flags[1] & Header, c.flags1);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, HeaderTest,
    testing::Values(
        // Mark classes 560 and 8400, the long one holding the first mark only.
        HeaderCase{"LongFirstMark", {8400, 560, 560, 560, 560, 1690, 560}, true, Header, 0},
        // Three 8400 marks: no longer rare.
        HeaderCase{"LongMarkThreeTimes", {8400, 560, 8400, 560, 8400, 1690, 560}, false, 0, 0},
        // Class 1 of three mark classes is never a header.
        HeaderCase{"MiddleOfThreeMarkClasses", {2000, 560, 560, 560, 9000, 560, 560}, false, 0, 0},
        // Not more than three times the shortest mark.
        HeaderCase{"MarkOnlyThreeTimes", {1680, 560, 560, 560, 560, 560, 560}, false, 0, 0},
        // Spaces 560, 1690, 4500 with the first space in the 1690 class:
        // class 1 of three classes.
        HeaderCase{"SpaceInMiddleClass", {560, 1690, 560, 560, 560, 4500, 560, 1690, 560}, false, 0, 0},
        // In the 4500 class it is a header: 4500 > 5 * 560 / 2.
        HeaderCase{"SpaceInLongClass", {560, 4500, 560, 560, 560, 1690, 560, 1690, 560}, true, 0, Header},
        // Two space classes, 560 and 1400: 1400 is not above 1400.
        HeaderCase{"SpaceExactlyTwoAndAHalf", {560, 1400, 560, 560, 560, 560, 560}, false, 0, 0},
        HeaderCase{"SpaceJustAbove", {560, 1401, 560, 560, 560, 560, 560}, true, 0, Header}),
    [](const auto& info) { return info.param.name; });

TEST(Trailer, LongLastMarkAndLongSpaceBeforeIt) {
    auto a = Analyse({560, 560, 560, 1690, 560, 560, 560, 20000, 8000});
    EXPECT_TRUE(a->HasTrailer);
    EXPECT_TRUE(a->Flags[8] & Trailer);
    EXPECT_TRUE(a->Flags[7] & Trailer);
    EXPECT_FALSE(a->HasHeader);
}

TEST(Pipeline, FrameOfExactlyTwoHundredDurationsFillsTheArrays) {
    Durations d;
    for (int i = 0; i < 199; ++i) d.push_back(i % 4 == 3 ? 1690 : 560);
    d.push_back(560);  // 200: analysed as 199
    auto a = Analyse(d);
    EXPECT_EQ(a->Count, 199);
    for (int i = 0; i < 199; ++i) ASSERT_EQ(a->ClassIndex[i], d[i] == 560 ? 0 : 1) << i;
    auto f = test::FrameOf(d);
    EXPECT_EQ(f->Count, 200);
    EXPECT_EQ(f->Durations[199], 560);
}

}  // namespace
}  // namespace tovanel
