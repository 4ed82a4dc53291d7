// Every change of many rows is all or nothing. Writes are refused half-way
// on purpose (a trigger that aborts at the n-th row, a full disk through a
// tiny page limit, a PostgreSQL backend that is terminated, a user who may
// only read) during recomputing a unit's keys, importing a code file and creating a database with
// and without the demo units, and the process is killed in the middle of a
// recompute: the database is as before (or, after a kill, wholly done) and
// the failure is reported.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

#include <QFile>
#include <QSqlError>
#include <QSqlRecord>

#include "DbTestSupport.h"
#include "database/CodeDatabase.h"
#include "database/CodeText.h"
#include "database/KeyCodes.h"
#include "support/Files.h"
#include "support/Frames.h"
#include "tools/db/DbTool.h"
#include "tools/db/SampleData.h"

extern char** environ;

namespace tovanel {
namespace {

using Clock = std::chrono::steady_clock;

// Every table of the database and every row of the program's three, in ID
// order: what "the database is as before" compares.
QString Snapshot(test::TestDatabase& t) {
    QString out;
    QSqlQuery q(t.Admin().Db());
    q.exec(t.engine() == Engine::Sqlite
               ? QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
                                "ORDER BY name")
               : QStringLiteral("SELECT table_name FROM information_schema.tables "
                                "WHERE table_schema = current_schema() ORDER BY table_name"));
    QStringList tables;
    while (q.next()) tables << q.value(0).toString();
    out += tables.join(u',') + u'\n';
    for (const char* table : {"tblUnits", "tblCodes", "tblTransmit"}) {
        if (!tables.contains(QString::fromLatin1(table))) continue;
        QSqlQuery rows(t.Admin().Db());
        EXPECT_TRUE(rows.exec(QStringLiteral("SELECT * FROM %1 ORDER BY \"ID\"").arg(QuoteIdentifier(table))));
        while (rows.next()) {
            for (int c = 0; c < rows.record().count(); ++c) out += rows.value(c).toString() + u'|';
            out += u'\n';
        }
    }
    return out;
}

struct ToolRun {
    int status;
    std::string err;
};
ToolRun Tool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = DbMain(args, out, err);
    return {status, err.str()};
}

QString NecText(uint32_t cmd) {
    auto f = test::FrameOf(test::Distort(test::NecFrame(0x04, cmd)));
    std::string s;
    FormatCodeText(*f, s);
    return QString::fromStdString(s);
}

class Faults : public test::EngineTest {
protected:
    bool Pg() const { return GetParam() == Engine::Postgres; }

    // A unit of `keys` NEC keys whose stored values are all 0.
    void Unit(int keys) {
        unit = Db().AddUnit(QStringLiteral("TV"));
        Db().Admin().Begin();
        for (int k = 0; k < keys; ++k) Db().AddKey(unit, QStringLiteral("k%1").arg(k), 0, 0, 0, NecText(k & 0xFF));
        Db().Admin().Commit();
    }

    // A trigger on tblCodes that runs `action` at the n-th row of `event`
    // (UPDATE, INSERT): an abort, or on PostgreSQL a backend terminating
    // itself. The row count lives in a table, so it goes back with a
    // rollback like everything else.
    void RowFault(const char* event, int n, const QString& action) {
        Db().Exec(QStringLiteral("CREATE TABLE \"faultCount\" (n INTEGER)"));
        Db().Exec(QStringLiteral("INSERT INTO \"faultCount\" VALUES (0)"));
        if (!Pg()) {
            Db().Exec(QStringLiteral("CREATE TRIGGER \"faultRow\" BEFORE %1 ON \"tblCodes\" BEGIN "
                                     "UPDATE \"faultCount\" SET n = n + 1; %2 WHERE (SELECT n FROM \"faultCount\") "
                                     ">= %3; END")
                          .arg(QString::fromLatin1(event), action)
                          .arg(n));
            return;
        }
        Db().Exec(QStringLiteral("CREATE FUNCTION \"faultRow\"() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                                 "UPDATE \"faultCount\" SET n = n + 1; "
                                 "IF (SELECT n FROM \"faultCount\") >= %1 THEN %2; END IF; RETURN NEW; END $$")
                      .arg(n)
                      .arg(action));
        Db().Exec(QStringLiteral("CREATE TRIGGER \"faultRow\" BEFORE %1 ON \"tblCodes\" FOR EACH ROW "
                                 "EXECUTE FUNCTION \"faultRow\"()")
                      .arg(QString::fromLatin1(event)));
    }
    static QString Abort() { return QStringLiteral("SELECT RAISE(ABORT, 'injected fault')"); }
    static QString PgAbort() { return QStringLiteral("RAISE EXCEPTION 'injected fault'"); }
    static QString PgTerminate() {
        return QStringLiteral("PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(10)");
    }

