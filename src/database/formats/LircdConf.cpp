// lircd.conf: every `begin remote` block becomes a unit, every code a key
// whose frames are what LIRC's transmitter sends for one key press. The
// encoder follows LIRC's own: bits high first, pulses and spaces that meet
// merged into one, a space before the first pulse and after the last one
// dropped, and the gap after each frame either fixed or, with
// CONST_LENGTH, the rest of a fixed period.
#include <algorithm>
#include <bit>
#include <optional>

#include "database/formats/CodeFile.h"
#include "database/formats/TextScan.h"

namespace tovanel {

using namespace codefile;

namespace {

// The frames of a press kept at most: what the recording buffer holds, and
// a bound on the work one short code line can ask for (min_repeat 1000).
constexpr int MaxPressFrames = 10;

// ---- The remote ------------------------------------------------------------

enum LircFlag : uint32_t {
    RawCodes = 0x0001,
    Rc5 = 0x0002,  // also SHIFT_ENC
    Rc6 = 0x0004,
    Rcmm = 0x0008,
    SpaceEnc = 0x0010,
    SpaceFirst = 0x0020,
    Goldstar = 0x0040,
    Grundig = 0x0080,
    Bo = 0x0100,
    Serial = 0x0200,
    Xmp = 0x0400,
    Reverse = 0x0800,
    NoHeadRep = 0x1000,
    NoFootRep = 0x2000,
    ConstLength = 0x4000,
    RepeatHeader = 0x8000,
};

struct FlagName {
    const char* name;
    uint32_t flag;
};
constexpr FlagName FlagNames[] = {
    {"RAW_CODES", RawCodes},   {"RC5", Rc5},           {"SHIFT_ENC", Rc5},           {"RC6", Rc6},
    {"RCMM", Rcmm},            {"SPACE_ENC", SpaceEnc}, {"SPACE_FIRST", SpaceFirst}, {"GOLDSTAR", Goldstar},
    {"GRUNDIG", Grundig},      {"BO", Bo},             {"SERIAL", Serial},           {"XMP", Xmp},
    {"REVERSE", Reverse},      {"NO_HEAD_REP", NoHeadRep}, {"NO_FOOT_REP", NoFootRep},
    {"CONST_LENGTH", ConstLength}, {"REPEAT_HEADER", RepeatHeader},
};

// A pulse and the space after it (or before it, by the encoding), µs.
struct Pair {
    int32_t pulse = 0;
    int32_t space = 0;
    bool Both() const { return pulse > 0 && space > 0; }
};

struct CodeLine {
    std::string name;
    int line;
    std::vector<uint64_t> codes;    // encoded remotes: one or a sequence
    std::vector<int32_t> signal;    // raw remotes
};

struct Remote {
    std::string name;
    int line = 0;
    uint32_t flags = 0;
    int bits = 0, preBits = 0, postBits = 0;
    uint64_t preData = 0, postData = 0;
    Pair header, one, zero, two, three, foot, repeat, pre, post;
    int32_t plead = 0, ptrail = 0;
    int32_t gap = 0, gap2 = 0, repeatGap = 0;
    int minRepeat = 0;
    int toggleBit = 0;
    uint64_t toggleBitMask = 0, toggleMask = 0, repeatMask = 0, rc6Mask = 0;
    int32_t frequency = 0;
    std::vector<CodeLine> codes;
    bool rawBlock = false;  // `begin raw_codes` makes a remote raw, whatever its flags say

