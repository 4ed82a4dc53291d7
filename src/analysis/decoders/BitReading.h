// Bit reading shared by the protocol decoders: the threshold between the two
// shortest classes, mark/space pairs read against it, and the complement
// check of protocols that send inverted copies of their fields.
#pragma once

#include <cstdint>
#include <span>

#include "analysis/CodeFrame.h"

namespace tovanel {

// Count bounded by the arrays: decoders that walk to the end of the frame
// stay inside them whatever the record says.
inline int32_t FrameLength(const CodeFrame& frame) {
    return frame.Count < 0 ? 0 : frame.Count > MaxDurations ? MaxDurations : frame.Count;
}

// Midpoint of the two shortest space classes; with a single space class,
// 1.5 times its mean, so that all its spaces read as short.
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

inline constexpr bool LowFirst = true;
inline constexpr bool HighFirst = false;

// Where a field lies: the position of the mark that begins its first bit
// (a half-bit position in the bi-phase decoders), its bit count as the
// layout states it, and its order.
struct Field {
    int32_t start;
    int32_t bits;
    bool lowFirst;
};

// Record a field's layout in the frame (start, bit count, order).
void SetAdrLayout(CodeFrame& frame, const Field& field);
void SetCmdLayout(CodeFrame& frame, const Field& field);

// Reads exactly the bits a field's layout states (ReadPairBits).
uint64_t ReadField(CodeFrame& frame, const Field& field, int32_t threshold, BitSource source,
                   uint32_t setFlags, uint32_t clearFlags = 0);

// Roles given to the classes of one kind by comparing their means with a
// list of nominal lengths; role r is nominal r. Classes are examined
// shortest first, and a class that takes a role already held replaces the
// holder, so each role ends with the longest class that qualifies.
struct ClassRoles {
    int8_t role[MaxClasses];  // by class index; -1: none
    bool allFit;              // every class examined was near some nominal

    // The role of a class number as stored in ClassIndex; -1 for none and
    // for any number outside the class table.
    int Of(int32_t classIndex) const {
        return classIndex >= 0 && classIndex < MaxClasses ? role[classIndex] : -1;
    }
};

enum class RoleChoice {
    FirstNear,  // the first nominal, in list order, that the mean is near
    Nearest,    // the nearest of the nominals it is near; ties the earlier
};

ClassRoles AssignRoles(const int32_t means[], int32_t count, std::span<const int32_t> nominals,
                       RoleChoice choice = RoleChoice::FirstNear);

}  // namespace tovanel
