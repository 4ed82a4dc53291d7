// The main window's handling of one frame notification with a full
// recording buffer: ten slots of 199 durations with raw samples, the result
// panels, and the oscillogram painted into the paint box's image.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include <QApplication>

#include "analysis/Analyzer.h"
#include "ui/Main/CaptureControl.h"
#include "ui/Main/Dialogs.h"
#include "ui/Main/MainController.h"
#include "ui/Main/MainForm.h"

namespace tovanel {
namespace {

// A capture that never runs: the benchmark fills the buffer itself.
class IdleCapture : public CaptureControl {
public:
    const CaptureConfig& Config() const override { return config_; }
    void SetConfig(const CaptureConfig& c) override { config_ = c; }
    void SetPulseTime(int32_t) override {}
    void SetPulseLevel(int32_t) override {}
    bool StartSource() override { return true; }
    void StopSource() override {}
    void StopAll() override {}
    void PlayNext(Recording) override {}
    bool StatusTimerOn() const override { return false; }
    int32_t TakeLevelPercent() override { return 0; }
    std::optional<std::string> TakeUsbStatusLabel() override { return std::nullopt; }
    std::vector<std::string> SoundDevices() override { return {}; }

private:
    CaptureConfig config_;
};

class NoDialogs : public UserDialogs {
public:
    void ShowMessage(QWidget*, const UserMessage&) override {}
    void About(QWidget*) override {}
    QString ChooseDataSource(QWidget*, const QString& current) override { return current; }
    QString ChooseRecording(QWidget*) override { return {}; }
};

// Ten analysed slots of 199 durations each: a header, 98 pulse-distance
// bits and a final mark, with a raw signal of 4096 samples under each.
void FillBuffer(SharedFrameBuffer& shared) {
    std::lock_guard lock(shared.Mutex());
    FrameBuffer& b = shared.Locked();
    ResetFrameBuffer(b);
    DecodeSettings layout;
    layout.AdrStart = 2;
    layout.AdrBits = 32;
    layout.CmdStart = 66;
    layout.CmdBits = 32;
    for (int k = 0; k < SlotCount; ++k) {
        CodeFrame& f = b.Slots[k];
        f.Count = 199;
        f.Durations[0] = 9000;
        f.Durations[1] = 4500;
        for (int i = 2; i < 198; i += 2) {
            f.Durations[i] = 560 + (i * 7 + k) % 40;
            f.Durations[i + 1] = ((i * 13 + k) % 3 == 0) ? 1690 : 560;
        }
        f.Durations[198] = 560;
        f.Total = 0;
        for (int i = 0; i < f.Count; ++i) f.Total += f.Durations[i];
        f.Period = k == 0 ? 0 : 40000 + b.Slots[k - 1].Total;
        f.SlotIndex = k;
        f.SampleCount = MaxSamples;
        for (int j = 0; j < MaxSamples; ++j)
            f.Samples[j] = static_cast<int16_t>(20000 * std::sin(j * 0.3) + ((j / 40) % 2 ? 6000 : -6000));
        AnalyzeFrame(f, 0, 0, layout);
    }
    b.FillCount = SlotCount;
}

void BM_FrameNotificationFullBuffer(benchmark::State& state) {
    IdleCapture capture;
    auto buffer = std::make_unique<SharedFrameBuffer>();
    SharedDecodeSettings settings;
    MainController controller(capture, *buffer, settings);
    NoDialogs dialogs;
    TMainForm form(controller, dialogs);
    controller.UserRecord(true);  // as while capturing: no database work
    QCoreApplication::processEvents();
    FillBuffer(*buffer);
    for (auto _ : state) controller.FrameNotification(SlotCount - 1);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_FrameNotificationFullBuffer)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tovanel

// The painter's and the window's benchmarks share one application object on
// the offscreen platform: text needs Qt's GUI library, nothing is shown.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
