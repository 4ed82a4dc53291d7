#include "tools/analyze/FirstBurst.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "capture/EdgeDetector.h"
#include "capture/FrameAssembler.h"
#include "database/CodeText.h"
#include "capture/TextInput.h"
#include "tools/analyze/WavInput.h"

namespace tovanel {

namespace {

bool ReadText(std::istream& in, InputFormat format, Recording& out, std::string& error) {
    int bad = 0;
    bool ended = false;  // the first burst is complete
    InputHandlers handlers{
        [&](const InputFrame& f) {
            if (ended || (f.newBurst && !out.frames.empty())) {
                ended = true;
                return;
            }
            out.frames.push_back({out.frames.empty() ? 0 : f.gap, f.durations, {}});
        },
        [&](int line, const std::string& message) {
            if (bad++ == 0) error = "line " + std::to_string(line) + ": " + message;
        }};
    if (format == InputFormat::Mode2)
        ReadMode2Text(in, handlers);
    else
        ReadDurationsText(in, handlers);
    if (bad > 1) error += " (and " + std::to_string(bad - 1) + " more bad lines)";
    return bad == 0;
}

bool ReadWavBurst(std::istream& in, int32_t pulseTime, int32_t pulseLevel, Recording& out, std::string& error) {
    std::vector<int16_t> samples;
    if (!ReadWav(in, samples, error)) return false;
    bool ended = false;
    EdgeDetector detector([&](uint32_t gap, const int32_t* d, int32_t n, const int16_t* s, int32_t sc) {
        if (ended || n < 1) return;
        // A pause longer than the burst pause starts the next key press.
        if (!out.frames.empty() && gap > uint64_t{BurstPauseMs} * 1000) {
            ended = true;
            return;
        }
        RecordedFrame f;
        f.gap = out.frames.empty() ? 0 : std::min(gap, UnknownGap - 1);
        f.durations.assign(d, d + n);
        if (s != nullptr && sc > 0) f.samples.assign(s, s + sc);
        out.frames.push_back(std::move(f));
    });
    detector.SetPulseTime(pulseTime);
    detector.SetPulseLevel(pulseLevel);
    detector.DetectEdges(samples.data(), samples.size() * sizeof(int16_t));
    // The silence that ends the last frame may lie beyond the end of the file.
    const std::vector<int16_t> silence(EdgeDetector::SilenceSamples + 10,
                                       samples.empty() ? int16_t{0} : samples.back());
    detector.DetectEdges(silence.data(), silence.size() * sizeof(int16_t));
    return true;
}

// Code texts of the first burst as the frames a receiver would have
// delivered: each text's period is the time from the previous frame's start,
// so the pause before a frame is that period less the previous frame.
bool ReadCodeTextBurst(std::istream& in, Recording& out, std::string& error) {
    auto frame = std::make_unique<CodeFrame>();
    int64_t previousTotal = 0;
    bool ended = false;
    ReadCodeTextLines(in, [&](const CodeTextLine& line) {
        if (ended || (line.newBurst && !out.frames.empty()) || out.frames.size() >= SlotCount) {
            ended = ended || line.newBurst;
            return;
        }
        ClearFrame(*frame);
        ParseCodeText(line.text, *frame);
        if (frame->Count < 1) return;  // a text too short to hold a frame
        RecordedFrame f;
        if (!out.frames.empty())
            f.gap = static_cast<uint32_t>(std::clamp<int64_t>(int64_t{frame->Period} - previousTotal, 0, UnknownGap - 1));
        f.durations.assign(frame->Durations, frame->Durations + frame->Count);
        previousTotal = 0;
        for (int32_t d : f.durations) previousTotal += d;
        out.frames.push_back(std::move(f));
    });
    if (out.frames.empty()) error = "no code text holds a frame";
    return !out.frames.empty();
}

// Code texts of the first burst, each analysed in the next slot with its
// own period.
int AnalyzeCodeTexts(std::istream& in, const DecodeSettings& settings, FrameBuffer& buffer) {
    int texts = 0;
    bool ended = false;
    ReadCodeTextLines(in, [&](const CodeTextLine& line) {
        if (ended || (line.newBurst && texts > 0)) {
            ended = true;
            return;
        }
        if (buffer.FillCount >= SlotCount) return;
        const int32_t slot = buffer.FillCount;
        ClearFrame(buffer.Slots[slot]);
        AnalyzeCodeText(line.text, slot, settings.ForcedModulation, settings.ForcedProtocol, settings,
                        buffer.Slots[slot]);
        buffer.FillCount = slot + 1;
        ++texts;
    });
    return texts;
}

}  // namespace

bool ReadFirstBurst(std::istream& in, InputFormat format, int32_t pulseTime, int32_t pulseLevel, Recording& out,
                    std::string& error) {
    out.frames.clear();
    const bool ok = format == InputFormat::Wav        ? ReadWavBurst(in, pulseTime, pulseLevel, out, error)
                    : format == InputFormat::CodeText ? ReadCodeTextBurst(in, out, error)
                                                      : ReadText(in, format, out, error);
    if (!ok) out.frames.clear();
    return ok;
}

bool AnalyzeFirstBurst(std::istream& in, const std::string& name, InputFormat format, const DecodeSettings& settings,
                       int32_t pulseTime, int32_t pulseLevel, FrameBuffer& buffer, std::string& error) {
    ResetFrameBuffer(buffer);
    if (format == InputFormat::CodeText) {
        if (AnalyzeCodeTexts(in, settings, buffer) > 0) return true;
        error = name + " holds no code text";
        return false;
    }
    Recording recording;
    std::string reason;
    if (!ReadFirstBurst(in, format, pulseTime, pulseLevel, recording, reason)) {
        error = name + ": " + reason;
        return false;
    }
    if (recording.frames.empty()) {
        error = name + " holds no IR frame";
        return false;
    }
    // A buffer and assembler of its own, on a clock that stands still: the
    // recorded gaps alone give the periods, and the frames stay one burst.
    auto shared = std::make_unique<SharedFrameBuffer>();
    SharedDecodeSettings sharedSettings;
    sharedSettings.Set(settings);
    FrameAssembler assembler(*shared, sharedSettings, [] { return uint32_t{BurstPauseMs + 1}; });
    for (const RecordedFrame& f : recording.frames) {
        const auto count =
            static_cast<int32_t>(std::min<size_t>(f.durations.size(), std::numeric_limits<int32_t>::max()));
        assembler.SubmitFrame(f.gap, f.durations.data(), count, f.samples.empty() ? nullptr : f.samples.data(),
                              static_cast<int32_t>(f.samples.size()));
    }
    shared->CopyTo(buffer);
    return true;
}

}  // namespace tovanel
