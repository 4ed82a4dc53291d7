// The command-line analyser: options, and the run that feeds recorded
// frames through the recording buffer and prints every analysed frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <memory>
#include <string>
#include <vector>

#include "analysis/CodeFrame.h"
#include "capture/FrameAssembler.h"
#include "tools/analyze/TextInput.h"

namespace tovanel {

enum class InputFormat { Durations, Mode2, Wav };
enum class OutputFormat { Json, Text };

struct AnalyzeOptions {
    InputFormat input = InputFormat::Durations;
    OutputFormat format = OutputFormat::Json;
    int32_t protocol = 0;    // forced, 0 = automatic
    int32_t modulation = 0;  // forced, 0 = automatic
    DecodeSettings layout;   // generic layout; starts as duration positions
    std::vector<std::string> files;  // none or "-": standard input
    bool help = false;
    bool capture = false;       // run a receiver live
    std::string captureSource;  // "com", "sound", "usb", "usb2", "lirc"; empty: the settings file's
    bool listDevices = false;   // list the sound capture devices
    std::string plotFile;       // write the buffer's oscillogram there as PNG
};

// Parses argv[1..]. False with a message naming the option when an option
// is unknown, lacks its value or has a value out of range.
bool ParseAnalyzeOptions(const std::vector<std::string>& args, AnalyzeOptions& options,
                         std::string& error);

const char* AnalyzeUsage();

// Runs recorded frames through a recording buffer of its own, burst by
// burst, and prints each frame the buffer stores.
class AnalyzeRun {
public:
    AnalyzeRun(const AnalyzeOptions& options, std::ostream& out);
    ~AnalyzeRun();

    void Frame(const InputFrame& frame);
    // Prints slot `slot` of the buffer (what the notification reports).
    void Print(int32_t slot, bool decoded);

    // For frames from a receiver or a recording: the assembler decides the
    // bursts by its tick count, which is the time line's (SetTick) or, once
    // UseSystemClock() was called, the system's.
    FrameAssembler& Assembler() { return *assembler_; }
    SharedFrameBuffer& Buffer() { return *buffer_; }
    void SetTick(uint32_t ms) { tick_ = ms; }
    void UseSystemClock() { systemClock_ = true; }

private:
    const AnalyzeOptions& options_;
    std::ostream& out_;
    std::unique_ptr<SharedFrameBuffer> buffer_;
    SharedDecodeSettings settings_;
    std::atomic<uint32_t> tick_{0};
    std::atomic<bool> systemClock_{false};
    std::mutex printMutex_;
    std::unique_ptr<FrameAssembler> assembler_;
    std::unique_ptr<CodeFrame> scratch_;
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
