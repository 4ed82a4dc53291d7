// Generic extraction by a user-described layout.
#include <gtest/gtest.h>

#include "analysis/Generic.h"
#include "analysis/Recognition.h"
#include "support/Protocols.h"

namespace tovanel {
namespace {

using namespace test;

// Header 9000/4500, eight data spaces given as long/short, final mark.
Durations Frame8(const char* pattern) {
    Bits bits;
    for (const char* p = pattern; *p; ++p) bits.push_back(*p == 'L');
    Bits filler = BitsOf(0, 12, true);  // 43 durations: no protocol's length
    return PulseDistance(NecTiming, Concat({bits, filler}));
}

DecodeSettings Adr8(bool lowFirst, bool inverse) {
    DecodeSettings s;
    s.AdrStart = 2;
    s.AdrBits = 8;
    s.AdrOrder = lowFirst;
    s.AdrInverse = inverse;
    return s;
}

TEST(Generic, BitOrderAndInversion) {
    struct Case {
        const char* pattern;
        bool lowFirst, inverse;
        uint64_t adr;
    } cases[] = {
        {"LSSSSSSL", false, false, 0x81}, {"LSSSSSSL", true, false, 0x81},
        {"LSSSSSSS", false, false, 0x80}, {"LSSSSSSS", true, false, 0x01},
        {"LSSSSSSL", false, true, 0x7E},  {"SSSSSSSS", true, true, 0xFF},
    };
    for (const Case& c : cases) {
        auto a = Analyse(Frame8(c.pattern), 0, 0, 0, Adr8(c.lowFirst, c.inverse));
        EXPECT_TRUE(a.decoded) << c.pattern;
        EXPECT_EQ(a->Adr, c.adr) << c.pattern << " low " << c.lowFirst << " inv " << c.inverse;
        EXPECT_EQ(a->AdrStart, 2);
        EXPECT_EQ(a->AdrBits, 8);
        EXPECT_EQ(a->AdrOrder, c.lowFirst);
    }
}

TEST(Generic, FlagsCoverThePairsRead) {
    auto a = Analyse(Frame8("LSSSSSSL"), 0, 0, 0, Adr8(false, false));
    for (int i = 0; i < a->Count; ++i)
        EXPECT_EQ((a->Flags[i] & AdrBit) != 0, i >= 2 && i <= 17) << i;
    EXPECT_TRUE(a->Flags[0] & Header);
    EXPECT_TRUE(a->Flags[1] & Header);
}

TEST(Generic, FieldPastTheEndFails) {
    // 35 durations: spaces up to position 33; 17 bits from 2 need 35.
    Durations d = PulseDistance(NecTiming, BitsOf(0x00FF, 16, true));
    ASSERT_EQ(d.size(), 35u);
    d[0] = 4000;  // no JVC header
    DecodeSettings s = Adr8(true, false);
    s.AdrBits = 17;
    s.CmdBits = 4;
    auto a = Analyse(d, 0, 0, 0, s);
    EXPECT_FALSE(a.decoded);
    EXPECT_EQ(a->Protocol, 0);
    EXPECT_EQ(a->Adr, 0x00FFu);  // the bits read so far stay
    EXPECT_EQ(a->AdrBits, 17);
    EXPECT_EQ(a->CmdBits, 0);  // the command was never started
    s.AdrBits = 16;
    EXPECT_TRUE(Analyse(d, 0, 0, 0, s).decoded);
}

TEST(Generic, CommandPastTheEndKeepsTheAddress) {
    const Durations d = PulseDistance(NecTiming, BitsOf(0xA5, 8, true));
    DecodeSettings s = Adr8(true, false);
    s.CmdStart = 10;
    s.CmdBits = 8;
    auto a = Analyse(d, 0, 0, 0, s);
    EXPECT_FALSE(a.decoded);
    EXPECT_EQ(a->Adr, 0xA5u);
    EXPECT_EQ(a->CmdStart, 10);
}

TEST(Generic, EmptyLayoutSucceedsWithZeroes) {
    auto a = Analyse(Frame8("LLLLLLLL"), 0, 0, 0, DecodeSettings{});
    EXPECT_TRUE(a.decoded);
    EXPECT_EQ(a->Adr, 0u);
    EXPECT_EQ(a->Cmd, 0u);
    EXPECT_EQ(a->Protocol, 0);
}

TEST(Generic, OverlappingFieldsGetBothFlags) {
    DecodeSettings s = Adr8(true, false);
    s.CmdStart = 2;
    s.CmdBits = 4;
    s.CmdOrder = true;
    auto a = Analyse(Frame8("LSLSSSSS"), 0, 0, 0, s);
    EXPECT_EQ(a->Adr, 0x05u);
    EXPECT_EQ(a->Cmd, 0x05u);
    EXPECT_EQ(a->Flags[3] & (AdrBit | CmdBit), AdrBit | CmdBit);
}

TEST(Generic, NotPulseDistanceFailsAndKeepsModulation) {
    auto sony = Analyse(SonyFrame(0x095, 12), 0, 0, Protocol::NecRev);
    EXPECT_FALSE(sony.decoded);
    EXPECT_EQ(sony->Modulation, Modulation::PulseLength);
    EXPECT_EQ(sony->Protocol, Protocol::NecRev);
}

TEST(Generic, WideFields) {
    // 32 bits low first, only the last space long: only bit 31 is set. A
    // 33rd bit keeps the frame off NEC's length.
    Bits bits(33, 0);
    bits[31] = 1;
    const Durations d = PulseDistance(NecTiming, bits);
    DecodeSettings s;
    s.AdrStart = 2;
    s.AdrBits = 32;
    s.AdrOrder = true;
    EXPECT_EQ(Analyse(d, 0, 0, 0, s)->Adr, 0x80000000u);

    // 70 bits: high first keeps the last 64 read; low first keeps bits 0..63.
    Bits many(70, 0);
    many[0] = 1;   // leaves the top of a high-first value
    many[69] = 1;  // beyond bit 63 of a low-first value
    many[63] = 1;
    const Durations wide = PulseDistance(NecTiming, many);
    s.AdrBits = 70;
    EXPECT_EQ(Analyse(wide, 0, 0, 0, s)->Adr, (uint64_t{1} << 63) | 1);
    s.AdrOrder = false;
    EXPECT_EQ(Analyse(wide, 0, 0, 0, s)->Adr, (uint64_t{1} << 6) | 1);
}

TEST(Generic, SingleSpaceClassReadsShort) {
    // Forced pulse distance on a frame with one space class: every space of
    // it reads 0, whatever an earlier analysis left in the class table.
    auto f = FrameOf(PulseDistance({0, 0, 560, 560, 600}, BitsOf(0xFF, 8, true)));
    f->SpaceMeans[1] = 100;  // stale entry
    DecodeSettings s = Adr8(true, false);
    s.AdrStart = 0;
    EXPECT_TRUE(AnalyzeFrame(*f, Modulation::PulseDistance, 0, s));
    EXPECT_EQ(f->SpaceClassCount, 1);
    EXPECT_EQ(f->Adr, 0u);
    s.AdrInverse = true;
    EXPECT_TRUE(AnalyzeFrame(*f, Modulation::PulseDistance, 0, s));
    EXPECT_EQ(f->Adr, 0xFFu);
}

TEST(Generic, NegativeStartFailsInsteadOfReadingBeforeTheFrame) {
    DecodeSettings s = Adr8(true, false);
    s.AdrStart = -4;
    EXPECT_FALSE(Analyse(Frame8("LLLLLLLL"), 0, 0, 0, s).decoded);
}

}  // namespace
}  // namespace tovanel
