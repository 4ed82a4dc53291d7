#include "capture/LircCapture.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <linux/lirc.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "capture/CaptureThreads.h"
#include "capture/Mode2.h"

namespace tovanel {

namespace {

constexpr const char* DeviceLost = "Capture stopped: the LIRC device is gone";
// The device's own time-out, a little above the longest interval that still
// belongs to a frame.
constexpr uint32_t WantedTimeoutUs = 15000;

class KernelLircDevice final : public LircDevice {
public:
    ~KernelLircDevice() override { Close(); }

    bool Open(const std::string& path, std::string& error) override {
        Close();
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return Fail(error, "Can't open LIRC device " + path + ": " + std::strerror(errno));
        uint32_t features = 0;
        if (::ioctl(fd_, LIRC_GET_FEATURES, &features) != 0)
            return Fail(error, path + " is not a LIRC device");
        if (!(features & LIRC_CAN_REC_MODE2))
            return Fail(error, "LIRC device " + path + " does not deliver pulses and spaces (mode2)");
        uint32_t mode = LIRC_MODE_MODE2;
        if (::ioctl(fd_, LIRC_SET_REC_MODE, &mode) != 0)
            return Fail(error, "Can't switch LIRC device " + path + " to mode2: " + std::strerror(errno));
        reportsTimeouts_ = false;
        if (features & LIRC_CAN_SET_REC_TIMEOUT) {
            uint32_t lo = 0, hi = 0;
            uint32_t timeout = WantedTimeoutUs;
            if (::ioctl(fd_, LIRC_GET_MIN_TIMEOUT, &lo) == 0 && ::ioctl(fd_, LIRC_GET_MAX_TIMEOUT, &hi) == 0 &&
                lo <= hi)
                timeout = std::clamp(timeout, lo, hi);
            // The time-out is the device's, shared with every program that
            // reads it: remember it so that closing puts it back.
            uint32_t before = 0;
            const bool known = ::ioctl(fd_, LIRC_GET_REC_TIMEOUT, &before) == 0;
            reportsTimeouts_ = ::ioctl(fd_, LIRC_SET_REC_TIMEOUT, &timeout) == 0;
            if (reportsTimeouts_ && known) savedTimeout_ = before;
        }
        wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wake_ < 0) return Fail(error, "Can't open LIRC device " + path + ": " + std::strerror(errno));
        return true;
    }

    void Close() override {
        if (fd_ >= 0 && savedTimeout_) ::ioctl(fd_, LIRC_SET_REC_TIMEOUT, &*savedTimeout_);
        savedTimeout_.reset();
        if (fd_ >= 0) ::close(fd_);
        if (wake_ >= 0) ::close(wake_);
        fd_ = wake_ = -1;
    }

    bool IsOpen() const override { return fd_ >= 0; }
    bool ReportsTimeouts() const override { return reportsTimeouts_; }

    Read ReadWords(uint32_t* words, int max, int& count, int idleMs) override {
        count = 0;
        for (;;) {
            pollfd p[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
            const int r = ::poll(p, 2, idleMs);
            if (r < 0) {
                if (errno == EINTR) continue;
                return Read::Gone;
            }
            if (p[1].revents) return Read::Stopped;
            if (r == 0) return Read::Idle;
            if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return Read::Gone;
            const ssize_t n = ::read(fd_, words, sizeof(uint32_t) * static_cast<size_t>(max));
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) continue;
                return Read::Gone;
            }
            if (n == 0) return Read::Gone;
            count = static_cast<int>(n / static_cast<ssize_t>(sizeof(uint32_t)));
            return Read::Words;
        }
    }

    void Interrupt() override {
        const uint64_t one = 1;
        if (wake_ >= 0) [[maybe_unused]] ssize_t r = ::write(wake_, &one, sizeof one);
    }

private:
    bool Fail(std::string& error, const std::string& message) {
        error = message;
        Close();
        return false;
    }

    int fd_ = -1;
    int wake_ = -1;
    bool reportsTimeouts_ = false;
    std::optional<uint32_t> savedTimeout_;  // the device's own time-out, put back on close
};

}  // namespace

std::unique_ptr<LircDevice> MakeKernelLircDevice() { return std::make_unique<KernelLircDevice>(); }

LircCapture::LircCapture(CaptureSinks sinks, Options options)
    : sinks_(std::move(sinks)),
      device_(options.device ? std::move(options.device) : MakeKernelLircDevice()),
      realtime_(options.realtime) {}

LircCapture::LircCapture(CaptureSinks sinks) : LircCapture(std::move(sinks), Options{}) {}

LircCapture::~LircCapture() { StopLircCapture(); }

bool LircCapture::StartLircCapture() {
    StopLircCapture();
    std::string error;
    if (!device_->Open(path_, error)) {
        sinks_.Error(error);
        return false;
    }
    openPath_ = path_;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        device_->Close();
        sinks_.Error("Can't start LIRC capture: " + e.code().message());
        return false;
    }
    if (realtime_) RaiseToRealtime(thread_);
    return true;
}

void LircCapture::StopLircCapture() {
    if (thread_.joinable()) {
        device_->Interrupt();
        thread_.join();
    }
    device_->Close();
}

void LircCapture::Run() {
    Mode2Reader reader(sinks_.frame);
    uint32_t words[64];
    for (;;) {
        const int idle = !reader.Collecting() ? -1 : device_->ReportsTimeouts() ? BackstopMs : IdleTimeoutMs;
        int count = 0;
        const LircDevice::Read r = device_->ReadWords(words, 64, count, idle);
        if (r == LircDevice::Read::Stopped) return;
        if (r == LircDevice::Read::Gone) {
            sinks_.Lost(DeviceLost + (": " + openPath_));
            return;
        }
        if (r == LircDevice::Read::Idle) {
            reader.IdleTimeout();
            continue;
        }
        for (int i = 0; i < count; ++i) reader.Word(words[i]);
    }
}

}  // namespace tovanel
