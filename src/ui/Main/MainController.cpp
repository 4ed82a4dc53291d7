#include "ui/Main/MainController.h"

#include <algorithm>

#include "analysis/Recognition.h"
#include "analysis/rc/RcReading.h"
#include "capture/LircTransmitter.h"
#include "capture/Setup/IniFile.h"
#include "database/CodeFileExport.h"
#include "database/CodeFileImport.h"
#include "database/KeyCodes.h"
#include "database/Units.h"
#include "database/KeySearch.h"
#include "database/TransmitList.h"
#include "ui/Main/CaptureControl.h"
#include "ui/Main/Picture.h"
#include "ui/Main/RecordingFile.h"

namespace tovanel {

// ---- plain functions ----------------------------------------------------------

QStringList ClassLines(const int32_t means[], const int32_t counts[], int32_t classCount) {
    QStringList lines;
    const int32_t n = std::clamp(classCount, 0, MaxClasses);
    for (int32_t k = 0; k < n; ++k)
        lines << QStringLiteral("%1 [%2]").arg(means[k]).arg(counts[k]);
    return lines;
}

QString AdrDataText(uint64_t adr) {
    return QString::asprintf("Data: 0x%.4llX (%llu)", static_cast<unsigned long long>(adr),
                             static_cast<unsigned long long>(adr));
}

QString CmdDataText(uint64_t cmd) {
    return QString::asprintf("Data: 0x%.2llX (%llu)", static_cast<unsigned long long>(cmd),
                             static_cast<unsigned long long>(cmd));
}

QString RecordStatusText(bool record, bool search) {
    if (!record) return {};
    return search ? QStringLiteral("Recording... (auto search mode)") : QStringLiteral("Recording...");
}

QStringList ProtocolItems() {
    QStringList items{QStringLiteral("(Auto)")};
    for (int32_t p = 1; p < Protocol::Count; ++p) items << QString::fromLatin1(ProtocolName(p));
    return items;
}

QStringList ModulationItems() {
    QStringList items{QStringLiteral("(Auto)")};
    for (int32_t m = Modulation::PulseDistance; m <= Modulation::BiPhase; ++m)
        items << QString::fromLatin1(ModulationName(m));
    return items;
}

// ---- controller -----------------------------------------------------------------

namespace {

constexpr int MaxPosition = 100;  // the up-downs' range is 0..100

// The unit row's column of each layout control.
const char* LayoutColumn(int which) {
    static const char* const columns[] = {"AdrStart", "AdrBits",    "CmdStart", "CmdBits",
                                          "AdrOrder", "AdrInverse", "CmdOrder", "CmdInverse"};
    return columns[which];
}

}  // namespace

MainController::MainController(CaptureControl& capture, SharedFrameBuffer& buffer,
                               SharedDecodeSettings& settings, QObject* parent)
    : QObject(parent),
      capture_(capture),
      buffer_(buffer),
      settings_(settings),
      db_(std::make_unique<CodeDatabase>()),
      snapshot_(std::make_unique<FrameBuffer>()) {
    ResetFrameBuffer(*snapshot_);
    results_.modulation = results_.protocol = QStringLiteral("Detect:");
    db_->ADOTableUnits.BeforeScroll = [this](TableView&) { ADOTableUnitsBeforeScroll(); };
    db_->ADOTableUnits.AfterScroll = [this](TableView&) { ADOTableUnitsAfterScroll(); };
    db_->ADOTableCodes.AfterScroll = [this](TableView&) { ADOTableCodesAfterScroll(); };
    // A closed database shows no picture.
    db_->ADOTableUnits.AddListener([this](TableView::Change change, int) {
        if (change == TableView::Change::Reset && !db_->ADOTableUnits.IsOpen()) SetPicture({}, {});
    });
}

MainController::~MainController() {
    // A sending posts its end to this object: finished before it goes.
    if (transmitter_) transmitter_->Stop();
    // The views' hooks call back into this controller: silence them first.
    for (TableView* view : db_->Views()) view->BeforeScroll = view->AfterScroll = nullptr;
    db_->Close();
}

bool MainController::UnitsOpen() const { return db_->ADOTableUnits.IsOpen(); }
bool MainController::ReadOnly() const { return db_->ADOConnection.IsReadOnly(); }
bool MainController::CodesOpen() const { return db_->ADOTableCodes.IsOpen(); }

CaptureSinks MainController::Sinks() {
    CaptureSinks sinks;
    // Capture errors may come from a worker thread: the box opens on the
    // GUI thread, without an owner window.
    sinks.error = [this](const std::string& text) {
        QMetaObject::invokeMethod(
            this,
            [this, t = QString::fromStdString(text)] {
                emit message(UserMessage{QString::fromLatin1(ApplicationTitle), t, {}, true});
            },
            Qt::QueuedConnection);
    };
    return sinks;
}

FrameNotify MainController::Notify() {
    return [this](int32_t slot, bool) { PostFrameNotification(slot); };
}

void MainController::Guarded(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        emit message(UserMessage{QString::fromLatin1(ApplicationTitle), QString::fromUtf8(e.what()), {}, false});
    } catch (...) {
        emit message(UserMessage{QString::fromLatin1(ApplicationTitle), QString(), {}, false});
    }
}

