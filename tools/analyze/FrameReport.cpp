#include "tools/analyze/FrameReport.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "analysis/Recognition.h"

namespace tovanel {

namespace {

// Class tables and per-duration arrays hold at most their capacity, whatever
// a damaged count says.
int32_t Bounded(int32_t n, int32_t capacity) { return std::clamp(n, 0, capacity); }

void AppendJsonQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

void AppendRcJsonMembers(std::string& out, const std::optional<RcReading>& rc) {
    if (!rc) {
        out += R"("rc_protocol":null,"rc_scancode":null,"rc_toggle":null)";
        return;
    }
    out += "\"rc_protocol\":";
    AppendJsonQuoted(out, RcInfo(rc->protocol).name);
    out += ",\"rc_scancode\":" + std::to_string(rc->scancode) + ",\"rc_toggle\":";
    out += !rc->toggle ? "null" : *rc->toggle ? "true" : "false";
}

}  // namespace

std::string JsonQuoted(const std::string& text) {
    std::string out;
    AppendJsonQuoted(out, text);
    return out;
}

namespace {

// Writes one object into a buffer of MaxFrameJsonLength bytes, a key and
// its value at a time: the names are the analyser's and the kernel
// protocols' own (short, plain ASCII) and the arrays are bounded by their
// capacities, so a line never outgrows the buffer.
class JsonWriter {
public:
    explicit JsonWriter(char* out) : p_(out) { *p_++ = '{'; }
    template <size_t N, typename T>
    JsonWriter& Number(const char (&key)[N], T v) {
        Key(key);
        p_ = std::to_chars(p_, p_ + 24, v).ptr;
        return *this;
    }
    template <size_t N>
    JsonWriter& Bool(const char (&key)[N], bool v) {
        Key(key);
        return Value(v);
    }
    JsonWriter& Value(bool v) { return v ? Raw("true") : Raw("false"); }
    template <size_t N>
    JsonWriter& Name(const char (&key)[N], std::string_view name) {
        Key(key);
        *p_++ = '"';
        for (const char ch : name.substr(0, MaxName)) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == '"' || c == '\\') {
                *p_++ = '\\';
                *p_++ = ch;
            } else if (c < 0x20) {
                p_ += std::snprintf(p_, 7, "\\u%04x", c);
            } else {
                *p_++ = ch;
            }
        }
        *p_++ = '"';
        return *this;
    }
    JsonWriter& Null() { return Raw("null"); }
    // Class indexes and flags: mostly numbers below 1000, written digit by
    // digit; any other as std::to_chars writes it.
    template <size_t N, typename T>
    JsonWriter& Array(const char (&key)[N], const T* values, int32_t n) {
        Key(key);
        *p_++ = '[';
        for (int32_t i = 0; i < n; ++i) {
            if (i > 0) *p_++ = ',';
            const T v = values[i];
            if (v >= 0 && v < 10) {
                *p_++ = static_cast<char>('0' + v);
            } else if (v >= 10 && v < 100) {
                *p_++ = static_cast<char>('0' + v / 10);
                *p_++ = static_cast<char>('0' + v % 10);
            } else if (v >= 100 && v < 1000) {
                *p_++ = static_cast<char>('0' + v / 100);
                *p_++ = static_cast<char>('0' + v / 10 % 10);
                *p_++ = static_cast<char>('0' + v % 10);
            } else {
                p_ = std::to_chars(p_, p_ + 24, v).ptr;
            }
        }
        *p_++ = ']';
        return *this;
    }
    template <size_t N>
    JsonWriter& Key(const char (&key)[N]) {
        if (!first_) *p_++ = ',';
        first_ = false;
        *p_++ = '"';
        std::memcpy(p_, key, N - 1);
        p_ += N - 1;
        *p_++ = '"';
        *p_++ = ':';
        return *this;
    }
    char* Finish() {
        *p_++ = '}';
        return p_;
    }

private:
    static constexpr size_t MaxName = 64;  // longer than any name there is
    template <size_t N>
    JsonWriter& Raw(const char (&text)[N]) {
        std::memcpy(p_, text, N - 1);
        p_ += N - 1;
        return *this;
    }
    char* p_;
    bool first_ = true;
};

std::string ClassList(const int32_t means[], const int32_t counts[], int32_t n) {
    std::string out;
    for (int32_t k = 0; k < n; ++k) {
        if (k > 0) out += ", ";
        out += ClassLine(means[k], counts[k]);
    }
    return out.empty() ? "-" : out;
}

std::string Layout(int32_t start, int32_t bits, bool lowFirst) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "start %d, %d bits, %s", start / 2, bits,
                  lowFirst ? "low bit first" : "high bit first");
    return buf;
}

}  // namespace

