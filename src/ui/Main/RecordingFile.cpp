#include "ui/Main/RecordingFile.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "capture/FrameAssembler.h"

namespace tovanel {

namespace {

// The longest wait between two played frames: well inside the burst pause,
// so that a slow moment of the machine never splits the burst.
constexpr uint32_t MaxFrameWaitMs = 200;

std::string FirstWord(const std::string& head) {
    std::istringstream in(head);
    for (std::string line; std::getline(in, line);) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        std::string word;
        if (!(words >> word)) continue;
        if (word.rfind("Using", 0) == 0 || word.rfind("Trying", 0) == 0) continue;
        return word;
    }
    return {};
}

}  // namespace

InputFormat GuessRecordingFormat(const std::string& head) {
    if (head.size() >= 4 && head.compare(0, 4, "RIFF") == 0) return InputFormat::Wav;
    const std::string word = FirstWord(head);
    if (word == "pulse" || word == "space" || word == "timeout") return InputFormat::Mode2;
    // A durations list is numbers; a line of other printable characters is
    // a stored key's code text (as a database export holds them). Binary
    // junk stays with the durations reader, which says where it went wrong.
    const bool printable = std::none_of(head.begin(), head.end(), [](char c) {
        return static_cast<unsigned char>(c) < 32 && c != '\n' && c != '\r' && c != '\t';
    });
    if (printable && word.find_first_not_of("0123456789+-,") != std::string::npos) return InputFormat::CodeText;
    return InputFormat::Durations;
}

bool ReadRecording(const std::string& path, int32_t pulseTime, int32_t pulseLevel, Recording& out,
                   std::string& error) {
    out = Recording{};
    out.name = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "Cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    in.clear();
    in.seekg(0);

    std::string reason;
    if (!ReadFirstBurst(in, GuessRecordingFormat(head), pulseTime, pulseLevel, out, reason)) {
        error = path + " is not a recording of IR frames: " + reason;
        return false;
    }
    if (out.frames.empty()) {
        error = path + " holds no IR frame.";
        return false;
    }
    return true;
}

RecordingPlayer::RecordingPlayer(FrameSink sink) : sink_(std::move(sink)) {}

RecordingPlayer::~RecordingPlayer() { Stop(); }

void RecordingPlayer::Start(Recording recording) {
    Stop();
    stop_ = false;
    thread_ = std::thread([this, r = std::move(recording)] { Play(r); });
}

void RecordingPlayer::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void RecordingPlayer::Play(const Recording& recording) {
    for (const RecordedFrame& f : recording.frames) {
        int64_t waitMs = 0;
        if (&f != &recording.frames.front()) {
            int64_t total = 0;
            for (int32_t d : f.durations) total += d;
            waitMs = std::min<int64_t>((int64_t{f.gap} + total) / 1000, MaxFrameWaitMs);
        }
        {
            std::unique_lock lock(mutex_);
            if (cv_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return stop_; })) return;
        }
        const auto count = static_cast<int32_t>(f.durations.size());
        if (sink_)
            sink_(f.gap, f.durations.data(), count, f.samples.empty() ? nullptr : f.samples.data(),
                  static_cast<int32_t>(f.samples.size()));
    }
}

}  // namespace tovanel