// ---- start-up and database --------------------------------------------------------

void MainController::FormCreate() {
    SelectModulation(0);
    ComboModulationChange();
}

bool MainController::FormShow() {
    const QString settingsPath = QString::fromStdString(settingsPath_);
    const OpenOutcome outcome = db_->Open(connection_, settingsPath);
    if (outcome.ok) return true;
    // A database that can be read but not written is still worth browsing:
    // opened read-only, changes to it are refused with their message.
    if (outcome.readable && db_->Open(connection_, settingsPath, Connection::Mode::ReadOnly).ok) {
        emit message(UserMessage{QString::fromLatin1(ApplicationTitle),
                                 QStringLiteral("The database cannot be written: it is open for reading only, and "
                                                "changes to it will be refused."),
                                 outcome.detail, false});
        return true;
    }
    if (!CodesOpen()) {
        actions_.keyEdit = actions_.keyDel = actions_.keyUpdate = false;
        emit actionsChanged();
    }
    emit message(UserMessage{outcome.caption, outcome.text, outcome.detail, false});
    return false;
}

void MainController::DataBase0Execute(const std::function<QString(const QString&)>& choose) {
    db_->Close();
    actions_.keyEdit = actions_.keyDel = actions_.keyUpdate = false;
    emit actionsChanged();
    connection_ = choose(connection_);
    // Saved before it is tried, so that a string that fails stays chosen.
    IniFile ini(settingsPath_);
    ini.Set("Setup", "DB", connection_.toStdString());
    std::string error;
    if (!ini.Save(&error))
        emit message(UserMessage{QString::fromLatin1(ApplicationTitle),
                                 QStringLiteral("The settings file could not be written."),
                                 QString::fromStdString(error), false});
    FormShow();
}

// ---- recording and the result display ----------------------------------------------

void MainController::UserRecord(bool checked) {
    actions_.record = checked;
    Record0Execute();
}

void MainController::Record0Execute() {
    actions_.searchEnabled = actions_.record;
    if (actions_.record) {
        // Captured frames are analysed without the unit's forced choices.
        SelectProtocol(0);
        ComboProtocolChange();
        SelectModulation(0);
        ComboModulationChange();
        emit actionsChanged();
        capture_.StartSource();
        PostFrameNotification(1);
    } else {
        actions_.search = false;
        actions_.searchNextEnabled = false;
        emit actionsChanged();
        capture_.StopSource();
        // Like a move of the unit view: the unit's settings come back into
        // the controls without being written back.
        db_->ReloadGuard = true;
        ADOTableUnitsAfterScroll();
    }
    UpdateRecordStatus();
}

void MainController::UpdateRecordStatus() {
    status_ = RecordStatusText(actions_.record, actions_.search);
    emit statusChanged();
}

void MainController::PostFrameNotification(int wParam) {
    QMetaObject::invokeMethod(
        this, [this, wParam] { Guarded([&] { FrameNotification(wParam); }); }, Qt::QueuedConnection);
}

void MainController::TakeSnapshot() { buffer_.CopyTo(*snapshot_); }

