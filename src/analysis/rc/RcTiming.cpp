#include "analysis/rc/RcTiming.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "analysis/CodeFrame.h"

namespace tovanel::rc {

namespace {

// The median of up to MaxDurations values (the upper one of an even count).
class Median {
public:
    void Add(int32_t v) {
        if (n_ < values_.size()) values_[n_++] = v;
    }
    bool Empty() const { return n_ == 0; }
    int32_t Value() {
        const auto mid = static_cast<int32_t>(n_ / 2);
        if (n_ <= ShortList) {
            const auto [lo, hi] = std::minmax_element(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(n_));
            if (int64_t{*hi} - *lo < static_cast<int64_t>(Span)) {
                // Lengths close together, as a frame's marks of one kind
                // are: counted by value, then the counts summed up to the
                // middle one.
                std::array<uint8_t, Span> count{};
                for (size_t i = 0; i < n_; ++i) ++count[static_cast<size_t>(values_[i] - *lo)];
                size_t seen = 0;
                for (size_t k = 0; k < Span; ++k) {
                    seen += count[k];
                    if (seen > n_ / 2) return *lo + static_cast<int32_t>(k);
                }
            }
            // By rank: the value with at most `mid` values below it and more
            // than `mid` at or below it. Counting without a branch beats a
            // selection's unpredictable ones on the few marks of a frame.
            const auto n = static_cast<int32_t>(n_);
            for (int32_t i = 0; i < n; ++i) {
                const int32_t v = values_[static_cast<size_t>(i)];
                int32_t below = 0, atOrBelow = 0;
                for (int32_t j = 0; j < n; ++j) {
                    below += values_[static_cast<size_t>(j)] < v;
                    atOrBelow += values_[static_cast<size_t>(j)] <= v;
                }
                if (below <= mid && mid < atOrBelow) return v;
            }
        }
        auto at = values_.begin() + mid;
        std::nth_element(values_.begin(), at, values_.begin() + static_cast<std::ptrdiff_t>(n_));
        return *at;
    }

private:
    static constexpr size_t ShortList = 64;  // fewer than 256: a count fits a byte
    static constexpr size_t Span = 256;
    std::array<int32_t, MaxDurations> values_;  // the first n_ are set
    size_t n_ = 0;
};

// How far d lies from the nearest whole multiple of unit (at least one),
// limited to what the median needs to know: a unit either way.
int32_t GridResidual(int32_t d, int32_t unit) {
    const int64_t multiple = std::max<int64_t>(1, (int64_t{d} + unit / 2) / unit);
    return static_cast<int32_t>(std::clamp<int64_t>(d - multiple * unit, -unit, unit));
}

}  // namespace

int Frame::Nearest(int32_t i, std::span<const Length> lengths) const {
    if (i >= Size()) return -1;
    if (lengths.empty()) return -1;
    // Chosen without a branch: which length is nearer changes from bit to
    // bit, which a branch would mispredict half the time.
    const int64_t d = At(i);
    int best = 0;
    int64_t bestDistance = std::llabs(d - lengths[0].us);
    for (size_t k = 1; k < lengths.size(); ++k) {
        const int64_t distance = std::llabs(d - lengths[k].us);
        const bool nearer = distance < bestDistance;
        best = nearer ? static_cast<int>(k) : best;
        bestDistance = nearer ? distance : bestDistance;
    }
    return Fits(i, lengths[static_cast<size_t>(best)]) ? best : -1;
}

bool Frame::SetStretch(int32_t stretch) {
    stretch_ = stretch;
    return std::abs(stretch) <= MaxStretch;
}

bool Frame::StretchFromMarks(int32_t first, int32_t end, int32_t nominal) {
    Median m;
    for (int32_t i = first; i < std::min(end, Size()); i += 2) m.Add(d_[i]);
    return !m.Empty() && SetStretch(m.Value() - nominal);
}

bool Frame::StretchFromSpaces(int32_t first, int32_t end, int32_t nominal) {
    Median m;
    for (int32_t i = first; i < std::min(end, Size()); i += 2) m.Add(d_[i]);
    return !m.Empty() && SetStretch(nominal - m.Value());
}

bool Frame::StretchOnGrid(int32_t first, int32_t unit) {
    Median marks, spaces;
    for (int32_t i = first; i < Size(); ++i) (i % 2 == 0 ? marks : spaces).Add(GridResidual(d_[i], unit));
    if (marks.Empty()) return false;
    const int32_t fromMarks = marks.Value();
    return SetStretch(spaces.Empty() ? fromMarks : (fromMarks - spaces.Value()) / 2);
}

std::optional<uint64_t> ReadSpaceBits(const Frame& f, int32_t first, int bits, Length mark, Length zero,
                                      Length one) {
    const Length spaces[] = {zero, one};
    uint64_t value = 0;
    for (int k = 0; k < bits; ++k) {
        const int32_t i = first + 2 * k;
        if (!f.Fits(i, mark)) return std::nullopt;
        const int bit = f.Nearest(i + 1, spaces);
        if (bit < 0) return std::nullopt;
        value |= uint64_t(bit) << k;
    }
    return value;
}

}  // namespace tovanel::rc
