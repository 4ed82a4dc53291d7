// .ir signal files: "Filetype: IR signals file", "Version: 1", then per
// signal "name:", "type: raw" with "frequency:", "duty_cycle:" and "data:"
// (durations in µs, mark first), or "type: parsed" with "protocol:",
// "address:" and "command:" as four little-endian hex bytes. Parsed signals
// become frames through the protocols' encoders below, at their published
// timings, with as many repeats as the handheld sends for one press.
#include <algorithm>
#include <optional>

#include "analysis/rc/RcEncoders.h"
#include "database/formats/CodeFile.h"
#include "database/formats/TextScan.h"

namespace tovanel {

using namespace codefile;

namespace {

// ---- Encoders ----------------------------------------------------------------

// A pulse-distance frame: leader, `count` bits low bit first, each a mark
// and a space of the zero or one length, and a stop mark.
struct PulseDistance {
    int32_t leaderMark, leaderSpace, mark, zeroSpace, oneSpace;
};

std::vector<int32_t> Encode(const PulseDistance& p, uint64_t bits, int count) {
    std::vector<int32_t> d{p.leaderMark, p.leaderSpace};
    for (int k = 0; k < count; ++k) {
        d.push_back(p.mark);
        d.push_back((bits >> k & 1) != 0 ? p.oneSpace : p.zeroSpace);
    }
    d.push_back(p.mark);
    return d;
}

int32_t Length(const std::vector<int32_t>& d) {
    int64_t sum = 0;
    for (int32_t v : d) sum += v;
    return static_cast<int32_t>(sum);
}

// The first frame, then `repeats` frames each `gap` µs after the previous
// frame's end.
std::vector<CodeFileFrame> Press(const std::vector<int32_t>& first, const std::vector<int32_t>& repeat,
                                 int repeats, int32_t gap) {
    std::vector<CodeFileFrame> frames{{0, first}};
    for (int k = 0; k < repeats; ++k) frames.push_back({Length(frames.back().durations) + gap, repeat});
    return frames;
}
// The same with each repeat a fixed `period` after the previous frame's start.
std::vector<CodeFileFrame> PressAtPeriod(const std::vector<int32_t>& first, const std::vector<int32_t>& repeat,
                                         int repeats, int32_t period) {
    std::vector<CodeFileFrame> frames{{0, first}};
    for (int k = 0; k < repeats; ++k) frames.push_back({period, repeat});
    return frames;
}

std::vector<CodeFileFrame> FromRc(RcProtocol protocol, uint32_t scancode, int count) {
    std::vector<CodeFileFrame> frames;
    for (RcFrame& f : EncodeRc(protocol, scancode, false, count)) frames.push_back({f.period, std::move(f.durations)});
    return frames;
}

constexpr PulseDistance Nec{9000, 4500, 560, 560, 1690};
constexpr int32_t NecRepeatPeriod = 110000;
const std::vector<int32_t> NecRepeat{9000, 2250, 560};

constexpr PulseDistance Samsung{4500, 4500, 550, 550, 1650};
constexpr int32_t SamsungRepeatGap = 46000;
const std::vector<int32_t> SamsungRepeat{4500, 4500, 550, 1650, 550};

constexpr int32_t KaseikyoUnit = 432;
constexpr PulseDistance Kaseikyo{8 * KaseikyoUnit, 4 * KaseikyoUnit, KaseikyoUnit, KaseikyoUnit, 3 * KaseikyoUnit};
constexpr int32_t KaseikyoGap = 130000;

constexpr PulseDistance Rca{4000, 4000, 500, 1000, 2000};
constexpr int32_t RcaGap = 8000;

constexpr PulseDistance Pioneer{8500, 4225, 500, 500, 1500};
// The stop mark is the 33rd bit's mark, a 0; its space runs into the silence.
constexpr int32_t PioneerGap = 500 + 26000;

uint64_t Byte(uint32_t v, int k) { return v >> (8 * k) & 0xff; }

std::vector<CodeFileFrame> EncodeNec(uint32_t a, uint32_t c) {
    return FromRc(RcProtocol::Nec, (a & 0xff) << 8 | (c & 0xff), 2);
}
std::vector<CodeFileFrame> EncodeNecExt(uint32_t a, uint32_t c) {
    // The kernel's nec32 scancode sends its bytes 2, 3, 0, 1 in this order.
    return FromRc(RcProtocol::Nec32, static_cast<uint32_t>(Byte(a, 1) << 24 | Byte(a, 0) << 16 | Byte(c, 1) << 8 | Byte(c, 0)), 2);
}
std::vector<CodeFileFrame> EncodeNec42(uint32_t a, uint32_t c) {
    const uint64_t bits = (a & 0x1fff) | uint64_t(~a & 0x1fff) << 13 | uint64_t(c & 0xff) << 26 | uint64_t(~c & 0xff) << 34;
    return PressAtPeriod(Encode(Nec, bits, 42), NecRepeat, 1, NecRepeatPeriod);
}
std::vector<CodeFileFrame> EncodeNec42Ext(uint32_t a, uint32_t c) {
    const uint64_t bits = (a & 0x3ffffff) | uint64_t(c & 0xffff) << 26;
    return PressAtPeriod(Encode(Nec, bits, 42), NecRepeat, 1, NecRepeatPeriod);
}
std::vector<CodeFileFrame> EncodeSamsung32(uint32_t a, uint32_t c) {
    const uint64_t bits = Byte(a, 0) | Byte(a, 0) << 8 | Byte(c, 0) << 16 | (~Byte(c, 0) & 0xff) << 24;
    return Press(Encode(Samsung, bits, 32), SamsungRepeat, 1, SamsungRepeatGap);
}
std::vector<CodeFileFrame> EncodeRc5(uint32_t a, uint32_t c) {
    return FromRc(RcProtocol::Rc5, (a & 0x1f) << 8 | (c & 0x3f), 2);
}
std::vector<CodeFileFrame> EncodeRc5x(uint32_t a, uint32_t c) {
    // The seventh command bit, sent as the inverted second start bit.
    return FromRc(RcProtocol::Rc5, (a & 0x1f) << 8 | (c & 0x3f) | 0x40, 2);
}
std::vector<CodeFileFrame> EncodeRc6(uint32_t a, uint32_t c) {
    return FromRc(RcProtocol::Rc6_0, (a & 0xff) << 8 | (c & 0xff), 2);
}
// Sony: 7 command bits, then the address; the kernel's scancode holds its
// low 5 (sony12, sony20) or 8 (sony15) bits as the device and sony20's
// upper 8 as the extension.
std::vector<CodeFileFrame> EncodeSirc(uint32_t a, uint32_t c) {
    return FromRc(RcProtocol::Sony12, (a & 0x1f) << 16 | (c & 0x7f), 4);
}
std::vector<CodeFileFrame> EncodeSirc15(uint32_t a, uint32_t c) {
    return FromRc(RcProtocol::Sony15, (a & 0xff) << 16 | (c & 0x7f), 4);
}
std::vector<CodeFileFrame> EncodeSirc20(uint32_t a, uint32_t c) {
    return FromRc(RcProtocol::Sony20, (a & 0x1f) << 16 | (a >> 5 & 0xff) << 8 | (c & 0x7f), 4);
}
std::vector<CodeFileFrame> EncodeKaseikyo(uint32_t a, uint32_t c) {
    // Address: id (2 bits) << 24, vendor (16) << 8, genre1 << 4, genre2;
    // command 10 bits. Bytes: vendor, vendor parity and genre1, genre2 and
    // the command's low nibble, id and the command's high bits, checksum.
    const uint64_t vendor = a >> 8 & 0xffff, id = a >> 24 & 3, genre1 = a >> 4 & 0xf, genre2 = a & 0xf;
    uint64_t b[6];
    b[0] = vendor & 0xff;
    b[1] = vendor >> 8;
    const uint64_t parity = ((b[0] ^ b[1]) & 0xf) ^ ((b[0] ^ b[1]) >> 4);
    b[2] = parity | genre1 << 4;
    b[3] = genre2 | (c & 0xf) << 4;
    b[4] = id << 6 | (c >> 4 & 0x3f);
    b[5] = b[2] ^ b[3] ^ b[4];
    uint64_t bits = 0;
    for (int k = 0; k < 6; ++k) bits |= b[k] << (8 * k);
    const std::vector<int32_t> frame = Encode(Kaseikyo, bits, 48);
    return Press(frame, frame, 1, KaseikyoGap);
}
std::vector<CodeFileFrame> EncodeRca(uint32_t a, uint32_t c) {
    const uint64_t bits = (a & 0xf) | uint64_t(c & 0xff) << 4 | uint64_t(~a & 0xf) << 12 | uint64_t(~c & 0xff) << 16;
    const std::vector<int32_t> frame = Encode(Rca, bits, 24);
    return Press(frame, frame, 1, RcaGap);
}
std::vector<CodeFileFrame> EncodePioneer(uint32_t a, uint32_t c) {
    const uint64_t bits = Byte(a, 0) | (~Byte(a, 0) & 0xff) << 8 | Byte(c, 0) << 16 | (~Byte(c, 0) & 0xff) << 24;
    const std::vector<int32_t> frame = Encode(Pioneer, bits, 32);
    return Press(frame, frame, 2, PioneerGap);
}

struct Protocol {
    const char* name;
    int32_t carrierHz;
    std::vector<CodeFileFrame> (*encode)(uint32_t address, uint32_t command);
};

constexpr Protocol Protocols[] = {
    {"NEC", 38000, EncodeNec},           {"NECext", 38000, EncodeNecExt},     {"NEC42", 38000, EncodeNec42},
    {"NEC42ext", 38000, EncodeNec42Ext}, {"Samsung32", 38000, EncodeSamsung32}, {"RC5", 36000, EncodeRc5},
    {"RC5X", 36000, EncodeRc5x},         {"RC6", 36000, EncodeRc6},           {"SIRC", 40000, EncodeSirc},
    {"SIRC15", 40000, EncodeSirc15},     {"SIRC20", 40000, EncodeSirc20},     {"Kaseikyo", 37000, EncodeKaseikyo},
    {"RCA", 38000, EncodeRca},           {"Pioneer", 40000, EncodePioneer},
};

// ---- The reader ----------------------------------------------------------------

struct Signal {
    int line = 0;
    std::string name;
    std::string type;
    std::string protocol;
    std::optional<uint32_t> address, command, frequency;
    std::vector<int32_t> data;
    bool hasData = false;
};

class IrReader {
public:
    explicit IrReader(CodeFileSink& sink) : sink_(sink) {}

