#include "database/CodeFileExport.h"

#include <memory>
#include <span>

#include <QSaveFile>

#include "analysis/Recognition.h"
#include "capture/TransmitPlan.h"
#include "database/CodeDatabase.h"
#include "database/CodeText.h"
#include "database/KeyCodes.h"

namespace tovanel {

namespace {

const char* const CodeColumns[4] = {"Code1", "Code2", "Code3", "Code4"};

std::u16string_view View(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.constData()), static_cast<size_t>(s.size())};
}

}  // namespace

ExportUnit CurrentUnitForExport(CodeDatabase& db, QStringList& frameless) {
    const TableView& units = db.ADOTableUnits;
    TableView& codes = db.ADOTableCodes;
    const TableRow& unit = units.Current();
    ExportUnit out;
    out.name = unit.Text("Name").toStdString();
    out.carrierHz = static_cast<int32_t>(CarrierHz(unit.Text("Carrier").toStdString()));
    const DecodeSettings layout = UnitLayout(unit);
    const int32_t modulation = unit.Int("Modulation"), protocol = unit.Int("Protocol");
    auto burst = std::make_unique<FrameBuffer>();
    out.keys.reserve(static_cast<size_t>(codes.RecordCount()));
    for (int i = 0; i < codes.RecordCount(); ++i) {
        const TableRow& row = codes.RowAt(i);
        const QString texts[4] = {row.Text("Code1"), row.Text("Code2"), row.Text("Code3"), row.Text("Code4")};
        ExportKey key;
        key.name = row.Text("Name").toStdString();
        // The key loaded as the window loads it: its protocol is the
        // analyser's reading of the first frame with the unit's settings.
        LoadCodeTextsIntoBuffer({View(texts[0]), View(texts[1]), View(texts[2]), View(texts[3])}, modulation,
                                protocol, layout, *burst);
        for (const CodeFrame& f : std::span(burst->Slots, 4)) {
            if (f.Count <= 0) break;
            key.frames.push_back(
                {key.frames.empty() ? 0 : f.Period, std::vector<int32_t>(f.Durations, f.Durations + f.Count)});
        }
        if (key.frames.empty()) frameless << row.Text("Name");
        ExportKeyValues& v = key.stored;
        v.protocol = ProtocolName(burst->Slots[0].Count > 0 ? burst->Slots[0].Protocol : 0);
        v.mode = row.Int("Mode");
        v.address = AdrText(row.Int("Adr")).toStdString();
        v.command = CmdText(row.Int("Cmd")).toStdString();
        for (size_t k = 0; k < v.codes.size(); ++k) v.codes[k] = row.Text(CodeColumns[k]).toStdString();
        out.keys.push_back(std::move(key));
    }
    return out;
}

bool WriteExportFile(const QString& path, const std::string& text, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !file.commit()) {
        error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool ExportCurrentUnit(CodeDatabase& db, const CodeFileFormatEntry& format, const QString& path, QString& summary,
                       QString& error) {
    if (!db.ADOTableUnits.IsOpen() || !db.ADOTableUnits.HasCurrent() || format.write == nullptr) {
        error = QStringLiteral("There is no unit to export");
        return false;
    }
    QStringList frameless;
    const ExportUnit unit = CurrentUnitForExport(db, frameless);
    const std::string text = format.write(unit);
    // A keymap of a unit none of whose keys a kernel protocol reads.
    if (text.empty()) {
        error = QStringLiteral("No key of the unit \"%1\" can be written as %2")
                    .arg(QString::fromStdString(unit.name), QString::fromLatin1(format.name));
        return false;
    }
    if (!WriteExportFile(path, text, error)) return false;
    summary = QStringLiteral("Exported %1 keys of the unit \"%2\" to %3 (%4).")
                  .arg(QString::number(unit.keys.size()), QString::fromStdString(unit.name), path,
                       QString::fromLatin1(format.name));
    if (!frameless.isEmpty())
        summary += QStringLiteral(" Keys without a stored frame: %1.").arg(frameless.join(QStringLiteral(", ")));
    return true;
}

}  // namespace tovanel
