// Stand-ins for the operating system's devices, driven by the tests: a
// serial port whose line changes and clocks the test scripts, a data event
// whose time-outs the test fires, and sound and LIRC devices that deliver
// what the test hands them.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/ComCapture.h"
#include "capture/LircCapture.h"
#include "capture/SoundCapture.h"
#include "tests/capture/CaptureSupport.h"

namespace tovanel::test {

// ---- serial port -----------------------------------------------------------

struct PortScript {
    struct Step {
        uint32_t lines;
        int64_t counterNs;
        int64_t wallSeconds;
        bool gone = false;
    };

    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Step> changes;
    uint32_t lines = 0;
    int64_t counterNs = 0, wallSeconds = 1000;
    bool open = false, interrupted = false, blocked = false;
    bool failOpen = false, failPower = false, failRead = false;
    std::string openedPath;
    std::vector<bool> dtr;  // one entry per SetPower
    int opens = 0;

    void Change(uint32_t l, int64_t ns, int64_t wall, bool gone = false) {
        std::lock_guard lock(mutex);
        changes.push_back({l, ns, wall, gone});
        cv.notify_all();
    }
    // Waits until the edge thread took every change and waits again.
    bool WaitIdle() {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, HangGuard, [&] { return changes.empty() && blocked; });
    }
    ComClock Clock() {
        ComClock c;
        c.counter = [this] {
            std::lock_guard lock(mutex);
            return counterNs;
        };
        c.rate = 1000000000;
        c.wallSeconds = [this] {
            std::lock_guard lock(mutex);
            return wallSeconds;
        };
        return c;
    }
};

class FakePort final : public SerialPort {
public:
    explicit FakePort(std::shared_ptr<PortScript> s) : s_(std::move(s)) {}

    bool Open(const std::string& path) override {
        std::lock_guard lock(s_->mutex);
        s_->openedPath = path;
        if (s_->failOpen) return false;
        s_->open = true;
        s_->interrupted = false;
        ++s_->opens;
        return true;
    }
    bool IsOpen() const override {
        std::lock_guard lock(s_->mutex);
        return s_->open;
    }
    void Close() override {
        std::lock_guard lock(s_->mutex);
        s_->open = false;
    }
    bool SetPower(bool dtr) override {
        std::lock_guard lock(s_->mutex);
        s_->dtr.push_back(dtr);
        return !s_->failPower;
    }
    bool ReadLines(uint32_t& lines) override {
        std::lock_guard lock(s_->mutex);
        lines = s_->lines;
        return !s_->failRead;
    }
    Wait WaitForChange(ModemLine) override {
        std::unique_lock lock(s_->mutex);
        s_->blocked = true;
        s_->cv.notify_all();
        s_->cv.wait(lock, [&] { return s_->interrupted || !s_->changes.empty(); });
        s_->blocked = false;
        if (s_->interrupted) return Wait::Interrupted;
        const PortScript::Step c = s_->changes.front();
        s_->changes.pop_front();
        if (c.gone) return Wait::Gone;
        s_->lines = c.lines;
        s_->counterNs = c.counterNs;
        s_->wallSeconds = c.wallSeconds;
        return Wait::Changed;
    }
    void Interrupt() override {
        std::lock_guard lock(s_->mutex);
        s_->interrupted = true;
        s_->cv.notify_all();
    }
    std::string LastError() const override { return "fake failure"; }

private:
    std::shared_ptr<PortScript> s_;
};

// ---- data event ------------------------------------------------------------

struct EventScript {
    std::mutex mutex;
    std::condition_variable cv;
    bool set = false, waiting = false, failOpen = false;
    int timeouts = 0;

    // What the edge thread does after each push.
    void Set() {
        std::lock_guard lock(mutex);
        set = true;
        cv.notify_all();
    }
    // Lets one wait of the frame thread end by its time-out.
    void FireTimeout() {
        std::lock_guard lock(mutex);
        ++timeouts;
        cv.notify_all();
    }
    // Waits until the frame thread has nothing to do and waits.
    bool WaitIdle() {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, HangGuard, [&] { return waiting && !set && timeouts == 0; });
    }
};

class FakeEvent final : public DataEvent {
public:
    explicit FakeEvent(std::shared_ptr<EventScript> s) : s_(std::move(s)) {}
    bool Open() override { return !s_->failOpen; }
    void Close() override {}
    void Set() override {
        std::lock_guard lock(s_->mutex);
        s_->set = true;
        s_->cv.notify_all();
    }
    void Reset() override {
        std::lock_guard lock(s_->mutex);
        s_->set = false;
    }
    bool Wait(int) override {
        std::unique_lock lock(s_->mutex);
        s_->waiting = true;
        s_->cv.notify_all();
        s_->cv.wait(lock, [&] { return s_->set || s_->timeouts > 0; });
        s_->waiting = false;
        if (s_->set) return true;
        --s_->timeouts;
        return false;
    }

private:
    std::shared_ptr<EventScript> s_;
};

