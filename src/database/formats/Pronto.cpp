// Pronto hex lists: one code per line, optionally "name: code". A learned
// code is four-digit hex words: the type 0000 (0100: no carrier), the
// frequency word, the number of burst pairs in the once and in the repeat
// sequence, then the pairs, each a mark and a space in carrier cycles.
#include <cmath>
#include <cstdio>

#include "database/formats/CodeFile.h"
#include "database/formats/TextScan.h"

namespace tovanel {

using namespace codefile;

namespace {

// One unit of the frequency word, in µs: the Pronto's 4.145146 MHz clock.
constexpr double ProntoClockUs = 0.241246;

enum : uint64_t { LearnedModulated = 0x0000, LearnedUnmodulated = 0x0100 };

class ProntoReader {
public:
    explicit ProntoReader(CodeFileSink& sink) : sink_(sink) {}

    void Read(std::string_view text) {
        LineReader lines(text);
        std::string_view line;
        while (lines.Next(line)) {
            line = Trim(line);
            if (line.empty() || line[0] == '#') continue;
            Code(lines.Number(), line);
        }
    }

private:
    void Code(int lineNo, std::string_view line) {
        ++number_;
        std::string name = "Key " + std::to_string(number_);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            const std::string_view given = Trim(line.substr(0, colon));
            if (!given.empty()) name = std::string(given);
            line = line.substr(colon + 1);
        }
        const std::vector<std::string_view> tokens = Tokens(line);
        std::vector<uint32_t> words;
        for (std::string_view t : tokens) {
            uint64_t v = 0;
            if (t.size() != 4 || !ParseHex(t, v))
                return sink_.Error(lineNo, Quoted(t) + " is not a Pronto word (four hex digits)");
            words.push_back(static_cast<uint32_t>(v));
        }
        if (words.size() < 4) return sink_.Error(lineNo, "a Pronto code has at least 4 words");
        if (words[0] != LearnedModulated && words[0] != LearnedUnmodulated) {
            char type[12];
            std::snprintf(type, sizeof type, "%04X", words[0]);
            return sink_.Skip(lineNo, "key " + Quoted(name),
                              std::string("Pronto type ") + type + " is not read: only learned codes (0000, 0100)");
        }
        const size_t pairs = size_t{words[2]} + words[3];
        if (words.size() != 4 + 2 * pairs)
            return sink_.Error(lineNo, "the length words say " + std::to_string(words[2]) + " + " +
                                           std::to_string(words[3]) + " burst pairs (" + std::to_string(4 + 2 * pairs) +
                                           " words), the code has " + std::to_string(words.size()) + " words");
        if (pairs == 0) return sink_.Error(lineNo, "the code has no burst pairs");
        if (words[1] == 0) return sink_.Error(lineNo, "the frequency word is 0");

        const double cycleUs = words[1] * ProntoClockUs;
        std::vector<int32_t> once, repeat;
        for (size_t i = 0; i < 2 * pairs; ++i) {
            const double us = std::round(words[4 + i] * cycleUs);
            std::string why;
            if (!CheckSignalDuration(static_cast<int64_t>(us), why))
                return sink_.Error(lineNo, "word " + std::to_string(5 + i) + ": " + why);
            (i < 2 * size_t{words[2]} ? once : repeat).push_back(static_cast<int32_t>(us));
        }
        // A press sends the once sequence, then the repeat sequence; a code
        // with no once sequence sends its repeat sequence twice.
        std::vector<int32_t> signal = once.empty() ? repeat : once;
        signal.insert(signal.end(), repeat.begin(), repeat.end());

        const int32_t carrier =
            words[0] == LearnedModulated ? static_cast<int32_t>(std::lround(1e6 / cycleUs)) : 0;
        if (!unitBegun_) sink_.BeginUnit({"", lineNo, carrier});
        unitBegun_ = true;
        sink_.AddKey({name, lineNo, CutSignal(signal)});
    }

    CodeFileSink& sink_;
    int number_ = 0;
    bool unitBegun_ = false;
};

}  // namespace

void ReadProntoList(std::string_view text, CodeFileSink& sink) { ProntoReader(sink).Read(text); }

}  // namespace tovanel