    int AllBits() const { return preBits + bits + postBits; }
    bool Raw() const { return (flags & RawCodes) != 0; }
    bool Biphase() const { return (flags & (Rc5 | Rc6)) != 0; }
    bool HasRepeat() const { return repeat.Both(); }
    int32_t MinGap() const { return gap2 != 0 && gap2 < gap ? gap2 : gap; }
};

uint64_t ReverseBits(uint64_t value, int bits) {
    uint64_t out = 0;
    for (int k = 0; k < bits; ++k) out |= ((value >> k) & 1u) << (bits - 1 - k);
    return out;
}

uint64_t LowBits(uint64_t value, int bits) { return bits >= 64 ? value : value & ((uint64_t{1} << bits) - 1); }

// ---- The transmitter ---------------------------------------------------------

// One frame being built, as LIRC's send buffer builds it.
class SendBuffer {
public:
    void Pulse(int64_t v) {
        if (v <= 0) return;
        if (pendingPulse_ > 0) {
            pendingPulse_ += v;
            return;
        }
        if (pendingSpace_ > 0) Add(pendingSpace_);
        pendingSpace_ = 0;
        pendingPulse_ = v;
    }
    void Space(int64_t v) {
        if (v <= 0) return;
        if (signal_.empty() && pendingPulse_ == 0) return;  // no frame begins with a space
        if (pendingSpace_ > 0) {
            pendingSpace_ += v;
            return;
        }
        if (pendingPulse_ > 0) Add(pendingPulse_);
        pendingPulse_ = 0;
        pendingSpace_ = v;
    }
    // The frame ends with its last pulse; a pending space is not sent and
    // not counted.
    std::vector<int32_t> Finish(int64_t& sum) {
        if (pendingPulse_ > 0) Add(pendingPulse_);
        pendingPulse_ = pendingSpace_ = 0;
        sum = sum_;
        return std::move(signal_);
    }
    void Uncount(int64_t v) { sum_ -= v; }

private:
    void Add(int64_t v) {
        signal_.push_back(static_cast<int32_t>(std::min<int64_t>(v, INT32_MAX)));
        sum_ += v;
    }

    std::vector<int32_t> signal_;
    int64_t pendingPulse_ = 0, pendingSpace_ = 0, sum_ = 0;
};

class Transmitter {
public:
    explicit Transmitter(const Remote& r) : r_(r) {}

    // The frames of one key press: the first frame and the repeats that
    // follow it, `count` in all. Frame k sends the sequence's code k (a key
    // may list several codes) or, after the first, the repeat code where the
    // remote has one. None when LIRC would refuse to send.
    std::optional<std::vector<CodeFileFrame>> Press(const CodeLine& key, int count, std::string& why) {
        // Every key is taken as the first press after LIRC starts: the
        // press flips the toggle bits from 0, its repeats keep them.
        toggleBitState_ = r_.toggleBitMask;
        std::vector<CodeFileFrame> frames;
        int32_t period = 0;
        for (int k = 0; k < count; ++k) {
            const bool repeat = k > 0;
            SendBuffer b;
            if (repeat && r_.HasRepeat()) {
                if ((r_.flags & RepeatHeader) != 0 && r_.header.Both()) Header(b);
                b.Pulse(r_.plead);
                b.Pulse(r_.repeat.pulse);
                b.Space(r_.repeat.space);
                b.Pulse(r_.ptrail);
            } else if (r_.Raw()) {
                for (size_t i = 0; i < key.signal.size(); ++i)
                    i % 2 == 0 ? b.Pulse(key.signal[i]) : b.Space(key.signal[i]);
            } else {
                uint64_t code = key.codes[static_cast<size_t>(k) % key.codes.size()];
                if (repeat && r_.repeatMask != 0) code ^= r_.repeatMask;
                toggleMaskOdd_ = k % 2 == 1;
                Code(b, code, repeat);
            }
            int64_t sum = 0;
            std::vector<int32_t> signal = b.Finish(sum);
            if (signal.empty()) {
                why = "LIRC sends nothing for it";
                return std::nullopt;
            }
            if (!repeat && (r_.flags & NoHeadRep) != 0 && (r_.flags & ConstLength) != 0)
                sum -= int64_t{r_.header.pulse} + r_.header.space;

            int64_t gap = r_.MinGap();
            if (repeat && r_.HasRepeat() && r_.repeatGap > 0) {
                gap = r_.repeatGap;
            } else if ((r_.flags & ConstLength) != 0) {
                if (r_.MinGap() <= sum) {
                    why = "its frame (" + std::to_string(sum) + " µs) is longer than the remote's constant length (gap " +
                          std::to_string(r_.MinGap()) + " µs), so LIRC does not send it";
                    return std::nullopt;
                }
                gap = r_.MinGap() - sum;
            }
            for (CodeFileFrame& f : CutSignal(signal, period)) frames.push_back(std::move(f));
            // The next frame starts after this one's last cut piece and the gap.
            int64_t lastLength = 0;
            for (int32_t v : frames.back().durations) lastLength += v;
            period = static_cast<int32_t>(std::min<int64_t>(lastLength + gap, INT32_MAX));
        }
        return frames;
    }

private:
    void Header(SendBuffer& b) const {
        if (r_.header.Both()) {
            b.Pulse(r_.header.pulse);
            b.Space(r_.header.space);
        }
    }

