// What the main window does, without a widget: the decoding overrides and
// their writes into the unit row, the unit and key views' scroll steps, the
// recording session, the frame notification (WM_USER) and the result texts.
// The controller keeps the state of the window's controls (combo items,
// up-down positions, check boxes, enabled and checked actions, list and
// label texts) and tells the form by signals when they changed; the form
// only mirrors that state into its widgets and hands the user's changes
// back. Tests drive it directly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include "analysis/CodeFrame.h"
#include "capture/CaptureSink.h"
#include "capture/FrameAssembler.h"
#include "database/CodeDatabase.h"
#include "database/Keys.h"
#include "database/formats/CodeFile.h"

namespace tovanel {

class CaptureControl;
class LircTransmitter;

// ---- the result display as plain functions ----------------------------------

// ValidateFrames (whether the burst may be stored as a key) is in
// database/Keys.h, shared with the command line.
// "560 [33]" per class.
QStringList ClassLines(const int32_t means[], const int32_t counts[], int32_t classCount);
// "Data: 0x%.4LX (%Lu)" and "Data: 0x%.2LX (%Lu)".
QString AdrDataText(uint64_t adr);
QString CmdDataText(uint64_t cmd);
// The status bar's text for the Record and Search mode check marks.
QString RecordStatusText(bool record, bool search);

// "(Auto)" then the protocol names 1..19, so that item p is protocol p.
QStringList ProtocolItems();
// "(Auto)", "Pulse distance", "Pulse length", "Bi-phase".
QStringList ModulationItems();

// The decoding override controls as the window shows them.
struct OverrideControls {
    int protocol = -1;    // ComboProtocol item; -1 no selection
    int modulation = -1;  // ComboModulation item
    int adrStart = 0;     // up-down positions 0..100; starts in bits
    int adrBits = 0;
    int cmdStart = 0;
    int cmdBits = 0;
    bool adrOrder = false;  // "Low bit first"
    bool adrInverse = false;  // "Short distance = 1"
    bool cmdOrder = false;
    bool cmdInverse = false;
    // ComboModulation and the eight layout controls: only while the
    // protocol is "(Auto)".
    bool layoutEnabled = true;
};

// The actions' states that change at run time.
struct ActionStates {
    bool record = false;  // Record0 checked
    bool search = false;  // Search0 checked
    bool searchEnabled = false;
    bool searchNextEnabled = false;
    bool searchAll = false;
    bool keyAdd = false;
    bool keyUpdate = false;
    bool keyEdit = false;
    bool keyDel = false;
    bool transmitting = false;  // the transmit list is being sent
};

// What the result panels show of slot 0.
struct ResultTexts {
    QStringList pulses;     // "Pulses, us" (ListBox1)
    QStringList distances;  // "Dist., us" (ListBox2)
    QString modulation;     // LabelModulation
    QString protocol;       // LabelProtocol
    QString adrData = QStringLiteral("Data:");  // lbAdrData
    QString cmdData = QStringLiteral("Data:");  // lbCmdData
    // LabelLinux, below the detected protocol: what the kernel would report
    // for the frame, "Linux: nec 0x0408" or "Linux: (none)", so that a key
    // press becomes a keymap line.
    QString rcReading = QStringLiteral("Linux:");
};

// A message box to show: caption, text, and the system's reason (may be
// empty). Capture errors have no owner window.
struct UserMessage {
    QString caption;
    QString text;
    QString detail;
    bool ownerless = false;
};

// Where "Export unit..." writes: the file and its format.
struct ExportTarget {
    QString path;
    CodeFileFormat format = CodeFileFormat::Lircd;
};

class MainController : public QObject {
    Q_OBJECT

public:
    MainController(CaptureControl& capture, SharedFrameBuffer& buffer, SharedDecodeSettings& settings,
                   QObject* parent = nullptr);
    ~MainController() override;

    CodeDatabase& Db() { return *db_; }
    CaptureControl& Capture() { return capture_; }
    const OverrideControls& Controls() const { return controls_; }
    const ActionStates& Actions() const { return actions_; }
    const ResultTexts& Results() const { return results_; }
    // The buffer as the last notification saw it (what the oscillogram shows).
    const FrameBuffer& Snapshot() const { return *snapshot_; }
    const QString& StatusText() const { return status_; }

