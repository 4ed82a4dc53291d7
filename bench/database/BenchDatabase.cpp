#include "bench/database/BenchDatabase.h"

#include <fstream>
#include <memory>
#include <string>

#include <QSqlQuery>

#include "database/CodeText.h"
#include "database/Connection.h"
#include "database/Schema.h"

namespace tovanel {

namespace {

QString Code(int32_t period, const std::vector<int32_t>& d) {
    auto f = std::make_unique<CodeFrame>();
    ClearFrame(*f);
    f->Period = period;
    f->Count = static_cast<int32_t>(d.size());
    for (size_t i = 0; i < d.size(); ++i) f->Durations[i] = d[i];
    std::string text;
    FormatCodeText(*f, text);
    return QString::fromStdString(text);
}

// A received NEC key press.
std::vector<int32_t> NecDurations(uint32_t adr, uint32_t cmd) {
    std::vector<int32_t> d{9080, 4420};
    const uint32_t bits = (adr & 0xFF) | ((~adr & 0xFF) << 8) | ((cmd & 0xFF) << 16) | ((~cmd & 0xFF) << 24);
    for (int k = 0; k < 32; ++k) {
        d.push_back(640 + (k * 7) % 23);
        d.push_back(((bits >> k) & 1) ? 1610 - (k * 5) % 19 : 480 + (k * 3) % 17);
    }
    d.push_back(650);
    return d;
}

}  // namespace

std::vector<int32_t> WriteDatabase(const QString& path, int units, int keys) {
    Connection c;
    QString error;
    if (!c.Open(QStringLiteral("Driver=QSQLITE;Database=") + path, &error, Connection::Mode::CreateNew) ||
        !CreateSchema(c, error))
        qFatal("%s", qPrintable(error));
    const QString repeat = Code(108000, {9000, 2250, 560});
    std::vector<int32_t> unitIds;
    c.Begin();
    QSqlQuery unit(c.Db()), key(c.Db());
    unit.prepare(QStringLiteral("INSERT INTO \"tblUnits\" (\"Name\", \"Carrier\") VALUES (?, '38') RETURNING \"ID\""));
    key.prepare(QStringLiteral("INSERT INTO \"tblCodes\" (\"UnitID\", \"Name\", \"Mode\", \"Adr\", \"Cmd\", \"Code1\", "
                               "\"Code2\", \"Code3\", \"Code4\") VALUES (?, ?, 0, ?, ?, ?, ?, ?, '')"));
    for (int u = 0; u < units; ++u) {
        unit.addBindValue(QStringLiteral("Unit %1").arg(u, 3, 10, QChar(u'0')));
        if (!unit.exec() || !unit.next()) qFatal("cannot add a unit");
        const int32_t id = unit.value(0).toInt();
        unit.finish();
        unitIds.push_back(id);
        for (int k = 0; k < keys; ++k) {
            key.addBindValue(id);
            key.addBindValue(QStringLiteral("Key %1").arg(k, 6, 10, QChar(u'0')));
            key.addBindValue(u);
            key.addBindValue(u == units - 1 && k == keys - 1 ? LastKeyCmd : k & 0xFF);
            key.addBindValue(Code(0, NecDurations(static_cast<uint32_t>(u + k / 256), static_cast<uint32_t>(k))));
            key.addBindValue(repeat);
            key.addBindValue(repeat);
            if (!key.exec()) qFatal("cannot add a key");
        }
    }
    c.Commit();
    c.Close();
    return unitIds;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double PeakMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

}  // namespace tovanel
