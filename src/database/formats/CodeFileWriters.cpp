#include "database/formats/CodeFileWriters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tovanel {

namespace {

// Between two keys of a mode2 file: longer than the 300 ms that part two
// key presses when the file is read back.
constexpr int32_t KeyPauseUs = 500'000;
constexpr double ProntoClockUs = 0.241246;

int64_t Length(const std::vector<int32_t>& d) {
    int64_t sum = 0;
    for (int32_t v : d) sum += v;
    return sum;
}

// The silence after a key's last frame: what keeps its period, where the
// key repeats it, else the default.
int64_t TrailingGap(const std::vector<CodeFileFrame>& frames) {
    if (frames.size() >= 2) {
        const int64_t gap = frames.back().period - Length(frames.back().durations);
        if (gap > 0) return gap;
    }
    return TrailingGapUs;
}

// A name as one token: blanks, control characters and the comment mark
// become '_'; an empty name becomes `fallback`.
std::string Token(const std::string& name, const char* fallback) {
    std::string out;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += u <= 32 || u == 127 || c == '#' ? '_' : c;
    }
    return out.empty() ? fallback : out;
}

// A name on a line of its own: control characters become '_'.
std::string OneLine(const std::string& name, const char* fallback, bool asciiOnly = false) {
    std::string out;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += u < 32 || u == 127 || (asciiOnly && u > 127) ? '_' : c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    while (!out.empty() && out.front() == ' ') out.erase(out.begin());
    return out.empty() ? fallback : out;
}

int32_t Carrier(const ExportUnit& unit) { return unit.carrierHz > 0 ? unit.carrierHz : DefaultCarrierHz; }

}  // namespace

std::string WriteLircdRaw(const ExportUnit& unit) {
    std::string s;
    s += "# Written by Tovanel: raw codes of the unit " + OneLine(unit.name, "(unnamed)") + "\n";
    s += "begin remote\n";
    s += "  name  " + Token(unit.name, "unit") + "\n";
    s += "  flags RAW_CODES\n";
    s += "  eps            30\n";
    s += "  aeps          100\n";
    s += "  frequency    " + std::to_string(Carrier(unit)) + "\n";
    s += "  gap          " + std::to_string(TrailingGapUs) + "\n";
    s += "  begin raw_codes\n";
    for (const ExportKey& key : unit.keys) {
        const std::vector<int32_t> signal = JoinFrames(key.frames);
        if (signal.empty()) continue;
        s += "\n    name " + Token(key.name, "key") + "\n";
        for (size_t i = 0; i < signal.size(); ++i) {
            s += i % 6 == 0 ? "     " : "";
            char value[16];
            std::snprintf(value, sizeof value, " %7d", signal[i]);
            s += value;
            if (i % 6 == 5 || i + 1 == signal.size()) s += "\n";
        }
    }
    s += "  end raw_codes\n";
    s += "end remote\n";
    return s;
}

