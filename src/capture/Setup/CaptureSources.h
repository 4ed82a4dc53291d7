// The receivers behind one switch: StartSource stops whatever runs, empties
// the recording buffer and starts the selected receiver; StopSource stops
// it. Also what the setup dialog shows while a receiver runs: the sound
// input's level and the USB receivers' status.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureSink.h"
#include "capture/ComCapture.h"
#include "capture/FrameAssembler.h"
#include "capture/LircCapture.h"
#include "capture/Setup/CaptureConfig.h"
#include "capture/SoundCapture.h"
#include "capture/UsbCapture.h"

namespace tovanel {

class CaptureSources {
public:
    // The operating-system layers; each one left empty gets the real one.
    struct Backends {
        std::unique_ptr<AudioInput> audio;
        std::unique_ptr<SerialPort> serial;
        std::unique_ptr<DataEvent> serialEvent;
        std::unique_ptr<LircDevice> lirc;
        std::vector<std::string> usbLibraries;
        Sleeper sleep;
        bool realtime = true;
        int soundStallMs = 2000;
    };

    // Frames go to `assembler` unless `sinks.frame` is set.
    CaptureSources(FrameAssembler& assembler, SharedFrameBuffer& buffer, CaptureSinks sinks,
                   Backends backends);
    CaptureSources(FrameAssembler& assembler, SharedFrameBuffer& buffer, CaptureSinks sinks);
    ~CaptureSources();
    CaptureSources(const CaptureSources&) = delete;
    CaptureSources& operator=(const CaptureSources&) = delete;

    const CaptureConfig& Config() const { return config_; }
    // Takes effect at the next start, except PulseTime and PulseLevel,
    // which the running detector uses from its next block.
    void SetConfig(const CaptureConfig& config);
    void SetPulseTime(int32_t samples);
    void SetPulseLevel(int32_t percent);

    // True when the receiver runs; a failed start has reported itself.
    bool StartSource();
    void StopSource();
    // Stops every receiver (each stop is harmless when it does not run).
    void StopAll();
    // The receiver started last and not stopped since; 0 none.
    int32_t RunningSource() const { return running_; }
    // On while a receiver with a live display runs (sound card, USB).
    bool StatusTimerOn() const { return statusTimer_; }

    // The sound input's peak level since the last call, in percent of full
    // scale (PeakLevel × 100 / 65536); clears it.
    int32_t TakeLevelPercent();
    // "Status: OK" and the like, when the USB status differs from the one
    // last returned (or a USB receiver was stopped since); else nothing.
    std::optional<std::string> TakeUsbStatusLabel();

    const std::vector<std::string>& SoundDevices();

    SoundCapture& Sound() { return sound_; }
    ComCapture& Com() { return com_; }
    UsbCapture& Usb() { return usb_; }
    LircCapture& Lirc() { return lirc_; }

private:
    void Apply();

    FrameAssembler& assembler_;
    SharedFrameBuffer& buffer_;
    CaptureSinks sinks_;
    CaptureConfig config_;
    SoundCapture sound_;
    ComCapture com_;
    UsbCapture usb_;
    LircCapture lirc_;
    int32_t running_ = 0;
    bool statusTimer_ = false;
    int32_t lastShownStatus_ = -2;
};

}  // namespace tovanel
