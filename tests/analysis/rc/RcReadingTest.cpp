// The kernel's reading of frames: the kernel encoders' own frames (fixtures
// made with ir-ctl), our encoders' frames for every protocol, both clean and
// as a receiver distorts them, and the protocols' choices between variants.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis/rc/RcEncoders.h"
#include "analysis/rc/RcReading.h"
#include "capture/FrameCutter.h"
#include "support/Protocols.h"

namespace tovanel {
namespace {

using test::Durations;

std::string Text(const std::optional<RcReading>& r) { return RcReadingText(r); }

// Marks +100 µs, spaces -100 µs, up to 10 % jitter, edges on 48 kHz samples.
Durations Received(const Durations& d, uint32_t seed, int jitterPercent = 10) {
    return test::Quantise48k(test::Distort(d, 100, jitterPercent, seed));
}

// RC-MM's symbols lie 167 µs apart, so a tenth of its 778 µs space is
// already more than half a step; it is received with 5 % jitter.
int JitterFor(RcProtocol p) {
    return p == RcProtocol::Rcmm12 || p == RcProtocol::Rcmm24 || p == RcProtocol::Rcmm32 ? 5 : 10;
}

std::vector<std::optional<RcReading>> ReadFrames(const std::vector<Durations>& frames) {
    std::vector<RcDurations> burst(frames.begin(), frames.end());
    return ReadRcBurst(burst);
}

// ---- The kernel encoders' frames ---------------------------------------

struct Fixture {
    std::string name;      // "nec:0x0408"
    std::string expected;  // the reading, as RcReadingText writes it without a toggle
    std::vector<Durations> frames;
};

// A recorded send split into frames where a receiver would split it.
std::vector<Durations> SplitFrames(const Durations& d) {
    std::vector<Durations> frames(1);
    for (size_t i = 0; i < d.size(); ++i) {
        if (i % 2 == 1 && d[i] >= int32_t(FrameCutter::FrameEndInterval))
            frames.emplace_back();
        else
            frames.back().push_back(d[i]);
    }
    return frames;
}

std::string ReadingName(const std::string& protocolColonScancode) {
    const size_t colon = protocolColonScancode.find(':');
    const std::string protocol = protocolColonScancode.substr(0, colon);
    const auto p = RcProtocolNamed(protocol);
    const uint32_t scancode = static_cast<uint32_t>(std::stoul(protocolColonScancode.substr(colon + 1), nullptr, 16));
    return p ? RcReadingText(RcReading{*p, scancode, {}}) : "bad name " + protocol;
}

std::vector<Fixture> LoadFixtures() {
    std::vector<Fixture> all;
    const std::filesystem::path dir = std::filesystem::path(TOVANEL_SOURCE_DIR) / "tests/analysis/rc/fixtures";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path());
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            if (line[0] < '0' || line[0] > '9') {
                // "name" or "name reads expected"
                std::istringstream words(line);
                std::string name, reads, expected;
                words >> name >> reads >> expected;
                all.push_back({name, ReadingName(expected.empty() ? name : expected), {}});
                continue;
            }
            Durations d;
            std::istringstream numbers(line);
            for (int32_t v; numbers >> v;) d.push_back(v);
            all.back().frames = SplitFrames(d);
        }
    }
    return all;
}

// Toggles are not compared: ir-ctl sends them as 0.
std::string WithoutToggle(std::optional<RcReading> r) {
    if (r) r->toggle.reset();
    return Text(r);
}

TEST(RcReading, KernelEncodersFramesReadAsTheirScancodesCleanAndReceived) {
    const std::vector<Fixture> fixtures = LoadFixtures();
    ASSERT_GE(fixtures.size(), 17u * 3);
    for (const Fixture& fx : fixtures) {
        ASSERT_FALSE(fx.frames.empty()) << fx.name;
        EXPECT_EQ(WithoutToggle(ReadFrames(fx.frames)[0]), fx.expected) << fx.name << " clean";
        for (uint32_t seed : {1u, 2u, 3u}) {
            std::vector<Durations> received;
            for (const Durations& f : fx.frames) received.push_back(Received(f, seed * 7919));
            EXPECT_EQ(WithoutToggle(ReadFrames(received)[0]), fx.expected) << fx.name << " seed " << seed;
        }
    }
}

