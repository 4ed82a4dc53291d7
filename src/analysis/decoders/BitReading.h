// Bit reading shared by the protocol decoders: the threshold between the two
// shortest classes, mark/space pairs read against it, and the complement
// check of protocols that send inverted copies of their fields.
#pragma once

#include <cstdint>

#include "analysis/CodeFrame.h"

namespace tovanel {

// Midpoint of the two shortest space classes, as the entries stand.
int32_t BitThreshold(const CodeFrame& frame);
// Midpoint of the two shortest mark classes (pulse-length coding).
int32_t MarkBitThreshold(const CodeFrame& frame);

// Which duration of each pair carries the bit.
enum class BitSource { Space, Mark };

// Reads `bits` pairs (start + 2k, start + 2k + 1): a bit is 1 when its
// duration is strictly longer than `threshold`. Low bit first puts bit k at
// bit k; high bit first shifts each bit in from the right. Both durations of
// every pair read get `setFlags` and lose `clearFlags`. Pairs that would lie
// outside the record's arrays are not read.
uint64_t ReadPairBits(CodeFrame& frame, int32_t start, int32_t bits, bool lowFirst,
                      int32_t threshold, BitSource source, uint32_t setFlags,
                      uint32_t clearFlags = 0);

// True when the upper m bits of a 2m-bit value are the complement of its
// lower m bits.
bool ComplementPasses(uint64_t value, int m);

// Low m bits of a value.
uint64_t LowBits(uint64_t value, int m);

// ORs `set` into, and removes `clear` from, Flags[first..last].
void MarkRange(CodeFrame& frame, int32_t first, int32_t last, uint32_t set, uint32_t clear = 0);

}  // namespace tovanel