void MainController::FrameNotification(int wParam) {
    const uint64_t run = ++notifications_;
    TakeSnapshot();
    {
        const CodeFrame& first = snapshot_->Slots[0];
        results_.pulses = ClassLines(first.MarkMeans, first.MarkCounts, first.MarkClassCount);
        results_.distances = ClassLines(first.SpaceMeans, first.SpaceCounts, first.SpaceClassCount);
        results_.modulation = QStringLiteral("Detect: ") + QString::fromLatin1(ModulationName(first.Modulation));
        results_.protocol = QStringLiteral("Detect: ") + QString::fromLatin1(ProtocolName(first.Protocol));
    }
    if (snapshot_->Slots[0].Protocol > 0) {
        // The recognised layout, as if the user had set it; the handlers
        // may store it and reload the key, which replaces the snapshot.
        const CodeFrame& f = snapshot_->Slots[0];
        const int adrStart = f.AdrStart / 2, adrBits = f.AdrBits, cmdStart = f.CmdStart / 2, cmdBits = f.CmdBits;
        const bool adrOrder = f.AdrOrder, cmdOrder = f.CmdOrder;
        SetAdrStart(adrStart);
        SetAdrBits(adrBits);
        SetAdrOrder(adrOrder);
        SetCmdStart(cmdStart);
        SetCmdBits(cmdBits);
        SetCmdOrder(cmdOrder);
    }
    // A notification inside the handlers reloaded the buffer: go on with it.
    if (notifications_ != run) TakeSnapshot();
    const CodeFrame& first = snapshot_->Slots[0];
    results_.adrData = AdrDataText(first.Adr);
    results_.cmdData = CmdDataText(first.Cmd);
    results_.rcReading = QStringLiteral("Linux: ") + QString::fromStdString(RcReadingText(ReadRcSlot(*snapshot_, 0)));
    emit displayChanged();

    const bool valid = actions_.record && ValidateFrames(*snapshot_);
    actions_.keyAdd = valid;
    actions_.keyUpdate = valid && CodesOpen() && db_->ADOTableCodes.RecordCount() > 0;
    emit actionsChanged();
    if (actions_.record && actions_.search && wParam == 0) SearchNext0Execute(false);
}

void MainController::Redraw0Execute() {
    TakeSnapshot();
    emit displayChanged();
}

void MainController::TabSheet1Show() {
    if (!actions_.record) return;
    actions_.record = false;
    emit actionsChanged();
}

bool MainController::OpenRecording(const std::string& path) {
    Recording recording;
    std::string error;
    const CaptureConfig& config = capture_.Config();
    if (!ReadRecording(path, config.PulseTime, config.PulseLevel, recording, error)) {
        emit message(UserMessage{QString::fromLatin1(ApplicationTitle), QString::fromStdString(error), {}, false});
        return false;
    }
    capture_.PlayNext(std::move(recording));
    UserRecord(true);
    return true;
}

void MainController::UserSearch(bool checked) {
    actions_.search = checked;
    Search0Execute();
}

void MainController::UserSearchAll(bool checked) {
    actions_.searchAll = checked;
    emit actionsChanged();
}

void MainController::Search0Execute() {
    actions_.searchNextEnabled = actions_.search;
    emit actionsChanged();
    UpdateRecordStatus();
}

void MainController::SearchNext0Execute(bool byUser) {
    // Slot 0 as the display shows it.
    const KeySearchResult result =
        SearchNextKey(*db_, SearchValuesOf(snapshot_->Slots[0]), actions_.searchAll, byUser);
    status_ = SearchStatusText(result);
    emit statusChanged();
    if (result.found) emit beep();
    emit searchRan(byUser);
}

// ---- transmit list -------------------------------------------------------------------

void MainController::TransAdd0Execute() {
    if (db_->ADOTableTrans.IsOpen()) AddTransmitEntry(*db_);
}

void MainController::TransDel0Execute() { DeleteTransmitEntry(*db_); }

void MainController::SetTransmitter(std::unique_ptr<LircTransmitter> transmitter) {
    if (transmitter_) transmitter_->Stop();
    transmitter_ = std::move(transmitter);
}

void MainController::StopTransmit() {
    // The sender's end arrives as a queued call and clears the state.
    if (transmitter_) transmitter_->Stop();
}