    void Read(std::string_view text) {
        LineReader lines(text);
        std::string_view line;
        bool header = false;
        while (lines.Next(line)) {
            lineNo_ = lines.Number();
            line = Trim(line);
            if (line.empty() || line[0] == '#') continue;
            const size_t colon = line.find(':');
            if (colon == std::string_view::npos) {
                Error(Quoted(line) + " is no 'key: value' line");
                continue;
            }
            const std::string_view key = Trim(line.substr(0, colon));
            const std::string_view value = Trim(line.substr(colon + 1));
            if (!header) {
                if (key != "Filetype" || (value != "IR signals file" && value != "IR library file")) {
                    Error("the file does not begin with 'Filetype: IR signals file'");
                    return;
                }
                header = true;
                continue;
            }
            Field(key, value);
        }
        Flush();
    }

private:
    void Error(const std::string& message) { sink_.Error(lineNo_, message); }

    bool Hex32(std::string_view value, uint32_t& out) {
        const std::vector<std::string_view> bytes = Tokens(value);
        uint32_t v = 0;
        bool ok = bytes.size() == 4;
        for (size_t k = 0; ok && k < bytes.size(); ++k) {
            uint64_t b = 0;
            ok = bytes[k].size() == 2 && ParseHex(bytes[k], b);
            v |= static_cast<uint32_t>(b) << (8 * k);
        }
        if (!ok) Error(Quoted(value) + " is not four hex bytes");
        out = v;
        return ok;
    }

