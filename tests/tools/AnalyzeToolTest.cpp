// The tovanel-analyze contract: input formats, bursts and slots, forced
// settings, the JSON keys, and errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sstream>

#include "support/Json.h"
#include "support/Files.h"
#include "support/Protocols.h"
#include "tools/analyze/AnalyzeTool.h"
#include "tools/analyze/FrameReport.h"

namespace tovanel {
namespace {

struct ToolRun {
    int status;
    std::vector<std::string> lines;
    std::string err;
};

ToolRun Analyze(const std::string& input, std::vector<std::string> args = {}) {
    std::istringstream in(input);
    std::ostringstream out, err;
    ToolRun r;
    r.status = AnalyzeMain(args, in, out, err);
    r.lines = test::SplitLines(out.str());
    r.err = err.str();
    return r;
}

std::string Line(const test::Durations& d) {
    std::string s;
    for (int32_t v : d) s += std::to_string(v) + " ";
    return s + "\n";
}

using test::Value;

std::vector<std::string> Keys(const std::string& json) {
    std::vector<std::string> keys;
    const std::regex re("\"([a-z_]+)\":");
    for (auto it = std::sregex_iterator(json.begin(), json.end(), re); it != std::sregex_iterator(); ++it)
        keys.push_back((*it)[1]);
    return keys;
}

const std::string NecLine = Line(test::NecFrame(0x04, 0x08));

TEST(AnalyzeTool, JsonHasExactlyTheContractKeysInOrder) {
    ToolRun r = Analyze(NecLine);
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.lines.size(), 1u);
    const std::vector<std::string> expected = {
        "slot", "count", "period", "total", "decoded", "modulation", "modulation_name",
        "protocol", "protocol_name", "repeat", "header", "trailer", "mark_means", "mark_counts",
        "space_means", "space_counts", "class_index", "mode_start", "mode_bits", "mode",
        "adr_order", "adr_start", "adr_bits", "adr", "cmd_order", "cmd_start", "cmd_bits", "cmd",
        "flags", "rc_protocol", "rc_scancode", "rc_toggle"};
    EXPECT_EQ(Keys(r.lines[0]), expected);
    const std::string& j = r.lines[0];
    EXPECT_EQ(Value(j, "rc_protocol"), "\"nec\"");
    EXPECT_EQ(Value(j, "rc_scancode"), "1032");
    EXPECT_EQ(Value(j, "rc_toggle"), "null");
    EXPECT_EQ(Value(j, "slot"), "0");
    EXPECT_EQ(Value(j, "count"), "67");
    EXPECT_EQ(Value(j, "period"), "0");
    EXPECT_EQ(Value(j, "modulation"), "1");
    EXPECT_EQ(Value(j, "modulation_name"), "\"Pulse distance\"");
    EXPECT_EQ(Value(j, "protocol"), "3");
    EXPECT_EQ(Value(j, "protocol_name"), "\"NEC\"");
    EXPECT_EQ(Value(j, "header"), "true");
    EXPECT_EQ(Value(j, "repeat"), "false");
    EXPECT_EQ(Value(j, "mark_means"), "[560,9000]");
    EXPECT_EQ(Value(j, "mark_counts"), "[33,1]");
    EXPECT_EQ(Value(j, "space_means"), "[560,1690,4500]");
    // class_index and flags hold one entry per duration.
    const std::string classes = Value(j, "class_index"), flags = Value(j, "flags");
    EXPECT_EQ(std::count(classes.begin(), classes.end(), ','), 66);
    EXPECT_EQ(std::count(flags.begin(), flags.end(), ','), 66);
}

TEST(AnalyzeTool, BurstsSlotsAndPeriods) {
    const std::string repeat = "9000 2250 560 40000\n";  // its trailing space is the next gap
    std::string input = NecLine + "# a comment does not end the burst\n" + repeat + repeat + "\n" + repeat;
    ToolRun r = Analyze(input);
    ASSERT_EQ(r.lines.size(), 4u);
    EXPECT_EQ(Value(r.lines[0], "slot"), "0");
    EXPECT_EQ(Value(r.lines[1], "slot"), "1");
    EXPECT_EQ(Value(r.lines[2], "slot"), "2");
    EXPECT_EQ(Value(r.lines[3], "slot"), "0");  // the blank line ended the burst
    EXPECT_EQ(Value(r.lines[1], "repeat"), "true");
    EXPECT_EQ(Value(r.lines[1], "count"), "3");  // the even count lost its last space
    const int necTotal = std::stoi(Value(r.lines[0], "total"));
    EXPECT_EQ(Value(r.lines[1], "period"), std::to_string(necTotal));  // no gap known
    EXPECT_EQ(Value(r.lines[2], "period"), std::to_string(40000 + 11810));
    EXPECT_EQ(Value(r.lines[3], "period"), "0");
    EXPECT_EQ(Value(r.lines[3], "repeat"), "false");  // first of its burst
}

TEST(AnalyzeTool, WhatTheBufferCannotHoldIsDroppedAndSaidOnce) {
    std::string input = NecLine;
    for (int i = 0; i < 12; ++i) input += "9000 2250 560\n";
    input += "\n" + Line(test::Durations(227, 560)) + "\n" + NecLine;
    for (int i = 0; i < 10; ++i) input += "9000 2250 560\n";
    ToolRun r = Analyze(input);
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.lines.size(), 21u);
    EXPECT_EQ(Value(r.lines[9], "slot"), "9");
    EXPECT_EQ(Value(r.lines[10], "count"), "199");
    EXPECT_EQ(r.err,
              "tovanel-analyze: <stdin>: burst 1: 3 frames after the tenth not analysed\n"
              "tovanel-analyze: <stdin>: line 15: 227 durations, the first 199 analysed\n"
              "tovanel-analyze: <stdin>: burst 3: 1 frame after the tenth not analysed\n");
}

