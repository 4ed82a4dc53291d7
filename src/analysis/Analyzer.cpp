#include "analysis/Analyzer.h"

#include <algorithm>
#include <limits>

#include "analysis/Recognition.h"
#include "analysis/decoders/Dispatch.h"

namespace tovanel {

namespace {

// The factors of QuotientOf: ceil(2^48 / n) for n from 1 to 200.
struct QuotientFactors {
    static constexpr int Shift = 48;
    uint64_t of[MaxDurations + 1] = {};
    constexpr QuotientFactors() {
        for (int n = 1; n <= MaxDurations; ++n) of[n] = ((uint64_t{1} << Shift) + n - 1) / n;
    }
};

constexpr QuotientFactors Factors;

// Running classes of one kind (marks or spaces) during the first pass. Sums
// are 64-bit so that no frame can overflow them. Entries from `count` on
// are written before they are read.
struct ClassBuilder {
    int64_t sums[MaxClasses];
    int64_t means[MaxClasses];  // sums[k] / members[k], kept up to date
    int32_t members[MaxClasses];
    int32_t count = 0;

    // Any duration.
    void Add(int32_t d) {
        for (int k = 0; k < count; ++k) {
            if (Near(d, means[k])) {
                sums[k] += d;
                ++members[k];
                means[k] = sums[k] / members[k];
                return;
            }
        }
        Found(d);
    }

    void Found(int32_t d) {
        if (count < MaxClasses) {  // a ninth length joins no class
            sums[count] = means[count] = d;
            members[count] = 1;
            ++count;
        }
    }

    void Finish(int32_t outMeans[], int32_t outCounts[], int32_t& classCount) const {
        for (int k = 0; k < count; ++k) {
            outMeans[k] = static_cast<int32_t>(means[k]);
            outCounts[k] = members[k];
        }
        classCount = count;
        SortClasses(outMeans, outCounts, count);
    }
};

// The same for a frame whose durations are all 0 or more (and so its sums,
// below 2^39), without a division: the range of means near a duration is
// worked out once, and a class's running mean by a multiplication.
struct NonNegativeClassBuilder : ClassBuilder {
    void Add(int32_t d) {
        const NearRange near = NearRange::Of(d);
        for (int k = 0; k < count; ++k) {
            if (near.Holds(means[k])) {
                sums[k] += d;
                ++members[k];
                means[k] = QuotientOf(sums[k], members[k]);
                return;
            }
        }
        Found(d);
    }
};

// The final, ascending means of one kind as the ranges of durations near
// them, for durations of 0 or more: the first range that does not end
// below a duration is the first near one, if any is. A last range that
// holds nothing ends the search.
class FinalClasses {
public:
    FinalClasses(const int32_t means[], int32_t count) {
        for (int k = 0; k < count; ++k) near_[k] = NearRange::Of(means[k]);
        near_[count] = {Beyond, Beyond};
    }

