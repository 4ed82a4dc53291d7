// Pulse-distance protocols with more than two space lengths, read space by
// space from the class the pipeline put each space in rather than against a
// threshold: ITT (spaces of 100, 200 and 300 µs: 0, 1, lead-in and trailer)
// and RC-MM (four lengths carrying two bits each). Fields are assembled
// high bit first.
#include <algorithm>
#include <iterator>

#include "analysis/Analyzer.h"
#include "analysis/decoders/BitReading.h"
#include "analysis/decoders/Decoders.h"

namespace tovanel {

namespace {

constexpr int32_t IttShort = 100, IttMiddle = 200, IttLong = 300;
constexpr int32_t IttLength = 27;

constexpr int32_t RcmmHeaderMark = 417;
constexpr int32_t RcmmHeaderSpace = 278;
constexpr int32_t RcmmSpaces[] = {278, 444, 611, 778};  // symbols 0..3
constexpr int32_t RcmmShortFrameSymbols = 12;           // the 24-bit variant

// Reads the spaces first, first + 2, ... (`count` of them) as symbols of
// `width` bits each, shifted into `value` high first. When `flag` is given,
// a space and the mark before it get it before the space is read. A space
// past the end of a short frame is read like any other: its ClassIndex is
// 0 there, so it reads as the symbol of space class 0. Fails at a space
// whose class holds no symbol; what was assembled stays in `value`.
bool ReadSymbols(CodeFrame& f, const ClassRoles& symbols, int32_t first, int32_t count, int width,
                 uint32_t flag, uint64_t& value) {
    for (int32_t k = 0; k < count; ++k) {
        const int32_t i = first + 2 * k;
        if (i < 0 || i >= MaxDurations) return false;
        if (flag != 0) MarkRange(f, i - 1, i, flag);
        const int symbol = symbols.Of(f.ClassIndex[i]);
        if (symbol < 0) return false;
        value = value << width | static_cast<uint64_t>(symbol);
    }
    return true;
}

}  // namespace

bool DecodeItt(CodeFrame& f) {
    if (f.Count != IttLength || f.MarkClassCount != 1 || f.SpaceClassCount != 3 ||
        f.ClassIndex[3] != 0 || !Near(f.SpaceMeans[0], IttShort) ||
        !Near(f.SpaceMeans[1], IttMiddle) || !Near(f.SpaceMeans[2], IttLong))
        return false;
    f.HasHeader = true;
    MarkRange(f, 0, 1, Header);
    f.HasTrailer = true;
    MarkRange(f, f.Count - 2, f.Count - 1, Trailer);

    // The shortest space is 0, the middle one 1; a long one in a field
    // rejects the frame. Both fields are counted from 1, and the upper half
    // of the raw addresses counts down: 8 .. 15 give 8 .. 1.
    ClassRoles bits{};
    std::fill(std::begin(bits.role), std::end(bits.role), int8_t{-1});
    bits.role[0] = 0;
    bits.role[1] = 1;
    SetAdrLayout(f, {4, 4, HighFirst});
    if (!ReadSymbols(f, bits, f.AdrStart + 1, f.AdrBits, 1, 0, f.Adr)) return false;
    if (f.Adr > 7) f.Adr = ~f.Adr & 0xF;
    f.Adr += 1;
    SetCmdLayout(f, {f.AdrStart + 2 * f.AdrBits, 6, HighFirst});
    if (!ReadSymbols(f, bits, f.CmdStart + 1, f.CmdBits, 1, 0, f.Cmd)) return false;
    f.Cmd += 1;
    return true;
}

bool DecodeRcmm(CodeFrame& f) {
    // RC-MM's header mark is less than three data marks long and its header
    // space is the shortest space, so the pipeline's header tests miss it;
    // its nominal lengths identify it instead.
    if (!f.HasHeader &&
        !(Near(f.Durations[0], RcmmHeaderMark) && Near(f.Durations[1], RcmmHeaderSpace)))
        return false;
    f.HasHeader = true;
    MarkRange(f, 0, 1, Header);

    // 778 µs is near 611 as well: each class takes its nearest nominal.
    const ClassRoles symbols =
        AssignRoles(f.SpaceMeans, f.SpaceClassCount, RcmmSpaces, RoleChoice::Nearest);
    // N symbols lie between the header and the final mark. The 20-bit
    // command takes the ten symbols up to space 25 whatever N is, so a
    // shorter frame (12-bit remotes send N = 6) reads its missing symbols
    // past the end.
    const bool short24 = (f.Count - 3) / 2 == RcmmShortFrameSymbols;

    f.ModeStart = 2;
    f.ModeBits = short24 ? 2 : 4;
    uint64_t mode = 0;
    const bool modeRead = ReadSymbols(f, symbols, 3, f.ModeBits / 2, 2, ModeBit, mode);
    f.Mode = static_cast<int32_t>(mode);
    if (!modeRead) return false;
    if (short24) {
        SetAdrLayout(f, {4, 2, HighFirst});
        if (!ReadSymbols(f, symbols, 5, 1, 2, AdrBit, f.Adr)) return false;
    }
    SetCmdLayout(f, {6, short24 ? 8 : 20, HighFirst});
    return ReadSymbols(f, symbols, 7, f.CmdBits / 2, 2, CmdBit, f.Cmd);
}

}  // namespace tovanel
