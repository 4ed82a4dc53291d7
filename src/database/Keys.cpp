#include "database/Keys.h"

#include <string>

#include "database/CodeDatabase.h"
#include "database/CodeText.h"

namespace tovanel {

namespace {

const char* const CodeColumns[4] = {"Code1", "Code2", "Code3", "Code4"};

int32_t Low32(uint64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

void PostEdits(TableView& view) {
    if (view.state() == TableView::State::Edit || view.state() == TableView::State::Insert) view.Post();
}

// Writes the current row of `view` (in editing) with `fill` and posts it;
// on a failure the edit is dropped, so no row keeps some of the columns.
template <class Fill>
void WriteCurrent(TableView& view, Fill fill) {
    try {
        fill();
        view.Post();
    } catch (...) {
        try {
            view.Cancel();
        } catch (const DbError&) {
        }
        throw;
    }
}

void SetKeyColumns(TableView& view, const StoredKey& key) {
    view.SetInt("Mode", key.mode);
    view.SetInt("Adr", key.adr);
    view.SetInt("Cmd", key.cmd);
    for (size_t k = 0; k < key.codes.size(); ++k) view.SetText(CodeColumns[k], key.codes[k]);
}

}  // namespace

bool ValidateFrames(const FrameBuffer& buffer) {
    const CodeFrame& first = buffer.Slots[0];
    if (first.Count == 0 || first.Modulation <= 0) return false;
    if (first.Protocol <= 0)
        for (int k = 1; k <= 3; ++k)
            if (buffer.Slots[k].Protocol > 0 && !buffer.Slots[k].IsRepeat) return false;
    return true;
}

bool StoredKeyFromBuffer(const FrameBuffer& buffer, StoredKey& key, QString& error) {
    const CodeFrame& first = buffer.Slots[0];
    key.mode = first.Mode;
    key.adr = Low32(first.Adr);
    key.cmd = Low32(first.Cmd);
    for (size_t k = 0; k < key.codes.size(); ++k) {
        std::string text, why;
        if (!FormatCodeText(buffer.Slots[k], text, &why)) {
            error = QStringLiteral("Frame %1 cannot be stored: %2").arg(k + 1).arg(QString::fromStdString(why));
            return false;
        }
        key.codes[k] = QString::fromStdString(text);
    }
    return true;
}

RowId PostNewKey(TableView& view, const QString& name, const StoredKey& key) {
    view.Append();  // UnitID from the master
    WriteCurrent(view, [&] {
        view.SetText("Name", name);
        SetKeyColumns(view, key);
    });
    return view.Current().Id();
}

RowId AddKey(CodeDatabase& db, const QString& name, const StoredKey& key) {
    TableView& units = db.ADOTableUnits;
    TableView& codes = db.ADOTableCodes;
    if (!units.IsOpen() || !units.HasCurrent() || units.state() == TableView::State::Insert)
        throw DbError(QStringLiteral("There is no unit to add the key to"));
    PostEdits(units);
    const RowId id = PostNewKey(codes, name, key);
    codes.Refresh();
    return id;
}

void UpdateKey(CodeDatabase& db, const StoredKey& key) {
    TableView& codes = db.ADOTableCodes;
    if (!codes.IsOpen() || !codes.HasCurrent()) throw DbError(QStringLiteral("There is no key to update"));
    PostEdits(codes);
    codes.Edit();
    WriteCurrent(codes, [&] { SetKeyColumns(codes, key); });
}

void RenameKey(CodeDatabase& db, const QString& name) {
    TableView& codes = db.ADOTableCodes;
    if (!codes.IsOpen() || !codes.HasCurrent()) throw DbError(QStringLiteral("There is no key to rename"));
    PostEdits(codes);
    codes.Edit();
    WriteCurrent(codes, [&] { codes.SetText("Name", name); });
}

void DeleteKey(CodeDatabase& db) {
    TableView& codes = db.ADOTableCodes;
    if (!codes.IsOpen() || !codes.HasCurrent()) throw DbError(QStringLiteral("There is no key to delete"));
    codes.Delete();
}

}  // namespace tovanel
