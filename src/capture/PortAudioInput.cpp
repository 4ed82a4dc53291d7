// The sound input on PortAudio.
#include <portaudio.h>

#include <cstdarg>
#include <cstring>
#include <mutex>
#include <string>

#include <dlfcn.h>

#include "capture/SoundCapture.h"

namespace tovanel {

namespace {

constexpr const char* DefaultDeviceName = "Default input device";

// The audio libraries below PortAudio print their complaints about missing
// sound hardware on standard error; the capture reports its own failures,
// so those are silenced. The functions are looked up at run time, so
// nothing is needed when a library is not there.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
void QuietJack(const char*) {}

void SilenceAudioLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);
        if (auto set = reinterpret_cast<int (*)(AlsaHandler)>(dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler")))
            set(QuietAlsa);
        using JackHandler = void (*)(const char*);
        for (const char* name : {"jack_set_error_function", "jack_set_info_function"})
            if (auto set = reinterpret_cast<void (*)(JackHandler)>(dlsym(RTLD_DEFAULT, name))) set(QuietJack);
    });
}

// Every input device, in PortAudio's order.
std::vector<PaDeviceIndex> InputDevices() {
    std::vector<PaDeviceIndex> list;
    const PaDeviceIndex n = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < n; ++i)
        if (const PaDeviceInfo* info = Pa_GetDeviceInfo(i); info != nullptr && info->maxInputChannels > 0)
            list.push_back(i);
    return list;
}

class PortAudioInput final : public AudioInput {
public:
    ~PortAudioInput() override { Close(); }

    std::vector<std::string> Devices() override {
        SilenceAudioLibraries();
        std::vector<std::string> names{DefaultDeviceName};
        if (Pa_Initialize() != paNoError) return names;
        for (PaDeviceIndex i : InputDevices()) names.emplace_back(Pa_GetDeviceInfo(i)->name);
        Pa_Terminate();
        return names;
    }

    bool Open(int index, Samples samples) override {
        Close();
        SilenceAudioLibraries();
        if (!Check(Pa_Initialize())) return false;
        initialised_ = true;
        samples_ = std::move(samples);
        PaDeviceIndex device = Pa_GetDefaultInputDevice();
        const std::vector<PaDeviceIndex> inputs = InputDevices();
        if (index >= 1 && static_cast<size_t>(index) <= inputs.size()) device = inputs[static_cast<size_t>(index) - 1];
        const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
        if (info == nullptr) {
            lastError_ = index >= 1 ? "no such input device" : "no default input device";
            return false;
        }
        PaStreamParameters in{};
        in.device = device;
        in.channelCount = 1;
        in.sampleFormat = paInt16;
        in.suggestedLatency = info->defaultLowInputLatency;
        return Check(Pa_OpenStream(&stream_, &in, nullptr, EdgeDetector::SampleRate, SoundCapture::BlockSamples,
                                   paClipOff, &PortAudioInput::Callback, this));
    }

    double SampleRate() override {
        const PaStreamInfo* info = stream_ ? Pa_GetStreamInfo(stream_) : nullptr;
        return info ? info->sampleRate : 0;
    }

    bool WatchEnd(std::function<void()> ended) override {
        ended_ = std::move(ended);
        return stream_ && Check(Pa_SetStreamFinishedCallback(stream_, &PortAudioInput::Finished));
    }

    bool Start() override { return stream_ && Check(Pa_StartStream(stream_)); }

    std::string LastError() const override { return lastError_; }

    bool Active() override { return stream_ && Pa_IsStreamActive(stream_) == 1; }

    void Close() override {
        if (stream_ != nullptr) {
            Pa_AbortStream(stream_);
            Pa_CloseStream(stream_);
            stream_ = nullptr;
        }
        if (initialised_) Pa_Terminate();
        initialised_ = false;
    }

private:
    // Keeps PortAudio's text of a failure (and the host's, where it has one).
    bool Check(PaError error) {
        if (error == paNoError) return true;
        lastError_ = Pa_GetErrorText(error);
        if (error == paUnanticipatedHostError)
            if (const PaHostErrorInfo* host = Pa_GetLastHostErrorInfo(); host && host->errorText && *host->errorText)
                lastError_ += std::string(" (") + host->errorText + ")";
        return false;
    }

    static int Callback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* self) {
        auto* me = static_cast<PortAudioInput*>(self);
        if (input != nullptr && me->samples_) me->samples_(static_cast<const int16_t*>(input), frames);
        return paContinue;
    }

    static void Finished(void* self) {
        auto* me = static_cast<PortAudioInput*>(self);
        if (me->ended_) me->ended_();
    }

    PaStream* stream_ = nullptr;
    bool initialised_ = false;
    Samples samples_;
    std::function<void()> ended_;
    std::string lastError_ = "unknown error";
};

}  // namespace

std::unique_ptr<AudioInput> MakePortAudioInput() { return std::make_unique<PortAudioInput>(); }

}  // namespace tovanel