    void Field(std::string_view key, std::string_view value) {
        if (key == "Version") {
            if (value != "1") Error("version " + Quoted(value) + " is not read: only version 1");
            return;
        }
        if (key == "name") {
            const int line = lineNo_;
            Flush();
            lineNo_ = line;
            signal_ = Signal{};
            signal_.line = lineNo_;
            signal_.name = std::string(value);
            inSignal_ = true;
            return;
        }
        if (!inSignal_) return Error(Quoted(key) + " before the first 'name:'");
        uint64_t n = 0;
        if (key == "type") {
            signal_.type = std::string(value);
        } else if (key == "protocol") {
            signal_.protocol = std::string(value);
        } else if (key == "address") {
            uint32_t v = 0;
            if (Hex32(value, v)) signal_.address = v;
        } else if (key == "command") {
            uint32_t v = 0;
            if (Hex32(value, v)) signal_.command = v;
        } else if (key == "frequency") {
            if (!ParseNumber(value, n) || n == 0 || n > 1'000'000)
                return Error(Quoted(value) + " is no carrier frequency in Hz");
            signal_.frequency = static_cast<uint32_t>(n);
        } else if (key == "duty_cycle") {
            // How the handheld drives its LED: nothing of the timing.
        } else if (key == "data") {
            signal_.hasData = true;
            for (std::string_view t : Tokens(value)) {
                std::string why;
                if (!ParseNumber(t, n)) return Error(Quoted(t) + " is not a duration in µs");
                if (!CheckSignalDuration(static_cast<int64_t>(std::min<uint64_t>(n, INT64_MAX)), why))
                    return Error(why);
                signal_.data.push_back(static_cast<int32_t>(n));
            }
        } else {
            Error(Quoted(key) + " is no field of a signal");
        }
    }