std::string WritePronto(const ExportUnit& unit) {
    const int frequencyWord = static_cast<int>(std::lround(1e6 / (Carrier(unit) * ProntoClockUs)));
    const double cycleUs = frequencyWord * ProntoClockUs;
    auto word = [](int64_t v, int64_t least) {
        char w[12];
        std::snprintf(w, sizeof w, "%04X", static_cast<unsigned>(std::clamp<int64_t>(v, least, 0xFFFF)));
        return std::string(w);
    };
    // A duration is at least one carrier cycle; a count may be 0.
    auto cycles = [&](int64_t v) { return word(v, 1); };
    auto count = [&](size_t v) { return word(static_cast<int64_t>(v), 0); };
    std::string s;
    for (const ExportKey& key : unit.keys) {
        std::vector<CodeFileFrame> frames;
        for (const CodeFileFrame& f : key.frames)
            if (!f.durations.empty()) frames.push_back(f);
        if (frames.empty()) continue;
        // The once sequence ends with the silence up to the repeat frame;
        // each sequence ends with a space.
        std::vector<int32_t> once, repeat;
        if (frames.size() == 1) {
            once = frames[0].durations;
            once.push_back(static_cast<int32_t>(TrailingGap(frames)));
        } else {
            std::vector<CodeFileFrame> head(frames.begin(), frames.end() - 1);
            once = JoinFrames(head);
            once.push_back(static_cast<int32_t>(std::max<int64_t>(1, frames.back().period - Length(once))));
            repeat = frames.back().durations;
            repeat.push_back(static_cast<int32_t>(TrailingGap(frames)));
        }
        std::string line = OneLine(key.name, "key");
        std::replace(line.begin(), line.end(), ':', '_');
        line += ": 0000 " + cycles(frequencyWord) + " " + count(once.size() / 2) + " " + count(repeat.size() / 2);
        // Rounded on the running time, so that the periods stay within a
        // cycle although each duration is rounded.
        for (const std::vector<int32_t>* seq : {&once, &repeat}) {
            int64_t us = 0, sent = 0;
            for (int32_t d : *seq) {
                us += d;
                const int64_t n = std::max<int64_t>(sent + 1, std::llround(us / cycleUs));
                line += " " + cycles(n - sent);
                sent = n;
            }
        }
        s += line + "\n";
    }
    return s;
}

std::string WriteIrSignals(const ExportUnit& unit) {
    std::string s = "Filetype: IR signals file\nVersion: 1\n";
    for (const ExportKey& key : unit.keys) {
        const std::vector<int32_t> signal = JoinFrames(key.frames);
        if (signal.empty()) continue;
        s += "#\nname: " + OneLine(key.name, "key", true) + "\ntype: raw\nfrequency: " +
             std::to_string(Carrier(unit)) + "\nduty_cycle: 0.330000\ndata:";
        for (int32_t v : signal) s += " " + std::to_string(v);
        s += "\n";
    }
    return s;
}

std::string WriteMode2(const ExportUnit& unit) {
    std::string s = "# " + OneLine(unit.name, "(unnamed)") + ", written by Tovanel for ir-ctl --send\n";
    s += "carrier " + std::to_string(Carrier(unit)) + "\n";
    bool first = true;
    for (const ExportKey& key : unit.keys) {
        const std::vector<int32_t> signal = JoinFrames(key.frames);
        if (signal.empty()) continue;
        if (!first) s += "space " + std::to_string(KeyPauseUs) + "\n";
        first = false;
        s += "\n# name: " + OneLine(key.name, "key") + "\n";
        for (size_t i = 0; i < signal.size(); ++i)
            s += (i % 2 == 0 ? "pulse " : "space ") + std::to_string(signal[i]) + "\n";
    }
    return s;
}

std::string WriteCsv(const std::vector<CsvRow>& rows) {
    auto field = [](const std::string& v) {
        std::string q = "\"";
        for (char c : v) q += c == '"' ? std::string("\"\"") : std::string(1, c);
        return q + "\"";
    };
    std::string s = "\"unit\",\"key\",\"protocol\",\"mode\",\"address\",\"command\",\"code1\",\"code2\",\"code3\",\"code4\"\r\n";
    for (const CsvRow& r : rows) {
        s += field(r.unit) + "," + field(r.key) + "," + field(r.protocol) + "," + field(std::to_string(r.mode)) + "," +
             field(r.address) + "," + field(r.command);
        for (const std::string& code : r.codes) s += "," + field(code);
        s += "\r\n";
    }
    return s;
}

std::string WriteCsvUnit(const ExportUnit& unit) {
    std::vector<CsvRow> rows;
    rows.reserve(unit.keys.size());
    for (const ExportKey& key : unit.keys) {
        const ExportKeyValues& v = key.stored;
        rows.push_back({unit.name, key.name, v.protocol, v.mode, v.address, v.command, v.codes});
    }
    return WriteCsv(rows);
}

}  // namespace tovanel
