// The nine fixed-layout decoders: fields and their marks, header handling,
// entry requirements, and RECS80's address conversion.
#include <gtest/gtest.h>

#include "analysis/Recognition.h"
#include "support/Protocols.h"

namespace tovanel {
namespace {

using namespace test;

Durations Frame(const PulseDistanceTiming& t, std::initializer_list<Bits> parts) {
    return PulseDistance(t, Concat(parts));
}

constexpr bool L = true, H = false;

struct Layout {
    const char* name;
    Durations d;
    int32_t slot, protocol;
    uint64_t adr;
    int32_t adrStart, adrBits;
    bool adrLow;
    uint64_t cmd;
    int32_t cmdStart, cmdBits;
    bool cmdLow;
    bool header;  // Header marks on 0 and 1 afterwards
    int jitter = 4;  // percent
};

class FixedLayout : public testing::TestWithParam<Layout> {};

TEST_P(FixedLayout, DistortedFramesDecodeAtTheirPositions) {
    const Layout& c = GetParam();
    auto a = Analyse(Distort(c.d, 110, c.jitter), c.slot);
    ASSERT_TRUE(a.decoded);
    EXPECT_EQ(a->Protocol, c.protocol) << ProtocolName(a->Protocol);
    EXPECT_EQ(a->Adr, c.adr);
    EXPECT_EQ(a->AdrStart, c.adrStart);
    EXPECT_EQ(a->AdrBits, c.adrBits);
    EXPECT_EQ(a->AdrOrder, c.adrLow);
    EXPECT_EQ(a->Cmd, c.cmd);
    EXPECT_EQ(a->CmdStart, c.cmdStart);
    EXPECT_EQ(a->CmdBits, c.cmdBits);
    EXPECT_EQ(a->CmdOrder, c.cmdLow);
    EXPECT_EQ(a->HasHeader, c.header);
    EXPECT_EQ(FlagRanges(*a, Header), (c.header ? Ranges{{0, 1}} : Ranges{}));
    EXPECT_EQ(FlagRanges(*a, AdrBit), (Ranges{{c.adrStart, c.adrStart + 2 * c.adrBits - 1}}));
    EXPECT_EQ(FlagRanges(*a, CmdBit), (Ranges{{c.cmdStart, c.cmdStart + 2 * c.cmdBits - 1}}));
}

// Values as sent, in each protocol's own bit order. REC80's header space is
// only 1.36 times its long data space, so more jitter merges the two classes.
INSTANTIATE_TEST_SUITE_P(
    Decoders, FixedLayout,
    testing::Values(
        Layout{"JvcFirst", JvcFrame(0x03, 0x17, true), 0, Protocol::Jvc, 0x03, 2, 8, L, 0x17, 18, 8, L, true},
        Layout{"JvcLater", JvcFrame(0x03, 0x17, false), 1, Protocol::Jvc, 0x03, 0, 8, L, 0x17, 16, 8, L, false},
        Layout{"Sharp", SharpFrame(0x11, 0x5A), 0, Protocol::Sharp, 0x11, 0, 5, L, 0x5A, 10, 8, L, false},
        // SONY: 7 (10, 15) command bits then 5 address bits of one word.
        Layout{"Sony12", SonyFrame(0x15 | 1 << 7, 12), 0, Protocol::Sony, 1, 16, 5, L, 0x15, 2, 7, L, true},
        Layout{"Sony15", SonyFrame(0x2A5A, 15), 0, Protocol::Sony, 0x0A, 22, 5, L, 0x25A, 2, 10, L, true},
        Layout{"Sony20", SonyFrame(0xA5A5A, 20), 0, Protocol::Sony, 0x14, 32, 5, L, 0x5A5A, 2, 15, L, true},
        Layout{"Xsat", XsatFrame(0x21, 0x43), 0, Protocol::Xsat, 0x21, 2, 8, L, 0x43, 20, 8, L, true},
        Layout{"Rec80Cmd8", Frame(Rec80Timing, {BitsOf(0x89ABCDEF, 32, L), BitsOf(0x5C, 8, L)}), 0,
               Protocol::Rec80, 0x89ABCDEF, 2, 32, L, 0x5C, 66, 8, L, true, 2},
        Layout{"Rec80Cmd16", Frame(Rec80Timing, {BitsOf(0x12345678, 32, L), BitsOf(0xBEEF, 16, L)}), 0,
               Protocol::Rec80, 0x12345678, 2, 32, L, 0xBEEF, 66, 16, L, true, 2},
        Layout{"Konka", Frame(KonkaTiming, {BitsOf(0x55, 7, H), BitsOf(0x2A3, 10, H)}), 0,
               Protocol::Konka, 0x55, 2, 7, H, 0x2A3, 16, 10, H, true},
        Layout{"Mitsubishi", Frame(MitsubishiTiming, {BitsOf(0x47, 8, H), BitsOf(0x1C, 8, H)}), 0,
               Protocol::Mitsubishi, 0x47, 0, 8, H, 0x1C, 16, 8, H, false},
        Layout{"Thomson", Frame(ThomsonTiming, {BitsOf(0x9, 4, H), {1}, BitsOf(0x35, 7, H)}), 0,
               Protocol::Thomson, 0x9, 0, 4, H, 0x35, 10, 7, H, false},
        // RECS80, raw address 5: (5 + 2) & 7 = 7 with 23 durations, 14 with 27.
        Layout{"Recs80Short", Frame(Recs80Timing, {{1, 0}, BitsOf(5, 3, H), BitsOf(0x2D, 6, H)}), 0,
               Protocol::Recs80, 7, 4, 3, H, 0x2D, 10, 6, H, false},
        Layout{"Recs80Long", Frame(Recs80Timing, {{1, 1, 0}, BitsOf(5, 4, H), BitsOf(0x2D, 6, H)}), 0,
               Protocol::Recs80, 14, 6, 4, H, 0x2D, 14, 6, H, false}),
    [](const auto& info) { return info.param.name; });

TEST(FixedLayout, ToggleAndStartBitMarks) {
    auto thomson = Analyse(Frame(ThomsonTiming, {BitsOf(0x9, 4, H), {1}, BitsOf(0x35, 7, H)}));
    EXPECT_EQ(FlagRanges(*thomson, ToggleBit), (Ranges{{8, 9}}));
    auto shortRecs = Analyse(Frame(Recs80Timing, {{1, 0}, BitsOf(5, 3, H), BitsOf(0x2D, 6, H)}));
    EXPECT_EQ(FlagRanges(*shortRecs, StartBit), (Ranges{{0, 1}}));
    EXPECT_EQ(FlagRanges(*shortRecs, ToggleBit), (Ranges{{2, 3}}));
    auto longRecs = Analyse(Frame(Recs80Timing, {{1, 1, 0}, BitsOf(5, 4, H), BitsOf(0x2D, 6, H)}));
    EXPECT_EQ(FlagRanges(*longRecs, StartBit), (Ranges{{0, 3}}));
    EXPECT_EQ(FlagRanges(*longRecs, ToggleBit), (Ranges{{4, 5}}));
}

TEST(FixedLayout, HeaderMarksFoundByThePipeline) {
    // A long first space: the pipeline marks Header on 1. Sharp removes it;
    // MITSUBISHI clears HasHeader but leaves the mark.
    Durations sharp = SharpFrame(0x11, 0x5A);
    sharp[1] = 5000;
    Durations mitsubishi = Frame(MitsubishiTiming, {BitsOf(0x47, 8, H), BitsOf(0x1C, 8, H)});
    mitsubishi[1] = 8000;
    auto s = Analyse(sharp);
    auto m = Analyse(mitsubishi);
    ASSERT_TRUE(s.decoded && m.decoded);
    EXPECT_EQ(s->Protocol, Protocol::Sharp);
    EXPECT_EQ(m->Protocol, Protocol::Mitsubishi);
    EXPECT_FALSE(s->HasHeader || m->HasHeader);
    EXPECT_EQ(s->Flags[1] & Header, 0u);
    EXPECT_EQ(m->Flags[1] & Header, uint32_t{Header});
}

TEST(FixedLayout, EntryRequirements) {
    const Durations jvcFirst = JvcFrame(0x03, 0x17, true);
    const Durations jvcLater = Distort(JvcFrame(0x03, 0x17, false), 100, 0);
    // Header mark, but the header space and every data space alike.
    const Durations oneSpaceJvc = PulseDistance({8400, 526, 526, 526, 1578}, Bits(16, 0));
    const Durations bare = Frame(MitsubishiTiming, {BitsOf(0x47, 8, H), BitsOf(0x1C, 8, H)});
    Durations twoMarks = bare;
    twoMarks[4] = 1200;
    struct Case {
        const char* name;
        Durations d;
        int32_t slot, protocol;
        bool headerKept;
    } cases[] = {
        {"Jvc35InSlot1", jvcFirst, 1, Protocol::Jvc, true},
        {"Jvc33InSlot0", jvcLater, 0, Protocol::Jvc, false},
        {"JvcOneSpaceClass", oneSpaceJvc, 0, Protocol::Jvc, true},
        {"SharpTwoMarkClasses", twoMarks, 0, Protocol::Sharp, false},
        // The pipeline itself marks SONY's long first mark.
        {"SonyTwoMarkClasses", SonyFrame(0, 12), 0, Protocol::Sony, true},
        {"SonyOtherLength", SonyFrame(0x95, 13), 0, Protocol::Sony, true},
        {"Recs80OtherLength", bare, 0, Protocol::Recs80, false},
        {"Recs80TwoMarkClasses", twoMarks, 0, Protocol::Recs80, false},
        {"XsatNoHeader", bare, 0, Protocol::Xsat, false},
        {"Rec80NoHeader", bare, 0, Protocol::Rec80, false},
        {"KonkaNoHeader", bare, 0, Protocol::Konka, false},
        {"MitsubishiTwoMarkClasses", twoMarks, 0, Protocol::Mitsubishi, false},
        {"ThomsonOneSpaceClass", SharpFrame(0, 0, 0, 0), 0, Protocol::Thomson, false},
    };
    for (const Case& c : cases) {
        auto a = Analyse(c.d, c.slot, ImpliedModulation(c.protocol), c.protocol);
        EXPECT_FALSE(a.decoded) << c.name;
        EXPECT_EQ(a->Protocol, -1) << c.name;
        EXPECT_EQ(a->AdrBits, 0) << c.name;
        EXPECT_EQ((a->Flags[0] & Header) != 0, c.headerKept) << c.name;
    }
    // A frame of the wrong length is rejected before JVC marks any header:
    // only the long first mark the pipeline found is marked.
    Durations wrongLength = PulseDistance({9000, 1690, 560, 560, 1690}, Bits(17, 0));
    for (size_t i = 3; i < wrongLength.size(); i += 4) wrongLength[i] = 1690;
    auto jvc37 = Analyse(wrongLength, 0, Modulation::PulseDistance, Protocol::Jvc);
    EXPECT_EQ(jvc37->Flags[0] & Header, uint32_t{Header});
    EXPECT_EQ(jvc37->Flags[1] & Header, 0u);
    // A RECS80 frame rejected for its length keeps its start-bit marks.
    auto recs = Analyse(bare, 0, Modulation::PulseDistance, Protocol::Recs80);
    EXPECT_EQ(FlagRanges(*recs, StartBit), (Ranges{{0, 1}}));
}

TEST(Recs80, AddressConversionByRawValue) {
    const uint64_t shortTable[8] = {2, 3, 4, 5, 6, 7, 0, 1};
    const uint64_t longTable[16] = {8, 12, 15, 19, 10, 14, 17, 19, 9, 13, 16, 20, 11, 14, 18, 20};
    for (uint8_t raw = 0; raw < 16; ++raw) {
        auto l = Analyse(Frame(Recs80Timing, {{1, 1, 0}, BitsOf(raw, 4, H), BitsOf(0x2D, 6, H)}));
        EXPECT_EQ(l->Adr, longTable[raw]) << int(raw);
        if (raw >= 8) continue;
        auto s = Analyse(Frame(Recs80Timing, {{1, 0}, BitsOf(raw, 3, H), BitsOf(0x2D, 6, H)}));
        EXPECT_EQ(s->Adr, shortTable[raw]) << int(raw);
    }
}

}  // namespace
}  // namespace tovanel

namespace tovanel {
namespace {

TEST(FixedLayout, SingleSpaceClassReadsTheSameWhateverTheRecordHeldBefore) {
    // Forced Sharp (or RECS80) on a frame with one space length: the bits
    // must not depend on a class mean an earlier frame left in the record.
    using namespace test;
    const Durations d = PulseDistance({0, 0, 320, 680, 700}, BitsOf(0x2AAA, 15, true));
    for (int32_t protocol : {Protocol::Sharp, Protocol::Recs80}) {
        uint64_t adr[2], cmd[2];
        for (int stale = 0; stale < 2; ++stale) {
            auto f = FrameOf(d);
            f->SpaceMeans[1] = stale ? 100 : 5000;
            AnalyzeFrame(*f, Modulation::PulseDistance, protocol, {});
            ASSERT_EQ(f->SpaceClassCount, 1);
            adr[stale] = f->Adr;
            cmd[stale] = f->Cmd;
        }
        EXPECT_EQ(adr[0], adr[1]) << ProtocolName(protocol);
        EXPECT_EQ(cmd[0], cmd[1]) << ProtocolName(protocol);
        EXPECT_EQ(cmd[0], 0u) << "every space of the one class reads short";
    }
}

}  // namespace
}  // namespace tovanel
