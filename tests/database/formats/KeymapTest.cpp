// Kernel keymaps: the keymaps Debian ships import and each key reads back
// as its scancode, exported keymaps pass ir-keytable's own check and read
// back, and the choices between a decoder's variants.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "analysis/rc/RcEncoders.h"
#include "analysis/rc/RcReading.h"
#include "database/formats/Keymap.h"
#include "tests/database/formats/FormatsSupport.h"

namespace tovanel {
namespace {

namespace fs = std::filesystem;
using test::ReadText;

constexpr const char* ShippedKeymaps = "/lib/udev/rc_keymaps";

std::optional<RcReading> ReadingOf(const std::vector<CodeFileFrame>& frames) {
    std::vector<RcDurations> burst;
    for (const CodeFileFrame& f : frames) burst.emplace_back(f.durations);
    return burst.empty() ? std::nullopt : ReadRcBurst(burst)[0];
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// What `ir-keytable --test-keymap` prints for a file; it exits 0 even for
// a key code it does not know, so the output is the verdict.
std::string TestKeymap(const std::string& path) {
    const std::string command = "ir-keytable --test-keymap='" + path + "' 2>&1; echo \"exit $?\"";
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p) != nullptr) out += buf;
        pclose(p);
    }
    return out;
}

// Every keymap of the folder whose decoder has an encoder here imports
// without an error, each of its scancode lines becomes a key or, for a
// scancode no frame is read as, a skip naming the line, and each key's
// frames read as the scancode of its line, its key code coming back from
// its name.
int CheckKeymapsIn(const fs::path& folder) {
    int imported = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".toml") continue;
        SCOPED_TRACE(entry.path().string());
        const std::string text = test::TempDir::ReadFile(entry.path().string());
        const std::vector<std::string> lines = Lines(text);
        CodeFileCollector c;
        EXPECT_EQ(ReadCodeFileText(text, c), CodeFileFormat::Keymap);
        EXPECT_TRUE(c.errors.empty()) << c.errors[0];
        for (const std::string& skip : c.skipped) {
            if (skip.find(": protocols table ") != std::string::npos) continue;
            // Otherwise a scancode that only a decoder in hardware makes
            // (a toggle bit set, NEC bytes that are each other's inverse):
            // no encoder of its decoder makes a frame that reads as it.
            const size_t no = skip.find(": no ");
            EXPECT_NE(no, std::string::npos) << skip;
            if (no == std::string::npos) continue;
            const std::string decoder = skip.substr(no + 5, skip.find(' ', no + 5) - no - 5);
            const uint32_t scancode = static_cast<uint32_t>(std::strtoul(skip.c_str() + skip.rfind("'0x") + 1, nullptr, 0));
            for (const RcProtocolInfo& p : RcProtocols()) {
                if (decoder != p.keymapProtocol) continue;
                std::vector<CodeFileFrame> frames;
                for (RcFrame& f : EncodeRc(p.protocol, scancode, false, 2)) frames.push_back({f.period, f.durations});
                const std::optional<RcReading> reading = ReadingOf(frames);
                EXPECT_FALSE(reading && reading->scancode == scancode) << skip << " (" << p.name << ")";
            }
        }
        for (const CodeFileCollector::Unit& unit : c.units) {
            for (const CodeFileKey& key : unit.keys) {
                const std::string& line = lines.at(static_cast<size_t>(key.line - 1));
                SCOPED_TRACE(line);
                const uint32_t scancode = static_cast<uint32_t>(std::strtoul(line.c_str(), nullptr, 0));
                const std::optional<RcReading> reading = ReadingOf(key.frames);
                EXPECT_EQ(reading ? reading->scancode : ~scancode, scancode);
                const size_t quote = line.find_first_of("\"'");
                const std::string code = line.substr(quote + 1, line.find_first_of("\"'", quote + 1) - quote - 1);
                if (IsLinuxKeyCode(code)) {
                    EXPECT_EQ(KeymapKeyCode(key.name), code);
                }
            }
            imported += unit.keys.empty() ? 0 : 1;
        }
    }
    return imported;
}

TEST(Keymap, FixturesImportAndReadBack) {
    // nec, necx, nec32, rc5, rc-5-sz, rc6_mce and a pulse_distance map that is skipped.
    EXPECT_EQ(CheckKeymapsIn(test::FormatsData("keymaps")), 6);
}

