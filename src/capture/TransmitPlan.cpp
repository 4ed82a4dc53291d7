#include "capture/TransmitPlan.h"

#include <algorithm>
#include <charconv>
#include <memory>

#include "analysis/CodeFrame.h"
#include "database/CodeText.h"

namespace tovanel {

uint32_t CarrierHz(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    uint32_t kHz = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), kHz);
    // Whole kHz only; a column of three characters holds at most 999.
    if (ec != std::errc() || end != text.data() + text.size() || kHz == 0 || kHz > 999) return DefaultCarrierHz;
    return kHz * 1000;
}

std::vector<uint32_t> PulseWords(const int32_t* durations, int32_t count) {
    std::vector<uint32_t> words;
    for (int32_t i = 0; i < count; ++i) {
        if (durations[i] <= 0) continue;
        const auto d = static_cast<uint32_t>(durations[i]);
        const bool pulse = i % 2 == 0;
        const bool lastIsPulse = words.size() % 2 == 1;
        if (words.empty() && !pulse) continue;  // silence before the frame
        if (!words.empty() && lastIsPulse == pulse)
            words.back() += d;  // the zero between them left nothing
        else
            words.push_back(d);
    }
    if (words.size() % 2 == 0 && !words.empty()) words.pop_back();  // trailing silence
    return words;
}

std::vector<PlannedFrame> PlanItem(const TransmitItem& item) {
    std::vector<PlannedFrame> frames;
    auto frame = std::make_unique<CodeFrame>();
    uint64_t previousLength = 0;
    for (const std::string& code : item.codes) {
        ParseCodeText(code, *frame);
        PlannedFrame planned;
        planned.words = PulseWords(frame->Durations, frame->Count);
        if (planned.words.empty()) continue;
        if (!frames.empty()) {
            const int64_t silence = int64_t{frame->Period} - static_cast<int64_t>(previousLength);
            planned.silenceBeforeUs = static_cast<uint32_t>(std::max<int64_t>(silence, MinFrameSilenceUs));
        }
        previousLength = 0;
        for (uint32_t w : planned.words) previousLength += w;
        frames.push_back(std::move(planned));
    }
    if (!frames.empty())
        frames.front().silenceBeforeUs =
            frames.size() == 1 ? OneFrameRepeatSilenceUs : frames.back().silenceBeforeUs;
    return frames;
}

}  // namespace tovanel
