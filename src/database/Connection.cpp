#include "database/Connection.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>

#include <sqlite3.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include "capture/Setup/AppPaths.h"
#include "capture/Setup/IniFile.h"
#include "capture/Setup/Quoting.h"
#include "capture/Setup/SmallFile.h"
#include "database/DbError.h"

namespace tovanel {

namespace {

using Pairs = std::map<QString, QString>;  // lower-case key -> value

// A piece of a connection string as an error message quotes it.
QString QuotedPart(const QString& part) { return QString::fromStdString(Quoted(part.toStdString())); }

bool ParsePairs(const QString& s, Pairs& pairs, QString& error) {
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        const qsizetype eq = s.indexOf(u'=', i);
        const qsizetype semi = s.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            const QString part = s.mid(i, semi < 0 ? n - i : semi - i).trimmed();
            if (!part.isEmpty()) {
                error = QStringLiteral("%1 in the connection string is not of the form key=value")
                            .arg(QuotedPart(part));
                return false;
            }
            if (semi < 0) break;
            i = semi + 1;
            continue;
        }
        const QString key = s.mid(i, eq - i).trimmed().toLower();
        if (key.isEmpty()) {
            error = QStringLiteral("the connection string has a value without a key");
            return false;
        }
        i = eq + 1;
        while (i < n && s[i] == u' ') ++i;
        QString value;
        if (i < n && (s[i] == u'"' || s[i] == u'\'')) {
            const QChar quote = s[i++];
            bool closed = false;
            while (i < n) {
                if (s[i] == quote) {
                    if (i + 1 < n && s[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += s[i++];
            }
            if (!closed) {
                error = QStringLiteral("the value of %1 in the connection string lacks its closing quote")
                            .arg(QuotedPart(key));
                return false;
            }
            while (i < n && s[i] == u' ') ++i;
            if (i < n && s[i] != u';') {
                error = QStringLiteral("text after the quoted value of %1 in the connection string").arg(QuotedPart(key));
                return false;
            }
        } else {
            const qsizetype end = s.indexOf(u';', i);
            value = s.mid(i, end < 0 ? n - i : end - i).trimmed();
            i = end < 0 ? n : end;
        }
        if (i < n && s[i] == u';') ++i;
        pairs[key] = value;
    }
    return true;
}

// The connection string held by a data-link file.
bool ReadDataLinkFile(const QString& path, QString& text, QString& error) {
    std::string bytes, reason;
    if (ReadSmallFile(path.toStdString(), bytes, reason) != SmallFileResult::Read) {
        error = QStringLiteral("cannot read the data-link file %1: %2").arg(path, QString::fromStdString(reason));
        return false;
    }
    const QString content = QString::fromStdString(bytes);
    for (const QString& raw : content.split(u'\n')) {
        QString line = raw.trimmed();
        if (line.startsWith(QChar(0xFEFF))) line = line.mid(1).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';') || line.startsWith(u'['))
            continue;
        text = line;
        return true;
    }
    error = QStringLiteral("the data-link file %1 holds no connection string").arg(path);
    return false;
}

QString QuotedValue(const QString& v) {
    if (!v.contains(u';') && !v.contains(u'"') && !v.contains(u'\'') && v == v.trimmed()) return v;
    QString q = v;
    q.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

std::atomic<int> connectionCounter{0};

// Why this process cannot write `path`; empty when it can.
QString CannotWrite(const QString& path) {
    if (::access(QFile::encodeName(path).constData(), W_OK) == 0) return {};
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A database file may come from anyone: SQLite's defensive mode keeps SQL
// from corrupting it on purpose (no writable schema, no direct page
// access), and an untrusted schema may not run functions with effects from
// its views and triggers.
bool HardenSqlite(QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) return false;
    sqlite3* h = *static_cast<sqlite3* const*>(handle.constData());
    if (h == nullptr) return false;
    int on = 0, trusted = 1;
    sqlite3_db_config(h, SQLITE_DBCONFIG_DEFENSIVE, 1, &on);
    sqlite3_db_config(h, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, &trusted);
    return on == 1 && trusted == 0;
}

}  // namespace

bool ResolveConnectionString(const QString& connectionString, ConnectionSettings& settings,
                             QString& error) {
    Pairs pairs;
    if (!ParsePairs(connectionString, pairs, error)) return false;
    QString baseDir;  // where a relative SQLite path is taken from
    if (auto it = pairs.find(QStringLiteral("file name")); it != pairs.end()) {
        const QString path = QFileInfo(it->second).absoluteFilePath();
        if (it->second.isEmpty()) {
            error = QStringLiteral("FILE NAME in the connection string names no file");
            return false;
        }
        QString inner;
        if (!ReadDataLinkFile(path, inner, error)) return false;
        Pairs filePairs;
        if (!ParsePairs(inner, filePairs, error)) {
            error = QStringLiteral("in the data-link file %1: %2").arg(path, error);
            return false;
        }
        if (filePairs.count(QStringLiteral("file name")) != 0) {
            error = QStringLiteral("the data-link file %1 names another data-link file").arg(path);
            return false;
        }
        pairs.erase(it);
        for (auto& [k, v] : pairs) filePairs[k] = v;
        pairs = std::move(filePairs);
        baseDir = QFileInfo(path).absolutePath();
    }
    auto get = [&](const char* key) {
        auto it = pairs.find(QString::fromLatin1(key));
        return it == pairs.end() ? QString() : it->second;
    };
    const QString driver = get("driver").toUpper();
    settings = ConnectionSettings{};
    if (driver == u"QSQLITE") {
        settings.engine = Engine::Sqlite;
        const QString db = get("database");
        if (db.isEmpty()) {
            error = QStringLiteral("the connection string names no Database file");
            return false;
        }
        settings.database = QDir::cleanPath(QFileInfo(db).isAbsolute() || baseDir.isEmpty()
                                                ? QFileInfo(db).absoluteFilePath()
                                                : QDir(baseDir).absoluteFilePath(db));
        return true;
    }
    if (driver == u"QPSQL") {
        settings.engine = Engine::Postgres;
        settings.database = get("database");
        settings.host = get("host");
        settings.user = get("user");
        settings.password = get("password");
        settings.schema = get("schema");
        const QString port = get("port");
        if (!port.isEmpty()) {
            bool ok = false;
            settings.port = port.toInt(&ok);
            if (!ok || settings.port < 1 || settings.port > 65535) {
                error = QStringLiteral("Port %1 in the connection string is not a port number").arg(QuotedPart(port));
                return false;
            }
        }
        return true;
    }
    error = driver.isEmpty() ? QStringLiteral("the connection string names no Driver (QSQLITE or QPSQL)")
                             : QStringLiteral("unknown Driver %1 (QSQLITE or QPSQL)").arg(QuotedPart(get("driver")));
    return false;
}

QString DefaultConnectionString() {
    return QStringLiteral("FILE NAME=") + QString::fromStdString(MainPathWithExtension(".dsn"));
}

QString ConfiguredConnectionString(const std::string& settingsFilePath) {
    const IniFile ini(settingsFilePath);
    if (auto db = ini.Get("Setup", "DB")) return QString::fromStdString(*db);
    return DefaultConnectionString();
}

QString FormatConnectionString(const ConnectionSettings& s) {
    if (s.engine == Engine::Sqlite) return QStringLiteral("Driver=QSQLITE;Database=") + QuotedValue(s.database);
    QString out = QStringLiteral("Driver=QPSQL");
    auto add = [&](const char* key, const QString& v) {
        if (!v.isEmpty()) out += u';' + QString::fromLatin1(key) + u'=' + QuotedValue(v);
    };
    add("Host", s.host);
    if (s.port > 0) add("Port", QString::number(s.port));
    add("Database", s.database);
    add("User", s.user);
    add("Password", s.password);
    add("Schema", s.schema);
    return out;
}

Connection::Connection() : name_(QStringLiteral("tovanel-%1").arg(++connectionCounter)) {}

Connection::~Connection() { Close(); }

bool Connection::Open(const QString& connectionString, QString* error, Mode mode) {
    ConnectionSettings settings;
    QString message;
    if (!ResolveConnectionString(connectionString, settings, message)) {
        if (error != nullptr) *error = message;
        return false;
    }
    return Open(settings, error, mode);
}

bool Connection::Open(const ConnectionSettings& s, QString* error, Mode mode) {
    Close();
    auto fail = [&](const QString& message) {
        if (error != nullptr) *error = message;
        Close();
        return false;
    };
    engine_ = s.engine;
    readOnly_ = mode == Mode::ReadOnly;
    writeRefused_ = false;
    if (s.engine == Engine::Sqlite) {
        const QFileInfo info(s.database);
        if (mode != Mode::CreateNew && !info.exists())
            return fail(QStringLiteral("the database file %1 does not exist").arg(s.database));
        if (mode == Mode::CreateNew && info.exists())
            return fail(QStringLiteral("the file %1 exists already").arg(s.database));
        if (info.exists() && !info.isFile())
            return fail(QStringLiteral("%1 is not a database file").arg(s.database));
        // A write-protected file would open read-only and fail at the first
        // change; the journal beside it needs its folder writable.
        if (mode == Mode::OpenExisting) {
            if (const QString why = CannotWrite(info.absoluteFilePath()); !why.isEmpty()) {
                writeRefused_ = true;
                return fail(QStringLiteral("the database file %1 cannot be written (%2)").arg(s.database, why));
            }
            if (const QString why = CannotWrite(info.absolutePath()); !why.isEmpty()) {
                writeRefused_ = true;
                return fail(QStringLiteral("the folder of the database file %1 cannot be written (%2): "
                                           "SQLite keeps its journal there")
                                .arg(s.database, why));
            }
        }
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        // mode=rw opens read/write and never creates a missing file, rwc
        // creates one, ro never writes.
        const char* uriMode = mode == Mode::CreateNew ? "rwc" : mode == Mode::ReadOnly ? "ro" : "rw";
        db_.setDatabaseName(QStringLiteral("file:") +
                            QString::fromLatin1(QUrl::toPercentEncoding(info.absoluteFilePath(), "/")) +
                            QStringLiteral("?mode=") + QString::fromLatin1(uriMode));
        db_.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    } else {
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
        db_.setDatabaseName(s.database);
        db_.setHostName(s.host);
        if (s.port > 0) db_.setPort(s.port);
        db_.setUserName(s.user);
        db_.setPassword(s.password);
        db_.setConnectOptions(QStringLiteral("connect_timeout=10"));
    }
    if (!db_.isValid()) return fail(QStringLiteral("the Qt SQL driver for this database is not installed"));
    if (!db_.open()) return fail(ErrorText(db_.lastError()));
    open_ = true;
    try {
        if (s.engine == Engine::Sqlite) {
            if (!HardenSqlite(db_))
                return fail(QStringLiteral("%1: the SQLite library refuses the defensive mode").arg(s.database));
            // SQLite reads a file only when first asked: make sure now that
            // it is a database.
            QSqlQuery q(db_);
            if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")))
                return fail(QStringLiteral("%1: %2").arg(s.database, ErrorText(q.lastError())));
            q.finish();
        } else {
            // The server's notices (such as "table does not exist, skipping")
            // are no business of the user's.
            Exec(QStringLiteral("SET client_min_messages TO warning"));
            // Another client's lock is waited for as long as on SQLite.
            Exec(QStringLiteral("SET lock_timeout TO %1").arg(BusyTimeoutMs));
            if (readOnly_) Exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"));
            if (!s.schema.isEmpty())
                Exec(QStringLiteral("SET search_path TO ") + QuoteIdentifier(s.schema.toStdString()));
        }
    } catch (const DbError& e) {
        return fail(e.Text());
    }
    return true;
}

void Connection::Close() {
    if (db_.isValid()) db_.close();
    db_ = QSqlDatabase();
    if (QSqlDatabase::contains(name_)) QSqlDatabase::removeDatabase(name_);
    open_ = false;
    depth_ = 0;
    doomed_ = false;
}

void Connection::Exec(const QString& sql) {
    QSqlQuery q(db_);
    if (!q.exec(sql)) throw DbError(ErrorText(q.lastError()));
}

// Transactions nest: only the outermost Begin and Commit reach the
// database, and a Rollback inside makes the outermost Commit roll back too,
// so a step that runs in a transaction of its own (recomputing a unit's
// keys) can also run as part of a larger one.
void Connection::Begin() {
    if (depth_++ > 0) return;
    doomed_ = false;
    if (engine_ == Engine::Sqlite) {
        // The write lock is taken at once, where the busy timeout applies:
        // a transaction that read first and then finds another writer's
        // lock would fail at once with "database is locked".
        QSqlQuery q(db_);
        if (!q.exec(readOnly_ ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"))) {
            depth_ = 0;
            throw DbError(ErrorText(q.lastError()));
        }
        return;
    }
    if (!db_.transaction()) {
        depth_ = 0;
        throw DbError(ErrorText(db_.lastError()));
    }
}

void Connection::Commit() {
    if (depth_ == 0 || --depth_ > 0) return;
    if (doomed_) {
        db_.rollback();
        throw DbError(QStringLiteral("the changes were rolled back: a step of them failed"));
    }
    if (!db_.commit()) {
        const QString message = ErrorText(db_.lastError());
        db_.rollback();
        throw DbError(message);
    }
}

void Connection::Rollback() {
    if (depth_ == 0) return;
    if (--depth_ > 0) {
        doomed_ = true;
        return;
    }
    db_.rollback();
}

bool CreateSchema(Connection& connection, QString& error) {
    // Looked up in the catalogue rather than tried: a statement that fails
    // would spoil a PostgreSQL transaction this may be part of.
    for (const TableDef* t : {&UnitsTable(), &CodesTable(), &TransmitTable()}) {
        QSqlQuery probe(connection.Db());
        if (connection.engine() == Engine::Sqlite) {
            probe.prepare(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE lower(name) = lower(?)"));
            probe.addBindValue(QString::fromLatin1(t->name));
        } else {
            probe.prepare(QStringLiteral("SELECT CASE WHEN to_regclass(?) IS NULL THEN 0 ELSE 1 END"));
            probe.addBindValue(QuoteIdentifier(t->name));
        }
        if (!probe.exec() || !probe.next()) {
            error = ErrorText(probe.lastError());
            return false;
        }
        if (probe.value(0).toInt() != 0) {
            error = QStringLiteral("the database has a table %1 already").arg(QString::fromLatin1(t->name));
            return false;
        }
    }
    try {
        connection.Begin();
        for (const QString& sql : SchemaStatements(connection.engine())) connection.Exec(sql);
        connection.Commit();
    } catch (const DbError& e) {
        connection.Rollback();
        error = e.Text();
        return false;
    }
    return true;
}

}  // namespace tovanel
