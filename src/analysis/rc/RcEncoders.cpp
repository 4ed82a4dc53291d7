#include "analysis/rc/RcEncoders.h"

#include <numeric>

#include "analysis/rc/RcTiming.h"

namespace tovanel {

namespace {

using namespace rc;
using Durations = std::vector<int32_t>;

// What a family's encoder makes of a scancode: the first frame and the
// frames that repeat after it, in the order they cycle, and when each
// repeat starts: a fixed time after the previous frame's start, or a gap
// after its end.
struct Pattern {
    Durations first;
    std::vector<Durations> repeats;
    int32_t period = 0;
    int32_t gap = 0;
};

// Between two frames a receiver needs a silence it takes for a frame's end.
constexpr int32_t MinFrameGap = 20000;

// ---- Pulse distance and pulse length ---------------------------------------

// An optional leader pair, then per bit (low bit first) a mark and a space
// of the zero or one length, then the final mark.
Durations PulseDistance(int32_t leaderMark, int32_t leaderSpace, uint64_t bits, int count, int32_t mark,
                        int32_t zero, int32_t one) {
    Durations d;
    if (leaderMark > 0) d = {leaderMark, leaderSpace};
    for (int k = 0; k < count; ++k) {
        d.push_back(mark);
        d.push_back((bits >> k & 1) != 0 ? one : zero);
    }
    d.push_back(mark);
    return d;
}

Pattern EncodeNec(RcProtocol p, uint32_t sc, bool) {
    uint32_t adr, notAdr, cmd, notCmd;
    if (p == RcProtocol::Nec32) {
        notAdr = sc >> 24, adr = sc >> 16 & 0xff, notCmd = sc >> 8 & 0xff, cmd = sc & 0xff;
    } else if (p == RcProtocol::Necx) {
        adr = sc >> 16, notAdr = sc >> 8 & 0xff, cmd = sc & 0xff, notCmd = ~cmd & 0xff;
    } else {
        adr = sc >> 8, notAdr = ~adr & 0xff, cmd = sc & 0xff, notCmd = ~cmd & 0xff;
    }
    const uint64_t bits = adr | notAdr << 8 | cmd << 16 | uint64_t{notCmd} << 24;
    return {PulseDistance(NecHeaderMark, NecHeaderSpace, bits, 32, NecUnit, NecUnit, NecOneSpace),
            {{NecHeaderMark, NecRepeatSpace, NecUnit}},
            NecRepeatPeriod};
}

Pattern EncodeJvc(RcProtocol, uint32_t sc, bool) {
    // The address, the scancode's high byte, goes first.
    const uint64_t bits = (sc >> 8 & 0xff) | (sc & 0xff) << 8;
    return {PulseDistance(JvcHeaderMark, JvcHeaderSpace, bits, 16, JvcUnit, JvcUnit, JvcOneSpace),
            {PulseDistance(0, 0, bits, 16, JvcUnit, JvcUnit, JvcOneSpace)},
            JvcRepeatPeriod};
}

Pattern EncodeSanyo(RcProtocol, uint32_t sc, bool) {
    const uint64_t adr = sc >> 8 & 0x1fff, cmd = sc & 0xff;
    const uint64_t bits = adr | (~adr & 0x1fff) << 13 | cmd << 26 | (~cmd & 0xff) << 34;
    return {PulseDistance(SanyoHeaderMark, SanyoHeaderSpace, bits, 42, SanyoUnit, SanyoUnit, SanyoOneSpace),
            {{SanyoHeaderMark, SanyoHeaderSpace, SanyoUnit}},
            SanyoRepeatPeriod};
}

Pattern EncodeSharp(RcProtocol, uint32_t sc, bool) {
    // 5 address bits, 8 command bits, expansion 1 and check 0; the second
    // frame inverts command, expansion and check bit.
    const uint32_t adr = sc >> 8 & 0x1f, cmd = sc & 0xff;
    const uint32_t first = adr | cmd << 5 | 1u << 13;
    const uint32_t echo = adr | (~cmd & 0xff) << 5 | 1u << 14;
    auto frame = [](uint32_t bits) {
        return PulseDistance(0, 0, bits, 15, SharpMark, SharpZeroSpace, SharpOneSpace);
    };
    return {frame(first), {frame(echo), frame(first)}, 0, SharpEchoGap};
}

Pattern EncodeSony(RcProtocol p, uint32_t sc, bool) {
    const int deviceBits = p == RcProtocol::Sony15 ? 8 : 5;
    const int count = p == RcProtocol::Sony12 ? 12 : p == RcProtocol::Sony15 ? 15 : 20;
    const uint32_t bits = (sc & 0x7f) | (sc >> 16) << 7 | (sc >> 8 & 0xff) << (7 + deviceBits);
    // The leader mark, then per bit a space and a mark of one or two units.
    Durations d{SonyHeaderMark};
    for (int k = 0; k < count; ++k) {
        d.push_back(SonyUnit);
        d.push_back((bits >> k & 1) != 0 ? SonyOneMark : SonyUnit);
    }
    return {d, {d}, SonyRepeatPeriod};
}

Pattern EncodeRcmm(RcProtocol p, uint32_t sc, bool toggle) {
    const int count = p == RcProtocol::Rcmm12 ? 12 : p == RcProtocol::Rcmm24 ? 24 : 32;
    if (p == RcProtocol::Rcmm32 && toggle && (sc & 0x000c0000) != 0x000c0000) sc |= 0x8000;
    Durations d{RcmmHeaderMark, RcmmHeaderSpace};
    for (int k = count - 2; k >= 0; k -= 2) {
        d.push_back(RcmmUnit);
        d.push_back(RcmmSpaces[sc >> k & 3]);
    }
    d.push_back(RcmmUnit);
    return {d, {d}, RcmmRepeatPeriod};
}

// ---- Bi-phase -------------------------------------------------------------

// A row of half-bit levels, turned into durations of whole halves.
class HalfRow {
public:
    void Halves(bool mark, int count) { levels_.insert(levels_.end(), static_cast<size_t>(count), mark); }
    // `count` bits of `value`, high bit first; a 1 starts with a mark half
    // when `oneIsMarkFirst`. Each half is `halves` units long.
    void Bits(uint32_t value, int count, bool oneIsMarkFirst, int halves = 1) {
        for (int k = count - 1; k >= 0; --k) {
            const bool markFirst = ((value >> k & 1) != 0) == oneIsMarkFirst;
            Halves(markFirst, halves);
            Halves(!markFirst, halves);
        }
    }
    // Runs of one level as durations; the spaces before the first mark and
    // after the last one are not sent.
    Durations ToDurations(int32_t unit) const {
        Durations d;
        size_t i = 0, end = levels_.size();
        while (i < end && !levels_[i]) ++i;
        while (end > i && !levels_[end - 1]) --end;
        while (i < end) {
            size_t j = i;
            while (j < end && levels_[j] == levels_[i]) ++j;
            d.push_back(static_cast<int32_t>(j - i) * unit);
            i = j;
        }
        return d;
    }

private:
    std::vector<bool> levels_;
};

constexpr bool Rc5OneIsMarkFirst = false;

Pattern EncodeRc5(RcProtocol p, uint32_t sc, bool toggle) {
    // A 1 is a space half then a mark half: start bit, second start bit (the
    // inverted command bit 6, or the scancode's bit 13 for StreamZap),
    // toggle, address and command.
    HalfRow row;
    if (p == RcProtocol::Rc5Sz) {
        row.Bits(1u << 2 | (sc >> 13 & 1) << 1 | (toggle ? 1 : 0), 3, Rc5OneIsMarkFirst);
        row.Bits(sc >> 6 & 0x3f, 6, Rc5OneIsMarkFirst);
        row.Bits(sc & 0x3f, 6, Rc5OneIsMarkFirst);
    } else {
        const uint32_t command = p == RcProtocol::Rc5x20 ? sc >> 8 : sc;
        const uint32_t address = p == RcProtocol::Rc5x20 ? sc >> 16 : sc >> 8;
        const uint32_t second = (command & 0x40) != 0 ? 0 : 1;
        row.Bits(1u << 2 | second << 1 | (toggle ? 1 : 0), 3, Rc5OneIsMarkFirst);
        row.Bits(address & 0x1f, 5, Rc5OneIsMarkFirst);
        if (p == RcProtocol::Rc5x20) row.Halves(false, Rc5xCheckSpace / Rc5Unit);
        row.Bits(command & 0x3f, 6, Rc5OneIsMarkFirst);
        if (p == RcProtocol::Rc5x20) row.Bits(sc & 0x3f, 6, Rc5OneIsMarkFirst);
    }
    const Durations d = row.ToDurations(Rc5Unit);
    return {d, {d}, Rc5RepeatPeriod};
}

Pattern EncodeRc6(RcProtocol p, uint32_t sc, bool toggle) {
    // Leader, start bit 1, mode 0 or 6, the trailer bit in double halves
    // (the toggle in mode 0, 0 in mode 6A), then the data; a 1 is a mark
    // half then a space half.
    const bool mode0 = p == RcProtocol::Rc6_0;
    const int count = mode0 ? 16 : p == RcProtocol::Rc6_6a_20 ? 20 : p == RcProtocol::Rc6_6a_24 ? 24 : 32;
    if (p == RcProtocol::Rc6Mce && toggle) sc |= 0x8000;
    HalfRow row;
    row.Halves(true, Rc6HeaderMark / Rc6Unit);
    row.Halves(false, Rc6HeaderSpace / Rc6Unit);
    row.Bits(mode0 ? 0x8 : 0xe, 4, true);
    row.Bits(mode0 && toggle ? 1 : 0, 1, true, 2);
    row.Bits(sc, count, true);
    const Durations d = row.ToDurations(Rc6Unit);
    return {d, {d}, Rc6RepeatPeriod};
}

// ---- The registry ----------------------------------------------------------

using Encoder = Pattern (*)(RcProtocol p, uint32_t scancode, bool toggle);
struct Registration {
    RcProtocol protocol;
    Encoder encode;
};

constexpr Registration Registry[] = {
    {RcProtocol::Rc5, EncodeRc5},         {RcProtocol::Rc5x20, EncodeRc5},     {RcProtocol::Rc5Sz, EncodeRc5},
    {RcProtocol::Nec, EncodeNec},         {RcProtocol::Necx, EncodeNec},       {RcProtocol::Nec32, EncodeNec},
    {RcProtocol::Jvc, EncodeJvc},         {RcProtocol::Sony12, EncodeSony},    {RcProtocol::Sony15, EncodeSony},
    {RcProtocol::Sony20, EncodeSony},     {RcProtocol::Sanyo, EncodeSanyo},    {RcProtocol::Sharp, EncodeSharp},
    {RcProtocol::Rc6_0, EncodeRc6},       {RcProtocol::Rc6_6a_20, EncodeRc6},  {RcProtocol::Rc6_6a_24, EncodeRc6},
    {RcProtocol::Rc6_6a_32, EncodeRc6},   {RcProtocol::Rc6Mce, EncodeRc6},     {RcProtocol::Rcmm12, EncodeRcmm},
    {RcProtocol::Rcmm24, EncodeRcmm},     {RcProtocol::Rcmm32, EncodeRcmm},
};

int32_t Total(const Durations& d) { return std::accumulate(d.begin(), d.end(), int32_t{0}); }

}  // namespace

std::vector<RcFrame> EncodeRc(RcProtocol protocol, uint32_t scancode, bool toggle, int count) {
    if (count < 1 || !RcScancodeFits(protocol, scancode)) return {};
    Encoder encode = nullptr;
    for (const Registration& r : Registry)
        if (r.protocol == protocol) encode = r.encode;
    if (encode == nullptr) return {};

    const Pattern p = encode(protocol, scancode, toggle);
    std::vector<RcFrame> frames{{0, p.first}};
    for (int k = 1; k < count; ++k) {
        const int32_t previous = Total(frames.back().durations);
        const int32_t period = p.gap > 0 ? previous + p.gap : std::max(p.period, previous + MinFrameGap);
        frames.push_back({period, p.repeats[static_cast<size_t>(k - 1) % p.repeats.size()]});
    }
    return frames;
}

}  // namespace tovanel
