#include "tools/analyze/AnalyzeTool.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <iostream>
#include <limits>
#include <sstream>
#include <type_traits>

#include <pthread.h>

#include "analysis/Recognition.h"
#include "analysis/rc/RcReading.h"
#include "capture/EdgeDetector.h"
#include "capture/Setup/AppPaths.h"
#include "capture/Setup/CaptureConfig.h"
#include "capture/Setup/CaptureSources.h"
#include "capture/Setup/Quoting.h"
#include "capture/SoundCapture.h"
#include "database/CodeText.h"
#include "tools/analyze/FileInput.h"
#include "tools/analyze/FrameReport.h"
#include "tools/analyze/Plot.h"
#include "tools/analyze/WavInput.h"

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

bool SameLetters(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

// A number from 0 to `last`, or the name `name(n)` gives, or "auto" /
// "(Auto)" for 0.
bool ParseNamed(const std::string& text, int32_t last, const char* (*name)(int32_t), int32_t& value) {
    if (ParseInt(text, 0, last, value)) return true;
    if (SameLetters(text, "auto") || SameLetters(text, "(auto)")) {
        value = 0;
        return true;
    }
    for (int32_t n = 0; n <= last; ++n) {
        if (SameLetters(text, name(n))) {
            value = n;
            return true;
        }
    }
    return false;
}

// "   0 (Auto)", "   1 ITT", ... in columns as wide as the longest name.
std::string Table(int32_t last, const char* (*name)(int32_t), int perRow) {
    auto label = [&](int32_t n) { return std::string(n == 0 ? "(Auto)" : name(n)); };
    size_t width = 0;
    for (int32_t n = 0; n <= last; ++n) width = std::max(width, label(n).size());
    std::string out;
    for (int32_t n = 0; n <= last; ++n) {
        const std::string number = std::to_string(n);
        out += std::string(4 - std::min<size_t>(number.size(), 4), ' ') + number + ' ' + label(n);
        out += std::string(width + 2 - label(n).size(), ' ');
        if ((n + 1) % perRow == 0 || n == last) {
            while (!out.empty() && out.back() == ' ') out.pop_back();
            out += '\n';
        }
    }
    return out;
}

// The class tables the analysis fills only as far as it finds classes.
void ClearClassTables(CodeFrame& f) {
    std::fill(std::begin(f.MarkMeans), std::end(f.MarkMeans), 0);
    std::fill(std::begin(f.SpaceMeans), std::end(f.SpaceMeans), 0);
    std::fill(std::begin(f.MarkCounts), std::end(f.MarkCounts), 0);
    std::fill(std::begin(f.SpaceCounts), std::end(f.SpaceCounts), 0);
}

// A record without its sound samples (8 KiB of the 11), which no printed
// line shows: SampleCount 0.
void CopyWithoutSamples(const CodeFrame& from, CodeFrame& to) {
    static_assert(std::is_standard_layout_v<CodeFrame> && std::is_trivially_copyable_v<CodeFrame>);
    const auto* source = reinterpret_cast<const unsigned char*>(&from);
    auto* target = reinterpret_cast<unsigned char*>(&to);
    constexpr size_t samples = offsetof(CodeFrame, Samples), after = offsetof(CodeFrame, SampleCount);
    std::memcpy(target, source, samples);
    std::memcpy(target + after, source + after, sizeof(CodeFrame) - after);
    to.SampleCount = 0;
}

}  // namespace

bool ParseProtocolSetting(const std::string& text, int32_t& protocol) {
    return ParseNamed(text, Protocol::Count - 1, ProtocolName, protocol);
}

bool ParseModulationSetting(const std::string& text, int32_t& modulation) {
    return ParseNamed(text, Modulation::BiPhase, ModulationName, modulation);
}

std::string SettingTables() {
    return "\nProtocols (--protocol takes the number or the name, in any letter case):\n" +
           Table(Protocol::Count - 1, ProtocolName, 4) +
           "Modulations (--modulation likewise):\n" + Table(Modulation::BiPhase, ModulationName, 4);
}