std::string AddressDataText(uint64_t adr) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Data: 0x%.4" PRIX64 " (%" PRIu64 ")", adr, adr);
    return buf;
}

std::string CommandDataText(uint64_t cmd) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Data: 0x%.2" PRIX64 " (%" PRIu64 ")", cmd, cmd);
    return buf;
}

std::string ClassLine(int32_t mean, int32_t count) {
    return std::to_string(mean) + " [" + std::to_string(count) + "]";
}

std::string RcJsonMembers(const std::optional<RcReading>& rc) {
    std::string out;
    AppendRcJsonMembers(out, rc);
    return out;
}

size_t WriteFrameJson(char* out, const CodeFrame& f, bool decoded, const std::optional<RcReading>& rc) {
    const int32_t count = Bounded(f.Count, MaxDurations);
    const int32_t marks = Bounded(f.MarkClassCount, MaxClasses);
    const int32_t spaces = Bounded(f.SpaceClassCount, MaxClasses);
    JsonWriter json(out);
    json.Number("slot", f.SlotIndex)
        .Number("count", f.Count)
        .Number("period", f.Period)
        .Number("total", f.Total)
        .Bool("decoded", decoded)
        .Number("modulation", f.Modulation)
        .Name("modulation_name", ModulationName(f.Modulation))
        .Number("protocol", f.Protocol)
        .Name("protocol_name", ProtocolName(f.Protocol))
        .Bool("repeat", f.IsRepeat)
        .Bool("header", f.HasHeader)
        .Bool("trailer", f.HasTrailer)
        .Array("mark_means", f.MarkMeans, marks)
        .Array("mark_counts", f.MarkCounts, marks)
        .Array("space_means", f.SpaceMeans, spaces)
        .Array("space_counts", f.SpaceCounts, spaces)
        .Array("class_index", f.ClassIndex, count)
        .Number("mode_start", f.ModeStart)
        .Number("mode_bits", f.ModeBits)
        .Number("mode", f.Mode)
        .Bool("adr_order", f.AdrOrder)
        .Number("adr_start", f.AdrStart)
        .Number("adr_bits", f.AdrBits)
        .Number("adr", f.Adr)
        .Bool("cmd_order", f.CmdOrder)
        .Number("cmd_start", f.CmdStart)
        .Number("cmd_bits", f.CmdBits)
        .Number("cmd", f.Cmd)
        .Array("flags", f.Flags, count);
    if (rc) {
        json.Name("rc_protocol", RcInfo(rc->protocol).name).Number("rc_scancode", rc->scancode).Key("rc_toggle");
        if (rc->toggle)
            json.Value(*rc->toggle);
        else
            json.Null();
    } else {
        json.Key("rc_protocol").Null().Key("rc_scancode").Null().Key("rc_toggle").Null();
    }
    return static_cast<size_t>(json.Finish() - out);
}

std::string FrameJson(const CodeFrame& f, bool decoded, const std::optional<RcReading>& rc) {
    std::string out(MaxFrameJsonLength, '\0');
    out.resize(WriteFrameJson(out.data(), f, decoded, rc));
    return out;
}

std::string FrameText(const CodeFrame& f, bool decoded, const std::optional<RcReading>& rc) {
    std::string out = "Slot " + std::to_string(f.SlotIndex) + ": " + std::to_string(f.Count) +
                      " durations, Length " + std::to_string(f.Total / 1000) + " ms";
    if (f.SlotIndex > 0) out += ", Period " + std::to_string(f.Period / 1000) + " ms";
    out += decoded ? "" : " (not decoded)";
    out += "\n";
    out += std::string("  Modulation  Detect: ") + ModulationName(f.Modulation) + "\n";
    out += std::string("  Protocol    Detect: ") + ProtocolName(f.Protocol) +
           (f.IsRepeat ? " (repeat code)" : "") + "\n";
    out += "  Linux: " + RcReadingText(rc) + "\n";
    if (f.ModeBits != 0) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "Mode: %X", static_cast<unsigned>(f.Mode));
        out += std::string("  Mode        ") + buf + "\n";
    }
    if (f.AdrBits != 0)
        out += "  Address     " + AddressDataText(f.Adr) + "  " +
               Layout(f.AdrStart, f.AdrBits, f.AdrOrder) + "\n";
    if (f.CmdBits != 0)
        out += "  Command     " + CommandDataText(f.Cmd) + "  " +
               Layout(f.CmdStart, f.CmdBits, f.CmdOrder) + "\n";
    out += "  Pulses, us  " +
           ClassList(f.MarkMeans, f.MarkCounts, Bounded(f.MarkClassCount, MaxClasses)) + "\n";
    out += "  Dist., us   " +
           ClassList(f.SpaceMeans, f.SpaceCounts, Bounded(f.SpaceClassCount, MaxClasses)) + "\n";
    return out;
}

}  // namespace tovanel
