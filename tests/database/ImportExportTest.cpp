// tovanel-db import and export on both engines: what a file of each format
// becomes, what the report says, what bad files leave (nothing), and that
// an exported unit reads back and plays through LIRC's irsimsend as stored.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "DbTestSupport.h"
#include "database/CodeText.h"
#include "database/formats/CodeFile.h"
#include "support/Files.h"
#include "support/Frames.h"
#include "tests/database/formats/FormatsSupport.h"
#include "tools/db/DbTool.h"

namespace tovanel::test {
namespace {

struct ToolResult {
    int status;
    std::string out, err;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Line(const Durations& d, const char* sep = " ") {
    std::string s;
    for (int32_t v : d) s += std::to_string(v) + sep;
    return s;
}

std::string Mode2(const Durations& d) {
    std::string s;
    for (size_t k = 0; k < d.size(); ++k) s += (k % 2 == 0 ? "pulse " : "space ") + std::to_string(d[k]) + "\n";
    return s;
}

// A key's durations as a receiver hears them: the frames joined by their gaps.
std::vector<int32_t> Joined(const std::vector<CodeFileFrame>& frames) {
    std::vector<int32_t> d;
    int64_t length = 0;
    for (const CodeFileFrame& f : frames) {
        if (!d.empty()) d.push_back(static_cast<int32_t>(f.period - length));
        length = 0;
        for (int32_t v : f.durations) length += v;
        d.insert(d.end(), f.durations.begin(), f.durations.end());
    }
    return d;
}

class ImportExport : public EngineTest {
protected:
    ToolResult On(std::vector<std::string> args) {
        args.insert(args.begin(), {"--connection", Db().ConnectionString().toStdString()});
        std::ostringstream out, err;
        ToolResult r;
        r.status = DbMain(args, out, err);
        r.out = out.str();
        r.err = err.str();
        return r;
    }
    QString Key(const char* unit, const char* key, const char* column) {
        return Db()
            .Scalar(QStringLiteral("SELECT c.\"%1\" FROM \"tblCodes\" c JOIN \"tblUnits\" u ON u.\"ID\" = c.\"UnitID\" "
                                   "WHERE u.\"Name\" = '%2' AND c.\"Name\" = '%3'")
                        .arg(column, unit, key))
            .toString();
    }
    QString Unit(const char* unit, const char* column) {
        return Db()
            .Scalar(QStringLiteral("SELECT \"%1\" FROM \"tblUnits\" WHERE \"Name\" = '%2'").arg(column, unit))
            .toString();
    }
    TempDir dir;
};
TOVANEL_BOTH_ENGINES(ImportExport);

TEST_P(ImportExport, EachFormatBecomesAUnitWhoseKeysCarryTheAnalysersValues) {
    const Durations nec = NecFrame(0x04, 0x08);  // the analyser: address 0xFB04 (with its check byte), command 0x08
    const std::string ir =
        "Filetype: IR signals file\nVersion: 1\n#\nname: Raw\ntype: raw\nfrequency: 36000\nduty_cycle: 0.33\n"
        "data: " + Line(nec) + "\n#\nname: Parsed\ntype: parsed\nprotocol: NEC\naddress: 04 00 00 00\n"
        "command: 08 00 00 00\n";
    const struct {
        std::string file;
        const char* unit;
        const char* carrier;
        const char* key;
        int keys;
    } cases[] = {
        {FormatsData("nec.lircd.conf"), "NEC_TV", "38", "KEY_POWER", 2},
        {dir.File("handheld.ir", ir), "handheld", "36", "Raw", 2},
        {dir.File("handheld.ir", ir), "handheld", "36", "Parsed", 2},
        {dir.File("pronto.txt", "Power: 0000 006D 0022 0000 " + [&] {
             std::string words;
             char w[8];
             for (int32_t v : nec) {
                 std::snprintf(w, sizeof w, "%04X ", static_cast<unsigned>(std::lround(v / 26.3)));
                 words += w;
             }
             return words + "0F00\n";
         }()),
         "pronto", "38", "Power", 1},
        {dir.File("capture.mode2", "# name: Power\n" + Mode2(nec) + "space 99999\n"), "capture", "38",
         "Power", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " " + c.key);
        db_ = std::make_unique<TestDatabase>(GetParam());
        const ToolResult r = On({"import", c.file, "--format", "text"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Has(r.out, "Imported " + std::to_string(c.keys) + " keys")) << r.out;
        EXPECT_EQ(Unit(c.unit, "Carrier"), c.carrier);
        EXPECT_EQ(Key(c.unit, c.key, "Adr").toInt(), 0xFB04);
        EXPECT_EQ(Key(c.unit, c.key, "Cmd").toInt(), 0x08);
        EXPECT_FALSE(Key(c.unit, c.key, "Code1").isEmpty());
    }
}

TEST_P(ImportExport, TheReportNamesWhatIsSkippedAndWhatIsNotDecoded) {
    Durations tooLong;
    for (int k = 0; k < 201; ++k) tooLong.push_back(k % 2 == 0 ? 600 : 400 + 10 * k);
    const std::string file =
        dir.File("mixed.txt", "# name: Power\n" + Line(NecFrame(0x04, 0x08)) + "\n\n# name: Long\n" +
                                  Line(tooLong) + "\n\n# name: Odd\n1000 3000 7000 200 5000 1500 300\n");
    ToolResult r = On({"import", file, "--unit", "My TV", "--format", "text"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "into the unit \"My TV\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "1 of them the analyser cannot decode")) << r.out;
    EXPECT_TRUE(Has(r.out, "line 5: key 'Long': frame 1 has 201 durations; a stored frame holds at most 126"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "\"Odd\": (not detected), mode 0, address 0x0000, command 0x00 (not decoded")) << r.out;
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblCodes\"")).toInt(), 2);
    EXPECT_TRUE(Key("My TV", "Long", "ID").isEmpty());

    // One name for a file of two units is refused, and nothing is stored.
    const std::string two = test::TempDir::ReadFile(FormatsData("nec.lircd.conf")) +
                            test::TempDir::ReadFile(FormatsData("rc5.lircd.conf"));
    const QStringList before = Db().AllRows();
    r = On({"import", dir.File("two.conf", two), "--unit", "X"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "a second unit (RC5_VCR)")) << r.err;
    EXPECT_EQ(Db().AllRows(), before);
}

TEST_P(ImportExport, ABadFileIsNamedWithItsLineAndNothingIsStored) {
    const std::string necConf = test::TempDir::ReadFile(FormatsData("nec.lircd.conf"));
    const struct {
        const char* name;
        std::string content;
        const char* says;
    } cases[] = {
        {"words.txt", "hello world\n", "words.txt: line 1: not a code file"},
        {"junk.bin", std::string("\x7f" "ELF\x02\x01\0\0\xff\xfe", 10), "junk.bin: line 1: not a code file"},
        {"empty.conf", "", "the file is empty"},
        // Two remotes, the second cut off: the first is not stored either.
        {"cut.conf", necConf + "begin remote\n  name B\n  bits 8\n", "cut.conf: line 23: the file ends inside"},
        {"length.txt", "0000 006D 0002 0000 0157 00AC\n", "length.txt: line 1: the length words say"},
        {"zero.txt", "9000 0 560\n", "zero.txt: line 1"},
        {"long.mode2", "pulse 9000\nspace 4500\npulse 20000000\n", "long.mode2: line 3"},
    };
    const QStringList before = Db().AllRows();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolResult r = On({"import", dir.File(c.name, c.content)});
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(Has(r.err, c.says)) << r.err;
        EXPECT_TRUE(Has(r.err, std::string("nothing was imported from ") + (dir.path / c.name).string())) << r.err;
        EXPECT_EQ(Db().AllRows(), before);
    }
    EXPECT_EQ(On({"import", (dir.path / "missing.conf").string()}).status, 2);
}

TEST_P(ImportExport, AnExportedUnitReadsBackAndPlaysThroughIrsimsendAsStored) {
    ASSERT_EQ(On({"import", FormatsData("nec.lircd.conf")}).status, 0);
    // What the database holds of KEY_1, read through the durations format's reader.
    const ToolResult stored = On({"export", "NEC_TV", "--format", "mode2"});
    ASSERT_EQ(stored.status, 0) << stored.err;
    const CodeFileCollector mode2 = ReadText(stored.out);
    ASSERT_EQ(mode2.units.size(), 1u);
    ASSERT_EQ(mode2.units[0].keys.size(), 2u);
    EXPECT_EQ(mode2.units[0].keys[0].name, "KEY_1");
    const std::vector<int32_t> key1 = Joined(mode2.units[0].keys[0].frames);

    for (const char* format : {"lircd", "pronto", "ir"}) {
        SCOPED_TRACE(format);
        const std::string path = (dir.path / (std::string("out.") + format)).string();
        const ToolResult r = On({"export", "NEC_TV", "--format", format, "-o", path});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Has(r.out, "Exported 2 keys of the unit \"NEC_TV\"")) << r.out;
        const CodeFileCollector back = ReadText(TempDir::ReadFile(path));
        ASSERT_EQ(back.units.size(), 1u);
        EXPECT_NEAR(back.units[0].unit.carrierHz, 38000, 100);  // Pronto: a whole number of 0.241 µs
        ASSERT_EQ(back.units[0].keys.size(), 2u);
        // Pronto counts in carrier periods: within one period.
        const std::vector<int32_t> again = Joined(back.units[0].keys[0].frames);
        ASSERT_EQ(again.size(), key1.size());
        for (size_t k = 0; k < key1.size(); ++k) EXPECT_NEAR(again[k], key1[k], 27) << k;
    }
    ASSERT_TRUE(HaveProgram("irsimsend")) << "irsimsend (Debian package lirc) is needed";
    const std::vector<int32_t> sent = IrSimSend((dir.path / "out.lircd").string(), "KEY_1", 1, dir);
    EXPECT_EQ(sent, key1);

