// Databases that others protect, hold or made: a file or folder that cannot
// be written, another program's write lock, and SQL meant to corrupt the
// file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include <QCryptographicHash>
#include <QFile>

#include "DbTestSupport.h"
#include "database/CodeDatabase.h"
#include "database/CodeText.h"
#include "database/KeyCodes.h"
#include "support/Frames.h"

namespace tovanel {
namespace {

namespace fs = std::filesystem;

QByteArray Digest(const std::string& path) {
    QFile f(QString::fromStdString(path));
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// tovanel-db as a user for whom the modes count: root writes any file, so
// when the tests run as root the tool runs as nobody.
struct Shell {
    int status;
    std::string output;
};
Shell DbToolAsUser(const std::string& args) {
    const std::string exe = std::string(TOVANEL_BINARY_DIR) + "/tovanel-db";
    const std::string as = ::geteuid() == 0 ? "runuser -u nobody -- " : "";
    FILE* p = ::popen((as + exe + " " + args + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    const int s = ::pclose(p);
    return {WIFEXITED(s) ? WEXITSTATUS(s) : -1, out};
}

TEST(ProtectedDatabase, ReadingCommandsWorkWhereWritingIsRefusedWithTheReason) {
    // A folder of the test's own that the other user may enter.
    const fs::path dir = fs::temp_directory_path() / ("tovanel-access-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    ::chmod(dir.c_str(), 0755);
    const std::string file = (dir / "codes.db").string();
    {
        test::TestDatabase seed(Engine::Sqlite);
        const int32_t unit = seed.AddUnit(QStringLiteral("TV"));
        seed.AddKey(unit, QStringLiteral("Power"), 1, 2, 3);
        seed.Admin().Close();
        fs::copy_file((seed.Folder() + QStringLiteral("/test.db")).toStdString(), file);
    }
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();  // nobody, or the user running the tests
    struct Case {
        mode_t fileMode, folderMode;
        const char* refusal;
    } cases[] = {
        {0444, 0755, "the database file " },
        {0644, 0555, "the folder of the database file "},
    };
    const std::string connection = "--connection 'Driver=QSQLITE;Database=" + file + "'";
    for (const Case& c : cases) {
        ASSERT_EQ(::chown(file.c_str(), owner, static_cast<gid_t>(-1)), 0);
        ::chmod(file.c_str(), c.fileMode);
        ::chmod(dir.c_str(), c.folderMode);
        const QByteArray before = Digest(file);
        Shell r = DbToolAsUser(connection + " list units --format text");
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_NE(r.output.find("\tTV\t"), std::string::npos) << r.output;
        r = DbToolAsUser(connection + " show 1");
        EXPECT_EQ(r.status, 0) << r.output;
        r = DbToolAsUser(connection + " recompute TV");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find(c.refusal + file), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("cannot be written (Permission denied)"), std::string::npos) << r.output;
        EXPECT_EQ(Digest(file), before);
    }
    // Creating a database where nothing may be written leaves nothing.
    const std::string created = (dir / "new.db").string();
    const Shell r = DbToolAsUser("create --sample " + created);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("cannot create " + created), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(created));
    ::chmod(dir.c_str(), 0755);
    fs::remove_all(dir);
}

class Locked : public test::EngineTest {};
TOVANEL_BOTH_ENGINES(Locked);

TEST_P(Locked, AWriteWaitsForAnotherProgramsLock) {
    const int32_t unit = Db().AddUnit(QStringLiteral("TV"));
    auto f = test::FrameOf(test::NecFrame(1, 2));
    std::string code;
    FormatCodeText(*f, code);
    const int32_t key = Db().AddKey(unit, QStringLiteral("Power"), 9, 9, 9, QString::fromStdString(code));
    CodeDatabase db;
    ASSERT_TRUE(db.Open(Db().ConnectionString(), QStringLiteral("tovanel.ini")).ok);
    ASSERT_TRUE(db.ADOTableCodes.Locate(key));  // the views have read the rows

    // Another connection changes the key and holds its lock for a while.
    std::atomic<bool> holding{false};
    std::thread other([&] {
        Connection c;
        ASSERT_TRUE(c.Open(Db().ConnectionString()));
        c.Begin();
        c.Exec(QStringLiteral("UPDATE \"tblCodes\" SET \"Name\" = 'Power!' WHERE \"ID\" = %1").arg(key));
        holding = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        c.Commit();
    });
    while (!holding) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NO_THROW(RecomputeUnitKeys(db, DecodeSettings{}));
    other.join();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT \"Mode\" FROM \"tblCodes\" WHERE \"ID\" = %1").arg(key)).toInt(), 0);
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT \"Name\" FROM \"tblCodes\" WHERE \"ID\" = %1").arg(key)).toString(),
              "Power!");
}

TEST(DefensiveSqlite, SqlCannotRewriteTheSchemaOrItsPages) {
    test::TestDatabase t(Engine::Sqlite);
    Connection c;
    ASSERT_TRUE(c.Open(t.ConnectionString()));
    c.Exec(QStringLiteral("PRAGMA writable_schema = ON"));
    EXPECT_THROW(c.Exec(QStringLiteral("UPDATE sqlite_master SET sql = 'CREATE TABLE x(y)' WHERE name = 'tblUnits'")),
                 DbError);
    EXPECT_THROW(c.Exec(QStringLiteral("DELETE FROM sqlite_dbpage")), DbError);
}

}  // namespace
}  // namespace tovanel
