// AnalyzeFrame throughput per decoder family, on received frames of every
// protocol (receiver distortion included), and on a mix of all of them;
// the classification stages alone on the same mix for comparison. Each
// benchmark reports the time per frame as "per_frame".
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "analysis/Analyzer.h"
#include "support/Protocols.h"

namespace tovanel {
namespace {

using namespace test;

struct Received {
    Durations d;
    int32_t slot;
};

Received Rx(const Durations& clean, int32_t stretch = 100, int32_t slot = 0, uint32_t seed = 12345) {
    return {Distort(clean, stretch, 3, seed), slot};
}

std::vector<Received> Complement() {
    return {Rx(NecFrame(0x04, 0x08)), Rx(NecBytes(0x08, 0xF7, 0x34, 0x12)), Rx(SanyoFrame(0x0123, 0x45)),
            Rx(RcaFrame(0x5, 0x3C)),
            Rx(PulseDistance(RcaTiming, Concat({BitsOf(0x5, 4, true), BitsOf(0x3C, 8, true),
                                                BitsOf(0xA, 4, true), BitsOf(0x00, 8, true)})))};
}

std::vector<Received> Biphase() {
    return {Rx(Rc5Frame(1, 0, 0x05, 0x35)), Rx(Rc5Frame(1, 1, 0x1F, 0x00)), Rx(Rc6Frame(0, 1, 0x04, 0x0C), 70),
            Rx(Rc6Frame(6, 0, 0x80, BitsOf(0x123456, 24, false)), 70), Rx(NokiaFrame(0x12, 0xA5))};
}

std::vector<Received> FixedLayout() {
    const bool H = false, L = true;
    return {Rx(JvcFrame(0x03, 0x17, true)),
            Rx(JvcFrame(0x03, 0x17, false), 100, 1),
            Rx(SharpFrame(0x11, 0x5A)),
            Rx(SonyFrame(0x095, 12)),
            Rx(SonyFrame(0xA5A5A, 20)),
            Rx(PulseDistance(Recs80Timing, Concat({{1, 1, 0}, BitsOf(5, 4, H), BitsOf(0x2D, 6, H)}))),
            Rx(XsatFrame(0x21, 0x43)),
            Rx(PulseDistance(Rec80Timing, Concat({BitsOf(0x89ABCDEF, 32, L), BitsOf(0x5C, 8, L)})), 100, 0, 7),
            Rx(PulseDistance(KonkaTiming, Concat({BitsOf(0x55, 7, H), BitsOf(0x2A3, 10, H)}))),
            Rx(PulseDistance(MitsubishiTiming, Concat({BitsOf(0x47, 8, H), BitsOf(0x1C, 8, H)}))),
            Rx(PulseDistance(ThomsonTiming, Concat({BitsOf(0x9, 4, H), {1}, BitsOf(0x35, 7, H)})))};
}

std::vector<Received> Symbol() {
    return {Rx(IttFrame(5, 33), 15), Rx(IttFrame(12, 7), 15), Rx(RcmmFrame({1, 2, 0, 1, 0, 2, 1, 1, 0, 0, 2, 1}), 40),
            Rx(RcmmFrame({3, 1, 0, 1, 3, 3, 0, 1, 1, 0, 3, 0, 1, 1, 0, 3}), 40)};
}

std::vector<Received> Mix() {
    std::vector<Received> all;
    for (auto family : {Complement, Biphase, FixedLayout, Symbol})
        for (Received& r : family()) all.push_back(std::move(r));
    return all;
}

// The whole analysis, or only the classification stages before recognition
// (what is left when decoding is taken away).
bool Analyse(CodeFrame& f, const DecodeSettings& layout) { return AnalyzeFrame(f, 0, 0, layout); }
bool ClassifyOnly(CodeFrame& f, const DecodeSettings&) { return ClassifyFrame(f); }

void Run(benchmark::State& state, const std::vector<Received>& frames,
         bool (*analyse)(CodeFrame&, const DecodeSettings&) = Analyse) {
    auto frame = std::make_unique<CodeFrame>();
    ClearFrame(*frame);
    const DecodeSettings layout{};
    for (auto _ : state) {
        for (const Received& r : frames) {
            // What a producer does before every analysis.
            std::memcpy(frame->Durations, r.d.data(), r.d.size() * sizeof(int32_t));
            std::memset(frame->Flags, 0, r.d.size() * sizeof(uint32_t));
            frame->Count = static_cast<int32_t>(r.d.size());
            frame->SlotIndex = r.slot;
            benchmark::DoNotOptimize(analyse(*frame, layout));
            benchmark::ClobberMemory();
        }
    }
    const auto n = static_cast<double>(frames.size());
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(frames.size()));
    state.counters["per_frame"] =
        benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_DecodeComplement(benchmark::State& s) { Run(s, Complement()); }
void BM_DecodeBiphase(benchmark::State& s) { Run(s, Biphase()); }
void BM_DecodeFixedLayout(benchmark::State& s) { Run(s, FixedLayout()); }
void BM_DecodeSymbol(benchmark::State& s) { Run(s, Symbol()); }
void BM_DecodeMix(benchmark::State& s) { Run(s, Mix()); }
void BM_ClassifyOnlyMix(benchmark::State& s) { Run(s, Mix(), ClassifyOnly); }

BENCHMARK(BM_DecodeComplement);
BENCHMARK(BM_DecodeBiphase);
BENCHMARK(BM_DecodeFixedLayout);
BENCHMARK(BM_DecodeSymbol);
BENCHMARK(BM_DecodeMix);
BENCHMARK(BM_ClassifyOnlyMix);

}  // namespace
}  // namespace tovanel
