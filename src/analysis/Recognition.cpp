#include "analysis/Recognition.h"

#include <initializer_list>

#include "analysis/Analyzer.h"

namespace tovanel {

namespace {

// Nominal timings the rules compare with, µs.
constexpr int32_t Rc6HeaderMark = 2666;
constexpr int32_t Rc6Unit = 444;  // class means are 1..6 units
constexpr int32_t Rc5Half = 889;
constexpr int32_t Rc5Full = 1778;
constexpr int32_t NokiaHalf = 500;
constexpr int32_t NokiaFull = 1000;
constexpr int32_t NokiaHeaderSpace = 2500;
constexpr int32_t SanyoRepeatSpace = 4500;
constexpr int32_t IttShort = 100;
constexpr int32_t IttMiddle = 200;
constexpr int32_t IttLong = 300;
constexpr int32_t JvcHeaderMark = 8400;
constexpr int32_t JvcHeaderSpace = 4200;
constexpr int32_t XsatHeaderMark = 8000;
constexpr int32_t XsatHeaderSpace = 4000;
constexpr int32_t XsatMiddleSpace = 4000;  // the space at position 19
constexpr int32_t RcmmShortMark = 167;
constexpr int32_t RcmmLongMark = 417;
constexpr int32_t RcmmSpaces[] = {278, 444, 611, 779};

constexpr int MaxRepeatLength = 7;

const char* const ProtocolNames[Protocol::Count] = {
    "(not detected)", "ITT",    "JVC",   "NEC",   "NOKIA",     "SHARP", "SONY",
    "RC-5",           "RC-6",   "RC-MM", "RECS80", "X-Sat",    "SANYO", "REC80",
    "RCA",            "RCA2",   "NEC (rev)", "KONKA", "MITSUBISHI", "THOMSON",
};

const char* const ModulationNames[] = {"(not detected)", "Pulse distance", "Pulse length",
                                       "Bi-phase"};

bool NearAny(int32_t x, std::initializer_list<int32_t> nominals) {
    for (int32_t n : nominals)
        if (Near(x, n)) return true;
    return false;
}

template <typename Pred>
bool AllClasses(const int32_t means[], int32_t count, Pred pred) {
    for (int k = 0; k < count; ++k)
        if (!pred(k, means[k])) return false;
    return true;
}

bool NearUnitMultiple(int32_t mean) {
    for (int k = 1; k <= 6; ++k)
        if (Near(mean, k * Rc6Unit)) return true;
    return false;
}

// The frame facts the rules talk about, under the rules' own short names.
struct View {
    const CodeFrame& f;
    int32_t N, nM, nS;
    const int32_t *MM, *SM, *MC;
    int32_t d(int i) const { return f.Durations[i]; }
};

bool IsRc6(const View& v) {
    return v.N >= 23 && v.nM >= 3 && v.nS >= 2 && Near(v.d(0), Rc6HeaderMark) &&
           NearAny(v.d(1), {Rc5Half, Rc5Full}) &&
           AllClasses(v.MM, v.nM, [](int, int32_t m) { return NearUnitMultiple(m); }) &&
           AllClasses(v.SM, v.nS, [](int, int32_t m) { return NearUnitMultiple(m); });
}

bool IsRc5(const View& v) {
    auto biphase = [](int, int32_t m) { return NearAny(m, {Rc5Half, Rc5Full}); };
    return v.N >= 13 && v.nM >= 1 && v.nS >= 1 && AllClasses(v.MM, v.nM, biphase) &&
           AllClasses(v.SM, v.nS, biphase);
}

bool IsNokia(const View& v) {
    auto space = [&](int k, int32_t m) {
        if (NearAny(m, {NokiaHalf, NokiaFull})) return true;
        return Near(m, NokiaHeaderSpace) && v.f.SpaceCounts[k] <= 1;
    };
    return v.N >= 19 && v.nM >= 1 && v.nS >= 1 && Near(v.d(0), NokiaHalf) &&
           Near(v.d(1), NokiaHeaderSpace) &&
           AllClasses(v.MM, v.nM, [](int, int32_t m) { return NearAny(m, {NokiaHalf, NokiaFull}); }) &&
           AllClasses(v.SM, v.nS, space);
}

bool IsPulseDistance(const View& v) {
    if (v.nS <= 1) return false;
    if (v.nM == 1) return true;
    // Two mark classes: the first mark is the long (header) class, and the
    // long class holds it alone or it and the last mark. The last mark sits
    // at N - 1; N - 2 is the space before it, kept for frames that carry a
    // trailing space.
    return v.nM == 2 && Near(v.d(0), v.MM[1]) &&
           (v.MC[1] == 1 ||
            (v.MC[1] == 2 && (Near(v.d(v.N - 1), v.MM[1]) || Near(v.d(v.N - 2), v.MM[1]))));
}

bool IsItt(const View& v) {
    if (v.N != 27) return false;
    for (int i = 0; i < v.nM; i += 2)
        if (!NearAny(v.d(i), {IttShort, IttMiddle, IttLong})) return false;
    // ITT's own three space lengths; other 27-duration frames (RECS80) go on.
    return v.nS == 3 && Near(v.SM[0], IttShort) && Near(v.SM[1], IttMiddle) &&
           Near(v.SM[2], IttLong);
}

bool IsJvc(const View& v) {
    const int64_t sm0 = v.SM[0], sm1 = v.SM[1];
    // First frame: the header identifies JVC; its spaces are 1:3 nominal, so
    // the long space only needs to exceed 2.5 times the short one.
    if (v.N == 35 && v.f.SlotIndex == 0 && v.f.HasHeader && Near(v.d(0), JvcHeaderMark) &&
        Near(v.d(1), JvcHeaderSpace))
        return 2 * sm1 > 5 * sm0;
    // Later frames have no header; the strict ratio tells JVC from MITSUBISHI.
    return v.N == 33 && v.f.SlotIndex > 0 && !v.f.HasHeader && 3 * sm0 < sm1;
}

bool IsXsat(const View& v) {
    return v.N == 37 && Near(v.d(0), XsatHeaderMark) && Near(v.d(1), XsatHeaderSpace) &&
           Near(v.d(19), XsatMiddleSpace);
}

bool IsRcmm(const View& v) {
    if (v.nM < 2 || !Near(v.MM[0], RcmmShortMark) || !Near(v.MM[1], RcmmLongMark)) return false;
    for (int k = 1; k < v.nS; ++k) {
        bool fits = false;
        for (int32_t n : RcmmSpaces) fits = fits || Near(v.SM[k], n);
        if (!fits) return false;
    }
    return true;
}

// Pulse-distance protocols by length, header and class counts, in the order
// that settles their overlaps (JVC before MITSUBISHI, X-Sat before KONKA).
int32_t PulseDistanceProtocol(const View& v) {
    const int32_t N = v.N;
    const bool header = v.f.HasHeader;
    if (IsItt(v)) return Protocol::Itt;
    if (IsJvc(v)) return Protocol::Jvc;
    if (N == 33 && v.nM == 1) return Protocol::Mitsubishi;
    if (N == 25 && v.nM == 1) return Protocol::Thomson;
    if (N == 51 && header) return Protocol::Rca;
    if (N == 67 && header) return Protocol::Nec;
    if ((N == 83 || N == 99) && header) return Protocol::Rec80;
    if (N == 87 && header) return Protocol::Sanyo;
    if (N == 31 && v.nM == 1) return Protocol::Sharp;
    if (IsXsat(v)) return Protocol::Xsat;
    if (N == 37 && header) return Protocol::Konka;
    return Protocol::None;
}

}  // namespace

const char* ProtocolName(int32_t protocol) {
    return protocol >= 0 && protocol < Protocol::Count ? ProtocolNames[protocol] : "(Unknown)";
}

const char* ModulationName(int32_t modulation) {
    return modulation >= 0 && modulation <= Modulation::BiPhase ? ModulationNames[modulation]
                                                                 : "(Unknown)";
}

int32_t ImpliedModulation(int32_t protocol) {
    switch (protocol) {
        case Protocol::Nokia:
        case Protocol::Rc5:
        case Protocol::Rc6: return Modulation::BiPhase;
        case Protocol::Sony: return Modulation::PulseLength;
        default:
            return protocol >= 1 && protocol < Protocol::Count ? Modulation::PulseDistance
                                                               : Modulation::None;
    }
}

Recognition RecognizeFrame(CodeFrame& f, int32_t forcedModulation, int32_t forcedProtocol) {
    f.Modulation = forcedModulation;
    f.Protocol = forcedProtocol;
    const View v{f, f.Count, f.MarkClassCount, f.SpaceClassCount, f.MarkMeans, f.SpaceMeans,
                 f.MarkCounts};
    int32_t& M = f.Modulation;
    int32_t& P = f.Protocol;

    // Bi-phase rules, while nothing decided them: RC-6 before RC-5 before NOKIA.
    auto biphaseOpen = [&] { return M == 0 || (M == Modulation::BiPhase && P == 0); };
    struct BiphaseRule {
        bool (*test)(const View&);
        int32_t protocol;
    };
    for (const BiphaseRule& rule : {BiphaseRule{IsRc6, Protocol::Rc6}, BiphaseRule{IsRc5, Protocol::Rc5},
                                    BiphaseRule{IsNokia, Protocol::Nokia}}) {
        if (biphaseOpen() && rule.test(v)) {
            M = Modulation::BiPhase;
            P = rule.protocol;
        }
    }

    // Repeat code: a short later frame of the burst carries no fields.
    if (f.SlotIndex > 0 && v.N <= MaxRepeatLength &&
        (M == 0 || (M == Modulation::PulseDistance && P == 0))) {
        M = Modulation::PulseDistance;
        P = Near(v.SM[0], SanyoRepeatSpace) ? Protocol::Sanyo : Protocol::Nec;
        f.IsRepeat = true;
        return Recognition::Repeat;
    }

    if (M == 0) {
        if (v.nM > 1 && v.nS == 1)
            M = Modulation::PulseLength;
        else if (IsPulseDistance(v))
            M = Modulation::PulseDistance;
    }
    if (M == 0) return Recognition::NoModulation;

    if (P == 0 && M == Modulation::PulseDistance) P = PulseDistanceProtocol(v);
    if (P == 0 && M == Modulation::PulseLength && f.HasHeader && (v.N == 25 || v.N == 31 || v.N == 41))
        P = Protocol::Sony;
    // RECS80 frames have a single mark class, as its decoder requires.
    if (P == 0 && M == Modulation::PulseDistance && (v.N == 23 || v.N == 27) && v.nM <= 1)
        P = Protocol::Recs80;
    if (P == 0 && M == Modulation::PulseDistance && IsRcmm(v)) P = Protocol::Rcmm;
    return Recognition::Decode;
}

}  // namespace tovanel