void MainController::Transmit0Execute() {
    if (actions_.transmitting) {
        StopTransmit();
        return;
    }
    if (!db_->ADOTableTrans.IsOpen()) return;
    std::vector<TransmitItem> items = TransmitListItems(*db_);
    if (!transmitter_) transmitter_ = std::make_unique<LircTransmitter>();
    std::vector<QString> names;
    for (const TransmitItem& item : items)
        names.push_back(QStringLiteral("Transmitting unit \"%1\", key \"%2\"... (Transmit again to stop)")
                            .arg(QString::fromStdString(item.unitName), QString::fromStdString(item.keyName)));
    auto progress = [this, names](size_t item) {
        QMetaObject::invokeMethod(
            this,
            [this, text = names[item]] {
                if (!actions_.transmitting) return;
                status_ = text;
                emit statusChanged();
            },
            Qt::QueuedConnection);
    };
    auto done = [this](const TransmitOutcome& outcome) {
        QMetaObject::invokeMethod(
            this,
            [this, status = outcome.status, error = QString::fromStdString(outcome.error)] {
                actions_.transmitting = false;
                emit actionsChanged();
                UpdateRecordStatus();
                if (status == TransmitOutcome::Status::Failed)
                    emit message(UserMessage{QString::fromLatin1(ApplicationTitle), error, {}, false});
                emit transmitEnded(static_cast<int>(status));
            },
            Qt::QueuedConnection);
    };
    actions_.transmitting = transmitter_->Start(capture_.Config().LircTransmitDevice, std::move(items),
                                                std::move(progress), std::move(done));
    emit actionsChanged();
}

// ---- decoding overrides -------------------------------------------------------------

void MainController::SelectProtocol(int item) {
    controls_.protocol = std::clamp(item, -1, Protocol::Count - 1);
    emit controlsChanged();
}

void MainController::SelectModulation(int item) {
    controls_.modulation = std::clamp(item, -1, Modulation::BiPhase);
    emit controlsChanged();
}

void MainController::UserProtocol(int item) {
    SelectProtocol(item);
    ComboProtocolChange();
}

void MainController::UserModulation(int item) {
    SelectModulation(item);
    ComboModulationChange();
}

void MainController::ComboProtocolChange() {
    const int item = std::max(controls_.protocol, 0);
    DecodeSettings s = settings_.Get();
    s.ForcedProtocol = item;
    settings_.Set(s);
    controls_.layoutEnabled = item == 0;
    if (item > 0) controls_.modulation = ImpliedModulation(item);
    emit controlsChanged();

    if (!actions_.record && UnitsOpen() && !db_->ReloadGuard) {
        TableView& units = db_->ADOTableUnits;
        try {
            units.Edit();
            units.SetInt("Protocol", item);
            units.Post();
        } catch (const DbError&) {
            // Not stored; the key is reloaded all the same.
            try {
                units.Cancel();
            } catch (const DbError&) {
            }
        }
        if (CodesOpen()) ReloadKeyView();
    }
    ComboModulationChange();
}

void MainController::ComboModulationChange() {
    const int item = std::max(controls_.modulation, 0);
    DecodeSettings s = settings_.Get();
    s.ForcedModulation = item;
    settings_.Set(s);
    if (item == 0 && controls_.protocol != 0) {
        SelectProtocol(0);
        ComboProtocolChange();
    }
    if (actions_.record) return;
    // A unit's modulation is stored only while its protocol is automatic.
    if (controls_.protocol != 0 || !UnitsOpen() || db_->ReloadGuard) return;
    TableView& units = db_->ADOTableUnits;
    try {
        units.Edit();
        units.SetInt("Modulation", item);
        units.Post();
    } catch (const DbError&) {
        try {
            units.Cancel();
        } catch (const DbError&) {
        }
    }
    if (CodesOpen()) {
        if (!ReadOnly()) RecomputeUnitKeys(*db_, settings_.Get());
        ReloadKeyView();
    }
}

void MainController::SetAdrStart(int v) { SetLayout(Layout::AdrStart, v); }
void MainController::SetAdrBits(int v) { SetLayout(Layout::AdrBits, v); }
void MainController::SetCmdStart(int v) { SetLayout(Layout::CmdStart, v); }
void MainController::SetCmdBits(int v) { SetLayout(Layout::CmdBits, v); }
void MainController::SetAdrOrder(bool v) { SetLayout(Layout::AdrOrder, v); }
void MainController::SetAdrInverse(bool v) { SetLayout(Layout::AdrInverse, v); }
void MainController::SetCmdOrder(bool v) { SetLayout(Layout::CmdOrder, v); }
void MainController::SetCmdInverse(bool v) { SetLayout(Layout::CmdInverse, v); }

