#include "capture/CaptureThreads.h"

#include <cerrno>
#include <cstdint>

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tovanel {

void RaiseToRealtime(std::thread& thread) {
    if (!thread.joinable()) return;
    sched_param p{};
    const int lo = sched_get_priority_min(SCHED_FIFO), hi = sched_get_priority_max(SCHED_FIFO);
    if (lo < 0 || hi < 0) return;
    p.sched_priority = lo + (hi - lo) / 2;
    (void)pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &p);
}

bool EventFdEvent::Open() {
    Close();
    fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return fd_ >= 0;
}

void EventFdEvent::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void EventFdEvent::Set() {
    const uint64_t one = 1;
    // A full counter (never reached) leaves it signalled anyway.
    [[maybe_unused]] const ssize_t r = ::write(fd_, &one, sizeof one);
}

void EventFdEvent::Reset() {
    uint64_t value;
    [[maybe_unused]] const ssize_t r = ::read(fd_, &value, sizeof value);
}

bool EventFdEvent::Wait(int ms) {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, ms);
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

}  // namespace tovanel
