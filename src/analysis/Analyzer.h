// The analysis pipeline: classification of marks and spaces, header and
// trailer marks, recognition, then decoding.
#pragma once

#include <cstdint>

#include "analysis/CodeFrame.h"

namespace tovanel {

// The one tolerance of the analyser and all decoders: x and n differ by less
// than a quarter of the larger one (against 1000 it accepts 751..1332).
// Computed wide so that no input overflows; the result equals the 32-bit
// computation wherever that is defined.
constexpr bool Near(int64_t x, int64_t n) {
    const int64_t diff = x > n ? x - n : n - x;
    const int64_t larger = x > n ? x : n;
    return diff < larger / 4;
}

// The lengths near a length m >= 0, without a division: for d >= 0,
// Near(d, m) holds exactly when m - m / 4 + 1 <= d <= (4m - 4) / 3 (rounded
// down), which no d meets below m = 4. Near is symmetric, so this is also
// the range of means a duration m is near. Neither end falls as m grows.
struct NearRange {
    int64_t first;
    int64_t last;
    static constexpr NearRange Of(int64_t m) {
        return {m - (m >> 2) + 1, static_cast<int64_t>(static_cast<uint64_t>(4 * m + 2) / 3) - 2};
    }
    constexpr bool Holds(int64_t d) const { return d >= first && d <= last; }
};

// sum / members for a sum from 0 to 2^39 - 1 and 1 to 200 members, by a
// multiplication: (sum * ceil(2^48 / members)) >> 48. The factor's rounding
// error (below members) times the sum stays below 2^47, so the quotient is
// exact.
int64_t QuotientOf(int64_t sum, int32_t members);

// Stable sort of the first n class means, ascending, counts moved in step;
// equal means keep their order.
void SortClasses(int32_t means[], int32_t counts[], int32_t n);

// Stages before recognition: resets the results, checks the length, groups
// marks and spaces into classes, assigns every duration its class and marks
// header and trailer. False when the frame is too short or a duration fits
// no final class.
bool ClassifyFrame(CodeFrame& frame);

// Analyses one frame in place with the given forced modulation and protocol
// (0 = automatic); the generic extraction reads its layout from `layout`.
// Returns true when the frame was decoded (by a protocol decoder, by the
// generic extraction or as a repeat code). The record is complete either way.
bool AnalyzeFrame(CodeFrame& frame, int32_t forcedModulation, int32_t forcedProtocol,
                  const DecodeSettings& layout);

// The same with the program's global decoding settings as layout.
bool AnalyzeFrame(CodeFrame& frame, int32_t forcedModulation, int32_t forcedProtocol);

}  // namespace tovanel
