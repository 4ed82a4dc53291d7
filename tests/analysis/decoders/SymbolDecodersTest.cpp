// ITT and RC-MM: spaces read by their class.
#include <gtest/gtest.h>

#include "analysis/Recognition.h"
#include "support/Protocols.h"

namespace tovanel {
namespace {

using namespace test;

TEST(Itt, FieldsCountFromOneAndTheUpperAddressesCountDown) {
    struct Case {
        uint8_t adrRaw, cmdRaw;
        uint64_t adr, cmd;
    } cases[] = {{0, 1, 1, 2}, {7, 63, 8, 64}, {8, 0, 8, 1}, {15, 33, 1, 34}};
    for (const Case& c : cases) {
        auto a = Analyse(Distort(IttFrame(c.adrRaw, c.cmdRaw), 15, 3));
        ASSERT_TRUE(a.decoded) << int(c.adrRaw);
        EXPECT_EQ(a->Protocol, Protocol::Itt);
        EXPECT_EQ(a->Adr, c.adr) << int(c.adrRaw);
        EXPECT_EQ(a->Cmd, c.cmd) << int(c.cmdRaw);
        EXPECT_EQ(a->AdrStart, 4);
        EXPECT_EQ(a->CmdStart, 12);
        EXPECT_EQ(FlagRanges(*a, Header), (Ranges{{0, 1}}));
        EXPECT_EQ(FlagRanges(*a, Trailer), (Ranges{{25, 26}}));
        EXPECT_TRUE(FlagRanges(*a, AdrBit | CmdBit).empty());
    }
}

TEST(Itt, Rejections) {
    Durations startSpace = IttFrame(5, 33);
    startSpace[3] = 200;
    auto s = Analyse(startSpace);
    EXPECT_FALSE(s.decoded);
    EXPECT_EQ(s->Protocol, -1);
    EXPECT_EQ(s->Flags[0] & Header, 0u);  // nothing written

    Durations longAdrSpace = IttFrame(5, 33);
    longAdrSpace[7] = 300;
    auto l = Analyse(longAdrSpace);
    EXPECT_FALSE(l.decoded);
    EXPECT_EQ(l->Protocol, -1);
    EXPECT_TRUE(l->HasHeader && l->HasTrailer);
    EXPECT_EQ(FlagRanges(*l, Header), (Ranges{{0, 1}}));
    EXPECT_EQ(FlagRanges(*l, Trailer), (Ranges{{25, 26}}));
}

TEST(Rcmm, TheTwoLayouts) {
    // 12 symbols: mode 1, address 2, command symbols 0 1 0 2 = 0x12.
    auto a = Analyse(Distort(RcmmFrame({1, 2, 0, 1, 0, 2, 1, 1, 0, 0, 2, 1}), 40, 3));
    ASSERT_TRUE(a.decoded);
    EXPECT_EQ(a->Protocol, Protocol::Rcmm);
    EXPECT_EQ(a->Mode, 1);
    EXPECT_EQ(a->ModeBits, 2);
    EXPECT_EQ(a->Adr, 2u);
    EXPECT_EQ(a->AdrBits, 2);
    EXPECT_EQ(a->Cmd, 0x12u);
    EXPECT_EQ(a->CmdBits, 8);
    EXPECT_EQ(FlagRanges(*a, ModeBit), (Ranges{{2, 3}}));
    EXPECT_EQ(FlagRanges(*a, AdrBit), (Ranges{{4, 5}}));
    EXPECT_EQ(FlagRanges(*a, CmdBit), (Ranges{{6, 13}}));

    // 16 symbols: mode 3 1 = 0xD, command 0 1 3 3 0 1 1 0 3 0, no address.
    auto b = Analyse(Distort(RcmmFrame({3, 1, 0, 1, 3, 3, 0, 1, 1, 0, 3, 0, 1, 1, 0, 3}), 40, 3));
    ASSERT_TRUE(b.decoded);
    EXPECT_EQ(b->Mode, 0xD);
    EXPECT_EQ(b->ModeBits, 4);
    EXPECT_EQ(b->AdrBits, 0);
    EXPECT_EQ(b->Cmd, 0x1F14Cu);
    EXPECT_EQ(b->CmdBits, 20);
    EXPECT_EQ(FlagRanges(*b, CmdBit), (Ranges{{6, 25}}));
}

TEST(Rcmm, HeaderFoundByItsNominalLengths) {
    const Durations d = RcmmFrame({1, 2, 0, 1, 0, 2, 1, 1, 0, 0, 2, 1});
    auto classified = FrameOf(d);
    ASSERT_TRUE(ClassifyFrame(*classified));
    ASSERT_FALSE(classified->HasHeader);  // the pipeline's tests miss it
    auto a = Analyse(d);
    EXPECT_TRUE(a.decoded);
    EXPECT_TRUE(a->HasHeader);
    EXPECT_EQ(FlagRanges(*a, Header), (Ranges{{0, 1}}));

    Durations noHeader = d;
    noHeader[0] = 167;
    auto r = Analyse(noHeader, 0, Modulation::PulseDistance, Protocol::Rcmm);
    EXPECT_FALSE(r.decoded);
    EXPECT_EQ(r->Protocol, -1);
}

TEST(Rcmm, EachSpaceClassTakesItsNearestSymbol) {
    // A 778 µs class alone is symbol 3 although it is near 611 as well.
    auto three = Analyse(RcmmFrame({3, 3, 3, 0, 3, 1, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(three.decoded);
    EXPECT_EQ(three->Mode, 3);
    EXPECT_EQ(three->Adr, 3u);
    EXPECT_EQ(three->Cmd, 0xCDu);  // 3 0 3 1
    // 600 and 800 µs classes: symbols 2 and 3, none lost.
    Durations both = RcmmFrame({2, 3, 2, 3, 0, 1, 0, 0, 0, 0, 0, 0});
    for (int32_t& v : both) v = v == 611 ? 600 : v == 778 ? 800 : v;
    auto b = Analyse(both);
    ASSERT_TRUE(b.decoded);
    EXPECT_EQ(b->SpaceClassCount, 4);
    EXPECT_EQ(b->Mode, 2);
    EXPECT_EQ(b->Adr, 3u);
    EXPECT_EQ(b->Cmd, 0xB1u);  // 2 3 0 1
}

TEST(Rcmm, SpacesWithoutSymbol) {
    // A class near no nominal is harmless where no field reads it...
    Durations unread = RcmmFrame({1, 2, 0, 1, 0, 2, 1, 1, 0, 0, 2, 1});
    unread[21] = 2000;
    EXPECT_TRUE(Analyse(unread, 0, Modulation::PulseDistance, Protocol::Rcmm).decoded);
    // ...and rejects where one does, with the marks up to it placed.
    Durations read = unread;
    read[9] = 2000;
    auto r = Analyse(read, 0, Modulation::PulseDistance, Protocol::Rcmm);
    EXPECT_FALSE(r.decoded);
    EXPECT_EQ(FlagRanges(*r, CmdBit), (Ranges{{6, 9}}));
}

TEST(Rcmm, TwelveBitFramesReadTheMissingSymbolsAsSpaceClassZero) {
    // 15 durations: six symbols, so the 4-bit mode and the 20-bit command
    // run on past the end, where every space reads as the symbol of space
    // class 0 (the 278 µs class: 0).
    struct Case {
        std::vector<int> sent;
        int32_t mode;
        uint64_t cmd;
    } cases[] = {
        {{1, 2, 0, 1, 0, 2}, 0x6, 0x12000},
        {{3, 0, 1, 1, 3, 0}, 0xC, 0x5C000},
        // 778 µs spaces join the 611 µs class when both are sent (they are
        // near), and that class is nearest to 611: symbol 2 where 3 was sent.
        {{3, 1, 2, 3, 0, 2}, 0x9, 0xA2000},
    };
    for (const Case& c : cases) {
        for (int32_t forced : {0, int32_t{Protocol::Rcmm}}) {
            const int32_t modulation = forced == 0 ? 0 : Modulation::PulseDistance;
            auto a = Analyse(RcmmFrame(c.sent), 0, modulation, forced);
            ASSERT_TRUE(a.decoded) << c.mode;
            EXPECT_EQ(a->Count, 15);
            EXPECT_EQ(a->Protocol, Protocol::Rcmm);
            EXPECT_EQ(a->Mode, c.mode);
            EXPECT_EQ(a->ModeBits, 4);
            EXPECT_EQ(a->AdrBits, 0);
            EXPECT_EQ(a->Cmd, c.cmd);
            EXPECT_EQ(a->CmdBits, 20);
            // The command's marks cover its ten symbols, past the end too.
            EXPECT_EQ(FlagRanges(*a, CmdBit), (Ranges{{6, 25}}));
        }
    }
}

}  // namespace
}  // namespace tovanel