    void Code(SendBuffer& b, uint64_t code, bool repeat) {
        if (!repeat || (r_.flags & NoHeadRep) == 0) Header(b);
        b.Pulse(r_.plead);
        if (r_.preBits > 0) {
            Data(b, r_.preData, r_.preBits, 0);
            if (r_.pre.Both()) {
                b.Pulse(r_.pre.pulse);
                b.Space(r_.pre.space);
            }
        }
        Data(b, code, r_.bits, r_.preBits);
        if (r_.postBits > 0) {
            if (r_.post.Both()) {
                b.Pulse(r_.post.pulse);
                b.Space(r_.post.space);
            }
            Data(b, r_.postData, r_.postBits, r_.preBits + r_.bits);
        }
        b.Pulse(r_.ptrail);
        if ((!repeat || (r_.flags & NoFootRep) == 0) && r_.foot.Both()) {
            b.Space(r_.foot.space);
            b.Pulse(r_.foot.pulse);
        }
    }

    // `bits` bits of `data`, high bit first; `done` bits of the whole code
    // (pre, code, post) went before, which places the toggle masks.
    void Data(SendBuffer& b, uint64_t data, int bits, int done) {
        if ((r_.flags & Rcmm) != 0) {
            // Two bits per symbol, each symbol its own pulse and space.
            const Pair* symbols[] = {&r_.zero, &r_.one, &r_.two, &r_.three};
            for (int k = bits - 2; k >= 0; k -= 2) {
                const Pair& p = *symbols[data >> k & 3];
                b.Pulse(p.pulse);
                b.Space(p.space);
            }
            return;
        }
        const int toggleBits = std::popcount(r_.toggleBitMask);
        for (int i = 0; i < bits; ++i) {
            const uint64_t mask = uint64_t{1} << (r_.AllBits() - 1 - done - i);
            bool bit = (data >> (bits - 1 - i) & 1) != 0;
            if ((mask & r_.toggleBitMask) != 0) {
                if (toggleBits == 1)
                    bit = (toggleBitState_ & mask) != 0;
                else if ((toggleBitState_ & mask) != 0)
                    bit = !bit;
            }
            if ((mask & r_.toggleMask) != 0 && toggleMaskOdd_) bit = !bit;
            const int doubled = (mask & r_.rc6Mask) != 0 ? 2 : 1;
            if (bit) {
                if (r_.Biphase()) {
                    b.Space(int64_t{doubled} * r_.one.space);
                    b.Pulse(int64_t{doubled} * r_.one.pulse);
                } else if ((r_.flags & SpaceFirst) != 0) {
                    b.Space(r_.one.space);
                    b.Pulse(r_.one.pulse);
                } else {
                    b.Pulse(r_.one.pulse);
                    b.Space(r_.one.space);
                }
            } else if (doubled == 2) {
                b.Pulse(2 * int64_t{r_.zero.pulse});
                b.Space(2 * int64_t{r_.zero.space});
            } else if ((r_.flags & SpaceFirst) != 0) {
                b.Space(r_.zero.space);
                b.Pulse(r_.zero.pulse);
            } else {
                b.Pulse(r_.zero.pulse);
                b.Space(r_.zero.space);
            }
        }
    }

    const Remote& r_;
    uint64_t toggleBitState_ = 0;
    bool toggleMaskOdd_ = false;
};

// ---- The reader --------------------------------------------------------------

class LircdReader {
public:
    explicit LircdReader(CodeFileSink& sink) : sink_(sink) {}

    void Read(std::string_view text) {
        LineReader lines(text);
        std::string_view line;
        while (lines.Next(line)) {
            lineNo_ = lines.Number();
            std::vector<std::string_view> t = Tokens(line);
            // A token that starts with '#' comments out the rest of the line.
            for (size_t i = 0; i < t.size(); ++i)
                if (t[i][0] == '#') {
                    t.resize(i);
                    break;
                }
            if (t.empty()) continue;
            Line(t);
        }
        if (state_ != State::Top)
            Error("the file ends inside the 'begin remote' block of line " + std::to_string(remote_.line) +
                  ": 'end remote' is missing");
    }

private:
    enum class State { Top, Remote, Codes, RawCodes };

