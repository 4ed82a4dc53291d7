#include "capture/TextInput.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <sstream>
#include <string_view>

#include "capture/FrameAssembler.h"
#include "capture/FrameCutter.h"
#include "capture/Setup/Quoting.h"

namespace tovanel {

namespace {

constexpr int64_t BurstGapUs = int64_t{BurstPauseMs} * 1000;

// The text before '#', handing the comment after it on; `hadComment` says
// whether there was one.
std::string_view StripComment(std::string_view line, int lineNo, const InputHandlers& out, bool& hadComment) {
    const size_t hash = line.find('#');
    hadComment = hash != std::string_view::npos;
    if (!hadComment) return line;
    if (out.comment) out.comment(lineNo, std::string(line.substr(hash + 1)));
    return line.substr(0, hash);
}

// Whitespace as the C locale has it, and commas.
bool IsSeparator(char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == ','; }

// Splits into `tokens` (views into `text`), reusing its storage.
void SplitTokens(std::string_view text, std::vector<std::string_view>& tokens) {
    tokens.clear();
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSeparator(text[i])) ++i;
        const size_t start = i;
        while (i < text.size() && !IsSeparator(text[i])) ++i;
        if (i > start) tokens.push_back(text.substr(start, i - start));
    }
}

// The lines of a stream, as std::getline splits them ('\n' ends a line; a
// last line without one is a line too), read from its buffer a block at a
// time instead of a line at a time: a mode2 stream is a line per duration.
// It never waits for more than one read: a pipe from a live program hands
// on each line as it comes. A line stays valid until the next call.
class StreamLines {
public:
    explicit StreamLines(std::istream& in) : in_(in) {}

    bool Next(std::string_view& line) {
        for (;;) {
            const char* const data = buffer_.data();
            if (const void* nl = std::memchr(data + scanned_, '\n', buffer_.size() - scanned_)) {
                const auto end = static_cast<size_t>(static_cast<const char*>(nl) - data);
                line = std::string_view(data + start_, end - start_);
                start_ = scanned_ = end + 1;
                return true;
            }
            scanned_ = buffer_.size();
            if (ended_ || !Fill()) {
                ended_ = true;
                // After a failure the rest is cut short: no line.
                if (start_ == buffer_.size() || in_.bad()) return false;
                line = std::string_view(buffer_.data() + start_, buffer_.size() - start_);
                start_ = scanned_ = buffer_.size();
                return true;
            }
        }
    }

private:
    // Appends what the stream has ready, waiting only when it has nothing;
    // false at its end or on an error, which the stream's state then says.
    bool Fill() {
        buffer_.erase(0, start_);
        scanned_ -= start_;
        start_ = 0;
        std::streambuf* const source = in_.rdbuf();
        if (source == nullptr || !in_.good()) return false;
        if (in_.tie() != nullptr) in_.tie()->flush();
        try {
            if (std::char_traits<char>::eq_int_type(source->sgetc(), std::char_traits<char>::eof())) {
                in_.setstate(std::ios::eofbit);
                return false;
            }
            const std::streamsize ready = std::clamp<std::streamsize>(source->in_avail(), 1, BlockSize);
            const size_t old = buffer_.size();
            buffer_.resize(old + static_cast<size_t>(ready));
            const std::streamsize got = source->sgetn(buffer_.data() + old, ready);
            buffer_.resize(old + static_cast<size_t>(std::max<std::streamsize>(got, 0)));
            return got > 0;
        } catch (...) {
            in_.setstate(std::ios::badbit);
            return false;
        }
    }

    static constexpr std::streamsize BlockSize = 1 << 16;
    std::istream& in_;
    std::string buffer_;
    size_t start_ = 0;    // where the next line begins
    size_t scanned_ = 0;  // the buffer before it holds no line break after start_
    bool ended_ = false;
};

uint32_t ClampGap(int64_t gap) {
    if (gap < 0) return 0;
    return gap >= UnknownGap ? UnknownGap - 1 : static_cast<uint32_t>(gap);
}

}  // namespace

bool ParseDuration(std::string_view token, int32_t& value, std::string& error) {
    size_t i = 0;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
    if (i == token.size()) {
        error = Quoted(token) + " is not a whole number";
        return false;
    }
    int64_t v = 0;
    for (; i < token.size(); ++i) {
        if (token[i] < '0' || token[i] > '9') {
            error = Quoted(token) + " is not a whole number";
            return false;
        }
        v = v * 10 + (token[i] - '0');
        if (v > std::numeric_limits<int32_t>::max()) {
            error = Quoted(token) + " is outside 0..2147483647";
            return false;
        }
    }
    value = static_cast<int32_t>(v);
    return true;
}

