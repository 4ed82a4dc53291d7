// The command-line analyser: options, and the run that feeds recorded
// frames through the recording buffer and prints every analysed frame.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "analysis/CodeFrame.h"
#include "capture/FrameAssembler.h"
#include "tools/analyze/TextInput.h"

namespace tovanel {

enum class InputFormat { Durations, Mode2 };
enum class OutputFormat { Json, Text };

struct AnalyzeOptions {
    InputFormat input = InputFormat::Durations;
    OutputFormat format = OutputFormat::Json;
    int32_t protocol = 0;    // forced, 0 = automatic
    int32_t modulation = 0;  // forced, 0 = automatic
    DecodeSettings layout;   // generic layout; starts as duration positions
    std::vector<std::string> files;  // none or "-": standard input
    bool help = false;
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

private:
    const AnalyzeOptions& options_;
    std::ostream& out_;
    std::unique_ptr<SharedFrameBuffer> buffer_;
    SharedDecodeSettings settings_;
    uint32_t tick_ = 0;
    std::unique_ptr<FrameAssembler> assembler_;
    std::unique_ptr<CodeFrame> scratch_;
};

// Reads one input stream in the chosen format; returns the number of bad
// lines, each reported on `err` with its line number.
int AnalyzeStream(std::istream& in, const std::string& name, AnalyzeRun& run,
                  const AnalyzeOptions& options, std::ostream& err);

// The whole program; returns the exit status (0 fine, 2 bad input or usage).
int AnalyzeMain(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                std::ostream& err);

}  // namespace tovanel
