#include "capture/SoundCapture.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tovanel {

namespace {

// Each message names the audio layer that failed, then what failed and why.
std::string CantOpen(const std::string& device, const std::string& why) {
    return "Can't open the PortAudio capture stream: " + device + ": " + why +
           ".\nDevice is busy or the PortAudio\nsubsystem is not properly installed";
}
constexpr const char* CantBuffer = "Can't create the PortAudio capture buffer: ";
constexpr const char* CantNotify = "Query PortAudio stream notification failed: ";
constexpr const char* CantEvent = "Can't create event: ";
constexpr const char* CantStart = "Can't start PortAudio capture: ";
constexpr const char* DeviceLost = "Capture stopped: the sound device is gone";

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

SoundCapture::SoundCapture(CaptureSinks sinks, Options options)
    : sinks_(std::move(sinks)),
      input_(options.input ? std::move(options.input) : MakePortAudioInput()),
      stallMs_(options.stallMs),
      detector_(sinks_.frame) {}

SoundCapture::SoundCapture(CaptureSinks sinks) : SoundCapture(std::move(sinks), Options{}) {}

SoundCapture::~SoundCapture() { StopSoundCapture(); }

const std::vector<std::string>& SoundCapture::RefreshDevices() {
    devices_ = input_->Devices();
    listed_ = true;
    return devices_;
}

std::string SoundCapture::DeviceName(int index) const {
    const size_t entry = index < 0 ? 0 : static_cast<size_t>(index);
    return entry < devices_.size() ? devices_[entry] : "input device " + std::to_string(index);
}

bool SoundCapture::StartSoundCapture() {
    StopSoundCapture();
    if (!listed_) RefreshDevices();
    const int index =
        deviceIndex_ >= 0 && deviceIndex_ < static_cast<int32_t>(devices_.size()) ? deviceIndex_ : -1;

    written_ = 0;
    read_ = 0;
    fill_ = 0;
    filling_ = false;
    ended_ = false;
    if (!input_->Open(index, [this](const int16_t* s, size_t n) { OnSamples(s, n); })) {
        const std::string why = input_->LastError();
        input_->Close();
        sinks_.Error(CantOpen(DeviceName(index), why));
        return false;
    }
    open_ = true;
    ring_.reset(new (std::nothrow) int16_t[size_t{RingBlocks} * BlockSamples]);
    const double rate = input_->SampleRate();
    if (!ring_ || rate != EdgeDetector::SampleRate) {
        const std::string why = !ring_ ? std::string("out of memory")
                                       : DeviceName(index) + " runs at " + std::to_string(int64_t(rate)) +
                                             " Hz, not " + std::to_string(EdgeDetector::SampleRate) + " Hz";
        Teardown();
        sinks_.Error(CantBuffer + why);
        return false;
    }
    if (!input_->WatchEnd([this] { ended_ = true; })) {
        const std::string why = input_->LastError();
        Teardown();
        sinks_.Error(CantNotify + why);
        return false;
    }
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) {
        const std::string why = std::strerror(errno);
        Teardown();
        sinks_.Error(CantEvent + why);
        return false;
    }
    detector_.Reset();
    stop_ = false;
    started_ = false;
    bool started = false;
    std::string why;
    try {
        thread_ = std::thread([this] { Run(); });
        started = input_->Start();
        if (!started) why = input_->LastError();
    } catch (const std::system_error& e) {
        why = e.code().message();
    }
    if (started) {
        lostName_ = DeviceName(index);
        started_ = true;
        startFailureShown_ = false;
        return true;
    }
    Teardown();
    // Shown once per run of failures, until a start succeeds.
    if (!startFailureShown_) sinks_.Error(CantStart + why);
    startFailureShown_ = true;
    return false;
}

void SoundCapture::StopSoundCapture() { Teardown(); }

void SoundCapture::Teardown() {
    if (thread_.joinable()) {
        stop_ = true;
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t r = ::write(wake_, &one, sizeof one);
        thread_.join();
    }
    // The audio layer's thread is stopped before the ring goes.
    if (open_) input_->Close();
    open_ = false;
    if (wake_ >= 0) ::close(wake_);
    wake_ = -1;
    ring_.reset();
}

void SoundCapture::OnSamples(const int16_t* s, size_t n) {
    // On the audio layer's thread: no locks, no allocation.
    while (n > 0) {
        const uint64_t w = written_.load(std::memory_order_relaxed);
        if (!filling_) {
            if (w - read_.load(std::memory_order_acquire) >= RingBlocks) {
                dropped_ += n;  // the capture thread fell behind
                return;
            }
            filling_ = true;
            fill_ = 0;
        }
        const auto take = static_cast<int32_t>(std::min<size_t>(n, size_t(BlockSamples - fill_)));
        std::memcpy(BlockAt(w) + fill_, s, sizeof(int16_t) * static_cast<size_t>(take));
        fill_ += take;
        s += take;
        n -= static_cast<size_t>(take);
        if (fill_ == BlockSamples) {
            filling_ = false;
            written_.store(w + 1, std::memory_order_release);
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t r = ::write(wake_, &one, sizeof one);
        }
    }
}

void SoundCapture::Run() {
    int64_t lastData = NowMs();
    while (!stop_) {
        pollfd p{wake_, POLLIN, 0};
        const int r = ::poll(&p, 1, WaitMs);
        if (stop_) break;
        if (r > 0) {
            uint64_t value;
            [[maybe_unused]] const ssize_t got = ::read(wake_, &value, sizeof value);
        }
        uint64_t next = read_.load(std::memory_order_relaxed);
        const uint64_t w = written_.load(std::memory_order_acquire);
        for (; next < w && !stop_; ++next) {
            detector_.DetectEdges(BlockAt(next), sizeof(int16_t) * BlockSamples);
            read_.store(next + 1, std::memory_order_release);
            lastData = NowMs();
        }
        if (stop_) break;
        if (!started_) {
            lastData = NowMs();
            continue;
        }
        const bool stalled = stallMs_ > 0 && NowMs() - lastData > stallMs_;
        if (ended_ || stalled || !input_->Active()) {
            sinks_.Lost(DeviceLost + (": " + lostName_));
            return;
        }
    }
}

}  // namespace tovanel
