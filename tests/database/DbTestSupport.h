// Test databases on both engines: a fresh SQLite file in a temporary folder,
// or a fresh schema on the PostgreSQL server that $TOVANEL_TEST_PG names
// (the CI starts one). Tests parameterised over the engine skip the
// PostgreSQL case, with a message, only where that variable is not set.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <QCoreApplication>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include "database/Connection.h"
#include "database/DbError.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace tovanel::test {

inline std::string EngineName(const testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
}

inline QString PostgresServer() { return qEnvironmentVariable("TOVANEL_TEST_PG"); }

// One empty database with the schema (or without, on request).
class TestDatabase {
public:
    explicit TestDatabase(Engine engine, bool withSchema = true);
    ~TestDatabase();

    Engine engine() const { return engine_; }
    const QString& ConnectionString() const { return connectionString_; }
    const QString& Folder() const { return folder_; }
    // A connection of the test's own, for setting up and checking rows.
    Connection& Admin() { return admin_; }

    // Runs SQL on the admin connection; fails the test on an error.
    void Exec(const QString& sql);
    int32_t AddUnit(const QString& name, int protocol = 0, int modulation = 0);
    int32_t AddKey(int32_t unitId, const QString& name, int mode = 0, int adr = 0, int cmd = 0,
                   const QString& code1 = {}, const QString& code2 = {});
    // A single value of a query, null as an invalid variant.
    QVariant Scalar(const QString& sql);

    // Makes every write of tblCodes' row `keyId` fail with "injected failure".
    void FailUpdatesOfKey(int32_t keyId);
    // Makes every `op` (INSERT, UPDATE or DELETE) of `table` for which
    // `condition` (SQL over NEW or OLD) holds fail with "injected failure".
    void FailWrites(const char* table, const char* op, const QString& condition);
    // Every row of the three tables, as text, for before/after comparisons.
    QStringList AllRows();

private:
    Engine engine_;
    QTemporaryDir dir_;
    QString folder_;
    QString schema_;
    QString connectionString_;
    Connection admin_;
};

// Base of the engine-parameterised tests.
class EngineTest : public testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (GetParam() == Engine::Postgres && PostgresServer().isEmpty())
            GTEST_SKIP() << "PostgreSQL case skipped: TOVANEL_TEST_PG names no server "
                            "(.ci/run starts one and sets it)";
        db_ = std::make_unique<TestDatabase>(GetParam());
    }
    TestDatabase& Db() { return *db_; }

    std::unique_ptr<TestDatabase> db_;
};

#define TOVANEL_BOTH_ENGINES(Suite)                                                            \
    INSTANTIATE_TEST_SUITE_P(Engines, Suite, testing::Values(Engine::Sqlite, Engine::Postgres), \
                             tovanel::test::EngineName)

}  // namespace tovanel::test
