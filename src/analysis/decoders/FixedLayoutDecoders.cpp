// Protocols whose address and command lie at fixed positions, one
// mark/space pair per bit, each bit read by comparing one duration of its
// pair with the threshold between the two shortest classes: the space in
// JVC, Sharp, RECS80, X-Sat, REC80, KONKA, MITSUBISHI and THOMSON, the mark
// in SONY. They differ only in what they require of the frame, what they do
// with the header pair and where their fields lie, so each protocol (and
// each length variant) is one row of a table read by one routine.
#include "analysis/decoders/BitReading.h"
#include "analysis/decoders/Decoders.h"

namespace tovanel {

namespace {

// Entry requirements, all tested before anything is written.
enum Need : unsigned {
    Headed = 1,            // the pipeline found a header
    TwoSpaceClasses = 2,   // two space lengths to split the bits by
    OneMarkClass = 4,      // a single mark length
    ThreeMarkClasses = 8,  // SONY: header, short and long marks
};

// What a decoder does with the header pair, positions 0 and 1.
enum class HeaderRule {
    Keep,    // left as the caller leaves it
    Mark,    // HasHeader, Header on both durations
    Remove,  // no header: HasHeader false, Header marks removed
    Clear,   // HasHeader false; Header marks the pipeline placed stay
};

struct Layout {
    unsigned needs;
    HeaderRule header;
    BitSource source;
    Field adr, cmd;
    int32_t toggle = -1;  // a pair marked ToggleBit and not decoded
};

constexpr bool Low = LowFirst, High = HighFirst;
constexpr BitSource Space = BitSource::Space, Mark = BitSource::Mark;
constexpr unsigned HeadedTwoSpaces = Headed | TwoSpaceClasses;
constexpr unsigned BareTwoSpaces = OneMarkClass | TwoSpaceClasses;

// JVC's first frame has a header, its repetitions have none; the header
// marks are the JVC decoder's own.
constexpr Layout JvcFirst{TwoSpaceClasses, HeaderRule::Keep, Space, {2, 8, Low}, {18, 8, Low}};
constexpr Layout JvcLater{TwoSpaceClasses, HeaderRule::Keep, Space, {0, 8, Low}, {16, 8, Low}};
// Sharp's two bits after the command (expansion, check) are not decoded.
constexpr Layout Sharp{OneMarkClass, HeaderRule::Remove, Space, {0, 5, Low}, {10, 8, Low}};
// X-Sat: the pair at 18 (a mark and a 4000 µs space) separates the fields.
constexpr Layout Xsat{HeadedTwoSpaces, HeaderRule::Mark, Space, {2, 8, Low}, {20, 8, Low}};
constexpr Layout Rec80Cmd8{HeadedTwoSpaces, HeaderRule::Mark, Space, {2, 32, Low}, {66, 8, Low}};
constexpr Layout Rec80Cmd16{HeadedTwoSpaces, HeaderRule::Mark, Space, {2, 32, Low}, {66, 16, Low}};
constexpr Layout Konka{HeadedTwoSpaces, HeaderRule::Mark, Space, {2, 7, High}, {16, 10, High}};
constexpr Layout Mitsubishi{BareTwoSpaces, HeaderRule::Clear, Space, {0, 8, High}, {16, 8, High}};
constexpr Layout Thomson{BareTwoSpaces, HeaderRule::Clear, Space, {0, 4, High}, {10, 7, High}, 8};

// SONY sends one word low bit first, the command in its low bits and a
// 5-bit address above it; the word's length gives the command's width.
constexpr unsigned SonyNeeds = Headed | ThreeMarkClasses;
constexpr Layout Sony12{SonyNeeds, HeaderRule::Mark, Mark, {16, 5, Low}, {2, 7, Low}};
constexpr Layout Sony15{SonyNeeds, HeaderRule::Mark, Mark, {22, 5, Low}, {2, 10, Low}};
constexpr Layout Sony20{SonyNeeds, HeaderRule::Mark, Mark, {32, 5, Low}, {2, 15, Low}};

// RECS80 has no header: the first pair (and in the 27-duration variant the
// second) is a start bit, followed by the toggle bit.
constexpr Layout Recs80Short{OneMarkClass, HeaderRule::Remove, Space, {4, 3, High}, {10, 6, High}, 2};
constexpr Layout Recs80Long{OneMarkClass, HeaderRule::Remove, Space, {6, 4, High}, {14, 6, High}, 4};

bool Meets(const CodeFrame& f, unsigned needs) {
    return (!(needs & Headed) || f.HasHeader) &&
           (!(needs & TwoSpaceClasses) || f.SpaceClassCount >= 2) &&
           (!(needs & OneMarkClass) || f.MarkClassCount <= 1) &&
           (!(needs & ThreeMarkClasses) || f.MarkClassCount == 3);
}

void ApplyHeaderRule(CodeFrame& f, HeaderRule rule) {
    switch (rule) {
        case HeaderRule::Keep: break;
        case HeaderRule::Mark:
            f.HasHeader = true;
            MarkRange(f, 0, 1, Header);
            break;
        case HeaderRule::Remove:
            f.HasHeader = false;
            MarkRange(f, 0, 1, 0, Header);
            break;
        case HeaderRule::Clear: f.HasHeader = false; break;
    }
}

// Both fields at their places; the toggle pair (between them) is marked.
void ReadLayout(CodeFrame& f, const Layout& l) {
    const int32_t t = l.source == Mark ? MarkBitThreshold(f) : BitThreshold(f);
    SetAdrLayout(f, l.adr);
    f.Adr = ReadField(f, l.adr, t, l.source, AdrBit);
    if (l.toggle >= 0) MarkRange(f, l.toggle, l.toggle + 1, ToggleBit);
    SetCmdLayout(f, l.cmd);
    f.Cmd = ReadField(f, l.cmd, t, l.source, CmdBit);
}

bool Decode(CodeFrame& f, const Layout& l) {
    if (!Meets(f, l.needs)) return false;
    ApplyHeaderRule(f, l.header);
    ReadLayout(f, l);
    return true;
}

// The 27-duration variant's 4 raw address bits b3 b2 b1 b0 (b3 first) are
// permuted to P = b1 b0 b2 b3 and P is moved past the unused numbers.
constexpr uint64_t Recs80LongAddress(uint64_t raw) {
    const uint64_t b3 = raw >> 3 & 1, b2 = raw >> 2 & 1, b1 = raw >> 1 & 1, b0 = raw & 1;
    const uint64_t p = 8 * b1 + 4 * b0 + 2 * b2 + b3;
    return p < 7 ? p + 8 : p < 14 ? p + 7 : p + 5;
}

}  // namespace

bool DecodeJvc(CodeFrame& f) {
    // The first frame of a burst has the header, its repetitions have none.
    const bool first = f.SlotIndex == 0;
    if (f.Count != (first ? 35 : 33) || f.HasHeader != first) return false;
    // Marked before the space classes are looked at: a frame rejected for a
    // single space class still shows its header.
    if (f.HasHeader) MarkRange(f, 0, 1, Header);
    return Decode(f, first ? JvcFirst : JvcLater);
}

bool DecodeSharp(CodeFrame& f) { return Decode(f, Sharp); }
bool DecodeXsat(CodeFrame& f) { return Decode(f, Xsat); }
bool DecodeRec80(CodeFrame& f) { return Decode(f, f.Count == 83 ? Rec80Cmd8 : Rec80Cmd16); }
bool DecodeKonka(CodeFrame& f) { return Decode(f, Konka); }
bool DecodeMitsubishi(CodeFrame& f) { return Decode(f, Mitsubishi); }
bool DecodeThomson(CodeFrame& f) { return Decode(f, Thomson); }

bool DecodeSony(CodeFrame& f) {
    switch (f.Count) {
        case 25: return Decode(f, Sony12);
        case 31: return Decode(f, Sony15);
        case 41: return Decode(f, Sony20);
        default: return false;
    }
}

bool DecodeRecs80(CodeFrame& f) {
    // The length is tested only after the header and start-bit marks.
    if (!Meets(f, OneMarkClass)) return false;
    ApplyHeaderRule(f, HeaderRule::Remove);
    MarkRange(f, 0, 1, StartBit);
    if (f.Count != 23 && f.Count != 27) return false;
    const Layout& l = f.Count == 23 ? Recs80Short : Recs80Long;
    MarkRange(f, 2, l.toggle - 1, StartBit);  // every pair before the toggle
    ReadLayout(f, l);
    f.Adr = f.Count == 23 ? (f.Adr + 2) & 7 : Recs80LongAddress(f.Adr);
    return true;
}

}  // namespace tovanel
