#include "analysis/decoders/BitReading.h"

#include <algorithm>

#include "analysis/Analyzer.h"

namespace tovanel {

int32_t BitThreshold(const CodeFrame& f) {
    // With a single space class there is no second mean to split against
    // (the table's second entry is left over from an earlier frame): every
    // space of the class then reads as short.
    if (f.SpaceClassCount < 2) return static_cast<int32_t>(int64_t{f.SpaceMeans[0]} * 3 / 2);
    return static_cast<int32_t>((int64_t{f.SpaceMeans[0]} + f.SpaceMeans[1]) / 2);
}

int32_t MarkBitThreshold(const CodeFrame& f) {
    return static_cast<int32_t>((int64_t{f.MarkMeans[0]} + f.MarkMeans[1]) / 2);
}

uint64_t ReadPairBits(CodeFrame& f, int32_t start, int32_t bits, bool lowFirst,
                      int32_t threshold, BitSource source, uint32_t setFlags,
                      uint32_t clearFlags) {
    // The pairs from `start` on that lie inside the arrays: reading stops at
    // the first that does not.
    if (start < 0 || start >= MaxDurations) return 0;
    const int32_t pairs = std::min(bits, (MaxDurations - start) / 2);
    if (pairs <= 0) return 0;
    const int32_t* carriers = f.Durations + start + (source == BitSource::Space ? 1 : 0);
    uint32_t* flags = f.Flags + start;
    const uint32_t keep = ~clearFlags;
    uint64_t value = 0;
    for (int32_t k = 0; k < pairs; ++k) {
        flags[2 * k] = (flags[2 * k] | setFlags) & keep;
        flags[2 * k + 1] = (flags[2 * k + 1] | setFlags) & keep;
        const uint64_t bit = carriers[2 * k] > threshold ? 1 : 0;
        if (!lowFirst)
            value = value << 1 | bit;
        else if (k < 64)  // later bits have no place in the value
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
    const int32_t end = std::min(last, MaxDurations - 1);
    for (int32_t i = std::max(first, 0); i <= end; ++i) f.Flags[i] = (f.Flags[i] | set) & ~clear;
}

void SetAdrLayout(CodeFrame& f, const Field& field) {
    f.AdrStart = field.start;
    f.AdrBits = field.bits;
    f.AdrOrder = field.lowFirst;
}

void SetCmdLayout(CodeFrame& f, const Field& field) {
    f.CmdStart = field.start;
    f.CmdBits = field.bits;
    f.CmdOrder = field.lowFirst;
}

uint64_t ReadField(CodeFrame& f, const Field& field, int32_t threshold, BitSource source,
                   uint32_t setFlags, uint32_t clearFlags) {
    return ReadPairBits(f, field.start, field.bits, field.lowFirst, threshold, source, setFlags,
                        clearFlags);
}

namespace {

int64_t Distance(int64_t a, int64_t b) { return a > b ? a - b : b - a; }

// The nominal a class mean takes under `choice`; -1 when it is near none.
int ChooseRole(int32_t mean, std::span<const int32_t> nominals, RoleChoice choice) {
    int chosen = -1;
    for (size_t r = 0; r < nominals.size(); ++r) {
        if (!Near(mean, nominals[r])) continue;
        if (choice == RoleChoice::FirstNear) return static_cast<int>(r);
        if (chosen < 0 || Distance(mean, nominals[r]) < Distance(mean, nominals[chosen]))
            chosen = static_cast<int>(r);
    }
    return chosen;
}

}  // namespace

ClassRoles AssignRoles(const int32_t means[], int32_t count, std::span<const int32_t> nominals,
                       RoleChoice choice) {
    ClassRoles roles;
    std::fill(std::begin(roles.role), std::end(roles.role), int8_t{-1});
    roles.allFit = true;
    int holder[MaxClasses];  // class holding each role, by role
    std::fill(std::begin(holder), std::end(holder), -1);
    const size_t usable = std::min(nominals.size(), size_t{MaxClasses});
    nominals = nominals.first(usable);
    for (int32_t k = 0; k < std::clamp(count, 0, MaxClasses); ++k) {
        const int r = ChooseRole(means[k], nominals, choice);
        if (r < 0) {
            roles.allFit = false;
            continue;
        }
        if (holder[r] >= 0) roles.role[holder[r]] = -1;  // the longer class takes over
        holder[r] = k;
        roles.role[k] = static_cast<int8_t>(r);
    }
    return roles;
}

}  // namespace tovanel
