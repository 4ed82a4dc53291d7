// Importing a code file (lircd.conf, mode2, durations, Pronto hex, .ir):
// every unit the file holds becomes a new unit, every key a key of it,
// stored as "Add" stores a recording. The window's "File > Import..." and
// `tovanel-db import` both run this.
#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

#include "database/TableView.h"
#include "database/formats/CodeFile.h"

namespace tovanel {

class CodeDatabase;

// The most keys one file may bring: far above any remote collection, and a
// bound on the time and memory of one import.
inline constexpr int MaxImportKeys = 100'000;
// What a name column holds.
inline constexpr int MaxNameLength = 64;

struct ImportedUnit {
    int line = 0;
    RowId id = 0;
    QString name;
    QString carrier;  // as stored: kHz
    int keys = 0;
    QString note;  // that its name was shortened
};

struct ImportedKey {
    int line = 0;
    RowId id = 0;
    RowId unitId = 0;
    QString name;
    int32_t protocol = 0;  // the first frame's, as the analyser found it
    int32_t modulation = 0;
    int32_t mode = 0, adr = 0, cmd = 0;
    bool decoded = true;  // the analyser finds a key that "Add" would store
    QString note;         // why it is not decoded, or that its name was shortened
};

struct ImportReport {
    QString file;
    CodeFileFormat format = CodeFileFormat::Unknown;
    std::vector<ImportedUnit> units;  // stored, in the file's order
    std::vector<ImportedKey> keys;
    QStringList skipped;  // "line N: key 'X': reason"
    // Why nothing was stored: "FILE: line N: message" (the file is no code
    // file, cannot be read, or is bad at that line) or the database's
    // refusal. Empty when the import was stored.
    QStringList errors;
    int moreErrors = 0;           // errors after the first MaxReportedErrors
    bool databaseFailed = false;  // the database refused a row or the transaction

    bool Stored() const { return errors.isEmpty(); }
};

inline constexpr int MaxReportedErrors = 20;

// Reads `path` and stores its units and keys in one transaction: all of it
// or, after an error of the file or of the database, nothing. A unit is
// named as the file names it, else `unitName`, else after the file's base
// name; `unitName` given (not empty) names the unit whatever the file says,
// and then the file may hold only one. Its Carrier is the file's carrier in
// kHz (38 where the file names none); its decoding settings are empty. A
// key keeps its first four frames as code texts, and the mode, address and
// command that the analyser finds in its frames as a recording of that
// unit. A key whose frame does not fit a code text (more than 126
// durations), or that has no frame, is skipped and named in the report; a
// key the analyser cannot decode is stored all the same, and the report
// says so. A unit of which no key could be stored is not created. Names
// are shortened to 64 characters. After a stored import the unit views
// are re-read and the first new unit is the current unit; after a failure
// they are as before.
ImportReport ImportCodeFile(CodeDatabase& db, const QString& path, const QString& unitName = {});

// The report for people: a summary sentence, and every unit, key, skipped
// item and error on a line of its own.
QString ImportSummary(const ImportReport& report);
QString ImportDetails(const ImportReport& report);

}  // namespace tovanel
