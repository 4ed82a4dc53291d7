// What the kernel-protocol readers and encoders share: each protocol's
// nominal timings (the kernel's, in µs), the tolerance a measured length
// gets, the receiver's stretch, and the readers' view of a burst.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "analysis/rc/RcReading.h"

namespace tovanel::rc {

// ---- Nominal timings, µs -------------------------------------------------

inline constexpr int32_t NecUnit = 563;
inline constexpr int32_t NecHeaderMark = 16 * NecUnit;
inline constexpr int32_t NecxHeaderMark = 8 * NecUnit;  // a less common leader
inline constexpr int32_t NecHeaderSpace = 8 * NecUnit;
inline constexpr int32_t NecRepeatSpace = 4 * NecUnit;
inline constexpr int32_t NecOneSpace = 3 * NecUnit;
inline constexpr int32_t NecRepeatPeriod = 108000;  // frame start to repeat code start

inline constexpr int32_t JvcUnit = 525;
inline constexpr int32_t JvcHeaderMark = 16 * JvcUnit;
inline constexpr int32_t JvcHeaderSpace = 8 * JvcUnit;
inline constexpr int32_t JvcOneSpace = 3 * JvcUnit;
inline constexpr int32_t JvcRepeatPeriod = 55000;

inline constexpr int32_t SanyoUnit = 563;
inline constexpr int32_t SanyoHeaderMark = 16 * SanyoUnit;
inline constexpr int32_t SanyoHeaderSpace = 8 * SanyoUnit;
inline constexpr int32_t SanyoOneSpace = 3 * SanyoUnit;
inline constexpr int32_t SanyoRepeatPeriod = 108000;

inline constexpr int32_t SonyUnit = 600;
inline constexpr int32_t SonyHeaderMark = 4 * SonyUnit;
inline constexpr int32_t SonyOneMark = 2 * SonyUnit;
inline constexpr int32_t SonyRepeatPeriod = 45000;

inline constexpr int32_t SharpMark = 320;
inline constexpr int32_t SharpZeroSpace = 680;   // a 1 ms bit
inline constexpr int32_t SharpOneSpace = 1680;   // a 2 ms bit
inline constexpr int32_t SharpEchoGap = 40000;   // before the inverted frame, and between pairs
inline constexpr int32_t SharpMargin = 2 * SharpMark;

inline constexpr int32_t RcmmUnit = 166;
inline constexpr int32_t RcmmHeaderMark = 417;
inline constexpr int32_t RcmmHeaderSpace = 278;
inline constexpr int32_t RcmmSpaces[] = {278, 444, 611, 778};  // symbols 0..3, two bits each
inline constexpr int32_t RcmmRepeatPeriod = 28000;

inline constexpr int32_t Rc5Unit = 889;             // one half of a bit
inline constexpr int32_t Rc5xCheckSpace = 4 * Rc5Unit;
inline constexpr int32_t Rc5RepeatPeriod = 113778;  // 64 bit times

inline constexpr int32_t Rc6Unit = 444;
inline constexpr int32_t Rc6HeaderMark = 6 * Rc6Unit;
inline constexpr int32_t Rc6HeaderSpace = 2 * Rc6Unit;
inline constexpr int32_t Rc6RepeatPeriod = 106560;  // 240 units

// ---- Tolerance -------------------------------------------------------------

// A nominal length and how far a measured one may stray from it.
struct Length {
    int32_t us;
    int32_t margin;
};

// The margin is the kernel decoder's, widened to a fifth of the length:
// receivers add up to a tenth of jitter, and a sound card's sampling rounds
// each edge to 21 µs.
constexpr Length Nominal(int32_t us, int32_t kernelMargin) { return {us, std::max(kernelMargin, us / 5)}; }

// Receivers lengthen marks and shorten spaces by about the same time; a
// reading measures that stretch on marks (or spaces) whose nominal length
// it knows and takes it out of every duration. A larger one is not a
// receiver's doing.
inline constexpr int32_t MaxStretch = 250;

// One frame as a reader sees it: durations with the receiver's stretch
// taken out, a trailing space dropped.
class Frame {
public:
    explicit Frame(RcDurations d) : d_(d.size() % 2 == 0 && !d.empty() ? d.first(d.size() - 1) : d) {}