TEST(Keymap, ShippedKeymapsImportAndReadBack) {
    if (!fs::is_directory(ShippedKeymaps)) GTEST_SKIP() << ShippedKeymaps << " (Debian package ir-keytable) is missing";
    // 53 nec, 11 rc5, 3 rc6 and the rc-5-sz keymap of ir-keytable 1.22,
    // less lme2510: its receiver makes its scancodes in hardware, no NEC
    // frame reads as them (each is skipped with the reason).
    EXPECT_EQ(CheckKeymapsIn(ShippedKeymaps), 67);
}

// A keymap of every kernel protocol, with a key name that is no key code,
// a scancode twice, and a key no protocol reads: ir-keytable takes it, its
// protocols and variants are the ones ir-keytable spells, and it reads back
// as the same scancodes.
TEST(Keymap, ExportedKeymapPassesIrKeytableAndReadsBack) {
    ExportUnit unit{"Living \"room\" \\ TV", 38000, {}};
    auto add = [&](const std::string& name, RcProtocol p, uint32_t scancode) {
        std::vector<CodeFileFrame> frames;
        for (RcFrame& f : EncodeRc(p, scancode, false, 2)) frames.push_back({f.period, std::move(f.durations)});
        unit.keys.push_back({name, std::move(frames), {}});
    };
    // In the order of the registry.
    const uint32_t scancodes[] = {0x1e01,   0x1e013f, 0x2a05,   0x0408,     0x123456,   0x87eea05d, 0x0a0b,
                                  0x010015, 0x970015, 0x1a0915, 0x0a0b0c,   0x1a1f,     0x000c,     0x0a0b0,
                                  0x0a0b0c, 0x0a0b0c0d, 0x800f040c, 0x0abc, 0x0abcde,   0x0abcdef1};
    for (const RcProtocolInfo& p : RcProtocols())
        add(p.protocol == RcProtocol::Nec ? "Power" : std::string("F") + std::to_string(unit.keys.size() + 1), p.protocol,
            scancodes[unit.keys.size()]);
    add("My own key", RcProtocol::Nec, 0x0409);
    add("mute", RcProtocol::Nec, 0x0408);
    unit.keys.push_back({"Noise", {{0, {100, 100, 100}}}, {}});

    const std::string text = WriteKeymap(unit);
    test::TempDir dir;
    const std::string path = dir.File("unit.toml", text);
    if (test::HaveProgram("ir-keytable")) {
        const std::string verdict = TestKeymap(path);
        EXPECT_EQ(verdict, "exit 0\n") << text;
    }
    for (const std::string& line : Lines(text)) {
        if (line.rfind("protocol = ", 0) == 0 || line.rfind("variant = ", 0) == 0) {
            const bool variant = line[0] == 'v';
            bool known = false;
            for (const RcProtocolInfo& p : RcProtocols())
                known = known || line.substr(line.find('"')) == '"' + std::string(variant ? p.keymapVariant : p.keymapProtocol) + '"';
            EXPECT_TRUE(known) << line;
        }
    }

    const CodeFileCollector back = ReadText(text);
    ASSERT_TRUE(back.errors.empty()) << back.errors[0];
    EXPECT_TRUE(back.skipped.empty()) << back.skipped[0];
    ASSERT_EQ(back.units.size(), RcProtocols().size());
    for (size_t k = 0; k < RcProtocols().size(); ++k) {
        const RcProtocol p = RcProtocols()[k].protocol;
        SCOPED_TRACE(RcInfo(p).name);
        EXPECT_EQ(back.units[k].unit.name, unit.name);
        EXPECT_EQ(back.units[k].unit.carrierHz, RcInfo(p).carrier);
        const std::vector<CodeFileKey>& keys = back.units[k].keys;
        // nec also holds the key of no key code; the second 0x0408 is a comment.
        ASSERT_EQ(keys.size(), p == RcProtocol::Nec ? 2u : 1u);
        const std::optional<RcReading> reading = ReadingOf(keys[0].frames);
        ASSERT_TRUE(reading.has_value());
        EXPECT_EQ(reading->protocol, p);
        EXPECT_EQ(reading->scancode, scancodes[k]);
        EXPECT_EQ(keys[0].name, p == RcProtocol::Nec ? "Power" : "F" + std::to_string(k + 1));
    }
    EXPECT_EQ(back.units[3].keys[1].name, "Unknown");
}

