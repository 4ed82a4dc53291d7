#include "database/CodeText.h"

#include "analysis/Analyzer.h"

namespace tovanel {

namespace {

// Code points of a UTF-16 text; a lone surrogate stands for itself.
class Utf16Reader {
public:
    explicit Utf16Reader(std::u16string_view s) : s_(s) {}
    bool Next(char32_t& c) {
        if (i_ >= s_.size()) return false;
        const char16_t u = s_[i_++];
        if (u >= 0xD800 && u < 0xDC00 && i_ < s_.size() && s_[i_] >= 0xDC00 && s_[i_] < 0xE000) {
            c = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(s_[i_++]) - 0xDC00);
            return true;
        }
        c = u;
        return true;
    }

private:
    std::u16string_view s_;
    size_t i_ = 0;
};

// Code points of a UTF-8 text; a byte that does not start a well-formed
// sequence stands for itself.
class Utf8Reader {
public:
    explicit Utf8Reader(std::string_view s) : s_(s) {}
    bool Next(char32_t& c) {
        if (i_ >= s_.size()) return false;
        const unsigned char b = static_cast<unsigned char>(s_[i_]);
        int extra = 0;
        char32_t value = b;
        char32_t minimum = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1, value = b & 0x1F, minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2, value = b & 0x0F, minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3, value = b & 0x07, minimum = 0x10000;
        }
        if (extra > 0 && i_ + extra < s_.size()) {
            char32_t cp = value;
            bool ok = true;
            for (int k = 1; k <= extra && ok; ++k) {
                const unsigned char t = static_cast<unsigned char>(s_[i_ + k]);
                ok = (t & 0xC0) == 0x80;
                cp = (cp << 6) | (t & 0x3F);
            }
            if (ok && cp >= minimum && cp <= 0x10FFFF && !(cp >= 0xD800 && cp < 0xE000)) {
                i_ += extra + 1;
                c = cp;
                return true;
            }
        }
        ++i_;
        c = b;
        return true;
    }

private:
    std::string_view s_;
    size_t i_ = 0;
};

template <typename Reader>
void Parse(Reader reader, CodeFrame& frame) {
    int32_t values[MaxCodeTextValues];
    int n = 0;
    char32_t first = 0, second = 0;
    while (n < MaxCodeTextValues && reader.Next(first) && reader.Next(second))
        values[n++] = CodeTextPairValue(first, second);

    frame.SampleCount = 0;
    if (n < 2) {
        frame.Period = 0;
        frame.Count = 0;
        return;
    }
    frame.Period = values[0] * 1000;
    frame.Count = n - 1;
    for (int i = 1; i < n; ++i) frame.Durations[i - 1] = values[i];
}

void AppendValue(std::string& text, int64_t x) {
    // Smallest exponent whose rounded mantissa fits: below 2304 exact, then
    // steps of 2, 4 and 8, each rounded half up.
    int32_t m = 0, e = 0;
    if (x > 0) {
        if (x > MaxCodeTextValue) x = MaxCodeTextValue;
        for (e = 0; e < 4; ++e) {
            const int64_t rounded = (x + ((int64_t{1} << e) >> 1)) >> e;
            if (rounded <= 2303) {
                m = static_cast<int32_t>(rounded);
                break;
            }
        }
    }
    const int32_t v = 4 * m + e;
    text += static_cast<char>(32 + v / 96);
    text += static_cast<char>(32 + v % 96);
}

}  // namespace

int32_t NearestCodeTextValue(int64_t x) {
    std::string pair;
    AppendValue(pair, x);
    return CodeTextPairValue(static_cast<unsigned char>(pair[0]), static_cast<unsigned char>(pair[1]));
}

void ParseCodeText(std::u16string_view text, CodeFrame& frame) { Parse(Utf16Reader(text), frame); }

void ParseCodeText(std::string_view utf8, CodeFrame& frame) { Parse(Utf8Reader(utf8), frame); }

bool FormatCodeText(const CodeFrame& frame, std::string& text, std::string* error) {
    text.clear();
    if (frame.Count <= 0) return true;
    if (frame.Count > MaxCodeTextDurations) {
        if (error != nullptr)
            *error = "The frame has " + std::to_string(frame.Count) +
                     " durations; a stored frame holds at most " +
                     std::to_string(MaxCodeTextDurations);
        return false;
    }
    text.reserve(2 * (frame.Count + 1));
    const int64_t periodMs = frame.Period > 0 ? (int64_t{frame.Period} + 500) / 1000 : 0;
    AppendValue(text, periodMs);
    for (int32_t i = 0; i < frame.Count; ++i) AppendValue(text, frame.Durations[i]);
    return true;
}

namespace {

template <typename Text>
bool AnalyzeText(Text text, int32_t slot, int32_t forcedModulation, int32_t forcedProtocol,
                 const DecodeSettings& layout, CodeFrame& f) {
    ParseCodeText(text, f);
    f.SlotIndex = slot;
    // Total, no flags, and nothing of the slot's earlier frame past Count.
    PrepareFrameInput(f);
    return AnalyzeFrame(f, forcedModulation, forcedProtocol, layout);
}

}  // namespace

bool AnalyzeCodeText(std::u16string_view text, int32_t slot, int32_t forcedModulation,
                     int32_t forcedProtocol, const DecodeSettings& layout, CodeFrame& frame) {
    return AnalyzeText(text, slot, forcedModulation, forcedProtocol, layout, frame);
}

bool AnalyzeCodeText(std::string_view utf8, int32_t slot, int32_t forcedModulation,
                     int32_t forcedProtocol, const DecodeSettings& layout, CodeFrame& frame) {
    return AnalyzeText(utf8, slot, forcedModulation, forcedProtocol, layout, frame);
}

std::array<bool, SlotCount> LoadCodeTextsIntoBuffer(const std::array<std::u16string_view, 4>& codes,
                                                    int32_t forcedModulation, int32_t forcedProtocol,
                                                    const DecodeSettings& layout, FrameBuffer& buffer) {
    std::array<bool, SlotCount> decoded{};
    for (int s = 0; s < 4; ++s)
        decoded[s] = AnalyzeCodeText(codes[s], s, forcedModulation, forcedProtocol, layout, buffer.Slots[s]);
    for (int s = 4; s < SlotCount; ++s) {
        CodeFrame& f = buffer.Slots[s];
        f.Count = 0;
        f.SampleCount = 0;
        f.SlotIndex = s;
        PrepareFrameInput(f);
        decoded[s] = AnalyzeFrame(f, forcedModulation, forcedProtocol, layout);
    }
    return decoded;
}

}  // namespace tovanel