namespace {

bool Signed(std::string_view token) { return token[0] == '+' || token[0] == '-'; }

// An `ir-ctl -r` line: the number at an even position is a mark, at an odd
// one a space, and a sign, where given, must agree.
bool CheckSigns(const std::vector<std::string_view>& tokens, std::string& error) {
    for (size_t i = 0; i < tokens.size(); ++i) {
        const char expected = i % 2 == 0 ? '+' : '-';
        if (Signed(tokens[i]) && tokens[i][0] != expected) {
            error = Quoted(tokens[i]) + " should be a " + (i % 2 == 0 ? "mark (+)" : "space (-)") +
                    ": marks and spaces alternate, beginning with a mark";
            return false;
        }
    }
    return true;
}

// Cuts a recording into frames at spaces over 10200 µs. The first frame
// begins a burst; the space that ends a frame is the gap before the next,
// and the space that ends the last one goes with it.
void EmitRecording(const std::vector<int32_t>& values, int line, const InputHandlers& out, InputFrame& frame) {
    frame = InputFrame{true, 0, {}, line};
    for (size_t i = 0; i < values.size(); ++i) {
        const bool space = i % 2 == 1;
        if (space && static_cast<uint32_t>(values[i]) >= FrameCutter::FrameEndInterval) {
            if (out.frame) out.frame(frame);
            frame.newBurst = false;
            frame.gap = ClampGap(values[i]);
            frame.durations.clear();
            continue;
        }
        frame.durations.push_back(values[i]);
    }
    if (!frame.durations.empty() && out.frame) out.frame(frame);
}

// The common line, unsigned numbers between separators and nothing else,
// read in one pass into `values`. False for any other line (a blank line,
// a comment, signs, bad or too large numbers), which the general reading
// then takes, reports and explains.
bool ReadPlainLine(std::string_view line, std::vector<int32_t>& values) {
    values.clear();
    const char* p = line.data();
    const char* const end = p + line.size();
    for (;;) {
        while (p < end && IsSeparator(*p)) ++p;
        if (p == end) return !values.empty();
        int64_t v = 0;
        const char* const start = p;
        for (; p < end && *p >= '0' && *p <= '9'; ++p) {
            v = v * 10 + (*p - '0');
            if (v > std::numeric_limits<int32_t>::max()) return false;
        }
        if (p == start || (p < end && !IsSeparator(*p))) return false;
        values.push_back(static_cast<int32_t>(v));
    }
}

}  // namespace

void ReadDurationsText(std::istream& in, const InputHandlers& out) {
    StreamLines lines(in);
    std::string_view line;
    int lineNo = 0;
    bool newBurst = true;
    uint32_t gap = 0;
    // Kept across lines, so that a line costs no allocation.
    std::vector<std::string_view> tokens;
    std::vector<int32_t> values;
    InputFrame frame{true, 0, {}, 0};
    // One frame: the line's durations, its trailing space the next gap.
    auto emitFrame = [&](std::vector<int32_t>& durations) {
        frame.newBurst = newBurst;
        frame.gap = newBurst ? 0 : gap;
        frame.durations.swap(durations);
        frame.line = lineNo;
        gap = frame.durations.size() % 2 == 0 ? ClampGap(frame.durations.back()) : 0;
        newBurst = false;
        if (out.frame) out.frame(frame);
    };
    while (lines.Next(line)) {
        ++lineNo;
        if (ReadPlainLine(line, values)) {
            emitFrame(values);
            continue;
        }
        bool hadComment = false;
        SplitTokens(StripComment(line, lineNo, out, hadComment), tokens);
        if (tokens.empty()) {
            if (!hadComment) {  // a blank line ends the burst; a comment does not
                newBurst = true;
                gap = 0;
            }
            continue;
        }
        const bool recording = Signed(tokens[0]);
        values.clear();
        std::string error;
        bool ok = !recording || CheckSigns(tokens, error);
        for (size_t i = 0; ok && i < tokens.size(); ++i) {
            int32_t v = 0;
            ok = ParseDuration(tokens[i], v, error);
            values.push_back(v);
        }
        if (!ok) {
            if (out.error) out.error(lineNo, error);
            continue;
        }
        if (recording) {
            // A key press of its own: the next line begins another.
            EmitRecording(values, lineNo, out, frame);
            newBurst = true;
            gap = 0;
            continue;
        }
        emitFrame(values);
    }
}

void ReadCodeTextLines(std::istream& in, const std::function<void(const CodeTextLine&)>& out) {
    StreamLines lines(in);
    std::string_view line;
    int lineNo = 0;
    bool newBurst = true;
    while (lines.Next(line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) {
            newBurst = true;
            continue;
        }
        if (out) out(CodeTextLine{newBurst, std::string(line), lineNo});
        newBurst = false;
    }
}

