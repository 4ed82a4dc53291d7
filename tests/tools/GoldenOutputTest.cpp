// tovanel-analyze on a large generated corpus: every byte of standard output
// and standard error, and the exit status, must stay what they were when
// tests/tools/golden/analyze-corpus.txt was made. The corpus mixes every
// protocol the generators make, receiver distortion, key presses of one to
// twelve frames, frames of random lengths (beyond a slot's 200 too),
// ir-ctl lines, comments and bad lines, so that a faster pipeline that
// forgets to clear part of a record, loses a message or reorders output
// shows here. The file holds SHA-256 digests of the outputs.
//
// TOVANEL_GOLDEN_UPDATE=1 rewrites the file from the outputs of this build;
// TOVANEL_GOLDEN_DUMP=DIR also writes every run's output there, to be
// compared with diff when a digest differs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include <QByteArray>
#include <QCryptographicHash>

#include "analysis/CodeFrame.h"
#include "database/CodeText.h"
#include "support/Frames.h"
#include "support/Protocols.h"
#include "tools/analyze/AnalyzeTool.h"

namespace tovanel {
namespace {

using test::Durations;

const std::string GoldenFile = std::string(TOVANEL_SOURCE_DIR) + "/tests/tools/golden/analyze-corpus.txt";

struct Lcg {
    uint32_t state;
    uint32_t Next(uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    }
};

// Key press `k`: its frames, the pause after each (µs, 0 for none given).
struct Press {
    std::vector<Durations> frames;
    std::vector<int32_t> pauses;
};

Press MakePress(int k) {
    Lcg rng{static_cast<uint32_t>(k) * 2654435761u};
    const auto adr = static_cast<uint8_t>(rng.Next(256));
    const auto cmd = static_cast<uint8_t>(rng.Next(256));
    Press p;
    auto add = [&](Durations d, int32_t pause) {
        p.frames.push_back(test::Distort(std::move(d), static_cast<int32_t>(rng.Next(120)), 3,
                                         rng.Next(1u << 30)));
        p.pauses.push_back(pause);
    };
    const int frames = 1 + static_cast<int>(rng.Next(k % 7 == 0 ? 12 : 4));
    switch (k % 13) {
    case 0:
        add(test::NecFrame(adr, cmd), 40000);
        for (int r = 1; r < frames; ++r) add({9000, 2250, 560}, 96000);
        break;
    case 1:
        for (int r = 0; r < frames; ++r) add(test::Rc5Frame(1, r & 1, adr & 31, cmd & 63), 89000);
        break;
    case 2:
        for (int r = 0; r < frames; ++r) add(test::Rc6Frame(0, r & 1, adr, cmd), 80000);
        break;
    case 3:
        for (int r = 0; r < frames; ++r) add(test::SonyFrame(adr | cmd << 8, 12 + 4 * (k % 3)), 25000);
        break;
    case 4:
        for (int r = 0; r < frames; ++r) add(test::JvcFrame(adr, cmd, r == 0), 20000);
        break;
    case 5:
        add(test::SanyoFrame(static_cast<uint16_t>(adr << 5 | cmd >> 3), cmd), 40000);
        break;
    case 6:
        for (int r = 0; r < frames; ++r) add(test::RcaFrame(adr & 15, cmd), 8000 + 8000 * (r & 1));
        break;
    case 7:  // a Sharp frame and its inverted copy, read by the kernel together
        for (int r = 0; r < frames; ++r) {
            add(test::SharpFrame(adr & 31, cmd, 1, 0), 40000);
            add(test::SharpFrame(adr & 31, static_cast<uint8_t>(~cmd), 0, 1), 40000);
        }
        break;
    case 8:
        add(test::XsatFrame(adr, cmd), 0);
        add(test::IttFrame(adr & 15, cmd & 63), 30000);
        break;
    case 9: {
        std::vector<int> symbols;
        for (int s = 0; s < 12; ++s) symbols.push_back(static_cast<int>(rng.Next(4)));
        for (int r = 0; r < frames; ++r) add(test::RcmmFrame(symbols), 27000);
        break;
    }
    case 10:
        add(test::NokiaFrame(adr, cmd), 0);
        break;
    default: {  // no protocol: random lengths, up to past a slot's 200
        for (int r = 0; r < frames; ++r) {
            Durations d(1 + rng.Next(k % 5 == 0 ? 260 : 90));
            for (int32_t& v : d) v = 100 + static_cast<int32_t>(rng.Next(k % 2 ? 3000 : 12000));
            add(std::move(d), static_cast<int32_t>(rng.Next(2)) * 30000);
        }
        break;
    }
    }
    return p;
}

constexpr int Presses = 2600;

void Append(std::string& out, const Durations& d, const char* separator) {
    for (size_t i = 0; i < d.size(); ++i) {
        if (i > 0) out += separator;
        out += std::to_string(d[i]);
    }
}

// The durations form: a frame per line, its pause as a trailing space, a
// blank line between key presses; now and then an ir-ctl line, a comment,
// commas, or a bad line.
std::string DurationsCorpus() {
    std::string text = "# generated corpus\n";
    for (int k = 0; k < Presses; ++k) {
        const Press p = MakePress(k);
        if (k % 17 == 3) {
            for (size_t f = 0; f < p.frames.size(); ++f) {
                const Durations& d = p.frames[f];
                for (size_t i = 0; i < d.size(); ++i) text += (i % 2 == 0 ? "+" : "-") + std::to_string(d[i]) + ' ';
                text += (d.size() % 2 == 0 ? "+" : "-") + std::to_string(p.pauses[f] + 20000) + ' ';
            }
            text.back() = '\n';
            text += '\n';
            continue;
        }
        for (size_t f = 0; f < p.frames.size(); ++f) {
            Append(text, p.frames[f], k % 11 == 5 ? ", " : " ");
            if (p.pauses[f] > 0) text += ' ' + std::to_string(p.pauses[f]);
            text += k % 19 == 4 ? "  # trailing comment\n" : "\n";
            if (k % 23 == 6 && f == 0) text += "# a comment inside the burst\n560 abc 560\n";
        }
        text += k % 29 == 8 ? "\n\n" : "\n";
    }
    return text;
}

// The same key presses as mode2 text, bursts apart by a long space or a
// time-out.
std::string Mode2Corpus() {
    std::string text = "Using driver default on device /dev/lirc0\n";
    for (int k = 0; k < Presses; ++k) {
        const Press p = MakePress(k);
        for (size_t f = 0; f < p.frames.size(); ++f) {
            const Durations& d = p.frames[f];
            for (size_t i = 0; i < d.size(); ++i)
                text += (i % 2 == 0 ? "pulse " : "space ") + std::to_string(d[i]) + '\n';
            if (d.size() % 2 == 1) text += "space " + std::to_string(p.pauses[f] + 12000) + '\n';
        }
        text += k % 3 == 0 ? "timeout 125000\n" : "space 400000\n";
    }
    return text;
}

// The frames that fit a code column, as stored code texts.
std::string CodeTextCorpus() {
    std::string text;
    auto frame = test::NewFrame();
    for (int k = 0; k < Presses / 2; ++k) {
        const Press p = MakePress(k);
        for (size_t f = 0; f < p.frames.size() && f < 4; ++f) {
            ClearFrame(*frame);
            const Durations& d = p.frames[f];
            frame->Count = static_cast<int32_t>(std::min<size_t>(d.size(), MaxDurations));
            std::copy(d.begin(), d.begin() + frame->Count, frame->Durations);
            frame->Period = f == 0 ? 0 : 108000;
            std::string code;
            if (FormatCodeText(*frame, code)) text += code + '\n';
        }
        text += '\n';
    }
    return text;
}

struct CorpusRun {
    std::string name;
    std::vector<std::string> args;
    const std::string* input;
};

std::string Digest(const std::string& text) {
    const QByteArray data(text.data(), static_cast<qsizetype>(text.size()));
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().toStdString();
}

TEST(AnalyzeGolden, OutputOfAGeneratedCorpusIsUnchanged) {
    const std::string durations = DurationsCorpus(), mode2 = Mode2Corpus(), codes = CodeTextCorpus();
    const CorpusRun runs[] = {
        {"json", {}, &durations},
        {"text", {"--format", "text"}, &durations},
        {"forced", {"--protocol", "nec", "--modulation", "1", "--adr-start", "1", "--adr-bits", "8",
                    "--cmd-start", "17", "--cmd-bits", "8", "--cmd-lsb-first"}, &durations},
        {"mode2", {"--input", "mode2"}, &mode2},
        {"codetext", {"--input", "codetext"}, &codes},
    };
    std::map<std::string, std::string> golden;
    {
        std::ifstream in(GoldenFile);
        for (std::string name, value; in >> name >> value;) golden[name] = value;
    }
    const char* dump = std::getenv("TOVANEL_GOLDEN_DUMP");
    const bool update = std::getenv("TOVANEL_GOLDEN_UPDATE") != nullptr;
    std::map<std::string, std::string> actual;
    for (const CorpusRun& run : runs) {
        std::istringstream in(*run.input);
        std::ostringstream out, err;
        const int status = AnalyzeMain(run.args, in, out, err);
        actual[run.name + ".status"] = std::to_string(status);
        actual[run.name + ".out"] = Digest(out.str());
        actual[run.name + ".err"] = Digest(err.str());
        if (dump != nullptr) {
            std::ofstream(std::string(dump) + "/" + run.name + ".out") << out.str();
            std::ofstream(std::string(dump) + "/" + run.name + ".err") << err.str();
        }
    }
    if (update) {
        std::ofstream file(GoldenFile);
        for (const auto& [name, value] : actual) file << name << ' ' << value << '\n';
        return;
    }
    for (const auto& [name, value] : actual) EXPECT_EQ(golden[name], value) << name;
}

}  // namespace
}  // namespace tovanel
