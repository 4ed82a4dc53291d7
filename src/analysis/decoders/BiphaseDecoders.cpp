// Bi-phase protocols: RC-5, RC-6 and NOKIA. Every bit cell has two halves of
// equal length, one with carrier and one without, and which comes first
// gives the bit. Neighbouring halves of the same level arrive as one longer
// duration, so the decoders rebuild the sequence of halves from the
// durations by the role of each class (single, double, for RC-6 triple
// length) and then read each bit from a pair of halves.
//
// Start positions written here are half-bit positions, not duration
// positions.
#include "analysis/decoders/BitReading.h"
#include "analysis/decoders/Decoders.h"

namespace tovanel {

namespace {

// Nominal half-bit lengths, µs, in role order: one half, two halves, three.
constexpr int32_t Rc5Lengths[] = {889, 1778};
constexpr int32_t NokiaLengths[] = {500, 1000};
constexpr int32_t Rc6Lengths[] = {444, 889, 1333};
enum Role { Single = 0, Double = 1, Triple = 2 };

// Half-bit capacities: RC-5 has 14 bits, NOKIA a start bit and 16 data bits.
constexpr int Rc5Halves = 28;
constexpr int NokiaHalves = 34;
constexpr int Rc6MaxHalves = 256;
// RC-6 needs at least its mode, toggle and address: 6 + 2 + 16 halves.
constexpr int Rc6MinHalves = 24;

constexpr int Mark = 1, Space = 0;

// Which pair of halves means 1; the mirrored pair means 0.
enum class One { MarkFirst, SpaceFirst };

// The rebuilt half-bit levels of one frame, up to a capacity.
class HalfBits {
public:
    explicit HalfBits(int capacity) : capacity_(capacity) {}

    int Size() const { return n_; }
    bool Full() const { return n_ >= capacity_; }

    // Appends `count` halves of one level; false when they would not fit.
    bool Append(int level, int count) {
        if (count > capacity_ - n_) return false;
        for (int k = 0; k < count; ++k) level_[n_++] = static_cast<uint8_t>(level);
        return true;
    }

