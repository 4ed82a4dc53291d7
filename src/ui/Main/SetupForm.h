// The device setup dialog "Setup": the receiver's radio buttons, one panel
// of settings per receiver, the live level or status, "Close" and "Audio
// mixer". Its logic is DeviceSetup's; this builds the widgets, mirrors the
// settings into them and hands the user's changes on.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QDialog>
#include <QString>

#include "analysis/CodeFrame.h"
#include "ui/Main/DeviceSetup.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTimer;

namespace tovanel {

class CaptureControl;
class UserDialogs;

class TSetupForm : public QDialog {
public:
    struct Links {
        // The main window's Record handler, run after each hide.
        std::function<void()> record0Execute;
        // Receives the database connection string read at creation.
        std::function<void(const QString&)> setConnectionString;
    };

    TSetupForm(CaptureControl& capture, SharedDecodeSettings& settings, SharedFrameBuffer& buffer,
               std::string settingsPath, Links links, UserDialogs& dialogs, QWidget* parent = nullptr);
    ~TSetupForm() override;

    DeviceSetup& Logic() { return logic_; }
    // One tick of StatusTimer (the timer calls it every 100 ms).
    void StatusTimerTimer();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void FormCreate(SharedDecodeSettings& settings, SharedFrameBuffer& buffer);
    void ShowConfig();
    void ShowSourcePanel(int32_t source);
    void UpdateTimer();
    void MixerButtonClick();

    CaptureControl& capture_;
    Links links_;
    UserDialogs& dialogs_;
    DeviceSetup logic_;

    QButtonGroup* sources_;
    QStackedWidget* panels_;
    QPushButton* closeButton_;
    QPushButton* mixerButton_;
    QSpinBox* comUpDown_;
    QComboBox* signalCombo_;
    QPushButton* applyButton_;
    QCheckBox* dualPowerButton_;
    QComboBox* deviceCombo_;
    QSpinBox* pulseSmpData_;
    QSpinBox* pulseLevelData_;
    QLabel* pulseLevelPanel_;
    QLabel* igorPlugStatus_;
    QLabel* igorPlug2Status_;
    QLineEdit* lircDevice_;
    QTimer* statusTimer_;
};

}  // namespace tovanel
