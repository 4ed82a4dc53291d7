// Sending stored keys through an IR transmitter the kernel exposes as
// /dev/lircN: the device is opened for the run, must be able to send
// pulses (LIRC_CAN_SEND_PULSE), gets each item's carrier where it can set
// one, and takes each frame as one write of pulse/space words, which
// returns once the frame is on the air. The silences between frames and
// items are waited here, where a stop ends them at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/TransmitPlan.h"

namespace tovanel {

// The kernel device as the sender uses it; every call returns 0 or the
// errno value of its failure. A fake replaces it in tests.
class LircOutput {
public:
    virtual ~LircOutput() = default;
    virtual int Open(const std::string& path) = 0;
    virtual void Close() = 0;
    // An ioctl whose argument is one 32-bit value (read or written).
    virtual int Ioctl(unsigned long request, uint32_t& value) = 0;
    // One frame; returns when the device has sent it.
    virtual int Write(const uint32_t* words, size_t count) = 0;
};

std::unique_ptr<LircOutput> MakeKernelLircOutput();

struct TransmitOutcome {
    enum class Status { Sent, Stopped, Failed };
    Status status = Status::Sent;
    std::string error;  // Failed: what went wrong, naming the device
    size_t itemsSent = 0;
};

class LircTransmitter {
public:
    struct Options {
        std::unique_ptr<LircOutput> output;  // default: the kernel device
        // Tests: called for every silence instead of waiting it.
        std::function<void(uint64_t us)> waitHook;
    };
    // Told, on the sending thread, before an item goes out.
    using Progress = std::function<void(size_t item)>;
    using Done = std::function<void(const TransmitOutcome&)>;

    explicit LircTransmitter(Options options);
    LircTransmitter();
    ~LircTransmitter();
    LircTransmitter(const LircTransmitter&) = delete;
    LircTransmitter& operator=(const LircTransmitter&) = delete;

    // Sends the items in order on the calling thread: each Repeat + 1
    // times, Pause ms between two items; an item without frames is
    // skipped, pause and all. Stop() from another thread ends it after the
    // frame being written (and every later Send, until the next Start).
    TransmitOutcome Send(const std::string& device, const std::vector<TransmitItem>& items,
                         const Progress& progress = {});

    // The same on a thread of its own; `done` is called on that thread at
    // the end. False (and nothing started) while a sending runs.
    bool Start(std::string device, std::vector<TransmitItem> items, Progress progress, Done done);
    // Ends a sending and waits for its thread; harmless when none runs.
    void Stop();
    bool Running() const { return running_; }

private:
    // False when stopped.
    bool Wait(uint64_t us);
    bool Stopping();

    std::unique_ptr<LircOutput> output_;
    std::function<void(uint64_t)> waitHook_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

}  // namespace tovanel