TEST(Keymap, WrittenText) {
    ExportUnit unit{"tv", 38000, {}};
    for (const auto& [name, scancode] : {std::pair<const char*, uint32_t>{"Power", 0x0408}, {"Vol+", 0x0409},
                                         {"Numeric 1", 0x0408}, {"x\ny", 0x0408}}) {
        std::vector<CodeFileFrame> frames;
        for (RcFrame& f : EncodeRc(RcProtocol::Nec, scancode, false, 1)) frames.push_back({f.period, f.durations});
        unit.keys.push_back({name, frames, {}});
    }
    unit.keys.push_back({"Empty", {}, {}});
    EXPECT_EQ(WriteKeymap(unit),
              "# tv, written by Tovanel as a keymap for ir-keytable\n"
              "# Empty: no kernel protocol reads its frames\n"
              "[[protocols]]\nname = \"tv\"\nprotocol = \"nec\"\nvariant = \"nec\"\n[protocols.scancodes]\n"
              "0x0408 = \"KEY_POWER\"\n"
              "0x0409 = \"KEY_UNKNOWN\" # Vol+\n"
              "# 0x0408 = \"KEY_NUMERIC_1\" # the same scancode as Power\n"
              "# 0x0408 = \"KEY_UNKNOWN\" # x?y, the same scancode as Power\n");
    // A unit of which no protocol reads a key has no keymap.
    EXPECT_EQ(WriteKeymap(ExportUnit{"tv", 38000, {{"Empty", {}, {}}}}), "");
}

// Every key code the writer may use is one ir-keytable knows.
TEST(Keymap, KeyCodesAreThoseIrKeytableKnows) {
    if (!test::HaveProgram("ir-keytable")) GTEST_SKIP() << "ir-keytable (Debian package ir-keytable) is missing";
    std::string text = "[[protocols]]\nname = \"all\"\nprotocol = \"nec\"\n[protocols.scancodes]\n";
    uint32_t scancode = 0;
    for (std::string_view code : LinuxKeyCodes()) text += std::to_string(++scancode) + " = \"" + std::string(code) + "\"\n";
    test::TempDir dir;
    EXPECT_EQ(TestKeymap(dir.File("all.toml", text)), "exit 0\n");
    EXPECT_GT(LinuxKeyCodes().size(), 600u);
}

TEST(Keymap, KeyNamesAndKeyCodes) {
    const struct {
        const char* name;
        std::optional<std::string> code;
    } cases[] = {
        {"Power", "KEY_POWER"},     {" numeric 0 ", "KEY_NUMERIC_0"}, {"Key power", "KEY_POWER"},
        {"btn left", "BTN_LEFT"},   {"Volume up", std::nullopt},     {"Reserved", std::nullopt},
        {"Dictate", std::nullopt},  {"Max", std::nullopt},           {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(KeymapKeyCode(c.name), c.code) << c.name;
    EXPECT_EQ(KeymapKeyName("KEY_NUMERIC_0"), "Numeric 0");
    EXPECT_EQ(KeymapKeyName("BTN_LEFT"), "Btn left");
}

// The decoder, the variant and the scancode's value choose the encoder; a
// choice is only one whose frames read back as the scancode.
TEST(Keymap, EncodingFollowsTheKernelsChoices) {
    const struct {
        const char* protocol;
        const char* variant;
        uint32_t scancode;
        std::optional<RcProtocol> encoding;
    } cases[] = {
        {"nec", "", 0x0408, RcProtocol::Nec},
        {"nec", "", 0x123456, RcProtocol::Necx},
        {"nec", "", 0x12ed08, RcProtocol::Nec32},     // address bytes inverse: necx would read as nec
        {"nec", "", 0x12ed08f7, std::nullopt},        // both pairs inverse: no frame reads as it
        {"nec", "necx", 0x0408, RcProtocol::Necx},    // 0x00, 0x04: a necx address
        {"nec", "necx", 0xfb0408, RcProtocol::Nec32}, // 0x04, 0xfb: not one
        {"NEC", "imon", 0x0408, RcProtocol::Nec},
        {"rc5", "", 0x1e01, RcProtocol::Rc5},
        {"rc-5", "", 0x1e013f, RcProtocol::Rc5x20},
        {"rc-5-sz", "", 0x28c0, RcProtocol::Rc5Sz},
        {"rc6", "", 0x000c, RcProtocol::Rc6_0},
        {"rc6", "", 0x1a0b0c, RcProtocol::Rc6_6a_24},
        {"rc6", "", 0x800f040c, RcProtocol::Rc6Mce},
        {"rc6", "rc6_6a_32", 0x800f040c, RcProtocol::Rc6Mce},  // the customer code makes it MCE
        {"rc6", "", 0x800f840c, std::nullopt},                 // bit 15 is MCE's toggle
        {"sony", "", 0x010015, RcProtocol::Sony12},
        {"sony", "", 0x970015, RcProtocol::Sony15},
        {"sony", "sony20", 0x010015, RcProtocol::Sony20},
        {"rc-mm", "rc-mm-32", 0x000c8001, RcProtocol::Rcmm32},
        {"rc-mm", "rc-mm-32", 0x00018001, RcProtocol::Rcmm24},  // bit 15 would be rcmm32's toggle
        {"rc-mm", "", 0x80018001, std::nullopt},
        {"jvc", "", 0x0102, RcProtocol::Jvc},
        {"sanyo", "", 0x1fff01, RcProtocol::Sanyo},
        {"sharp", "", 0x1a1f, RcProtocol::Sharp},
        {"pulse_distance", "", 0x0408, std::nullopt},
        {"nec", "", 0, RcProtocol::Nec},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.protocol) + " " + c.variant + " " + std::to_string(c.scancode));
        const std::optional<RcProtocol> p = KeymapEncoding(c.protocol, c.variant, c.scancode);
        EXPECT_EQ(p, c.encoding);
        if (!p) continue;
        std::vector<CodeFileFrame> frames;
        for (RcFrame& f : EncodeRc(*p, c.scancode, false, 2)) frames.push_back({f.period, f.durations});
        const std::optional<RcReading> reading = ReadingOf(frames);
        ASSERT_TRUE(reading.has_value());
        EXPECT_EQ(reading->protocol, *p);
        EXPECT_EQ(reading->scancode, c.scancode);
    }
}

