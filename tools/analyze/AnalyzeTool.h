// The command-line analyser: options, and the run that feeds recorded
// frames through the recording buffer and prints every analysed frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/CodeFrame.h"
#include "analysis/rc/RcProtocols.h"
#include "capture/FrameAssembler.h"
#include "capture/TextInput.h"
#include "tools/analyze/FrameReport.h"

namespace tovanel {

enum class InputFormat { Durations, Mode2, Wav, CodeText };
enum class OutputFormat { Json, Text };

struct AnalyzeOptions {
    InputFormat input = InputFormat::Durations;
    OutputFormat format = OutputFormat::Json;
    int32_t protocol = 0;    // forced, 0 = automatic; a number or a name on the command line
    int32_t modulation = 0;  // forced, 0 = automatic; likewise
    DecodeSettings layout;   // generic layout; starts as duration positions
    std::vector<std::string> files;  // none or "-": standard input
    bool help = false;
    bool capture = false;       // run a receiver live
    std::string captureSource;  // "com", "sound", "usb", "usb2", "lirc"; empty: the settings file's
    bool listDevices = false;   // list the sound capture devices
    std::string plotFile;       // write the buffer's oscillogram there as PNG
};

// "durations", "mode2", "wav" or "codetext", as --input takes them.
bool ParseInputFormat(const std::string& text, InputFormat& format);

// Parses argv[1..]. False with a message naming the option when an option
// is unknown, lacks its value or has a value out of range.
bool ParseAnalyzeOptions(const std::vector<std::string>& args, AnalyzeOptions& options,
                         std::string& error);

const char* AnalyzeUsage();
// The protocol and modulation tables, numbers and names, for --help.
std::string SettingTables();

// A forced protocol or modulation given as its number or as its name (as
// ProtocolName / ModulationName spell it, in any letter case; "auto" and
// "(Auto)" are 0). False for anything else, numbers out of range included.
bool ParseProtocolSetting(const std::string& text, int32_t& protocol);
bool ParseModulationSetting(const std::string& text, int32_t& modulation);

// Runs recorded frames through a recording buffer of its own, burst by
// burst, and prints each frame the buffer stores. What the buffer cannot
// hold (the eleventh and later frames of a burst, durations past a slot's
// 200) stays unanalysed, and `err` is told: once per burst for frames, once
// per frame for durations.
class AnalyzeRun {
public:
    AnalyzeRun(const AnalyzeOptions& options, std::ostream& out, std::ostream& err);
    ~AnalyzeRun();

    // Frames from one input follow: `name` heads its messages ("" for a
    // live capture) and bursts are counted from 1. EndStream reports what
    // the last burst dropped.
    void BeginStream(const std::string& name);
    void EndStream();

    void Frame(const InputFrame& frame);
    // A stored key code text, read into a freshly zeroed slot with its own
    // period and analysed with the forced settings, as a stored key is.
    void CodeText(const CodeTextLine& line);
    // Prints slot `slot` of the buffer (what the notification reports). A
    // frame that the kernel reads only with the frame after it (Sharp's
    // first frame) is printed when that frame arrives, or at Finish().
    void Print(int32_t slot, bool decoded);
    // Prints a frame still waiting for the next one; the input has ended.
    void Finish();
    // Output is buffered and goes out when the input has nothing more
    // ready (Flush), before every message on the error stream, and at the
    // end; after FlushEachFrame(), as each frame is printed (a live capture).
    void Flush();
    void FlushEachFrame() { flushEachFrame_ = true; }
    // One line on the error stream, "tovanel-analyze: " first.
    void Warn(const std::string& message);

    // For frames from a receiver or a recording: the assembler decides the
    // bursts by its tick count, which is the time line's (SetTick) or, once
    // UseSystemClock() was called, the system's.
    FrameAssembler& Assembler() { return *assembler_; }
    SharedFrameBuffer& Buffer() { return *buffer_; }
    void SetTick(uint32_t ms) { tick_ = ms; }
    void UseSystemClock() { systemClock_ = true; }

private:
    // What the assembler could not store (given durations, 0 or kept).
    void Dropped(int32_t given, int32_t stored);
    // Reports the frames the current burst dropped; under printMutex_.
    void ReportDroppedFrames();

    const AnalyzeOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::unique_ptr<SharedFrameBuffer> buffer_;
    SharedDecodeSettings settings_;
    std::atomic<uint32_t> tick_{0};
    std::atomic<bool> systemClock_{false};
    std::mutex printMutex_;  // output, error messages and the counts below
    std::string stream_;     // "NAME: " of the input, or empty
    int burst_ = 0;          // bursts of the input so far
    int droppedFrames_ = 0;  // of the current burst
    int line_ = 0;           // line of the frame being submitted; 0: none
    std::unique_ptr<FrameAssembler> assembler_;
    std::unique_ptr<CodeFrame> held_;  // a frame waiting for the next one (no samples)
    int32_t heldSlot_ = -1;            // its slot; -1 none
    bool heldDecoded_ = false;
    bool flushEachFrame_ = false;
    // Printed lines not yet handed to out_: written in chunks of about
    // OutputChunk bytes, and by Flush().
    static constexpr size_t OutputChunk = size_t{1} << 16;
    static constexpr size_t PendingCapacity = OutputChunk + MaxFrameJsonLength + 1;
    std::unique_ptr<char[]> pending_;
    size_t pendingSize_ = 0;

    // The frame's line into the pending output; Write() hands it on when
    // a chunk is full or each frame is flushed. Both under printMutex_.
    void Format(const CodeFrame& frame, bool decoded, const std::optional<RcReading>& rc);
    void Write();
    void WritePending();
    void FlushLocked();
    void ReleaseHeld(bool nextArrived);
};

// Reads one input stream in the chosen format; returns the number of bad
// lines, each reported on `err` with its line number.
int AnalyzeStream(std::istream& in, const std::string& name, AnalyzeRun& run,
                  const AnalyzeOptions& options, std::ostream& err);

// Runs a 48 kHz 16-bit mono WAV recording through the sound card's edge
// detector (its settings from the settings file) and prints each frame.
// False with a message on `err` when the file is not such a recording.
bool AnalyzeWav(std::istream& in, const std::string& name, AnalyzeRun& run, std::ostream& err);

// Waits while a live capture runs: returns when the user wants to stop or
// `lost()` turns true. The default waits for SIGINT or SIGTERM.
using CaptureWait = std::function<void(const std::function<bool()>& lost)>;
void WaitForStopSignal(const std::function<bool()>& lost);

// Runs the receiver live and prints every frame as it is analysed. Returns
// 0 after a stop, 1 when the receiver could not start or was lost.
int AnalyzeCapture(const AnalyzeOptions& options, std::ostream& out, std::ostream& err,
                   const CaptureWait& wait);

// Prints the sound capture devices, numbered as the settings file's
// DeviceIndex counts them.
void ListSoundDevices(std::ostream& out);

// The whole program; returns the exit status (0 fine, 1 capture failed,
// 2 bad input or usage).
int AnalyzeMain(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                std::ostream& err, const CaptureWait& wait = WaitForStopSignal);

}  // namespace tovanel
