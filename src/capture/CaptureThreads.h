// Small helpers the capture paths share for their worker threads.
#pragma once

#include <thread>

namespace tovanel {

// Best effort: gives a time-critical capture thread real-time scheduling
// where the system permits it, and silently leaves it as it is where not.
void RaiseToRealtime(std::thread& thread);

// A manual-reset event between two threads, on an eventfd: Set() makes it
// signalled until Reset(); Wait() does not consume it.
class DataEvent {
public:
    virtual ~DataEvent() = default;
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual void Set() = 0;
    virtual void Reset() = 0;
    // True when the event is set, false when `ms` passed first.
    virtual bool Wait(int ms) = 0;
};

class EventFdEvent final : public DataEvent {
public:
    ~EventFdEvent() override { Close(); }
    bool Open() override;
    void Close() override;
    void Set() override;
    void Reset() override;
    bool Wait(int ms) override;
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

}  // namespace tovanel