    std::string Cs() const { return Db().ConnectionString().toStdString(); }
    test::TestDatabase& Db() const { return *db_; }

    int32_t unit = 0;
};
TOVANEL_BOTH_ENGINES(Faults);

TEST_P(Faults, RecomputeRefusedHalfwayChangesNothing) {
    constexpr int Keys = 40;
    struct Case {
        const char* name;
        bool pg, sqlite;
        int row;
        std::function<QString()> action;
        const char* says;
    } cases[] = {
        {"abort at the first row", true, true, 1, [&] { return Pg() ? PgAbort() : Abort(); }, "injected fault"},
        {"abort half-way", true, true, Keys / 2, [&] { return Pg() ? PgAbort() : Abort(); }, "injected fault"},
        {"abort at the last row", true, true, Keys, [&] { return Pg() ? PgAbort() : Abort(); }, "injected fault"},
        {"backend terminated half-way", true, false, Keys / 2, PgTerminate, "terminating connection"},
    };
    for (const Case& c : cases) {
        if (!(Pg() ? c.pg : c.sqlite)) continue;
        db_ = std::make_unique<test::TestDatabase>(GetParam());
        Unit(Keys);
        RowFault("UPDATE", c.row, c.action());
        const QString before = Snapshot(Db());
        const ToolRun r = Tool({"--connection", Cs(), "recompute", "TV"});
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(Snapshot(Db()), before) << c.name;
        // Without the fault the same recompute goes through.
        Db().Exec(QStringLiteral("DROP TRIGGER \"faultRow\"") + (Pg() ? QStringLiteral(" ON \"tblCodes\"") : QString()));
        EXPECT_EQ(Tool({"--connection", Cs(), "recompute", "TV"}).status, 0) << c.name;
        EXPECT_NE(Snapshot(Db()), before) << c.name;
    }
}

// An import stores every key of the file or none: refused at its first,
// a middle and its last key, the database is as before.
TEST_P(Faults, AnImportRefusedHalfwayStoresNothing) {
    constexpr int Keys = 40;
    std::string conf =
        "begin remote\n  name BIG\n  bits 16\n  flags SPACE_ENC\n  header 9000 4500\n  one 560 1690\n"
        "  zero 560 560\n  ptrail 560\n  pre_data_bits 16\n  pre_data 0x20DF\n  gap 108000\n  begin codes\n";
    for (int k = 0; k < Keys; ++k) conf += "    KEY_" + std::to_string(k) + " 0x" + std::to_string(1000 + k) + "\n";
    conf += "  end codes\nend remote\n";
    const test::TempDir dir;
    const std::string file = dir.File("big.lircd.conf", conf);
    const struct {
        const char* name;
        bool pg, sqlite;
        int row;
        QString (*action)(bool pg);
        const char* says;
    } cases[] = {
        {"abort at the first key", true, true, 1, [](bool pg) { return pg ? PgAbort() : Abort(); }, "injected fault"},
        {"abort half-way", true, true, Keys / 2, [](bool pg) { return pg ? PgAbort() : Abort(); }, "injected fault"},
        {"abort at the last key", true, true, Keys, [](bool pg) { return pg ? PgAbort() : Abort(); },
         "injected fault"},
        {"backend terminated half-way", true, false, Keys / 2, [](bool) { return PgTerminate(); },
         "terminating connection"},
    };
    for (const auto& c : cases) {
        if (!(Pg() ? c.pg : c.sqlite)) continue;
        db_ = std::make_unique<test::TestDatabase>(GetParam());
        Unit(3);
        RowFault("INSERT", c.row, c.action(Pg()));
        const QString before = Snapshot(Db());
        const ToolRun r = Tool({"--connection", Cs(), "import", file});
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
        EXPECT_NE(r.err.find("nothing was imported"), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(Snapshot(Db()), before) << c.name;
        Db().Exec(QStringLiteral("DROP TRIGGER \"faultRow\"") +
                  (Pg() ? QStringLiteral(" ON \"tblCodes\"") : QString()));
        EXPECT_EQ(Tool({"--connection", Cs(), "import", file}).status, 0) << c.name;
        EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblCodes\"")).toInt(), 3 + Keys) << c.name;
    }
}

