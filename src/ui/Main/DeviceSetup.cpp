#include "ui/Main/DeviceSetup.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "capture/Setup/IniFile.h"
#include "ui/Main/CaptureControl.h"

namespace tovanel {

DeviceSetup::DeviceSetup(CaptureControl& capture, std::string settingsPath, std::function<void()> reapplyRecord)
    : capture_(capture), settingsPath_(std::move(settingsPath)), reapplyRecord_(std::move(reapplyRecord)) {}

const CaptureConfig& DeviceSetup::Config() const { return capture_.Config(); }

std::string DeviceSetup::Create() {
    const IniFile ini(settingsPath_);
    CaptureConfig config = capture_.Config();
    LoadCaptureConfig(ini, config);
    capture_.SetConfig(config);
    // The double-power box starts unchecked in the dialog's design, so
    // setting it from the file counts as a change that "Apply" would take.
    applyEnabled_ = config.DualPower;
    return DatabaseConnectionString(ini);
}

void DeviceSetup::Show() {
    visible_ = true;
    capture_.StartSource();
}

bool DeviceSetup::Hide(std::string* error) {
    visible_ = false;
    capture_.StopSource();
    IniFile ini(settingsPath_);
    SaveCaptureConfig(ini, capture_.Config());
    const bool saved = ini.Save(error);
    if (reapplyRecord_) reapplyRecord_();
    return saved;
}

void DeviceSetup::Change(const std::function<void(CaptureConfig&)>& edit) {
    CaptureConfig config = capture_.Config();
    edit(config);
    capture_.SetConfig(config);
}

void DeviceSetup::Restart() {
    capture_.StopSource();
    capture_.StartSource();
}

void DeviceSetup::SelectSource(int32_t source) {
    if (visible_) capture_.StopSource();  // still the old receiver
    Change([source](CaptureConfig& c) { c.CaptureSource = source; });
    if (visible_) capture_.StartSource();
}

void DeviceSetup::SetCom(int32_t com) {
    Change([com](CaptureConfig& c) { c.Com = com; });
    applyEnabled_ = true;
}

void DeviceSetup::SetSignalSource(int32_t line) {
    Change([line](CaptureConfig& c) { c.SignalSource = line; });
    applyEnabled_ = true;
}

void DeviceSetup::SetDualPower(bool on) {
    Change([on](CaptureConfig& c) { c.DualPower = on; });
    applyEnabled_ = true;
}

void DeviceSetup::Apply() {
    Restart();
    applyEnabled_ = false;
}

void DeviceSetup::SetDeviceIndex(int32_t index) {
    Change([index](CaptureConfig& c) { c.DeviceIndex = index; });
    if (visible_) Restart();
}

void DeviceSetup::SetPulseTime(int32_t samples) { capture_.SetPulseTime(samples); }
void DeviceSetup::SetPulseLevel(int32_t percent) { capture_.SetPulseLevel(percent); }

void DeviceSetup::SetLircDevice(const std::string& path) {
    if (path == capture_.Config().LircDevice) return;
    Change([&path](CaptureConfig& c) { c.LircDevice = path; });
    if (visible_ && capture_.Config().CaptureSource == Source::Lirc) Restart();
}

bool DeviceSetup::TimerOn() const { return capture_.StatusTimerOn(); }

DeviceSetup::Tick DeviceSetup::StatusTimerTimer() {
    Tick tick;
    switch (capture_.Config().CaptureSource) {
        case Source::Sound: tick.level = std::to_string(capture_.TakeLevelPercent()); break;
        case Source::IgorPlug:
        case Source::IgorPlug2: tick.usbStatus = capture_.TakeUsbStatusLabel(); break;
        default: break;
    }
    return tick;
}

bool StartAudioMixer(std::string& error) {
    struct Mixer {
        const char* program;
        QStringList arguments;
        bool inTerminal;
    };
    const Mixer mixers[] = {
        {"pavucontrol", {}, false},
        {"gnome-control-center", {QStringLiteral("sound")}, false},
        {"alsamixer", {}, true},
    };
    for (const Mixer& m : mixers) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(m.program));
        if (path.isEmpty()) continue;
        if (!m.inTerminal) {
            if (QProcess::startDetached(path, m.arguments)) return true;
            continue;
        }
        for (const char* terminal : {"x-terminal-emulator", "gnome-terminal", "konsole", "xterm"}) {
            const QString term = QStandardPaths::findExecutable(QString::fromLatin1(terminal));
            if (!term.isEmpty() && QProcess::startDetached(term, {QStringLiteral("-e"), path})) return true;
        }
    }
    error = "No audio mixer was found. Install pavucontrol (or alsamixer and a terminal) to set the "
            "sound input's level.";
    return false;
}

}  // namespace tovanel
