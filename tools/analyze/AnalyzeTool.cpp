#include "tools/analyze/AnalyzeTool.h"

#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>

#include "tools/analyze/FrameReport.h"

namespace tovanel {

namespace {

bool ParseInt(const std::string& text, int64_t lo, int64_t hi, int32_t& value) {
    if (text.empty() || text.size() > 12) return false;
    size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i == text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    if (text[0] == '-') v = -v;
    if (v < lo || v > hi) return false;
    value = static_cast<int32_t>(v);
    return true;
}

}  // namespace

const char* AnalyzeUsage() {
    return "Usage: tovanel-analyze [options] [FILE...]\n"
           "Analyses recorded IR frames and prints one JSON object per frame.\n"
           "FILE is read from standard input when missing or '-'.\n"
           "\n"
           "  --input durations   one frame per line, durations in us (default);\n"
           "                      '#' starts a comment, a blank line ends a burst\n"
           "  --input mode2       LIRC mode2 text (pulse/space/timeout lines)\n"
           "  --format json|text  output format (default json)\n"
           "  --protocol N        force protocol N (0..19, 0 = automatic)\n"
           "  --modulation N      force modulation N (0..3, 0 = automatic)\n"
           "  --adr-start BIT --adr-bits N --adr-lsb-first --adr-short-is-one\n"
           "  --cmd-start BIT --cmd-bits N --cmd-lsb-first --cmd-short-is-one\n"
           "                      layout for frames of no known protocol\n"
           "  --help              this text\n";
}

bool ParseAnalyzeOptions(const std::vector<std::string>& args, AnalyzeOptions& o,
                         std::string& error) {
    struct Numeric {
        const char* name;
        int32_t* target;
        int32_t lo, hi;
        int32_t scale;  // start bits are stored as duration positions
    };
    const Numeric numerics[] = {
        {"--protocol", &o.protocol, 0, 19, 1},
        {"--modulation", &o.modulation, 0, 3, 1},
        {"--adr-start", &o.layout.AdrStart, 0, 100, 2},
        {"--adr-bits", &o.layout.AdrBits, 0, 100, 1},
        {"--cmd-start", &o.layout.CmdStart, 0, 100, 2},
        {"--cmd-bits", &o.layout.CmdBits, 0, 100, 1},
    };
    struct Switch {
        const char* name;
        bool* target;
    };
    const Switch switches[] = {
        {"--adr-lsb-first", &o.layout.AdrOrder},
        {"--adr-short-is-one", &o.layout.AdrInverse},
        {"--cmd-lsb-first", &o.layout.CmdOrder},
        {"--cmd-short-is-one", &o.layout.CmdInverse},
    };

    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasValue = true;
            }
        }
        auto takeValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };

        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        if (arg == "-" || arg.empty() || arg[0] != '-') {
            o.files.push_back(arg);
            continue;
        }
        if (arg == "--input") {
            if (!takeValue()) return false;
            if (value == "durations")
                o.input = InputFormat::Durations;
            else if (value == "mode2")
                o.input = InputFormat::Mode2;
            else {
                error = "option --input: unknown input format '" + value + "'";
                return false;
            }
            continue;
        }
        if (arg == "--format") {
            if (!takeValue()) return false;
            if (value == "json")
                o.format = OutputFormat::Json;
            else if (value == "text")
                o.format = OutputFormat::Text;
            else {
                error = "option --format: unknown format '" + value + "'";
                return false;
            }
            continue;
        }
        bool known = false;
        for (const Numeric& n : numerics) {
            if (arg != n.name) continue;
            known = true;
            if (!takeValue()) return false;
            int32_t v = 0;
            if (!ParseInt(value, n.lo, n.hi, v)) {
                error = "option " + arg + ": '" + value + "' is not a number from " +
                        std::to_string(n.lo) + " to " + std::to_string(n.hi);
                return false;
            }
            *n.target = v * n.scale;
        }
        for (const Switch& s : switches) {
            if (arg != s.name) continue;
            known = true;
            if (hasValue) {
                error = "option " + arg + " takes no value";
                return false;
            }
            *s.target = true;
        }
        if (!known) {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

AnalyzeRun::AnalyzeRun(const AnalyzeOptions& options, std::ostream& out)
    : options_(options),
      out_(out),
      buffer_(std::make_unique<SharedFrameBuffer>()),
      scratch_(std::make_unique<CodeFrame>()) {
    DecodeSettings s = options.layout;
    s.ForcedModulation = options.modulation;
    s.ForcedProtocol = options.protocol;
    settings_.Set(s);
    // The recorded time line decides the bursts, so the assembler runs on a
    // clock of our own: it jumps past the burst pause at every new burst and
    // stands still inside one, where the recorded gaps give the periods.
    assembler_ = std::make_unique<FrameAssembler>(
        *buffer_, settings_, [this] { return tick_; },
        [this](int32_t slot, bool decoded) { Print(slot, decoded); });
}

AnalyzeRun::~AnalyzeRun() = default;

void AnalyzeRun::Frame(const InputFrame& frame) {
    if (frame.newBurst) {
        // Every frame of a burst is analysed in a freshly zeroed slot.
        std::lock_guard lock(buffer_->Mutex());
        std::memset(&buffer_->Locked(), 0, sizeof(FrameBuffer));
        tick_ += BurstPauseMs + 1;
    }
    const auto count = static_cast<int32_t>(
        std::min<size_t>(frame.durations.size(), std::numeric_limits<int32_t>::max()));
    assembler_->SubmitFrame(frame.gap, frame.durations.data(), count);
}

void AnalyzeRun::Print(int32_t slot, bool decoded) {
    buffer_->CopySlot(slot, *scratch_);
    if (options_.format == OutputFormat::Json)
        out_ << FrameJson(*scratch_, decoded) << '\n';
    else
        out_ << FrameText(*scratch_, decoded) << '\n';
    out_.flush();
}

int AnalyzeStream(std::istream& in, const std::string& name, AnalyzeRun& run,
                  const AnalyzeOptions& options, std::ostream& err) {
    int bad = 0;
    InputHandlers handlers{
        [&](const InputFrame& f) { run.Frame(f); },
        [&](int line, const std::string& message) {
            ++bad;
            err << "tovanel-analyze: " << name << ": line " << line << ": " << message << '\n';
        }};
    if (options.input == InputFormat::Mode2)
        ReadMode2Text(in, handlers);
    else
        ReadDurationsText(in, handlers);
    return bad;
}

int AnalyzeMain(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                std::ostream& err) {
    AnalyzeOptions options;
    std::string error;
    if (!ParseAnalyzeOptions(args, options, error)) {
        err << "tovanel-analyze: " << error << "\n" << "Try 'tovanel-analyze --help'.\n";
        return 2;
    }
    if (options.help) {
        out << AnalyzeUsage();
        return 0;
    }
    if (options.files.empty()) options.files.push_back("-");

    AnalyzeRun run(options, out);
    int bad = 0;
    for (const std::string& file : options.files) {
        if (file == "-") {
            bad += AnalyzeStream(in, "<stdin>", run, options, err);
            continue;
        }
        std::ifstream stream(file);
        if (!stream) {
            err << "tovanel-analyze: cannot open " << file << ": " << std::strerror(errno) << '\n';
            ++bad;
            continue;
        }
        bad += AnalyzeStream(stream, file, run, options, err);
    }
    return bad > 0 ? 2 : 0;
}

}  // namespace tovanel
