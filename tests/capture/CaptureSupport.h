// What the capture tests share: a recorder of the frames and messages a
// capture path hands on, safe to fill from worker threads and to wait on,
// and counts of the process's open files and threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "capture/CaptureSink.h"

namespace tovanel::test {

struct SinkFrame {
    uint32_t gap;
    std::vector<int32_t> durations;
    std::vector<int16_t> samples;
};

// Hang guard for waits on worker threads; never a timing assertion.
inline constexpr auto HangGuard = std::chrono::seconds(20);

class Recorder {
public:
    CaptureSinks Sinks() {
        CaptureSinks s;
        s.frame = [this](uint32_t gap, const int32_t* d, int32_t n, const int16_t* smp, int32_t sc) {
            std::lock_guard lock(mutex_);
            frames_.push_back({gap, std::vector<int32_t>(d, d + n),
                               smp ? std::vector<int16_t>(smp, smp + sc) : std::vector<int16_t>{}});
            cv_.notify_all();
        };
        s.error = [this](const std::string& m) {
            std::lock_guard lock(mutex_);
            errors_.push_back(m);
            cv_.notify_all();
        };
        s.lost = [this] {
            std::lock_guard lock(mutex_);
            ++lost_;
            cv_.notify_all();
        };
        return s;
    }
    FrameSink Frames() { return Sinks().frame; }

    bool WaitFrames(size_t n) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, HangGuard, [&] { return frames_.size() >= n; });
    }
    bool WaitLost() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, HangGuard, [&] { return lost_ > 0; });
    }
    std::vector<SinkFrame> FramesSoFar() {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::vector<std::string> Errors() {
        std::lock_guard lock(mutex_);
        return errors_;
    }
    int Lost() {
        std::lock_guard lock(mutex_);
        return lost_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<SinkFrame> frames_;
    std::vector<std::string> errors_;
    int lost_ = 0;
};

inline size_t CountEntries(const char* dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

// Open files and threads of this process, to show that a failed start or a
// stop leaves nothing behind.
struct Resources {
    size_t files = CountEntries("/proc/self/fd");
    size_t threads = CountEntries("/proc/self/task");
    bool operator==(const Resources&) const = default;
};

}  // namespace tovanel::test