// ---- sound input -------------------------------------------------------------

struct AudioScript {
    std::mutex mutex;
    std::vector<std::string> devices{"Default input device", "Line In", "USB Microphone"};
    int openedIndex = -2;
    bool failOpen = false, failWatch = false, failStart = false;
    double rate = 48000;
    bool open = false, active = false;
    AudioInput::Samples samples;
    std::function<void()> ended;

    // Delivers samples as the audio layer's thread would.
    void Deliver(const std::vector<int16_t>& s, size_t piece) {
        AudioInput::Samples deliver;
        {
            std::lock_guard lock(mutex);
            deliver = samples;
        }
        for (size_t at = 0; at < s.size(); at += piece) deliver(s.data() + at, std::min(piece, s.size() - at));
    }
};

class FakeAudio final : public AudioInput {
public:
    explicit FakeAudio(std::shared_ptr<AudioScript> s) : s_(std::move(s)) {}
    std::vector<std::string> Devices() override {
        std::lock_guard lock(s_->mutex);
        return s_->devices;
    }
    bool Open(int index, Samples samples) override {
        std::lock_guard lock(s_->mutex);
        s_->openedIndex = index;
        if (s_->failOpen) return false;
        s_->open = true;
        s_->samples = std::move(samples);
        return true;
    }
    double SampleRate() override { return s_->rate; }
    bool WatchEnd(std::function<void()> ended) override {
        std::lock_guard lock(s_->mutex);
        s_->ended = std::move(ended);
        return !s_->failWatch;
    }
    bool Start() override {
        std::lock_guard lock(s_->mutex);
        s_->active = !s_->failStart;
        return s_->active;
    }
    bool Active() override {
        std::lock_guard lock(s_->mutex);
        return s_->active;
    }
    void Close() override {
        std::lock_guard lock(s_->mutex);
        s_->open = false;
        s_->active = false;
    }
    std::string LastError() const override { return "fake failure"; }

private:
    std::shared_ptr<AudioScript> s_;
};

// ---- LIRC device -------------------------------------------------------------

struct LircScript {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<std::vector<uint32_t>> reads;  // one entry per read
    bool open = false, interrupted = false, gone = false, waiting = false, timeouts = false;
    int idleTimeouts = 0;
    std::string failWith;
    std::string openedPath;

    void Words(std::vector<uint32_t> w) {
        std::lock_guard lock(mutex);
        reads.push_back(std::move(w));
        cv.notify_all();
    }
    void FireIdle() {
        std::lock_guard lock(mutex);
        ++idleTimeouts;
        cv.notify_all();
    }
    void Vanish() {
        std::lock_guard lock(mutex);
        gone = true;
        cv.notify_all();
    }
    bool WaitIdle() {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, HangGuard, [&] { return reads.empty() && waiting && idleTimeouts == 0; });
    }
};

class FakeLirc final : public LircDevice {
public:
    explicit FakeLirc(std::shared_ptr<LircScript> s) : s_(std::move(s)) {}
    bool Open(const std::string& path, std::string& error) override {
        std::lock_guard lock(s_->mutex);
        s_->openedPath = path;
        if (!s_->failWith.empty()) {
            error = s_->failWith;
            return false;
        }
        s_->open = true;
        s_->interrupted = false;
        return true;
    }
    void Close() override {
        std::lock_guard lock(s_->mutex);
        s_->open = false;
    }
    bool IsOpen() const override {
        std::lock_guard lock(s_->mutex);
        return s_->open;
    }
    bool ReportsTimeouts() const override { return s_->timeouts; }
    Read ReadWords(uint32_t* words, int max, int& count, int idleMs) override {
        std::unique_lock lock(s_->mutex);
        count = 0;
        s_->waiting = true;
        s_->cv.notify_all();
        // Only a wait with a limit can end idle.
        s_->cv.wait(lock, [&] {
            return s_->interrupted || s_->gone || !s_->reads.empty() || (idleMs >= 0 && s_->idleTimeouts > 0);
        });
        s_->waiting = false;
        if (s_->interrupted) return Read::Stopped;
        if (!s_->reads.empty()) {
            const std::vector<uint32_t> w = s_->reads.front();
            s_->reads.pop_front();
            for (uint32_t v : w) {
                if (count == max) break;
                words[count++] = v;
            }
            return Read::Words;
        }
        if (s_->gone) return Read::Gone;
        --s_->idleTimeouts;
        return Read::Idle;
    }
    void Interrupt() override {
        std::lock_guard lock(s_->mutex);
        s_->interrupted = true;
        s_->cv.notify_all();
    }

private:
    std::shared_ptr<LircScript> s_;
};

}  // namespace tovanel::test
