// Capture from an IR receiver on the sound card's input: the input runs at
// 48 kHz, 16-bit mono, and every block of 4096 samples goes, in order, to
// the edge detector on the capture thread, which hands each frame on.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/CaptureSink.h"
#include "capture/EdgeDetector.h"

namespace tovanel {

// The audio layer, as the capture needs it; PortAudio in the program, a
// fake in tests.
class AudioInput {
public:
    // Receives captured samples on the audio layer's own thread.
    using Samples = std::function<void(const int16_t* samples, size_t count)>;

    virtual ~AudioInput() = default;
    // The capture devices: entry 0 stands for the system's default device,
    // then every input device by name.
    virtual std::vector<std::string> Devices() = 0;
    // Opens list entry `index` (−1: the default device) for 48 kHz 16-bit
    // mono input, delivering to `samples` once started.
    virtual bool Open(int index, Samples samples) = 0;
    // The sample rate of the open stream.
    virtual double SampleRate() = 0;
    // Registers `ended`, called when the stream ends by itself.
    virtual bool WatchEnd(std::function<void()> ended) = 0;
    virtual bool Start() = 0;
    // False once the stream has stopped running.
    virtual bool Active() = 0;
    // Stops and releases everything; harmless when nothing is open.
    virtual void Close() = 0;
    // Why the last Open, WatchEnd or Start failed, in the audio layer's words.
    virtual std::string LastError() const { return "unknown error"; }
};

std::unique_ptr<AudioInput> MakePortAudioInput();

class SoundCapture {
public:
    static constexpr int32_t BlockSamples = 4096;
    static constexpr uint32_t RingBlocks = 16;  // 1.4 s of input between the threads
    static constexpr int WaitMs = 100;          // the capture thread sees a stop this soon

    struct Options {
        std::unique_ptr<AudioInput> input;  // default: PortAudio
        // No block for this long while running means the device is gone;
        // 0 never.
        int stallMs = 2000;
    };

    SoundCapture(CaptureSinks sinks, Options options);
    explicit SoundCapture(CaptureSinks sinks);
    ~SoundCapture();
    SoundCapture(const SoundCapture&) = delete;
    SoundCapture& operator=(const SoundCapture&) = delete;

    // Enumerates the devices again; the list is also built at the first start.
    const std::vector<std::string>& RefreshDevices();
    const std::vector<std::string>& Devices() const { return devices_; }
    void SetDeviceIndex(int32_t index) { deviceIndex_ = index; }
    int32_t DeviceIndex() const { return deviceIndex_; }

    EdgeDetector& Detector() { return detector_; }

    bool StartSoundCapture();
    void StopSoundCapture();
    bool Running() const { return thread_.joinable(); }
    // Samples dropped because the capture thread fell behind.
    uint64_t DroppedSamples() const { return dropped_.load(); }

private:
    void Teardown();
    std::string DeviceName(int index) const;
    void OnSamples(const int16_t* s, size_t n);
    void Run();
    int16_t* BlockAt(uint64_t index) { return ring_.get() + (index % RingBlocks) * BlockSamples; }

    CaptureSinks sinks_;
    std::unique_ptr<AudioInput> input_;
    int stallMs_;
    EdgeDetector detector_;
    std::vector<std::string> devices_;
    bool listed_ = false;
    int32_t deviceIndex_ = 0;
    bool startFailureShown_ = false;
    std::string lostName_;  // the running device, for the message when it goes
    bool open_ = false;

    // Blocks handed from the audio thread (producer) to the capture thread.
    std::unique_ptr<int16_t[]> ring_;
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> read_{0};
    int32_t fill_ = 0;
    bool filling_ = false;
    std::atomic<uint64_t> dropped_{0};
    std::atomic<bool> ended_{false};

    int wake_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> started_{false};  // the liveness checks wait for the start
    std::thread thread_;
};

}  // namespace tovanel