TEST(AnalyzeTool, EachFrameStartsFromAZeroedRecord) {
    // A frame with a single space class uses no stale class from the frame
    // analysed before it in the same slot.
    ToolRun a = Analyze(NecLine + "\n560 560 560 560 560\n");
    ToolRun b = Analyze("560 560 560 560 560\n");
    ASSERT_EQ(a.lines.size(), 2u);
    EXPECT_EQ(a.lines[1], b.lines[0]);
}

TEST(AnalyzeTool, SeparatorsSignsAndCommentsInDurations) {
    ToolRun r = Analyze("+9000,-4500, 560 -560,,560  # trailing comment\n");
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(Value(r.lines[0], "count"), "5");
    EXPECT_EQ(Value(r.lines[0], "total"), "15180");
}

TEST(AnalyzeTool, SignedLinesAreKeyPressesCutAtLongSpaces) {
    // What `ir-ctl -r` prints up to a receiver time-out: the frames of one
    // key press, the last space the time-out.
    std::string necSigned;
    const test::Durations nec = test::NecFrame(0x04, 0x08);
    for (size_t i = 0; i < nec.size(); ++i) necSigned += (i % 2 ? " -" : " +") + std::to_string(nec[i]);
    const std::string irCtl = necSigned + " -40000 +9000 -2250 +560 -10200 +560 -10201 +9000 -2250 +560 -125000\n";
    struct Case {
        std::string input;
        std::vector<std::pair<std::string, std::string>> slotCount;  // per printed frame
    } cases[] = {
        {irCtl + irCtl, {{"0", "67"}, {"1", "5"}, {"2", "3"}, {"0", "67"}, {"1", "5"}, {"2", "3"}}},
        // The line after a recording begins a key press; one before it does not run on.
        {"9000 2250 560\n" + irCtl + "9000 2250 560\n", {{"0", "3"}, {"0", "67"}, {"1", "5"}, {"2", "3"}, {"0", "3"}}},
        // The first number unsigned: one frame, whatever signs follow.
        {"9000 -4500 560 -40000 9000 -2250 560\n", {{"0", "7"}}},
        {"+560 -560 +560\n", {{"0", "3"}}},
    };
    for (const Case& c : cases) {
        ToolRun r = Analyze(c.input);
        EXPECT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.lines.size(), c.slotCount.size()) << c.input;
        for (size_t i = 0; i < r.lines.size(); ++i) {
            EXPECT_EQ(Value(r.lines[i], "slot"), c.slotCount[i].first) << i << ": " << c.input;
            EXPECT_EQ(Value(r.lines[i], "count"), c.slotCount[i].second) << i << ": " << c.input;
        }
    }
    // The space that cut a frame is the gap before the next.
    ToolRun r = Analyze(irCtl);
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(Value(r.lines[0], "protocol_name"), "\"NEC\"");
    EXPECT_EQ(Value(r.lines[1], "period"), std::to_string(std::stoi(Value(r.lines[0], "total")) + 40000));
    EXPECT_EQ(Value(r.lines[2], "period"), std::to_string(9000 + 2250 + 560 + 10200 + 560 + 10201));
    // Signs that do not say mark and space in turn make a bad line.
    ToolRun bad = Analyze("+9000 +4500 +560\n");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("line 1: '+4500' should be a space (-)"), std::string::npos) << bad.err;
    EXPECT_TRUE(bad.lines.empty());
}