    void Error(const std::string& message) { sink_.Error(lineNo_, message); }

    bool Is(const std::vector<std::string_view>& t, std::string_view a, std::string_view b) const {
        return t.size() == 2 && t[0] == a && t[1] == b;
    }

    void Line(const std::vector<std::string_view>& t) {
        switch (state_) {
            case State::Top:
                if (Is(t, "begin", "remote")) {
                    remote_ = Remote{};
                    remote_.line = lineNo_;
                    state_ = State::Remote;
                } else if (t[0] == "include") {
                    sink_.Skip(lineNo_, "include " + std::string(t.size() > 1 ? t[1] : ""),
                               "included files are not read; import them one by one");
                } else {
                    Error(Quoted(t[0]) + " outside a 'begin remote' block");
                }
                return;
            case State::Remote:
                if (Is(t, "end", "remote")) {
                    EndRemote();
                    state_ = State::Top;
                } else if (Is(t, "begin", "codes")) {
                    state_ = State::Codes;
                } else if (Is(t, "begin", "raw_codes")) {
                    state_ = State::RawCodes;
                    remote_.rawBlock = true;
                } else if (t[0] == "begin" || t[0] == "end") {
                    Error(Quoted(std::string(t[0]) + (t.size() > 1 ? " " + std::string(t[1]) : "")) +
                          " where an attribute, 'begin codes', 'begin raw_codes' or 'end remote' belongs");
                } else {
                    Attribute(t);
                }
                return;
            case State::Codes:
                if (Is(t, "end", "codes")) {
                    state_ = State::Remote;
                } else if (t[0] == "begin" || t[0] == "end") {
                    Error("'end codes' is missing before " + Quoted(t[0]));
                    state_ = t[0] == "end" && t.size() > 1 && t[1] == "remote" ? State::Top : State::Remote;
                } else {
                    CodeEntry(t);
                }
                return;
            case State::RawCodes:
                if (Is(t, "end", "raw_codes")) {
                    state_ = State::Remote;
                } else if (t[0] == "begin" || t[0] == "end") {
                    Error("'end raw_codes' is missing before " + Quoted(t[0]));
                    state_ = t[0] == "end" && t.size() > 1 && t[1] == "remote" ? State::Top : State::Remote;
                } else if (t[0] == "name") {
                    if (t.size() != 2) return Error("'name' takes one key name");
                    remote_.codes.push_back({std::string(t[1]), lineNo_, {}, {}});
                } else {
                    RawDurations(t);
                }
                return;
        }
    }

    // ---- attributes

    bool Duration(std::string_view token, int32_t& out) {
        uint64_t v = 0;
        if (!ParseNumber(token, v)) {
            Error(Quoted(token) + " is not a duration in µs");
            return false;
        }
        if (v > static_cast<uint64_t>(MaxSignalDurationUs)) {
            Error(Quoted(token) + " µs is longer than 10 s");
            return false;
        }
        out = static_cast<int32_t>(v);
        return true;
    }
    bool Code(std::string_view token, uint64_t& out) {
        if (!ParseNumber(token, out, true)) {
            Error(Quoted(token) + " is not a code (a number, hexadecimal with 0x)");
            return false;
        }
        return true;
    }
    bool Count(std::string_view token, int limit, int& out) {
        uint64_t v = 0;
        if (!ParseNumber(token, v) || v > static_cast<uint64_t>(limit)) {
            Error(Quoted(token) + " is not a count from 0 to " + std::to_string(limit));
            return false;
        }
        out = static_cast<int>(v);
        return true;
    }

