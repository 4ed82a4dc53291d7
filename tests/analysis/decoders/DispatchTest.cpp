// Dispatch by protocol number and the shared bit reading.
#include <gtest/gtest.h>

#include "analysis/Recognition.h"
#include "analysis/decoders/BitReading.h"
#include "analysis/decoders/Dispatch.h"
#include "support/Protocols.h"

namespace tovanel {
namespace {

using namespace test;

TEST(Dispatch, SecondReadingsAndUnknownNumbersReadGenerically) {
    DecodeSettings s;
    s.AdrStart = 2;
    s.AdrBits = 8;
    s.AdrOrder = true;
    for (int32_t p : {Protocol::Rca2, Protocol::NecRev, 20, 1000, -5}) {
        EXPECT_EQ(DecoderFor(p), nullptr) << p;
        auto a = Analyse(NecFrame(0x04, 0x08), 0, Modulation::PulseDistance, p, s);
        EXPECT_TRUE(a.decoded) << p;
        EXPECT_EQ(a->Adr, 0x04u) << p;
        EXPECT_EQ(a->Protocol, p);
    }
    for (int32_t m : {Modulation::PulseLength, Modulation::BiPhase}) {
        auto a = Analyse(NecFrame(0x04, 0x08), 0, m, Protocol::NecRev, s);
        EXPECT_FALSE(a.decoded);
        EXPECT_EQ(a->Protocol, Protocol::NecRev);
    }
}

TEST(Dispatch, EveryRecognisedProtocolHasItsDecoder) {
    for (int32_t p = 0; p < Protocol::Count; ++p) {
        const bool generic = p == Protocol::None || p == Protocol::Rca2 || p == Protocol::NecRev;
        EXPECT_EQ(DecoderFor(p) == nullptr, generic) << ProtocolName(p);
    }
}

TEST(BitReading, ClassRoles) {
    const int32_t halves[] = {889, 1778};
    // Two classes near 889: the longer one takes the role, the shorter none.
    const int32_t means[] = {800, 900, 1800};
    ClassRoles r = AssignRoles(means, 3, halves);
    EXPECT_TRUE(r.allFit);
    EXPECT_EQ(r.Of(0), -1);
    EXPECT_EQ(r.Of(1), 0);
    EXPECT_EQ(r.Of(2), 1);
    EXPECT_EQ(r.Of(-1), -1);
    EXPECT_EQ(r.Of(8), -1);
    EXPECT_EQ(r.Of(3), -1);  // beyond the classes examined
    const int32_t misfit[] = {889, 1300};
    EXPECT_FALSE(AssignRoles(misfit, 2, halves).allFit);
    // 700 and 694 are near both 611 and 778: 700 is nearer 778, 694 nearer
    // 611 (83 against 84); an exact tie goes to the earlier nominal.
    const int32_t symbols[] = {611, 778};
    const int32_t spaces[] = {700, 694};
    EXPECT_EQ(AssignRoles(spaces, 1, symbols, RoleChoice::Nearest).Of(0), 1);
    EXPECT_EQ(AssignRoles(spaces + 1, 1, symbols, RoleChoice::Nearest).Of(0), 0);
    const int32_t tied[] = {700};
    const int32_t around[] = {650, 750};
    EXPECT_EQ(AssignRoles(tied, 1, around, RoleChoice::Nearest).Of(0), 0);
    EXPECT_EQ(AssignRoles(spaces, 1, symbols, RoleChoice::FirstNear).Of(0), 0);
}

TEST(BitReading, ThresholdIsTheMidpointOfTheTwoShortestSpaces) {
    auto f = NewFrame();
    f->SpaceMeans[0] = 1000;
    f->SpaceMeans[1] = 1999;
    f->SpaceClassCount = 2;
    EXPECT_EQ(BitThreshold(*f), 1499);
    f->SpaceClassCount = 1;  // the second entry is not a class of this frame
    EXPECT_EQ(BitThreshold(*f), 1500);
    f->SpaceClassCount = 2;
    f->MarkMeans[0] = 600;
    f->MarkMeans[1] = 1201;
    EXPECT_EQ(MarkBitThreshold(*f), 900);
    f->Durations[1] = 1499;
    f->Durations[3] = 1500;
    EXPECT_EQ(ReadPairBits(*f, 0, 2, false, 1499, BitSource::Space, AdrBit), 0b01u);
}

TEST(BitReading, OrderFlagsAndSource) {
    auto f = NewFrame();
    // Eight pairs: bit pattern 1,0,0,0,0,0,0,0 in the spaces, the reverse in
    // the marks.
    for (int k = 0; k < 8; ++k) {
        f->Durations[2 * k] = k == 7 ? 1200 : 600;
        f->Durations[2 * k + 1] = k == 0 ? 1690 : 560;
    }
    EXPECT_EQ(ReadPairBits(*f, 0, 8, true, 1125, BitSource::Space, AdrBit), 1u);
    EXPECT_EQ(ReadPairBits(*f, 0, 8, false, 1125, BitSource::Space, AdrBit), 128u);
    EXPECT_EQ(ReadPairBits(*f, 0, 8, true, 900, BitSource::Mark, CmdBit, AdrBit), 128u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(f->Flags[i], uint32_t{CmdBit}) << i;
    EXPECT_EQ(f->Flags[16], 0u);
}

TEST(BitReading, NeverLeavesTheArrays) {
    auto f = NewFrame();
    EXPECT_EQ(ReadPairBits(*f, 190, 50, true, 0, BitSource::Space, AdrBit), 0u);
    EXPECT_EQ(ReadPairBits(*f, -4, 3, true, 0, BitSource::Space, AdrBit), 0u);
    MarkRange(*f, -3, 500, Header);
    EXPECT_EQ(f->Flags[199], uint32_t{Header | AdrBit});
    EXPECT_EQ(f->Flags[0], uint32_t{Header});
}

TEST(BitReading, ComplementCheck) {
    EXPECT_TRUE(ComplementPasses(0xF708, 8));
    EXPECT_FALSE(ComplementPasses(0xF608, 8));
    EXPECT_TRUE(ComplementPasses(0xFB04, 8));
    EXPECT_TRUE(ComplementPasses((uint64_t{0x1FFF & ~0x0123} << 13) | 0x0123, 13));
    EXPECT_FALSE(ComplementPasses(0, 0));
    EXPECT_FALSE(ComplementPasses(0, 64));
    EXPECT_EQ(LowBits(0xF708, 8), 0x08u);
    EXPECT_EQ(LowBits(~uint64_t{0}, 64), ~uint64_t{0});
}

}  // namespace
}  // namespace tovanel