void MainController::SetLayout(Layout which, int value) {
    int* position = nullptr;
    bool* box = nullptr;
    switch (which) {
        case Layout::AdrStart: position = &controls_.adrStart; break;
        case Layout::AdrBits: position = &controls_.adrBits; break;
        case Layout::CmdStart: position = &controls_.cmdStart; break;
        case Layout::CmdBits: position = &controls_.cmdBits; break;
        case Layout::AdrOrder: box = &controls_.adrOrder; break;
        case Layout::AdrInverse: box = &controls_.adrInverse; break;
        case Layout::CmdOrder: box = &controls_.cmdOrder; break;
        case Layout::CmdInverse: box = &controls_.cmdInverse; break;
    }
    // A handler runs only when the control's value changes.
    if (position != nullptr) {
        value = std::clamp(value, 0, MaxPosition);
        if (*position == value) return;
        *position = value;
    } else {
        if (*box == (value != 0)) return;
        *box = value != 0;
    }
    emit controlsChanged();
    LayoutChange(which);
}

void MainController::LayoutChange(Layout which) {
    DecodeSettings s = settings_.Get();
    int value = 0;
    switch (which) {
        case Layout::AdrStart: value = controls_.adrStart; s.AdrStart = 2 * value; break;
        case Layout::AdrBits: value = controls_.adrBits; s.AdrBits = value; break;
        case Layout::CmdStart: value = controls_.cmdStart; s.CmdStart = 2 * value; break;
        case Layout::CmdBits: value = controls_.cmdBits; s.CmdBits = value; break;
        case Layout::AdrOrder: value = controls_.adrOrder; s.AdrOrder = value; break;
        case Layout::AdrInverse: value = controls_.adrInverse; s.AdrInverse = value; break;
        case Layout::CmdOrder: value = controls_.cmdOrder; s.CmdOrder = value; break;
        case Layout::CmdInverse: value = controls_.cmdInverse; s.CmdInverse = value; break;
    }
    settings_.Set(s);
    // While recording the layout applies to the frames still to come.
    if (actions_.record) return;
    if (controls_.protocol != 0 || !UnitsOpen() || db_->ReloadGuard) return;
    // A database open for reading only keeps its units as they are; the key
    // is shown with the new layout all the same.
    if (ReadOnly()) {
        if (CodesOpen()) ReloadKeyView();
        return;
    }
    // Database errors here go on to the caller's error report.
    TableView& units = db_->ADOTableUnits;
    units.Edit();
    units.SetInt(LayoutColumn(static_cast<int>(which)), value);
    units.Post();
    if (CodesOpen()) {
        RecomputeUnitKeys(*db_, settings_.Get());
        ReloadKeyView();
    }
}

void MainController::ReloadKeyView() {
    db_->ADOTableCodes.Refresh();
    ADOTableCodesAfterScroll();
}

// ---- unit and key views -----------------------------------------------------------------

void MainController::ADOTableUnitsBeforeScroll() { db_->ReloadGuard = true; }

void MainController::ADOTableUnitsAfterScroll() {
    // While recording, the controls and the buffer keep the recording.
    if (actions_.record) return;
    const TableView& units = db_->ADOTableUnits;
    // Read first: the handlers below may write the row.
    const int adrStart = units.Int("AdrStart"), cmdStart = units.Int("CmdStart");
    const int adrBits = units.Int("AdrBits"), cmdBits = units.Int("CmdBits");
    const bool adrOrder = units.Bool("AdrOrder"), cmdOrder = units.Bool("CmdOrder");
    const bool adrInverse = units.Bool("AdrInverse"), cmdInverse = units.Bool("CmdInverse");
    const int modulation = units.Int("Modulation"), protocol = units.Int("Protocol");

    SetAdrStart(adrStart);
    SetCmdStart(cmdStart);
    SetAdrBits(adrBits);
    SetCmdBits(cmdBits);
    SetAdrOrder(adrOrder);
    SetCmdOrder(cmdOrder);
    SetAdrInverse(adrInverse);
    SetCmdInverse(cmdInverse);
    // The layout as the controls show it (clamped into their range).
    DecodeSettings s = settings_.Get();
    s.AdrStart = 2 * controls_.adrStart;
    s.CmdStart = 2 * controls_.cmdStart;
    s.AdrBits = controls_.adrBits;
    s.CmdBits = controls_.cmdBits;
    s.AdrOrder = controls_.adrOrder;
    s.CmdOrder = controls_.cmdOrder;
    s.AdrInverse = controls_.adrInverse;
    s.CmdInverse = controls_.cmdInverse;
    settings_.Set(s);
    // A stored value outside the lists (negative ones included) is "(Auto)".
    SelectModulation(modulation >= 0 && modulation <= Modulation::BiPhase ? modulation : 0);
    SelectProtocol(protocol >= 0 && protocol < Protocol::Count ? protocol : 0);
    ComboProtocolChange();
    db_->ReloadGuard = false;
    if (CodesOpen()) ADOTableCodesAfterScroll();
    ShowPicture();
}

