// Building IR frames for tests: nominal protocol timings, receiver
// distortion, and analysis of a duration list in a fresh record.
#pragma once

#include <climits>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "analysis/Analyzer.h"
#include "analysis/CodeFrame.h"

namespace tovanel::test {

using Durations = std::vector<int32_t>;

// A fresh, all-zero record on the heap (a record is about 10 KiB).
inline std::unique_ptr<CodeFrame> NewFrame() {
    auto f = std::make_unique<CodeFrame>();
    ClearFrame(*f);
    return f;
}

inline std::unique_ptr<CodeFrame> FrameOf(const Durations& d, int32_t slot = 0) {
    auto f = NewFrame();
    const size_t n = d.size() < size_t{MaxDurations} ? d.size() : size_t{MaxDurations};
    if (n > 0) std::memcpy(f->Durations, d.data(), n * sizeof(int32_t));
    f->Count = static_cast<int32_t>(n);
    f->SlotIndex = slot;
    int64_t total = 0;
    for (size_t i = 0; i < n; ++i) total += d[i];
    f->Total = total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
    return f;
}

struct Analysed {
    std::unique_ptr<CodeFrame> frame;
    bool decoded;
    CodeFrame* operator->() const { return frame.get(); }
    CodeFrame& operator*() const { return *frame; }
};

inline Analysed Analyse(const Durations& d, int32_t slot = 0, int32_t forcedModulation = 0,
                        int32_t forcedProtocol = 0, const DecodeSettings& layout = {}) {
    auto f = FrameOf(d, slot);
    const bool ok = AnalyzeFrame(*f, forcedModulation, forcedProtocol, layout);
    return {std::move(f), ok};
}

// The positions whose Flags hold `flag`, as closed ranges [first, last],
// over the whole array (marks beyond Count included).
using Ranges = std::vector<std::pair<int, int>>;
inline Ranges FlagRanges(const CodeFrame& f, uint32_t flag) {
    Ranges r;
    for (int i = 0; i < MaxDurations; ++i) {
        if (!(f.Flags[i] & flag)) continue;
        if (!r.empty() && r.back().second == i - 1)
            r.back().second = i;
        else
            r.emplace_back(i, i);
    }
    return r;
}

// Bits in the order they are sent.
using Bits = std::vector<int>;

// `n` bits of `value`, low bit first or high bit first.
inline Bits BitsOf(uint64_t value, int n, bool lowFirst) {
    Bits bits;
    for (int k = 0; k < n; ++k) bits.push_back(lowFirst ? (value >> k) & 1 : (value >> (n - 1 - k)) & 1);
    return bits;
}

inline Bits Concat(std::initializer_list<Bits> parts) {
    Bits all;
    for (const Bits& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Pulse-distance frame: optional header pair, one mark/space pair per bit,
// final mark.
struct PulseDistanceTiming {
    int32_t headerMark, headerSpace;  // 0, 0: no header
    int32_t mark, zeroSpace, oneSpace;
};

inline Durations PulseDistance(const PulseDistanceTiming& t, const Bits& bits) {
    Durations d;
    if (t.headerMark > 0) {
        d.push_back(t.headerMark);
        d.push_back(t.headerSpace);
    }
    for (int b : bits) {
        d.push_back(t.mark);
        d.push_back(b ? t.oneSpace : t.zeroSpace);
    }
    d.push_back(t.mark);
    return d;
}

inline constexpr PulseDistanceTiming NecTiming{9000, 4500, 560, 560, 1690};

// An NEC frame of four bytes as sent, each low bit first.
inline Durations NecBytes(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return PulseDistance(NecTiming, Concat({BitsOf(b0, 8, true), BitsOf(b1, 8, true),
                                            BitsOf(b2, 8, true), BitsOf(b3, 8, true)}));
}

// A standard NEC frame: address, its complement, command, its complement.
inline Durations NecFrame(uint8_t adr, uint8_t cmd) {
    return NecBytes(adr, uint8_t(~adr), cmd, uint8_t(~cmd));
}

// What a real receiver does to a clean frame: marks come out longer and
// spaces shorter by `stretch` µs, plus a deterministic jitter of up to
// `jitterPercent` of each duration.
inline Durations Distort(Durations d, int32_t stretch = 100, int jitterPercent = 3,
                         uint32_t seed = 12345) {
    for (size_t i = 0; i < d.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        const int32_t range = d[i] * jitterPercent / 100;
        const int32_t jitter =
            range > 0 ? static_cast<int32_t>((seed >> 8) % uint32_t(2 * range + 1)) - range : 0;
        d[i] += (i % 2 == 0 ? stretch : -stretch) + jitter;
        if (d[i] < 1) d[i] = 1;
    }
    return d;
}

// What a sound card makes of a frame: every edge falls on a 48 kHz sample,
// and durations are whole samples converted back (samples x 1000 / 48).
inline Durations Quantise48k(const Durations& d) {
    Durations out;
    int64_t edge = 0, previous = 0;
    for (int32_t v : d) {
        edge += v;
        const int64_t sample = (edge * 48 + 500) / 1000;
        out.push_back(static_cast<int32_t>((sample - previous) * 1000 / 48));
        previous = sample;
    }
    return out;
}

}  // namespace tovanel::test
