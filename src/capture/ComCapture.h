// Capture from an IR receiver module on a serial port: the receiver is
// powered from RTS (and DTR with double power) and drives one modem-status
// line. The edge thread timestamps every change of that line and queues it;
// the frame thread cuts the queued changes into frames and hands them on.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "capture/CaptureSink.h"
#include "capture/CaptureThreads.h"
#include "capture/EdgeQueue.h"
#include "capture/FrameCutter.h"

namespace tovanel {

// Modem-status lines, as SerialPort reports them.
enum ModemLine : uint32_t { LineDcd = 1, LineDsr = 2, LineCts = 4, LineRing = 8 };

// The line for a SignalSource value: 0 DCD, 1 DSR, 2 CTS, 3 RING; any other
// value DCD.
ModemLine SignalLine(int32_t signalSource);

// The operating system's serial port, as the capture needs it.
class SerialPort {
public:
    enum class Wait { Changed, Interrupted, Failed, Gone };

    virtual ~SerialPort() = default;
    // Opens the device for this process alone.
    virtual bool Open(const std::string& path) = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // Raises RTS, and DTR when `dtr` (else lowers DTR).
    virtual bool SetPower(bool dtr) = 0;
    // The current state of all modem-status lines (ModemLine bits).
    virtual bool ReadLines(uint32_t& lines) = 0;
    // Waits for a change of `line`. Returns Interrupted once Interrupt()
    // was called, Gone when the device disappeared.
    virtual Wait WaitForChange(ModemLine line) = 0;
    // From another thread: ends the wait in progress and every later one.
    virtual void Interrupt() = 0;
    // Why the last Open, SetPower or ReadLines failed, in the system's words.
    virtual std::string LastError() const { return "unknown error"; }
};

struct ComSettings {
    int32_t com = 2;            // COM n is /dev/ttyS{n-1}
    bool dualPower = true;      // power from DTR as well as RTS
    int32_t signalSource = 0;   // 0 DCD, 1 DSR, 2 CTS, 3 RING
    std::string device;         // opened instead when not empty
};

// The device a setting opens; empty when the number names no port.
std::string ComDevicePath(const ComSettings& settings);

// The clocks the edge thread reads: a monotonic counter with its rate, and
// wall-clock seconds for the 15 s limit.
struct ComClock {
    std::function<int64_t()> counter;
    int64_t rate = 1;
    std::function<int64_t()> wallSeconds;
    static ComClock System();
};

using Sleeper = std::function<void(int ms)>;
void SleepMs(int ms);

class ComCapture {
public:
    static constexpr uint32_t LongInterval = 15;  // s without change: interval not measured
    static constexpr int IdleTimeoutMs = 10;
    static constexpr int PowerUpMs = 1000;
    static constexpr int SettleMs = 100;

    struct Options {
        std::unique_ptr<SerialPort> port;          // default: the termios port
        std::unique_ptr<DataEvent> dataEvent;      // default: an eventfd
        ComClock clock = ComClock::System();
        Sleeper sleep = SleepMs;
        bool realtime = true;
    };

    ComCapture(CaptureSinks sinks, Options options);
    explicit ComCapture(CaptureSinks sinks);
    ~ComCapture();
    ComCapture(const ComCapture&) = delete;
    ComCapture& operator=(const ComCapture&) = delete;

    void SetSettings(const ComSettings& settings) { settings_ = settings; }
    const ComSettings& Settings() const { return settings_; }

    // Opens the port, powers the receiver and starts both threads. Any
    // failure to open shows "Can't open COM port" with the device and the
    // system's reason.
    bool StartComCapture();
    // Stops both threads and closes the port; harmless when nothing runs.
    void StopComCapture();

    // The port and the edge thread alone.
    bool OpenComPort();
    void CloseComPort();

    bool Running() const { return frameThread_.joinable(); }
    bool PortOpen() const { return port_->IsOpen(); }
    bool EdgeThreadRunning() const { return edgeThread_.joinable(); }
    int IdleLevel() const { return idleLevel_.load(); }
    // The queue between the threads; for tests that drive one side.
    EdgeQueue& Queue() { return queue_; }

private:
    void StopEdgeThread();
    void EdgeThread();
    void FrameThread();

    CaptureSinks sinks_;
    ComSettings settings_;
    std::unique_ptr<SerialPort> port_;
    std::unique_ptr<DataEvent> dataEvent_;
    ComClock clock_;
    Sleeper sleep_;
    bool realtime_;
    std::string openError_;  // what follows "Can't open COM port"
    std::string openPath_;   // the device the edge thread watches

    EdgeQueue queue_;
    std::atomic<int> idleLevel_{0};
    ModemLine line_ = LineDcd;

    std::thread edgeThread_;
    std::atomic<bool> edgeStop_{false};
    std::mutex edgeMutex_;
    std::condition_variable edgeDoneCv_;
    bool edgeDone_ = false;

    std::thread frameThread_;
    std::atomic<bool> frameStop_{false};
    bool eventOpen_ = false;
};

// Serial ports on termios and ioctl: exclusive open (TIOCEXCL and a lock),
// control lines through TIOCMBIS/TIOCMBIC, line states through TIOCMGET,
// and waits on TIOCMIWAIT, which Interrupt() breaks with a signal.
// Drivers without TIOCMIWAIT are watched by polling the lines.
std::unique_ptr<SerialPort> MakeTermiosPort();

}  // namespace tovanel