// SQLite: a full disk, through a page limit on the connection.
class SqliteFaults : public Faults {};
INSTANTIATE_TEST_SUITE_P(Engines, SqliteFaults, testing::Values(Engine::Sqlite), test::EngineName);

TEST_P(SqliteFaults, RecomputeOnAFullDiskChangesNothingAndTheViewShowsWhatIsStored) {
    Unit(200);
    const QString before = Snapshot(Db());
    CodeDatabase db;
    ASSERT_TRUE(db.Open(Db().ConnectionString(), QStringLiteral("tovanel.ini")).ok);
    // Not one page more: the values written take more room than the zeros.
    db.ADOConnection.Exec(QStringLiteral("PRAGMA max_page_count = %1")
                              .arg(Db().Scalar(QStringLiteral("PRAGMA page_count")).toInt()));
    try {
        RecomputeUnitKeys(db, DecodeSettings{});
        ADD_FAILURE() << "the recompute fitted";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.Text().contains(QStringLiteral("full"))) << e.Text().toStdString();
    }
    EXPECT_EQ(Snapshot(Db()), before);
    EXPECT_FALSE(db.ReloadGuard);
    for (int i = 0; i < db.ADOTableCodes2.RecordCount(); ++i) ASSERT_EQ(db.ADOTableCodes2.RowAt(i).Int("Adr"), 0);
}

TEST_P(SqliteFaults, ACreateThatFailsLeavesNoSchemaBehind) {
    // Every page limit from the empty file up: each create either fits
    // whole or leaves no table at all.
    int failures = 0, successes = 0;
    for (int limit = 1; limit <= 40; ++limit) {
        for (bool sample : {false, true}) {
            test::TestDatabase t(Engine::Sqlite, false);
            CodeDatabase db;
            ASSERT_TRUE(db.ADOConnection.Open(t.ConnectionString()));
            db.ADOConnection.Exec(QStringLiteral("PRAGMA max_page_count = %1").arg(limit));
            try {
                EXPECT_EQ(WriteNewDatabase(db, sample), sample ? 27 : 0);
                ++successes;
            } catch (const DbError& e) {
                ++failures;
                EXPECT_TRUE(e.Text().contains(QStringLiteral("full"))) << limit << ": " << e.Text().toStdString();
                EXPECT_EQ(Snapshot(t), "\n") << limit << (sample ? " with the demo units" : "");
            }
        }
    }
    EXPECT_GT(failures, 4);
    EXPECT_GT(successes, 4);
}

