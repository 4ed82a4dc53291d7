// Connection strings, data-link files and the open step's failures.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "DbTestSupport.h"
#include "capture/Setup/AppPaths.h"
#include "database/CodeDatabase.h"

namespace tovanel {
namespace {

void WriteFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

TEST(ConnectionString, ReadsBothDriversWithQuotingAndAnyLetterCase) {
    ConnectionSettings s;
    QString error;
    ASSERT_TRUE(ResolveConnectionString(
        QStringLiteral(" driver = QPSQL ; HOST=db.local;port=6543;Database=codes;User=ir;"
                       "Password=\"a;b\"\"c\";schema='team'"),
        s, error))
        << error.toStdString();
    EXPECT_EQ(s.engine, Engine::Postgres);
    EXPECT_EQ(s.host, "db.local");
    EXPECT_EQ(s.port, 6543);
    EXPECT_EQ(s.database, "codes");
    EXPECT_EQ(s.user, "ir");
    EXPECT_EQ(s.password, "a;b\"c");
    EXPECT_EQ(s.schema, "team");
    // Written back and read again, nothing changes.
    ConnectionSettings again;
    ASSERT_TRUE(ResolveConnectionString(FormatConnectionString(s), again, error)) << error.toStdString();
    EXPECT_EQ(again.password, s.password);
    EXPECT_EQ(again.port, s.port);

    ASSERT_TRUE(ResolveConnectionString(QStringLiteral("Driver=QSQLITE;Database=/data/ir codes.db;"), s, error));
    EXPECT_EQ(s.engine, Engine::Sqlite);
    EXPECT_EQ(s.database, "/data/ir codes.db");
    ASSERT_TRUE(ResolveConnectionString(QStringLiteral("Driver=QSQLITE;Database=rel/x.db"), s, error));
    EXPECT_EQ(s.database, QDir::current().absoluteFilePath(QStringLiteral("rel/x.db")));
}

TEST(ConnectionString, RefusesWhatItCannotRead) {
    struct Case {
        const char* text;
        const char* says;
    };
    const Case cases[] = {
        {"", "no Driver"},
        {"nonsense", "not of the form key=value"},
        {"Driver=ODBC;Database=x", "unknown Driver 'ODBC'"},
        {"Driver=QSQLITE", "no Database"},
        {"Driver=QPSQL;Port=fifty", "not a port number"},
        {"Driver=QPSQL;Port=70000", "not a port number"},
        {"Driver=QPSQL;Password=\"open", "closing quote"},
        {"Driver=QPSQL;=x", "without a key"},
        {"FILE NAME=", "names no file"},
        {"FILE NAME=/dev/zero", "cannot read the data-link file /dev/zero: not a regular file"},
        {"FILE NAME=/", "cannot read the data-link file /: a folder"},
        // A bad token is quoted with its first 40 characters.
        {"Driver=QSQLITEQSQLITEQSQLITEQSQLITEQSQLITEQSQLITE", "Driver 'QSQLITEQSQLITEQSQLITEQSQLITEQSQLITEQSQLI...' ("},
    };
    for (const Case& c : cases) {
        ConnectionSettings s;
        QString error;
        EXPECT_FALSE(ResolveConnectionString(QString::fromUtf8(c.text), s, error)) << c.text;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.says))) << c.text << " -> " << error.toStdString();
    }
}