TEST(AnalyzeTool, ATwelveBitRcmmBurstDecodesInEverySlot) {
    // Three key frames of a 12-bit remote as a receiver delivers them.
    std::string input;
    for (uint32_t seed : {1u, 2u, 3u}) input += Line(test::Distort(test::RcmmFrame({1, 2, 0, 1, 0, 2}), 40, 3, seed));
    ToolRun r = Analyze(input);
    ASSERT_EQ(r.lines.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Value(r.lines[i], "slot"), std::to_string(i));
        EXPECT_EQ(Value(r.lines[i], "protocol_name"), "\"RC-MM\"") << r.lines[i];
        EXPECT_EQ(Value(r.lines[i], "mode"), "6");
        EXPECT_EQ(Value(r.lines[i], "cmd"), std::to_string(0x12000));
    }
}

TEST(AnalyzeTool, CodeTextLinesAreTakenAsTheyStand) {
    // The worked example: period 0, then 9000, 4500 and 560.
    const std::string example = "  }j}i7@";
    struct Case {
        std::string line;
        const char* count;
        const char* period;
        const char* total;
    } cases[] = {
        {example, "3", "0", "14060"},
        {example + "\r", "3", "0", "14060"},           // a CRLF line break
        {example + "x", "3", "0", "14060"},            // an unpaired last character
        {example.substr(2) + "7@", "3", "9000000", "5620"},  // without its leading spaces: 9000 is the period
        {"# }j}i7@", "3", "72000", "14060"},          // '#' is a character of the text
        {"\x01\x02}j}i7@", "3", "0", "14060"},        // control characters read as spaces
        {"  }j}\xC3\xA9" "7@", "3", "0", "14060"},    // U+00E9 reads like U+0069, 'i'
        {"    ", "1", "0", "0"},                      // spaces: values of 0
        {" }", "0", "0", "0"},                        // fewer than two values: an empty frame
    };
    for (const Case& c : cases) {
        ToolRun r = Analyze(c.line + "\n", {"--input", "codetext"});
        EXPECT_EQ(r.status, 0) << c.line;
        EXPECT_TRUE(r.err.empty()) << r.err;
        ASSERT_EQ(r.lines.size(), 1u) << c.line;
        EXPECT_EQ(Value(r.lines[0], "count"), c.count) << c.line;
        EXPECT_EQ(Value(r.lines[0], "period"), c.period) << c.line;
        EXPECT_EQ(Value(r.lines[0], "total"), c.total) << c.line;
    }

    // Slots 0, 1, ... until an empty line; the forced settings apply; an
    // eleventh text is dropped and said.
    std::string input = example + "\n" + example + "\n\n";
    for (int i = 0; i < 11; ++i) input += example + "\n";
    ToolRun r = Analyze(input, {"--input", "codetext", "--protocol", "nec", "--modulation", "1"});
    ASSERT_EQ(r.lines.size(), 12u);
    EXPECT_EQ(Value(r.lines[1], "slot"), "1");
    EXPECT_EQ(Value(r.lines[2], "slot"), "0");
    EXPECT_EQ(Value(r.lines[11], "slot"), "9");
    EXPECT_EQ(Value(r.lines[0], "modulation"), "1");
    EXPECT_EQ(Value(r.lines[0], "protocol"), "-1");  // NEC needs two space classes
    EXPECT_EQ(r.err, "tovanel-analyze: <stdin>: burst 2: 1 frame after the tenth not analysed\n");
}

