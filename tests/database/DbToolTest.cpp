// tovanel-db: creating databases, listing, showing and recomputing keys,
// and its errors, on both engines where a database is involved.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include <QFile>
#include <QFileInfo>

#include "DbTestSupport.h"
#include "database/CodeText.h"
#include "support/Files.h"
#include "support/Protocols.h"
#include "database/KeyCodes.h"
#include "tools/analyze/AnalyzeTool.h"
#include "tools/analyze/FrameReport.h"
#include "tools/db/DbTool.h"

namespace tovanel {
namespace {

struct ToolRun {
    int status;
    std::vector<std::string> lines;
    std::string err;
};

ToolRun Tool(std::vector<std::string> args) {
    std::ostringstream out, err;
    ToolRun r;
    r.status = DbMain(args, out, err);
    r.lines = test::SplitLines(out.str());
    r.err = err.str();
    return r;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class DbTool : public test::EngineTest {
protected:
    ToolRun On(std::vector<std::string> args) {
        args.insert(args.begin(), {"--connection", Db().ConnectionString().toStdString()});
        return Tool(args);
    }
};
TOVANEL_BOTH_ENGINES(DbTool);

TEST_P(DbTool, ListsShowsAndRecomputesKeys) {
    const int32_t tv = Db().AddUnit(QStringLiteral("TV \"big\"\tone"), 0, 1);
    Db().AddUnit(QStringLiteral("Twin"));
    Db().AddUnit(QStringLiteral("Twin"));
    auto text = [](int32_t period, const test::Durations& d) {
        auto f = test::FrameOf(d);
        f->Period = period;
        std::string s;
        FormatCodeText(*f, s);
        return QString::fromStdString(s);
    };
    const QString code1 = text(0, test::Distort(test::NecFrame(0x04, 0x08)));
    const QString code2 = text(108000, test::Distort({9000, 2250, 560}));
    const int32_t power = Db().AddKey(tv, QStringLiteral("Power"), 99, 255, 5, code1, code2);
    Db().AddKey(tv, QStringLiteral("Mute"), 1, 2, 3, code1);

    ToolRun r = On({"list", "units"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_TRUE(Has(r.lines[0], "\"name\":\"TV \\\"big\\\"\\u0009one\"")) << r.lines[0];
    EXPECT_TRUE(Has(r.lines[0], "\"modulation\":1,\"carrier\":\"38\",\"keys\":2")) << r.lines[0];
    r = On({"list", "units", "--format", "text"});
    ASSERT_EQ(r.lines.size(), 4u);
    EXPECT_EQ(r.lines[0], "ID\tName\tProtocol\tModulation\tCarrier\tKeys");
    EXPECT_EQ(r.lines[1], std::to_string(tv) + "\tTV \"big\"\\tone\t0\t1\t38\t2");

    r = On({"list", "keys", std::to_string(tv), "--format", "text"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 3u);
    // The last column is the kernel's reading of the stored frames.
    EXPECT_TRUE(Has(r.lines[1], "\tMute\t1\t0x0002\t0x03\t1\tnec 0x0408")) << r.lines[1];
    EXPECT_TRUE(Has(r.lines[2], "\tPower\t99\t0x00FF\t0x05\t2\tnec 0x0408")) << r.lines[2];
    r = On({"list", "keys", "TV \"big\"\tone", "--order", "code"});
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_TRUE(Has(r.lines[0], "\"name\":\"Mute\""));
    EXPECT_TRUE(Has(r.lines[0], "\"frames\":1,\"rc_protocol\":\"nec\",\"rc_scancode\":1032,\"rc_toggle\":null}"))
        << r.lines[0];

    // show prints the key's frames as the analyser's report does.
    r = On({"show", std::to_string(power)});
    ASSERT_EQ(r.status, 0) << r.err;
    auto buffer = std::make_unique<FrameBuffer>();
    const std::u16string c1(reinterpret_cast<const char16_t*>(code1.utf16()), static_cast<size_t>(code1.size()));
    const std::u16string c2(reinterpret_cast<const char16_t*>(code2.utf16()), static_cast<size_t>(code2.size()));
    const auto decoded = LoadCodeTextsIntoBuffer({c1, c2, u"", u""}, 1, 0, DecodeSettings{}, *buffer);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0], FrameJson(buffer->Slots[0], decoded[0], RcReading{RcProtocol::Nec, 0x0408, {}}));
    // The repeat code repeats the first frame's scancode.
    EXPECT_EQ(r.lines[1], FrameJson(buffer->Slots[1], decoded[1], RcReading{RcProtocol::Nec, 0x0408, {}}));
    r = On({"show", std::to_string(power), "--format", "text"});
    ASSERT_GE(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[0], "Unit \"TV \"big\"\tone\", key \"Power\"");

    r = On({"recompute", std::to_string(tv), "--format", "text"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.lines, std::vector<std::string>{"Recomputed 2 keys of unit \"TV \"big\"\tone\""});
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT \"Mode\" FROM \"tblCodes\" WHERE \"ID\" = %1").arg(power)).toInt(),
              buffer->Slots[0].Mode);
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT \"Adr\" FROM \"tblCodes\" WHERE \"ID\" = %1").arg(power)).toInt(),
              static_cast<int32_t>(buffer->Slots[0].Adr));

    // Units and keys that are not there, or not one.
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const std::string longKey = "not '" + std::string(40, 'K') + "...'\n";  // quoted with 40 characters
    const Case failures[] = {{{"list", "keys", "Nothing"}, "no unit named 'Nothing'"},
                             {{"list", "keys", "999999"}, "no unit with ID 999999"},
                             {{"recompute", "Twin"}, "several units are named 'Twin'"},
                             {{"show", "Power"}, "given by its ID"},
                             {{"show", "999999"}, "no key with ID 999999"},
                             {{"show", std::string(100, 'K')}, longKey.c_str()}};
    for (const Case& c : failures) {
        r = On(c.args);
        EXPECT_EQ(r.status, 1) << c.says;
        EXPECT_TRUE(Has(r.err, c.says)) << r.err;
    }
}