    void Attribute(const std::vector<std::string_view>& t) {
        const std::string_view key = t[0];
        Remote& r = remote_;
        auto values = [&](size_t n) {
            if (t.size() == n + 1) return true;
            Error(Quoted(key) + " takes " + std::to_string(n) + (n == 1 ? " value" : " values"));
            return false;
        };
        auto pair = [&](Pair& p) {
            if (values(2)) Duration(t[1], p.pulse) && Duration(t[2], p.space);
        };
        auto one = [&](int32_t& d) {
            if (values(1)) Duration(t[1], d);
        };
        auto code = [&](uint64_t& c) {
            if (values(1)) Code(t[1], c);
        };

        if (key == "name") {
            if (values(1)) r.name = std::string(t[1]);
        } else if (key == "flags") {
            if (values(1)) Flags(t[1]);
        } else if (key == "bits") {
            if (values(1)) Count(t[1], 64, r.bits);
        } else if (key == "pre_data_bits") {
            if (values(1)) Count(t[1], 64, r.preBits);
        } else if (key == "post_data_bits") {
            if (values(1)) Count(t[1], 64, r.postBits);
        } else if (key == "pre_data") {
            code(r.preData);
        } else if (key == "post_data") {
            code(r.postData);
        } else if (key == "header") {
            pair(r.header);
        } else if (key == "one") {
            pair(r.one);
        } else if (key == "zero") {
            pair(r.zero);
        } else if (key == "two") {
            pair(r.two);
        } else if (key == "three") {
            pair(r.three);
        } else if (key == "foot") {
            pair(r.foot);
        } else if (key == "repeat") {
            pair(r.repeat);
        } else if (key == "pre") {
            pair(r.pre);
        } else if (key == "post") {
            pair(r.post);
        } else if (key == "plead") {
            one(r.plead);
        } else if (key == "ptrail") {
            one(r.ptrail);
        } else if (key == "gap") {
            if (t.size() == 2 || t.size() == 3) {
                if (Duration(t[1], r.gap) && t.size() == 3) Duration(t[2], r.gap2);
            } else {
                Error("'gap' takes one or two values");
            }
        } else if (key == "repeat_gap") {
            one(r.repeatGap);
        } else if (key == "min_repeat") {
            if (values(1)) Count(t[1], 1000, r.minRepeat);
        } else if (key == "toggle_bit") {
            if (values(1)) Count(t[1], 64, r.toggleBit);
        } else if (key == "toggle_bit_mask") {
            code(r.toggleBitMask);
        } else if (key == "toggle_mask") {
            code(r.toggleMask);
        } else if (key == "repeat_mask") {
            code(r.repeatMask);
        } else if (key == "rc6_mask") {
            code(r.rc6Mask);
        } else if (key == "frequency") {
            int32_t f = 0;
            if (values(1) && Duration(t[1], f)) r.frequency = f;
        } else if (key == "eps" || key == "aeps" || key == "duty_cycle" || key == "min_code_repeat" ||
                   key == "ignore_mask" || key == "manual_sort" || key == "suppress_repeat" || key == "baud" ||
                   key == "serial_mode" || key == "driver") {
            // How LIRC receives or which driver it uses: nothing of the signal.
        } else {
            Error(Quoted(key) + " is no attribute of a remote");
        }
    }

    void Flags(std::string_view text) {
        size_t at = 0;
        while (at <= text.size()) {
            size_t bar = text.find('|', at);
            if (bar == std::string_view::npos) bar = text.size();
            const std::string_view name = text.substr(at, bar - at);
            bool known = false;
            for (const FlagName& f : FlagNames)
                if (name == f.name) {
                    remote_.flags |= f.flag;
                    known = true;
                }
            if (!known) Error(Quoted(name) + " is no flag of a remote");
            at = bar + 1;
        }
    }

    void CodeEntry(const std::vector<std::string_view>& t) {
        if (t.size() < 2) return Error("the key " + Quoted(t[0]) + " has no code");
        CodeLine c{std::string(t[0]), lineNo_, {}, {}};
        for (size_t i = 1; i < t.size(); ++i) {
            uint64_t v = 0;
            if (!Code(t[i], v)) return;
            c.codes.push_back(v);
        }
        remote_.codes.push_back(std::move(c));
    }

    void RawDurations(const std::vector<std::string_view>& t) {
        if (remote_.codes.empty()) return Error("durations before the first 'name' of the raw codes");
        std::vector<int32_t>& signal = remote_.codes.back().signal;
        for (std::string_view token : t) {
            uint64_t v = 0;
            std::string why;
            if (!ParseNumber(token, v)) return Error(Quoted(token) + " is not a duration in µs");
            if (!CheckSignalDuration(static_cast<int64_t>(std::min<uint64_t>(v, INT64_MAX)), why)) return Error(why);
            signal.push_back(static_cast<int32_t>(v));
        }
    }

