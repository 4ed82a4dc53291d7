// The connection to the code database. A connection string is key=value
// pairs separated by ';' (keys in any letter case, a value may be quoted
// with "..." to hold ';', a quote written twice):
//   Driver=QSQLITE;Database=PATH
//   Driver=QPSQL;Host=...;Port=...;Database=...;User=...;Password=...[;Schema=...]
// "FILE NAME=PATH" reads the connection string from the data-link file PATH,
// a text file whose first line that is not blank and does not start with
// '#', ';' or '[' holds it; a relative SQLite Database there is taken from
// the file's folder. Other pairs beside FILE NAME override the file's.
#pragma once

#include <QSqlDatabase>
#include <QString>

#include "database/Schema.h"

namespace tovanel {

struct ConnectionSettings {
    Engine engine = Engine::Sqlite;
    QString database;  // SQLite: absolute file path
    QString host;
    int port = -1;     // -1: the driver's default
    QString user;
    QString password;
    QString schema;    // PostgreSQL: schema searched first (default: public)
};

// Parses and resolves a connection string (reading a data-link file where
// it names one). False with a message naming what is wrong.
bool ResolveConnectionString(const QString& connectionString, ConnectionSettings& settings,
                             QString& error);

// "FILE NAME=" + the main executable's path with ".dsn" as its extension.
QString DefaultConnectionString();

// The connection string of the settings file: key "DB" of section "Setup",
// or DefaultConnectionString() when the key is absent.
QString ConfiguredConnectionString(const std::string& settingsFilePath);

// The text of a connection string for the given settings (the inverse of
// ResolveConnectionString, quoting values where needed).
QString FormatConnectionString(const ConnectionSettings& settings);

// One open database connection. Never asks for a login; an SQLite file
// must exist unless it is being created. Opened read/write, an SQLite file
// that cannot be written (or whose folder, where SQLite keeps its journal,
// cannot) is refused with the reason; opened read-only, any file that can
// be read will do, and nothing can be written through the connection.
// SQLite files are opened defensively (a file from anyone cannot have its
// schema rewritten, nor run functions from its schema), and a write waits
// up to BusyTimeoutMs for another program's lock on either engine.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    static constexpr int BusyTimeoutMs = 5000;

    enum class Mode { OpenExisting, CreateNew, ReadOnly };
    bool Open(const QString& connectionString, QString* error = nullptr,
              Mode mode = Mode::OpenExisting);
    bool Open(const ConnectionSettings& settings, QString* error = nullptr,
              Mode mode = Mode::OpenExisting);
    void Close();
    bool IsOpen() const { return open_; }
    bool IsReadOnly() const { return readOnly_; }
    // Whether the last Open failed only because the SQLite file (or its
    // folder) cannot be written: opened ReadOnly it can still be read.
    bool WriteRefused() const { return writeRefused_; }

    Engine engine() const { return engine_; }
    QSqlDatabase& Db() { return db_; }

    // Runs one statement without parameters; throws DbError on failure.
    void Exec(const QString& sql);
    void Begin();
    void Commit();
    void Rollback();  // never throws

private:
    QString name_;
    QSqlDatabase db_;
    Engine engine_ = Engine::Sqlite;
    bool open_ = false;
    bool readOnly_ = false;
    bool writeRefused_ = false;
    int depth_ = 0;        // nesting of Begin
    bool doomed_ = false;  // an inner Rollback: the outermost Commit rolls back
};

// Writes the empty schema into an open connection's database. False with a
// message when the database already holds one of the tables or a statement
// fails; then nothing is written.
bool CreateSchema(Connection& connection, QString& error);

}  // namespace tovanel
