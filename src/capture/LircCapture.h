// Capture from any IR receiver the kernel exposes as /dev/lircN: the device
// is switched to mode2 and read by one thread, which cuts the words into
// frames and hands them on.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "capture/CaptureSink.h"

namespace tovanel {

// The kernel device, as the capture needs it; a fake replaces it in tests.
class LircDevice {
public:
    enum class Read { Words, Idle, Stopped, Gone };

    virtual ~LircDevice() = default;
    // Opens and prepares the device; false with the reason in `error`.
    virtual bool Open(const std::string& path, std::string& error) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Waits for words at most `idleMs` (−1: no limit). Fills `words` with up
    // to `max` of them and `count` with their number.
    virtual Read ReadWords(uint32_t* words, int max, int& count, int idleMs) = 0;
    // From another thread: ends the read in progress and every later one.
    virtual void Interrupt() = 0;
    // True when the device itself reports the end of a frame with time-outs.
    virtual bool ReportsTimeouts() const = 0;
};

std::unique_ptr<LircDevice> MakeKernelLircDevice();

class LircCapture {
public:
    static constexpr int IdleTimeoutMs = 10;
    // With the device's own time-outs, the local one only catches a device
    // that failed to send one.
    static constexpr int BackstopMs = 500;

    struct Options {
        std::unique_ptr<LircDevice> device;  // default: the kernel device
        bool realtime = true;
    };

    LircCapture(CaptureSinks sinks, Options options);
    explicit LircCapture(CaptureSinks sinks);
    ~LircCapture();
    LircCapture(const LircCapture&) = delete;
    LircCapture& operator=(const LircCapture&) = delete;

    void SetDevicePath(std::string path) { path_ = std::move(path); }
    const std::string& DevicePath() const { return path_; }

    bool StartLircCapture();
    void StopLircCapture();
    bool Running() const { return thread_.joinable(); }
    bool DeviceOpen() const { return device_->IsOpen(); }

private:
    void Run();

    CaptureSinks sinks_;
    std::unique_ptr<LircDevice> device_;
    bool realtime_;
    std::string path_ = "/dev/lirc0";
    std::string openPath_;  // the device the thread reads, whatever path_ becomes
    std::thread thread_;
};

}  // namespace tovanel
