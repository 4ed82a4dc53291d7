#include "analysis/decoders/BitReading.h"

namespace tovanel {

int32_t BitThreshold(const CodeFrame& f) {
    return static_cast<int32_t>((int64_t{f.SpaceMeans[0]} + f.SpaceMeans[1]) / 2);
}

int32_t MarkBitThreshold(const CodeFrame& f) {
    return static_cast<int32_t>((int64_t{f.MarkMeans[0]} + f.MarkMeans[1]) / 2);
}

uint64_t ReadPairBits(CodeFrame& f, int32_t start, int32_t bits, bool lowFirst,
                      int32_t threshold, BitSource source, uint32_t setFlags,
                      uint32_t clearFlags) {
    uint64_t value = 0;
    for (int64_t k = 0; k < bits; ++k) {
        const int64_t mark = int64_t{start} + 2 * k;
        if (mark < 0 || mark + 1 >= MaxDurations) break;
        const int64_t carrier = source == BitSource::Space ? mark + 1 : mark;
        const uint64_t bit = f.Durations[carrier] > threshold ? 1 : 0;
        for (int64_t i = mark; i <= mark + 1; ++i) f.Flags[i] = (f.Flags[i] | setFlags) & ~clearFlags;
        if (!lowFirst)
            value = value << 1 | bit;
        else if (k < 64)
            value |= bit << k;
    }
    return value;
}

uint64_t LowBits(uint64_t value, int m) {
    return m >= 64 ? value : value & ((uint64_t{1} << m) - 1);
}

bool ComplementPasses(uint64_t value, int m) {
    if (m <= 0 || m >= 64) return false;
    return LowBits(value, m) == LowBits(~value >> m, m);
}

void MarkRange(CodeFrame& f, int32_t first, int32_t last, uint32_t set, uint32_t clear) {
    for (int32_t i = first < 0 ? 0 : first; i <= last && i < MaxDurations; ++i)
        f.Flags[i] = (f.Flags[i] | set) & ~clear;
}

}  // namespace tovanel
