// The kernel's bi-phase protocols, RC-5 and RC-6: every bit is two halves
// of equal length, one with carrier and one without. After the receiver's
// stretch is taken out, each duration counts the whole number of halves
// nearest to it (as the kernel's decoders count them), the halves are laid
// out in a row, and each bit is read from its pair.
#include <vector>

#include "analysis/rc/RcTiming.h"

namespace tovanel::rc {

namespace {

using std::nullopt;

enum Level : uint8_t { Space = 0, Mark = 1 };
using Halves = std::vector<uint8_t>;

// Enough for RC-6 with 32 data bits and RC-5x with its check space.
constexpr size_t MaxHalves = 96;

// The halves of durations `first` onward, appended to `out`; false when a
// duration is shorter than half a unit or the row grows too long.
bool AppendHalves(const Frame& f, int32_t first, int32_t unit, Halves& out) {
    for (int32_t i = first; i < f.Size(); ++i) {
        const int64_t count = (f.At(i) + unit / 2) / unit;
        if (count < 1 || count > int64_t{MaxHalves} || out.size() + static_cast<size_t>(count) > MaxHalves)
            return false;
        out.insert(out.end(), static_cast<size_t>(count), i % 2 == 0 ? Mark : Space);
    }
    // The last bit's space half, if it ends in one, is never seen.
    if (out.size() % 2 != 0) out.push_back(Space);
    return true;
}

// The bits of the pairs at start, start + 2, ... (`count` of them), high bit
// first; a pair of two equal halves is no bit.
std::optional<uint32_t> PairBits(const Halves& h, size_t start, int count, Level oneStartsWith) {
    uint32_t value = 0;
    for (int k = 0; k < count; ++k) {
        const size_t j = start + 2 * static_cast<size_t>(k);
        if (j + 1 >= h.size() || h[j] == h[j + 1]) return nullopt;
        value = value << 1 | (h[j] == oneStartsWith ? 1u : 0u);
    }
    return value;
}

// RC-5: a start bit, the second start bit (the inverted 7th command bit),
// the toggle, then 5 address and 6 command bits; a 1 is a space half then a
// mark half. RC-5x puts a 4-unit space and 6 more bits after the 8th bit;
// the StreamZap variant sends 6 address bits.
constexpr size_t Rc5Halves = 2 * 14, Rc5SzHalves = 2 * 15;
constexpr size_t Rc5xCheckAt = 2 * 8, Rc5xCheckHalves = Rc5xCheckSpace / Rc5Unit;
constexpr size_t Rc5xHalves = 2 * 20 + Rc5xCheckHalves;

// RC-6: a 6/2-unit leader, start bit 1, three mode bits, the trailer bit
// in halves of two units, then the data bits; a 1 is a mark half then a
// space half.
constexpr Length Rc6Leader = Nominal(Rc6HeaderMark, Rc6Unit);
constexpr Length Rc6LeaderSpace = Nominal(Rc6HeaderSpace, Rc6Unit / 2);
constexpr size_t Rc6TrailerAt = 2 * 4, Rc6DataAt = Rc6TrailerAt + 4;
constexpr uint32_t Rc6Mode0 = 0, Rc6Mode6A = 6;
// RC-6 6A 32-bit customer codes the kernel reads as MCE, whose bit 15 is the toggle.
constexpr uint32_t MceCustomers[] = {0x800f, 0x8034, 0x8046};
constexpr uint32_t MceToggleBit = 0x8000;

}  // namespace

std::optional<RcReading> ReadRc5(const BurstAt& at) {
    Frame f(at.Current());
    if (!f.StretchOnGrid(0, Rc5Unit)) return nullopt;
    // The first start bit's space half is never seen either.
    Halves h{Space};
    if (!AppendHalves(f, 0, Rc5Unit, h)) return nullopt;

    if (h.size() == Rc5xHalves) {
        // The check space between the 8th and 9th bit holds no bit.
        for (size_t k = 0; k < Rc5xCheckHalves; ++k)
            if (h[Rc5xCheckAt + k] != Space) return nullopt;
        h.erase(h.begin() + Rc5xCheckAt, h.begin() + Rc5xCheckAt + Rc5xCheckHalves);
    } else if (h.size() != Rc5Halves && h.size() != Rc5SzHalves) {
        return nullopt;
    }
    const int count = static_cast<int>(h.size() / 2);
    const std::optional<uint32_t> bits = PairBits(h, 0, count, Space);
    if (!bits) return nullopt;

    // Fields counted from the frame's last bit.
    auto field = [&](int from, int width) { return *bits >> (count - from - width) & ((1u << width) - 1); };
    const uint32_t second = field(1, 1);
    const bool toggle = field(2, 1) != 0;
    // A second start bit of 0 is command bit 6.
    const uint32_t command6 = second != 0 ? 0 : 0x40;
    if (h.size() == Rc5SzHalves)
        return RcReading{RcProtocol::Rc5Sz, second << 13 | field(3, 6) << 6 | field(9, 6), toggle};
    if (count == 20)
        return RcReading{RcProtocol::Rc5x20,
                         field(3, 5) << 16 | (field(8, 6) | command6) << 8 | field(14, 6), toggle};
    return RcReading{RcProtocol::Rc5, field(3, 5) << 8 | field(8, 6) | command6, toggle};
}

std::optional<RcReading> ReadRc6(const BurstAt& at) {
    Frame f(at.Current());
    if (!f.StretchOnGrid(2, Rc6Unit)) return nullopt;
    if (!f.Fits(0, Rc6Leader) || !f.Fits(1, Rc6LeaderSpace)) return nullopt;
    Halves h;
    if (!AppendHalves(f, 2, Rc6Unit, h) || h.size() < Rc6DataAt) return nullopt;

    const std::optional<uint32_t> header = PairBits(h, 0, 4, Mark);
    if (!header || (*header & 0x8) == 0) return nullopt;  // the start bit is 1
    const uint32_t mode = *header & 0x7;
    // The trailer bit: two mark halves then two space halves is 1.
    const Halves trailer(h.begin() + Rc6TrailerAt, h.begin() + Rc6DataAt);
    if (trailer != Halves{Mark, Mark, Space, Space} && trailer != Halves{Space, Space, Mark, Mark})
        return nullopt;
    const bool trailerBit = trailer[0] == Mark;

    const int count = static_cast<int>((h.size() - Rc6DataAt) / 2);
    if (count > 32) return nullopt;
    const std::optional<uint32_t> data = PairBits(h, Rc6DataAt, count, Mark);
    if (!data) return nullopt;

    if (mode == Rc6Mode0 && count == 16) return RcReading{RcProtocol::Rc6_0, *data, trailerBit};
    // Mode 6A sends a trailer bit of 0 and 20, 24 or 32 data bits.
    if (mode != Rc6Mode6A || trailerBit) return nullopt;
    if (count == 20) return RcReading{RcProtocol::Rc6_6a_20, *data, {}};
    if (count == 24) return RcReading{RcProtocol::Rc6_6a_24, *data, {}};
    if (count != 32) return nullopt;
    for (uint32_t customer : MceCustomers)
        if (*data >> 16 == customer)
            return RcReading{RcProtocol::Rc6Mce, *data & ~MceToggleBit, (*data & MceToggleBit) != 0};
    return RcReading{RcProtocol::Rc6_6a_32, *data, {}};
}

}  // namespace tovanel::rc