const char* AnalyzeUsage() {
    return "Usage: tovanel-analyze [options] [FILE...]\n"
           "Analyses recorded IR frames and prints one JSON object per frame.\n"
           "FILE is read from standard input when missing or '-'.\n"
           "\n"
           "  --input durations   one frame per line, durations in us (default);\n"
           "                      '#' starts a comment, a blank line ends a burst; a line\n"
           "                      beginning with a signed number (+9000 -4500 ..., as\n"
           "                      'ir-ctl -r' prints) is a key press of its own, cut into\n"
           "                      frames at spaces over 10200 us\n"
           "  --input mode2       LIRC mode2 text (pulse/space/timeout lines)\n"
           "  --input wav         a 48 kHz 16-bit mono WAV recording of a receiver on\n"
           "                      the sound input, through the sound card's edge detector\n"
           "  --input codetext    one stored key code text per line, as it stands (leading\n"
           "                      spaces belong to it); an empty line ends a burst\n"
           "  --capture [RECEIVER]  capture live from com, sound, usb, usb2 or lirc\n"
           "                      (default: the settings file's) until interrupted\n"
           "  --list-devices      list the sound capture devices (DeviceIndex values)\n"
           "  --format json|text  output format (default json)\n"
           "  --plot FILE.png     also write the recording buffer as it stands after the\n"
           "                      input (its last burst; with --capture, when stopped)\n"
           "                      as an oscillogram image, as the window's OSC page draws it\n"
           "  --protocol P        force protocol P, a number or a name (0, auto = automatic)\n"
           "  --modulation M      force modulation M, a number or a name (0, auto = automatic)\n"
           "  --adr-start BIT --adr-bits N --adr-lsb-first --adr-short-is-one\n"
           "  --cmd-start BIT --cmd-bits N --cmd-lsb-first --cmd-short-is-one\n"
           "                      layout for frames of no known protocol\n"
           "  --help              this text\n";
}

bool ParseInputFormat(const std::string& text, InputFormat& format) {
    static const std::pair<const char*, InputFormat> formats[] = {{"durations", InputFormat::Durations},
                                                                  {"mode2", InputFormat::Mode2},
                                                                  {"wav", InputFormat::Wav},
                                                                  {"codetext", InputFormat::CodeText}};
    for (const auto& [name, value] : formats) {
        if (text != name) continue;
        format = value;
        return true;
    }
    return false;
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
        if (arg == "--list-devices") {
            o.listDevices = true;
            continue;
        }
        if (arg == "--capture") {
            static const char* const receivers[] = {"com", "sound", "usb", "usb2", "lirc"};
            auto known = [](const std::string& v) {
                return std::find(std::begin(receivers), std::end(receivers), v) != std::end(receivers);
            };
            o.capture = true;
            // The receiver is optional: the next word is taken when it names one.
            if (!hasValue && i + 1 < args.size() && known(args[i + 1])) {
                value = args[++i];
                hasValue = true;
            }
            if (hasValue && !known(value)) {
                error = "option --capture: unknown receiver " + Quoted(value) + " (com, sound, usb, usb2, lirc)";
                return false;
            }
            o.captureSource = hasValue ? value : "";
            continue;
        }
        if (arg == "--input") {
            if (!takeValue()) return false;
            if (!ParseInputFormat(value, o.input)) {
                error = "option --input: unknown input format " + Quoted(value);
                return false;
            }
            continue;
        }
        if (arg == "--plot") {
            if (!takeValue()) return false;
            if (value.empty()) {
                error = "option --plot needs a file name";
                return false;
            }
            o.plotFile = value;
            continue;
        }
        if (arg == "--format") {
            if (!takeValue()) return false;
            if (value == "json")
                o.format = OutputFormat::Json;
            else if (value == "text")
                o.format = OutputFormat::Text;
            else {
                error = "option --format: unknown format " + Quoted(value);
                return false;
            }
            continue;
        }
        if (arg == "--protocol" || arg == "--modulation") {
            if (!takeValue()) return false;
            const bool protocol = arg == "--protocol";
            if (!(protocol ? ParseProtocolSetting(value, o.protocol) : ParseModulationSetting(value, o.modulation))) {
                error = "option " + arg + ": '" + value + "' is neither a number from 0 to " +
                        std::to_string(protocol ? Protocol::Count - 1 : Modulation::BiPhase) + " nor a " +
                        (protocol ? "protocol" : "modulation") + " name (see --help)";
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
                error = "option " + arg + ": " + Quoted(value) + " is not a number from " +
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
            error = "unknown option " + Shortened(arg);
            return false;
        }
    }
    if (o.capture && !o.files.empty()) {
        error = "option --capture: unknown receiver " + Quoted(o.files[0]) + " (com, sound, usb, usb2, lirc)";
        return false;
    }
    return true;
}

