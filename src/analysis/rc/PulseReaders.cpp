// The kernel's pulse-distance and pulse-length protocols: NEC (and its
// extended and 32-bit forms), JVC, Sanyo and Sharp carry a bit in the space
// after each mark; SONY in the length of each mark; RC-MM two bits in each
// space. Every reader takes the receiver's stretch out first, then checks
// the frame's length, its leader and each bit against the protocol's own
// timings.
#include "analysis/rc/RcTiming.h"

namespace tovanel::rc {

namespace {

using std::nullopt;

// NEC: 9 ms (or 4.5 ms) leader mark, 4.5 ms space, 32 bits low bit first;
// a repeat code is the leader mark, a 2.25 ms space and one mark.
constexpr Length NecLeader = Nominal(NecHeaderMark, 2 * NecUnit);
constexpr Length NecxLeader = Nominal(NecxHeaderMark, NecUnit / 2);
constexpr Length NecLeaderSpace = Nominal(NecHeaderSpace, NecUnit);
constexpr Length NecRepeat = Nominal(NecRepeatSpace, NecUnit / 2);
constexpr Length NecBit = Nominal(NecUnit, NecUnit / 2);
constexpr Length NecOne = Nominal(NecOneSpace, NecUnit / 2);
constexpr int NecBits = 32;

// A leader pair, `bits` mark/space pairs and a final mark.
constexpr int32_t FrameLength(int bits, bool leader = true) { return (leader ? 2 : 0) + 2 * bits + 1; }
// A leader pair and one mark: the repeat codes of NEC and Sanyo.
constexpr int32_t RepeatCodeLength = 3;

bool IsNecFamily(RcProtocol p) { return p == RcProtocol::Nec || p == RcProtocol::Necx || p == RcProtocol::Nec32; }

// The reading of the frame a repeat code repeats, when that frame is of the
// given family.
std::optional<RcReading> Repeated(const BurstAt& at, bool (*family)(RcProtocol)) {
    const std::optional<size_t> last = at.LastRead();
    if (!last || !family(at.earlier[*last]->protocol)) return nullopt;
    return at.earlier[*last];
}

// The decoder's choice among the three NEC layouts: a command byte that is
// not followed by its inverse makes nec32, else an address byte not
// followed by its inverse makes necx.
RcReading NecScancode(uint32_t adr, uint32_t notAdr, uint32_t cmd, uint32_t notCmd) {
    if ((cmd ^ notCmd) != 0xff) return {RcProtocol::Nec32, notAdr << 24 | adr << 16 | notCmd << 8 | cmd, {}};
    if ((adr ^ notAdr) != 0xff) return {RcProtocol::Necx, adr << 16 | notAdr << 8 | cmd, {}};
    return {RcProtocol::Nec, adr << 8 | cmd, {}};
}

bool NecxLeaderFrame(RcDurations d) {
    Frame f(d);
    return f.StretchFromMarks(2, f.Size(), NecUnit) && f.Fits(0, NecxLeader);
}

// JVC: a 8.4 ms leader on the first frame only, 16 bits low bit first.
constexpr Length JvcLeader = Nominal(JvcHeaderMark, JvcUnit / 2);
constexpr Length JvcLeaderSpace = Nominal(JvcHeaderSpace, JvcUnit / 2);
constexpr Length JvcBit = Nominal(JvcUnit, JvcUnit / 2);
constexpr Length JvcOne = Nominal(JvcOneSpace, JvcUnit / 2);
constexpr int JvcBits = 16;

// Sanyo: NEC's timing with a 13-bit address, its inverse, a command and its
// inverse; a repeat code is the leader pair and one mark.
constexpr Length SanyoLeader = Nominal(SanyoHeaderMark, SanyoUnit / 2);
constexpr Length SanyoLeaderSpace = Nominal(SanyoHeaderSpace, SanyoUnit / 2);
constexpr Length SanyoBit = Nominal(SanyoUnit, SanyoUnit / 2);
constexpr Length SanyoOne = Nominal(SanyoOneSpace, SanyoUnit / 2);
constexpr int SanyoBits = 13 + 13 + 8 + 8;

// Sharp: no leader; 5 address bits, 8 command bits, expansion and check
// bit, low bit first. The kernel reads each bit from its whole 1 or 2 ms
// period with a margin of twice the mark.
constexpr Length SharpBit = Nominal(SharpMark, SharpMark / 2);
constexpr Length SharpZero = Nominal(SharpZeroSpace, SharpMargin);
constexpr Length SharpOne = Nominal(SharpOneSpace, SharpMargin);
constexpr int SharpBits = 15;

// SONY: a 2.4 ms leader mark, then per bit a 600 µs space and a mark of
// 600 µs (0) or 1.2 ms (1); 7 command bits, then 5 or 8 device bits, and
// for SONY 20 eight extended bits, low bit first.
constexpr Length SonyLeader = Nominal(SonyHeaderMark, SonyUnit / 2);
constexpr Length SonySpace = Nominal(SonyUnit, SonyUnit / 2);
constexpr Length SonyMarks[] = {Nominal(SonyUnit, SonyUnit / 2), Nominal(SonyOneMark, SonyUnit / 2)};

// RC-MM: a 417/278 µs leader, then 166 µs marks whose spaces carry two
// bits each, high bits first.
constexpr Length RcmmLeader = Nominal(RcmmHeaderMark, RcmmUnit);
constexpr Length RcmmLeaderSpace = Nominal(RcmmHeaderSpace, RcmmUnit);
constexpr Length RcmmBump = Nominal(RcmmUnit, RcmmUnit / 2);
constexpr Length RcmmSymbols[] = {
    Nominal(RcmmSpaces[0], RcmmUnit / 2), Nominal(RcmmSpaces[1], RcmmUnit / 2),
    Nominal(RcmmSpaces[2], RcmmUnit / 2), Nominal(RcmmSpaces[3], RcmmUnit / 2)};
// In RC-MM 32 the mode bits 18..19 other than 11 mark bit 15 as the toggle.
constexpr uint32_t RcmmModeBits = 0x000c0000;
constexpr uint32_t RcmmToggleBit = 0x8000;

// The 15 bits of one Sharp frame in the order sent.
std::optional<uint32_t> SharpBitsOf(RcDurations d) {
    Frame f(d);
    if (f.Size() != FrameLength(SharpBits, false) || !f.StretchFromMarks(0, f.Size(), SharpMark))
        return nullopt;
    const std::optional<uint64_t> bits = ReadSpaceBits(f, 0, SharpBits, SharpBit, SharpZero, SharpOne);
    if (!bits || !f.Fits(f.Size() - 1, SharpBit)) return nullopt;
    return static_cast<uint32_t>(*bits);
}

constexpr uint32_t SharpCheck = 1u << 14;  // the expansion bit, 1u << 13, is not looked at
// The second frame inverts command, expansion and check bit.
constexpr uint32_t SharpEchoInverts = 0x7fe0;

// A first frame ends in expansion 1, check 0 (0, 0 on Denon's remotes).
bool SharpFirst(uint32_t bits) { return (bits & SharpCheck) == 0; }

}  // namespace

std::optional<RcReading> ReadNec(const BurstAt& at) {
    Frame f(at.Current());
    // Only a frame of the right length is worth measuring.
    if (f.Size() != RepeatCodeLength && f.Size() != FrameLength(NecBits)) return nullopt;
    if (!f.StretchFromMarks(2, f.Size(), NecUnit)) return nullopt;
    const bool necxLeader = f.Fits(0, NecxLeader);
    if (!f.Fits(0, NecLeader) && !necxLeader) return nullopt;

    if (f.Size() == RepeatCodeLength) {
        if (!f.Fits(2, NecBit)) return nullopt;
        if (f.Fits(1, NecRepeat)) return Repeated(at, IsNecFamily);
        // After a 4.5 ms leader a repeat is that leader, its space and a mark.
        const std::optional<size_t> last = at.LastRead();
        if (necxLeader && f.Fits(1, NecLeaderSpace) && last && NecxLeaderFrame(at.burst[*last]))
            return Repeated(at, IsNecFamily);
        return nullopt;
    }

    if (f.Size() != FrameLength(NecBits) || !f.Fits(1, NecLeaderSpace)) return nullopt;
    const std::optional<uint64_t> bits = ReadSpaceBits(f, 2, NecBits, NecBit, NecBit, NecOne);
    if (!bits || !f.Fits(f.Size() - 1, NecBit)) return nullopt;
    auto byte = [&](int k) { return static_cast<uint32_t>(*bits >> (8 * k)) & 0xff; };
    return NecScancode(byte(0), byte(1), byte(2), byte(3));
}

std::optional<RcReading> ReadJvc(const BurstAt& at) {
    Frame f(at.Current());
    const bool leader = f.Size() == FrameLength(JvcBits);
    if (!leader && f.Size() != FrameLength(JvcBits, false)) return nullopt;
    const int32_t first = leader ? 2 : 0;
    if (!f.StretchFromMarks(first, f.Size(), JvcUnit)) return nullopt;
    if (leader && !(f.Fits(0, JvcLeader) && f.Fits(1, JvcLeaderSpace))) return nullopt;

    const std::optional<uint64_t> bits = ReadSpaceBits(f, first, JvcBits, JvcBit, JvcBit, JvcOne);
    if (!bits || !f.Fits(f.Size() - 1, JvcBit)) return nullopt;
    // The first byte sent (the address) is the high byte.
    const RcReading reading{RcProtocol::Jvc, static_cast<uint32_t>((*bits & 0xff) << 8 | (*bits >> 8 & 0xff)), {}};
    if (leader) return reading;
    // Without a leader the frame repeats the burst's JVC frame, bit for bit.
    const std::optional<RcReading> repeated =
        Repeated(at, [](RcProtocol p) { return p == RcProtocol::Jvc; });
    return repeated && *repeated == reading ? repeated : nullopt;
}

std::optional<RcReading> ReadSanyo(const BurstAt& at) {
    Frame f(at.Current());
    if (f.Size() != RepeatCodeLength && f.Size() != FrameLength(SanyoBits)) return nullopt;
    if (!f.StretchFromMarks(2, f.Size(), SanyoUnit)) return nullopt;
    if (!f.Fits(0, SanyoLeader) || !f.Fits(1, SanyoLeaderSpace)) return nullopt;
    if (f.Size() == RepeatCodeLength)
        return f.Fits(2, SanyoBit) ? Repeated(at, [](RcProtocol p) { return p == RcProtocol::Sanyo; }) : nullopt;

    if (f.Size() != FrameLength(SanyoBits)) return nullopt;
    const std::optional<uint64_t> bits = ReadSpaceBits(f, 2, SanyoBits, SanyoBit, SanyoBit, SanyoOne);
    if (!bits || !f.Fits(f.Size() - 1, SanyoBit)) return nullopt;
    // Like the kernel, only the command's inverse is checked.
    const auto adr = static_cast<uint32_t>(*bits & 0x1fff);
    const auto cmd = static_cast<uint32_t>(*bits >> 26 & 0xff);
    const auto notCmd = static_cast<uint32_t>(*bits >> 34 & 0xff);
    if ((cmd ^ notCmd) != 0xff) return nullopt;
    return RcReading{RcProtocol::Sanyo, adr << 8 | cmd, {}};
}

bool IsSharpFirstFrame(RcDurations frame) {
    const std::optional<uint32_t> bits = SharpBitsOf(frame);
    return bits && SharpFirst(*bits);
}

std::optional<RcReading> ReadSharp(const BurstAt& at) {
    // Read on the first frame of the pair, which the next frame confirms.
    const std::optional<uint32_t> first = SharpBitsOf(at.Current());
    if (!first || !SharpFirst(*first) || !at.Next()) return nullopt;
    const std::optional<uint32_t> echo = SharpBitsOf(*at.Next());
    if (!echo || (*first ^ *echo) != SharpEchoInverts) return nullopt;
    const uint32_t adr = *first & 0x1f, cmd = *first >> 5 & 0xff;
    return RcReading{RcProtocol::Sharp, adr << 8 | cmd, {}};
}

std::optional<RcReading> ReadSony(const BurstAt& at) {
    Frame f(at.Current());
    RcProtocol protocol;
    int deviceBits = 5, extendedBits = 0;
    if (f.Size() == FrameLength(12, false))
        protocol = RcProtocol::Sony12;
    else if (f.Size() == FrameLength(15, false))
        protocol = RcProtocol::Sony15, deviceBits = 8;
    else if (f.Size() == FrameLength(20, false))
        protocol = RcProtocol::Sony20, extendedBits = 8;
    else
        return nullopt;
    if (!f.StretchFromSpaces(1, f.Size(), SonyUnit) || !f.Fits(0, SonyLeader)) return nullopt;

    // Bit k: the space at 2k + 1 and the mark after it.
    uint32_t bits = 0;
    const int count = (f.Size() - 1) / 2;
    for (int k = 0; k < count; ++k) {
        const int bit = f.Nearest(2 * k + 2, SonyMarks);
        if (!f.Fits(2 * k + 1, SonySpace) || bit < 0) return nullopt;
        bits |= uint32_t(bit) << k;
    }
    const uint32_t command = bits & 0x7f;
    const uint32_t device = bits >> 7 & ((1u << deviceBits) - 1);
    const uint32_t extended = bits >> (7 + deviceBits) & ((1u << extendedBits) - 1);
    return RcReading{protocol, device << 16 | extended << 8 | command, {}};
}

std::optional<RcReading> ReadRcmm(const BurstAt& at) {
    Frame f(at.Current());
    RcProtocol protocol;
    if (f.Size() == FrameLength(6))
        protocol = RcProtocol::Rcmm12;
    else if (f.Size() == FrameLength(12))
        protocol = RcProtocol::Rcmm24;
    else if (f.Size() == FrameLength(16))
        protocol = RcProtocol::Rcmm32;
    else
        return nullopt;
    if (!f.StretchFromMarks(2, f.Size(), RcmmUnit)) return nullopt;
    if (!f.Fits(0, RcmmLeader) || !f.Fits(1, RcmmLeaderSpace)) return nullopt;

    uint32_t bits = 0;
    for (int32_t i = 2; i + 1 < f.Size(); i += 2) {
        const int symbol = f.Nearest(i + 1, RcmmSymbols);
        if (!f.Fits(i, RcmmBump) || symbol < 0) return nullopt;
        bits = bits << 2 | uint32_t(symbol);
    }
    if (!f.Fits(f.Size() - 1, RcmmBump)) return nullopt;
    if (protocol == RcProtocol::Rcmm32 && (bits & RcmmModeBits) != RcmmModeBits)
        return RcReading{protocol, bits & ~RcmmToggleBit, (bits & RcmmToggleBit) != 0};
    return RcReading{protocol, bits, {}};
}

}  // namespace tovanel::rc
