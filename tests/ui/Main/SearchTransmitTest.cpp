// The key search in search mode and the transmit list through the window's
// logic and its widgets: what is found across units, the status texts and
// the beep; what the transmitter gets, its failures and the stop.
#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>
#include <QTabWidget>

#include "analysis/Recognition.h"
#include "capture/LircTransmitter.h"
#include "tests/support/FakeLircOutput.h"
#include "tests/support/Protocols.h"
#include "tests/ui/Main/UiTestSupport.h"
#include "ui/Main/MainForm.h"

namespace tovanel::test {
namespace {

// A REC80 frame whose 32-bit address has bit 31 set.
Durations Rec80Frame() {
    return Distort(PulseDistance(Rec80Timing, Concat({BitsOf(0x80FF0004, 32, true), BitsOf(0x12, 8, true)})));
}

// Units by name: "Alpha" (Power: NEC 4/8), "Beta", forced to RC-5, with a
// key of the same values, "Gamma" (Hi: the REC80 frame; Power2: NEC 4/8).
class SearchTransmitTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        if (IsSkipped()) return;
        const int32_t alpha = Db().AddUnit(QStringLiteral("Alpha"));
        const int32_t beta = Db().AddUnit(QStringLiteral("Beta"), Protocol::Rc5, Modulation::BiPhase);
        const int32_t gamma = Db().AddUnit(QStringLiteral("Gamma"));
        Key(alpha, "Power", Distort(NecFrame(4, 8)));
        Key(beta, "Fake", Distort(NecFrame(4, 8)));
        Key(gamma, "Hi", Rec80Frame());
        Key(gamma, "Power2", Distort(NecFrame(4, 8)));
        QObject::connect(controller.get(), &MainController::beep, [this] { ++beeps; });
    }
    // A key stored as "Add" stores it: the analyser's values of its frame.
    void Key(int32_t unit, const char* name, const Durations& frame) {
        const Analysed a = Analyse(frame);
        Db().AddKey(unit, QLatin1String(name), a->Mode, static_cast<int32_t>(a->Adr), static_cast<int32_t>(a->Cmd),
                    CodeOf(frame));
    }
    QString Current() const {
        return controller->Db().ADOTableUnits.Text("Name") + u'/' + controller->Db().ADOTableCodes.Text("Name");
    }
    // The sender over a fake device; the settings name /dev/lirc3.
    void FakeTransmitter(FakeLircOutput::Script script = {}, bool realWaits = false) {
        capture.config.LircTransmitDevice = "/dev/lirc3";
        LircTransmitter::Options options = FakeTransmitterOptions(log, script);
        if (realWaits) options.waitHook = nullptr;
        controller->SetTransmitter(std::make_unique<LircTransmitter>(std::move(options)));
    }
    // Transmit0, then the sender's end.
    int Transmit() {
        QSignalSpy ended(controller.get(), &MainController::transmitEnded);
        controller->Transmit0Execute();
        EXPECT_TRUE(controller->Actions().transmitting);
        EXPECT_TRUE(ProcessUntil([&] { return ended.count() > 0; }));
        EXPECT_FALSE(controller->Actions().transmitting);
        return ended.isEmpty() ? -1 : ended.front().front().toInt();
    }
    int Entries() { return Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblTransmit\"")).toInt(); }

    int beeps = 0;
    std::shared_ptr<LircLog> log = std::make_shared<LircLog>();
};
TOVANEL_BOTH_ENGINES(SearchTransmitTest);

TEST_P(SearchTransmitTest, SearchModeFindsEachRecordedKeyAgain) {
    Start();
    controller->UserRecord(true);
    controller->UserSearch(true);
    controller->UserSearchAll(true);
    ProcessQueued();

    Receive(Distort(NecFrame(4, 8)));
    EXPECT_EQ(controller->StatusText(), u"Found unit \"Alpha\", key \"Power\"");
    EXPECT_EQ(beeps, 1);
    // On after it, past the unit forced to RC-5.
    controller->SearchNext0Execute(true);
    EXPECT_EQ(Current(), u"Gamma/Power2");
    EXPECT_EQ(beeps, 2);
    controller->SearchNext0Execute(true);
    EXPECT_EQ(controller->StatusText(), u"Not found");
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(Current(), u"Gamma/Power2");
    EXPECT_EQ(Shown().Protocol, Protocol::Nec);  // the recording is still shown

    // A new key press starts again at the first unit; bit 31 of its
    // address does not keep it from being found.
    tick += 1000;
    Receive(Rec80Frame());
    ASSERT_EQ(Shown().Protocol, Protocol::Rec80);
    ASSERT_GT(Shown().Adr, 0x7FFFFFFFu);
    EXPECT_EQ(controller->StatusText(), u"Found unit \"Gamma\", key \"Hi\"");

    // The current unit only: its first match, again and again.
    controller->UserSearchAll(false);
    controller->Db().ADOTableUnits.First();
    tick += 1000;
    Receive(Distort(NecFrame(4, 8)));
    EXPECT_EQ(Current(), u"Alpha/Power");
    controller->SearchNext0Execute(true);
    EXPECT_EQ(Current(), u"Alpha/Power");
    EXPECT_EQ(beeps, 5);

    controller->UserRecord(false);
    EXPECT_EQ(controller->StatusText(), u"");
}