TEST_P(DbTool, ShowAndTheCommandLineAgreeOnAKey) {
    // The same code texts with the unit's forced values and layout print
    // the same from `show` and from `tovanel-analyze --input codetext`.
    auto text = [](int32_t period, const test::Durations& d) {
        auto f = test::FrameOf(d);
        f->Period = period;
        std::string s;
        EXPECT_TRUE(FormatCodeText(*f, s));
        return s;
    };
    const std::string nec = text(0, test::Distort(test::NecFrame(0x04, 0x08)));
    const std::string rcmm12 = text(0, test::RcmmFrame({1, 2, 0, 1, 0, 2}));  // 15 durations
    const std::string repeat = text(108, {9000, 2250, 560});
    const std::vector<std::string> layout = {"--adr-start", "1", "--adr-bits", "8", "--adr-lsb-first"};
    struct Case {
        int protocol, modulation;
        std::vector<std::string> forced;  // the same on the command line
    } cases[] = {
        {0, 0, {}},
        {3, 1, {"--protocol", "NEC", "--modulation", "1"}},
        {9, 1, {"--protocol", "rc-mm", "--modulation", "pulse distance"}},
        {0, 3, {"--modulation", "3"}},
    };
    for (const Case& c : cases) {
        const int32_t unit = Db().AddUnit(QStringLiteral("U%1/%2").arg(c.protocol).arg(c.modulation), c.protocol,
                                          c.modulation);
        Db().Exec(QStringLiteral("UPDATE \"tblUnits\" SET \"AdrStart\" = 1, \"AdrBits\" = 8, \"AdrOrder\" = %1 "
                                 "WHERE \"ID\" = %2")
                      .arg(GetParam() == Engine::Sqlite ? "1" : "TRUE")
                      .arg(unit));
        for (const std::string& first : {nec, rcmm12}) {
            const int32_t key = Db().AddKey(unit, QStringLiteral("k"), 0, 0, 0, QString::fromStdString(first),
                                            QString::fromStdString(repeat));
            const ToolRun shown = On({"show", std::to_string(key)});
            ASSERT_EQ(shown.status, 0) << shown.err;
            std::vector<std::string> args = {"--input", "codetext"};
            args.insert(args.end(), layout.begin(), layout.end());
            args.insert(args.end(), c.forced.begin(), c.forced.end());
            std::istringstream in(first + "\n" + repeat + "\n");
            std::ostringstream out, err;
            EXPECT_EQ(AnalyzeMain(args, in, out, err), 0) << err.str();
            EXPECT_EQ(shown.lines, test::SplitLines(out.str())) << c.protocol << "/" << c.modulation;
        }
    }

    // A stored protocol above 19, which the command line refuses, reads
    // generically by the unit's layout.
    const int32_t odd = Db().AddUnit(QStringLiteral("Odd"), 25, 1);
    Db().Exec(QStringLiteral("UPDATE \"tblUnits\" SET \"AdrStart\" = 1, \"AdrBits\" = 8, \"AdrOrder\" = %1 "
                             "WHERE \"ID\" = %2")
                  .arg(GetParam() == Engine::Sqlite ? "1" : "TRUE")
                  .arg(odd));
    const int32_t key = Db().AddKey(odd, QStringLiteral("k"), 0, 0, 0, QString::fromStdString(nec));
    const ToolRun shown = On({"show", std::to_string(key)});
    ASSERT_EQ(shown.lines.size(), 1u) << shown.err;
    EXPECT_TRUE(Has(shown.lines[0], "\"decoded\":true,\"modulation\":1,\"modulation_name\":\"Pulse distance\","
                                    "\"protocol\":25,\"protocol_name\":\"(Unknown)\"")) << shown.lines[0];
    EXPECT_TRUE(Has(shown.lines[0], "\"adr_order\":true,\"adr_start\":2,\"adr_bits\":8,\"adr\":4,")) << shown.lines[0];
    ASSERT_EQ(On({"recompute", std::to_string(odd)}).status, 0);
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT \"Adr\" FROM \"tblCodes\" WHERE \"ID\" = %1").arg(key)).toInt(), 4);
}

