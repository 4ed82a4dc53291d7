#include <gtest/gtest.h>

#include "database/formats/CodeFile.h"
#include "tests/database/formats/FormatsSupport.h"

namespace tovanel {
namespace {

using test::ReadText;

std::string Slurp(const std::string& path) { return test::TempDir::ReadFile(path); }

// Every key of every fixture against LIRC's own transmitter: the frames of
// one key press joined by their gaps are what irsimsend sends for the same
// number of frames. `sends` is how many frames LIRC sends for a press of
// that remote: one more than min_repeat (at least two with a repeat code),
// or the length of a key's code sequence.
TEST(LircdConf, KeysAreTheFramesIrsimsendSends) {
    ASSERT_TRUE(test::HaveProgram("irsimsend")) << "irsimsend (Debian package lirc) is needed";
    const struct {
        const char* file;
        int sends;
    } fixtures[] = {
        {"nec.lircd.conf", 2},  {"rc5.lircd.conf", 1},     {"rc6.lircd.conf", 1},     {"sony.lircd.conf", 3},
        {"foot.lircd.conf", 2}, {"repeats.lircd.conf", 3}, {"toggles.lircd.conf", 2}, {"rcmm.lircd.conf", 1},
        {"raw.lircd.conf", 1},  {"spacefirst.lircd.conf", 1},
    };
    test::TempDir dir;
    for (const auto& f : fixtures) {
        SCOPED_TRACE(f.file);
        const std::string path = test::FormatsData(f.file);
        const CodeFileCollector c = ReadText(Slurp(path));
        ASSERT_TRUE(c.errors.empty()) << c.errors[0];
        ASSERT_EQ(c.units.size(), 1u);
        ASSERT_FALSE(c.units[0].keys.empty());
        for (const CodeFileKey& key : c.units[0].keys) {
            SCOPED_TRACE(key.name);
            EXPECT_EQ(JoinFrames(key.frames), test::IrSimSend(path, key.name, f.sends, dir));
        }
    }
}

TEST(LircdConf, EveryRemoteIsAUnitWithItsCarrier) {
    const std::string text = Slurp(test::FormatsData("nec.lircd.conf")) + "\n" +
                             Slurp(test::FormatsData("rc5.lircd.conf"));
    const CodeFileCollector c = ReadText(text);
    ASSERT_TRUE(c.errors.empty());
    ASSERT_EQ(c.units.size(), 2u);
    EXPECT_EQ(c.units[0].unit.name, "NEC_TV");
    EXPECT_EQ(c.units[0].unit.carrierHz, DefaultCarrierHz);  // the file names none
    EXPECT_EQ(c.units[1].unit.name, "RC5_VCR");
    EXPECT_EQ(c.units[1].unit.carrierHz, 36000);
    ASSERT_EQ(c.units[0].keys.size(), 2u);
    EXPECT_EQ(c.units[0].keys[1].name, "KEY_1");
    EXPECT_EQ(c.units[0].keys[1].line, 18);
    // NEC: the frame, then the repeat code 108 ms after its start.
    ASSERT_EQ(c.units[0].keys[0].frames.size(), 2u);
    EXPECT_EQ(c.units[0].keys[0].frames[1].period, 108000);
    EXPECT_EQ(c.units[0].keys[0].frames[1].durations, (std::vector<int32_t>{9000, 2250, 560}));
}

TEST(LircdConf, BadInputNamesTheLine) {
    const std::string head = "begin remote\n  name R\n  bits 8\n";
    const std::string codes = "  begin codes\n    A 0x1\n  end codes\n";
    const struct {
        std::string text;
        const char* message;  // part of the one error, which begins "line N: "
    } cases[] = {
        {head + codes, "line 6: the file ends inside the 'begin remote' block of line 1"},
        {head + "  begin codes\n    A 0x1\n", "'end remote' is missing"},
        {head + "  colour blue\n" + codes + "end remote\n", "line 4: 'colour' is no attribute"},
        {head + "  flags SPACE_ENC|WOBBLE\n" + codes + "end remote\n", "line 4: 'WOBBLE' is no flag"},
        {head + "  flags RC5|SPACE_ENC\n" + codes + "end remote\n", "more than one encoding"},
        {head + "  header 20000000 4500\n" + codes + "end remote\n", "line 4: '20000000' µs is longer than 10 s"},
        {head + "  header -9000 4500\n" + codes + "end remote\n", "line 4: '-9000' is not a duration"},
        {head + "  pre_data_bits 60\n" + codes + "end remote\n", "add up to 68, more than 64"},
        {head + "  begin codes\n    A zz\n  end codes\nend remote\n", "line 5: 'zz' is not a code"},
        {"begin remote\n  name R\n  flags RAW_CODES\n  begin raw_codes\n    name A\n      900 450 0 450\n",
         "line 6: a duration of 0 µs"},
        {"begin remote\n  name R\n  flags RAW_CODES\n  begin raw_codes\n    name A\n      900 450\n"
         "  end raw_codes\nend remote\n",
         "line 5: the raw code 'A' has 2 durations"},
        {"name R\n", "line 1: 'name' outside a 'begin remote' block"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CodeFileCollector r;
        ReadLircdConf(c.text, r);
        ASSERT_FALSE(r.errors.empty());
        EXPECT_NE(r.errors[0].find(c.message), std::string::npos) << r.errors[0];
    }
}

TEST(LircdConf, WhatLircDoesNotSendIsSkippedWithTheReason) {
    const CodeFileCollector c = ReadText(
        "begin remote\n  name OLD\n  bits 8\n  flags GRUNDIG\n  begin codes\n    A 0x1\n  end codes\nend remote\n"
        "begin remote\n  name SHORT\n  bits 8\n  flags SPACE_ENC|CONST_LENGTH\n  header 9000 4500\n"
        "  one 560 1690\n  zero 560 560\n  gap 5000\n  begin codes\n    B 0x1\n  end codes\nend remote\n");
    EXPECT_TRUE(c.errors.empty());
    ASSERT_EQ(c.skipped.size(), 2u);
    EXPECT_NE(c.skipped[0].find("line 1: remote 'OLD': LIRC sends no GRUNDIG"), std::string::npos) << c.skipped[0];
    EXPECT_NE(c.skipped[1].find("line 18: key 'B'"), std::string::npos) << c.skipped[1];
    ASSERT_EQ(c.units.size(), 1u);  // SHORT, without keys
    EXPECT_TRUE(c.units[0].keys.empty());
}

}  // namespace
}  // namespace tovanel
