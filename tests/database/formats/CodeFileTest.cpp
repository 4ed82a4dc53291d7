#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "analysis/rc/RcEncoders.h"
#include "analysis/rc/RcReading.h"
#include "database/formats/CodeFile.h"
#include "database/formats/CodeFileFormats.h"
#include "database/formats/CodeFileWriters.h"
#include "tests/database/formats/FormatsSupport.h"

namespace tovanel {
namespace {

using test::ReadText;

const std::string NecPronto =
    "0000 006D 0022 0002 0157 00AC 0015 0016 0015 0016 0015 0041 0015 0016 0015 0016 0015 0016 0015 0016 "
    "0015 0016 0015 0041 0015 0041 0015 0016 0015 0041 0015 0041 0015 0041 0015 0041 0015 0041 0015 0016 "
    "0015 0016 0015 0016 0015 0041 0015 0016 0015 0016 0015 0016 0015 0016 0015 0041 0015 0041 0015 0041 "
    "0015 0016 0015 0041 0015 0041 0015 0041 0015 0041 0015 0689 0157 0056 0015 0E94";

TEST(CodeFile, FormatComesFromTheContent) {
    const struct {
        std::string text;
        CodeFileFormat format;
    } cases[] = {
        {"# my remote\n\nbegin remote\n", CodeFileFormat::Lircd},
        {"Using driver default on device /dev/lirc0\npulse 900\n", CodeFileFormat::Mode2},
        {"9000 4500 560\n", CodeFileFormat::Durations},
        {"+9000 -4500 +560\n", CodeFileFormat::Durations},
        {NecPronto + "\n", CodeFileFormat::Pronto},
        {"Power: 5000 0073 0000 0001 0001 0001\n", CodeFileFormat::Pronto},
        {"Filetype: IR signals file\nVersion: 1\n", CodeFileFormat::IrSignals},
        {"hello world\n", CodeFileFormat::Unknown},
        {std::string("\x7f" "ELF\x02\x01\x01\0\0", 9), CodeFileFormat::Unknown},
        {"", CodeFileFormat::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(DetectCodeFileFormat(c.text), c.format);
    }
    // Junk after a first line of text is named by its line.
    const CodeFileCollector junk = ReadText("# a comment\n\x01\x02\x03\n");
    ASSERT_EQ(junk.errors.size(), 1u);
    EXPECT_EQ(junk.errors[0], "line 2: not a code file: neither lircd.conf, mode2, durations, Pronto hex, .ir nor keymap");
}

TEST(CodeFile, ProntoCodesBecomeOnceAndRepeatFrames) {
    const CodeFileCollector c = ReadText("Power: " + NecPronto + "\n" + NecPronto + "\n");
    ASSERT_TRUE(c.errors.empty()) << c.errors[0];
    ASSERT_EQ(c.units.size(), 1u);
    EXPECT_NEAR(c.units[0].unit.carrierHz, 38029, 1);
    ASSERT_EQ(c.units[0].keys.size(), 2u);
    EXPECT_EQ(c.units[0].keys[0].name, "Power");
    EXPECT_EQ(c.units[0].keys[1].name, "Key 2");
    const std::vector<CodeFileFrame>& frames = c.units[0].keys[0].frames;
    ASSERT_EQ(frames.size(), 2u);  // the once sequence and the repeat code
    EXPECT_EQ(frames[0].durations.size(), 67u);
    EXPECT_NEAR(frames[0].durations[0], 9000, 30);
    EXPECT_NEAR(frames[1].period, 67500 + 44000, 1000);  // a 68 ms frame and 0x0689 cycles of lead-out
    // The kernel reads the frames as the NEC key they are.
    const std::vector<RcDurations> burst{frames[0].durations, frames[1].durations};
    const auto readings = ReadRcBurst(burst);
    ASSERT_TRUE(readings[0].has_value());
    EXPECT_EQ(RcReadingText(readings[0]), "nec 0x0408");
    EXPECT_EQ(RcReadingText(readings[1]), "nec 0x0408");
}

TEST(CodeFile, BadProntoCodesNameTheLine) {
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"0000 006D 0002 0000 0157 00AC\n", "line 1: the length words say 2 + 0 burst pairs (8 words), the code has 6"},
        {"0000 0000 0001 0000 0157 00AC\n", "line 1: the frequency word is 0"},
        {"0000 006D 0001 0000 0000 00AC\n", "line 1: word 5: a duration of 0 µs"},
        {"0000 FFFF 0001 0000 FFFF 00AC\n", "line 1: word 5: a duration of "},
        {"0000 006D 0001 0000 0157 00AC\nx: 0000 006D 0001 0000 0157 GGGG\n", "line 2: 'GGGG' is not a Pronto word"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CodeFileCollector r;
        ReadProntoList(c.text, r);
        ASSERT_FALSE(r.errors.empty());
        EXPECT_EQ(r.errors[0].substr(0, c.message.size()), c.message);
    }
    // A Pronto preset (type 5000) is sound, but no learned code: skipped.
    CodeFileCollector preset;
    ReadProntoList("Power: 5000 0073 0000 0001 0001 0001\n", preset);
    EXPECT_TRUE(preset.errors.empty());
    ASSERT_EQ(preset.skipped.size(), 1u);
    EXPECT_EQ(preset.skipped[0], "line 1: key 'Power': Pronto type 5000 is not read: only learned codes (0000, 0100)");
}

// The bits of a pulse-distance frame after its leader, low bit first: a
// space above the middle of the shortest and the longest bit space is a 1.
std::vector<uint8_t> PulseDistanceBytes(const std::vector<int32_t>& d, int bits) {
    int32_t lo = INT32_MAX, hi = 0;
    for (int k = 0; k < bits; ++k) lo = std::min(lo, d[3 + 2 * k]), hi = std::max(hi, d[3 + 2 * k]);
    std::vector<uint8_t> bytes((bits + 7) / 8);
    for (int k = 0; k < bits; ++k)
        if (2 * d[3 + 2 * k] > lo + hi) bytes[k / 8] |= static_cast<uint8_t>(1 << (k % 8));
    return bytes;
}

TEST(CodeFile, IrSignalsRawAndParsed) {
    const std::string text =
        "Filetype: IR signals file\nVersion: 1\n"
        "#\nname: Raw\ntype: raw\nfrequency: 36000\nduty_cycle: 0.330000\ndata: 900 450 560 20000 900 450 560\n"
        "#\nname: Vol_up\ntype: parsed\nprotocol: NEC\naddress: 04 00 00 00\ncommand: 08 00 00 00\n"
        "#\nname: Ext\ntype: parsed\nprotocol: NECext\naddress: EE 87 00 00\ncommand: 5D A0 00 00\n"
        "#\nname: Rc5\ntype: parsed\nprotocol: RC5\naddress: 1E 00 00 00\ncommand: 01 00 00 00\n"
        "#\nname: Rc5x\ntype: parsed\nprotocol: RC5X\naddress: 1E 00 00 00\ncommand: 01 00 00 00\n"
        "#\nname: Rc6\ntype: parsed\nprotocol: RC6\naddress: 00 00 00 00\ncommand: 0C 00 00 00\n"
        "#\nname: Sirc\ntype: parsed\nprotocol: SIRC\naddress: 01 00 00 00\ncommand: 15 00 00 00\n"
        "#\nname: Sirc15\ntype: parsed\nprotocol: SIRC15\naddress: 97 00 00 00\ncommand: 15 00 00 00\n"
        "#\nname: Sirc20\ntype: parsed\nprotocol: SIRC20\naddress: 3A 01 00 00\ncommand: 15 00 00 00\n"
        "#\nname: N42\ntype: parsed\nprotocol: NEC42\naddress: 1C 01 00 00\ncommand: 12 00 00 00\n"
        "#\nname: N42x\ntype: parsed\nprotocol: NEC42ext\naddress: 34 12 00 01\ncommand: CD AB 00 00\n"
        "#\nname: Sam\ntype: parsed\nprotocol: Samsung32\naddress: 07 00 00 00\ncommand: 02 00 00 00\n"
        "#\nname: Kas\ntype: parsed\nprotocol: Kaseikyo\naddress: 21 02 20 01\ncommand: 5A 03 00 00\n"
        "#\nname: Rca\ntype: parsed\nprotocol: RCA\naddress: 0F 00 00 00\ncommand: 54 00 00 00\n"
        "#\nname: Pio\ntype: parsed\nprotocol: Pioneer\naddress: AA 00 00 00\ncommand: 56 00 00 00\n"
        "#\nname: Odd\ntype: parsed\nprotocol: Marantz\naddress: 01 00 00 00\ncommand: 01 00 00 00\n";
    const CodeFileCollector c = ReadText(text);
    ASSERT_TRUE(c.errors.empty()) << c.errors[0];
    ASSERT_EQ(c.units.size(), 1u);
    EXPECT_EQ(c.units[0].unit.carrierHz, 36000);
    ASSERT_EQ(c.skipped.size(), 1u);
    EXPECT_EQ(c.skipped[0], "line 94: signal 'Odd': no encoder here for the protocol 'Marantz'");
    const std::vector<CodeFileKey>& keys = c.units[0].keys;
    ASSERT_EQ(keys.size(), 15u);
    // Raw data is cut where a receiver cuts it.
    ASSERT_EQ(keys[0].frames.size(), 2u);
    EXPECT_EQ(keys[0].frames[1], (CodeFileFrame{900 + 450 + 560 + 20000, {900, 450, 560}}));

    // Where the kernel has the protocol, its reading gives the scancode.
    const struct {
        size_t key;
        const char* reading;
    } kernel[] = {
        {1, "nec 0x0408"},        {2, "nec32 0x87eea05d"}, {3, "rc5 0x1e01, toggle 0"}, {4, "rc5 0x1e41, toggle 0"},
        {5, "rc6_0 0x000c, toggle 0"},      {6, "sony12 0x010015"},  {7, "sony15 0x970015"}, {8, "sony20 0x1a0915"},
    };
    for (const auto& k : kernel) {
        SCOPED_TRACE(keys[k.key].name);
        const std::vector<RcDurations> burst{keys[k.key].frames[0].durations};
        EXPECT_EQ(RcReadingText(ReadRcBurst(burst)[0]), k.reading);
    }
    // Elsewhere the bytes as each protocol lays them out, low bit first.
    const struct {
        size_t key;
        int bits;
        std::vector<uint8_t> bytes;
        int32_t leader;
    } bytes[] = {
        {9, 42, {0x1c, 0x61, 0xdc, 0x4b, 0xb4, 0x03}, 9000},       // 13 address bits, inverted, 8 + 8 command
        {10, 42, {0x34, 0x12, 0x00, 0x35, 0xaf, 0x02}, 9000},      // 26 address bits, 16 command bits
        {11, 32, {0x07, 0x07, 0x02, 0xfd}, 4500},                  // address twice, command, inverted
        {12, 48, {0x02, 0x20, 0x20, 0xa1, 0x75, 0xf4}, 3456},      // vendor, parity|genre1, genre2|cmd, id|cmd, xor
        {13, 24, {0x4f, 0x05, 0xab}, 4000},                        // address, command, both inverted
        {14, 32, {0xaa, 0x55, 0x56, 0xa9}, 8500},
    };
    for (const auto& b : bytes) {
        SCOPED_TRACE(keys[b.key].name);
        const std::vector<int32_t>& d = keys[b.key].frames[0].durations;
        ASSERT_EQ(d.size(), static_cast<size_t>(2 * b.bits + 3));
        EXPECT_EQ(d[0], b.leader);
        EXPECT_EQ(PulseDistanceBytes(d, b.bits), b.bytes);
    }
    // One press: the frame and the repeats the handheld sends after it.
    EXPECT_EQ(keys[11].frames[1].durations, (std::vector<int32_t>{4500, 4500, 550, 1650, 550}));
    EXPECT_EQ(keys[6].frames.size(), 4u);   // SIRC: three repeats
    EXPECT_EQ(keys[14].frames.size(), 3u);  // Pioneer: two
}

TEST(CodeFile, CapturesAreKeysPerBurstNamedByComments) {
    const CodeFileCollector mode2 = ReadText(
        "carrier 38000\n# name: Power\npulse 9000\nspace 4500\npulse 560\nspace 40000\npulse 9000\nspace 2250\n"
        "pulse 560\nspace 500000\n\npulse 900\nspace 450\npulse 560\ntimeout 100000\n");
    ASSERT_TRUE(mode2.errors.empty()) << mode2.errors[0];
    ASSERT_EQ(mode2.units.size(), 1u);
    EXPECT_EQ(mode2.units[0].unit.carrierHz, 38000);
    ASSERT_EQ(mode2.units[0].keys.size(), 2u);
    EXPECT_EQ(mode2.units[0].keys[0].name, "Power");
    EXPECT_EQ(mode2.units[0].keys[1].name, "Key 2");
    ASSERT_EQ(mode2.units[0].keys[0].frames.size(), 2u);
    EXPECT_EQ(mode2.units[0].keys[0].frames[1], (CodeFileFrame{9000 + 4500 + 560 + 40000, {9000, 2250, 560}}));

    const CodeFileCollector durations = ReadText("# name: A\n900 450 560\n\n900 450 560 0 560\n");
    ASSERT_EQ(durations.errors.size(), 1u);
    EXPECT_EQ(durations.errors[0], "line 4: a duration of 0 µs");
    for (const char* text : {"20000000 450 560\n", "pulse 20000000\nspace 450\npulse 560\n"}) {
        const CodeFileCollector long_mark = ReadText(text);
        ASSERT_EQ(long_mark.errors.size(), 1u) << text;
        EXPECT_EQ(long_mark.errors[0], "line 1: a duration of 20000000 µs, longer than 10 s");
    }
}

ExportUnit NecUnit() {
    ExportUnit unit{"My TV", 36000, {}};
    for (uint32_t sc : {0x0408u, 0x0409u}) {
        ExportKey key{sc == 0x0408 ? "Vol up" : "Vol down", {}, {}};
        for (RcFrame& f : EncodeRc(RcProtocol::Nec, sc, false, 2)) key.frames.push_back({f.period, f.durations});
        unit.keys.push_back(key);
    }
    unit.keys.push_back({"Single", {{0, {900, 450, 560, 560, 560}}}, {}});
    return unit;
}

// Every writer's file reads back as the same unit: names, frames, periods
// and carrier (Pronto to within a carrier cycle).
// Through the format table: every format that is written and read (a new
// entry needs a case here) reads its own file back as the unit, detected
// as itself.
TEST(CodeFileWriters, WrittenFilesReadBackAsTheUnit) {
    const ExportUnit unit = NecUnit();
    const struct {
        const char* format;
        int32_t tolerance;
        std::vector<std::string> names;
    } cases[] = {
        {"lircd", 0, {"Vol_up", "Vol_down", "Single"}},
        {"pronto", 27, {"Vol up", "Vol down", "Single"}},
        {"ir", 0, {"Vol up", "Vol down", "Single"}},
        {"mode2", 0, {"Vol up", "Vol down", "Single"}},
    };
    for (const CodeFileFormatEntry& e : CodeFileFormats()) {
        // A keymap holds scancodes, not durations: KeymapTest reads it back.
        if (e.read == nullptr || e.write == nullptr || e.format == CodeFileFormat::Keymap) continue;
        EXPECT_TRUE(std::any_of(std::begin(cases), std::end(cases),
                                [&](const auto& c) { return std::string_view(c.format) == e.word; }))
            << e.word << " has no case";
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const CodeFileFormatEntry* entry = FindCodeFileFormat(std::string_view(c.format));
        ASSERT_NE(entry, nullptr);
        const std::string text = entry->write(unit);
        EXPECT_EQ(DetectCodeFileFormat(text), entry->format);
        const CodeFileCollector r = ReadText(text);
        ASSERT_TRUE(r.errors.empty()) << r.errors[0] << "\n" << text;
        ASSERT_EQ(r.units.size(), 1u);
        EXPECT_NEAR(r.units[0].unit.carrierHz, 36000, 100);
        ASSERT_EQ(r.units[0].keys.size(), unit.keys.size());
        for (size_t k = 0; k < unit.keys.size(); ++k) {
            const CodeFileKey& got = r.units[0].keys[k];
            EXPECT_EQ(got.name, c.names[k]);
            ASSERT_EQ(got.frames.size(), unit.keys[k].frames.size());
            for (size_t f = 0; f < got.frames.size(); ++f) {
                const CodeFileFrame& want = unit.keys[k].frames[f];
                EXPECT_NEAR(got.frames[f].period, want.period, 4 * c.tolerance);
                ASSERT_EQ(got.frames[f].durations.size(), want.durations.size());
                for (size_t i = 0; i < want.durations.size(); ++i)
                    EXPECT_NEAR(got.frames[f].durations[i], want.durations[i], c.tolerance);
            }
        }
    }
}

TEST(CodeFileWriters, SendingProgramsAcceptTheFiles) {
    ASSERT_TRUE(test::HaveProgram("irsimsend")) << "irsimsend (Debian package lirc) is needed";
    ASSERT_TRUE(test::HaveProgram("ir-ctl")) << "ir-ctl (Debian package ir-keytable) is needed";
    const ExportUnit unit = NecUnit();
    test::TempDir dir;
    // irsimsend plays every raw code back as the key's frames.
    const std::string conf = dir.File("unit.lircd.conf", WriteLircdRaw(unit));
    for (const ExportKey& key : unit.keys) {
        std::string name = key.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        EXPECT_EQ(test::IrSimSend(conf, name, 1, dir), JoinFrames(key.frames)) << name;
    }
    // ir-ctl reads the mode2 file without a warning (it then fails on the
    // device, which is no transmitter).
    const std::string mode2 = dir.File("unit.mode2", WriteMode2(unit));
    const std::string log = (dir.path / "ir-ctl.log").string();
    std::system(("ir-ctl -d /dev/null --send '" + mode2 + "' 2>'" + log + "'").c_str());
    const std::string messages = test::TempDir::ReadFile(log);
    EXPECT_EQ(messages.find("warning"), std::string::npos) << messages;
    EXPECT_EQ(messages.find(mode2), std::string::npos) << messages;
}

TEST(CodeFileWriters, CsvQuotesEveryField) {
    CsvRow row{"TV \"big\"", "Vol,up", "NEC", 0, "0x00FF", "0x08", {"  }j", "", "", ""}};
    EXPECT_EQ(WriteCsv({row}),
              "\"unit\",\"key\",\"protocol\",\"mode\",\"address\",\"command\",\"code1\",\"code2\",\"code3\",\"code4\"\r\n"
              "\"TV \"\"big\"\"\",\"Vol,up\",\"NEC\",\"0\",\"0x00FF\",\"0x08\",\"  }j\",\"\",\"\",\"\"\r\n");
}

TEST(CodeFile, AHugeFileIsRefusedUnread) {
    test::TempDir dir;
    const std::string path = (dir.path / "huge.conf").string();
    { std::ofstream(path) << "begin remote\n"; }
    std::filesystem::resize_file(path, 200u << 20);  // sparse: takes no disk
    CodeFileCollector c;
    CodeFileFormat format{};
    std::string error;
    EXPECT_FALSE(ReadCodeFile(path, c, format, error));
    EXPECT_EQ(error, path + ": 209715200 bytes; a code file is read up to 16 MiB");
    EXPECT_TRUE(c.units.empty());
}

}  // namespace
}  // namespace tovanel
