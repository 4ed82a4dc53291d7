#include "database/Units.h"

#include "database/CodeDatabase.h"

namespace tovanel {

namespace {

// The unit columns a copy takes over, after its name.
const char* const CopiedUnitColumns[] = {"Desc",     "Protocol",   "Modulation", "AdrStart",
                                         "AdrBits",  "AdrOrder",   "AdrInverse", "CmdStart",
                                         "CmdBits",  "CmdOrder",   "CmdInverse", "Carrier",
                                         "Picture"};
// The key columns a copied key takes over; UnitID is the copy's.
const char* const CopiedKeyColumns[] = {"Name", "Mode", "Adr", "Cmd", "Code1", "Code2", "Code3", "Code4"};

void PostEdits(TableView& view) {
    if (view.state() == TableView::State::Edit || view.state() == TableView::State::Insert) view.Post();
}

void RequireUnit(const TableView& units, const char* what) {
    if (!units.IsOpen() || !units.HasCurrent() || units.state() == TableView::State::Insert)
        throw DbError(QStringLiteral("There is no unit to %1").arg(QString::fromLatin1(what)));
}

// Steps after a failed transaction that must not hide its error.
template <class Fn>
void Quietly(Fn fn) {
    try {
        fn();
    } catch (const DbError&) {
    }
}

}  // namespace

RowId PostNewUnit(TableView& view, const QString& name, const QString& carrier) {
    view.Append();
    try {
        view.SetText("Name", name);
        view.SetText("Carrier", carrier);
        view.Post();
    } catch (...) {
        Quietly([&] { view.Cancel(); });
        throw;
    }
    return view.Current().Id();
}

RowId AppendUnit(CodeDatabase& db, const QString& name) {
    TableView& units = db.ADOTableUnits;
    const RowId id = PostNewUnit(units, name, NewUnitCarrier);
    units.Refresh();
    return id;
}

RowId DuplicateUnit(CodeDatabase& db) {
    TableView& units = db.ADOTableUnits;
    TableView& codes = db.ADOTableCodes;
    TableView& units3 = db.ADOTableUnits3;
    TableView& codes3 = db.ADOTableCodes3;
    RequireUnit(units, "duplicate");
    PostEdits(units);
    PostEdits(codes);

    RowId copy = 0;
    db.ADOConnection.Begin();
    try {
        units3.Append();
        units3.SetText("Name", units.Text("Name") + CopySuffix);
        for (const char* column : CopiedUnitColumns) units3.SetValue(column, units.Value(column));
        units3.Post();
        copy = units3.Current().Id();
        // The keys as the key view lists them, read without moving it.
        for (int i = 0; i < codes.RecordCount(); ++i) {
            const TableRow& key = codes.RowAt(i);
            codes3.Append();
            codes3.SetInt("UnitID", copy);
            for (const char* column : CopiedKeyColumns) codes3.SetValue(column, key.Value(column));
            codes3.Post();
        }
        db.ADOConnection.Commit();
    } catch (...) {
        db.ADOConnection.Rollback();
        // The second views may hold the copy that is gone again.
        ResetSecondViews(db);
        throw;
    }
    units.Requery();
    codes.Requery();
    units.Locate(copy);
    return copy;
}

int DeleteUnit(CodeDatabase& db) {
    TableView& units = db.ADOTableUnits;
    TableView& codes = db.ADOTableCodes;
    RequireUnit(units, "delete");
    PostEdits(units);
    PostEdits(codes);

    int deleted = 0;
    db.ADOConnection.Begin();
    try {
        {
            ReloadGuardScope guard(db.ReloadGuard);
            codes.First();
            while (codes.RecordCount() > 0) {
                codes.Delete();
                ++deleted;
            }
        }
        units.Delete();
        db.ADOConnection.Commit();
    } catch (...) {
        db.ADOConnection.Rollback();
        // The views let go of the rows they deleted: read them again.
        Quietly([&] { units.Refresh(); });
        Quietly([&] { codes.Refresh(); });
        throw;
    }
    return deleted;
}

void ResetSecondViews(CodeDatabase& db) {
    Quietly([&] { db.ADOTableCodes3.Cancel(); });
    Quietly([&] { db.ADOTableUnits3.Cancel(); });
    Quietly([&] { db.ADOTableUnits3.Requery(); });
}

}  // namespace tovanel
