// Code files: the files in which IR users keep the codes of their remote
// controls (lircd.conf remotes, mode2 and ir-ctl captures, our durations
// text, Pronto hex lists, .ir signal files, the kernel's keymaps). A
// reader turns one into units of named keys whose frames are duration lists
// with their periods; a writer turns a unit back into one. Plain C++: the
// window and tovanel-db share them, and each reader is a fuzz target of its
// own.
//
// Readers hand their keys to a CodeFileSink one at a time (a lircd.conf
// remote's keys once its block has ended), each expanded into frames only
// when it is handed on: what a reader holds stays bounded by the text it
// was given even where one short line stands for several frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capture/Carrier.h"

namespace tovanel {

// One frame of a key press: µs from the start of the previous frame (0 for
// the first) and the durations in µs, mark first and last.
struct CodeFileFrame {
    int32_t period = 0;
    std::vector<int32_t> durations;

    friend bool operator==(const CodeFileFrame&, const CodeFileFrame&) = default;
};

struct CodeFileKey {
    std::string name;
    int line = 0;  // where the key is defined
    std::vector<CodeFileFrame> frames;
};

struct CodeFileUnit {
    std::string name;       // empty when the format names none (the importer names it)
    int line = 0;
    int32_t carrierHz = 0;  // 0 when the file gives none
};

class CodeFileSink {
public:
    virtual ~CodeFileSink() = default;
    // A unit begins; the keys that follow belong to it. Every format gives
    // at least one unit before its first key.
    virtual void BeginUnit(const CodeFileUnit& unit) = 0;
    virtual void AddKey(const CodeFileKey& key) = 0;
    // A sound part of the file that cannot be imported (a signal of a
    // protocol no encoder here knows, a remote of an encoding LIRC itself
    // does not send): `what` names it, `reason` says why.
    virtual void Skip(int line, const std::string& what, const std::string& reason) = 0;
    // Bad input: the file is not what its format says. An importer stores
    // nothing of a file that reported one.
    virtual void Error(int line, const std::string& message) = 0;
};

// The formats with their readers and writers are listed in
// CodeFileFormats.h. CSV is written only.
enum class CodeFileFormat { Unknown, Lircd, Mode2, Durations, Pronto, IrSignals, Keymap, Csv };

// "lircd.conf", "mode2", "durations", "Pronto hex", ".ir", "keymap", "CSV";
// "unknown".
const char* CodeFileFormatName(CodeFileFormat format);

// The format of a text by its content: the first line that is neither blank
// nor a comment decides ("begin remote", "Filetype: IR signals file",
// "pulse N", a row of four-digit hex words beginning 0000 or 0100 or a
// "name:" prefix, a row of numbers, "[[protocols]]"), as the format
// table's entries claim it. Text with a NUL byte or other control
// characters is no code file.
CodeFileFormat DetectCodeFileFormat(std::string_view text);

// The readers. Each takes the whole text and reports through the sink.
// Lines count from 1.
void ReadLircdConf(std::string_view text, CodeFileSink& sink);
void ReadMode2CodeFile(std::string_view text, CodeFileSink& sink);
void ReadDurationsCodeFile(std::string_view text, CodeFileSink& sink);
void ReadProntoList(std::string_view text, CodeFileSink& sink);
void ReadIrSignals(std::string_view text, CodeFileSink& sink);
// ReadKeymap is in Keymap.h.

// Detects the format and runs its reader; a text in none of the formats is
// one Error on the line that decided. Returns the format found.
CodeFileFormat ReadCodeFileText(std::string_view text, CodeFileSink& sink);

// The largest file read: far above any remote collection, far below what
// would strain the memory of the expanded keys.
inline constexpr std::uintmax_t MaxCodeFileBytes = 16u << 20;

// Reads a file (at most MaxCodeFileBytes) and its codes. False with a
// message naming the file when it cannot be read or is too large; what the
// readers report goes to the sink.
bool ReadCodeFile(const std::string& path, CodeFileSink& sink, CodeFileFormat& format, std::string& error);

// ---- What the readers and writers share ------------------------------------

// A duration longer than this is no part of an IR signal.
inline constexpr int32_t MaxSignalDurationUs = 10'000'000;
// The silence a writer puts after a key's last frame, whose own gap is not
// kept: long enough for every receiver to end the frame.
inline constexpr int32_t TrailingGapUs = 100'000;

// Whether a duration read from a file may stand in a signal: 1 µs .. 10 s.
// Otherwise false with a message naming the value.
bool CheckSignalDuration(int64_t us, std::string& error);

// A signal as a receiver cuts it: frames end at the first space longer than
// 10200 µs, whose length becomes part of the next frame's period; a
// trailing space is dropped. `period` is the first frame's period.
std::vector<CodeFileFrame> CutSignal(const std::vector<int32_t>& durations, int32_t period = 0);

// A key's frames as one signal: each frame followed by the silence up to
// the next one's start (at least 1 µs), the last without its gap.
std::vector<int32_t> JoinFrames(const std::vector<CodeFileFrame>& frames);

// A collecting sink for tests, tools and fuzz targets: units with their
// keys, skips and errors as "line N: message".
class CodeFileCollector : public CodeFileSink {
public:
    struct Unit {
        CodeFileUnit unit;
        std::vector<CodeFileKey> keys;
    };
    std::vector<Unit> units;
    std::vector<std::string> skipped;
    std::vector<std::string> errors;

    void BeginUnit(const CodeFileUnit& unit) override { units.push_back({unit, {}}); }
    void AddKey(const CodeFileKey& key) override;
    void Skip(int line, const std::string& what, const std::string& reason) override;
    void Error(int line, const std::string& message) override;
};

}  // namespace tovanel
