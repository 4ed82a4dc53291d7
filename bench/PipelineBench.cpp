// tovanel-analyze over a corpus: 100,000 received NEC frames read from a
// file, analysed and written as JSON to /dev/null, the whole program in
// process. Two shapes: every frame a key press of its own, and key presses
// of one frame and three repeat codes; in the durations format (a frame a
// line) and as mode2 text (a pulse or space a line). BM_PipelineAnalyzeOnly analyses the
// same frames with AnalyzeFrame alone, the floor the pipeline is measured
// against (CPU time per frame = time / 100,000).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "analysis/Analyzer.h"
#include "support/Frames.h"
#include "support/Protocols.h"
#include "tools/analyze/AnalyzeTool.h"

namespace tovanel {
namespace {

constexpr int Frames = 100000;

// Key `k`'s NEC frame as a receiver delivers it, with the pause after it.
test::Durations KeyFrame(int k) {
    test::Durations d = test::Distort(test::NecFrame(static_cast<uint8_t>(k / 256), static_cast<uint8_t>(k)),
                                      80, 3, static_cast<uint32_t>(k));
    d.push_back(40000);
    return d;
}

const test::Durations RepeatCode{9080, 2180, 640, 96000};

void AppendLine(std::string& text, const test::Durations& d) {
    for (int32_t v : d) text += std::to_string(v) + ' ';
    text.back() = '\n';
}

// The same as mode2 text: a pulse or space per line, key presses 400 ms apart.
void AppendMode2(std::string& text, const test::Durations& d, bool lastOfPress) {
    for (size_t i = 0; i < d.size(); ++i) {
        text += i % 2 == 0 ? "pulse " : "space ";
        text += std::to_string(lastOfPress && i + 1 == d.size() ? 400000 : d[i]) + '\n';
    }
}

// `framesPerPress` frames to a key press: the key's frame, then repeat codes.
std::string Corpus(int framesPerPress, bool mode2) {
    std::string text;
    for (int f = 0; f < Frames; f += framesPerPress) {
        const test::Durations key = KeyFrame(f / framesPerPress);
        if (mode2) {
            AppendMode2(text, key, framesPerPress == 1);
            for (int r = 1; r < framesPerPress; ++r) AppendMode2(text, RepeatCode, r + 1 == framesPerPress);
            continue;
        }
        AppendLine(text, key);
        for (int r = 1; r < framesPerPress; ++r) AppendLine(text, RepeatCode);
        text += '\n';
    }
    return text;
}

struct CorpusFile {
    std::string path;
    CorpusFile(int framesPerPress, bool mode2)
        : path((std::filesystem::temp_directory_path() /
                ("tovanel-pipeline-" + std::to_string(::getpid()) + "-" + std::to_string(framesPerPress)))
                   .string()) {
        std::ofstream(path) << Corpus(framesPerPress, mode2);
    }
    ~CorpusFile() { std::filesystem::remove(path); }
};

void Pipeline(benchmark::State& state, int framesPerPress, bool mode2 = false) {
    const CorpusFile corpus(framesPerPress, mode2);
    std::ofstream devNull("/dev/null");
    std::istringstream noInput;
    std::vector<std::string> args{corpus.path};
    if (mode2) args.insert(args.begin(), {"--input", "mode2"});
    for (auto _ : state) {
        std::ostringstream err;
        if (AnalyzeMain(args, noInput, devNull, err) != 0) {
            state.SkipWithError(err.str().c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * Frames);
}

void BM_PipelineOwnBursts(benchmark::State& state) { Pipeline(state, 1); }
void BM_PipelineFramePlusThreeRepeats(benchmark::State& state) { Pipeline(state, 4); }
void BM_PipelineMode2OwnBursts(benchmark::State& state) { Pipeline(state, 1, true); }
void BM_PipelineMode2FramePlusThreeRepeats(benchmark::State& state) { Pipeline(state, 4, true); }

void BM_PipelineAnalyzeOnly(benchmark::State& state) {
    std::vector<test::Durations> keys;
    for (int k = 0; k < 1000; ++k) {
        keys.push_back(KeyFrame(k));
        keys.back().pop_back();  // the pause is no duration of the frame
    }
    auto frame = test::NewFrame();
    const DecodeSettings layout{};
    for (auto _ : state) {
        for (int f = 0; f < Frames; ++f) {
            const test::Durations& d = keys[static_cast<size_t>(f) % keys.size()];
            std::memcpy(frame->Durations, d.data(), d.size() * sizeof(int32_t));
            frame->Count = static_cast<int32_t>(d.size());
            frame->SlotIndex = 0;
            benchmark::DoNotOptimize(AnalyzeFrame(*frame, 0, 0, layout));
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * Frames);
}

BENCHMARK(BM_PipelineOwnBursts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PipelineFramePlusThreeRepeats)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PipelineMode2OwnBursts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PipelineMode2FramePlusThreeRepeats)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PipelineAnalyzeOnly)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tovanel
