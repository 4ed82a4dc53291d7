// Capture from the USB receivers IgorPlug-USB and IgorPlug2 through their
// driver library, loaded at run time when capture starts and released when
// it stops. A polling thread asks the library for a frame every 20 ms,
// decodes the answer and hands the durations on.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/CaptureSink.h"
#include "drivers/igorusb/igorusb.h"

namespace tovanel {

// The driver library and its entry points, resolved by name.
class IgorUsbLibrary {
public:
    enum class Result { Loaded, NotFound, Invalid };

    IgorUsbLibrary() = default;
    ~IgorUsbLibrary() { Unload(); }
    IgorUsbLibrary(const IgorUsbLibrary&) = delete;
    IgorUsbLibrary& operator=(const IgorUsbLibrary&) = delete;

    // Tries each candidate in turn until one loads; then every entry point
    // must resolve (DoEEPROMWrite only when `needEeprom`), else the library
    // is released again. `error` receives the loader's own text: why each
    // candidate did not load, or which entry points the loaded one lacks.
    Result Load(const std::vector<std::string>& candidates, bool needEeprom, std::string* error = nullptr);
    void Unload();
    bool Loaded() const { return handle_ != nullptr; }

    DoGetInfraCodeFn getInfraCode = nullptr;
    DoSetDataPortDirectionFn setDataPortDirection = nullptr;
    DoGetDataPortDirectionFn getDataPortDirection = nullptr;
    DoSetOutDataPortFn setOutDataPort = nullptr;
    DoGetOutDataPortFn getOutDataPort = nullptr;
    DoEEPROMWriteFn eepromWrite = nullptr;

private:
    void* handle_ = nullptr;
};

// Where the library is looked for: $TOVANEL_IGORUSB alone when set, else
// libigorusb.so beside the executable, then on the library path.
std::vector<std::string> IgorUsbCandidates();

class UsbCapture {
public:
    static constexpr int PollMs = 20;

    struct Options {
        std::vector<std::string> libraries;  // empty: IgorUsbCandidates()
        bool realtime = true;
    };

    UsbCapture(CaptureSinks sinks, Options options);
    explicit UsbCapture(CaptureSinks sinks);
    ~UsbCapture();
    UsbCapture(const UsbCapture&) = delete;
    UsbCapture& operator=(const UsbCapture&) = delete;

    bool StartIgorPlug() { return Start(false); }
    void StopIgorPlug() { Stop(); }
    bool StartIgorPlug2() { return Start(true); }
    void StopIgorPlug2() { Stop(); }

    // The result of the last poll; −1 before the first.
    int32_t UsbStatus() const { return usbStatus_.load(std::memory_order_relaxed); }
    bool Running() const { return thread_.joinable(); }
    bool LibraryLoaded() const { return library_.Loaded(); }
    // Counts stops, so a status display knows to rewrite its text.
    uint32_t Stops() const { return stops_.load(); }

private:
    bool Start(bool plug2);
    void Stop();
    void Poll(bool plug2);

    CaptureSinks sinks_;
    Options options_;
    IgorUsbLibrary library_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::atomic<int32_t> usbStatus_{-1};
    std::atomic<uint32_t> stops_{0};
};

}  // namespace tovanel