AnalyzeRun::AnalyzeRun(const AnalyzeOptions& options, std::ostream& out, std::ostream& err)
    : options_(options),
      out_(out),
      err_(err),
      buffer_(std::make_unique<SharedFrameBuffer>()),
      held_(std::make_unique<CodeFrame>()),
      pending_(std::make_unique_for_overwrite<char[]>(PendingCapacity)) {
    DecodeSettings s = options.layout;
    s.ForcedModulation = options.modulation;
    s.ForcedProtocol = options.protocol;
    settings_.Set(s);
    // The recorded time line decides the bursts, so the assembler runs on a
    // clock of our own: it jumps past the burst pause at every new burst and
    // stands still inside one, where the recorded gaps give the periods.
    assembler_ = std::make_unique<FrameAssembler>(
        *buffer_, settings_, [this] { return systemClock_ ? SteadyTickMs() : tick_.load(); },
        [this](int32_t slot, bool decoded) { Print(slot, decoded); });
    assembler_->SetDropNotify([this](int32_t given, int32_t stored) { Dropped(given, stored); });
}

AnalyzeRun::~AnalyzeRun() {
    Finish();
    Flush();
}

void AnalyzeRun::BeginStream(const std::string& name) {
    std::lock_guard lock(printMutex_);
    stream_ = name.empty() ? "" : name + ": ";
    burst_ = 0;
    droppedFrames_ = 0;
    line_ = 0;
}

void AnalyzeRun::EndStream() {
    std::lock_guard lock(printMutex_);
    ReportDroppedFrames();
}

void AnalyzeRun::Frame(const InputFrame& frame) {
    if (frame.newBurst) {
        // The burst's frames go to the slots the last burst used. The
        // assembler empties them and clears each record past its frame's
        // end, and the analysis resets its results; the class tables, which
        // it fills only as far as it finds classes, are cleared here. So
        // every frame is analysed as in a zeroed record, without clearing
        // a whole buffer of records (and their sound samples) per burst.
        std::lock_guard lock(buffer_->Mutex());
        for (CodeFrame& slot : buffer_->Locked().Slots) ClearClassTables(slot);
        tick_ += BurstPauseMs + 1;
    }
    {
        std::lock_guard lock(printMutex_);
        line_ = frame.line;
    }
    const auto count = static_cast<int32_t>(
        std::min<size_t>(frame.durations.size(), std::numeric_limits<int32_t>::max()));
    assembler_->SubmitFrame(frame.gap, frame.durations.data(), count);
}

void AnalyzeRun::CodeText(const CodeTextLine& line) {
    int32_t slot = -1;
    bool decoded = false;
    {
        std::lock_guard lock(buffer_->Mutex());
        FrameBuffer& fb = buffer_->Locked();
        if (line.newBurst) ResetFrameBuffer(fb);  // each text's slot is zeroed below
        if (fb.FillCount < SlotCount) {
            slot = fb.FillCount;
            CodeFrame& f = fb.Slots[slot];
            ClearFrame(f);
            const DecodeSettings s = settings_.Get();
            decoded = AnalyzeCodeText(line.text, slot, s.ForcedModulation, s.ForcedProtocol, s, f);
            fb.FillCount = slot + 1;
        }
    }
    if (slot >= 0)
        Print(slot, decoded);
    else
        Dropped(1, 0);
}

