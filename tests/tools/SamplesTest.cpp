// The recordings in samples/: each burst goes through tovanel-analyze's
// whole pipeline and must keep its decoding. The expected values come from
// the protocols' layouts (the sample comments say how each was sent).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "support/Files.h"
#include "support/Json.h"
#include "tools/analyze/AnalyzeTool.h"

namespace tovanel {
namespace {

using test::Value;

struct Slot {
    const char* protocol;
    bool repeat;
    int32_t mode;
    uint64_t adr, cmd;
};

struct Sample {
    const char* file;
    std::vector<Slot> slots;
};

const Slot NecRepeat{"NEC", true, 0, 0, 0};
const Slot SanyoRepeat{"SANYO", true, 0, 0, 0};

// By hand from the layouts: NEC address 0x04 and its complement 0xFB make
// Adr 0xFB04; ITT raw address 5 and command 33 count from 1; SONY's word
// 0x095 is command 0x15 and address 1; RC-6 reads the command 0x0C as its
// complement; RECS80's raw address 0101 permutes to P = 0110 = 6, + 8 = 14;
// RCA2's 24 bits 0x5, 0x3C, 0xA, 0x00 (low first) regroup into 0xC5 and
// 0x00A3.
const Sample Samples[] = {
    {"itt-burst.txt", {{"ITT", false, 0, 6, 34}, {"ITT", false, 0, 6, 34}}},
    {"jvc-burst.txt", {{"JVC", false, 0, 0x03, 0x17}, {"JVC", false, 0, 0x03, 0x17}, {"JVC", false, 0, 0x03, 0x17}}},
    {"konka-burst.txt", {{"KONKA", false, 0, 0x55, 0x2A3}, {"KONKA", false, 0, 0x55, 0x2A3}}},
    {"mitsubishi-burst.txt", {{"MITSUBISHI", false, 0, 0x47, 0x1C}}},
    {"nec-burst.txt", {{"NEC", false, 0, 0xFB04, 0x08}, NecRepeat, NecRepeat, NecRepeat}},
    {"nec-rev-burst.txt", {{"NEC (rev)", false, 0, 0x1234, 0x08}, NecRepeat}},
    {"nokia-burst.txt", {{"NOKIA", false, 0, 0x12, 0xA5}, {"NOKIA", false, 0, 0x12, 0xA5}}},
    {"rc5-burst.txt", {{"RC-5", false, 3, 0x05, 0x35}, {"RC-5", false, 3, 0x05, 0x35}}},
    {"rc6-burst.txt", {{"RC-6", false, 0, 0x04, 0xF3}, {"RC-6", false, 0, 0x04, 0xF3}}},
    {"rca-burst.txt", {{"RCA", false, 0, 0x5, 0x3C}, {"RCA", false, 0, 0x5, 0x3C}}},
    {"rca2-burst.txt", {{"RCA2", false, 0, 0xC5, 0x00A3}}},
    {"rcmm-burst.txt", {{"RC-MM", false, 1, 2, 0x12}}},
    {"rec80-burst.txt", {{"REC80", false, 0, 0x89ABCDEF, 0x5C}, {"REC80", false, 0, 0x89ABCDEF, 0x5C}}},
    {"recs80-burst.txt", {{"RECS80", false, 0, 14, 0x2D}, {"RECS80", false, 0, 14, 0x2D}}},
    {"sanyo-burst.txt", {{"SANYO", false, 0, 0x0123, 0x45}, SanyoRepeat, SanyoRepeat}},
    // The second Sharp frame carries the inverted command.
    {"sharp-burst.txt", {{"SHARP", false, 0, 0x11, 0x5A}, {"SHARP", false, 0, 0x11, 0xA5}}},
    {"sony-burst.txt", {{"SONY", false, 0, 1, 0x15}, {"SONY", false, 0, 1, 0x15}, {"SONY", false, 0, 1, 0x15}}},
    {"thomson-burst.txt", {{"THOMSON", false, 0, 0x9, 0x35}, {"THOMSON", false, 0, 0x9, 0x35}}},
    {"xsat-burst.txt", {{"X-Sat", false, 0, 0x21, 0x43}}},
};

std::string SamplePath(const std::string& file) { return std::string(TOVANEL_SOURCE_DIR) + "/samples/" + file; }

std::vector<std::string> AnalyseFile(const std::string& path, std::vector<std::string> args = {}) {
    args.push_back(path);
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(AnalyzeMain(args, in, out, err), 0) << err.str();
    return test::SplitLines(out.str());
}

class SampleBurst : public testing::TestWithParam<Sample> {};

TEST_P(SampleBurst, DecodesAsRecorded) {
    const Sample& s = GetParam();
    const std::vector<std::string> lines = AnalyseFile(SamplePath(s.file));
    ASSERT_EQ(lines.size(), s.slots.size());
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string& j = lines[k];
        const Slot& e = s.slots[k];
        SCOPED_TRACE(std::string(s.file) + " slot " + std::to_string(k));
        EXPECT_EQ(Value(j, "slot"), std::to_string(k));
        EXPECT_EQ(Value(j, "decoded"), "true");
        EXPECT_EQ(Value(j, "protocol_name"), "\"" + std::string(e.protocol) + "\"");
        EXPECT_EQ(Value(j, "repeat"), e.repeat ? "true" : "false");
        EXPECT_EQ(Value(j, "mode"), std::to_string(e.mode));
        EXPECT_EQ(Value(j, "adr"), std::to_string(e.adr));
        EXPECT_EQ(Value(j, "cmd"), std::to_string(e.cmd));
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleBurst, testing::ValuesIn(Samples), [](const auto& info) {
    std::string name = info.param.file;
    name = name.substr(0, name.find('.'));
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
});

TEST(Samples, EveryRecordingHasItsCase) {
    std::map<std::string, bool> known;
    for (const Sample& s : Samples) known[s.file] = true;
    for (const auto& entry : std::filesystem::directory_iterator(SamplePath(""))) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".txt") continue;
        EXPECT_TRUE(known.count(name)) << name;
    }
}

TEST(Samples, Mode2RecordingMatchesItsDurationList) {
    const auto fromMode2 = AnalyseFile(SamplePath("nec-burst.mode2"), {"--input", "mode2"});
    const auto fromText = AnalyseFile(SamplePath("nec-burst.txt"));
    ASSERT_EQ(fromMode2.size(), fromText.size());
    for (size_t k = 0; k < fromText.size(); ++k)
        for (const char* key : {"protocol", "repeat", "adr", "cmd"})
            EXPECT_EQ(Value(fromMode2[k], key), Value(fromText[k], key)) << key;
}

}  // namespace
}  // namespace tovanel