    // The database connection string, and the settings file "Data base..."
    // writes it to.
    void SetConnectionString(const QString& connection) { connection_ = connection; }
    const QString& ConnectionString() const { return connection_; }
    void SetSettingsFilePath(std::string path) { settingsPath_ = std::move(path); }
    const std::string& SettingsFilePath() const { return settingsPath_; }

    // What the capture paths report: errors as ownerless message boxes on
    // the GUI thread, a lost receiver stopped there.
    CaptureSinks Sinks();
    // The frame assembler's notification: posts WM_USER to the GUI thread.
    FrameNotify Notify();

    // ---- start-up and database
    // Modulation item 0 and its handler, which also selects "(Auto)".
    void FormCreate();
    // The open step: connection, then the six views. False after a failure,
    // which has been reported.
    bool FormShow();
    // "Data base...": closes the database, asks `choose` for a connection
    // string (it returns the current one on Cancel), writes it to the
    // settings file and runs the open step.
    void DataBase0Execute(const std::function<QString(const QString& current)>& choose);

    // ---- recording and the result display
    void Record0Execute();
    void UpdateRecordStatus();
    // WM_USER: shows slot 0, redraws all slots, decides whether the burst
    // may be stored, and for wParam 0 in search mode runs the key search.
    void FrameNotification(int wParam);
    // The same, posted: handled later on the GUI thread. Callable from any thread.
    void PostFrameNotification(int wParam);
    // "Redraw OSC": the oscillogram of the buffer as it stands.
    void Redraw0Execute();
    // Showing the "Description" page clears Record's check mark only.
    void TabSheet1Show();
    // "Open recording...": plays the file's first burst as a receiver
    // would, with Record checked. False after a reported failure.
    bool OpenRecording(const std::string& path);

    // The user's use of the check actions (the mark has been toggled).
    void UserRecord(bool checked);
    void UserSearch(bool checked);
    void UserSearchAll(bool checked);
    void Search0Execute();
    // The key search; `byUser` when started by "Search next".
    void SearchNext0Execute(bool byUser);

    // ---- decoding overrides
    // The program selects an item; no handler runs.
    void SelectProtocol(int item);
    void SelectModulation(int item);
    // The user selects an item: the selection, then its handler.
    void UserProtocol(int item);
    void UserModulation(int item);
    void ComboProtocolChange();
    void ComboModulationChange();
    // A new value runs the control's handler, whoever changed it; values
    // are clamped into 0..100 as the up-downs do.
    void SetAdrStart(int position);
    void SetAdrBits(int bits);
    void SetCmdStart(int position);
    void SetCmdBits(int bits);
    void SetAdrOrder(bool checked);
    void SetAdrInverse(bool checked);
    void SetCmdOrder(bool checked);
    void SetCmdInverse(bool checked);

    // ---- unit and key views
    void ADOTableUnitsBeforeScroll();
    void ADOTableUnitsAfterScroll();
    void ADOTableCodesAfterScroll();
    // The key order: by name, or by mode, address and command.
    void SortKeysNameClick(bool byCode);
    bool KeysByCode() const { return keysByCode_; }

    // The unit's bound text boxes (description, carrier): the user's text
    // goes into the row being edited; PostUnit saves it.
    void SetUnitText(const char* column, const QString& text);
    void PostUnit();

    // ---- transmit list
    // Appends the current key to the list.
    void TransAdd0Execute();
    // Deletes the current entry (the form brings its page to the front).
    void TransDel0Execute();
    // Sends the list through the settings file's transmitter on a thread
    // of the sender's own, the status bar naming the entry being sent;
    // used again while sending, it stops. A failure shows its message; the
    // list stays as it is.
    void Transmit0Execute();
    void StopTransmit();
    // The sender; tests put one over a fake device in place.
    void SetTransmitter(std::unique_ptr<LircTransmitter> transmitter);