TEST(AnalyzeTool, ProtocolsAndModulationsByNumberOrName) {
    struct Case {
        const char* text;
        int32_t protocol, modulation;  // -1: not accepted
    } cases[] = {
        {"0", 0, 0},        {"auto", 0, 0},     {"(AUTO)", 0, 0},      {"(not detected)", 0, 0},
        {"3", 3, 3},        {"nec", 3, -1},     {"NEC (rev)", 16, -1}, {"rc-5", 7, -1},
        {"RC5", -1, -1},    {"19", 19, -1},     {"20", -1, -1},        {"-1", -1, -1},
        {"Bi-phase", -1, 3}, {"pulse LENGTH", -1, 2}, {"", -1, -1},      {"nec ", -1, -1},
    };
    for (const Case& c : cases) {
        int32_t v = -1;
        EXPECT_EQ(ParseProtocolSetting(c.text, v) ? v : -1, c.protocol) << c.text;
        v = -1;
        EXPECT_EQ(ParseModulationSetting(c.text, v) ? v : -1, c.modulation) << c.text;
    }
    ToolRun r = Analyze(NecLine, {"--protocol", "NEC (rev)", "--modulation=pulse distance"});
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(Value(r.lines[0], "protocol"), "16");
    ToolRun help = Analyze("", {"--help"});
    std::string all;
    for (const std::string& l : help.lines) all += l + "\n";
    EXPECT_NE(all.find("  16 NEC (rev)"), std::string::npos) << all;
    EXPECT_NE(all.find("   3 Bi-phase"), std::string::npos) << all;
}

TEST(AnalyzeTool, BadLinesAreReportedAndSkipped) {
    struct Case {
        const char* line;
        const char* message;
    } cases[] = {
        {"560 abc 560", "line 2: 'abc' is not a whole number"},
        {"560 5.5 560", "line 2: '5.5' is not a whole number"},
        {"560 2147483648 560", "line 2: '2147483648' is outside 0..2147483647"},
        {"560 99999999999999999999 560", "outside 0..2147483647"},
        {"560 +-5", "'+-5' is not a whole number"},
        {"560 - 560", "'-' is not a whole number"},
    };
    for (const Case& c : cases) {
        ToolRun r = Analyze(NecLine + c.line + "\n9000 2250 560\n");
        EXPECT_EQ(r.status, 2) << c.line;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        // The bad line takes no slot: the repeat lands in slot 1.
        ASSERT_EQ(r.lines.size(), 2u) << c.line;
        EXPECT_EQ(Value(r.lines[1], "slot"), "1");
    }
    EXPECT_EQ(Analyze("2147483647 1 2147483647\n").status, 0);
}

TEST(AnalyzeTool, EmptyInputPrintsNothingAndSucceeds) {
    for (const char* input : {"", "\n\n", "# only a comment\n"}) {
        ToolRun r = Analyze(input);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.lines.empty());
        EXPECT_TRUE(r.err.empty());
    }
}

