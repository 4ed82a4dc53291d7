// Reading code files: a lircd.conf of 500 NEC keys, every key encoded into
// the frames of one press, and the same keys as Pronto hex and as a Linux
// keymap (read: each scancode encoded into frames; written: each key's
// frames read as the kernel would).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "database/formats/CodeFile.h"
#include "database/formats/CodeFileWriters.h"
#include "database/formats/Keymap.h"

namespace tovanel {
namespace {

constexpr int Keys = 500;

std::string NecConf() {
    std::string s =
        "begin remote\n  name BIG\n  bits 16\n  flags SPACE_ENC|CONST_LENGTH\n  header 9000 4500\n"
        "  one 560 1690\n  zero 560 560\n  ptrail 560\n  repeat 9000 2250\n  pre_data_bits 16\n"
        "  pre_data 0x20DF\n  gap 108000\n  begin codes\n";
    for (int k = 0; k < Keys; ++k) {
        char line[64];
        std::snprintf(line, sizeof line, "    KEY_%d 0x%02X%02X\n", k, k & 0xff, ~k & 0xff);
        s += line;
    }
    return s + "  end codes\nend remote\n";
}

// Counts what arrives, as an importer would consume it.
struct CountingSink : CodeFileSink {
    size_t durations = 0;
    void BeginUnit(const CodeFileUnit&) override {}
    void AddKey(const CodeFileKey& key) override {
        for (const CodeFileFrame& f : key.frames) durations += f.durations.size();
    }
    void Skip(int, const std::string&, const std::string&) override {}
    void Error(int, const std::string&) override {}
};

void BM_ReadLircdConf500Keys(benchmark::State& state) {
    const std::string text = NecConf();
    for (auto _ : state) {
        CountingSink sink;
        ReadCodeFileText(text, sink);
        benchmark::DoNotOptimize(sink.durations);
    }
    state.SetItemsProcessed(state.iterations() * Keys);
}
BENCHMARK(BM_ReadLircdConf500Keys)->Unit(benchmark::kMillisecond);

// The 500 keys as a unit to write out.
ExportUnit NecUnit() {
    CodeFileCollector c;
    ReadCodeFileText(NecConf(), c);
    ExportUnit unit{"BIG", 38000, {}};
    for (const CodeFileKey& k : c.units.at(0).keys) unit.keys.push_back({k.name, k.frames, {}});
    return unit;
}

void BM_ReadPronto500Keys(benchmark::State& state) {
    const std::string text = WritePronto(NecUnit());
    for (auto _ : state) {
        CountingSink sink;
        ReadCodeFileText(text, sink);
        benchmark::DoNotOptimize(sink.durations);
    }
    state.SetItemsProcessed(state.iterations() * Keys);
}
BENCHMARK(BM_ReadPronto500Keys)->Unit(benchmark::kMillisecond);

void BM_ReadKeymap500Keys(benchmark::State& state) {
    const std::string text = WriteKeymap(NecUnit());
    for (auto _ : state) {
        CountingSink sink;
        ReadKeymap(text, sink);
        if (sink.durations == 0) state.SkipWithError("no key read");
        benchmark::DoNotOptimize(sink.durations);
    }
    state.SetItemsProcessed(state.iterations() * Keys);
}
BENCHMARK(BM_ReadKeymap500Keys)->Unit(benchmark::kMillisecond);

void BM_WriteKeymap500Keys(benchmark::State& state) {
    const ExportUnit unit = NecUnit();
    for (auto _ : state) benchmark::DoNotOptimize(WriteKeymap(unit));
    state.SetItemsProcessed(state.iterations() * Keys);
}
BENCHMARK(BM_WriteKeymap500Keys)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tovanel