    // Reads the bits of the pairs at start, start + 2, ... into `value`.
    // Fails at an illegal pair ((0, 0) or (1, 1)) or one past the end; what
    // was assembled stays in `value`. With `marks`, marks[j] and marks[j + 1]
    // get `flag` before pair j is read.
    bool ReadPairs(const Field& field, One one, uint64_t& value, uint32_t* marks = nullptr,
                   uint32_t flag = 0) const {
        value = 0;
        for (int k = 0; k < field.bits; ++k) {
            const int j = field.start + 2 * k;
            if (j < 0 || j + 1 >= n_) return false;
            if (marks != nullptr) {
                marks[j] |= flag;
                marks[j + 1] |= flag;
            }
            if (level_[j] == level_[j + 1]) return false;
            const uint64_t bit = (level_[j] == Mark) == (one == One::MarkFirst) ? 1 : 0;
            if (!field.lowFirst)
                value = value << 1 | bit;
            else if (k < 64)
                value |= bit << k;
        }
        return true;
    }

private:
    uint8_t level_[Rc6MaxHalves];
    int n_ = 0;
    int capacity_;
};

int LevelAt(int32_t i) { return i % 2 == 0 ? Mark : Space; }

struct Roles {
    ClassRoles marks, spaces;
    bool AllFit() const { return marks.allFit && spaces.allFit; }
    int At(const CodeFrame& f, int32_t i) const {
        return (i % 2 == 0 ? marks : spaces).Of(f.ClassIndex[i]);
    }
};

// RC-5 and NOKIA: every duration from `first` adds one half per role step
// (single one, double two); durations from `flagFrom` get `flag` first.
bool AppendDurations(CodeFrame& f, int32_t first, const Roles& roles, HalfBits& half,
                     int32_t flagFrom = MaxDurations, uint32_t flag = 0) {
    for (int32_t i = first; i < FrameLength(f); ++i) {
        if (half.Full()) return false;
        if (i >= flagFrom) f.Flags[i] |= flag;
        const int role = roles.At(f, i);
        if (role < 0 || !half.Append(LevelAt(i), role + 1)) return false;
    }
    return true;
}

// A final space half is never captured: a sequence one short is completed.
bool Complete(HalfBits& half, int length) {
    if (half.Size() == length - 1) half.Append(Space, 1);
    return half.Size() == length;
}

// Records the mode at `start` and reads it from `pairs`; Mode is a 32-bit
// field, so it is read through a wide value.
bool ReadMode(CodeFrame& f, const HalfBits& half, int32_t start, const Field& pairs, One one) {
    f.ModeStart = start;
    f.ModeBits = pairs.bits;
    uint64_t mode = 0;
    const bool ok = half.ReadPairs(pairs, one, mode);
    f.Mode = static_cast<int32_t>(mode);
    return ok;
}

}  // namespace

bool DecodeRc5(CodeFrame& f) {
    const Roles roles{AssignRoles(f.MarkMeans, f.MarkClassCount, Rc5Lengths),
                      AssignRoles(f.SpaceMeans, f.SpaceClassCount, Rc5Lengths)};
    if (!roles.AllFit()) return false;

    // Durations 0..2 hold the two start bits (the first one's space half is
    // never captured). A long mark at 2 is the second start bit's mark
    // merged with the toggle bit's.
    MarkRange(f, 0, 2, ModeBit);
    if (roles.At(f, 2) == Double) {
        MarkRange(f, 2, 3, ToggleBit);
        f.Flags[4] |= CmdBit;
    } else {
        MarkRange(f, 3, 4, ToggleBit);
    }

    HalfBits half(Rc5Halves);
    half.Append(Space, 1);
    if (!AppendDurations(f, 0, roles, half, 5, CmdBit) || !Complete(half, Rc5Halves)) return false;

    // A 1 is a space half then a mark half; fields high bit first.
    if (!ReadMode(f, half, 0, {0, 2, HighFirst}, One::SpaceFirst)) return false;
    const Field adr{6, 5, HighFirst}, cmd{16, 6, HighFirst};  // the toggle pair at 4 is not decoded
    SetAdrLayout(f, adr);
    if (!half.ReadPairs(adr, One::SpaceFirst, f.Adr)) return false;
    SetCmdLayout(f, cmd);
    return half.ReadPairs(cmd, One::SpaceFirst, f.Cmd);
}

bool DecodeNokia(CodeFrame& f) {
    f.HasHeader = true;
    MarkRange(f, 0, 1, Header);
    // The longest space class is the header space and takes no role.
    const Roles roles{AssignRoles(f.MarkMeans, f.MarkClassCount, NokiaLengths),
                      AssignRoles(f.SpaceMeans, f.SpaceClassCount - 1, NokiaLengths)};
    if (!roles.AllFit()) return false;

    HalfBits half(NokiaHalves);
    if (!AppendDurations(f, 2, roles, half) || !Complete(half, NokiaHalves)) return false;

    // A start bit, then command and address low bit first; a 1 is a mark
    // half then a space half. The marks go to the half-bit positions.
    const Field cmd{2, 8, LowFirst}, adr{18, 8, LowFirst};
    SetCmdLayout(f, cmd);
    if (!half.ReadPairs(cmd, One::MarkFirst, f.Cmd, f.Flags, CmdBit)) return false;
    SetAdrLayout(f, adr);
    return half.ReadPairs(adr, One::MarkFirst, f.Adr, f.Flags, AdrBit);
}

bool DecodeRc6(CodeFrame& f) {
    // Classes near none of the lengths (the leader mark's among them) get no
    // role; a duration of such a class is rejected where it is read.
    const Roles roles{AssignRoles(f.MarkMeans, f.MarkClassCount, Rc6Lengths),
                      AssignRoles(f.SpaceMeans, f.SpaceClassCount, Rc6Lengths)};
    MarkRange(f, 2, 3, StartBit);

    HalfBits half(Rc6MaxHalves);
    // A double start-bit space holds the first half of a 0 mode bit.
    if (roles.At(f, 3) == Double) half.Append(Space, 1);

    // One duration: the halves it adds by its role in the current phase (0
    // rejects it); a triple reaches into the next phase and also gets
    // `tripleFlag`.
    int32_t i = 4;
    auto take = [&](uint32_t flag, int single, int dbl, int triple, uint32_t tripleFlag) {
        if (half.Full()) return false;
        f.Flags[i] |= flag;
        const int role = roles.At(f, i);
        const int halves = role == Single ? single : role == Double ? dbl : role == Triple ? triple : 0;
        if (halves == 0) return false;
        if (role == Triple) f.Flags[i] |= tripleFlag;
        return half.Append(LevelAt(i++), halves);
    };
    // Mode bits: a triple is the last mode half merged with the first toggle
    // half. The toggle bit is double length; each of its halves counts once.
    // The first two phases run on past Count until they are complete (at
    // most to position 11).
    while (half.Size() < 6)
        if (!take(ModeBit, 1, 2, half.Size() == 5 ? 2 : 0, ToggleBit)) return false;
    while (half.Size() < 8)
        if (!take(ToggleBit, 0, 1, 2, CmdBit)) return false;
    while (i < FrameLength(f))
        if (!take(CmdBit, 1, 2, 0, 0)) return false;
    if (half.Size() % 2 != 0) half.Append(Space, 1);
    // A truncated frame holds no complete address.
    if (half.Size() < Rc6MinHalves) return false;

    // Mode and address read a mark half first as 1; the command the reverse.
    // The mode is recorded at 2, its place when the start bit is counted.
    if (!ReadMode(f, half, 2, {0, 3, HighFirst}, One::MarkFirst)) return false;
    const Field adr{8, 8, HighFirst};  // the toggle halves 6 and 7 are not decoded
    SetAdrLayout(f, adr);
    if (!half.ReadPairs(adr, One::MarkFirst, f.Adr)) return false;
    // A command longer than 64 bits keeps the last 64 read.
    const Field cmd{24, (half.Size() - 24) / 2, HighFirst};
    SetCmdLayout(f, cmd);
    return half.ReadPairs(cmd, One::SpaceFirst, f.Cmd);
}

}  // namespace tovanel