// PostgreSQL: the faults that need a superuser, who makes event triggers
// and roles. An event trigger puts triggers in place the moment the create
// makes its tables, so the create fails at the n-th row or table; event
// triggers are the database's, so this one looks at the test's own schema.
class PgFaults : public Faults {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) return;
        schema_ = Db().Scalar(QStringLiteral("SELECT current_schema()")).toString();
        if (!Db().Scalar(QStringLiteral("SELECT rolsuper FROM pg_roles WHERE rolname = current_user")).toBool())
            GTEST_SKIP() << "only a superuser makes event triggers and roles";
    }
    void TearDown() override {
        if (!schema_.isEmpty()) Db().Exec(QStringLiteral("DROP EVENT TRIGGER IF EXISTS %1").arg(EventTrigger()));
    }
    QString EventTrigger() const { return QStringLiteral("\"fault_%1\"").arg(schema_); }

    // When the create makes tblCodes: runs `onTable`, or with a row
    // `action` puts it on every `n`-th insert into tblCodes.
    void Inject(const QString& onTable, int n = 0, const QString& action = {}) {
        if (n > 0) {
            Db().Exec(QStringLiteral("CREATE TABLE \"faultCount\" (n INTEGER)"));
            Db().Exec(QStringLiteral("INSERT INTO \"faultCount\" VALUES (0)"));
            Db().Exec(QStringLiteral("CREATE FUNCTION \"faultRow\"() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                                     "UPDATE \"faultCount\" SET n = n + 1; "
                                     "IF (SELECT n FROM \"faultCount\") >= %1 THEN %2; END IF; RETURN NEW; END $$")
                          .arg(n)
                          .arg(action));
        }
        const QString install =
            n > 0 ? QStringLiteral("EXECUTE 'CREATE TRIGGER \"faultRow\" BEFORE INSERT ON %1.\"tblCodes\" FOR EACH "
                                   "ROW EXECUTE FUNCTION %1.\"faultRow\"()'")
                        .arg(schema_)
                  : onTable;
        Db().Exec(QStringLiteral("CREATE FUNCTION \"faultDdl\"() RETURNS event_trigger LANGUAGE plpgsql AS $$ BEGIN "
                                 "IF EXISTS (SELECT 1 FROM pg_event_trigger_ddl_commands() c "
                                 "WHERE c.object_identity = '%1.\"tblCodes\"') THEN %2; END IF; END $$")
                      .arg(schema_, install));
        Db().Exec(QStringLiteral("CREATE EVENT TRIGGER %1 ON ddl_command_end WHEN TAG IN ('CREATE TABLE') "
                                 "EXECUTE FUNCTION %2.\"faultDdl\"()")
                      .arg(EventTrigger(), schema_));
    }

    QString schema_;
};
INSTANTIATE_TEST_SUITE_P(Engines, PgFaults, testing::Values(Engine::Postgres), test::EngineName);

TEST_P(PgFaults, ACreateRefusedHalfwayLeavesTheDatabaseAsItWas) {
    struct Case {
        const char* name;
        bool sample;
        QString onTable;
        int row;
        QString action;
        const char* says;
    } cases[] = {
        {"schema: abort at the second table", false, QStringLiteral("RAISE EXCEPTION 'injected fault'"), 0, {},
         "injected fault"},
        {"schema: backend terminated at the second table", false,
         QStringLiteral("PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(10)"), 0, {},
         "terminating connection"},
        {"demo units: abort at the first key", true, {}, 1, QStringLiteral("RAISE EXCEPTION 'injected fault'"),
         "injected fault"},
        {"demo units: abort at the 20th key", true, {}, 20, QStringLiteral("RAISE EXCEPTION 'injected fault'"),
         "injected fault"},
        {"demo units: backend terminated at the 20th key", true, {}, 20,
         QStringLiteral("PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(10)"),
         "terminating connection"},
    };
    for (const Case& c : cases) {
        db_ = std::make_unique<test::TestDatabase>(Engine::Postgres, false);
        schema_ = Db().Scalar(QStringLiteral("SELECT current_schema()")).toString();
        Inject(c.onTable, c.row, c.action);
        const QString before = Snapshot(Db());
        std::vector<std::string> args{"--connection", Db().ConnectionString().toStdString(), "create"};
        if (c.sample) args.push_back("--sample");
        const ToolRun r = Tool(args);
        Db().Exec(QStringLiteral("DROP EVENT TRIGGER IF EXISTS %1").arg(EventTrigger()));
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(Snapshot(Db()), before) << c.name;
    }
}

