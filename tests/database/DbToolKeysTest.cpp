// tovanel-db's unit and key commands: keys learnt from files of every
// input format, what is refused, and a refused write on both engines.
#include <gtest/gtest.h>

#include <sstream>

#include "DbTestSupport.h"
#include "database/CodeText.h"
#include "support/Files.h"
#include "support/Protocols.h"
#include "tools/db/DbTool.h"

namespace tovanel::test {
namespace {

struct ToolResult {
    int status;
    std::string out, err;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string CodeLine(const Durations& d, int32_t periodUs) {
    auto f = FrameOf(d);
    f->Period = periodUs;
    std::string text;
    FormatCodeText(*f, text);
    return text + "\n";
}

class DbToolKeys : public EngineTest {
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
    static std::string Sample(const char* name) { return std::string(TOVANEL_SOURCE_DIR "/samples/") + name; }
    TempDir dir;
};
TOVANEL_BOTH_ENGINES(DbToolKeys);

TEST_P(DbToolKeys, AddKeyLearnsTheFirstKeyPressOfAFileOfAnyFormat) {
    const int32_t tv = Db().AddUnit(QStringLiteral("TV"));
    // A unit whose generic layout reads 8 address bits after the header.
    const int32_t fan = Db().AddUnit(QStringLiteral("Fan"));
    Db().Exec(QStringLiteral("UPDATE \"tblUnits\" SET \"AdrStart\" = 1, \"AdrBits\" = 8 WHERE \"ID\" = %1").arg(fan));
    const PulseDistanceTiming fanTiming{3000, 1000, 500, 500, 1500};
    auto line = [](const Durations& d) {
        std::string s;
        for (int32_t v : d) s += std::to_string(v) + " ";
        return s + "\n";
    };
    struct Case {
        int32_t unit;
        std::string file;
        const char* input;
        const char* expected;  // in the printed key
    };
    const Case cases[] = {
        {tv, Sample("nec-burst.txt"), "durations", "\"adr_text\":\"0xFB04\",\"cmd_text\":\"0x08\",\"frames\":4"},
        {tv, Sample("nec-burst.mode2"), "mode2", "\"adr_text\":\"0xFB04\",\"cmd_text\":\"0x08\""},
        {tv, Sample("nec-burst.wav"), "wav", "\"adr_text\":\"0xFB04\",\"cmd_text\":\"0x08\""},
        {tv,
         dir.File("keys.codetext", CodeLine(Distort(NecFrame(0x04, 0x08)), 0) +
                                       CodeLine(Distort({9000, 2250, 560}), 108000) + "\n" +
                                       CodeLine(Distort(NecFrame(0x04, 0x09)), 0)),
         "codetext", "\"cmd_text\":\"0x08\",\"frames\":2"},
        // Two key presses: only the first is stored.
        {tv, dir.File("two.txt", line(Distort(NecFrame(1, 0x31))) + "\n" + line(Distort(NecFrame(1, 0x32)))),
         "durations", "\"cmd_text\":\"0x31\",\"frames\":1"},
        {fan, dir.File("fan.txt", line(PulseDistance(fanTiming, BitsOf(0xA5, 8, false)))), "durations",
         "\"adr_text\":\"0x00A5\""},
    };
    for (const Case& k : cases) {
        const ToolResult r = On({"add-key", std::to_string(k.unit), "Key 'x'", k.file, "--input", k.input});
        EXPECT_EQ(r.status, 0) << k.file << ": " << r.err;
        EXPECT_TRUE(Has(r.out, k.expected)) << k.file << ": " << r.out;
        EXPECT_TRUE(Has(r.out, "\"name\":\"Key 'x'\"")) << r.out;
    }
}

TEST_P(DbToolKeys, WhatCannotBeStoredChangesNothing) {
    const int32_t tv = Db().AddUnit(QStringLiteral("TV"));
    const int32_t key = Db().AddKey(tv, QStringLiteral("Power"));
    const std::string unit = std::to_string(tv), id = std::to_string(key);
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* err;
    };
    const Case cases[] = {
        {{"add-key", unit, "K", dir.File("flat.txt", "500 500 500\n")}, 2, "Record correct key codes"},
        {{"update-key", id, dir.File("flat2.txt", "500 500 500\n")}, 2, "Record correct key codes"},
        {{"add-key", unit, "K", dir.File("bad.txt", "9000 x\n")}, 2, "bad.txt: line 1:"},
        {{"add-key", unit, "K", (dir.path / "vanished.txt").string()}, 2, "cannot open"},
        {{"add-key", unit, "K", dir.File("empty.txt", "# nothing\n")}, 2, "holds no IR frame"},
        {{"add-key", unit, "K", Sample("nec-burst.wav"), "--input", "flac"}, 2, "unknown input format 'flac'"},
        {{"add-key", "Nobody", "K", Sample("nec-burst.txt")}, 1, "no unit named 'Nobody'"},
        {{"update-key", "999", Sample("nec-burst.txt")}, 1, "no key with ID 999"},
        {{"delete-unit", "999"}, 1, "no unit with ID 999"},
        {{"rename-key", id, std::string(65, 'n')}, 1, ""},
    };
    const QStringList before = Db().AllRows();
    for (const Case& k : cases) {
        const ToolResult r = On(k.args);
        EXPECT_EQ(r.status, k.status) << k.args[0] << " " << k.args.back() << ": " << r.err;
        EXPECT_TRUE(Has(r.err, k.err)) << r.err;
        EXPECT_EQ(Db().AllRows(), before) << k.args[0];
    }
}

TEST_P(DbToolKeys, RenameUpdateDuplicateAndDeleteThroughTheCommands) {
    ToolResult r = On({"add-unit", "Hi-Fi \"\u00e9t\u00e9\""});
    ASSERT_EQ(r.status, 0) << r.err;
    r = On({"add-key", "Hi-Fi \"\u00e9t\u00e9\"", "Play", Sample("nec-burst.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string key = std::to_string(Db().Scalar(QStringLiteral("SELECT MAX(\"ID\") FROM \"tblCodes\"")).toInt());
    r = On({"rename-key", key, "\u518d\u751f", "--format", "text"});
    EXPECT_TRUE(Has(r.out, key + "\t\u518d\u751f\t0\t0xFB04\t0x08\t4")) << r.out;
    r = On({"update-key", key, Sample("rc5-burst.txt")});
    EXPECT_TRUE(Has(r.out, "\"name\":\"\u518d\u751f\"")) << r.out;
    EXPECT_FALSE(Has(r.out, "\"cmd_text\":\"0x08\"")) << r.out;

    r = On({"duplicate-unit", "1", "--format", "text"});
    EXPECT_TRUE(Has(r.out, "\"Hi-Fi \"\u00e9t\u00e9\" (copy)\" with 1 keys")) << r.out << r.err;
    // A refused key row: the error's text, status 1, no half-deleted unit.
    Db().FailWrites("tblCodes", "DELETE", QStringLiteral("1 = 1"));
    const QStringList before = Db().AllRows();
    r = On({"delete-unit", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "injected failure")) << r.err;
    EXPECT_EQ(Db().AllRows(), before);
}

}  // namespace
}  // namespace tovanel::test