TEST_P(SearchTransmitTest, TransmitSendsTheListThroughTheSettingsDevice) {
    Start();
    FakeTransmitter();
    controller->TransAdd0Execute();  // Alpha/Power
    controller->Db().ADOTableUnits.Last();
    controller->Db().ADOTableCodes.Last();
    controller->TransAdd0Execute();  // Gamma/Power2, sent twice
    TableView& trans = controller->Db().ADOTableTrans;
    trans.Edit();
    trans.SetInt("Repeat", 1);
    trans.Post();
    Db().Exec(QStringLiteral("UPDATE \"tblUnits\" SET \"Carrier\" = '36' WHERE \"Name\" = 'Gamma'"));

    EXPECT_EQ(Transmit(), static_cast<int>(TransmitOutcome::Status::Sent));
    const std::vector<std::string> lines = log->Lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "open /dev/lirc3");
    // Alpha's carrier, its frame, the pause; Gamma's carrier, its frame twice.
    EXPECT_EQ(lines[1], "carrier 38000");
    EXPECT_EQ(lines[3], "wait 1000000");
    EXPECT_EQ(lines[4], "carrier 36000");
    EXPECT_EQ(lines[6], "wait 100000");
    EXPECT_EQ(controller->StatusText(), u"");
    EXPECT_TRUE(messages.empty());

    // A transmitter that is not there: its message, the list as it was.
    log->lines.clear();
    FakeTransmitter({.openError = ENOENT});
    EXPECT_EQ(Transmit(), static_cast<int>(TransmitOutcome::Status::Failed));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, u"Can't open LIRC device /dev/lirc3: No such file or directory");
    EXPECT_EQ(Entries(), 2);
    EXPECT_EQ(trans.RecordCount(), 2);
}

TEST_P(SearchTransmitTest, TheWindowsTransmitCommands) {
    Start();
    RecordingDialogs dialogs;
    TMainForm form(*controller, dialogs);
    form.Action("TransAdd0")->trigger();
    form.Action("TransAdd0")->trigger();
    EXPECT_EQ(Entries(), 2);

    // The grid asks before it deletes; No keeps the entry.
    QAction* gridDelete = form.findChild<QAction*>(QStringLiteral("DBGridTransDelete"));
    ASSERT_NE(gridDelete, nullptr);
    dialogs.yes = false;
    gridDelete->trigger();
    EXPECT_EQ(dialogs.questions, std::vector<QString>{QStringLiteral("Delete record?")});
    EXPECT_EQ(Entries(), 2);
    dialogs.yes = true;
    gridDelete->trigger();
    EXPECT_EQ(Entries(), 1);

    // Delete brings its page to the front and asks nothing.
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    pages->setCurrentIndex(0);
    form.Action("TransDel0")->trigger();
    EXPECT_EQ(Entries(), 0);
    EXPECT_EQ(dialogs.questions.size(), 2u);
    EXPECT_EQ(pages->currentWidget()->objectName(), u"TabSheet2");
    EXPECT_EQ(form.findChild<QTabWidget*>(QStringLiteral("PageControl2"))->currentWidget()->objectName(),
              u"TabSheetTransmit");

    // While sending, Transmit is the way to stop.
    FakeTransmitter({}, true);
    form.Action("TransAdd0")->trigger();
    form.Action("TransAdd0")->trigger();
    TableView& trans = controller->Db().ADOTableTrans;
    trans.First();
    trans.Edit();
    trans.SetInt("Pause", 600000);
    trans.Post();
    QSignalSpy ended(controller.get(), &MainController::transmitEnded);
    form.Action("Transmit0")->trigger();
    EXPECT_EQ(form.Action("Transmit0")->text(), u"Stop");
    ASSERT_TRUE(ProcessUntil([&] { return controller->StatusText().startsWith(u"Transmitting unit \"Alpha\""); }));
    form.Action("Transmit0")->trigger();
    ASSERT_TRUE(ProcessUntil([&] { return ended.count() > 0; }));
    EXPECT_EQ(ended.front().front().toInt(), static_cast<int>(TransmitOutcome::Status::Stopped));
    EXPECT_EQ(log->Lines().back(), "close");
    EXPECT_EQ(controller->StatusText(), u"");
    EXPECT_EQ(form.Action("Transmit0")->text(), u"Transmit");
    EXPECT_EQ(form.Action("Transmit0")->statusTip(), u"Transmit list!");
}

}  // namespace
}  // namespace tovanel::test