    // ---- a whole remote

    void EndRemote() {
        Remote& r = remote_;
        const std::string what = "remote " + Quoted(r.name);
        lineNo_ = r.line;
        constexpr uint32_t Encodings = RawCodes | Rc5 | Rc6 | Rcmm | SpaceEnc | SpaceFirst | Goldstar | Grundig | Bo |
                                       Serial | Xmp;
        if (r.rawBlock) r.flags = (r.flags & ~Encodings) | RawCodes;
        if (r.name.empty()) return Error("the remote of line " + std::to_string(r.line) + " has no name");
        if (!r.Raw() && r.AllBits() > 64)
            return Error(what + ": pre_data_bits, bits and post_data_bits add up to " + std::to_string(r.AllBits()) +
                         ", more than 64");
        if (std::popcount(r.flags & Encodings) > 1)
            return Error(what + ": its flags name more than one encoding (RAW_CODES, RC5, RC6, RCMM, SPACE_ENC, "
                                "SPACE_FIRST, ...)");
        for (const CodeLine& c : r.codes) {
            if (r.Raw() && c.signal.size() % 2 == 0) {
                lineNo_ = c.line;
                return Error("the raw code " + Quoted(c.name) + " has " + std::to_string(c.signal.size()) +
                             " durations; a signal ends with a pulse, so their number is odd");
            }
            if (r.Raw() != c.codes.empty()) {
                lineNo_ = c.line;
                return Error("the key " + Quoted(c.name) + (r.Raw() ? " has a code in a raw remote" : " has no code"));
            }
        }
        for (uint32_t flag : {Goldstar, Grundig, Bo, Serial, Xmp})
            if ((r.flags & flag) != 0) {
                for (const FlagName& f : FlagNames)
                    if (f.flag == flag)
                        sink_.Skip(r.line, what, std::string("LIRC sends no ") + f.name + " remote to a transmitter");
                return;
            }
        if (!r.Raw() && r.bits == 0 && r.preBits == 0 && r.postBits == 0)
            return Error(what + " has neither 'bits' nor the flag RAW_CODES");

        // What LIRC does after reading a remote: the old toggle_bit becomes a
        // mask, and REVERSE turns every code's bit order around.
        if (r.toggleBit > 0 && r.toggleBitMask == 0 && r.toggleBit <= r.AllBits())
            r.toggleBitMask = uint64_t{1} << (r.AllBits() - r.toggleBit);
        if ((r.flags & Reverse) != 0) {
            r.preData = ReverseBits(r.preData, r.preBits);
            r.postData = ReverseBits(r.postData, r.postBits);
            for (CodeLine& c : r.codes)
                for (uint64_t& v : c.codes) v = ReverseBits(v, r.bits);
        }
        r.preData = LowBits(r.preData, r.preBits);
        r.postData = LowBits(r.postData, r.postBits);

        sink_.BeginUnit({r.name, r.line, r.frequency > 0 ? r.frequency : DefaultCarrierHz});
        Transmitter tx(r);
        // A press: the first frame and min_repeat repeats, as lircd sends
        // it, and at least one repeat code where the remote defines one.
        const int minimum = 1 + std::max(r.minRepeat, r.HasRepeat() ? 1 : 0);
        for (const CodeLine& c : r.codes) {
            std::string why;
            const int count = std::min(MaxPressFrames, std::max(minimum, static_cast<int>(c.codes.size())));
            std::optional<std::vector<CodeFileFrame>> frames = tx.Press(c, count, why);
            if (!frames) {
                sink_.Skip(c.line, "key " + Quoted(c.name), why);
                continue;
            }
            sink_.AddKey({c.name, c.line, std::move(*frames)});
        }
    }

    CodeFileSink& sink_;
    State state_ = State::Top;
    Remote remote_;
    int lineNo_ = 0;
};

}  // namespace

void ReadLircdConf(std::string_view text, CodeFileSink& sink) { LircdReader(sink).Read(text); }

}  // namespace tovanel
