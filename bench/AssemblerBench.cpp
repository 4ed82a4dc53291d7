// The frame assembler's cost per frame: storing a frame in its slot (the
// record past the frame's end cleared), analysing it and the hand-over.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/FrameAssembler.h"
#include "support/Frames.h"

namespace tovanel {
namespace {

// Frames of one burst, 40 ms apart: the ten slots fill in turn, and every
// tenth frame begins the next burst after a pause.
void Submit(benchmark::State& state, const std::vector<int32_t>& d) {
    auto buffer = std::make_unique<SharedFrameBuffer>();
    SharedDecodeSettings settings;
    uint32_t now = 0;
    int64_t notes = 0;
    FrameAssembler assembler(*buffer, settings, [&now] { return now; },
                             [&notes](int32_t, bool) { ++notes; });
    int k = 0;
    for (auto _ : state) {
        now += k++ % SlotCount == 0 ? BurstPauseMs + 1 : 40;
        assembler.SubmitFrame(UnknownGap, d.data(), static_cast<int32_t>(d.size()));
    }
    benchmark::DoNotOptimize(notes);
    state.SetItemsProcessed(state.iterations());
}

void BM_SubmitFrameNec67(benchmark::State& state) {
    Submit(state, test::Distort(test::NecFrame(0x04, 0x08)));
}
void BM_SubmitFrameRepeat3(benchmark::State& state) {
    Submit(state, test::Distort({9000, 2250, 560}));
}

BENCHMARK(BM_SubmitFrameNec67);
BENCHMARK(BM_SubmitFrameRepeat3);

}  // namespace
}  // namespace tovanel
