#include "database/TransmitList.h"

#include <map>

#include <QSqlQuery>

#include "database/CodeDatabase.h"

namespace tovanel {

namespace {

constexpr int NewEntryPauseMs = 1000;
constexpr const char* CodeColumns[] = {"Code1", "Code2", "Code3", "Code4"};

// An empty text rather than a null one: the drivers store a null QString
// as NULL.
QString Text(const TableView& view, const char* column) {
    const QString text = view.HasCurrent() ? view.Text(column) : QString();
    return text.isNull() ? QStringLiteral("") : text;
}

TransmitItem ItemOf(const TableRow& row, const char* unitColumn, const char* keyColumn) {
    TransmitItem item;
    item.unitName = row.Text(unitColumn).toStdString();
    item.keyName = row.Text(keyColumn).toStdString();
    for (size_t k = 0; k < item.codes.size(); ++k) item.codes[k] = row.Text(CodeColumns[k]).toStdString();
    return item;
}

}  // namespace

void AddTransmitEntry(CodeDatabase& db) {
    const TableView& units = db.ADOTableUnits;
    const TableView& keys = db.ADOTableCodes;
    TableView& trans = db.ADOTableTrans;
    const int protocol = units.HasCurrent() ? units.Int("Protocol") : 0;
    const int modulation = units.HasCurrent() ? units.Int("Modulation") : 0;
    trans.Append();
    try {
        trans.SetText("UnitName", Text(units, "Name"));
        trans.SetText("KeyName", Text(keys, "Name"));
        trans.SetInt("Protocol", protocol);
        trans.SetInt("Modulation", modulation);
        for (const char* column : CodeColumns) trans.SetText(column, Text(keys, column));
        trans.SetInt("Repeat", 0);
        trans.SetInt("Pause", NewEntryPauseMs);
        trans.Post();
    } catch (const DbError&) {
        trans.Cancel();
        throw;
    }
}

void DeleteTransmitEntry(CodeDatabase& db) {
    TableView& trans = db.ADOTableTrans;
    if (trans.IsOpen() && trans.HasCurrent()) trans.Delete();
}

std::vector<TransmitItem> TransmitListItems(CodeDatabase& db) {
    TableView& trans = db.ADOTableTrans;
    trans.Post();
    QSqlQuery carrier(db.ADOConnection.Db());
    if (!carrier.prepare(QStringLiteral(
            "SELECT \"Carrier\" FROM \"tblUnits\" WHERE \"Name\" = ? ORDER BY \"ID\" LIMIT 1")))
        throw DbError(ErrorText(carrier.lastError()));
    std::map<QString, uint32_t> carriers;  // by unit name
    std::vector<TransmitItem> items;
    for (int i = 0; i < trans.RecordCount(); ++i) {
        const TableRow& row = trans.RowAt(i);
        TransmitItem item = ItemOf(row, "UnitName", "KeyName");
        item.repeat = row.Int("Repeat");
        item.pauseMs = row.Int("Pause");
        const QString unit = row.Text("UnitName");
        auto known = carriers.find(unit);
        if (known == carriers.end()) {
            carrier.bindValue(0, unit);
            if (!carrier.exec()) throw DbError(ErrorText(carrier.lastError()));
            const uint32_t hz =
                carrier.next() ? CarrierHz(carrier.value(0).toString().toStdString()) : DefaultCarrierHz;
            carrier.finish();
            known = carriers.emplace(unit, hz).first;
        }
        item.carrierHz = known->second;
        items.push_back(std::move(item));
    }
    return items;
}

TransmitItem CurrentKeyItem(CodeDatabase& db) {
    TransmitItem item = ItemOf(db.ADOTableCodes.Current(), "Name", "Name");
    item.unitName = db.ADOTableUnits.Text("Name").toStdString();
    item.carrierHz = CarrierHz(db.ADOTableUnits.Text("Carrier").toStdString());
    return item;
}

}  // namespace tovanel