    const ToolResult csv = On({"export", "NEC_TV", "--format", "csv"});
    ASSERT_EQ(csv.status, 0);
    EXPECT_TRUE(Has(csv.out, "\"unit\",\"key\",\"protocol\",\"mode\",\"address\",\"command\",\"code1\"")) << csv.out;
    EXPECT_TRUE(Has(csv.out, "\"NEC_TV\",\"KEY_POWER\",\"NEC\",\"0\",\"0xFB04\",\"0x08\",")) << csv.out;

    EXPECT_EQ(On({"export", "NEC_TV", "--format", "durations"}).status, 2);  // read, not written
    EXPECT_EQ(On({"export", "NEC_TV"}).status, 2);
    EXPECT_EQ(On({"export", "nobody", "--format", "lircd"}).status, 1);
    const std::string unwritable = (dir.path / "no" / "such" / "x.conf").string();
    const ToolResult r = On({"export", "NEC_TV", "--format", "lircd", "-o", unwritable});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "Cannot write " + unwritable)) << r.err;
}

// The scancodes of a keymap's lines with their key codes.
std::map<uint32_t, std::string> KeymapLines(const std::string& text) {
    std::map<uint32_t, std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const size_t quote = line.find('"');
        if (line.rfind("0x", 0) != 0 || quote == std::string::npos) continue;
        lines[static_cast<uint32_t>(std::stoul(line, nullptr, 16))] =
            line.substr(quote + 1, line.find('"', quote + 1) - quote - 1);
    }
    return lines;
}