    int Find(int32_t d) const {
        int k = 0;
        while (near_[k].last < d) ++k;
        return near_[k].first <= d ? k : -1;
    }

private:
    static constexpr int64_t Beyond = std::numeric_limits<int64_t>::max();
    NearRange near_[MaxClasses + 1];
};

void ResetResults(CodeFrame& f) {
    f.Modulation = -1;
    f.Protocol = -1;
    f.IsRepeat = f.HasHeader = f.HasTrailer = false;
    f.MarkClassCount = f.SpaceClassCount = 0;
    f.ModeStart = f.ModeBits = f.Mode = 0;
    f.AdrOrder = false;
    f.AdrStart = f.AdrBits = 0;
    f.Adr = 0;
    f.CmdOrder = false;
    f.CmdStart = f.CmdBits = 0;
    f.Cmd = 0;
}

// First class, shortest first, whose final mean is near d; -1 if none.
int FindClass(int32_t d, const int32_t means[], int32_t classCount) {
    for (int k = 0; k < classCount; ++k)
        if (Near(d, means[k])) return k;
    return -1;
}

enum class Classified { All, NotAll, NegativeLength };

// Both passes for a frame of marks and spaces in turn (an odd count) whose
// durations are all 0 or more. A negative duration stops it before it has
// written anything to the record.
Classified ClassifyNonNegative(CodeFrame& f) {
    const int32_t* d = f.Durations;
    const int32_t last = f.Count - 1;
    NonNegativeClassBuilder marks, spaces;
    for (int i = 0; i < last; i += 2) {
        if ((d[i] | d[i + 1]) < 0) return Classified::NegativeLength;
        marks.Add(d[i]);
        spaces.Add(d[i + 1]);
    }
    if (d[last] < 0) return Classified::NegativeLength;
    marks.Add(d[last]);
    marks.Finish(f.MarkMeans, f.MarkCounts, f.MarkClassCount);
    spaces.Finish(f.SpaceMeans, f.SpaceCounts, f.SpaceClassCount);

    // Final assignment against the sorted final means, position by position.
    const FinalClasses markClasses(f.MarkMeans, f.MarkClassCount);
    const FinalClasses spaceClasses(f.SpaceMeans, f.SpaceClassCount);
    for (int i = 0; i <= last; i += 2) {
        const int mark = markClasses.Find(d[i]);
        if (mark < 0) return Classified::NotAll;
        f.ClassIndex[i] = mark;
        if (i == last) break;
        const int space = spaceClasses.Find(d[i + 1]);
        if (space < 0) return Classified::NotAll;
        f.ClassIndex[i + 1] = space;
    }
    return Classified::All;
}

bool ClassifyDurations(CodeFrame& f) {
    switch (ClassifyNonNegative(f)) {
        case Classified::All: return true;
        case Classified::NotAll: return false;
        case Classified::NegativeLength: break;
    }

    ClassBuilder marks, spaces;
    for (int i = 0; i < f.Count; ++i) (i % 2 == 0 ? marks : spaces).Add(f.Durations[i]);
    marks.Finish(f.MarkMeans, f.MarkCounts, f.MarkClassCount);
    spaces.Finish(f.SpaceMeans, f.SpaceCounts, f.SpaceClassCount);

    // Final assignment against the sorted final means: a duration may land in
    // another class than the one that took it, or in none.
    for (int i = 0; i < f.Count; ++i) {
        const bool mark = i % 2 == 0;
        const int k = mark ? FindClass(f.Durations[i], f.MarkMeans, f.MarkClassCount)
                           : FindClass(f.Durations[i], f.SpaceMeans, f.SpaceClassCount);
        if (k < 0) return false;
        f.ClassIndex[i] = k;
    }
    return true;
}

// A header or trailer class is rare (at most two members) and clearly longer
// than the shortest class; class 1 only when there are exactly two classes.
bool IsRareLongClass(int k, int32_t classCount, const int32_t counts[]) {
    return (k >= 2 || (k == 1 && classCount == 2)) && counts[k] <= 2;
}

bool IsLongMark(const CodeFrame& f, int pos) {
    const int k = f.ClassIndex[pos];
    return IsRareLongClass(k, f.MarkClassCount, f.MarkCounts) &&
           int64_t{f.MarkMeans[k]} > 3 * int64_t{f.MarkMeans[0]};
}

bool IsLongSpace(const CodeFrame& f, int pos) {
    const int k = f.ClassIndex[pos];
    return IsRareLongClass(k, f.SpaceClassCount, f.SpaceCounts) &&
           int64_t{f.SpaceMeans[k]} > (5 * int64_t{f.SpaceMeans[0]}) / 2;
}

void MarkHeaderAndTrailer(CodeFrame& f) {
    const int last = f.Count - 1;
    if (IsLongMark(f, 0)) {
        f.HasHeader = true;
        f.Flags[0] |= Header;
    }
    if (IsLongSpace(f, 1)) {
        f.HasHeader = true;
        f.Flags[1] |= Header;
    }
    if (IsLongMark(f, last)) {
        f.HasTrailer = true;
        f.Flags[last] |= Trailer;
    }
    if (IsLongSpace(f, last - 1)) {
        f.HasTrailer = true;
        f.Flags[last - 1] |= Trailer;
    }
}

}  // namespace

int64_t QuotientOf(int64_t sum, int32_t members) {
    const auto product = static_cast<unsigned __int128>(static_cast<uint64_t>(sum)) * Factors.of[members];
    return static_cast<int64_t>(product >> QuotientFactors::Shift);
}

void SortClasses(int32_t means[], int32_t counts[], int32_t n) {
    // Insertion sort: stable, so it orders exactly as the repeated passes
    // of adjacent swaps do, with far fewer steps for a few classes.
    for (int i = 1; i < n; ++i) {
        const int32_t mean = means[i], count = counts[i];
        int j = i;
        for (; j > 0 && means[j - 1] > mean; --j) {
            means[j] = means[j - 1];
            counts[j] = counts[j - 1];
        }
        means[j] = mean;
        counts[j] = count;
    }
}

bool ClassifyFrame(CodeFrame& f) {
    ResetResults(f);
    // A record never holds more than its arrays; an even count (a trailing
    // space, as other producers may store) is analysed without its last
    // duration, the way the recording buffer stores frames: the space goes,
    // so that a decoder reading past the end finds zero there as elsewhere.
    f.Count = std::clamp(f.Count, 0, MaxDurations);
    if (f.Count % 2 == 0 && f.Count > 0) {
        --f.Count;
        f.Durations[f.Count] = 0;
        f.ClassIndex[f.Count] = 0;
    }
    if (f.Count < 3) return false;

    if (!ClassifyDurations(f)) return false;
    MarkHeaderAndTrailer(f);
    return true;
}

bool AnalyzeFrame(CodeFrame& f, int32_t forcedModulation, int32_t forcedProtocol,
                  const DecodeSettings& layout) {
    if (!ClassifyFrame(f)) return false;
    switch (RecognizeFrame(f, forcedModulation, forcedProtocol)) {
        case Recognition::Repeat: return true;
        case Recognition::NoModulation: return false;
        case Recognition::Decode: break;
    }
    return DecodeProtocol(f, layout);
}

bool AnalyzeFrame(CodeFrame& frame, int32_t forcedModulation, int32_t forcedProtocol) {
    return AnalyzeFrame(frame, forcedModulation, forcedProtocol, GlobalDecodeSettings().Get());
}

}  // namespace tovanel