// ---- Our encoders, read back -------------------------------------------

struct RoundTrip {
    RcProtocol protocol;
    std::vector<uint32_t> scancodes;
};

// Edge values of each field and mixed patterns. nec32 and necx codes keep
// their check bytes from being inverses (else the decoder picks a shorter
// layout), rc6_mce codes keep an MCE customer code, rc6_6a_32 codes avoid one.
const RoundTrip RoundTrips[] = {
    {RcProtocol::Rc5, {0x0000, 0x1f7f, 0x1e01, 0x0040, 0x0a3f, 0x153f}},
    {RcProtocol::Rc5x20, {0x000000, 0x1f7f3f, 0x1e0305, 0x054015, 0x0a2a15}},
    {RcProtocol::Rc5Sz, {0x0000, 0x2fff, 0x2abc, 0x0123, 0x0fc0}},
    {RcProtocol::Nec, {0x0000, 0xffff, 0x0408, 0x00ff, 0xa55a}},
    {RcProtocol::Necx, {0x000000, 0xffffff, 0x123456, 0x04fc08, 0x5555aa}},
    {RcProtocol::Nec32, {0x00000000, 0xffffffff, 0x12345678, 0x8a7b1234, 0x5555aaaa}},
    {RcProtocol::Jvc, {0x0000, 0xffff, 0x1234, 0x00ff, 0xa55a}},
    {RcProtocol::Sony12, {0x000000, 0x1f007f, 0x010015, 0x100001}},
    {RcProtocol::Sony15, {0x000000, 0xff007f, 0xab0012, 0x80007f}},
    {RcProtocol::Sony20, {0x000000, 0x1fff7f, 0x1fab12, 0x01a501}},
    {RcProtocol::Sanyo, {0x000000, 0x1fffff, 0x123456, 0x0aaa55, 0x100080}},
    {RcProtocol::Sharp, {0x0000, 0x1fff, 0x1234, 0x0aa5, 0x1f00}},
    {RcProtocol::Rc6_0, {0x0000, 0xffff, 0x1234, 0x800c}},
    {RcProtocol::Rc6_6a_20, {0x00000, 0xfffff, 0x12345, 0x8000f}},
    {RcProtocol::Rc6_6a_24, {0x000000, 0xffffff, 0x123456, 0xa5a5a5}},
    {RcProtocol::Rc6_6a_32, {0x00000000, 0xffffffff, 0x12345678, 0x800e040c}},
    {RcProtocol::Rc6Mce, {0x800f0400, 0x800f040c, 0x800f7fff, 0x80340000, 0x80465555}},
    {RcProtocol::Rcmm12, {0x000, 0xfff, 0x123, 0xa5a}},
    {RcProtocol::Rcmm24, {0x000000, 0xffffff, 0x123456, 0xa5a5a5}},
    {RcProtocol::Rcmm32, {0x00000000, 0xffffffff, 0x12345678, 0xfedc3210, 0x000c8001}},
};

// What a key press sent with `toggle` reads as, frame by frame: Sharp's
// inverted frames read as nothing, everything else as the scancode.
std::optional<RcReading> Expected(RcProtocol p, uint32_t scancode, bool toggle, size_t frame) {
    switch (p) {
        case RcProtocol::Sharp:
            if (frame % 2 == 1) return std::nullopt;
            break;
        case RcProtocol::Rc5:
        case RcProtocol::Rc5x20:
        case RcProtocol::Rc5Sz:
        case RcProtocol::Rc6_0:
        case RcProtocol::Rc6Mce:
            return RcReading{p, scancode, toggle};
        case RcProtocol::Rcmm32:
            if ((scancode & 0x000c0000) != 0x000c0000) return RcReading{p, scancode, toggle};
            break;
        default:
            break;
    }
    return RcReading{p, scancode, {}};
}

