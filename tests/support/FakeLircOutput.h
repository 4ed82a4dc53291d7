// An IR transmitter for tests: logs what the sender does to it, one line
// per call ("open /dev/lirc0", "carrier 38000", "write 9000 4500 560",
// "wait 100000", "close"), and fails where a test tells it to. The log is
// shared, so a test keeps it after handing the device to a sender, and the
// sender's waits can be logged into it too.
#pragma once

#include <cerrno>
#include <linux/lirc.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/LircTransmitter.h"

namespace tovanel::test {

struct LircLog {
    std::mutex mutex;
    std::vector<std::string> lines;

    void Add(std::string line) {
        std::lock_guard lock(mutex);
        lines.push_back(std::move(line));
    }
    std::vector<std::string> Lines() {
        std::lock_guard lock(mutex);
        return lines;
    }
};

class FakeLircOutput : public LircOutput {
public:
    struct Script {
        int openError = 0;
        int featuresError = 0;
        uint32_t features = LIRC_CAN_SEND_PULSE | LIRC_CAN_SET_SEND_CARRIER;
        int carrierError = 0;
        int failWrite = 0;  // the n-th write (from 1) fails with writeError
        int writeError = EIO;
    };

    FakeLircOutput(std::shared_ptr<LircLog> log, Script script) : log_(std::move(log)), script_(script) {}

    int Open(const std::string& path) override {
        log_->Add("open " + path);
        return script_.openError;
    }
    void Close() override { log_->Add("close"); }
    int Ioctl(unsigned long request, uint32_t& value) override {
        if (request == LIRC_GET_FEATURES) {
            value = script_.features;
            return script_.featuresError;
        }
        if (request == LIRC_SET_SEND_CARRIER) {
            log_->Add("carrier " + std::to_string(value));
            return script_.carrierError;
        }
        log_->Add("ioctl " + std::to_string(request));
        return ENOTTY;
    }
    int Write(const uint32_t* words, size_t count) override {
        std::string line = "write";
        for (size_t i = 0; i < count; ++i) line += ' ' + std::to_string(words[i]);
        log_->Add(line);
        return ++writes_ == script_.failWrite ? script_.writeError : 0;
    }

private:
    std::shared_ptr<LircLog> log_;
    Script script_;
    int writes_ = 0;
};

// A sender over a fake device whose waits are logged, not waited.
inline LircTransmitter::Options FakeTransmitterOptions(const std::shared_ptr<LircLog>& log,
                                                       FakeLircOutput::Script script = {}) {
    LircTransmitter::Options o;
    o.output = std::make_unique<FakeLircOutput>(log, script);
    o.waitHook = [log](uint64_t us) { log->Add("wait " + std::to_string(us)); };
    return o;
}

}  // namespace tovanel::test