void MainController::ADOTableCodesAfterScroll() {
    if (db_->ReloadGuard) return;
    const bool anyKey = CodesOpen() && db_->ADOTableCodes.RecordCount() > 0;
    actions_.keyEdit = actions_.keyDel = anyKey;
    if (actions_.record) {
        bool valid = false;
        {
            std::lock_guard lock(buffer_.Mutex());
            valid = ValidateFrames(buffer_.Locked());
        }
        actions_.keyUpdate = anyKey && valid;
        emit actionsChanged();
        return;
    }
    LoadKeyIntoBuffer(*db_, buffer_, settings_.Get());
    actions_.keyUpdate = false;
    emit actionsChanged();
    FrameNotification(0);
}

void MainController::SortKeysNameClick(bool byCode) {
    keysByCode_ = byCode;
    db_->ADOTableCodes.SetOrder(byCode ? KeyOrderByCode : KeyOrderByName);
}

void MainController::SetUnitText(const char* column, const QString& text) {
    TableView& units = db_->ADOTableUnits;
    if (!UnitsOpen() || !units.HasCurrent() || units.Text(column) == text) return;
    units.Edit();
    units.SetText(column, text);
}

void MainController::PostUnit() {
    TableView& units = db_->ADOTableUnits;
    if (UnitsOpen() && units.state() == TableView::State::Edit) units.Post();
}

// ---- unit and key actions ----------------------------------------------------------------

void MainController::ShowPicture() {
    const TableView& units = db_->ADOTableUnits;
    const QByteArray bytes = UnitsOpen() && units.HasCurrent() ? units.Bytes("Picture") : QByteArray();
    if (bytes.isEmpty()) {
        SetPicture({}, {});
        return;
    }
    if (bytes == pictureBytes_) return;
    // A stored picture that is neither JPEG nor GIF shows nothing, silently.
    QImage image;
    QString ignored;
    tovanel::LoadPicture(bytes, image, ignored);
    SetPicture(bytes, std::move(image));
}

void MainController::SetPicture(const QByteArray& bytes, QImage image) {
    if (bytes.isEmpty() && pictureBytes_.isEmpty() && picture_.isNull()) return;
    pictureBytes_ = bytes;
    picture_ = std::move(image);
    emit pictureChanged();
}

void MainController::ShowCurrentUnitAgain() {
    // As switching recording off does: the unit's settings come back into
    // the controls without being written back, then its key and picture.
    db_->ReloadGuard = true;
    if (UnitsOpen()) ADOTableUnitsAfterScroll();
    if (!actions_.record) db_->ReloadGuard = false;
}

std::optional<StoredKey> MainController::RecordedKey() {
    auto burst = std::make_unique<FrameBuffer>();
    buffer_.CopyTo(*burst);
    if (!ValidateFrames(*burst)) {
        emit message(UserMessage{InvalidKeyCaption, InvalidKeyText, {}, false});
        return std::nullopt;
    }
    StoredKey key;
    QString error;
    if (!StoredKeyFromBuffer(*burst, key, error)) {
        emit message(UserMessage{InvalidKeyCaption, error, {}, false});
        return std::nullopt;
    }
    return key;
}