TEST(RcReading, EveryFrameOurEncodersSendReadsAsTheScancodeCleanAndReceived) {
    ASSERT_EQ(std::size(RoundTrips), RcProtocols().size());
    for (const RoundTrip& rt : RoundTrips) {
        for (uint32_t scancode : rt.scancodes) {
            for (bool toggle : {false, true}) {
                const std::vector<RcFrame> press = EncodeRc(rt.protocol, scancode, toggle, 4);
                ASSERT_EQ(press.size(), 4u);
                const std::string what = RcReadingText(RcReading{rt.protocol, scancode, toggle});
                for (uint32_t seed : {0u, 11u, 12u, 13u}) {
                    std::vector<Durations> frames;
                    for (const RcFrame& f : press)
                        frames.push_back(seed == 0 ? f.durations
                                                   : Received(f.durations, seed, JitterFor(rt.protocol)));
                    const auto readings = ReadFrames(frames);
                    for (size_t k = 0; k < frames.size(); ++k)
                        EXPECT_EQ(Text(readings[k]), Text(Expected(rt.protocol, scancode, toggle, k)))
                            << what << " frame " << k << " seed " << seed;
                }
            }
        }
    }
}

TEST(RcReading, EncoderRefusesScancodesOutsideTheProtocolAndEmptyPresses) {
    EXPECT_TRUE(EncodeRc(RcProtocol::Nec, 0x10000, false, 1).empty());
    EXPECT_TRUE(EncodeRc(RcProtocol::Rc6Mce, 0x800f8000, false, 1).empty());  // bit 15 is the toggle
    EXPECT_TRUE(EncodeRc(RcProtocol::Rc5, 0x0080, false, 1).empty());
    EXPECT_TRUE(EncodeRc(RcProtocol::Nec, 0x0408, false, 0).empty());
}

// ---- Choices between variants, repeats, and frames of no kernel protocol --

struct BurstCase {
    const char* what;
    std::vector<Durations> frames;
    std::vector<std::string> readings;
};

Durations Without(Durations d, size_t from) {
    d.resize(from);
    return d;
}

