// The code database at size: 100 units of 1,000 keys each on SQLite. Moving
// through a unit's keys, changing the current unit, loading a key into the
// recording buffer and recomputing a unit's keys.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "database/CodeDatabase.h"
#include "database/CodeText.h"
#include "database/KeyCodes.h"

namespace tovanel {
namespace {

constexpr int Units = 100;
constexpr int KeysPerUnit = 1000;

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

// The database, made once for all benchmarks, and the six views on it.
struct Fixture {
    QTemporaryDir dir;
    CodeDatabase db;
    std::vector<int32_t> unitIds;

    Fixture() {
        const QString path = dir.filePath(QStringLiteral("bench.db"));
        Connection c;
        QString error;
        if (!c.Open(QStringLiteral("Driver=QSQLITE;Database=") + path, &error, Connection::Mode::CreateNew) ||
            !CreateSchema(c, error))
            qFatal("%s", qPrintable(error));
        const QString repeat = Code(108000, {9000, 2250, 560});
        c.Begin();
        QSqlQuery unit(c.Db()), key(c.Db());
        unit.prepare(QStringLiteral("INSERT INTO \"tblUnits\" (\"Name\", \"Carrier\") VALUES (?, '38') RETURNING \"ID\""));
        key.prepare(QStringLiteral("INSERT INTO \"tblCodes\" (\"UnitID\", \"Name\", \"Mode\", \"Adr\", \"Cmd\", \"Code1\", "
                                   "\"Code2\", \"Code3\", \"Code4\") VALUES (?, ?, 0, ?, ?, ?, ?, ?, '')"));
        for (int u = 0; u < Units; ++u) {
            unit.addBindValue(QStringLiteral("Unit %1").arg(u, 3, 10, QChar(u'0')));
            if (!unit.exec() || !unit.next()) qFatal("cannot add a unit");
            const int32_t id = unit.value(0).toInt();
            unit.finish();
            unitIds.push_back(id);
            for (int k = 0; k < KeysPerUnit; ++k) {
                key.addBindValue(id);
                key.addBindValue(QStringLiteral("Key %1").arg(k, 4, 10, QChar(u'0')));
                key.addBindValue(u);
                key.addBindValue(k & 0xFF);
                key.addBindValue(Code(0, NecDurations(static_cast<uint32_t>(u), static_cast<uint32_t>(k))));
                key.addBindValue(repeat);
                key.addBindValue(repeat);
                if (!key.exec()) qFatal("cannot add a key");
            }
        }
        c.Commit();
        c.Close();
        const OpenOutcome r = db.Open(QStringLiteral("Driver=QSQLITE;Database=") + path, QStringLiteral("bench.ini"));
        if (!r.ok) qFatal("%s", qPrintable(r.text));
        db.ADOTableUnits.Locate(unitIds[Units / 2]);
    }
};

Fixture& Db() {
    static Fixture* f = new Fixture;
    return *f;
}

// All 1,000 keys of the current unit, First to Eof, reading what the key
// search reads; the view is refreshed first so that every row is read from
// the database, not from the view's rows of the previous pass.
void BM_MoveThroughUnitKeys(benchmark::State& state) {
    TableView& keys = Db().db.ADOTableCodes;
    int64_t sum = 0;
    for (auto _ : state) {
        keys.Refresh();
        for (keys.First(); !keys.Eof(); keys.Next()) sum += keys.Int("Mode") + keys.Int("Adr") + keys.Int("Cmd");
    }
    benchmark::DoNotOptimize(sum);
    state.counters["keys"] = keys.RecordCount();
}

// Changing the current unit: both key views re-filter to the new unit's
// 1,000 keys and read their first rows.
void BM_RefilterToAnotherUnit(benchmark::State& state) {
    TableView& units = Db().db.ADOTableUnits;
    for (auto _ : state) {
        units.Next();
        if (units.Eof()) units.First();
    }
    state.counters["keys"] = Db().db.ADOTableCodes.RecordCount();
}

void BM_LoadKeyIntoBuffer(benchmark::State& state) {
    auto buffer = std::make_unique<FrameBuffer>();
    ResetFrameBuffer(*buffer);
    const DecodeSettings layout{};
    for (auto _ : state) benchmark::DoNotOptimize(LoadKeyIntoBuffer(Db().db, *buffer, layout));
}

void BM_RecomputeUnitKeys(benchmark::State& state) {
    int n = 0;
    for (auto _ : state) n = RecomputeUnitKeys(Db().db, DecodeSettings{});
    state.counters["keys"] = n;
}

// Opening the database and its six views on 100,000 keys: the check that
// ID is each table's key comes from the schema, not from the rows.
void BM_OpenDatabase(benchmark::State& state) {
    const QString path = Db().dir.filePath(QStringLiteral("bench.db"));
    for (auto _ : state) {
        CodeDatabase db;
        if (!db.Open(QStringLiteral("Driver=QSQLITE;Database=") + path, QStringLiteral("bench.ini")).ok)
            state.SkipWithError("cannot open");
    }
}

BENCHMARK(BM_OpenDatabase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveThroughUnitKeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefilterToAnotherUnit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadKeyIntoBuffer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecomputeUnitKeys)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
    // Qt SQL loads its drivers as plug-ins through the application object.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    tovanel::Db();  // build the database before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