TEST(AnalyzeTool, OptionErrorsNameTheOption) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--protocol"}, "--protocol needs a value"},
        {{"--protocol", "20"}, "--protocol: '20' is neither a number from 0 to 19 nor a protocol name"},
        {{"--modulation", "4"}, "--modulation: '4' is neither a number from 0 to 3 nor a modulation name"},
        {{"--modulation", "x"}, "--modulation"},
        {{"--adr-start", "-1"}, "--adr-start"},
        {{"--input", "wave"}, "--input"},
        {{"--format", "xml"}, "--format"},
        {{"--adr-lsb-first=1"}, "--adr-lsb-first takes no value"},
    };
    for (const Case& c : cases) {
        ToolRun r = Analyze(NecLine, c.args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.lines.empty());
    }
}

TEST(AnalyzeTool, ForcedLayoutTakesBitPositions) {
    // An unknown 20-bit pulse-distance frame read by a layout from bit 1.
    const test::Durations d = test::PulseDistance(test::NecTiming, test::BitsOf(0xABCDE, 20, true));
    ToolRun r = Analyze(Line(d), {"--adr-start", "1", "--adr-bits", "8", "--adr-lsb-first", "--cmd-start=9",
                              "--cmd-bits=4", "--cmd-short-is-one"});
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(Value(r.lines[0], "protocol"), "0");
    EXPECT_EQ(Value(r.lines[0], "adr_start"), "2");
    EXPECT_EQ(Value(r.lines[0], "adr"), std::to_string((0xABCDE >> 0) & 0xFF));
    EXPECT_EQ(Value(r.lines[0], "cmd_start"), "18");
    // Bits 8..11 of the value are 1100 high first from bit 8 = 0,0,1,1 →
    // inverted, high first: 1,1,0,0 = 0xC.
    EXPECT_EQ(Value(r.lines[0], "cmd"), "12");
    EXPECT_EQ(Value(r.lines[0], "decoded"), "true");
}

TEST(AnalyzeTool, ForcedProtocolAndModulation) {
    ToolRun r = Analyze(NecLine, {"--protocol", "16", "--modulation", "1", "--adr-bits", "8", "--adr-start",
                              "1", "--adr-lsb-first"});
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(Value(r.lines[0], "protocol"), "16");
    EXPECT_EQ(Value(r.lines[0], "protocol_name"), "\"NEC (rev)\"");
    EXPECT_EQ(Value(r.lines[0], "adr"), "4");
}