TEST(ConnectionString, DataLinkFilesNameTheDatabaseRelativeToThemselves) {
    QTemporaryDir dir;
    const QString dsn = dir.filePath(QStringLiteral("links/tovanel.dsn"));
    WriteFile(dsn, "\xEF\xBB\xBF[oledb]\n; the connection string follows\n\n# comment\n"
                   "Driver=QSQLITE;Database=../data/codes.db\n");
    ConnectionSettings s;
    QString error;
    ASSERT_TRUE(ResolveConnectionString(QStringLiteral("FILE NAME=") + dsn, s, error)) << error.toStdString();
    EXPECT_EQ(s.database, QDir::cleanPath(dir.filePath(QStringLiteral("data/codes.db"))));

    // Pairs beside FILE NAME override the file's.
    WriteFile(dsn, "Driver=QPSQL;Host=a;Database=x\n");
    ASSERT_TRUE(ResolveConnectionString(QStringLiteral("File Name=%1;Database=y").arg(dsn), s, error));
    EXPECT_EQ(s.host, "a");
    EXPECT_EQ(s.database, "y");

    WriteFile(dsn, "FILE NAME=other.dsn\n");
    EXPECT_FALSE(ResolveConnectionString(QStringLiteral("FILE NAME=") + dsn, s, error));
    EXPECT_TRUE(error.contains(QStringLiteral("another data-link file")));
    WriteFile(dsn, "\n# nothing\n");
    EXPECT_FALSE(ResolveConnectionString(QStringLiteral("FILE NAME=") + dsn, s, error));
    EXPECT_TRUE(error.contains(QStringLiteral("holds no connection string")));
    EXPECT_FALSE(ResolveConnectionString(QStringLiteral("FILE NAME=") + dsn + QStringLiteral(".missing"), s, error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot read the data-link file")));
}

TEST(ConnectionString, DefaultsToTheDataLinkFileBesideTheProgram) {
    const QString expected = QStringLiteral("FILE NAME=") + QString::fromStdString(ExecutableDir()) +
                             QStringLiteral("/tovanel.dsn");
    EXPECT_EQ(DefaultConnectionString(), expected);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("tovanel.ini"));
    EXPECT_EQ(ConfiguredConnectionString(ini.toStdString()), expected);  // no file
    WriteFile(ini, "[Setup]\nSource=2\n");
    EXPECT_EQ(ConfiguredConnectionString(ini.toStdString()), expected);  // no DB key
    WriteFile(ini, "[setup]\ndb=Driver=QSQLITE;Database=/x.db\n");
    EXPECT_EQ(ConfiguredConnectionString(ini.toStdString()), "Driver=QSQLITE;Database=/x.db");
}

TEST(OpenStep, AMissingOrUnreadableDatabaseNamesTheSettingsFile) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.db"));
    const QString notADatabase = dir.filePath(QStringLiteral("notes.txt"));
    WriteFile(notADatabase, QByteArray("These are not the codes you are looking for.\n").repeated(200));
    const QString ini = QStringLiteral("/home/user/tovanel.ini");
    for (const QString& s : {QStringLiteral("Driver=QSQLITE;Database=") + missing, QStringLiteral("rubbish"),
                             QStringLiteral("FILE NAME=") + dir.filePath(QStringLiteral("none.dsn")),
                             QStringLiteral("Driver=QSQLITE;Database=") + notADatabase,
                             QStringLiteral("Driver=QSQLITE;Database=") + dir.path()}) {
        CodeDatabase db;
        const OpenOutcome r = db.Open(s, ini);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.caption, "Error open data base");
        EXPECT_EQ(r.text, "Check up 'DB=' in file /home/user/tovanel.ini");
        EXPECT_FALSE(r.detail.isEmpty()) << s.toStdString();
        EXPECT_FALSE(db.ADOConnection.IsOpen());
        for (TableView* v : db.Views()) EXPECT_FALSE(v->IsOpen());
    }
    EXPECT_FALSE(QFileInfo::exists(missing)) << "opening must not create the file";

    // Creating refuses an existing file.
    Connection c;
    QString error;
    const QString existing = dir.filePath(QStringLiteral("existing.db"));
    WriteFile(existing, "");
    EXPECT_FALSE(c.Open(QStringLiteral("Driver=QSQLITE;Database=") + existing, &error, Connection::Mode::CreateNew));
    EXPECT_TRUE(error.contains(QStringLiteral("exists already")));
}

TEST(OpenStep, TheViewsOpenInOrderWithReloadGuardSet) {
    test::TestDatabase t(Engine::Sqlite);
    t.AddUnit(QStringLiteral("u"));
    CodeDatabase db;
    std::vector<std::pair<QString, bool>> seen;
    for (TableView* v : db.Views())
        v->AfterScroll = [&](TableView& view) { seen.emplace_back(view.Name(), db.ReloadGuard); };
    ASSERT_TRUE(db.Open(t.ConnectionString(), QStringLiteral("x.ini")).ok);
    // Each view with a row runs its AfterScroll on opening (codes are empty).
    const std::vector<std::pair<QString, bool>> expected{{"ADOTableUnits", true}, {"ADOTableUnits3", true}};
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(db.ReloadGuard);
    for (TableView* v : db.Views()) EXPECT_TRUE(v->IsOpen()) << v->Name().toStdString();
    // Opening again starts over.
    seen.clear();
    ASSERT_TRUE(db.Open(t.ConnectionString(), QStringLiteral("x.ini")).ok);
    EXPECT_EQ(seen, expected);
}