    int32_t Size() const { return static_cast<int32_t>(d_.size()); }
    int32_t Stretch() const { return stretch_; }
    // Duration i with the stretch taken out (marks at even positions);
    // wide, so that no recorded value overflows.
    int64_t At(int32_t i) const { return i % 2 == 0 ? int64_t{d_[i]} - stretch_ : int64_t{d_[i]} + stretch_; }
    bool Fits(int32_t i, Length n) const { return i < Size() && At(i) > n.us - n.margin && At(i) < n.us + n.margin; }
    // The index of the length nearest to duration i when i fits that one, else -1.
    int Nearest(int32_t i, std::span<const Length> lengths) const;

    // Measure the stretch: the median of the marks (or spaces) at first,
    // first + 2, ... below `end` against their nominal length, or of every
    // duration from `first` against the nearest multiple of `unit`. False
    // when there is nothing to measure or the stretch exceeds MaxStretch.
    bool StretchFromMarks(int32_t first, int32_t end, int32_t nominal);
    bool StretchFromSpaces(int32_t first, int32_t end, int32_t nominal);
    bool StretchOnGrid(int32_t first, int32_t unit);

private:
    bool SetStretch(int32_t stretch);

    RcDurations d_;
    int32_t stretch_ = 0;
};

// Reads `bits` mark/space pairs from position `first`: each mark must fit
// `mark`, each space gives 0 or 1 by the nearer of `zero` and `one` that it
// fits. Bit k of the result is the k-th bit sent. None when a length fits
// nothing or the frame is too short.
std::optional<uint64_t> ReadSpaceBits(const Frame& f, int32_t first, int bits, Length mark, Length zero,
                                      Length one);

// Bits reversed within their field: the sent order (first bit lowest) to a
// value sent high bit first, and back.
constexpr uint32_t Reverse(uint32_t value, int bits) {
    uint32_t out = 0;
    for (int k = 0; k < bits; ++k) out |= ((value >> k) & 1u) << (bits - 1 - k);
    return out;
}

// ---- The readers -----------------------------------------------------------

// A reader's view of one frame in its burst, with the readings of the
// frames before it.
struct BurstAt {
    std::span<const RcDurations> burst;
    size_t index;
    std::span<const std::optional<RcReading>> earlier;

    RcDurations Current() const { return burst[index]; }
    std::optional<RcDurations> Next() const {
        return index + 1 < burst.size() ? std::optional(burst[index + 1]) : std::nullopt;
    }
    // The nearest earlier frame that has a reading, the one a repeat code
    // repeats.
    std::optional<size_t> LastRead() const {
        for (size_t k = index; k > 0; --k)
            if (earlier[k - 1]) return k - 1;
        return std::nullopt;
    }
};

// One function per protocol family; each returns none unless the frame is
// of its family.
std::optional<RcReading> ReadRc5(const BurstAt& at);  // rc5, rc5x_20, rc5_sz
std::optional<RcReading> ReadRc6(const BurstAt& at);  // rc6_0, rc6_6a_20/24/32, rc6_mce
std::optional<RcReading> ReadNec(const BurstAt& at);  // nec, necx, nec32 and repeat codes
std::optional<RcReading> ReadJvc(const BurstAt& at);
std::optional<RcReading> ReadSony(const BurstAt& at);  // sony12, sony15, sony20
std::optional<RcReading> ReadSanyo(const BurstAt& at);
std::optional<RcReading> ReadSharp(const BurstAt& at);
std::optional<RcReading> ReadRcmm(const BurstAt& at);  // rcmm12, rcmm24, rcmm32

// True when a frame is the first frame of a Sharp pair.
bool IsSharpFirstFrame(RcDurations frame);

}  // namespace tovanel::rc