TEST(AnalyzeTool, Mode2FramesBurstsAndGaps) {
    std::string input = "Using driver default on device /dev/lirc0\n";
    auto add = [&](const test::Durations& d) {
        for (size_t i = 0; i < d.size(); ++i)
            input += (i % 2 == 0 ? "pulse " : "space ") + std::to_string(d[i]) + "\n";
    };
    add(test::NecFrame(0x04, 0x08));
    input += "space 40000\n";
    add({9000, 2250, 560});
    input += "timeout 120000\n";
    input += "space 500000\n";  // more than 300 ms: a new burst
    add({9000, 2250, 560});
    input += "timeout 120000\n";
    ToolRun r = Analyze(input, {"--input", "mode2"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(Value(r.lines[0], "protocol_name"), "\"NEC\"");
    EXPECT_EQ(Value(r.lines[1], "slot"), "1");
    EXPECT_EQ(Value(r.lines[1], "repeat"), "true");
    const int necTotal = std::stoi(Value(r.lines[0], "total"));
    EXPECT_EQ(Value(r.lines[1], "period"), std::to_string(necTotal + 40000));
    EXPECT_EQ(Value(r.lines[2], "slot"), "0");
    EXPECT_EQ(Value(r.lines[2], "period"), "0");
}

TEST(AnalyzeTool, Mode2CutsAtSpacesOverTenThousandTwoHundred) {
    ToolRun r = Analyze("pulse 560\nspace 10200\npulse 560\nspace 10201\npulse 560\nspace 560\npulse 560\n",
                    {"--input", "mode2"});
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(Value(r.lines[0], "count"), "3");
    EXPECT_EQ(Value(r.lines[1], "count"), "3");
    EXPECT_EQ(Value(r.lines[1], "period"), std::to_string(10201 + 11320));
}

TEST(AnalyzeTool, Mode2BadLines) {
    ToolRun r = Analyze("pulse 560\nspace\npulse x\nflash 3\nspace 560\npulse 560\n", {"--input", "mode2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("line 2"), std::string::npos);
    EXPECT_NE(r.err.find("line 3"), std::string::npos);
    EXPECT_NE(r.err.find("line 4"), std::string::npos);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(Value(r.lines[0], "count"), "3");
}

TEST(AnalyzeTool, TextFormatShowsTheMainWindowTexts) {
    ToolRun r = Analyze(NecLine, {"--format", "text"});
    std::string all;
    for (const std::string& l : r.lines) all += l + "\n";
    EXPECT_NE(all.find("Detect: Pulse distance"), std::string::npos) << all;
    EXPECT_NE(all.find("Detect: NEC"), std::string::npos);
    EXPECT_NE(all.find("\n  Linux: nec 0x0408\n"), std::string::npos) << all;
    EXPECT_NE(all.find("560 [33]"), std::string::npos);
    EXPECT_NE(all.find("9000 [1]"), std::string::npos);
    EXPECT_EQ(AddressDataText(0xFB04), "Data: 0xFB04 (64260)");
    EXPECT_EQ(AddressDataText(0x4), "Data: 0x0004 (4)");
    EXPECT_EQ(CommandDataText(0x8), "Data: 0x08 (8)");
    EXPECT_EQ(CommandDataText(~uint64_t{0}), "Data: 0xFFFFFFFFFFFFFFFF (18446744073709551615)");
}

TEST(AnalyzeTool, KernelReadingOfEveryFrameInItsBurst) {
    const std::string sharp = Line(test::SharpFrame(0x12, 0x34, 1, 0));
    const std::string echo = Line(test::SharpFrame(0x12, 0xcb, 0, 1));
    const std::string mce = Line(test::Rc6Frame(6, 0, 0x80, test::BitsOf(0x0f840c, 24, false)));
    struct Case {
        std::string input;
        std::vector<std::string> lines;  // slot, rc_protocol, rc_scancode, rc_toggle of each line
    } cases[] = {
        // Sharp's first frame is read with the inverted frame after it, and
        // printed (still first) once that has arrived.
        {sharp + echo, {"0 \"sharp\" 4660 null", "1 null null null"}},
        {sharp, {"0 null null null"}},
        {sharp + "\n" + echo, {"0 null null null", "0 null null null"}},
        {mce + mce, {"0 \"rc6_mce\" 2148467724 true", "1 \"rc6_mce\" 2148467724 true"}},
        {Line(test::NokiaFrame(0x12, 0xa5)), {"0 null null null"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines;
        for (const std::string& l : Analyze(c.input).lines)
            lines.push_back(Value(l, "slot") + " " + Value(l, "rc_protocol") + " " + Value(l, "rc_scancode") + " " +
                            Value(l, "rc_toggle"));
        EXPECT_EQ(lines, c.lines) << c.input;
    }
    ToolRun text = Analyze(mce, {"--format", "text"});
    ASSERT_FALSE(text.lines.empty());
    EXPECT_EQ(text.lines[3], "  Linux: rc6_mce 0x800f040c, toggle 1");
}

TEST(AnalyzeTool, StartValuesAreTheRecordsAsStored) {
    // Duration positions for NEC, half-bit positions for RC-5: never halved.
    ToolRun nec = Analyze(NecLine);
    ToolRun rc5 = Analyze(Line(test::Rc5Frame(1, 0, 0x05, 0x35)));
    ASSERT_EQ(nec.lines.size(), 1u);
    ASSERT_EQ(rc5.lines.size(), 1u);
    EXPECT_EQ(Value(nec.lines[0], "adr_start"), "2");
    EXPECT_EQ(Value(nec.lines[0], "cmd_start"), "34");
    EXPECT_EQ(Value(rc5.lines[0], "mode_start"), "0");
    EXPECT_EQ(Value(rc5.lines[0], "adr_start"), "6");
    EXPECT_EQ(Value(rc5.lines[0], "cmd_start"), "16");
    EXPECT_EQ(Value(rc5.lines[0], "mode_bits"), "2");
}

TEST(AnalyzeTool, TextFormatShowsModeAddressAndCommand) {
    auto text = [](const std::string& input) {
        std::string all;
        for (const std::string& l : Analyze(input, {"--format", "text"}).lines) all += l + "\n";
        return all;
    };
    const std::string rc5 = text(Line(test::Rc5Frame(1, 0, 0x05, 0x35)));
    EXPECT_NE(rc5.find("Mode: 3\n"), std::string::npos) << rc5;
    EXPECT_NE(rc5.find("Data: 0x0005 (5)"), std::string::npos) << rc5;
    EXPECT_NE(rc5.find("Data: 0x35 (53)"), std::string::npos) << rc5;
    const std::string nec = text(NecLine);
    EXPECT_EQ(nec.find("Mode:"), std::string::npos) << nec;  // no mode bits
    EXPECT_NE(nec.find("Data: 0xFB04 (64260)"), std::string::npos) << nec;
    EXPECT_NE(nec.find("Data: 0x08 (8)"), std::string::npos) << nec;
}

TEST(AnalyzeTool, BinaryExitStatusAndFiles) {
    const std::string exe = std::string(TOVANEL_BINARY_DIR) + "/tovanel-analyze";
    auto status = [](const std::string& cmd) {
        const int s = std::system((cmd + " >/dev/null 2>&1").c_str());
        return WEXITSTATUS(s);
    };
    EXPECT_EQ(status("printf '560 560 560\\n' | " + exe), 0);
    EXPECT_EQ(status("printf '560 x 560\\n' | " + exe), 2);
    EXPECT_EQ(status(exe + " --bogus < /dev/null"), 2);
    EXPECT_EQ(status(exe + " /nonexistent/file"), 2);
    EXPECT_EQ(status(exe + " --help"), 0);
}

// Output waits in a buffer only while more input is ready: a frame piped
// in from a live receiver is printed before the next arrives.
TEST(AnalyzeTool, PipedFramesArePrintedWhileTheInputStaysOpen) {
    const std::string exe = std::string(TOVANEL_BINARY_DIR) + "/tovanel-analyze";
    std::string mode2;
    const test::Durations nec = test::NecFrame(0x04, 0x08);
    for (size_t i = 0; i < nec.size(); ++i) mode2 += (i % 2 ? "space " : "pulse ") + std::to_string(nec[i]) + "\n";
    const struct {
        const char* input;
        std::string frame;
    } cases[] = {{"durations", NecLine}, {"mode2", mode2 + "timeout 120000\n"}};
    for (const auto& c : cases) {
        int in[2], out[2];
        ASSERT_EQ(::pipe(in), 0);
        ASSERT_EQ(::pipe(out), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::close(in[1]);
            ::close(out[0]);
            ::execl(exe.c_str(), exe.c_str(), "--input", c.input, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ASSERT_EQ(::write(in[1], c.frame.data(), c.frame.size()), static_cast<ssize_t>(c.frame.size()));
        std::string printed;
        pollfd ready{out[0], POLLIN, 0};
        char buf[4096];
        while (printed.find('\n') == std::string::npos && ::poll(&ready, 1, 10000) == 1) {
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            printed.append(buf, static_cast<size_t>(n));
        }
        ::close(in[1]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(out[0]);
        EXPECT_EQ(Value(printed, "protocol_name"), "\"NEC\"") << c.input << ": " << printed;
    }
}

}  // namespace
}  // namespace tovanel
