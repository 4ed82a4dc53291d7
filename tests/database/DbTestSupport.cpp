#include "DbTestSupport.h"

#include <atomic>

#include <QSqlError>
#include <QSqlRecord>
#include <unistd.h>

namespace tovanel::test {

namespace {

// Qt SQL loads its drivers as plug-ins, which needs an application object.
class QtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance() == nullptr) app_ = std::make_unique<QCoreApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "database_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] testing::Environment* const qtEnvironment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

std::atomic<int> schemaCounter{0};

}  // namespace

TestDatabase::TestDatabase(Engine engine, bool withSchema) : engine_(engine) {
    QString error;
    if (engine == Engine::Sqlite) {
        folder_ = dir_.path();
        const QString path = folder_ + QStringLiteral("/test.db");
        connectionString_ = QStringLiteral("Driver=QSQLITE;Database=") + path;
        if (!admin_.Open(connectionString_, &error, Connection::Mode::CreateNew))
            ADD_FAILURE() << error.toStdString();
    } else {
        schema_ = QStringLiteral("tovanel_test_%1_%2").arg(::getpid()).arg(++schemaCounter);
        if (!admin_.Open(PostgresServer(), &error)) {
            ADD_FAILURE() << "cannot reach the PostgreSQL server of TOVANEL_TEST_PG: " << error.toStdString();
            return;
        }
        Exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(schema_));
        Exec(QStringLiteral("CREATE SCHEMA %1").arg(schema_));
        Exec(QStringLiteral("SET search_path TO %1").arg(schema_));
        connectionString_ = PostgresServer() + QStringLiteral(";Schema=") + schema_;
    }
    if (withSchema && !CreateSchema(admin_, error)) ADD_FAILURE() << error.toStdString();
}

TestDatabase::~TestDatabase() {
    if (engine_ == Engine::Postgres && admin_.IsOpen()) {
        QSqlQuery q(admin_.Db());
        q.exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(schema_));
    }
    admin_.Close();
}

void TestDatabase::Exec(const QString& sql) {
    QSqlQuery q(admin_.Db());
    if (!q.exec(sql)) ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

QVariant TestDatabase::Scalar(const QString& sql) {
    QSqlQuery q(admin_.Db());
    if (!q.exec(sql)) {
        ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
        return {};
    }
    if (!q.next()) return {};
    return q.value(0);
}

int32_t TestDatabase::AddUnit(const QString& name, int protocol, int modulation) {
    QSqlQuery q(admin_.Db());
    q.prepare(QStringLiteral(
        "INSERT INTO \"tblUnits\" (\"Name\", \"Protocol\", \"Modulation\", \"Carrier\") VALUES (?, ?, ?, '38') "
        "RETURNING \"ID\""));
    q.addBindValue(name);
    q.addBindValue(protocol);
    q.addBindValue(modulation);
    if (!q.exec() || !q.next()) {
        ADD_FAILURE() << "AddUnit: " << q.lastError().text().toStdString();
        return 0;
    }
    return q.value(0).toInt();
}

int32_t TestDatabase::AddKey(int32_t unitId, const QString& name, int mode, int adr, int cmd,
                             const QString& code1, const QString& code2) {
    QSqlQuery q(admin_.Db());
    q.prepare(QStringLiteral(
        "INSERT INTO \"tblCodes\" (\"UnitID\", \"Name\", \"Mode\", \"Adr\", \"Cmd\", \"Code1\", \"Code2\", "
        "\"Code3\", \"Code4\") VALUES (?, ?, ?, ?, ?, ?, ?, '', '') RETURNING \"ID\""));
    q.addBindValue(unitId);
    q.addBindValue(name);
    q.addBindValue(mode);
    q.addBindValue(adr);
    q.addBindValue(cmd);
    q.addBindValue(code1);
    q.addBindValue(code2);
    if (!q.exec() || !q.next()) {
        ADD_FAILURE() << "AddKey: " << q.lastError().text().toStdString();
        return 0;
    }
    return q.value(0).toInt();
}

void TestDatabase::FailUpdatesOfKey(int32_t keyId) {
    if (engine_ == Engine::Sqlite) {
        Exec(QStringLiteral("CREATE TRIGGER \"failKey\" BEFORE UPDATE ON \"tblCodes\" WHEN OLD.\"ID\" = %1 "
                            "BEGIN SELECT RAISE(ABORT, 'injected failure'); END")
                 .arg(keyId));
    } else {
        Exec(QStringLiteral("CREATE FUNCTION \"failKey\"() RETURNS trigger LANGUAGE plpgsql AS "
                            "$$ BEGIN RAISE EXCEPTION 'injected failure'; END $$"));
        Exec(QStringLiteral("CREATE TRIGGER \"failKey\" BEFORE UPDATE ON \"tblCodes\" FOR EACH ROW "
                            "WHEN (OLD.\"ID\" = %1) EXECUTE FUNCTION \"failKey\"()")
                 .arg(keyId));
    }
}

void TestDatabase::FailWrites(const char* table, const char* op, const QString& condition) {
    static std::atomic<int> triggers{0};
    const QString name = QStringLiteral("failWrite%1").arg(++triggers);
    if (engine_ == Engine::Sqlite) {
        Exec(QStringLiteral("CREATE TRIGGER \"%1\" BEFORE %2 ON \"%3\" WHEN %4 "
                            "BEGIN SELECT RAISE(ABORT, 'injected failure'); END")
                 .arg(name, QString::fromLatin1(op), QString::fromLatin1(table), condition));
    } else {
        Exec(QStringLiteral("CREATE FUNCTION \"%1\"() RETURNS trigger LANGUAGE plpgsql AS "
                            "$$ BEGIN RAISE EXCEPTION 'injected failure'; END $$")
                 .arg(name));
        Exec(QStringLiteral("CREATE TRIGGER \"%1\" BEFORE %2 ON \"%3\" FOR EACH ROW WHEN (%4) "
                            "EXECUTE FUNCTION \"%1\"()")
                 .arg(name, QString::fromLatin1(op), QString::fromLatin1(table), condition));
    }
}

QStringList TestDatabase::AllRows() {
    QStringList rows;
    for (const char* table : {"tblUnits", "tblCodes", "tblTransmit"}) {
        QSqlQuery q(admin_.Db());
        if (!q.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY \"ID\"").arg(QString::fromLatin1(table)))) {
            ADD_FAILURE() << table << ": " << q.lastError().text().toStdString();
            continue;
        }
        while (q.next()) {
            QStringList values;
            for (int c = 0; c < q.record().count(); ++c)
                values << (q.value(c).isNull() ? QStringLiteral("null") : q.value(c).toString());
            rows << QString::fromLatin1(table) + u':' + values.join(u'|');
        }
    }
    return rows;
}

}  // namespace tovanel::test