void MainController::UnitAdd0Execute(const AskName& ask) {
    const std::optional<QString> name = ask(QStringLiteral("Add new unit"), QStringLiteral("(new unit)"));
    if (!name) return;
    // A refused row is dropped again, which shows the unit before it.
    AppendUnit(*db_, *name);
}

void MainController::UnitDup0Execute() {
    if (!UnitsOpen() || !db_->ADOTableUnits.HasCurrent()) return;
    DuplicateUnit(*db_);
}

void MainController::UnitDel0Execute(const Confirm& confirm) {
    const TableView& units = db_->ADOTableUnits;
    if (!UnitsOpen() || !units.HasCurrent()) return;
    if (!confirm(QStringLiteral("Delete unit \"%1\" and all its keys ?").arg(units.Text("Name")))) return;
    try {
        DeleteUnit(*db_);
    } catch (...) {
        ShowCurrentUnitAgain();
        throw;
    }
}

void MainController::KeyAdd0Execute(const AskName& ask) {
    const std::optional<StoredKey> key = RecordedKey();
    if (!key) return;
    const std::optional<QString> name = ask(QStringLiteral("Add new key"), QStringLiteral("(new key)"));
    if (!name) return;
    AddKey(*db_, *name, *key);
}

void MainController::KeyUpdate0Execute(const Confirm& confirm) {
    const TableView& codes = db_->ADOTableCodes;
    if (!CodesOpen() || !codes.HasCurrent()) return;
    const std::optional<StoredKey> key = RecordedKey();
    if (!key) return;
    if (!confirm(QStringLiteral("Replace the codes of key \"%1\" of unit \"%2\" with the recording?")
                     .arg(codes.Text("Name"), db_->ADOTableUnits.Text("Name"))))
        return;
    UpdateKey(*db_, *key);
}

void MainController::KeyDel0Execute(const Confirm& confirm) {
    const TableView& codes = db_->ADOTableCodes;
    if (!CodesOpen() || !codes.HasCurrent()) return;
    if (!confirm(QStringLiteral("Delete key \"%1\" of unit \"%2\"?")
                     .arg(codes.Text("Name"), db_->ADOTableUnits.Text("Name"))))
        return;
    DeleteKey(*db_);
}

void MainController::Image1Click(const std::function<QString()>& choose) {
    TableView& units = db_->ADOTableUnits;
    if (!UnitsOpen() || !units.HasCurrent()) return;
    const QString path = choose();
    if (path.isEmpty()) return;
    QByteArray bytes;
    QImage image;
    QString error;
    if (!LoadPictureFile(path, bytes, image, error)) {
        emit message(UserMessage{QString::fromLatin1(ApplicationTitle), error, {}, false});
        return;
    }
    // Shown only once stored, so that the picture on the screen is the
    // unit's.
    try {
        units.Edit();
        units.SetBytes("Picture", bytes);
        units.Post();
    } catch (const DbError&) {
        try {
            units.Cancel();
        } catch (const DbError&) {
        }
        throw;
    }
    SetPicture(bytes, std::move(image));
}

// ---- import and export --------------------------------------------------------------------

void MainController::Import0Execute(const std::function<QString()>& choose, const ImportReportFn& report) {
    const QString path = choose();
    if (path.isEmpty()) return;
    const ImportReport r = ImportCodeFile(*db_, path);
    report(UserMessage{QStringLiteral("Import"), ImportSummary(r), ImportDetails(r), false}, r.Stored());
}

void MainController::Export0Execute(const std::function<std::optional<ExportTarget>(const QString&)>& choose,
                                    const std::function<void(const UserMessage&)>& report) {
    const QString caption = QStringLiteral("Export unit");
    if (!UnitsOpen() || !db_->ADOTableUnits.HasCurrent()) {
        emit message(UserMessage{caption, QStringLiteral("There is no unit to export"), {}, false});
        return;
    }
    const std::optional<ExportTarget> target = choose(db_->ADOTableUnits.Text("Name"));
    if (!target) return;
    const CodeFileFormatEntry* format = FindCodeFileFormat(target->format);
    QString summary, error;
    if (format == nullptr || !ExportCurrentUnit(*db_, *format, target->path, summary, error)) {
        emit message(UserMessage{caption, error.isEmpty() ? QStringLiteral("This format is not written") : error, {},
                                 false});
        return;
    }
    report(UserMessage{caption, summary, {}, false});
}

}  // namespace tovanel
