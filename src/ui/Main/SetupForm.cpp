#include "ui/Main/SetupForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "capture/CaptureSink.h"
#include "ui/Main/CaptureControl.h"
#include "ui/Main/Dialogs.h"

namespace tovanel {

namespace {

constexpr int StatusTimerMs = 100;

// The note beside the double-power box, as four lines.
const char* const DualPowerNote[] = {
    "При двойном питании RTS и DTR ",
    "= +12В передача невозможна. ",
    "Иначе DTR = -12В и также ",
    "используется при передаче.",
};

QSpinBox* UpDown(const char* name, int lo, int hi, QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(lo, hi);
    return spin;
}

QLabel* Named(QLabel* label, const char* name) {
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

}  // namespace

TSetupForm::TSetupForm(CaptureControl& capture, SharedDecodeSettings& settings, SharedFrameBuffer& buffer,
                       std::string settingsPath, Links links, UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent),
      capture_(capture),
      links_(std::move(links)),
      dialogs_(dialogs),
      logic_(capture, std::move(settingsPath), links_.record0Execute) {
    setObjectName(QStringLiteral("SetupForm"));
    setWindowTitle(QStringLiteral("Setup"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    // Top: the receivers, and on the right "Close" and "Audio mixer".
    sources_ = new QButtonGroup(this);
    auto* radios = new QGridLayout;
    const char* const captions[] = {"COM port", "Sound card", "IgorPlug-USB", "IgorPlug2", "LIRC device"};
    for (int32_t s = Source::Com; s <= Source::Lirc; ++s) {
        auto* radio = new QRadioButton(QString::fromUtf8(captions[s - 1]), this);
        radio->setObjectName(QStringLiteral("SourceButton%1").arg(s));
        sources_->addButton(radio, s);
        radios->addWidget(radio, (s - 1) / 3, (s - 1) % 3);
    }
    closeButton_ = new QPushButton(QStringLiteral("Close"), this);
    closeButton_->setObjectName(QStringLiteral("Button1"));
    closeButton_->setDefault(true);
    mixerButton_ = new QPushButton(QStringLiteral("Audio mixer"), this);
    mixerButton_->setObjectName(QStringLiteral("MixerButton"));
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(closeButton_);
    buttons->addWidget(mixerButton_);
    buttons->addStretch(1);

    panels_ = new QStackedWidget(this);
    panels_->setObjectName(QStringLiteral("Panels"));

    // "COM"
    auto* com = new QFrame(panels_);
    com->setObjectName(QStringLiteral("COM"));
    comUpDown_ = UpDown("ComUpDown", 1, 32, com);
    comUpDown_->findChild<QLineEdit*>()->setReadOnly(true);  // the arrows change it
    signalCombo_ = new QComboBox(com);
    signalCombo_->setObjectName(QStringLiteral("SignalCombo"));
    signalCombo_->addItems({QStringLiteral("DCD"), QStringLiteral("DSR"), QStringLiteral("CTS"), QStringLiteral("RING")});
    applyButton_ = new QPushButton(QStringLiteral("Apply"), com);
    applyButton_->setObjectName(QStringLiteral("ApplyButton"));
    dualPowerButton_ = new QCheckBox(QStringLiteral("Double power (RTS+DTR)"), com);
    dualPowerButton_->setObjectName(QStringLiteral("DualPowerButton"));
    QStringList note;
    for (const char* line : DualPowerNote) note << QString::fromUtf8(line);
    auto* noteLabel = Named(new QLabel(note.join(u'\n'), com), "Memo1");
    noteLabel->setFrameShape(QFrame::StyledPanel);
    noteLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* comRow = new QHBoxLayout;
    comRow->addWidget(new QLabel(QStringLiteral("COM"), com));
    comRow->addWidget(comUpDown_);
    comRow->addWidget(signalCombo_);
    comRow->addWidget(applyButton_);
    comRow->addStretch(1);
    auto* comLayout = new QGridLayout(com);
    comLayout->addLayout(comRow, 0, 0);
    comLayout->addWidget(dualPowerButton_, 1, 0);
    comLayout->addWidget(noteLabel, 0, 1, 2, 1);
    comLayout->setColumnStretch(0, 1);
    panels_->addWidget(com);

    // "Sound"
    auto* sound = new QFrame(panels_);
    sound->setObjectName(QStringLiteral("Sound"));
    deviceCombo_ = new QComboBox(sound);
    deviceCombo_->setObjectName(QStringLiteral("DCaptureDevCombo"));
    deviceCombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    deviceCombo_->setMinimumContentsLength(24);
    pulseSmpData_ = UpDown("PulseSmpData", 1, 1000, sound);
    pulseLevelData_ = UpDown("PulseLevelData", 1, 100, sound);
    pulseLevelPanel_ = Named(new QLabel(QStringLiteral("0"), sound), "PulseLevelPanel");
    pulseLevelPanel_->setFrameShape(QFrame::Panel);
    pulseLevelPanel_->setFrameShadow(QFrame::Sunken);
    pulseLevelPanel_->setMinimumWidth(pulseLevelPanel_->fontMetrics().horizontalAdvance(QStringLiteral("0000")));
    pulseLevelPanel_->setAlignment(Qt::AlignCenter);
    auto* soundLayout = new QGridLayout(sound);
    soundLayout->addWidget(deviceCombo_, 0, 0, 1, 4);
    soundLayout->addWidget(new QLabel(QStringLiteral("Max front length"), sound), 1, 0);
    soundLayout->addWidget(pulseSmpData_, 1, 1);
    soundLayout->addWidget(new QLabel(QStringLiteral("Min front level (%)"), sound), 2, 0);
    soundLayout->addWidget(pulseLevelData_, 2, 1);
    soundLayout->addWidget(new QLabel(QStringLiteral("Current level: "), sound), 2, 2, Qt::AlignRight);
    soundLayout->addWidget(pulseLevelPanel_, 2, 3);
    soundLayout->setColumnStretch(2, 1);
    panels_->addWidget(sound);

    // "IgorPlug-USB", "IgorPlug2-USB"
    auto usbPanel = [&](const char* name, const char* labelName) {
        auto* panel = new QFrame(panels_);
        panel->setObjectName(QString::fromLatin1(name));
        auto* label = Named(new QLabel(QStringLiteral("Status:"), panel), labelName);
        auto* layout = new QVBoxLayout(panel);
        layout->addWidget(label);
        layout->addStretch(1);
        panels_->addWidget(panel);
        return label;
    };
    igorPlugStatus_ = usbPanel("IgorPlug-USB", "IgorPlugStatusLabel");
    igorPlug2Status_ = usbPanel("IgorPlug2-USB", "IgorPlug2StatusLabel");

    // "LIRC"
    auto* lirc = new QFrame(panels_);
    lirc->setObjectName(QStringLiteral("LIRC"));
    lircDevice_ = new QLineEdit(lirc);
    lircDevice_->setObjectName(QStringLiteral("LircDeviceEdit"));
    auto* lircLayout = new QGridLayout(lirc);
    lircLayout->addWidget(new QLabel(QStringLiteral("Device:"), lirc), 0, 0);
    lircLayout->addWidget(lircDevice_, 0, 1);
    lircLayout->setRowStretch(1, 1);
    panels_->addWidget(lirc);

    auto* top = new QHBoxLayout;
    top->addLayout(radios, 1);
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(panels_, 1);

    statusTimer_ = new QTimer(this);
    statusTimer_->setObjectName(QStringLiteral("StatusTimer"));
    statusTimer_->setInterval(StatusTimerMs);

    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(mixerButton_, &QPushButton::clicked, this, &TSetupForm::MixerButtonClick);
    connect(sources_, &QButtonGroup::idClicked, this, [this](int id) {
        logic_.SelectSource(id);
        ShowSourcePanel(id);
        UpdateTimer();
    });
    connect(comUpDown_, &QSpinBox::valueChanged, this, [this](int v) {
        logic_.SetCom(v);
        applyButton_->setEnabled(logic_.ApplyEnabled());
    });
    connect(signalCombo_, &QComboBox::currentIndexChanged, this, [this](int i) {
        logic_.SetSignalSource(i);
        applyButton_->setEnabled(logic_.ApplyEnabled());
    });
    connect(dualPowerButton_, &QCheckBox::toggled, this, [this](bool on) {
        logic_.SetDualPower(on);
        applyButton_->setEnabled(logic_.ApplyEnabled());
    });
    connect(applyButton_, &QPushButton::clicked, this, [this] {
        logic_.Apply();
        applyButton_->setEnabled(logic_.ApplyEnabled());
        UpdateTimer();
    });
    connect(deviceCombo_, &QComboBox::currentIndexChanged, this, [this](int i) {
        logic_.SetDeviceIndex(i);
        UpdateTimer();
    });
    connect(pulseSmpData_, &QSpinBox::valueChanged, this, [this](int v) { logic_.SetPulseTime(v); });
    connect(pulseLevelData_, &QSpinBox::valueChanged, this, [this](int v) { logic_.SetPulseLevel(v); });
    connect(lircDevice_, &QLineEdit::editingFinished, this, [this] {
        logic_.SetLircDevice(lircDevice_->text().trimmed().toStdString());
        UpdateTimer();
    });
    connect(statusTimer_, &QTimer::timeout, this, &TSetupForm::StatusTimerTimer);

    FormCreate(settings, buffer);
}

TSetupForm::~TSetupForm() { capture_.StopAll(); }

void TSetupForm::FormCreate(SharedDecodeSettings& settings, SharedFrameBuffer& buffer) {
    settings.Set(DecodeSettings{});
    buffer.Reset();
    {
        const QSignalBlocker block(deviceCombo_);
        for (const std::string& device : capture_.SoundDevices()) deviceCombo_->addItem(QString::fromStdString(device));
    }
    const std::string connection = logic_.Create();
    if (links_.setConnectionString) links_.setConnectionString(QString::fromStdString(connection));
    ShowConfig();
}

void TSetupForm::ShowConfig() {
    const CaptureConfig& c = logic_.Config();
    const QSignalBlocker b1(comUpDown_), b2(signalCombo_), b3(dualPowerButton_), b4(deviceCombo_),
        b5(pulseSmpData_), b6(pulseLevelData_);
    if (auto* radio = sources_->button(c.CaptureSource)) radio->setChecked(true);
    ShowSourcePanel(c.CaptureSource);
    // Values beyond a list show its first entry; the capture treats them
    // the same way (default device, DCD line).
    deviceCombo_->setCurrentIndex(c.DeviceIndex >= 0 && c.DeviceIndex < deviceCombo_->count() ? c.DeviceIndex : 0);
    pulseSmpData_->setValue(c.PulseTime);
    pulseLevelData_->setValue(c.PulseLevel);
    comUpDown_->setValue(c.Com);
    dualPowerButton_->setChecked(c.DualPower);
    signalCombo_->setCurrentIndex(c.SignalSource >= 0 && c.SignalSource < signalCombo_->count() ? c.SignalSource : 0);
    lircDevice_->setText(QString::fromStdString(c.LircDevice));
    applyButton_->setEnabled(logic_.ApplyEnabled());
}

void TSetupForm::ShowSourcePanel(int32_t source) {
    if (source >= Source::Com && source <= Source::Lirc) panels_->setCurrentIndex(source - Source::Com);
    mixerButton_->setVisible(source == Source::Sound);
}

void TSetupForm::UpdateTimer() {
    if (logic_.Visible() && logic_.TimerOn()) {
        if (!statusTimer_->isActive()) statusTimer_->start();
    } else {
        statusTimer_->stop();
    }
}

void TSetupForm::StatusTimerTimer() {
    const DeviceSetup::Tick tick = logic_.StatusTimerTimer();
    if (tick.level) pulseLevelPanel_->setText(QString::fromStdString(*tick.level));
    if (tick.usbStatus) {
        QLabel* label = logic_.Config().CaptureSource == Source::IgorPlug ? igorPlugStatus_ : igorPlug2Status_;
        label->setText(QString::fromStdString(*tick.usbStatus));
    }
}

void TSetupForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous() || logic_.Visible()) return;
    logic_.Show();
    UpdateTimer();
}

void TSetupForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous() || !logic_.Visible()) return;
    std::string error;
    const bool saved = logic_.Hide(&error);
    UpdateTimer();
    if (!saved)
        dialogs_.ShowMessage(nullptr, UserMessage{QString::fromLatin1(ApplicationTitle),
                                                  QStringLiteral("The settings could not be saved."),
                                                  QString::fromStdString(error), true});
}

void TSetupForm::MixerButtonClick() {
    std::string error;
    if (!StartAudioMixer(error))
        dialogs_.ShowMessage(this, UserMessage{QString::fromLatin1(ApplicationTitle),
                                               QString::fromStdString(error), {}, false});
}

}  // namespace tovanel
