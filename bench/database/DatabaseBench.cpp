// The code database at size on SQLite: 100 units of 1,000 keys each, and
// one unit of 100,000 keys. Moving through a unit's keys, changing the
// current unit, loading a key into the recording buffer, recomputing a
// unit's keys, duplicating a unit, searching all units for a key and
// importing a lircd.conf of 500 keys; on the large unit also listing,
// walking and recomputing it, each with the process's peak memory while it
// ran ("peak_MiB").
//
// --unit-database=PATH keeps the large unit's database in PATH (made there
// when missing), so that the command-line tools can be measured on it too.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstring>
#include <ostream>
#include <streambuf>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "analysis/Recognition.h"
#include "bench/database/BenchDatabase.h"
#include "database/CodeDatabase.h"
#include "database/CodeFileImport.h"
#include "database/CodeText.h"
#include "database/KeyCodes.h"
#include "database/KeySearch.h"
#include "database/Units.h"
#include "tools/db/DbTool.h"

namespace tovanel {
namespace {

constexpr int Units = 100;
constexpr int KeysPerUnit = 1000;

void OpenDatabase(CodeDatabase& db, const QString& path) {
    const OpenOutcome r = db.Open(QStringLiteral("Driver=QSQLITE;Database=") + path, QStringLiteral("bench.ini"));
    if (!r.ok) qFatal("%s", qPrintable(r.text));
}

// The database, made once for all benchmarks, and the six views on it.
struct Fixture {
    QTemporaryDir dir;
    CodeDatabase db;
    std::vector<int32_t> unitIds;

    Fixture() {
        const QString path = dir.filePath(QStringLiteral("bench.db"));
        unitIds = WriteDatabase(path, Units, KeysPerUnit);
        OpenDatabase(db, path);
        db.ADOTableUnits.Locate(unitIds[Units / 2]);
    }
};

// One unit of 100,000 keys, current in the views.
constexpr int LargeUnitKeys = 100000;
QString unitDatabasePath;  // --unit-database, or empty

struct LargeUnit {
    QTemporaryDir dir;
    QString path;
    CodeDatabase db;

    LargeUnit() {
        path = unitDatabasePath.isEmpty() ? dir.filePath(QStringLiteral("unit.db")) : unitDatabasePath;
        if (!QFileInfo::exists(path)) WriteDatabase(path, 1, LargeUnitKeys);
        OpenDatabase(db, path);
    }

