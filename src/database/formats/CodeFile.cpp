#include "database/formats/CodeFile.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "capture/FrameCutter.h"
#include "database/formats/CodeFileFormats.h"
#include "database/formats/TextScan.h"

namespace tovanel {

using namespace codefile;

const char* CodeFileFormatName(CodeFileFormat format) {
    const CodeFileFormatEntry* entry = FindCodeFileFormat(format);
    return entry != nullptr ? entry->name : "unknown";
}

namespace {

// Text of a code file: no NUL and no control characters but the
// whitespace ones. Bytes above 127 are allowed (UTF-8 names).
bool LooksLikeText(std::string_view text) {
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c < 32 && c != '\n' && c != '\r' && c != '\t' && c != '\f' && c != '\v') || c == 127) return false;
    }
    return true;
}

const CodeFileFormatEntry* EntryOfLine(std::string_view line) {
    for (const CodeFileFormatEntry& e : CodeFileFormats())
        if (e.claims != nullptr && e.read != nullptr && e.claims(line)) return &e;
    return nullptr;
}

// "neither lircd.conf, mode2, ... nor .ir": the formats that are read.
std::string ReadFormatNames() {
    std::vector<const char*> names;
    for (const CodeFileFormatEntry& e : CodeFileFormats())
        if (e.read != nullptr) names.push_back(e.name);
    std::string s = "neither ";
    for (size_t k = 0; k < names.size(); ++k)
        s += std::string(k == 0 ? "" : k + 1 == names.size() ? " nor " : ", ") + names[k];
    return s;
}

}  // namespace

CodeFileFormat DetectCodeFileFormat(std::string_view text) {
    if (!LooksLikeText(text)) return CodeFileFormat::Unknown;
    LineReader lines(text);
    std::string_view line;
    while (lines.Next(line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        const CodeFileFormatEntry* entry = EntryOfLine(line);
        return entry != nullptr ? entry->format : CodeFileFormat::Unknown;
    }
    return CodeFileFormat::Unknown;
}

CodeFileFormat ReadCodeFileText(std::string_view text, CodeFileSink& sink) {
    const CodeFileFormat format = DetectCodeFileFormat(text);
    if (const CodeFileFormatEntry* entry = FindCodeFileFormat(format); entry != nullptr && entry->read != nullptr) {
        entry->read(text, sink);
        return format;
    }
    // Name the line that decided: the first byte that is no text, or the
    // first line that is neither blank nor a comment.
    int lineNo = 1;
    LineReader lines(text);
    std::string_view line;
    while (lines.Next(line)) {
        const std::string_view t = Trim(line);
        if (!LooksLikeText(line) || (!t.empty() && t[0] != '#')) {
            lineNo = lines.Number();
            break;
        }
    }
    sink.Error(lineNo, text.empty() || lineNo == 0 ? "the file is empty" : "not a code file: " + ReadFormatNames());
    return CodeFileFormat::Unknown;
}

bool ReadCodeFile(const std::string& path, CodeFileSink& sink, CodeFileFormat& format, std::string& error) {
    format = CodeFileFormat::Unknown;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = path + ": " + (ec ? ec.message() : std::string("not a regular file"));
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = path + ": " + ec.message();
        return false;
    }
    if (size > MaxCodeFileBytes) {
        error = path + ": " + std::to_string(size) + " bytes; a code file is read up to " +
                std::to_string(MaxCodeFileBytes >> 20) + " MiB";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<size_t>(size), '\0');
    // Read at most what the size promised, so a file that grows meanwhile
    // cannot take more memory.
    if (!in || !in.read(text.data(), static_cast<std::streamsize>(size))) {
        error = path + ": cannot be read";
        return false;
    }
    format = ReadCodeFileText(text, sink);
    return true;
}

bool CheckSignalDuration(int64_t us, std::string& error) {
    if (us >= 1 && us <= MaxSignalDurationUs) return true;
    error = us <= 0 ? "a duration of " + std::to_string(us) + " µs"
                    : "a duration of " + std::to_string(us) + " µs, longer than 10 s";
    return false;
}

std::vector<CodeFileFrame> CutSignal(const std::vector<int32_t>& durations, int32_t period) {
    std::vector<CodeFileFrame> frames;
    CodeFileFrame frame{period, {}};
    int64_t length = 0;
    for (size_t i = 0; i < durations.size(); ++i) {
        const bool space = i % 2 == 1;
        if (space && static_cast<uint32_t>(durations[i]) >= FrameCutter::FrameEndInterval) {
            if (!frame.durations.empty()) frames.push_back(std::move(frame));
            const int64_t next = length + durations[i];
            frame = CodeFileFrame{static_cast<int32_t>(std::min<int64_t>(next, INT32_MAX)), {}};
            length = 0;
            continue;
        }
        frame.durations.push_back(durations[i]);
        length += durations[i];
    }
    if (!frame.durations.empty() && frame.durations.size() % 2 == 0) frame.durations.pop_back();
    if (!frame.durations.empty()) frames.push_back(std::move(frame));
    return frames;
}

std::vector<int32_t> JoinFrames(const std::vector<CodeFileFrame>& frames) {
    std::vector<int32_t> signal;
    int64_t previousLength = 0;
    for (size_t f = 0; f < frames.size(); ++f) {
        const std::vector<int32_t>& d = frames[f].durations;
        if (d.empty()) continue;
        if (!signal.empty()) {
            // A frame ends with a mark; one that ended with a space already
            // holds part of the gap.
            const int64_t gap = std::max<int64_t>(1, frames[f].period - previousLength);
            if (signal.size() % 2 == 1)
                signal.push_back(static_cast<int32_t>(std::min<int64_t>(gap, INT32_MAX)));
            else
                signal.back() = static_cast<int32_t>(std::min<int64_t>(int64_t{signal.back()} + gap, INT32_MAX));
        }
        previousLength = 0;
        for (int32_t v : d) previousLength += v;
        signal.insert(signal.end(), d.begin(), d.end());
    }
    if (!signal.empty() && signal.size() % 2 == 0) signal.pop_back();
    return signal;
}

void CodeFileCollector::AddKey(const CodeFileKey& key) {
    if (units.empty()) units.push_back({});
    units.back().keys.push_back(key);
}

void CodeFileCollector::Skip(int line, const std::string& what, const std::string& reason) {
    skipped.push_back("line " + std::to_string(line) + ": " + what + ": " + reason);
}

void CodeFileCollector::Error(int line, const std::string& message) {
    errors.push_back("line " + std::to_string(line) + ": " + message);
}

}  // namespace tovanel