// A user who may read but not write (SQLite's read-only files: AccessTest):
// the writes are refused at their first statement and nothing changes.
TEST_P(PgFaults, AUserWhoMayOnlyReadChangesNothing) {
    Unit(5);
    const QString schema = Db().Scalar(QStringLiteral("SELECT current_schema()")).toString();
    const QString role = QStringLiteral("reader_") + schema;
    Db().Exec(QStringLiteral("DROP ROLE IF EXISTS %1").arg(role));
    Db().Exec(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD 'reader'").arg(role));
    Db().Exec(QStringLiteral("GRANT USAGE ON SCHEMA %1 TO %2").arg(schema, role));
    Db().Exec(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA %1 TO %2").arg(schema, role));
    const std::string asReader = Cs() + ";User=" + role.toStdString() + ";Password=reader";
    const QString before = Snapshot(Db());
    EXPECT_EQ(Tool({"--connection", asReader, "list", "keys", "TV"}).status, 0);
    ToolRun r = Tool({"--connection", asReader, "recompute", "TV"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("permission denied for table tblCodes"), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(Db()), before);
    Db().Exec(QStringLiteral("DROP TABLE \"tblTransmit\", \"tblCodes\", \"tblUnits\""));
    const QString empty = Snapshot(Db());
    r = Tool({"--connection", asReader, "create", "--sample"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("permission denied for schema"), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(Db()), empty);
    Db().Exec(QStringLiteral("DROP OWNED BY %1").arg(role));
    Db().Exec(QStringLiteral("DROP ROLE %1").arg(role));
}

// tovanel-db recompute as a process of its own, killed with SIGKILL once
// its transaction has begun writing, at several moments: the keys keep
// their old values or all have their new ones, never some of each.
TEST_P(Faults, AProcessKilledMidRecomputeLeavesAllOrNothing) {
    constexpr int Keys = 3000;
    const std::string exe = std::string(TOVANEL_BINARY_DIR) + "/tovanel-db";
    int unchanged = 0;
    for (int delayMs : {0, 5, 20, 60}) {
        db_ = std::make_unique<test::TestDatabase>(GetParam());
        Unit(Keys);
        const std::string application = "tovanel-kill-" + std::to_string(::getpid());
        // Where the transaction shows that it writes: SQLite's rollback
        // journal, PostgreSQL's session of this name in a transaction.
        const QString journal = Db().Folder() + QStringLiteral("/test.db-journal");
        auto writing = [&] {
            if (!Pg()) return QFile::exists(journal);
            return Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE application_name = '%1' "
                                              "AND backend_xid IS NOT NULL")
                                   .arg(QString::fromStdString(application)))
                       .toInt() > 0;
        };
        std::vector<std::string> args{exe, "--connection", Cs(), "recompute", "TV"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env{"PGAPPNAME=" + application};
        for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);
        const auto until = Clock::now() + std::chrono::seconds(60);
        while (!writing() && Clock::now() < until) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = 0;  // done before it was seen writing
                break;
            }
        }
        if (pid != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (Pg()) {
            // The server ends the dead client's session (and its transaction).
            while (Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE application_name = '%1'")
                                   .arg(QString::fromStdString(application)))
                           .toInt() > 0 &&
                   Clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // Reading the file rolls a left-over journal back.
        const int zero = Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblCodes\" WHERE \"Adr\" = 0")).toInt();
        EXPECT_TRUE(zero == 0 || zero == Keys) << zero << " of " << Keys << " keys still hold their old values";
        if (zero == Keys) ++unchanged;
    }
    // At least one kill came while the transaction was open.
    EXPECT_GT(unchanged, 0);
    RecordProperty("killed_before_commit", unchanged);
}

}  // namespace
}  // namespace tovanel
