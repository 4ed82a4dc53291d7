// What the device setup dialog does, without its widgets: reading the
// settings file at creation, running the selected receiver while the dialog
// is shown, restarting it on every change of receiver, device or "Apply",
// writing the settings file when the dialog is hidden and handing the
// Record state back to the main window.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "capture/Setup/CaptureConfig.h"

namespace tovanel {

class CaptureControl;

class DeviceSetup {
public:
    // `reapplyRecord` is the main window's Record handler, run after each
    // hide; `settingsPath` the settings file.
    DeviceSetup(CaptureControl& capture, std::string settingsPath, std::function<void()> reapplyRecord);

    // Reads the receivers' settings from the settings file into the capture
    // and returns the database connection string ("Setup"/"DB").
    std::string Create();

    const CaptureConfig& Config() const;
    bool Visible() const { return visible_; }
    bool ApplyEnabled() const { return applyEnabled_; }
    const std::string& SettingsPath() const { return settingsPath_; }

    // The dialog appears: the selected receiver starts.
    void Show();
    // The dialog goes: the receiver stops, the settings are written, and
    // the main window's Record state decides again. False with a message
    // when the settings file could not be written (the rest happens all
    // the same).
    bool Hide(std::string* error = nullptr);

    // The receiver's radio button: restarts while the dialog is shown.
    void SelectSource(int32_t source);
    // The serial port's settings take effect by "Apply".
    void SetCom(int32_t com);
    void SetSignalSource(int32_t line);
    void SetDualPower(bool on);
    void Apply();
    // The sound device restarts at once while shown; the detector's
    // parameters take effect in the running capture.
    void SetDeviceIndex(int32_t index);
    void SetPulseTime(int32_t samples);
    void SetPulseLevel(int32_t percent);
    // The LIRC device path restarts at once while shown.
    void SetLircDevice(const std::string& path);

    // Whether the 100 ms status timer runs (sound card and USB receivers).
    bool TimerOn() const;
    // One tick of the status timer: the sound level in percent, or a new
    // text for the USB receiver's status label.
    struct Tick {
        std::optional<std::string> level;
        std::optional<std::string> usbStatus;
    };
    Tick StatusTimerTimer();

private:
    void Change(const std::function<void(CaptureConfig&)>& edit);
    void Restart();

    CaptureControl& capture_;
    std::string settingsPath_;
    std::function<void()> reapplyRecord_;
    bool visible_ = false;
    bool applyEnabled_ = false;
};

// Starts the desktop's audio mixer: the first found of pavucontrol, GNOME's
// sound settings, or alsamixer in a terminal. False with a message when
// there is none.
bool StartAudioMixer(std::string& error);

}  // namespace tovanel
