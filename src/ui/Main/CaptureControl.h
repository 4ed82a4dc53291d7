// The window's one switch over capture: StartSource and StopSource, the
// receivers' settings, and what the setup dialog shows while a receiver
// runs. The program's implementation drives the real receivers and, for
// "Open recording...", a recorded key press played through the same frame
// assembler; the tests put a scripted one in its place.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureSink.h"
#include "capture/FrameAssembler.h"
#include "capture/Setup/CaptureConfig.h"
#include "ui/Main/RecordingFile.h"

namespace tovanel {

class CaptureSources;

class CaptureControl {
public:
    virtual ~CaptureControl() = default;

    virtual const CaptureConfig& Config() const = 0;
    virtual void SetConfig(const CaptureConfig& config) = 0;
    // Take effect at once in a running sound capture.
    virtual void SetPulseTime(int32_t samples) = 0;
    virtual void SetPulseLevel(int32_t percent) = 0;

    // Stops what runs, empties the recording buffer and starts the
    // selected receiver, or the recording handed to PlayNext when there is
    // one. True when it runs; a failed start has reported itself.
    virtual bool StartSource() = 0;
    virtual void StopSource() = 0;
    // Stops every receiver and the player (at the end of the program).
    virtual void StopAll() = 0;

    // The next StartSource plays this recording instead of starting a
    // receiver, once; a StopSource before that start forgets it.
    virtual void PlayNext(Recording recording) = 0;

    // On while a receiver with a live display runs (sound card, USB).
    virtual bool StatusTimerOn() const = 0;
    virtual int32_t TakeLevelPercent() = 0;
    virtual std::optional<std::string> TakeUsbStatusLabel() = 0;
    virtual std::vector<std::string> SoundDevices() = 0;
};

// Marks frames played from a recording for the assembler (no receiver
// number: no receiver's rules apply to them).
inline constexpr int32_t RecordingSource = 6;

// The real receivers (CaptureSources) and the recording player.
class ProgramCapture : public CaptureControl {
public:
    ProgramCapture(FrameAssembler& assembler, SharedFrameBuffer& buffer, CaptureSinks sinks);
    ~ProgramCapture() override;

    const CaptureConfig& Config() const override;
    void SetConfig(const CaptureConfig& config) override;
    void SetPulseTime(int32_t samples) override;
    void SetPulseLevel(int32_t percent) override;
    bool StartSource() override;
    void StopSource() override;
    void StopAll() override;
    void PlayNext(Recording recording) override;
    bool StatusTimerOn() const override;
    int32_t TakeLevelPercent() override;
    std::optional<std::string> TakeUsbStatusLabel() override;
    std::vector<std::string> SoundDevices() override;

private:
    FrameAssembler& assembler_;
    SharedFrameBuffer& buffer_;
    std::unique_ptr<CaptureSources> sources_;
    RecordingPlayer player_;
    std::optional<Recording> next_;
};

}  // namespace tovanel
