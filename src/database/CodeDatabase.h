// The code database as the main window sees it: one connection, the six
// table views over the three tables, and ReloadGuard. The hooks of the views
// belong to the main window; this sets up tables, orders, masters and the key
// view's calculated columns.
#pragma once

#include <array>

#include <QString>

#include "database/Connection.h"
#include "database/TableView.h"

namespace tovanel {

inline const QString KeyOrderByName = QStringLiteral("UnitID, Name");
inline const QString KeyOrderByCode = QStringLiteral("UnitID, Mode, Adr, Cmd");

// What the open step reports when it fails: the message box's caption and
// text, and the database's own reason.
struct OpenOutcome {
    bool ok = true;
    QString caption;
    QString text;
    QString detail;
    // Not opened only because the database cannot be written: opened
    // read-only it can still be browsed.
    bool readable = false;
};

class CodeDatabase {
public:
    CodeDatabase();
    ~CodeDatabase();
    CodeDatabase(const CodeDatabase&) = delete;
    CodeDatabase& operator=(const CodeDatabase&) = delete;

    Connection ADOConnection;
    TableView ADOTableUnits;   // units by Name; master of the two key views
    TableView ADOTableCodes;   // keys of the current unit, with strAdr and strCmd
    TableView ADOTableCodes2;  // the same keys, for recomputing them
    TableView ADOTableUnits3;  // units by Name, for appending a copy
    TableView ADOTableCodes3;  // keys of ADOTableUnits3's current unit
    TableView ADOTableTrans;   // the transmit list in its natural order

    // Set while the program moves the views itself, so that the key view's
    // after-scroll step does not reload the recording buffer and the
    // decoding controls write nothing back.
    bool ReloadGuard = false;

    // The open step: opens the connection (on failure: caption "Error open
    // data base", text "Check up 'DB=' in file " + the settings file), then
    // with ReloadGuard set the views in the order units, units3, codes,
    // codes2, codes3, transmit (on failure: caption "Error open data base
    // tables" with the error's text; the views opened before stay open).
    // ReloadGuard is clear afterwards in every case. `mode` ReadOnly is for
    // a run that only reads (it also opens a database that cannot be
    // written).
    OpenOutcome Open(const QString& connectionString, const QString& settingsFilePath,
                     Connection::Mode mode = Connection::Mode::OpenExisting);
    // Closes the views (details first, so no key view reloads on the way)
    // and the connection.
    void Close();

    // The views in the order the open step opens them.
    std::array<TableView*, 6> Views();
};

// Sets a flag for the time of a scope and clears it at the end, also when
// the scope ends by an error.
class ReloadGuardScope {
public:
    explicit ReloadGuardScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~ReloadGuardScope() { flag_ = false; }
    ReloadGuardScope(const ReloadGuardScope&) = delete;
    ReloadGuardScope& operator=(const ReloadGuardScope&) = delete;

private:
    bool& flag_;
};

}  // namespace tovanel
