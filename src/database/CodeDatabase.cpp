#include "database/CodeDatabase.h"

#include "database/KeyCodes.h"

namespace tovanel {

CodeDatabase::CodeDatabase()
    : ADOTableUnits(QStringLiteral("ADOTableUnits"), ADOConnection, UnitsTable()),
      ADOTableCodes(QStringLiteral("ADOTableCodes"), ADOConnection, CodesTable()),
      ADOTableCodes2(QStringLiteral("ADOTableCodes2"), ADOConnection, CodesTable()),
      ADOTableUnits3(QStringLiteral("ADOTableUnits3"), ADOConnection, UnitsTable()),
      ADOTableCodes3(QStringLiteral("ADOTableCodes3"), ADOConnection, CodesTable()),
      ADOTableTrans(QStringLiteral("ADOTableTrans"), ADOConnection, TransmitTable()) {
    ADOTableUnits.SetOrder(QStringLiteral("Name"));
    ADOTableCodes.SetOrder(KeyOrderByName);
    ADOTableCodes.SetMaster(&ADOTableUnits);
    ADOTableCodes.AddCalcColumn("strAdr");
    ADOTableCodes.AddCalcColumn("strCmd");
    ADOTableCodes.CalcFields = [](TableRow& row) {
        row.SetCalc("strAdr", AdrText(row.Int("Adr")));
        row.SetCalc("strCmd", CmdText(row.Int("Cmd")));
    };
    ADOTableCodes2.SetOrder(QStringLiteral("UnitID"));
    ADOTableCodes2.SetMaster(&ADOTableUnits);
    ADOTableUnits3.SetOrder(QStringLiteral("Name"));
    ADOTableCodes3.SetOrder(QStringLiteral("UnitID"));
    ADOTableCodes3.SetMaster(&ADOTableUnits3);
    ADOTableTrans.SetOrder(QString());
}

CodeDatabase::~CodeDatabase() { Close(); }

std::array<TableView*, 6> CodeDatabase::Views() {
    return {&ADOTableUnits, &ADOTableUnits3, &ADOTableCodes, &ADOTableCodes2, &ADOTableCodes3, &ADOTableTrans};
}

OpenOutcome CodeDatabase::Open(const QString& connectionString, const QString& settingsFilePath,
                               Connection::Mode mode) {
    Close();
    OpenOutcome outcome;
    QString error;
    if (!ADOConnection.Open(connectionString, &error, mode)) {
        outcome.ok = false;
        outcome.caption = QStringLiteral("Error open data base");
        outcome.text = QStringLiteral("Check up 'DB=' in file ") + settingsFilePath;
        outcome.detail = error;
        outcome.readable = ADOConnection.WriteRefused();
        return outcome;
    }
    ReloadGuardScope guard(ReloadGuard);
    for (TableView* view : Views()) {
        try {
            view->Open();
        } catch (const DbError& e) {
            outcome.ok = false;
            outcome.caption = QStringLiteral("Error open data base tables");
            outcome.text = e.Text();
            outcome.detail = e.Text();
            return outcome;
        }
    }
    return outcome;
}

void CodeDatabase::Close() {
    const auto views = Views();
    for (auto it = views.rbegin(); it != views.rend(); ++it) (*it)->Close();
    ADOConnection.Close();
}

}  // namespace tovanel
