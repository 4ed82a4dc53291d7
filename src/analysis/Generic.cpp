#include "analysis/Generic.h"

#include "analysis/Recognition.h"
#include "analysis/decoders/BitReading.h"

namespace tovanel {

namespace {

// Reads one field space by space; false as soon as a space lies past the
// frame. Bits from position 64 on of a low-bit-first field have no place in
// the 64-bit value and are dropped.
bool ReadField(CodeFrame& f, int32_t start, int32_t bits, bool lowFirst, bool inverse,
               int32_t threshold, uint32_t flag, uint64_t& value) {
    value = 0;
    for (int64_t k = 0; k < bits; ++k) {
        const int64_t i = int64_t{start} + 2 * k + 1;
        if (i < 1 || i >= f.Count) return false;
        f.Flags[i - 1] |= flag;
        f.Flags[i] |= flag;
        const uint64_t bit = (f.Durations[i] > threshold) != inverse ? 1 : 0;
        if (!lowFirst)
            value = value << 1 | bit;
        else if (k < 64)
            value |= bit << k;
    }
    return true;
}

}  // namespace

bool DecodeGeneric(CodeFrame& f, const DecodeSettings& s) {
    if (f.Modulation != Modulation::PulseDistance) return false;
    if (f.HasHeader) {
        f.Flags[0] |= Header;
        f.Flags[1] |= Header;
    }
    const int32_t t = BitThreshold(f);

    f.AdrStart = s.AdrStart;
    f.AdrBits = s.AdrBits;
    f.AdrOrder = s.AdrOrder;
    if (!ReadField(f, s.AdrStart, s.AdrBits, s.AdrOrder, s.AdrInverse, t, AdrBit, f.Adr))
        return false;

    f.CmdStart = s.CmdStart;
    f.CmdBits = s.CmdBits;
    f.CmdOrder = s.CmdOrder;
    return ReadField(f, s.CmdStart, s.CmdBits, s.CmdOrder, s.CmdInverse, t, CmdBit, f.Cmd);
}

bool DecodeGeneric(CodeFrame& frame) { return DecodeGeneric(frame, GlobalDecodeSettings().Get()); }

}  // namespace tovanel
