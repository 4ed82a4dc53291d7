#include "analysis/Analyzer.h"

#include <algorithm>

#include "analysis/Recognition.h"
#include "analysis/decoders/Dispatch.h"

namespace tovanel {

namespace {

// Running classes of one kind (marks or spaces) during the first pass. Sums
// are 64-bit so that no frame can overflow them.
struct ClassBuilder {
    int64_t sums[MaxClasses] = {};
    int64_t means[MaxClasses] = {};  // sums[k] / members[k], kept up to date
    int32_t members[MaxClasses] = {};
    int32_t count = 0;

    void Add(int32_t d) {
        for (int k = 0; k < count; ++k) {
            if (Near(d, means[k])) {
                sums[k] += d;
                ++members[k];
                means[k] = sums[k] / members[k];
                return;
            }
        }
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

bool ClassifyDurations(CodeFrame& f) {
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

void SortClasses(int32_t means[], int32_t counts[], int32_t n) {
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (int i = 0; i + 1 < n; ++i) {
            if (means[i] > means[i + 1]) {
                std::swap(means[i], means[i + 1]);
                std::swap(counts[i], counts[i + 1]);
                swapped = true;
            }
        }
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