    void Flush() {
        if (!inSignal_) return;
        inSignal_ = false;
        const Signal& s = signal_;
        lineNo_ = s.line;
        const std::string what = "signal " + Quoted(s.name);
        if (s.name.empty()) return Error("a signal without a name");
        std::vector<CodeFileFrame> frames;
        int32_t carrier = 0;
        if (s.type == "raw") {
            if (!s.frequency) return Error(what + " has no 'frequency:'");
            if (s.data.empty()) return Error(what + " has no 'data:'");
            carrier = static_cast<int32_t>(*s.frequency);
            frames = CutSignal(s.data);
        } else if (s.type == "parsed") {
            if (s.protocol.empty() || !s.address || !s.command)
                return Error(what + " needs 'protocol:', 'address:' and 'command:'");
            const Protocol* p = nullptr;
            for (const Protocol& candidate : Protocols)
                if (s.protocol == candidate.name) p = &candidate;
            if (p == nullptr)
                return sink_.Skip(s.line, what, "no encoder here for the protocol " + Quoted(s.protocol));
            carrier = p->carrierHz;
            frames = p->encode(*s.address, *s.command);
        } else {
            return Error(what + " has the type " + Quoted(s.type) + ", neither 'raw' nor 'parsed'");
        }
        if (!unitBegun_) sink_.BeginUnit({"", s.line, carrier});
        unitBegun_ = true;
        sink_.AddKey({s.name, s.line, std::move(frames)});
    }

    CodeFileSink& sink_;
    Signal signal_;
    bool inSignal_ = false;
    bool unitBegun_ = false;
    int lineNo_ = 0;
};

}  // namespace

void ReadIrSignals(std::string_view text, CodeFileSink& sink) { IrReader(sink).Read(text); }

}  // namespace tovanel