    // The command-line tool on the unit, its output discarded.
    void RunTool(std::vector<std::string> command) {
        struct Discard : std::streambuf {
            int_type overflow(int_type c) override { return c; }
        } discard;
        std::ostream out(&discard);
        command.insert(command.begin(), {"--connection", "Driver=QSQLITE;Database=" + path.toStdString()});
        if (DbMain(command, out, out) != 0) qFatal("tovanel-db failed");
    }
};

LargeUnit& Unit() {
    static LargeUnit* u = new LargeUnit;
    return *u;
}


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
    CodeDatabase& db = Db().db;
    for (auto _ : state) benchmark::DoNotOptimize(LoadKeyIntoBuffer(db, *buffer, layout));
}

void BM_RecomputeUnitKeys(benchmark::State& state) {
    CodeDatabase& db = Db().db;
    int n = 0;
    for (auto _ : state) n = RecomputeUnitKeys(db, DecodeSettings{});
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

// `tovanel-db list keys` and `tovanel-db recompute` on the large unit.
void BM_ListLargeUnit(benchmark::State& state) {
    LargeUnit& unit = Unit();
    ResetPeak();
    for (auto _ : state) unit.RunTool({"list", "keys", "Unit 000"});
    state.counters["peak_MiB"] = PeakMiB();
}

// The same when every key gets new values: the unit's protocol is forced
// to RCA2 (read by the generic layout, all zero) and back to automatic in
// turn, so that each pass rewrites all 100,000 keys.
void BM_RecomputeLargeUnitChanged(benchmark::State& state) {
    CodeDatabase& db = Unit().db;
    int32_t protocol = 0;
    ResetPeak();
    for (auto _ : state) {
        state.PauseTiming();
        protocol = protocol == 0 ? 15 : 0;
        db.ADOTableUnits.Edit();
        db.ADOTableUnits.SetInt("Protocol", protocol);
        db.ADOTableUnits.Post();
        state.ResumeTiming();
        RecomputeUnitKeys(db, DecodeSettings{});
    }
    db.ADOTableUnits.Edit();
    db.ADOTableUnits.SetInt("Protocol", 0);
    db.ADOTableUnits.Post();
    RecomputeUnitKeys(db, DecodeSettings{});
    state.counters["peak_MiB"] = PeakMiB();
}

void BM_RecomputeLargeUnitTool(benchmark::State& state) {
    LargeUnit& unit = Unit();
    ResetPeak();
    for (auto _ : state) unit.RunTool({"recompute", "Unit 000"});
    state.counters["peak_MiB"] = PeakMiB();
}

// What the key search does on the large unit: First to Eof, reading the
// stored values and the first frame of every key.
void BM_WalkLargeUnit(benchmark::State& state) {
    TableView& keys = Unit().db.ADOTableCodes;
    auto frame = std::make_unique<CodeFrame>();
    int64_t sum = 0;
    ResetPeak();
    for (auto _ : state) {
        keys.Refresh();
        for (keys.First(); !keys.Eof(); keys.Next()) {
            sum += keys.Int("Mode") + keys.Int("Adr") + keys.Int("Cmd");
            const QString code = keys.Text("Code1");
            ParseCodeText(std::u16string_view(reinterpret_cast<const char16_t*>(code.constData()),
                                              static_cast<size_t>(code.size())),
                          *frame);
            sum += frame->Count;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.counters["keys"] = keys.RecordCount();
    state.counters["peak_MiB"] = PeakMiB();
}

// RecomputeUnitKeys on the large unit, whose keys already hold their
// values (a recompute after an update of the analyser that changed none).
void BM_RecomputeLargeUnit(benchmark::State& state) {
    CodeDatabase& db = Unit().db;
    int n = 0;
    ResetPeak();
    for (auto _ : state) n = RecomputeUnitKeys(db, DecodeSettings{});
    state.counters["keys"] = n;
    state.counters["peak_MiB"] = PeakMiB();
}

// The floor under a recompute that changes every key: the same 100,000
// UPDATEs by ID, one prepared statement, through SQLite's C interface
// alone (no Qt, no analysis), on a connection of its own; rolled back
// after each pass, untimed, so that the unit stays as it is.
void BM_LargeUnitSqliteUpdatesAlone(benchmark::State& state) {
    LargeUnit& unit = Unit();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(unit.path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        state.SkipWithError("cannot open the unit's database");
        sqlite3_close(db);
        return;
    }
    std::vector<int64_t> ids;
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT \"ID\" FROM \"tblCodes\" ORDER BY \"ID\"", -1, &select, nullptr);
    while (sqlite3_step(select) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(select, 0));
    sqlite3_finalize(select);
    sqlite3_stmt* update = nullptr;
    sqlite3_prepare_v2(db, "UPDATE \"tblCodes\" SET \"Mode\" = ?, \"Adr\" = ?, \"Cmd\" = ? WHERE \"ID\" = ?", -1,
                       &update, nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        state.ResumeTiming();
        for (const int64_t id : ids) {
            sqlite3_bind_int(update, 1, -1);
            sqlite3_bind_int(update, 2, -1);
            sqlite3_bind_int(update, 3, static_cast<int>(id));
            sqlite3_bind_int64(update, 4, id);
            if (sqlite3_step(update) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(db));
            sqlite3_reset(update);
        }
        state.PauseTiming();
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        state.ResumeTiming();
    }
    sqlite3_finalize(update);
    sqlite3_close(db);
    state.counters["keys"] = static_cast<double>(ids.size());
}

BENCHMARK(BM_OpenDatabase)->Unit(benchmark::kMillisecond);

// A copy of a unit of 1,000 keys written through the second views in one
// transaction, then deleted with its keys in another; the database is as
// before after each pass.
void BM_DuplicateAndDeleteUnit(benchmark::State& state) {
    CodeDatabase& db = Db().db;
    const int32_t source = Db().unitIds[Units / 2];
    for (auto _ : state) {
        db.ADOTableUnits.Locate(source);
        DuplicateUnit(db);
        DeleteUnit(db);
    }
    db.ADOTableUnits.Locate(source);
    state.counters["keys"] = db.ADOTableCodes.RecordCount();
}

// The automatic search over all units (from the first unit), row by row
// through the views or by a query per unit, for the last unit's last key
// and for a key stored nowhere.
void BM_SearchAllUnits(benchmark::State& state) {
    const SearchWay way = state.range(0) == 0 ? SearchWay::Walk : SearchWay::Query;
    const bool absent = state.range(1) == 1;
    const KeySearchValues v{Protocol::Nec, Modulation::PulseDistance, 0, absent ? 0x4000u : uint64_t{Units - 1},
                            absent ? 0u : uint64_t{LastKeyCmd}};
    CodeDatabase& db = Db().db;
    for (auto _ : state) {
        const KeySearchResult r = SearchNextKey(db, v, true, false, way);
        if (r.found == absent) state.SkipWithError("the search found the wrong thing");
    }
}
// A lircd.conf of one NEC remote with 500 keys imported into a small
// database in one transaction (read, analysed, stored); the unit is
// deleted again between passes, untimed.
void BM_ImportLircdConf500Keys(benchmark::State& state) {
    constexpr int Keys = 500;
    QTemporaryDir dir;
    std::string conf =
        "begin remote\n  name BIG\n  bits 16\n  flags SPACE_ENC|CONST_LENGTH\n  header 9000 4500\n"
        "  one 560 1690\n  zero 560 560\n  ptrail 560\n  repeat 9000 2250\n  pre_data_bits 16\n"
        "  pre_data 0x20DF\n  gap 108000\n  begin codes\n";
    for (int k = 0; k < Keys; ++k) {
        const int code = ((k & 0xff) << 8) | (~k & 0xff);
        conf += "    KEY_" + std::to_string(k) + " 0x" + QString::number(code, 16).toStdString() + "\n";
    }
    conf += "  end codes\nend remote\n";
    const QString file = dir.filePath(QStringLiteral("big.lircd.conf"));
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(conf.data(), static_cast<qint64>(conf.size())) < 0)
            qFatal("cannot write the lircd.conf");
    }
    const QString path = dir.filePath(QStringLiteral("import.db"));
    WriteDatabase(path, 1, 10);
    CodeDatabase db;
    OpenDatabase(db, path);
    for (auto _ : state) {
        const ImportReport r = ImportCodeFile(db, file);
        if (!r.Stored() || r.keys.size() != Keys) state.SkipWithError("the import failed");
        state.PauseTiming();
        DeleteUnit(db);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Keys);
}

BENCHMARK(BM_MoveThroughUnitKeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefilterToAnotherUnit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadKeyIntoBuffer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecomputeUnitKeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DuplicateAndDeleteUnit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportLircdConf500Keys)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SearchAllUnits)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"query", "absent"})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ListLargeUnit)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WalkLargeUnit)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RecomputeLargeUnit)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RecomputeLargeUnitChanged)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_RecomputeLargeUnitTool)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LargeUnitSqliteUpdatesAlone)->Unit(benchmark::kMillisecond)->Iterations(4);

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
    // Qt SQL loads its drivers as plug-ins through the application object.
    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        constexpr const char* option = "--unit-database=";
        if (std::strncmp(argv[i], option, std::strlen(option)) != 0) continue;
        tovanel::unitDatabasePath = QString::fromLocal8Bit(argv[i] + std::strlen(option));
        for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
        --argc;
        --i;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