namespace {

// Follows the time line of a mode2 stream and hands finished frames on with
// the silence before each, cutting bursts at long pauses.
class Mode2Timeline {
public:
    explicit Mode2Timeline(const InputHandlers& out)
        : out_(out), cutter_([this](uint32_t, const int32_t* d, int32_t n) { Finished(d, n); }) {}

    void Pulse(int32_t v, int line) {
        if (pendingTimeout_) now_ += *pendingTimeout_;
        pendingTimeout_.reset();
        if (!cutter_.Collecting()) startLine_ = line;
        cutter_.Push(static_cast<uint32_t>(v), true);
        now_ += v;
    }
    void Space(int32_t v) {
        pendingTimeout_.reset();  // the space after a time-out spans the whole pause
        cutter_.Push(static_cast<uint32_t>(v), false);
        now_ += v;
    }
    void Timeout(int32_t v) {
        cutter_.IdleTimeout();
        pendingTimeout_ = v;
    }
    void End() { cutter_.IdleTimeout(); }

private:
    void Finished(const int32_t* d, int32_t n) {
        // The cutter finishes a frame before the interval that ended it is
        // added to the time line, so now_ is the end of its last duration.
        int64_t sum = 0;
        for (int32_t i = 0; i < n; ++i) sum += d[i];
        const int64_t start = now_ - sum;
        const int64_t lastMarkEnd = n % 2 == 0 ? now_ - d[n - 1] : now_;
        const bool newBurst = !previousEnd_ || start - *previousEnd_ > BurstGapUs;
        frame_.newBurst = newBurst;
        frame_.gap = newBurst ? 0 : ClampGap(start - *previousEnd_);
        frame_.durations.assign(d, d + n);
        frame_.line = startLine_;
        previousEnd_ = lastMarkEnd;
        if (out_.frame) out_.frame(frame_);
    }

    const InputHandlers& out_;
    InputFrame frame_{true, 0, {}, 0};  // reused: a frame costs no allocation
    FrameCutter cutter_;
    int64_t now_ = 0;
    std::optional<int64_t> previousEnd_;
    std::optional<int32_t> pendingTimeout_;
    int startLine_ = 0;
};

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The common mode2 line, "pulse N" or "space N" with nothing else, read
// without splitting it: 'p' or 's' with the value, 0 for any other line,
// which the general reading then takes.
char ReadPlainMode2Line(std::string_view line, int32_t& value) {
    if (line.size() < 7 || line[5] != ' ') return 0;
    const std::string_view kind = line.substr(0, 5);
    if (kind != "pulse" && kind != "space") return 0;
    int64_t v = 0;
    for (const char c : line.substr(6)) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + (c - '0');
        if (v > std::numeric_limits<int32_t>::max()) return 0;
    }
    value = static_cast<int32_t>(v);
    return kind[0];
}

}  // namespace

void ReadMode2Text(std::istream& in, const InputHandlers& out) {
    Mode2Timeline timeline(out);
    StreamLines lines(in);
    std::string_view line;
    int lineNo = 0;
    std::vector<std::string_view> tokens;
    while (lines.Next(line)) {
        ++lineNo;
        int32_t plain = 0;
        if (const char kind = ReadPlainMode2Line(line, plain); kind == 'p') {
            timeline.Pulse(plain, lineNo);
            continue;
        } else if (kind == 's') {
            timeline.Space(plain);
            continue;
        }
        bool hadComment = false;
        SplitTokens(StripComment(line, lineNo, out, hadComment), tokens);
        if (tokens.empty()) continue;
        // What mode2 prints about the device it opened.
        if (StartsWith(tokens[0], "Using") || StartsWith(tokens[0], "Trying")) continue;
        const std::string_view kind = tokens[0];
        std::string error;
        int32_t v = 0;
        if (kind != "pulse" && kind != "space" && kind != "timeout" && kind != "carrier") {
            error = Quoted(kind) + " is not pulse, space or timeout";
        } else if (tokens.size() != 2) {
            error = Quoted(kind) + " needs exactly one value";
        } else if (tokens[1][0] == '-') {
            // mode2 values are lengths: a sign of its own is no mode2 at all.
            error = Quoted(tokens[1]) + " is negative";
        } else if (ParseDuration(tokens[1], v, error)) {
            if (kind == "pulse")
                timeline.Pulse(v, lineNo);
            else if (kind == "space")
                timeline.Space(v);
            else if (kind == "timeout")
                timeline.Timeout(v);
            continue;  // a carrier report carries no timing
        }
        if (out.error) out.error(lineNo, error);
    }
    timeline.End();
}

}  // namespace tovanel
