// The serial port on termios and ioctl.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "capture/ComCapture.h"

namespace tovanel {

namespace {

// Breaks a TIOCMIWAIT: its handler does nothing, and it is installed
// without SA_RESTART so the ioctl returns EINTR. SIGURG is ignored by
// default, so a stray one harms no thread that lacks the handler.
constexpr int InterruptSignal = SIGURG;

void OnInterrupt(int) {}

void InstallInterruptHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_handler = OnInterrupt;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        sigaction(InterruptSignal, &sa, nullptr);
    });
}

int TiocmBit(ModemLine line) {
    switch (line) {
        case LineDsr: return TIOCM_DSR;
        case LineCts: return TIOCM_CTS;
        case LineRing: return TIOCM_RNG;
        default: return TIOCM_CAR;
    }
}

bool DeviceGone(int err) { return err == EIO || err == ENODEV || err == ENXIO || err == EBADF; }

class TermiosPort final : public SerialPort {
public:
    ~TermiosPort() override { Close(); }

    bool Open(const std::string& path) override {
        Close();
        InstallInterruptHandler();
        interrupted_ = false;
        waiting_ = false;
        polling_ = false;
        // Non-blocking, so the open does not wait for a carrier.
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return Failed();
        termios t{};
        const char* why = nullptr;
        if (::tcgetattr(fd, &t) != 0)
            why = "not a serial port";
        else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            why = errno == EWOULDBLOCK ? "in use by another program" : nullptr;
        else if (::ioctl(fd, TIOCEXCL) == 0) {
            fd_ = fd;
            return true;
        }
        Failed(why);
        ::close(fd);
        return false;
    }

    bool IsOpen() const override { return fd_ >= 0; }

    void Close() override {
        if (fd_ < 0) return;
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);  // also drops the lock
        fd_ = -1;
        waiting_ = false;
    }

    bool SetPower(bool dtr) override {
        termios t{};
        if (::tcgetattr(fd_, &t) != 0 || ::tcsetattr(fd_, TCSANOW, &t) != 0) return Failed("cannot set up the port");
        int rts = TIOCM_RTS, dtrBit = TIOCM_DTR;
        if (::ioctl(fd_, TIOCMBIS, &rts) != 0 || ::ioctl(fd_, dtr ? TIOCMBIS : TIOCMBIC, &dtrBit) != 0)
            return Failed("cannot set RTS and DTR");
        return true;
    }

    std::string LastError() const override { return lastError_; }

    bool ReadLines(uint32_t& lines) override {
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) != 0) return Failed("cannot read the modem-status lines");
        lines = ((bits & TIOCM_CAR) ? LineDcd : 0u) | ((bits & TIOCM_DSR) ? LineDsr : 0u) |
                ((bits & TIOCM_CTS) ? LineCts : 0u) | ((bits & TIOCM_RNG) ? LineRing : 0u);
        return true;
    }

    Wait WaitForChange(ModemLine line) override {
        waiter_ = pthread_self();
        waiting_ = true;
        return polling_ ? Poll(line) : Block(line);
    }

    void Interrupt() override {
        interrupted_ = true;
        if (waiting_) pthread_kill(waiter_.load(), InterruptSignal);
    }

private:
    // Keeps the reason of a failure: `what` failed with errno's reason.
    bool Failed(const char* what = nullptr) {
        const std::string reason = std::strerror(errno);
        lastError_ = what ? std::string(what) + " (" + reason + ")" : reason;
        return false;
    }

    Wait Block(ModemLine line) {
        // The waiting thread may have the signal blocked (a program that
        // handles its signals in one thread blocks them in all others).
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, InterruptSignal);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        if (interrupted_) return Wait::Interrupted;
        if (::ioctl(fd_, TIOCMIWAIT, TiocmBit(line)) == 0) return Wait::Changed;
        const int err = errno;
        if (interrupted_) return Wait::Interrupted;
        if (err == EINTR) return Wait::Failed;
        if (err == ENOTTY || err == EINVAL || err == ENOIOCTLCMD_) {
            polling_ = true;  // the driver cannot wait: watch the lines instead
            return Poll(line);
        }
        return DeviceGone(err) ? Wait::Gone : Wait::Failed;
    }

    // For drivers without TIOCMIWAIT: looks at the lines every 100 µs.
    Wait Poll(ModemLine line) {
        int first = 0;
        if (::ioctl(fd_, TIOCMGET, &first) != 0) return DeviceGone(errno) ? Wait::Gone : Wait::Failed;
        const int bit = TiocmBit(line);
        for (;;) {
            if (interrupted_) return Wait::Interrupted;
            const timespec pause{0, 100000};
            ::nanosleep(&pause, nullptr);
            int now = 0;
            if (::ioctl(fd_, TIOCMGET, &now) != 0) return DeviceGone(errno) ? Wait::Gone : Wait::Failed;
            if ((now ^ first) & bit) return Wait::Changed;
        }
    }

    static constexpr int ENOIOCTLCMD_ = 515;  // what some drivers leak for an unknown ioctl

    int fd_ = -1;
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> waiting_{false};
    std::atomic<pthread_t> waiter_{};
    bool polling_ = false;
    std::string lastError_;
};

}  // namespace

std::unique_ptr<SerialPort> MakeTermiosPort() { return std::make_unique<TermiosPort>(); }

}  // namespace tovanel