// A keymap imports as a unit of keys whose stored frames export as the
// same keymap lines; a unit that no kernel protocol reads has no keymap.
TEST_P(ImportExport, AKeymapImportsAndExportsAsTheSameLines) {
    for (const char* name : {"rc6_mce", "reddo"}) {
        SCOPED_TRACE(name);
        const std::string original = TempDir::ReadFile(FormatsData("keymaps/" + std::string(name) + ".toml"));
        const ToolResult in = On({"import", FormatsData("keymaps/" + std::string(name) + ".toml")});
        ASSERT_EQ(in.status, 0) << in.err;
        const ToolResult out = On({"export", name, "--format", "keymap"});
        ASSERT_EQ(out.status, 0) << out.err;
        EXPECT_EQ(KeymapLines(out.out), KeymapLines(original)) << out.out;
        EXPECT_GT(KeymapLines(original).size(), 10u);
    }
    ASSERT_EQ(On({"import", dir.File("noise.txt", "3000 1000 500 700 500 700 500\n"), "--unit", "Noise"}).status, 0);
    const std::string path = (dir.path / "noise.toml").string();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"export", "Noise", "--format", "keymap"},
                                                 {"export", "Noise", "--format", "keymap", "-o", path}}) {
        const ToolResult r = On(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(Has(r.err, "No key of the unit \"Noise\" can be written as keymap")) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace tovanel::test
