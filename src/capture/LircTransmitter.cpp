#include "capture/LircTransmitter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <linux/lirc.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tovanel {

namespace {

class KernelLircOutput final : public LircOutput {
public:
    ~KernelLircOutput() override { Close(); }

    int Open(const std::string& path) override {
        Close();
        fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        return fd_ < 0 ? errno : 0;
    }

    void Close() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    int Ioctl(unsigned long request, uint32_t& value) override {
        return ::ioctl(fd_, request, &value) == 0 ? 0 : errno;
    }

    int Write(const uint32_t* words, size_t count) override {
        const ssize_t n = ::write(fd_, words, count * sizeof(uint32_t));
        if (n < 0) return errno;
        // The kernel takes a frame whole or refuses it.
        return static_cast<size_t>(n) == count * sizeof(uint32_t) ? 0 : EIO;
    }

private:
    int fd_ = -1;
};

std::string Reason(int error) { return std::strerror(error); }

}  // namespace

std::unique_ptr<LircOutput> MakeKernelLircOutput() { return std::make_unique<KernelLircOutput>(); }

LircTransmitter::LircTransmitter(Options options)
    : output_(options.output ? std::move(options.output) : MakeKernelLircOutput()),
      waitHook_(std::move(options.waitHook)) {}

LircTransmitter::LircTransmitter() : LircTransmitter(Options{}) {}

LircTransmitter::~LircTransmitter() { Stop(); }

bool LircTransmitter::Stopping() {
    std::lock_guard lock(mutex_);
    return stop_;
}

bool LircTransmitter::Wait(uint64_t us) {
    if (waitHook_) {
        waitHook_(us);
        return !Stopping();
    }
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::microseconds(us), [this] { return stop_; });
}

TransmitOutcome LircTransmitter::Send(const std::string& device, const std::vector<TransmitItem>& items,
                                      const Progress& progress) {
    TransmitOutcome outcome;
    auto fail = [&](std::string message) {
        output_->Close();
        outcome.status = TransmitOutcome::Status::Failed;
        outcome.error = std::move(message);
        return outcome;
    };
    if (const int e = output_->Open(device)) return fail("Can't open LIRC device " + device + ": " + Reason(e));
    uint32_t features = 0;
    if (output_->Ioctl(LIRC_GET_FEATURES, features) != 0) return fail(device + " is not a LIRC device");
    if (!(features & LIRC_CAN_SEND_PULSE)) return fail("LIRC device " + device + " cannot transmit");
    const bool setsCarrier = (features & LIRC_CAN_SET_SEND_CARRIER) != 0;

    bool first = true;
    uint64_t pauseUs = 0;  // after the item sent last
    for (size_t i = 0; i < items.size(); ++i) {
        const TransmitItem& item = items[i];
        const std::vector<PlannedFrame> frames = PlanItem(item);
        if (frames.empty()) continue;  // nothing to send, no pause for it
        if (!first && !Wait(pauseUs)) break;
        if (Stopping()) break;
        if (progress) progress(i);
        if (setsCarrier) {
            uint32_t hz = item.carrierHz;
            if (const int e = output_->Ioctl(LIRC_SET_SEND_CARRIER, hz))
                return fail("LIRC device " + device + " refuses the carrier of " +
                            std::to_string(item.carrierHz / 1000) + " kHz: " + Reason(e));
        }
        const int32_t sendings = std::max(item.repeat, 0) + 1;
        for (int32_t r = 0; r < sendings; ++r) {
            for (size_t f = 0; f < frames.size(); ++f) {
                if ((r > 0 || f > 0) && !Wait(frames[f].silenceBeforeUs)) break;
                if (Stopping()) break;
                int e = output_->Write(frames[f].words.data(), frames[f].words.size());
                // A signal may cut the write short before the frame went out.
                while (e == EINTR && !Stopping()) e = output_->Write(frames[f].words.data(), frames[f].words.size());
                if (e != 0 && e != EINTR)
                    return fail("Can't transmit \"" + item.keyName + "\" on LIRC device " + device + ": " + Reason(e));
            }
            if (Stopping()) break;
        }
        if (Stopping()) break;
        ++outcome.itemsSent;
        first = false;
        pauseUs = static_cast<uint64_t>(std::max(item.pauseMs, 0)) * 1000;
    }
    output_->Close();
    if (Stopping()) outcome.status = TransmitOutcome::Status::Stopped;
    return outcome;
}

bool LircTransmitter::Start(std::string device, std::vector<TransmitItem> items, Progress progress, Done done) {
    if (running_) return false;
    if (thread_.joinable()) thread_.join();
    {
        std::lock_guard lock(mutex_);
        stop_ = false;
    }
    running_ = true;
    try {
        thread_ = std::thread([this, device = std::move(device), items = std::move(items),
                               progress = std::move(progress), done = std::move(done)] {
            const TransmitOutcome outcome = Send(device, items, progress);
            running_ = false;
            if (done) done(outcome);
        });
    } catch (const std::system_error&) {
        running_ = false;
        return false;
    }
    return true;
}

void LircTransmitter::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

}  // namespace tovanel
