// RC-5, RC-6 and NOKIA: half-bit rebuilding, the fields, the marks and the
// rejections.
#include <gtest/gtest.h>

#include "analysis/Recognition.h"
#include "support/Protocols.h"

namespace tovanel {
namespace {

using namespace test;

struct Expect {
    const char* name;
    Durations d;
    int32_t protocol, mode, modeBits;
    uint64_t adr, cmd;
    int32_t cmdBits;
};

class BiphaseReading : public testing::TestWithParam<Expect> {};

TEST_P(BiphaseReading, DistortedFramesDecode) {
    const Expect& c = GetParam();
    auto a = Analyse(Distort(c.d, 80, 3));
    ASSERT_TRUE(a.decoded);
    EXPECT_EQ(a->Protocol, c.protocol);
    EXPECT_EQ(a->Mode, c.mode);
    EXPECT_EQ(a->ModeBits, c.modeBits);
    EXPECT_EQ(a->Adr, c.adr);
    EXPECT_EQ(a->Cmd, c.cmd);
    EXPECT_EQ(a->CmdBits, c.cmdBits);
}

INSTANTIATE_TEST_SUITE_P(
    Decoders, BiphaseReading,
    testing::Values(
        // Mode = the two start bits; a last bit 0 ends in a space half (27
        // halves, completed to 28).
        Expect{"Rc5", Rc5Frame(1, 0, 0x05, 0x35), Protocol::Rc5, 3, 2, 0x05, 0x35, 6},
        Expect{"Rc5EndsInSpace", Rc5Frame(1, 1, 0x1F, 0x00), Protocol::Rc5, 3, 2, 0x1F, 0x00, 6},
        Expect{"Rc5SecondStartBit0", Rc5Frame(0, 0, 0x0A, 0x2A), Protocol::Rc5, 2, 2, 0x0A, 0x2A, 6},
        // RC-6 reads its command with the reverse pair meaning: sent 0x0C
        // gives 0xF3.
        Expect{"Rc6", Rc6Frame(0, 1, 0x04, 0x0C), Protocol::Rc6, 0, 3, 0x04, 0xF3, 8},
        Expect{"Rc6Mode6", Rc6Frame(6, 0, 0x80, 0x3F), Protocol::Rc6, 6, 3, 0x80, 0xC0, 8},
        Expect{"Rc6Data24", Rc6Frame(0, 0, 0x21, BitsOf(0x123456, 24, false)), Protocol::Rc6, 0, 3,
               0x21, 0xEDCBA9, 24},
        Expect{"Nokia", NokiaFrame(0x12, 0xA5), Protocol::Nokia, 0, 0, 0x12, 0xA5, 8},
        // Address bit 7 set: the frame ends with a space half (33 halves).
        Expect{"NokiaEndsInSpace", NokiaFrame(0x92, 0x01), Protocol::Nokia, 0, 0, 0x92, 0x01, 8}),
    [](const auto& info) { return info.param.name; });

TEST(Rc5, ToggleMarksFollowTheThirdDuration) {
    // Second start bit 1 then toggle 0: their marks merge into one long mark
    // at 2, so the toggle is 2 and 3 and the command marks start at 4.
    auto merged = Analyse(Rc5Frame(1, 0, 0x05, 0x35));
    EXPECT_EQ(FlagRanges(*merged, ModeBit), (Ranges{{0, 2}}));
    EXPECT_EQ(FlagRanges(*merged, ToggleBit), (Ranges{{2, 3}}));
    EXPECT_EQ(FlagRanges(*merged, CmdBit), (Ranges{{4, merged->Count - 1}}));
    auto single = Analyse(Rc5Frame(1, 1, 0x05, 0x35));
    EXPECT_EQ(FlagRanges(*single, ToggleBit), (Ranges{{3, 4}}));
    EXPECT_EQ(FlagRanges(*single, CmdBit), (Ranges{{5, single->Count - 1}}));
    EXPECT_EQ(merged->AdrStart, 6);  // half-bit positions
    EXPECT_EQ(merged->CmdStart, 16);
}

TEST(Rc5, Rejections) {
    Durations tooLong = Rc5Frame(1, 1, 0x05, 0x35);
    tooLong.insert(tooLong.end(), {889, 889});  // one bit more
    // Halves 0 1, 0 1, 1 0, then (1, 1) where the address starts.
    const Durations illegalPair = FromLevels({0, 1, 0, 1, 1, 0, 1, 1, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0,
                                              1, 0, 1, 0, 1, 0, 1, 0, 1, 0},
                                             889);
    Durations offClass = Rc5Frame(1, 1, 0x05, 0x35);
    offClass[5] = 1300;  // near neither 889 nor 1778
    for (const Durations& d : {tooLong, illegalPair, offClass}) {
        auto a = Analyse(d, 0, Modulation::BiPhase, Protocol::Rc5);
        EXPECT_FALSE(a.decoded);
        EXPECT_EQ(a->Protocol, -1);
    }
    // Marks placed before a rejection stay.
    auto a = Analyse(tooLong);
    EXPECT_EQ(FlagRanges(*a, ModeBit), (Ranges{{0, 2}}));
    EXPECT_FALSE(FlagRanges(*a, CmdBit).empty());
}

TEST(Rc6, MarksOfStartModeToggleAndData) {
    // Mode 000 then toggle 1: the start space merges with the first mode
    // half (double), the last mode half with the first toggle half (triple
    // mark at 8), the last toggle half with the first address half (triple
    // space at 9).
    auto a = Analyse(Rc6Frame(0, 1, 0x04, 0x0C));
    ASSERT_TRUE(a.decoded);
    EXPECT_EQ(FlagRanges(*a, StartBit), (Ranges{{2, 3}}));
    EXPECT_EQ(FlagRanges(*a, ModeBit), (Ranges{{4, 8}}));
    EXPECT_EQ(FlagRanges(*a, ToggleBit), (Ranges{{8, 9}}));
    EXPECT_EQ(FlagRanges(*a, CmdBit), (Ranges{{9, a->Count - 1}}));
    EXPECT_EQ(a->ModeStart, 2);
    EXPECT_EQ(a->AdrStart, 8);
    EXPECT_EQ(a->CmdStart, 24);
}

TEST(Rc6, Rejections) {
    const Durations good = Rc6Frame(0, 1, 0x04, 0x0C);
    Durations tripleInData = good;
    tripleInData[15] = 1333;
    // 140 alternating data bits: every data duration is double, 280 halves.
    Bits alternating;
    for (int k = 0; k < 140; ++k) alternating.push_back(k % 2);
    const Durations overCapacity = Rc6Frame(0, 0, 0x55, alternating);
    // A truncated capture: 15 durations hold no complete address.
    const Durations truncated(good.begin(), good.begin() + 15);
    for (const Durations& d : {tripleInData, overCapacity, truncated}) {
        auto a = Analyse(d, 0, Modulation::BiPhase, Protocol::Rc6);
        EXPECT_FALSE(a.decoded);
        EXPECT_EQ(a->Protocol, -1);
        EXPECT_EQ(a->AdrBits, 0);
    }
}

TEST(Nokia, FlagsAtHalfBitPositionsAndKeptHeaderOnRejection) {
    auto a = Analyse(NokiaFrame(0x12, 0xA5));
    EXPECT_EQ(FlagRanges(*a, Header), (Ranges{{0, 1}}));
    EXPECT_EQ(FlagRanges(*a, CmdBit), (Ranges{{2, 17}}));
    EXPECT_EQ(FlagRanges(*a, AdrBit), (Ranges{{18, 33}}));
    EXPECT_EQ(a->CmdStart, 2);
    EXPECT_EQ(a->AdrStart, 18);

    Durations tooLong = NokiaFrame(0x12, 0xA5);
    tooLong.insert(tooLong.end(), {500, 500});
    auto r = Analyse(tooLong);
    EXPECT_FALSE(r.decoded);
    EXPECT_EQ(r->Protocol, -1);
    EXPECT_TRUE(r->HasHeader);
    EXPECT_TRUE(r->Flags[0] & Header);
}

}  // namespace
}  // namespace tovanel
