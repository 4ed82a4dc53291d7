// The kernel's reading: time per frame to read a received key press of
// every kernel protocol (first frame and three repeats, receiver
// distortion included), and the encoders' time per key press. Each
// benchmark reports its unit time as "per_frame" or "per_press".
#include <benchmark/benchmark.h>

#include <vector>

#include "analysis/rc/RcEncoders.h"
#include "analysis/rc/RcReading.h"
#include "support/Frames.h"

namespace tovanel {
namespace {

// Four frames of one key press per protocol, as a receiver delivers them.
std::vector<std::vector<test::Durations>> ReceivedPresses() {
    std::vector<std::vector<test::Durations>> presses;
    uint32_t seed = 1;
    for (const RcProtocolInfo& p : RcProtocols()) {
        std::vector<test::Durations> frames;
        for (const RcFrame& f : EncodeRc(p.protocol, 0x12345678 & p.scancodeMask, false, 4))
            frames.push_back(test::Distort(f.durations, 100, 5, seed++));
        presses.push_back(std::move(frames));
    }
    return presses;
}

void BM_RcReadBurst(benchmark::State& state) {
    const auto presses = ReceivedPresses();
    std::vector<std::vector<RcDurations>> bursts;
    size_t frames = 0;
    for (const auto& p : presses) {
        bursts.emplace_back(p.begin(), p.end());
        frames += p.size();
    }
    for (auto _ : state)
        for (const auto& b : bursts) benchmark::DoNotOptimize(ReadRcBurst(b));
    state.counters["per_frame"] = benchmark::Counter(static_cast<double>(frames),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

void BM_RcEncodePress(benchmark::State& state) {
    const auto protocols = RcProtocols();
    for (auto _ : state)
        for (const RcProtocolInfo& p : protocols)
            benchmark::DoNotOptimize(EncodeRc(p.protocol, 0x12345678 & p.scancodeMask, true, 4));
    state.counters["per_press"] = benchmark::Counter(static_cast<double>(protocols.size()),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

BENCHMARK(BM_RcReadBurst);
BENCHMARK(BM_RcEncodePress);

}  // namespace
}  // namespace tovanel
