#include "capture/ComCapture.h"

#include <chrono>
#include <ctime>
#include <system_error>

#include "capture/FrameAssembler.h"

namespace tovanel {

namespace {

constexpr const char* CantOpen = "Can't open COM port";
constexpr const char* PortLost = "Capture stopped: the COM port is gone";
// A wait that keeps failing for another reason is taken as a lost device,
// rather than spinning at real-time priority.
constexpr int MaxFailedWaits = 1000;

}  // namespace

ModemLine SignalLine(int32_t signalSource) {
    switch (signalSource) {
        case 1: return LineDsr;
        case 2: return LineCts;
        case 3: return LineRing;
        default: return LineDcd;
    }
}

std::string ComDevicePath(const ComSettings& s) {
    if (!s.device.empty()) return s.device;
    if (s.com < 1) return "";
    return "/dev/ttyS" + std::to_string(s.com - 1);
}

ComClock ComClock::System() {
    ComClock c;
    c.counter = [] {
        return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
    };
    c.rate = 1000000000;
    c.wallSeconds = [] { return static_cast<int64_t>(std::time(nullptr)); };
    return c;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

ComCapture::ComCapture(CaptureSinks sinks, Options options)
    : sinks_(std::move(sinks)),
      port_(options.port ? std::move(options.port) : MakeTermiosPort()),
      dataEvent_(options.dataEvent ? std::move(options.dataEvent) : std::make_unique<EventFdEvent>()),
      clock_(std::move(options.clock)),
      sleep_(options.sleep ? std::move(options.sleep) : Sleeper(SleepMs)),
      realtime_(options.realtime) {}

ComCapture::ComCapture(CaptureSinks sinks) : ComCapture(std::move(sinks), Options{}) {}

ComCapture::~ComCapture() { StopComCapture(); }

void ComCapture::StopEdgeThread() {
    if (!edgeThread_.joinable()) return;
    edgeStop_ = true;
    dataEvent_->Set();  // the frame thread also wakes on the edge thread's stop
    // The interrupt is repeated until the thread has ended: one that came
    // just before the thread entered its wait would otherwise be lost.
    std::unique_lock lock(edgeMutex_);
    while (!edgeDone_) {
        port_->Interrupt();
        edgeDoneCv_.wait_for(lock, std::chrono::milliseconds(10));
    }
    lock.unlock();
    edgeThread_.join();
    edgeStop_ = false;
    edgeDone_ = false;
}

bool ComCapture::OpenComPort() {
    StopEdgeThread();
    queue_.Clear();
    if (port_->IsOpen()) {
        sleep_(SettleMs);
        port_->Close();
    }
    const std::string path = ComDevicePath(settings_);
    if (path.empty()) {
        openError_ = ": COM " + std::to_string(settings_.com) + " names no port";
        return false;
    }
    auto fail = [&](const std::string& why) {
        openError_ = " " + path + ": " + why;
        port_->Close();
        return false;
    };
    if (!port_->Open(path)) return fail(port_->LastError());
    uint32_t lines = 0;
    if (!port_->SetPower(settings_.dualPower)) return fail(port_->LastError());
    sleep_(PowerUpMs);  // the receiver powers up
    line_ = SignalLine(settings_.signalSource);
    if (!port_->ReadLines(lines)) return fail(port_->LastError());
    idleLevel_ = (lines & line_) ? 1 : 0;
    openPath_ = path;  // for the edge thread's message, whatever the settings become
    try {
        edgeThread_ = std::thread([this] { EdgeThread(); });
    } catch (const std::system_error& e) {
        return fail(e.code().message());
    }
    if (realtime_) RaiseToRealtime(edgeThread_);
    return true;
}

void ComCapture::CloseComPort() {
    StopEdgeThread();
    if (port_->IsOpen()) port_->Close();
}

bool ComCapture::StartComCapture() {
    StopComCapture();
    // The data event exists before the edge thread that sets it.
    if (!dataEvent_->Open()) return false;
    eventOpen_ = true;
    if (!OpenComPort()) {
        sinks_.Error(CantOpen + openError_);
        dataEvent_->Close();
        eventOpen_ = false;
        return false;
    }
    frameStop_ = false;
    try {
        frameThread_ = std::thread([this] { FrameThread(); });
    } catch (const std::system_error&) {
        CloseComPort();
        dataEvent_->Close();
        eventOpen_ = false;
        return false;
    }
    if (realtime_) RaiseToRealtime(frameThread_);
    return true;
}

void ComCapture::StopComCapture() {
    if (frameThread_.joinable()) {
        frameStop_ = true;
        dataEvent_->Set();
        frameThread_.join();
    }
    CloseComPort();
    if (eventOpen_) dataEvent_->Close();
    eventOpen_ = false;
}

void ComCapture::EdgeThread() {
    const ModemLine line = line_;
    uint32_t lines = 0;
    bool gone = false;
    int level = port_->ReadLines(lines) && (lines & line) ? 1 : 0;
    int64_t t0 = clock_.wallSeconds(), c0 = clock_.counter();
    int failures = 0;
    while (!edgeStop_) {
        const SerialPort::Wait r = port_->WaitForChange(line);
        // The timestamp comes first, before anything else is looked at.
        const int64_t c1 = clock_.counter(), t1 = clock_.wallSeconds();
        if (edgeStop_ || r == SerialPort::Wait::Interrupted) break;
        if (r == SerialPort::Wait::Failed) {
            if (++failures < MaxFailedWaits) continue;
            gone = true;
            break;
        }
        if (r == SerialPort::Wait::Gone || !port_->ReadLines(lines)) {
            gone = true;
            break;
        }
        failures = 0;
        const int now = (lines & line) ? 1 : 0;
        if (now == level) continue;
        level = now;
        uint32_t interval;
        int idle = idleLevel_;
        if (t1 - t0 > LongInterval) {
            interval = EdgeIntervalMask;
            // After a long quiet time the level the line leaves is the idle one.
            if (now == idle) idleLevel_ = idle = 1 - idle;
        } else {
            const int64_t us = c1 > c0 ? (c1 - c0) / clock_.rate * 1000000 +
                                             (c1 - c0) % clock_.rate * 1000000 / clock_.rate
                                       : 0;
            // A wall clock set back could let the counter run past 24 bits.
            interval = us >= EdgeIntervalMask ? EdgeIntervalMask : static_cast<uint32_t>(us);
        }
        t0 = t1;
        c0 = c1;
        queue_.Push(interval | (now == idle ? EdgeMarkBit : 0));
        dataEvent_->Set();
    }
    if (gone && !edgeStop_) sinks_.Lost(PortLost + (": " + openPath_));
    std::lock_guard lock(edgeMutex_);
    edgeDone_ = true;
    edgeDoneCv_.notify_all();
}

void ComCapture::FrameThread() {
    FrameCutter cutter([this](uint32_t gap, const int32_t* d, int32_t n) {
        sinks_.Frame(gap, d, n, nullptr, 0);
    });
    while (!frameStop_) {
        uint32_t item;
        if (!queue_.Pop(item)) {
            // Reset before the last look, so a push after it is not missed.
            dataEvent_->Reset();
            if (!queue_.Pop(item)) {
                const bool set = dataEvent_->Wait(IdleTimeoutMs);
                if (frameStop_) break;
                if (set) {
                    if (!queue_.Pop(item)) continue;
                } else if (cutter.Collecting()) {
                    item = UnknownGap;  // a long interval ends the frame
                } else {
                    continue;
                }
            }
        }
        cutter.Push(item & EdgeIntervalMask, (item & EdgeMarkBit) != 0);
    }
}

}  // namespace tovanel