TEST(RcReading, VariantsRepeatsAndForeignFrames) {
    using namespace test;
    const Durations necRepeat{9000, 2250, 560};
    const Durations sharp = SharpFrame(0x12, 0x34, 1, 0);
    const Durations samsung = PulseDistance({4500, 4500, 560, 560, 1690},
                                            Concat({BitsOf(0x07, 8, true), BitsOf(0x07, 8, true),
                                                    BitsOf(0x02, 8, true), BitsOf(0xfd, 8, true)}));
    const BurstCase cases[] = {
        // The decoder's choice among NEC's layouts by the check bytes.
        {"nec", {NecBytes(0x04, 0xfb, 0x08, 0xf7)}, {"nec 0x0408"}},
        {"necx", {NecBytes(0x04, 0xfc, 0x08, 0xf7)}, {"necx 0x04fc08"}},
        {"nec32", {NecBytes(0x34, 0x12, 0x78, 0x56)}, {"nec32 0x12345678"}},
        {"nec32 with inverse address", {NecBytes(0x04, 0xfb, 0x08, 0xf6)}, {"nec32 0xfb04f608"}},
        // A second start bit of 0 is RC-5's 7th command bit.
        {"rc5 field bit", {Rc5Frame(0, 1, 0x05, 0x35)}, {"rc5 0x0575, toggle 1"}},
        {"rc5", {Rc5Frame(1, 0, 0x05, 0x35)}, {"rc5 0x0535, toggle 0"}},
        // rc6_mce's toggle is data bit 15.
        {"rc6_mce toggle", {Rc6Frame(6, 0, 0x80, BitsOf(0x0f840c, 24, false))}, {"rc6_mce 0x800f040c, toggle 1"}},
        {"rc6_mce", {Rc6Frame(6, 0, 0x80, BitsOf(0x0f040c, 24, false))}, {"rc6_mce 0x800f040c, toggle 0"}},
        {"rc6_0 toggle", {Rc6Frame(0, 1, 0x04, 0x0c)}, {"rc6_0 0x040c, toggle 1"}},
        {"rc6 6A with trailer 1", {Rc6Frame(6, 1, 0x80, BitsOf(0x0f040c, 24, false))}, {"(none)"}},
        // SONY's variants by length.
        {"sony12", {SonyFrame(0x0a95, 12)}, {"sony12 0x150015"}},
        {"sony15", {SonyFrame(0x5595, 15)}, {"sony15 0xab0015"}},
        {"sony20", {SonyFrame(0xfd595, 20)}, {"sony20 0x0bfd15"}},
        {"sony13", {SonyFrame(0x0a95, 13)}, {"(none)"}},
        // Repeats carry the scancode of the frame they repeat.
        {"nec repeat", {NecFrame(0x04, 0x08), necRepeat, necRepeat}, {"nec 0x0408", "nec 0x0408", "nec 0x0408"}},
        {"lone nec repeat", {necRepeat}, {"(none)"}},
        // After a 4.5 ms leader (Samsung's) the repeat is that leader pair and a mark.
        {"4.5 ms leader and its repeat", {samsung, {4500, 4500, 560}}, {"necx 0x070702", "necx 0x070702"}},
        {"9 ms leader, no such repeat", {NecFrame(0x04, 0x08), {4500, 4500, 560}}, {"nec 0x0408", "(none)"}},
        {"sanyo repeat", {SanyoFrame(0x1234, 0x56), {9000, 4500, 560}}, {"sanyo 0x123456", "sanyo 0x123456"}},
        {"jvc repeat", {JvcFrame(0x12, 0x34, true), JvcFrame(0x12, 0x34, false)}, {"jvc 0x1234", "jvc 0x1234"}},
        {"jvc other bits", {JvcFrame(0x12, 0x34, true), JvcFrame(0x12, 0x35, false)}, {"jvc 0x1234", "(none)"}},
        {"lone jvc repeat", {JvcFrame(0x12, 0x34, false)}, {"(none)"}},
        // Sharp reads on the first frame of the pair, with its inverted copy.
        {"sharp pair", {sharp, SharpFrame(0x12, 0xcb, 0, 1)}, {"sharp 0x1234", "(none)"}},
        {"sharp alone", {sharp}, {"(none)"}},
        {"sharp bad copy", {sharp, SharpFrame(0x12, 0xcb, 1, 1)}, {"(none)", "(none)"}},
        // Frames of protocols the kernel does not decode, and broken ones.
        {"nokia", {NokiaFrame(0x12, 0xa5)}, {"(none)"}},
        {"itt", {IttFrame(0x3, 0x15)}, {"(none)"}},
        {"rca", {RcaFrame(0x5, 0x3c)}, {"(none)"}},
        {"xsat", {XsatFrame(0x12, 0x34)}, {"(none)"}},
        {"nec cut short", {Without(NecFrame(0x04, 0x08), 50)}, {"(none)"}},
        {"nec in double time", {[] { Durations d = NecFrame(4, 8); for (auto& v : d) v *= 2; return d; }()},
         {"(none)"}},
        {"empty", {Durations{}}, {"(none)"}},
        {"largest durations", {Durations(67, INT32_MAX), Durations(35, INT32_MAX)}, {"(none)", "(none)"}},
    };
    for (const BurstCase& c : cases) {
        const auto readings = ReadFrames(c.frames);
        std::vector<std::string> texts;
        for (const auto& r : readings) texts.push_back(Text(r));
        EXPECT_EQ(texts, c.readings) << c.what;
    }
}

TEST(RcReading, SlotOfARecordingBufferIsReadInItsBurst) {
    auto buffer = std::make_unique<FrameBuffer>();
    ResetFrameBuffer(*buffer);
    auto put = [&](int slot, const Durations& d) {
        std::copy(d.begin(), d.end(), buffer->Slots[slot].Durations);
        buffer->Slots[slot].Count = static_cast<int32_t>(d.size());
    };
    put(0, test::SharpFrame(0x12, 0x34, 1, 0));
    EXPECT_TRUE(RcReadingWaitsForNext(RcDurations(buffer->Slots[0].Durations, buffer->Slots[0].Count)));
    EXPECT_EQ(Text(ReadRcSlot(*buffer, 0)), "(none)");
    put(1, test::SharpFrame(0x12, 0xcb, 0, 1));
    EXPECT_EQ(Text(ReadRcSlot(*buffer, 0)), "sharp 0x1234");
    EXPECT_FALSE(RcReadingWaitsForNext(RcDurations(buffer->Slots[1].Durations, buffer->Slots[1].Count)));
    EXPECT_EQ(Text(ReadRcSlot(*buffer, 1)), "(none)");
    EXPECT_EQ(Text(ReadRcSlot(*buffer, 2)), "(none)");
    EXPECT_EQ(Text(ReadRcSlot(*buffer, -1)), "(none)");
}

}  // namespace
}  // namespace tovanel