void AnalyzeRun::Print(int32_t slot, bool decoded) {
    std::lock_guard lock(printMutex_);
    if (heldSlot_ >= 0) ReleaseHeld(slot == heldSlot_ + 1);
    if (slot == 0) {  // a new burst: the last one is complete
        ReportDroppedFrames();
        ++burst_;
    }
    if (slot < 0 || slot >= SlotCount) return;
    {
        // The slot is read where it stands: only this thread stores frames,
        // and the next one is stored after this returns.
        std::lock_guard bufferLock(buffer_->Mutex());
        const FrameBuffer& fb = buffer_->Locked();
        const CodeFrame& frame = fb.Slots[slot];
        const std::optional<RcReading> rc = ReadRcSlot(fb, slot);
        const auto count = static_cast<size_t>(std::clamp(frame.Count, 0, MaxDurations));
        if (!rc && RcReadingWaitsForNext(RcDurations(frame.Durations, count))) {
            // Printed when the next frame has arrived, whose burst may by
            // then have reused the slot: kept as it is.
            CopyWithoutSamples(frame, *held_);
            heldSlot_ = slot;
            heldDecoded_ = decoded;
            return;
        }
        Format(frame, decoded, rc);
    }
    Write();
}

void AnalyzeRun::Finish() {
    std::lock_guard lock(printMutex_);
    if (heldSlot_ >= 0) ReleaseHeld(false);
}

void AnalyzeRun::Flush() {
    std::lock_guard lock(printMutex_);
    FlushLocked();
}

void AnalyzeRun::FlushLocked() {
    WritePending();
    out_.flush();
}

void AnalyzeRun::WritePending() {
    out_.write(pending_.get(), static_cast<std::streamsize>(pendingSize_));
    pendingSize_ = 0;
}

void AnalyzeRun::ReleaseHeld(bool nextArrived) {
    std::optional<RcReading> rc;
    if (nextArrived) {
        std::lock_guard bufferLock(buffer_->Mutex());
        rc = ReadRcSlot(buffer_->Locked(), heldSlot_);
    }
    heldSlot_ = -1;
    Format(*held_, heldDecoded_, rc);
    Write();
}

void AnalyzeRun::Format(const CodeFrame& frame, bool decoded, const std::optional<RcReading>& rc) {
    // pendingSize_ < OutputChunk here: a JSON line and its newline fit.
    if (options_.format == OutputFormat::Json) {
        pendingSize_ += WriteFrameJson(pending_.get() + pendingSize_, frame, decoded, rc);
        pending_[pendingSize_++] = '\n';
        return;
    }
    const std::string text = FrameText(frame, decoded, rc) + '\n';
    if (pendingSize_ + text.size() > PendingCapacity) WritePending();
    if (text.size() > PendingCapacity) {
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
        return;
    }
    std::memcpy(pending_.get() + pendingSize_, text.data(), text.size());
    pendingSize_ += text.size();
}

void AnalyzeRun::Write() {
    if (flushEachFrame_)
        FlushLocked();
    else if (pendingSize_ >= OutputChunk)
        WritePending();
}

void AnalyzeRun::Warn(const std::string& message) {
    std::lock_guard lock(printMutex_);
    FlushLocked();  // what was printed before comes first
    err_ << "tovanel-analyze: " << message << '\n';
    err_.flush();
}

void AnalyzeRun::Dropped(int32_t given, int32_t stored) {
    std::lock_guard lock(printMutex_);
    if (stored == 0) {
        ++droppedFrames_;
        return;
    }
    FlushLocked();
    const std::string where = line_ > 0 ? "line " + std::to_string(line_) + ": "
                                        : "burst " + std::to_string(burst_) + ": a frame of ";
    err_ << "tovanel-analyze: " << stream_ << where << given << " durations, the first " << stored
         << " analysed\n";
    err_.flush();
}

void AnalyzeRun::ReportDroppedFrames() {
    if (droppedFrames_ > 0) {
        FlushLocked();
        err_ << "tovanel-analyze: " << stream_ << "burst " << burst_ << ": " << droppedFrames_
             << (droppedFrames_ == 1 ? " frame" : " frames") << " after the tenth not analysed\n";
        err_.flush();
    }
    droppedFrames_ = 0;
}

int AnalyzeStream(std::istream& in, const std::string& name, AnalyzeRun& run,
                  const AnalyzeOptions& options, std::ostream& err) {
    int bad = 0;
    InputHandlers handlers{
        [&](const InputFrame& f) { run.Frame(f); },
        [&](int line, const std::string& message) {
            ++bad;
            run.Flush();
            err << "tovanel-analyze: " << name << ": line " << line << ": " << message << '\n';
        }};
    run.BeginStream(name);
    if (options.input == InputFormat::Mode2)
        ReadMode2Text(in, handlers);
    else if (options.input == InputFormat::CodeText)
        ReadCodeTextLines(in, [&](const CodeTextLine& line) { run.CodeText(line); });
    else
        ReadDurationsText(in, handlers);
    run.EndStream();
    return bad;
}