TEST_P(DbTool, CreatesTheSchemaAndTheDemoUnitsOnce) {
    // The fixture's database has the schema already.
    ToolRun r = On({"create"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "has a table tblUnits already")) << r.err;

    test::TestDatabase empty(GetParam(), false);
    r = Tool({"create", "--sample", "--connection", empty.ConnectionString().toStdString()});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Tool({"--connection", empty.ConnectionString().toStdString(), "list", "units"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GE(r.lines.size(), 4u);
    // Every demo key shows frames the analyser finds a modulation in.
    r = Tool({"--connection", empty.ConnectionString().toStdString(), "list", "keys", "Video recorder"});
    ASSERT_FALSE(r.lines.empty());
    const std::string firstKey = r.lines[0].substr(6, r.lines[0].find(',') - 6);
    r = Tool({"--connection", empty.ConnectionString().toStdString(), "show", firstKey});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.lines.empty());
    for (const std::string& line : r.lines) EXPECT_FALSE(Has(line, "\"modulation\":0,")) << line;
}

TEST(DbToolFiles, CreatesSqliteFilesAndUsesTheConfiguredDatabase) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("codes.db")).toStdString();
    ToolRun r = Tool({"create", "--sample", path, "--format", "text"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.lines.at(0), "demo units")) << r.lines[0];
    // Never over an existing file.
    const qint64 size = QFileInfo(QString::fromStdString(path)).size();
    r = Tool({"create", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "exists already")) << r.err;
    EXPECT_EQ(QFileInfo(QString::fromStdString(path)).size(), size);
    r = Tool({"create", dir.filePath(QStringLiteral("no/such/folder/x.db")).toStdString()});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("no/such/folder/x.db"))));

    // Without --connection: the settings file's DB, here a data-link file.
    const QString ini = dir.filePath(QStringLiteral("tovanel.ini"));
    const QString dsn = dir.filePath(QStringLiteral("codes.dsn"));
    QFile f(dsn);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Driver=QSQLITE;Database=codes.db\n");
    f.close();
    QFile i(ini);
    ASSERT_TRUE(i.open(QIODevice::WriteOnly));
    i.write(("[Setup]\nDB=FILE NAME=" + dsn.toStdString() + "\n").c_str());
    i.close();
    const QByteArray old = qgetenv("TOVANEL_INI");
    qputenv("TOVANEL_INI", ini.toUtf8());
    r = Tool({"list", "units"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.lines.size(), 5u);
    QFile::remove(QString::fromStdString(path));
    r = Tool({"list", "units"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "Error open data base: Check up 'DB=' in file " + ini.toStdString())) << r.err;
    if (old.isNull())
        qunsetenv("TOVANEL_INI");
    else
        qputenv("TOVANEL_INI", old);

    r = Tool({"--connection", "Driver=QSQLITE;Database=" + path, "list", "units"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "does not exist")) << r.err;
}

TEST(DbToolFiles, UsageErrorsExitWithTwo) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"frobnicate"}, {"list"}, {"list", "keys"}, {"show"}, {"--format", "xml", "list", "units"},
          {"--connection"}, {"--bogus"}, {"create"}}) {
        const ToolRun r = Tool(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_TRUE(Has(r.err, "Usage: tovanel-db")) << r.err;
    }
    const ToolRun help = Tool({"--help"});
    EXPECT_EQ(help.status, 0);
    // The installed program runs the same.
    const std::string exe = std::string(TOVANEL_BINARY_DIR) + "/tovanel-db";
    EXPECT_EQ(std::system((exe + " --help >/dev/null").c_str()), 0);
    const int bad = std::system((exe + " frobnicate 2>/dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(bad) && WEXITSTATUS(bad) == 2);
}

}  // namespace
}  // namespace tovanel
