// Captures as code files: mode2 text (`mode2`, `ir-ctl -r --mode2`) and
// our durations text (with `ir-ctl -r` lines). One key per burst, named
// "Key 1", "Key 2", ... unless a "# name: NAME" comment before the burst
// names it.
#include <istream>
#include <streambuf>

#include "capture/TextInput.h"
#include "database/formats/CodeFile.h"
#include "database/formats/TextScan.h"

namespace tovanel {

using namespace codefile;

namespace {

// An input stream over text that is already in memory.
class ViewBuffer : public std::streambuf {
public:
    explicit ViewBuffer(std::string_view text) {
        char* p = const_cast<char*>(text.data());
        setg(p, p, p + text.size());
    }
};

class BurstCollector {
public:
    BurstCollector(CodeFileSink& sink, int32_t carrierHz) : sink_(sink), carrierHz_(carrierHz) {}

    InputHandlers Handlers() {
        return {[this](const InputFrame& f) { Frame(f); },
                [this](int line, const std::string& message) { sink_.Error(line, message); },
                [this](int line, const std::string& text) { Comment(line, text); }};
    }

    void Finish() { Flush(); }

private:
    void Comment(int line, const std::string& text) {
        const std::string_view t = Trim(text);
        if (!StartsWith(t, "name:")) return;
        names_.push_back({line, std::string(Trim(t.substr(5)))});
    }

    void Frame(const InputFrame& f) {
        if (f.newBurst) Flush();
        std::string why;
        for (int32_t d : f.durations)
            if (!CheckSignalDuration(d, why)) return sink_.Error(f.line, why);
        if (key_.frames.empty()) {
            key_.line = f.line;
            key_.frames.push_back({0, f.durations});
        } else {
            // The gap runs from the previous frame's last mark to this one's start.
            int64_t previous = 0;
            for (int32_t d : key_.frames.back().durations) previous += d;
            if (key_.frames.back().durations.size() % 2 == 0) previous -= key_.frames.back().durations.back();
            key_.frames.push_back({static_cast<int32_t>(std::min<int64_t>(previous + f.gap, INT32_MAX)), f.durations});
        }
    }

    void Flush() {
        if (key_.frames.empty()) return;
        for (CodeFileFrame& frame : key_.frames)
            if (frame.durations.size() % 2 == 0) frame.durations.pop_back();  // the gap, not part of the frame
        ++number_;
        key_.name = "Key " + std::to_string(number_);
        // The last name comment between the previous burst and this one.
        while (nameAt_ < names_.size() && names_[nameAt_].first < key_.line) {
            if (names_[nameAt_].first > previousLine_ && !names_[nameAt_].second.empty())
                key_.name = names_[nameAt_].second;
            ++nameAt_;
        }
        previousLine_ = key_.line;
        if (!unitBegun_) sink_.BeginUnit({"", 1, carrierHz_});
        unitBegun_ = true;
        sink_.AddKey(key_);
        key_ = CodeFileKey{};
    }

    CodeFileSink& sink_;
    int32_t carrierHz_;
    CodeFileKey key_;
    std::vector<std::pair<int, std::string>> names_;
    size_t nameAt_ = 0;
    int previousLine_ = 0;
    int number_ = 0;
    bool unitBegun_ = false;
};

template <typename Reader>
void ReadCapture(std::string_view text, CodeFileSink& sink, Reader read, int32_t carrierHz) {
    ViewBuffer buffer(text);
    std::istream in(&buffer);
    BurstCollector bursts(sink, carrierHz);
    read(in, bursts.Handlers());
    bursts.Finish();
}

}  // namespace

void ReadMode2CodeFile(std::string_view text, CodeFileSink& sink) {
    // The carrier a file names ("carrier 38000", as `ir-ctl -r --mode2 -m`
    // and our export write it) becomes the unit's. A pulse above 10 s is no
    // signal; the frame cutter would take it for a pause, so it is named
    // here. (A space that long is a pause between key presses.)
    int32_t carrier = 0;
    LineReader lines(text);
    std::string_view line;
    while (lines.Next(line)) {
        const std::vector<std::string_view> t = Tokens(line);
        uint64_t v = 0;
        if (t.size() != 2 || !ParseNumber(t[1], v)) continue;
        if (t[0] == "carrier" && carrier == 0 && v > 0 && v <= 1'000'000) carrier = static_cast<int32_t>(v);
        std::string why;
        if (t[0] == "pulse" && v > static_cast<uint64_t>(MaxSignalDurationUs) &&
            !CheckSignalDuration(static_cast<int64_t>(std::min<uint64_t>(v, INT64_MAX)), why))
            sink.Error(lines.Number(), why);
    }
    ReadCapture(text, sink, ReadMode2Text, carrier);
}

void ReadDurationsCodeFile(std::string_view text, CodeFileSink& sink) {
    ReadCapture(text, sink, ReadDurationsText, 0);
}

}  // namespace tovanel