namespace {

// Writes the oscillogram when asked to; false after reporting a failure.
bool Plot(const AnalyzeOptions& options, AnalyzeRun& run, std::ostream& err) {
    if (options.plotFile.empty()) return true;
    auto snapshot = std::make_unique<FrameBuffer>();
    run.Buffer().CopyTo(*snapshot);
    std::string error;
    if (WriteOscillogramPng(*snapshot, options.plotFile, error)) return true;
    err << "tovanel-analyze: " << error << '\n';
    return false;
}

CaptureConfig SettingsFileConfig(std::ostream& err) {
    std::string warning;
    const IniFile ini = LoadSettingsFile(warning);
    if (!warning.empty()) err << "tovanel-analyze: warning: " << warning << '\n';
    CaptureConfig config;
    LoadCaptureConfig(ini, config);
    return config;
}

}  // namespace

bool AnalyzeWav(std::istream& in, const std::string& name, AnalyzeRun& run, std::ostream& err) {
    std::vector<int16_t> samples;
    std::string error;
    const bool read = ReadWav(in, samples, error);
    if (const std::string failure = ReadFailure(in); !failure.empty()) {
        err << "tovanel-analyze: cannot read " << name << ": " << failure << '\n';
        return false;
    }
    if (!read) {
        err << "tovanel-analyze: " << name << ": " << error << '\n';
        return false;
    }
    const CaptureConfig config = SettingsFileConfig(err);
    run.BeginStream(name);
    EdgeDetector detector([&run](uint32_t gap, const int32_t* d, int32_t n, const int16_t* s, int32_t sc) {
        run.Assembler().SubmitFrame(gap, d, n, s, sc);
    });
    detector.SetPulseTime(config.PulseTime);
    detector.SetPulseLevel(config.PulseLevel);
    // Blocks of one millisecond, so the recording's own time line decides
    // the bursts, as the tick count does live. The first frame starts one.
    constexpr size_t PerMs = EdgeDetector::SampleRate / 1000;
    const uint32_t start = BurstPauseMs + 1;
    {
        std::lock_guard lock(run.Buffer().Mutex());
        std::memset(&run.Buffer().Locked(), 0, sizeof(FrameBuffer));
    }
    for (size_t at = 0; at < samples.size(); at += PerMs) {
        run.SetTick(start + static_cast<uint32_t>(at / PerMs));
        detector.DetectEdges(samples.data() + at, 2 * std::min(PerMs, samples.size() - at));
    }
    // The silence that ends the last frame may lie beyond the recording.
    const std::vector<int16_t> silence(PerMs * 20, samples.empty() ? int16_t{0} : samples.back());
    for (size_t k = 0; k < 20; ++k) {
        run.SetTick(start + static_cast<uint32_t>(samples.size() / PerMs + k));
        detector.DetectEdges(silence.data(), 2 * PerMs);
    }
    run.EndStream();
    return true;
}

void WaitForStopSignal(const std::function<bool()>& lost) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    const timespec tick{0, 100 * 1000 * 1000};
    while (!lost()) {
        if (sigtimedwait(&set, nullptr, &tick) >= 0) {
            // The program is stopping: another interrupt while the receiver
            // shuts down must not kill it half-way.
            std::signal(SIGINT, SIG_IGN);
            std::signal(SIGTERM, SIG_IGN);
            return;
        }
    }
}

