#include "tools/analyze/FrameReport.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "analysis/Recognition.h"

namespace tovanel {

namespace {

// Class tables and per-duration arrays hold at most their capacity, whatever
// a damaged count says.
int32_t Bounded(int32_t n, int32_t capacity) { return std::clamp(n, 0, capacity); }

template <typename T>
void AppendArray(std::string& out, const T* values, int32_t n) {
    out += '[';
    for (int32_t i = 0; i < n; ++i) {
        if (i > 0) out += ',';
        out += std::to_string(values[i]);
    }
    out += ']';
}

}  // namespace

std::string JsonQuoted(const std::string& text) {
    std::string out = "\"";
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
    return out + '"';
}

namespace {

class JsonObject {
public:
    template <typename T>
    JsonObject& Number(const char* key, T v) {
        Key(key);
        out_ += std::to_string(v);
        return *this;
    }
    JsonObject& Bool(const char* key, bool v) {
        Key(key);
        out_ += v ? "true" : "false";
        return *this;
    }
    JsonObject& String(const char* key, const char* v) {
        Key(key);
        out_ += JsonQuoted(v);
        return *this;
    }
    // Members written elsewhere, as they are.
    JsonObject& Members(const std::string& members) {
        out_ += (out_.size() > 1 ? "," : "") + members;
        return *this;
    }
    template <typename T>
    JsonObject& Array(const char* key, const T* values, int32_t n) {
        Key(key);
        AppendArray(out_, values, n);
        return *this;
    }
    std::string Finish() { return out_ + '}'; }

private:
    void Key(const char* key) {
        out_ += out_.size() > 1 ? ",\"" : "\"";
        out_ += key;
        out_ += "\":";
    }
    std::string out_ = "{";
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
    if (!rc) return R"("rc_protocol":null,"rc_scancode":null,"rc_toggle":null)";
    return "\"rc_protocol\":" + JsonQuoted(RcInfo(rc->protocol).name) +
           ",\"rc_scancode\":" + std::to_string(rc->scancode) +
           ",\"rc_toggle\":" + (!rc->toggle ? "null" : *rc->toggle ? "true" : "false");
}

std::string FrameJson(const CodeFrame& f, bool decoded, const std::optional<RcReading>& rc) {
    const int32_t count = Bounded(f.Count, MaxDurations);
    const int32_t marks = Bounded(f.MarkClassCount, MaxClasses);
    const int32_t spaces = Bounded(f.SpaceClassCount, MaxClasses);
    return JsonObject()
        .Number("slot", f.SlotIndex)
        .Number("count", f.Count)
        .Number("period", f.Period)
        .Number("total", f.Total)
        .Bool("decoded", decoded)
        .Number("modulation", f.Modulation)
        .String("modulation_name", ModulationName(f.Modulation))
        .Number("protocol", f.Protocol)
        .String("protocol_name", ProtocolName(f.Protocol))
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
        .Array("flags", f.Flags, count)
        .Members(RcJsonMembers(rc))
        .Finish();
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
