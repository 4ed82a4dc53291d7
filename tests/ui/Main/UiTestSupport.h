// What the window's tests share: a scripted capture that logs every start
// and stop, dialogs that record messages instead of showing them, and a
// controller on a test database with an assembler of its own.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include "capture/FrameAssembler.h"
#include "database/CodeText.h"
#include "tests/database/DbTestSupport.h"
#include "tests/support/Files.h"
#include "tests/support/Frames.h"
#include "ui/Main/CaptureControl.h"
#include "ui/Main/Dialogs.h"
#include "ui/Main/MainController.h"

namespace tovanel::test {

// Records "start COM", "start Sound", "play", "stop" in order.
class ScriptedCapture : public CaptureControl {
public:
    const CaptureConfig& Config() const override { return config; }
    void SetConfig(const CaptureConfig& c) override { config = c; }
    void SetPulseTime(int32_t v) override { config.PulseTime = v; }
    void SetPulseLevel(int32_t v) override { config.PulseLevel = v; }
    bool StartSource() override {
        log.push_back(next ? "play" : "start " + SourceName(config.CaptureSource));
        next.reset();
        running = true;
        return true;
    }
    void StopSource() override {
        log.push_back("stop");
        next.reset();
        running = false;
    }
    void StopAll() override { running = false; }
    void PlayNext(Recording r) override { next = std::move(r); }
    bool StatusTimerOn() const override {
        return running && (config.CaptureSource == Source::Sound || config.CaptureSource == Source::IgorPlug ||
                           config.CaptureSource == Source::IgorPlug2);
    }
    int32_t TakeLevelPercent() override { return level; }
    std::optional<std::string> TakeUsbStatusLabel() override { return std::exchange(usbLabel, std::nullopt); }
    std::vector<std::string> SoundDevices() override { return {"Default input device", "USB microphone"}; }

    CaptureConfig config;
    std::vector<std::string> log;
    std::optional<Recording> next;
    bool running = false;
    int32_t level = 0;
    std::optional<std::string> usbLabel;
};

class RecordingDialogs : public UserDialogs {
public:
    void ShowMessage(QWidget*, const UserMessage& m) override { messages.push_back(m); }
    void About(QWidget*) override { ++abouts; }
    QString ChooseDataSource(QWidget*, const QString& current) override {
        return chosen.isEmpty() ? current : chosen;
    }
    QString ChooseRecording(QWidget*) override { return recording; }
    std::optional<QString> AskName(QWidget*, const QString& caption, const QString& initial) override {
        questions.push_back(caption + u'|' + initial);
        return name;
    }
    bool Confirm(QWidget*, const QString& text) override {
        questions.push_back(text);
        return yes;
    }
    QString ChoosePicture(QWidget*) override { return picture; }
    QString ChooseImportFile(QWidget*) override { return importFile; }
    std::optional<ExportTarget> ChooseExportFile(QWidget*, const QString& unitName) override {
        questions.push_back(unitName);
        return exportTarget;
    }
    void ShowReport(QWidget*, const UserMessage& m) override { reports.push_back(m); }

    std::vector<UserMessage> messages;
    int abouts = 0;
    QString chosen;     // empty: the user cancels
    QString recording;  // empty: the user cancels
    std::vector<QString> questions;  // input boxes (caption|initial) and questions asked
    std::optional<QString> name;     // the input box's answer; nothing: Cancel
    bool yes = true;                 // the answer to questions
    QString picture;                 // empty: the user cancels
    QString importFile;              // empty: the user cancels
    std::optional<ExportTarget> exportTarget;  // nothing: the user cancels
    std::vector<UserMessage> reports;          // information boxes with a detail
};

// Runs the GUI thread's queued calls until `done` holds (at most 5 s).
template <class Pred>
bool ProcessUntil(Pred done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
inline void ProcessQueued() { QCoreApplication::processEvents(); }

// A frame's code text (period in µs).
inline QString CodeOf(const Durations& d, int32_t periodUs = 0) {
    auto f = FrameOf(d);
    f->Period = periodUs;
    std::string text;
    FormatCodeText(*f, text);
    return QString::fromStdString(text);
}

inline Durations NecRepeatFrame() { return {9000, 2250, 560}; }

// A controller over a test database of either engine, with the scripted
// capture and an assembler that notifies it.
class ControllerTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) return;
        controller = std::make_unique<MainController>(capture, buffer, settings);
        controller->SetSettingsFilePath(dir.File("tovanel.ini", ""));
        controller->SetConnectionString(Db().ConnectionString());
        assembler = std::make_unique<FrameAssembler>(buffer, settings, [this] { return tick; }, controller->Notify());
        QObject::connect(controller.get(), &MainController::message,
                         [this](const UserMessage& m) { messages.push_back(m); });
        QObject::connect(controller.get(), &MainController::searchRan, [this](bool) { ++searches; });
        QObject::connect(controller.get(), &MainController::displayChanged, [this] { ++displays; });
    }

    // FormCreate, then the open step.
    void Start() {
        controller->FormCreate();
        ASSERT_TRUE(controller->FormShow()) << (messages.empty() ? "" : messages.back().text.toStdString());
    }
    // One received frame, as a capture thread hands it on.
    void Receive(const Durations& d, uint32_t gap = UnknownGap) {
        assembler->SubmitFrame(gap, d.data(), static_cast<int32_t>(d.size()));
        ProcessQueued();
    }
    const CodeFrame& Shown() const { return controller->Snapshot().Slots[0]; }
    int32_t UnitColumn(int32_t unitId, const char* column) {
        return Db().Scalar(QStringLiteral("SELECT \"%1\" FROM \"tblUnits\" WHERE \"ID\" = %2").arg(column).arg(unitId))
            .toInt();
    }
    int32_t KeyColumn(int32_t keyId, const char* column) {
        return Db().Scalar(QStringLiteral("SELECT \"%1\" FROM \"tblCodes\" WHERE \"ID\" = %2").arg(column).arg(keyId))
            .toInt();
    }

    TempDir dir;
    ScriptedCapture capture;
    SharedFrameBuffer buffer;
    SharedDecodeSettings settings;
    uint32_t tick = 1000;
    std::unique_ptr<MainController> controller;
    std::unique_ptr<FrameAssembler> assembler;
    std::vector<UserMessage> messages;
    int searches = 0;
    int displays = 0;
};

}  // namespace tovanel::test
