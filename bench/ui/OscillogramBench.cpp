// Painting the oscillogram of a full recording buffer: ten slots of 199
// durations, every mark shaded, texts in both columns and 4096 raw samples
// per slot, as after a long frame from the sound card.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include <QImage>
#include <QPainter>

#include "ui/Main/Oscillogram.h"

namespace tovanel {
namespace {

// A pulse-distance frame of 199 durations: header, 98 bits, final mark,
// with every role the painter shades and the received signal as samples.
void FillSlot(CodeFrame& f, int slot) {
    std::memset(&f, 0, sizeof f);
    f.SlotIndex = slot;
    f.Period = slot == 0 ? 0 : 108000;
    int i = 0;
    f.Durations[i++] = 9000;
    f.Durations[i++] = 4500;
    for (int bit = 0; bit < 98; ++bit) {
        f.Durations[i++] = 560 + (bit * 7) % 40;
        f.Durations[i++] = (bit * 5 + slot) % 3 == 0 ? 1690 : 560;
    }
    f.Durations[i++] = 560;
    f.Count = i;
    static const uint32_t roles[] = {StartBit, ToggleBit, ModeBit, AdrBit, AdrBit | CheckCopy,
                                     CmdBit, CmdBit | CheckCopy};
    f.Flags[0] = f.Flags[1] = Header;
    for (int k = 2; k + 1 < f.Count; ++k) f.Flags[k] = roles[(k - 2) / 28];
    f.Flags[f.Count - 1] = Trailer;
    for (int k = 0; k < f.Count; ++k) f.Total += f.Durations[k];

    // The receiver's output, low during marks, sampled at 48 kHz from 16
    // samples before the first edge.
    int64_t edge = 16 * 1000 / 48, t = 0;
    int k = 0;
    for (int j = 0; j < MaxSamples; ++j, t = int64_t{j} * 1000 / 48) {
        while (k < f.Count && t >= edge) edge += f.Durations[k++];
        const bool mark = t >= 16 * 1000 / 48 && k % 2 == 1;
        f.Samples[j] = static_cast<int16_t>((mark ? -12000 : 12000) + (j * 37) % 300);
    }
    f.SampleCount = MaxSamples;

    f.Modulation = 1;
    f.Protocol = 3;
    f.IsRepeat = slot > 0;
    f.ModeBits = 4;
    f.Mode = 0xA;
    f.AdrBits = 16;
    f.Adr = 0xFB04;
    f.CmdBits = 8;
    f.Cmd = 0x08;
}

std::unique_ptr<FrameBuffer> FullBuffer() {
    auto buffer = std::make_unique<FrameBuffer>();
    for (int slot = 0; slot < SlotCount; ++slot) FillSlot(buffer->Slots[slot], slot);
    buffer->FillCount = SlotCount;
    return buffer;
}

// Painting into the paint box's cached image, as after every frame.
void BM_PaintFullBuffer(benchmark::State& state) {
    const auto buffer = FullBuffer();
    const QRect box(0, 0, OscillogramWidth(*buffer), OscillogramHeight);
    QImage image(box.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        PaintOscillogram(painter, *buffer, box);
    }
    state.counters["width"] = box.width();
}

// The same with a new image each time, as tovanel-analyze --plot does.
void BM_RenderFullBuffer(benchmark::State& state) {
    const auto buffer = FullBuffer();
    for (auto _ : state) benchmark::DoNotOptimize(RenderOscillogram(*buffer));
}

BENCHMARK(BM_PaintFullBuffer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderFullBuffer)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tovanel