TEST(Keymap, BadKeymapsNameTheLine) {
    const std::string head = "[[protocols]]\nname = \"t\"\nprotocol = \"nec\"\n[protocols.scancodes]\n";
    const struct {
        std::string text;
        std::string error;  // empty: none
        std::string skip;   // empty: none
    } cases[] = {
        {"[[protocols]]\nname = \n", "line 2: not a TOML keymap: ", ""},
        {"[[protocols]]\nname = \"t\"\n", "line 1: a [[protocols]] table without 'protocol'", ""},
        // Characters outside ASCII where the TOML parser would ask whether
        // they are blanks (which it must never be asked), a private-use
        // character, and all of them where they belong: in strings and
        // comments, also after a line-ending backslash.
        {"[[protocols]]\n\xC2\xA1 = 1\n", "line 2: not a TOML keymap: ", ""},
        {"[[protocols]]\nname = 5\"\xD1\x97\"\n", "line 2: not a TOML keymap: ", ""},
        {"[[protocols]]\nname = \"\xEE\x80\x80\"\n", "line 2: not a TOML keymap: a private-use character", ""},
        {"[[protocols]]\nname = \"\"\"\\\n \xE3\x80\x80K\xC3\xBC" "che \\\" '\xEF\xB9\x90\"\"\" # J\xC3\xBCrgen's\n"
         "protocol = '''nec\xC3\xA9'''''\n",
         "", "line 1: protocols table '\xE3\x80\x80K\xC3\xBC" "che \" '\xEF\xB9\x90': no encoder here for the protocol 'nec\xC3\xA9'''"},
        {"[[protocols]]\nprotocol = 5\n", "line 2: 'protocol' is not a string", ""},
        {"[[protocols]]\nprotocol = \"nec\"\nscancodes = 5\n", "line 3: 'scancodes' is not a table", ""},
        {"protocols = 5\n", "line 1: a keymap without a [[protocols]] table", ""},
        {head + "0x10 = \"KEY_A\"\nzz = \"KEY_B\"\n", "line 6: 'zz' is not a 32-bit scancode", ""},
        {head + "0x100000000 = \"KEY_A\"\n", "line 5: '0x100000000' is not a 32-bit scancode", ""},
        {head + "0x10 = 5\n", "line 5: the scancode '0x10' is not mapped to a key code", ""},
        {head + "0x10 = \"KEY_A\"\n16 = \"KEY_B\"\n", "", "line 6: key 'B': the scancode '16' is mapped already on line 5"},
        {head + "0x12ed08f7 = \"KEY_A\"\n", "", "line 5: key 'A': no nec frame is read as the scancode '0x12ed08f7'"},
        {"[[protocols]]\nname = \"dish\"\nprotocol = \"pulse_distance\"\n", "",
         "line 1: protocols table 'dish': no encoder here for the protocol 'pulse_distance'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CodeFileCollector r;
        ReadKeymap(c.text, r);
        if (c.error.empty()) {
            EXPECT_TRUE(r.errors.empty()) << r.errors[0];
        } else {
            ASSERT_EQ(r.errors.size(), 1u);
            EXPECT_EQ(r.errors[0].substr(0, c.error.size()), c.error);
        }
        if (!c.skip.empty()) {
            ASSERT_EQ(r.skipped.size(), 1u);
            EXPECT_EQ(r.skipped[0], c.skip);
        }
    }
}

}  // namespace
}  // namespace tovanel
