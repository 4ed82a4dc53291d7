// The key code text: readings, the writer's choices, limits, and loading a
// key's four texts into the recording buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "database/CodeText.h"
#include "support/Frames.h"

namespace tovanel {
namespace {

std::string Chars(std::initializer_list<int> codes) {
    std::string s;
    for (int c : codes) s += static_cast<char>(c);
    return s;
}

std::u16string Utf16(const std::vector<char32_t>& codes) {
    std::u16string s;
    for (char32_t c : codes) {
        if (c >= 0x10000) {
            s += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            s += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            s += static_cast<char16_t>(c);
        }
    }
    return s;
}

struct Parsed {
    int32_t period, count;
    std::vector<int32_t> durations;
    bool operator==(const Parsed&) const = default;
};

template <typename Text>
Parsed Parse(const Text& text) {
    auto f = test::NewFrame();
    // Leftovers of an earlier frame must not survive.
    f->Period = 77;
    f->Count = 5;
    f->SampleCount = 9;
    ParseCodeText(text, *f);
    EXPECT_EQ(f->SampleCount, 0);
    return {f->Period, f->Count, std::vector<int32_t>(f->Durations, f->Durations + f->Count)};
}

std::string Format(int32_t period, const std::vector<int32_t>& durations) {
    auto f = test::FrameOf(durations);
    f->Period = period;
    std::string text, error;
    EXPECT_TRUE(FormatCodeText(*f, text, &error)) << error;
    return text;
}

// Every value a pair can carry, ascending.
std::vector<int32_t> RepresentableValues() {
    std::set<int32_t> values;
    for (int v = 0; v < 96 * 96; ++v) values.insert((v / 4) << (v % 4));
    return {values.begin(), values.end()};
}

TEST(CodeText, WorkedReadings) {
    struct Case {
        int first, second;
        int32_t value;
    };
    const Case cases[] = {{32, 32, 0},      {55, 64, 560},     {102, 72, 1690},  {127, 124, 2303},
                          {80, 33, 2304},   {125, 105, 4500},  {125, 106, 9000}, {127, 127, 18424}};
    for (const Case& c : cases) {
        EXPECT_EQ(CodeTextPairValue(char32_t(c.first), char32_t(c.second)), c.value) << c.first << "," << c.second;
        // As the first duration after a zero period.
        const Parsed p = Parse(Chars({32, 32, c.first, c.second}));
        EXPECT_EQ(p, (Parsed{0, 1, {c.value}}));
    }
    EXPECT_EQ(Parse(Chars({32, 32, 125, 106, 125, 105, 55, 64})), (Parsed{0, 3, {9000, 4500, 560}}));
    // The period is in milliseconds: (33, 75) is v = 139, 34 x 2^3 = 272.
    EXPECT_EQ(Parse(Chars({33, 75, 55, 64})), (Parsed{272000, 1, {560}}));
}

TEST(CodeText, EveryRepresentableValueRoundTripsExactly) {
    const std::vector<int32_t> values = RepresentableValues();
    ASSERT_EQ(values.size(), 5760u);
    EXPECT_EQ(values.back(), MaxCodeTextValue);
    // Nothing between 2304 and 4606 is odd: 2305 is never read.
    EXPECT_FALSE(std::binary_search(values.begin(), values.end(), 2305));
    for (size_t start = 0; start < values.size(); start += MaxCodeTextDurations) {
        const size_t end = std::min(values.size(), start + MaxCodeTextDurations);
        const std::vector<int32_t> chunk(values.begin() + static_cast<long>(start), values.begin() + static_cast<long>(end));
        const std::string text = Format(0, chunk);
        ASSERT_EQ(text.size(), 2 * (chunk.size() + 1));
        for (char c : text) ASSERT_TRUE(static_cast<unsigned char>(c) >= 32 && static_cast<unsigned char>(c) <= 127);
        EXPECT_EQ(Parse(text), (Parsed{0, static_cast<int32_t>(chunk.size()), chunk}));
    }
}

TEST(CodeText, UnrepresentableValuesBecomeTheNearestHalfwayUp) {
    const std::vector<int32_t> values = RepresentableValues();
    for (int32_t x = -3; x <= 19000; ++x) {
        // Brute force: the nearest representable value, the larger on a tie.
        int32_t best = values.front();
        for (int32_t r : values)
            if (std::abs(r - x) < std::abs(best - x) || (std::abs(r - x) == std::abs(best - x) && r > best)) best = r;
        ASSERT_EQ(NearestCodeTextValue(x), best) << x;
    }
    EXPECT_EQ(NearestCodeTextValue(2305), 2306);
    EXPECT_EQ(NearestCodeTextValue(4607), 4608);
    EXPECT_EQ(NearestCodeTextValue(9213), 9212);
    EXPECT_EQ(NearestCodeTextValue(9214), 9216);
    EXPECT_EQ(NearestCodeTextValue(1'000'000), MaxCodeTextValue);
    EXPECT_EQ(Parse(Format(0, {9000, 30000, 2305})).durations, (std::vector<int32_t>{9000, 18424, 2306}));
}

TEST(CodeText, WriterUsesTheSmallestExponentAndRoundsThePeriod) {
    // 560 could also be 280 x 2; it is written as (55, 64).
    EXPECT_EQ(Format(0, {560}), Chars({32, 32, 55, 64}));
    struct Case {
        int32_t periodUs, periodMs;
    };
    for (const Case c : {Case{0, 0}, Case{-5000, 0}, Case{499, 0}, Case{500, 1}, Case{108499, 108},
                         Case{108500, 109}, Case{40'000'000, MaxCodeTextValue}})
        EXPECT_EQ(Parse(Format(c.periodUs, {560})).period, c.periodMs * 1000) << c.periodUs;
}

TEST(CodeText, ShortAndOddTexts) {
    for (const std::string& empty : {std::string(), std::string("!"), std::string("!!"), std::string("!!(")})
        EXPECT_EQ(Parse(empty), (Parsed{0, 0, {}})) << "'" << empty << "'";
    // A last unpaired character is ignored.
    const std::string text = Chars({33, 33, 125, 106, 125, 105, 55, 64, 102, 72});
    for (size_t n = 4; n <= text.size(); n += 2)
        EXPECT_EQ(Parse(text.substr(0, n) + "~"), Parse(text.substr(0, n))) << n;
    // The first frame of a recording begins with two spaces.
    EXPECT_EQ(Parse(Format(0, {9000, 4500, 560})).period, 0);
    EXPECT_EQ(Format(0, {9000, 4500, 560}).substr(0, 2), "  ");
}

TEST(CodeText, CharactersAbove127ReadLikeThe128Lower) {
    for (char32_t c = 160; c < 256; ++c) {
        const std::u16string high = Utf16({32, 32, c, 'A'});
        const std::u16string low = Utf16({32, 32, c - 128, 'A'});
        EXPECT_EQ(Parse(std::u16string_view(high)), Parse(std::u16string_view(low))) << int(c);
    }
    // Unicode beyond Latin-1 reads by its code modulo 128 (U+00E0 = 224,
    // U+4E60 = 20064 = 156 x 128 + 96, U+1F660 has 96 as its low 7 bits too);
    // in UTF-8 the same.
    const Parsed expected = Parse(Chars({32, 32, 96, 96}));
    EXPECT_EQ(Parse(std::u16string_view(Utf16({32, 32, 0xE0, 0x4E60}))), expected);
    EXPECT_EQ(Parse(std::u16string_view(Utf16({32, 32, 0x1F660, 0xE0}))), expected);
    EXPECT_EQ(Parse(std::string_view("  \xC3\xA0\xE4\xB9\xA0")), expected);
    // Bytes that are no UTF-8 read as the characters of their value.
    EXPECT_EQ(Parse(std::string_view("  \xE0\xE0")), expected);
}

TEST(CodeText, ControlCharactersReadAsSpaces) {
    // Codes 0..31, and 128..159 (which read like them), have no digit of
    // their own: they read as a space, digit 0.
    for (char32_t c : std::vector<char32_t>{0, 1, 9, 10, 13, 31, 128, 150, 159, 0x180}) {
        const Parsed asSpace = Parse(std::u16string_view(Utf16({32, 32, 32, 'A', 'A', 32})));
        EXPECT_EQ(Parse(std::u16string_view(Utf16({c, c, c, 'A', 'A', c}))), asSpace) << int(c);
    }
    // A text of nothing but control characters is a frame of zeros.
    const std::string controls(20, '\x01');
    EXPECT_EQ(Parse(controls), (Parsed{0, 9, std::vector<int32_t>(9, 0)}));
}

TEST(CodeText, TheColumnSizeLimitsTheFrame) {
    // 126 durations fill 254 characters, one pair short of 256.
    std::vector<int32_t> longest(MaxCodeTextDurations);
    for (size_t i = 0; i < longest.size(); ++i) longest[i] = 400 + static_cast<int32_t>(i) * 3;
    const std::string text = Format(12000, longest);
    EXPECT_EQ(text.size(), 254u);
    EXPECT_EQ(Parse(text), (Parsed{12000, MaxCodeTextDurations, longest}));
    // A text longer than the column reads its first 127 values only.
    const std::string overlong = text + text;
    EXPECT_EQ(Parse(overlong), Parse(text));
    EXPECT_EQ(Parse(text + "~"), Parse(text));

    // The writer refuses a frame that would not fit rather than cut it.
    std::vector<int32_t> tooLong = longest;
    tooLong.push_back(560);
    auto f = test::FrameOf(tooLong);
    std::string out = "stale", error;
    EXPECT_FALSE(FormatCodeText(*f, out, &error));
    EXPECT_TRUE(out.empty());
    EXPECT_NE(error.find("127 durations"), std::string::npos) << error;
    EXPECT_NE(error.find("126"), std::string::npos) << error;

    f->Count = 0;
    EXPECT_TRUE(FormatCodeText(*f, out));
    EXPECT_TRUE(out.empty());
}

TEST(CodeText, LoadingFillsSlotsLikeTheirOwnAnalysis) {
    const test::Durations first = test::Distort(test::NecFrame(0x04, 0x08));
    const test::Durations repeat = test::Distort({9000, 2250, 560});
    const std::string texts[4] = {Format(0, first), Format(108000, repeat), "", Format(108000, repeat)};
    std::u16string wide[4];
    for (int i = 0; i < 4; ++i) wide[i] = std::u16string(texts[i].begin(), texts[i].end());

    DecodeSettings layout;
    layout.AdrStart = 2;
    layout.AdrBits = 8;
    auto buffer = std::make_unique<FrameBuffer>();
    std::memset(buffer.get(), 0, sizeof *buffer);
    buffer->FillCount = 7;
    // What an earlier key left in the slots, within and past the new counts.
    for (CodeFrame& slot : buffer->Slots) {
        slot.Count = 5;
        slot.SampleCount = 3;
        for (int i = 0; i < MaxDurations; ++i) {
            slot.Flags[i] = 0xFF;
            slot.Durations[i] = 9000;
            slot.ClassIndex[i] = 3;
        }
    }
    // Forced Sharp and RC-MM read the short frames past their end.
    for (const auto& [modulation, protocol] :
         {std::pair{0, 0}, std::pair{1, 0}, std::pair{0, 3}, std::pair{1, 5}, std::pair{1, 9}}) {
        const auto decoded = LoadCodeTextsIntoBuffer({wide[0], wide[1], wide[2], wide[3]}, modulation, protocol,
                                                     layout, *buffer);
        EXPECT_EQ(buffer->FillCount, 7);
        for (int s = 0; s < SlotCount; ++s) {
            const CodeFrame& slot = buffer->Slots[s];
            EXPECT_EQ(slot.SlotIndex, s);
            EXPECT_EQ(slot.SampleCount, 0);
            // The same record as analysing the parsed durations directly.
            test::Durations d;
            if (s < 4) {
                const Parsed p = Parse(texts[s]);
                d = p.durations;
                EXPECT_EQ(slot.Period, p.period);
            }
            const test::Analysed direct = test::Analyse(d, s, modulation, protocol, layout);
            EXPECT_EQ(decoded[static_cast<size_t>(s)], direct.decoded) << s;
            EXPECT_EQ(slot.Count, direct->Count) << s;
            EXPECT_EQ(slot.Total, direct->Total) << s;
            EXPECT_EQ(slot.Modulation, direct->Modulation) << s;
            EXPECT_EQ(slot.Protocol, direct->Protocol) << s;
            EXPECT_EQ(slot.IsRepeat, direct->IsRepeat) << s;
            EXPECT_EQ(slot.Adr, direct->Adr) << s;
            EXPECT_EQ(slot.Cmd, direct->Cmd) << s;
            EXPECT_EQ(slot.Mode, direct->Mode) << s;
            for (int i = 0; i < MaxDurations; ++i) {
                ASSERT_EQ(slot.Flags[i], direct->Flags[i]) << s << ":" << i;
                ASSERT_EQ(slot.Durations[i], direct->Durations[i]) << s << ":" << i;
            }
        }
        // An empty text leaves its slot empty, with nothing detected.
        EXPECT_EQ(buffer->Slots[2].Count, 0);
        EXPECT_LE(buffer->Slots[2].Modulation, 0);
        EXPECT_LE(buffer->Slots[2].Protocol, 0);
    }
}

}  // namespace
}  // namespace tovanel