    // Runs `fn`; an error that escapes it is reported like the program's
    // top-level error report (its text in a message box) and swallowed.
    void Guarded(const std::function<void()>& fn);

    // ---- unit and key actions
    // The window asks, these act. `AskName` is the input box (caption,
    // initial text; nothing when cancelled), `Confirm` the Yes/No question.
    // Database errors go on to the caller's error report, after the views
    // and the display are as before the action.
    using AskName = std::function<std::optional<QString>(const QString& caption, const QString& initial)>;
    using Confirm = std::function<bool(const QString& text)>;
    void UnitAdd0Execute(const AskName& ask);
    void UnitDup0Execute();
    void UnitDel0Execute(const Confirm& confirm);
    void KeyAdd0Execute(const AskName& ask);
    // Asks before it overwrites the current key's codes.
    void KeyUpdate0Execute(const Confirm& confirm);
    void KeyDel0Execute(const Confirm& confirm);
    // A click on the picture: `choose` is the open-picture dialog (empty
    // when cancelled). A file that does not decode is reported and changes
    // nothing; a decoded one is stored in the current unit and shown, and
    // a failure to store it is reported and leaves the old picture.
    void Image1Click(const std::function<QString()>& choose);
    // ---- import and export
    // "Import...": `choose` is the open dialog (empty when cancelled). The
    // file's units and keys are imported all or nothing; the first new
    // unit becomes current. `report` gets the caption "Import", a summary
    // and every line of the report, and whether anything was stored (when
    // not, the views are as they were and the report says why).
    using ImportReportFn = std::function<void(const UserMessage& report, bool stored)>;
    void Import0Execute(const std::function<QString()>& choose, const ImportReportFn& report);
    // "Export unit...": `choose` is the save dialog, given the current
    // unit's name (nothing when cancelled); the unit is written whole or
    // not at all, and `report` says what was written. Without a unit, and
    // when the file cannot be written, a message says so.
    void Export0Execute(const std::function<std::optional<ExportTarget>(const QString& unitName)>& choose,
                        const std::function<void(const UserMessage&)>& report);

    // The current unit's picture; null when it has none or it does not
    // decode as JPEG or GIF.
    const QImage& Picture() const { return picture_; }

signals:
    void controlsChanged();
    void actionsChanged();
    void displayChanged();
    void statusChanged();
    void message(const tovanel::UserMessage& message);
    // After each run of the key search.
    void searchRan(bool byUser);
    void pictureChanged();
    // The system's beep: a key was found.
    void beep();
    // A sending of the transmit list ended (its outcome's status).
    void transmitEnded(int status);

private:
    enum class Layout { AdrStart, AdrBits, CmdStart, CmdBits, AdrOrder, AdrInverse, CmdOrder, CmdInverse };
    void SetLayout(Layout which, int value);
    void LayoutChange(Layout which);
    void ReloadKeyView();
    void TakeSnapshot();
    bool UnitsOpen() const;
    bool ReadOnly() const;  // the database is open for reading only
    bool CodesOpen() const;
    // The picture of the current unit (step 8 of the unit view's after-scroll).
    void ShowPicture();
    void SetPicture(const QByteArray& bytes, QImage image);
    // After a failed change: the unit's settings and key shown again.
    void ShowCurrentUnitAgain();
    // The buffer as it stands, if it may be stored; otherwise the reason has
    // been shown.
    std::optional<StoredKey> RecordedKey();

    CaptureControl& capture_;
    SharedFrameBuffer& buffer_;
    SharedDecodeSettings& settings_;
    std::unique_ptr<CodeDatabase> db_;
    std::unique_ptr<FrameBuffer> snapshot_;
    OverrideControls controls_;
    ActionStates actions_;
    ResultTexts results_;
    QString status_;
    QString connection_;
    std::string settingsPath_;
    bool keysByCode_ = false;
    uint64_t notifications_ = 0;  // counts WM_USER runs, to see nested ones
    QImage picture_;
    QByteArray pictureBytes_;  // what picture_ was decoded from
    std::unique_ptr<LircTransmitter> transmitter_;
};

}  // namespace tovanel