int AnalyzeCapture(const AnalyzeOptions& options, std::ostream& out, std::ostream& err,
                   const CaptureWait& wait) {
    CaptureConfig config = SettingsFileConfig(err);
    static const std::pair<const char*, int32_t> names[] = {{"com", Source::Com},
                                                             {"sound", Source::Sound},
                                                             {"usb", Source::IgorPlug},
                                                             {"usb2", Source::IgorPlug2},
                                                             {"lirc", Source::Lirc}};
    for (const auto& [name, source] : names)
        if (options.captureSource == name) config.CaptureSource = source;

    // SIGINT and SIGTERM are taken by the waiting thread alone: blocked here
    // before any capture thread exists, so every thread inherits the mask.
    sigset_t stopSignals, previous;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);

    AnalyzeRun run(options, out, err);
    run.UseSystemClock();
    run.FlushEachFrame();
    run.BeginStream("");
    std::atomic<bool> lost{false};
    CaptureSinks sinks;
    sinks.error = [&](const std::string& message) { run.Warn(message); };
    sinks.lost = [&] { lost = true; };
    int status = 1;
    {
        CaptureSources sources(run.Assembler(), run.Buffer(), sinks);
        sources.SetConfig(config);
        run.Warn(std::string("capturing from ") + SourceName(config.CaptureSource) + "; interrupt to stop");
        // The USB receivers' status, as the setup dialog shows it, at each
        // change (looked at whenever the wait does, every 100 ms).
        const bool usb = config.CaptureSource == Source::IgorPlug || config.CaptureSource == Source::IgorPlug2;
        auto showStatus = [&] {
            if (!usb || sources.Usb().UsbStatus() < 0) return;  // not polled yet
            if (auto label = sources.TakeUsbStatusLabel()) sinks.error(*label);
        };
        if (sources.StartSource()) {
            wait([&] {
                showStatus();
                return lost.load();
            });
            status = lost ? 1 : 0;
        }
        sources.StopAll();
    }
    run.Finish();
    run.EndStream();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (!Plot(options, run, err)) return 2;
    return status;
}

void ListSoundDevices(std::ostream& out) {
    SoundCapture sound(CaptureSinks{});
    const std::vector<std::string>& devices = sound.RefreshDevices();
    for (size_t i = 0; i < devices.size(); ++i) out << i << ": " << devices[i] << '\n';
}

int AnalyzeMain(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                std::ostream& err, const CaptureWait& wait) {
    AnalyzeOptions options;
    std::string error;
    if (!ParseAnalyzeOptions(args, options, error)) {
        err << "tovanel-analyze: " << error << "\n" << "Try 'tovanel-analyze --help'.\n";
        return 2;
    }
    if (options.help) {
        out << AnalyzeUsage() << SettingTables();
        return 0;
    }
    if (options.listDevices) {
        ListSoundDevices(out);
        return 0;
    }
    if (options.capture) return AnalyzeCapture(options, out, err, wait);
    if (options.files.empty()) options.files.push_back("-");

    AnalyzeRun run(options, out, err);
    int bad = 0;
    auto analyze = [&](std::istream& stream, const std::string& name) {
        // Output waits in its buffer while more input is ready; when the
        // input has nothing more (a pipe from a live mode2), it goes out.
        auto* fd = dynamic_cast<FdInputBuf*>(stream.rdbuf());
        if (fd != nullptr) fd->SetIdle([&run] { run.Flush(); });
        struct Unhook {
            FdInputBuf* fd;
            ~Unhook() {
                if (fd != nullptr) fd->SetIdle(nullptr);
            }
        } unhook{fd};
        if (options.input == InputFormat::Wav) {
            bad += AnalyzeWav(stream, name, run, err) ? 0 : 1;
            return;
        }
        bad += AnalyzeStream(stream, name, run, options, err);
        // A read error is no end of the input: the rest of it is missing.
        if (const std::string failure = ReadFailure(stream); !failure.empty()) {
            run.Flush();
            err << "tovanel-analyze: cannot read " << name << ": " << failure << '\n';
            ++bad;
        }
    };
    for (const std::string& file : options.files) {
        if (file == "-") {
            analyze(in, "<stdin>");
            continue;
        }
        int error = 0;
        const std::unique_ptr<FdInputBuf> buffer = FdInputBuf::Open(file, error);
        if (!buffer) {
            run.Flush();
            err << "tovanel-analyze: cannot open " << file << ": " << std::strerror(error) << '\n';
            ++bad;
            continue;
        }
        std::istream stream(buffer.get());
        analyze(stream, file);
    }
    run.Finish();
    run.Flush();
    if (!Plot(options, run, err)) return 2;
    return bad > 0 ? 2 : 0;
}

}  // namespace tovanel
