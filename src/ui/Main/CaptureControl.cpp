#include "ui/Main/CaptureControl.h"

#include "capture/Setup/CaptureSources.h"

namespace tovanel {

ProgramCapture::ProgramCapture(FrameAssembler& assembler, SharedFrameBuffer& buffer, CaptureSinks sinks)
    : assembler_(assembler),
      buffer_(buffer),
      sources_(std::make_unique<CaptureSources>(assembler, buffer, std::move(sinks))),
      player_([&assembler](uint32_t gap, const int32_t* d, int32_t n, const int16_t* s, int32_t sc) {
          assembler.SubmitFrame(gap, d, n, s, sc);
      }) {}

ProgramCapture::~ProgramCapture() { StopAll(); }

const CaptureConfig& ProgramCapture::Config() const { return sources_->Config(); }
void ProgramCapture::SetConfig(const CaptureConfig& config) { sources_->SetConfig(config); }
void ProgramCapture::SetPulseTime(int32_t samples) { sources_->SetPulseTime(samples); }
void ProgramCapture::SetPulseLevel(int32_t percent) { sources_->SetPulseLevel(percent); }

bool ProgramCapture::StartSource() {
    if (!next_) {
        player_.Stop();
        return sources_->StartSource();
    }
    Recording recording = std::move(*next_);
    StopSource();
    buffer_.Reset();
    assembler_.SetCaptureSource(RecordingSource);
    player_.Start(std::move(recording));
    return true;
}

void ProgramCapture::StopSource() {
    next_.reset();
    player_.Stop();
    sources_->StopSource();
}

void ProgramCapture::StopAll() {
    next_.reset();
    player_.Stop();
    sources_->StopAll();
}

void ProgramCapture::PlayNext(Recording recording) { next_ = std::move(recording); }

bool ProgramCapture::StatusTimerOn() const { return sources_->StatusTimerOn(); }
int32_t ProgramCapture::TakeLevelPercent() { return sources_->TakeLevelPercent(); }
std::optional<std::string> ProgramCapture::TakeUsbStatusLabel() { return sources_->TakeUsbStatusLabel(); }

std::vector<std::string> ProgramCapture::SoundDevices() { return sources_->SoundDevices(); }

}  // namespace tovanel
