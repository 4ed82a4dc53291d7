// Keys of the current unit, written through the key view ADOTableCodes:
// a recording stored as a new key or into the current key, renaming and
// deleting. The window's key actions and tovanel-db's key commands both
// run these, so a key stored from the command line is the key the window
// would have stored from the same frames.
#pragma once

#include <array>
#include <cstdint>

#include <QString>

#include "database/TableView.h"

#include "analysis/CodeFrame.h"

namespace tovanel {

class CodeDatabase;

// What a recording that may not be stored is answered with.
inline const QString InvalidKeyText = QStringLiteral("Record correct key codes");
inline const QString InvalidKeyCaption = QStringLiteral("Invalid data");

// Whether the burst in the buffer may be stored as a key: slot 0 has
// durations and a modulation, and no slot 1..3 carries a protocol of its
// own (without being a repeat code) while slot 0 has none.
bool ValidateFrames(const FrameBuffer& buffer);

// The columns a key row takes from a recording.
struct StoredKey {
    int32_t mode = 0;
    int32_t adr = 0;  // the low 32 bits of slot 0's address
    int32_t cmd = 0;
    std::array<QString, 4> codes;  // Code1..Code4: slots 0..3, empty slots empty
};

// Slot 0's mode, address and command and the code texts of slots 0..3.
// False with the reason when a frame does not fit a code column (more than
// 126 durations): such a recording is refused, not stored shortened.
bool StoredKeyFromBuffer(const FrameBuffer& buffer, StoredKey& key, QString& error);

// Appends a key row to `view`, a key view whose master's current row is
// the unit, with `name` and the recording's columns, and posts it in one
// statement; a refused row is dropped again. Returns its ID. The building
// block of AddKey and of imports.
RowId PostNewKey(TableView& view, const QString& name, const StoredKey& key);

// A new key of the current unit with `name` and the recording's columns,
// posted in one statement; it becomes the current key and the key view
// is re-read so that it stands in its place in the order. Throws DbError
// when there is no current unit or the row is refused; the view is then
// as it was. Returns the key's ID.
RowId AddKey(CodeDatabase& db, const QString& name, const StoredKey& key);

// Writes the recording's columns into the current key (Name, UnitID and ID
// stay), in one statement. Throws DbError when there is no current key or
// the row is refused; the row and the view are then unchanged.
void UpdateKey(CodeDatabase& db, const StoredKey& key);

// Renames the current key; throws DbError as UpdateKey.
void RenameKey(CodeDatabase& db, const QString& name);

// Deletes the current key; the following key becomes current.
void DeleteKey(CodeDatabase& db);

}  // namespace tovanel
