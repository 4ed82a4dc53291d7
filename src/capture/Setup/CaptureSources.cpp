#include "capture/Setup/CaptureSources.h"

#include "capture/UsbDecoding.h"

namespace tovanel {

namespace {

CaptureSinks WithAssembler(CaptureSinks sinks, FrameAssembler& assembler) {
    if (!sinks.frame)
        sinks.frame = [&assembler](uint32_t gap, const int32_t* d, int32_t n, const int16_t* s, int32_t sc) {
            assembler.SubmitFrame(gap, d, n, s, sc);
        };
    return sinks;
}

SoundCapture::Options SoundOptions(CaptureSources::Backends& b) {
    SoundCapture::Options o;
    o.input = std::move(b.audio);
    o.stallMs = b.soundStallMs;
    return o;
}

ComCapture::Options ComOptions(CaptureSources::Backends& b) {
    ComCapture::Options o;
    o.port = std::move(b.serial);
    o.dataEvent = std::move(b.serialEvent);
    if (b.sleep) o.sleep = b.sleep;
    o.realtime = b.realtime;
    return o;
}

}  // namespace

CaptureSources::CaptureSources(FrameAssembler& assembler, SharedFrameBuffer& buffer, CaptureSinks sinks,
                               Backends b)
    : assembler_(assembler),
      buffer_(buffer),
      sinks_(WithAssembler(std::move(sinks), assembler)),
      sound_(sinks_, SoundOptions(b)),
      com_(sinks_, ComOptions(b)),
      usb_(sinks_, UsbCapture::Options{b.usbLibraries, b.realtime}),
      lirc_(sinks_, LircCapture::Options{std::move(b.lirc), b.realtime}) {
    Apply();
}

CaptureSources::CaptureSources(FrameAssembler& assembler, SharedFrameBuffer& buffer, CaptureSinks sinks)
    : CaptureSources(assembler, buffer, std::move(sinks), Backends{}) {}

CaptureSources::~CaptureSources() { StopAll(); }

void CaptureSources::SetConfig(const CaptureConfig& config) {
    config_ = config;
    Apply();
}

void CaptureSources::SetPulseTime(int32_t samples) {
    sound_.Detector().SetPulseTime(samples);
    config_.PulseTime = sound_.Detector().PulseTime();
}

void CaptureSources::SetPulseLevel(int32_t percent) {
    sound_.Detector().SetPulseLevel(percent);
    config_.PulseLevel = sound_.Detector().PulseLevel();
}

void CaptureSources::Apply() {
    sound_.Detector().SetPulseTime(config_.PulseTime);
    sound_.Detector().SetPulseLevel(config_.PulseLevel);
    sound_.SetDeviceIndex(config_.DeviceIndex);
    com_.SetSettings({config_.Com, config_.DualPower, config_.SignalSource, config_.ComDevice});
    lirc_.SetDevicePath(config_.LircDevice);
}

bool CaptureSources::StartSource() {
    StopSource();
    buffer_.Reset();
    Apply();
    const int32_t source = config_.CaptureSource;
    assembler_.SetCaptureSource(source);
    bool ok = false;
    switch (source) {
        case Source::Com: ok = com_.StartComCapture(); break;
        case Source::Sound: ok = sound_.StartSoundCapture(); break;
        case Source::IgorPlug: ok = usb_.StartIgorPlug(); break;
        case Source::IgorPlug2: ok = usb_.StartIgorPlug2(); break;
        case Source::Lirc: ok = lirc_.StartLircCapture(); break;
        default: return false;
    }
    running_ = source;
    statusTimer_ = source == Source::Sound || source == Source::IgorPlug || source == Source::IgorPlug2;
    return ok;
}

void CaptureSources::StopSource() {
    statusTimer_ = false;
    switch (running_) {
        case Source::Com: com_.StopComCapture(); break;
        case Source::Sound: sound_.StopSoundCapture(); break;
        case Source::IgorPlug:
        case Source::IgorPlug2:
            usb_.StopIgorPlug();
            lastShownStatus_ = -2;  // the label is rewritten after a restart
            break;
        case Source::Lirc: lirc_.StopLircCapture(); break;
        default: break;
    }
    running_ = 0;
}

void CaptureSources::StopAll() {
    statusTimer_ = false;
    com_.StopComCapture();
    sound_.StopSoundCapture();
    usb_.StopIgorPlug();
    lirc_.StopLircCapture();
    lastShownStatus_ = -2;
    running_ = 0;
}

int32_t CaptureSources::TakeLevelPercent() {
    return static_cast<int32_t>(int64_t{sound_.Detector().TakePeakLevel()} * 100 / 65536);
}

std::optional<std::string> CaptureSources::TakeUsbStatusLabel() {
    const int32_t status = usb_.UsbStatus();
    if (status == lastShownStatus_) return std::nullopt;
    lastShownStatus_ = status;
    return "Status: " + UsbStatusText(status);
}

const std::vector<std::string>& CaptureSources::SoundDevices() {
    if (sound_.Devices().empty()) sound_.RefreshDevices();
    return sound_.Devices();
}

}  // namespace tovanel