TEST(OpenStep, AMissingTableOrColumnIsReportedAndTheEarlierViewsStayOpen) {
    struct Case {
        const char* sql;
        const char* says;
        int opened;  // views open afterwards
    };
    const Case cases[] = {
        {"DROP TABLE \"tblTransmit\"", "no table tblTransmit", 5},
        {"ALTER TABLE \"tblCodes\" DROP COLUMN \"Code4\"", "Table tblCodes has no column Code4", 2},
        {"ALTER TABLE \"tblUnits\" RENAME COLUMN \"Desc\" TO \"Description\"", "Table tblUnits has no column Desc", 0},
    };
    for (const Case& c : cases) {
        test::TestDatabase t(Engine::Sqlite);
        t.Exec(QString::fromUtf8(c.sql));
        CodeDatabase db;
        const OpenOutcome r = db.Open(t.ConnectionString(), QStringLiteral("tovanel.ini"));
        EXPECT_FALSE(r.ok) << c.sql;
        EXPECT_EQ(r.caption, "Error open data base tables");
        EXPECT_TRUE(r.text.contains(QString::fromUtf8(c.says))) << r.text.toStdString();
        int opened = 0;
        for (TableView* v : db.Views()) opened += v->IsOpen() ? 1 : 0;
        EXPECT_EQ(opened, c.opened) << c.sql;
        EXPECT_FALSE(db.ReloadGuard);
        EXPECT_TRUE(db.ADOConnection.IsOpen());
    }
}

TEST(OpenStep, ADatabaseWithoutTheSchemaIsNotAltered) {
    test::TestDatabase t(Engine::Sqlite, false);
    CodeDatabase db;
    const OpenOutcome r = db.Open(t.ConnectionString(), QStringLiteral("tovanel.ini"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.text.contains(QStringLiteral("no table tblUnits"))) << r.text.toStdString();
    EXPECT_TRUE(t.Admin().Db().tables().isEmpty());
}

class EngineConnection : public test::EngineTest {};
TOVANEL_BOTH_ENGINES(EngineConnection);

TEST_P(EngineConnection, TheSchemaIsWrittenOnceAndHasEveryColumn) {
    QString error;
    EXPECT_FALSE(CreateSchema(Db().Admin(), error));
    EXPECT_TRUE(error.contains(QStringLiteral("has a table tblUnits already"))) << error.toStdString();
    CodeDatabase db;
    const OpenOutcome r = db.Open(Db().ConnectionString(), QStringLiteral("tovanel.ini"));
    EXPECT_TRUE(r.ok) << r.text.toStdString();
    // IDs count up from 1 and are never handed out twice.
    db.ADOTableTrans.Append();
    db.ADOTableTrans.Post();
    const int32_t first = db.ADOTableTrans.Int("ID");
    EXPECT_GE(first, 1);
    db.ADOTableTrans.Delete();
    db.ADOTableTrans.Append();
    db.ADOTableTrans.Post();
    EXPECT_GT(db.ADOTableTrans.Int("ID"), first);
}

TEST_P(EngineConnection, AnInnerRollbackUndoesTheWholeTransaction) {
    Connection& c = Db().Admin();
    auto units = [&] { return Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblUnits\"")).toInt(); };
    // Nested and committed: kept.
    c.Begin();
    c.Begin();
    c.Exec(QStringLiteral("INSERT INTO \"tblUnits\" (\"Name\") VALUES ('kept')"));
    c.Commit();
    c.Commit();
    EXPECT_EQ(units(), 1);
    // An inner step fails: the outer commit rolls everything back.
    c.Begin();
    c.Exec(QStringLiteral("INSERT INTO \"tblUnits\" (\"Name\") VALUES ('outer')"));
    c.Begin();
    c.Exec(QStringLiteral("INSERT INTO \"tblUnits\" (\"Name\") VALUES ('inner')"));
    c.Rollback();
    EXPECT_THROW(c.Commit(), DbError);
    EXPECT_EQ(units(), 1);
    // The connection is usable afterwards.
    c.Begin();
    c.Exec(QStringLiteral("INSERT INTO \"tblUnits\" (\"Name\") VALUES ('again')"));
    c.Commit();
    EXPECT_EQ(units(), 2);
}

TEST(PostgresConnection, AWrongPasswordOrServerFailsWithTheServersReason) {
    if (test::PostgresServer().isEmpty()) GTEST_SKIP() << "TOVANEL_TEST_PG names no PostgreSQL server";
    ConnectionSettings s;
    QString error;
    ASSERT_TRUE(ResolveConnectionString(test::PostgresServer(), s, error));
    ConnectionSettings wrong = s;
    wrong.password = QStringLiteral("not the password");
    wrong.user = s.user.isEmpty() ? QStringLiteral("nobody") : s.user;
    Connection c;
    EXPECT_FALSE(c.Open(wrong, &error));
    EXPECT_FALSE(error.isEmpty());
    wrong = s;
    wrong.host = QStringLiteral("127.0.0.1");
    wrong.port = 1;  // nothing listens there
    EXPECT_FALSE(c.Open(wrong, &error));
    EXPECT_FALSE(c.IsOpen());
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace tovanel
