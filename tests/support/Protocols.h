// Clean frames of each protocol at its nominal timing, built from the
// protocol's bit layout (not from the decoders), for recognition and decoder
// tests. Pass them through Distort() for receiver realism.
#pragma once

#include <cstdint>
#include <vector>

#include "support/Frames.h"

namespace tovanel::test {

// Run-length encodes a sequence of half-bit levels (1 carrier on, 0 off) of
// `unit` µs each into durations, dropping leading and trailing spaces (a
// receiver sees neither).
inline Durations FromLevels(const std::vector<int>& levels, int32_t unit) {
    Durations d;
    size_t i = 0;
    while (i < levels.size() && levels[i] == 0) ++i;
    size_t end = levels.size();
    while (end > i && levels[end - 1] == 0) --end;
    while (i < end) {
        size_t j = i;
        while (j < end && levels[j] == levels[i]) ++j;
        d.push_back(static_cast<int32_t>(j - i) * unit);
        i = j;
    }
    return d;
}

inline void AppendLevels(std::vector<int>& levels, int level, int halves) {
    for (int k = 0; k < halves; ++k) levels.push_back(level);
}

// RC-5: start bits, toggle, 5 address bits, 6 command bits, high bit first;
// a 1 is a space half then a mark half, T = 889 µs. `field` is the second
// start bit (1 in standard RC-5).
inline Durations Rc5Frame(int field, int toggle, uint8_t adr, uint8_t cmd) {
    std::vector<int> levels;
    for (int b : Concat({{1, field, toggle}, BitsOf(adr, 5, false), BitsOf(cmd, 6, false)})) {
        levels.push_back(b ? 0 : 1);
        levels.push_back(b ? 1 : 0);
    }
    return FromLevels(levels, 889);
}

// RC-6: leader 6T mark 2T space, start bit 1, 3 mode bits, double-length
// toggle, then address and command; mark-then-space is 1, T = 444 µs.
inline Durations Rc6Frame(uint8_t mode, int toggle, uint8_t adr, const Bits& data) {
    std::vector<int> levels;
    AppendLevels(levels, 1, 6);
    AppendLevels(levels, 0, 2);
    auto bit = [&](int b, int halves) {
        AppendLevels(levels, b ? 1 : 0, halves);
        AppendLevels(levels, b ? 0 : 1, halves);
    };
    bit(1, 1);
    for (int b : BitsOf(mode, 3, false)) bit(b, 1);
    bit(toggle, 2);
    for (int b : BitsOf(adr, 8, false)) bit(b, 1);
    for (int b : data) bit(b, 1);
    return FromLevels(levels, 444);
}

inline Durations Rc6Frame(uint8_t mode, int toggle, uint8_t adr, uint8_t cmd) {
    return Rc6Frame(mode, toggle, adr, BitsOf(cmd, 8, false));
}

// NOKIA: header mark 500, space 2500, then a start bit, 8 command bits and 8
// address bits, low bit first; mark-then-space is 1, T = 500 µs.
inline Durations NokiaFrame(uint8_t adr, uint8_t cmd) {
    std::vector<int> levels;
    AppendLevels(levels, 1, 1);
    AppendLevels(levels, 0, 5);
    for (int b : Concat({{1}, BitsOf(cmd, 8, true), BitsOf(adr, 8, true)})) {
        levels.push_back(b ? 1 : 0);
        levels.push_back(b ? 0 : 1);
    }
    return FromLevels(levels, 500);
}

// JVC: header 8400/4200 on the first frame only, 8 address and 8 command
// bits low bit first, mark 526, spaces 526 / 1578.
inline Durations JvcFrame(uint8_t adr, uint8_t cmd, bool header) {
    const PulseDistanceTiming t{header ? 8400 : 0, 4200, 526, 526, 1578};
    return PulseDistance(t, Concat({BitsOf(adr, 8, true), BitsOf(cmd, 8, true)}));
}

// SONY: header mark 2400, then per bit a 600 space and a mark of 600 (0) or
// 1200 (1); 7 (or 8, 13) command bits then 5 (or 8) address bits, low first.
inline Durations SonyFrame(uint32_t word, int bits) {
    Durations d{2400};
    for (int b : BitsOf(word, bits, true)) {
        d.push_back(600);
        d.push_back(b ? 1200 : 600);
    }
    return d;
}

// Sanyo: 9000/4500 header, 13 address bits, their complement, 8 command
// bits, their complement, low bit first, NEC bit timing.
inline Durations SanyoFrame(uint16_t adr, uint8_t cmd) {
    return PulseDistance(NecTiming, Concat({BitsOf(adr, 13, true), BitsOf(~adr & 0x1FFF, 13, true),
                                            BitsOf(cmd, 8, true), BitsOf(uint8_t(~cmd), 8, true)}));
}

// RCA: 4000/4000 header, 4 address bits, 8 command bits, then both
// complemented; low bit first; mark 500, spaces 1000 / 2000.
inline constexpr PulseDistanceTiming RcaTiming{4000, 4000, 500, 1000, 2000};
inline Durations RcaFrame(uint8_t adr, uint8_t cmd) {
    return PulseDistance(RcaTiming, Concat({BitsOf(adr, 4, true), BitsOf(cmd, 8, true),
                                            BitsOf(~adr & 0xF, 4, true), BitsOf(uint8_t(~cmd), 8, true)}));
}

// REC80: 3500/1750 header, 40 or 48 bits, mark 430, spaces 430 / 1290.
inline constexpr PulseDistanceTiming Rec80Timing{3500, 1750, 430, 430, 1290};

// Sharp: no header, 5 address, 8 command, 2 extra bits, low bit first;
// mark 320, spaces 680 / 1680.
inline constexpr PulseDistanceTiming SharpTiming{0, 0, 320, 680, 1680};
inline Durations SharpFrame(uint8_t adr, uint8_t cmd, int expansion = 1, int check = 0) {
    return PulseDistance(SharpTiming,
                         Concat({BitsOf(adr, 5, true), BitsOf(cmd, 8, true), {expansion, check}}));
}

// MITSUBISHI: no header, 8 address and 8 command bits, high bit first;
// mark 300, spaces 700 / 2100.
inline constexpr PulseDistanceTiming MitsubishiTiming{0, 0, 300, 700, 2100};

// THOMSON: no header, 4 address bits, toggle, 7 command bits, high first;
// mark 500, spaces 2000 / 4500.
inline constexpr PulseDistanceTiming ThomsonTiming{0, 0, 500, 2000, 4500};

// X-Sat: 8000/4000 header, 8 address bits, a mark with a 4000 space, 8
// command bits, low bit first; mark 526, spaces 474 / 1474.
inline Durations XsatFrame(uint8_t adr, uint8_t cmd) {
    const PulseDistanceTiming t{8000, 4000, 526, 474, 1474};
    Durations d = PulseDistance(t, Concat({BitsOf(adr, 8, true), {0}, BitsOf(cmd, 8, true)}));
    d[19] = 4000;
    return d;
}

// KONKA: 3000/3000 header, 7 address bits, 10 command bits, high first;
// mark 500, spaces 1500 / 2500.
inline constexpr PulseDistanceTiming KonkaTiming{3000, 3000, 500, 1500, 2500};

// RECS80: one mark length (158 µs), spaces 4900 / 7400, no header; 23
// durations carry start, toggle, 3 address, 6 command bits; 27 carry two
// start bits, toggle, 4 address, 6 command bits. The bit is in the space
// after each mark.
inline constexpr PulseDistanceTiming Recs80Timing{0, 0, 158, 4900, 7400};

// ITT: 27 durations of 100 µs marks; spaces 100 (0), 200 (1), 300 (lead-in
// and trailer); lead-in pair, a 100 start space, 4 address and 6 command
// bits high first, trailer.
inline Durations IttFrame(uint8_t adrRaw, uint8_t cmdRaw) {
    Durations d{100, 300, 100, 100};
    for (int b : Concat({BitsOf(adrRaw, 4, false), BitsOf(cmdRaw, 6, false)})) {
        d.push_back(100);
        d.push_back(b ? 200 : 100);
    }
    d.push_back(100);
    d.push_back(300);
    d.push_back(100);
    return d;
}

// RC-MM: header mark 417, space 278, then symbols of a 167 mark and a space
// of 278 / 444 / 611 / 778 µs carrying two bits each, final mark.
inline Durations RcmmFrame(const std::vector<int>& symbols) {
    static constexpr int32_t spaces[] = {278, 444, 611, 778};
    Durations d{417, 278};
    for (int s : symbols) {
        d.push_back(167);
        d.push_back(spaces[s & 3]);
    }
    d.push_back(167);
    return d;
}

}  // namespace tovanel::test
