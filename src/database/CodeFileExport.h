// Exporting a unit as a code file (lircd.conf raw codes, Pronto hex, .ir
// raw signals, mode2 for ir-ctl, CSV), for the programs that send IR and
// for spreadsheets. The window's "File > Export unit..." and
// `tovanel-db export` both run this.
#pragma once

#include <string>

#include <QString>
#include <QStringList>

#include "database/formats/CodeFileFormats.h"

namespace tovanel {

class CodeDatabase;

// The current unit of ADOTableUnits with the keys its key view lists, in
// the view's order: each key's stored frames (Code1..Code4 up to the first
// empty one, with their periods), its stored mode, address and command,
// and the protocol the analyser finds in its first frame with the unit's
// settings. The carrier is the unit's Carrier in kHz, 38 kHz where it is
// no number. `frameless` gets the names of keys without a stored frame,
// which the formats of frames leave out.
ExportUnit CurrentUnitForExport(CodeDatabase& db, QStringList& frameless);

// Writes `text` to `path` as a whole or not at all (a file that was there
// stays as it was after a failure). False with a message naming the file.
bool WriteExportFile(const QString& path, const std::string& text, QString& error);

// Exports the current unit in `format` (an entry that is written) to
// `path`. False with a message when there is no unit or the file cannot
// be written. `summary` says what was written.
bool ExportCurrentUnit(CodeDatabase& db, const CodeFileFormatEntry& format, const QString& path, QString& summary,
                       QString& error);

}  // namespace tovanel
