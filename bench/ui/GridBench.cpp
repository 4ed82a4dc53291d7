// The key grid as the window shows it, over a unit of 100,000 keys: paged
// through from the first key to the last, each page painted. The grid asks
// for the rows it shows, so the view reads only those ("peak_MiB": the
// process's peak memory while it ran).
#include <benchmark/benchmark.h>

#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include "bench/database/BenchDatabase.h"
#include "database/CodeDatabase.h"
#include "database/TableViewModel.h"

namespace tovanel {
namespace {

void BM_PageThroughKeyGridOfLargeUnit(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("unit.db"));
    WriteDatabase(path, 1, 100000);
    CodeDatabase db;
    if (!db.Open(QStringLiteral("Driver=QSQLITE;Database=") + path, QStringLiteral("bench.ini")).ok)
        return state.SkipWithError("cannot open the database");
    TableViewModel model(db.ADOTableCodes, {{QStringLiteral("Name"), QStringLiteral("Name")},
                                            {QStringLiteral("Adr"), QStringLiteral("Adr")},
                                            {QStringLiteral("Cmd"), QStringLiteral("Cmd")}});
    QTableView grid;
    grid.setModel(&model);
    grid.resize(400, 600);
    grid.show();
    QScrollBar* bar = grid.verticalScrollBar();
    int pages = 0;
    ResetPeak();
    for (auto _ : state) {
        for (int at = 0;; at += bar->pageStep()) {
            bar->setValue(at);
            benchmark::DoNotOptimize(grid.viewport()->grab());
            ++pages;
            if (at >= bar->maximum()) break;
        }
    }
    state.counters["pages"] = pages;
    state.counters["peak_MiB"] = PeakMiB();
}

BENCHMARK(BM_PageThroughKeyGridOfLargeUnit)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tovanel
