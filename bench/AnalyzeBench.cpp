// AnalyzeFrame on a typical pulse-distance frame and on a worst case.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "analysis/Analyzer.h"

namespace tovanel {
namespace {

std::vector<int32_t> NecDurations() {
    // A received NEC key press, address 0x04, command 0x08, with the usual
    // receiver distortion.
    std::vector<int32_t> d{9080, 4420};
    const uint32_t bits = 0x04u | (0xFBu << 8) | (0x08u << 16) | (0xF7u << 24);
    for (int k = 0; k < 32; ++k) {
        d.push_back(640 + (k * 7) % 23);
        d.push_back(((bits >> k) & 1) ? 1610 - (k * 5) % 19 : 480 + (k * 3) % 17);
    }
    d.push_back(650);
    return d;
}

std::vector<int32_t> WorstCase() {
    // 199 durations spread over eight classes of each kind, with the last
    // length near no final mean: every stage runs to its bound.
    std::vector<int32_t> d;
    static const int32_t lengths[] = {300, 500, 800, 1300, 2100, 3400, 5500, 8900};
    for (int i = 0; i < 199; ++i) d.push_back(lengths[(i * 3 + i / 8) % 8] + (i % 5) * 10);
    return d;
}

void Run(benchmark::State& state, const std::vector<int32_t>& d) {
    auto frame = std::make_unique<CodeFrame>();
    ClearFrame(*frame);
    const DecodeSettings layout{};
    for (auto _ : state) {
        std::memcpy(frame->Durations, d.data(), d.size() * sizeof(int32_t));
        frame->Count = static_cast<int32_t>(d.size());
        frame->SlotIndex = 0;
        benchmark::DoNotOptimize(AnalyzeFrame(*frame, 0, 0, layout));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_AnalyzeNec67(benchmark::State& state) { Run(state, NecDurations()); }
void BM_AnalyzeWorstCase200(benchmark::State& state) { Run(state, WorstCase()); }

BENCHMARK(BM_AnalyzeNec67);
BENCHMARK(BM_AnalyzeWorstCase200);

}  // namespace
}  // namespace tovanel
