// NEC, Sanyo and RCA: the fields, the check copies, the second readings and
// the rejections.
#include <gtest/gtest.h>

#include "analysis/Recognition.h"
#include "support/Protocols.h"

namespace tovanel {
namespace {

using namespace test;

struct Reading {
    const char* name;
    Durations d;
    int32_t protocol;
    uint64_t adr, cmd;
    int32_t adrStart, adrBits, cmdStart, cmdBits;
    Ranges adrFlags, cmdFlags, copies;
};

class ComplementReading : public testing::TestWithParam<Reading> {};

TEST_P(ComplementReading, FieldsAndMarks) {
    const Reading& c = GetParam();
    auto a = Analyse(Distort(c.d, 120, 4));
    ASSERT_TRUE(a.decoded);
    EXPECT_EQ(a->Protocol, c.protocol) << ProtocolName(a->Protocol);
    EXPECT_EQ(a->Adr, c.adr);
    EXPECT_EQ(a->Cmd, c.cmd);
    EXPECT_EQ(a->AdrStart, c.adrStart);
    EXPECT_EQ(a->AdrBits, c.adrBits);
    EXPECT_EQ(a->CmdStart, c.cmdStart);
    EXPECT_EQ(a->CmdBits, c.cmdBits);
    EXPECT_TRUE(a->AdrOrder && a->CmdOrder);
    EXPECT_EQ(FlagRanges(*a, Header), (Ranges{{0, 1}}));
    EXPECT_EQ(FlagRanges(*a, AdrBit), c.adrFlags);
    EXPECT_EQ(FlagRanges(*a, CmdBit), c.cmdFlags);
    EXPECT_EQ(FlagRanges(*a, CheckCopy), c.copies);
}

// Expected values worked out from the byte order on the wire: the first
// byte sent is the low byte of a 16-bit value.
INSTANTIATE_TEST_SUITE_P(
    Decoders, ComplementReading,
    testing::Values(
        Reading{"Nec", NecFrame(0x04, 0x08), Protocol::Nec, 0xFB04, 0x08, 2, 8, 34, 8,
                {{2, 33}}, {{34, 65}}, {{50, 65}}},
        // An extended address (no complement) is kept whole.
        Reading{"NecExtendedAddress", NecBytes(0x04, 0x12, 0x08, 0xF7), Protocol::Nec, 0x1204, 0x08,
                2, 8, 34, 8, {{2, 33}}, {{34, 65}}, {{50, 65}}},
        // Command bytes first: NEC (rev).
        Reading{"NecRev", NecBytes(0x08, 0xF7, 0x34, 0x12), Protocol::NecRev, 0x1234, 0x08, 34, 8, 2,
                8, {{34, 65}}, {{2, 33}}, {{18, 33}}},
        // Neither half complementary: NEC (rev) with a 16-bit command.
        Reading{"NecRevUnchecked", NecBytes(0x08, 0x12, 0x34, 0x56), Protocol::NecRev, 0x5634, 0x1208,
                34, 8, 2, 8, {{34, 65}}, {{2, 33}}, {}},
        Reading{"Sanyo", SanyoFrame(0x0123, 0x45), Protocol::Sanyo, 0x0123, 0x45, 2, 13, 54, 8,
                {{2, 53}}, {{54, 85}}, {{28, 53}, {70, 85}}},
        // A wrong address copy keeps all 26 bits; the command is still at 54.
        Reading{"SanyoWrongAddressCopy",
                PulseDistance(NecTiming, Concat({BitsOf(0x0123, 13, true), BitsOf(0x0123, 13, true),
                                                 BitsOf(0x45, 8, true), BitsOf(0xBA, 8, true)})),
                Protocol::Sanyo, 0x0123 | 0x0123 << 13, 0x45, 2, 13, 54, 8, {{2, 53}}, {{54, 85}},
                {{70, 85}}},
        Reading{"Rca", RcaFrame(0x5, 0x3C), Protocol::Rca, 0x5, 0x3C, 2, 4, 10, 8,
                {{2, 9}, {26, 33}}, {{10, 25}, {34, 49}}, {{26, 49}}},
        // Address copy right, command copy 0x00 wrong: RCA2 reads the 24 bits
        // as address 0x5 | (low nibble of 0x3C) << 4 and command
        // 0x3 | (address copy 0xA) << 4 | (command copy 0x00) << 8.
        Reading{"Rca2",
                PulseDistance(RcaTiming, Concat({BitsOf(0x5, 4, true), BitsOf(0x3C, 8, true),
                                                 BitsOf(0xA, 4, true), BitsOf(0x00, 8, true)})),
                Protocol::Rca2, 0xC5, 0x00A3, 2, 8, 18, 16, {{2, 17}}, {{18, 49}}, {}}),
    [](const auto& info) { return info.param.name; });

TEST(ComplementDecoders, RejectFramesWithoutHeaderOrTwoSpaceLengths) {
    Durations noHeader = NecFrame(0x04, 0x08);
    noHeader[0] = noHeader[1] = 560;
    // Header 9000 / 560 and only 0 bits: one space class.
    const Durations oneSpace = PulseDistance({9000, 560, 560, 560, 1690}, Bits(32, 0));
    for (int32_t p : {Protocol::Nec, Protocol::Sanyo, Protocol::Rca}) {
        for (const Durations& d : {noHeader, oneSpace}) {
            auto a = Analyse(d, 0, Modulation::PulseDistance, p);
            EXPECT_FALSE(a.decoded) << p;
            EXPECT_EQ(a->Protocol, -1);
            EXPECT_EQ(a->AdrBits, 0);  // rejected before anything is written
            EXPECT_TRUE(FlagRanges(*a, AdrBit).empty());
        }
    }
}

}  // namespace
}  // namespace tovanel
