// Pulse-distance protocols that follow their fields with inverted copies:
// NEC (command byte, then its complement), Sanyo (13-bit address and command
// byte, each followed by its complement) and RCA (4-bit address and command
// byte, then complements of both). The copies confirm the reading and are
// marked CheckCopy for the oscillogram. When NEC's or RCA's copies do not
// match, the same durations are read a second time under another layout:
// NEC (rev) and RCA2. Every field is sent low bit first, after a header pair.
#include <utility>

#include "analysis/Recognition.h"
#include "analysis/decoders/BitReading.h"
#include "analysis/decoders/Decoders.h"

namespace tovanel {

namespace {

// NEC: four bytes after the header. The first two are the address (the
// second its complement or an extension), the last two the command and its
// complement. NEC (rev) sends the command bytes first.
constexpr int32_t NecFirstBytes = 2;
constexpr int32_t NecLastBytes = 34;
constexpr int32_t NecByte = 8;

// Sanyo: 13 address bits and their complement, then 8 command bits and
// theirs.
constexpr int32_t SanyoAdrBits = 13;
constexpr int32_t SanyoCmdBits = 8;

// RCA: address and command, then their complements in the same order.
constexpr Field RcaAdr{2, 4, LowFirst};
constexpr Field RcaCmd{10, 8, LowFirst};
constexpr int32_t RcaAdrCopy = 26;
constexpr int32_t RcaCmdCopy = 34;
constexpr int32_t RcaCopiesEnd = 49;
// RCA2: the same 24 bits as one 8-bit address and one 16-bit command.
constexpr Field Rca2Adr{2, 8, LowFirst};
constexpr Field Rca2Cmd{18, 16, LowFirst};

// All three need the header and two space lengths to split the bits by.
bool Admit(CodeFrame& f, int32_t& threshold) {
    if (!f.HasHeader || f.SpaceClassCount < 2) return false;
    threshold = BitThreshold(f);
    f.HasHeader = true;
    MarkRange(f, 0, 1, Header);
    return true;
}

// `bits` bits read low first from the pairs at `start`, marked `flag`.
uint64_t Read(CodeFrame& f, int32_t start, int32_t bits, int32_t threshold, uint32_t flag,
              uint32_t clear = 0) {
    return ReadPairBits(f, start, bits, LowFirst, threshold, BitSource::Space, flag, clear);
}

// When the upper m bits of `value` (read from the pairs at `copy`) are the
// complement of its lower m bits, cuts it to them and marks the copy.
bool KeepChecked(CodeFrame& f, uint64_t& value, int m, int32_t copy) {
    if (!ComplementPasses(value, m)) return false;
    value = LowBits(value, m);
    MarkRange(f, copy, copy + 2 * m - 1, CheckCopy);
    return true;
}

}  // namespace

bool DecodeNec(CodeFrame& f) {
    int32_t t = 0;
    if (!Admit(f, t)) return false;
    // Adr keeps both address bytes: the second is often an extension.
    SetAdrLayout(f, {NecFirstBytes, NecByte, LowFirst});
    f.Adr = Read(f, NecFirstBytes, 2 * NecByte, t, AdrBit);
    SetCmdLayout(f, {NecLastBytes, NecByte, LowFirst});
    f.Cmd = Read(f, NecLastBytes, 2 * NecByte, t, CmdBit);
    if (KeepChecked(f, f.Cmd, NecByte, NecLastBytes + 2 * NecByte)) return true;

    // NEC (rev): the command bytes come first. A failed check here keeps all
    // 16 command bits.
    f.Protocol = Protocol::NecRev;
    SetCmdLayout(f, {NecFirstBytes, NecByte, LowFirst});
    SetAdrLayout(f, {NecLastBytes, NecByte, LowFirst});
    MarkRange(f, NecFirstBytes, NecLastBytes - 1, CmdBit, AdrBit);
    MarkRange(f, NecLastBytes, NecLastBytes + 4 * NecByte - 1, AdrBit, CmdBit);
    std::swap(f.Adr, f.Cmd);
    KeepChecked(f, f.Cmd, NecByte, NecFirstBytes + 2 * NecByte);
    return true;
}

bool DecodeSanyo(CodeFrame& f) {
    int32_t t = 0;
    if (!Admit(f, t)) return false;
    // A failed check keeps the wider value and decoding goes on.
    SetAdrLayout(f, {2, SanyoAdrBits, LowFirst});
    f.Adr = Read(f, f.AdrStart, 2 * SanyoAdrBits, t, AdrBit);
    KeepChecked(f, f.Adr, SanyoAdrBits, f.AdrStart + 2 * SanyoAdrBits);
    // The command follows the address and its copy: 2 x 2 durations per bit.
    SetCmdLayout(f, {f.AdrStart + 4 * f.AdrBits, SanyoCmdBits, LowFirst});
    f.Cmd = Read(f, f.CmdStart, 2 * SanyoCmdBits, t, CmdBit);
    KeepChecked(f, f.Cmd, SanyoCmdBits, f.CmdStart + 2 * SanyoCmdBits);
    return true;
}

bool DecodeRca(CodeFrame& f) {
    int32_t t = 0;
    if (!Admit(f, t)) return false;
    SetAdrLayout(f, RcaAdr);
    f.Adr = ReadField(f, RcaAdr, t, BitSource::Space, AdrBit);
    SetCmdLayout(f, RcaCmd);
    f.Cmd = ReadField(f, RcaCmd, t, BitSource::Space, CmdBit);
    const uint64_t adrCopy = Read(f, RcaAdrCopy, RcaAdr.bits, t, AdrBit);
    const uint64_t cmdCopy = Read(f, RcaCmdCopy, RcaCmd.bits, t, CmdBit);
    if (ComplementPasses(f.Adr | adrCopy << RcaAdr.bits, RcaAdr.bits) &&
        ComplementPasses(f.Cmd | cmdCopy << RcaCmd.bits, RcaCmd.bits)) {
        MarkRange(f, RcaAdrCopy, RcaCopiesEnd, CheckCopy);
        return true;
    }

    // RCA2 has no copies: the 24 bits are read afresh as two wider fields.
    f.Protocol = Protocol::Rca2;
    SetAdrLayout(f, Rca2Adr);
    f.Adr = ReadField(f, Rca2Adr, t, BitSource::Space, AdrBit, CmdBit);
    SetCmdLayout(f, Rca2Cmd);
    f.Cmd = ReadField(f, Rca2Cmd, t, BitSource::Space, CmdBit, AdrBit);
    return true;
}

}  // namespace tovanel
