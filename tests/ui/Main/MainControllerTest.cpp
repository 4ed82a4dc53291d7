// The main window's logic without widgets: start-up, the decoding
// overrides and their writes, the frame notification, the recording
// session and the database's failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSignalSpy>

#include "analysis/Recognition.h"
#include "capture/Setup/IniFile.h"
#include "tests/ui/Main/UiTestSupport.h"

namespace tovanel::test {
namespace {

// Two units: "Alpha" (two NEC keys) and "Beta" (no keys). Alpha's keys by
// name: "Mute" (address 0x04, command 0x09, first), "Power" (0x04, 0x08).
class MainControllerTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        if (IsSkipped()) return;
        alpha = Db().AddUnit(QStringLiteral("Alpha"));
        beta = Db().AddUnit(QStringLiteral("Beta"));
        power = Db().AddKey(alpha, QStringLiteral("Power"), 0, 0, 0, CodeOf(Distort(NecFrame(0x04, 0x08))),
                            CodeOf(Distort(NecRepeatFrame()), 108000));
        mute = Db().AddKey(alpha, QStringLiteral("Mute"), 0, 0, 0, CodeOf(Distort(NecFrame(0x04, 0x09))));
    }
    int32_t alpha = 0, beta = 0, power = 0, mute = 0;
};
TOVANEL_BOTH_ENGINES(MainControllerTest);

TEST_P(MainControllerTest, StartUpShowsTheFirstUnitsFirstKeyAndStoresItsLayout) {
    Start();
    MainController& c = *controller;
    EXPECT_EQ(c.Db().ADOTableUnits.Text("Name"), u"Alpha");
    EXPECT_EQ(c.Db().ADOTableCodes.Text("Name"), u"Mute");
    EXPECT_EQ(c.Results().protocol, u"Detect: NEC");
    EXPECT_EQ(c.Results().modulation, u"Detect: Pulse distance");
    EXPECT_EQ(c.Results().adrData, u"Data: 0xFB04 (64260)");
    EXPECT_EQ(c.Results().cmdData, u"Data: 0x09 (9)");
    EXPECT_EQ(c.Results().rcReading, u"Linux: nec 0x0409");
    EXPECT_EQ(c.Results().pulses.size(), 2);  // the bit marks and the header mark
    EXPECT_TRUE(c.Results().pulses.front().endsWith(u" [33]"));
    EXPECT_EQ(c.Controls().protocol, 0);
    EXPECT_EQ(c.Controls().modulation, 0);
    EXPECT_TRUE(c.Controls().layoutEnabled);
    // The recognised layout came into the controls and, the unit's protocol
    // being automatic, into its row: start bit 1 of 8 address bits.
    EXPECT_EQ(c.Controls().adrStart, 1);
    EXPECT_EQ(c.Controls().adrBits, 8);
    EXPECT_EQ(UnitColumn(alpha, "AdrStart"), 1);
    EXPECT_EQ(UnitColumn(alpha, "CmdStart"), 17);
    EXPECT_TRUE(c.Actions().keyEdit && c.Actions().keyDel);
    EXPECT_FALSE(c.Actions().keyAdd || c.Actions().keyUpdate || c.Actions().record || c.Actions().searchEnabled);
    EXPECT_EQ(c.StatusText(), u"");
    EXPECT_TRUE(messages.empty());
}

TEST_P(MainControllerTest, ChoosingAProtocolAndBackToAuto) {
    Start();
    Db().Exec(QStringLiteral("UPDATE \"tblCodes\" SET \"Adr\" = 12345 WHERE \"ID\" = %1").arg(power));
    const int before = displays;

    controller->UserProtocol(Protocol::Rc5);
    EXPECT_FALSE(controller->Controls().layoutEnabled);
    EXPECT_EQ(controller->Controls().modulation, Modulation::BiPhase);
    EXPECT_EQ(settings.Get().ForcedProtocol, Protocol::Rc5);
    EXPECT_EQ(UnitColumn(alpha, "Protocol"), Protocol::Rc5);
    EXPECT_EQ(UnitColumn(alpha, "Modulation"), 0);  // the unit's modulation stays
    EXPECT_GT(displays, before);                     // the current key was reloaded
    EXPECT_EQ(KeyColumn(power, "Adr"), 12345);       // and no key recomputed

    controller->UserProtocol(0);
    EXPECT_TRUE(controller->Controls().layoutEnabled);
    EXPECT_EQ(controller->Controls().modulation, Modulation::BiPhase);
    EXPECT_EQ(UnitColumn(alpha, "Protocol"), 0);
    // The modulation handler stored the modulation and recomputed the keys.
    EXPECT_EQ(UnitColumn(alpha, "Modulation"), Modulation::BiPhase);
    EXPECT_NE(KeyColumn(power, "Adr"), 12345);
}

TEST_P(MainControllerTest, LayoutChangesOnlySteerTheAnalyserWhileRecordingOrWithAProtocolChosen) {
    Start();
    controller->UserRecord(true);
    ProcessQueued();
    const int before = displays;
    controller->SetAdrStart(2);
    EXPECT_EQ(settings.Get().AdrStart, 4);
    EXPECT_EQ(UnitColumn(alpha, "AdrStart"), 1);
    EXPECT_EQ(displays, before);
    controller->UserRecord(false);

    controller->UserProtocol(Protocol::Nec);
    controller->SetCmdBits(5);
    EXPECT_EQ(settings.Get().CmdBits, 5);
    EXPECT_EQ(UnitColumn(alpha, "CmdBits"), 8);
}

TEST_P(MainControllerTest, ALayoutChangeStoresItAndRecomputesEveryKeyOfTheUnit) {
    const int32_t empty = Db().AddKey(alpha, QStringLiteral("Empty"), 5, 6, 7);
    Start();
    controller->SetAdrInverse(true);
    EXPECT_EQ(UnitColumn(alpha, "AdrInverse"), 1);
    EXPECT_EQ(KeyColumn(empty, "Mode"), 0);
    EXPECT_EQ(KeyColumn(empty, "Adr"), 0);
    EXPECT_EQ(KeyColumn(empty, "Cmd"), 0);
    EXPECT_EQ(KeyColumn(power, "Cmd"), 0x08);
}

TEST_P(MainControllerTest, StoredChoicesBeyondTheListsShowAuto) {
    struct Case {
        int protocol, modulation, shownProtocol, shownModulation;
    };
    const Case cases[] = {{20, 4, 0, 0}, {-1, 3, 0, 3}, {Protocol::Sony, 0, Protocol::Sony, Modulation::PulseLength}};
    Start();
    for (const Case& k : cases) {
        Db().Exec(QStringLiteral("UPDATE \"tblUnits\" SET \"Protocol\" = %1, \"Modulation\" = %2 WHERE \"ID\" = %3")
                      .arg(k.protocol)
                      .arg(k.modulation)
                      .arg(beta));
        TableView& units = controller->Db().ADOTableUnits;
        units.Refresh();
        units.Locate(alpha);
        units.Locate(beta);
        SCOPED_TRACE(testing::Message() << "stored protocol " << k.protocol << ", modulation " << k.modulation);
        EXPECT_EQ(controller->Controls().protocol, k.shownProtocol);
        EXPECT_EQ(controller->Controls().modulation, k.shownModulation);
        EXPECT_EQ(settings.Get().ForcedProtocol, k.shownProtocol);
        // Beta has no keys: nothing to edit, ten empty slots.
        EXPECT_FALSE(controller->Actions().keyEdit);
        EXPECT_EQ(Shown().Count, 0);
    }
}

TEST(ValidateFramesTest, DecidesWhetherABurstMayBeStored) {
    struct Case {
        const char* what;
        int32_t count0, modulation0, protocol0;
        int32_t laterSlot, laterProtocol;
        bool laterRepeat;
        bool valid;
    };
    const Case cases[] = {
        {"empty slot 0", 0, 1, 3, 0, 0, false, false},
        {"no modulation", 67, 0, 0, 0, 0, false, false},
        {"modulation -1", 67, -1, 0, 0, 0, false, false},
        {"decoded first frame", 67, 1, 3, 2, 3, false, true},
        {"unknown protocol alone", 67, 1, 0, 0, 0, false, true},
        {"unknown first, slot 2 decoded", 67, 1, 0, 2, 3, false, false},
        {"unknown first, slot 2 a repeat code", 67, 1, 0, 2, 3, true, true},
        {"unknown first, slot 4 decoded", 67, 1, 0, 4, 3, false, true},
    };
    auto buffer = std::make_unique<FrameBuffer>();
    for (const Case& k : cases) {
        std::memset(buffer.get(), 0, sizeof(FrameBuffer));
        buffer->Slots[0].Count = k.count0;
        buffer->Slots[0].Modulation = k.modulation0;
        buffer->Slots[0].Protocol = k.protocol0;
        if (k.laterSlot > 0) {
            buffer->Slots[k.laterSlot].Protocol = k.laterProtocol;
            buffer->Slots[k.laterSlot].IsRepeat = k.laterRepeat;
        }
        EXPECT_EQ(ValidateFrames(*buffer), k.valid) << k.what;
    }
}

TEST(ResultTextsTest, FormatsAsThePanelsShowThem) {
    const int32_t means[] = {560, 1690}, counts[] = {33, 16};
    EXPECT_EQ(ClassLines(means, counts, 2), (QStringList{"560 [33]", "1690 [16]"}));
    EXPECT_EQ(AdrDataText(0xFF), u"Data: 0x00FF (255)");
    EXPECT_EQ(AdrDataText(0x12345678AB), u"Data: 0x12345678AB (78187493547)");
    EXPECT_EQ(CmdDataText(5), u"Data: 0x05 (5)");
    EXPECT_EQ(RecordStatusText(false, true), u"");
    EXPECT_EQ(RecordStatusText(true, false), u"Recording...");
    EXPECT_EQ(RecordStatusText(true, true), u"Recording... (auto search mode)");
    EXPECT_EQ(ProtocolItems().size(), 20);
    EXPECT_EQ(ProtocolItems()[16], u"NEC (rev)");
}

TEST_P(MainControllerTest, ARecordingSessionThroughTheCapture) {
    Start();
    controller->UserProtocol(Protocol::Rc5);

    controller->UserRecord(true);
    EXPECT_EQ(capture.log, (std::vector<std::string>{"start COM"}));
    EXPECT_EQ(settings.Get().ForcedProtocol, 0);  // captured frames are analysed freely
    EXPECT_EQ(settings.Get().ForcedModulation, 0);
    EXPECT_EQ(UnitColumn(alpha, "Protocol"), Protocol::Rc5);  // and nothing is written
    EXPECT_TRUE(controller->Actions().searchEnabled);
    EXPECT_EQ(controller->StatusText(), u"Recording...");
    controller->UserSearch(true);
    EXPECT_TRUE(controller->Actions().searchNextEnabled);
    EXPECT_EQ(controller->StatusText(), u"Recording... (auto search mode)");
    ProcessQueued();  // the notification posted by the start (wParam 1)
    EXPECT_EQ(searches, 0);

    // A burst of three frames: three notifications, one search.
    Receive(Distort(NecFrame(0x10, 0x20)));
    tick += 108;
    Receive(Distort(NecRepeatFrame()));
    tick += 108;
    Receive(Distort(NecRepeatFrame()));
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(Shown().Protocol, Protocol::Nec);
    EXPECT_EQ(controller->Results().cmdData, u"Data: 0x20 (32)");
    EXPECT_EQ(controller->Results().rcReading, u"Linux: nec 0x1020");
    EXPECT_TRUE(controller->Actions().keyAdd);
    EXPECT_TRUE(controller->Actions().keyUpdate);

    // Browsing the keys leaves the recording shown.
    controller->Db().ADOTableCodes.Next();
    EXPECT_EQ(controller->Results().cmdData, u"Data: 0x20 (32)");

    // A frame of no protocol leaves the layout controls as they were.
    const OverrideControls layout = controller->Controls();
    tick += 1000;
    Receive({3000, 1000, 500, 700, 500, 700, 500});
    EXPECT_LE(Shown().Protocol, 0);
    EXPECT_EQ(controller->Results().rcReading, u"Linux: (none)");
    EXPECT_EQ(controller->Controls().adrStart, layout.adrStart);
    EXPECT_EQ(controller->Controls().cmdBits, layout.cmdBits);

    controller->UserRecord(false);
    EXPECT_EQ(capture.log.back(), "stop");
    EXPECT_FALSE(controller->Actions().search || controller->Actions().searchNextEnabled);
    EXPECT_EQ(controller->StatusText(), u"");
    // The unit's choice is back and its current key is shown again.
    EXPECT_EQ(controller->Controls().protocol, Protocol::Rc5);
    EXPECT_EQ(Shown().Count, 67);
    EXPECT_FALSE(controller->Actions().keyAdd);
}

TEST_P(MainControllerTest, TheDescriptionPageUnchecksRecordButCaptureGoesOn) {
    Start();
    controller->UserRecord(true);
    controller->TabSheet1Show();
    EXPECT_FALSE(controller->Actions().record);
    EXPECT_EQ(capture.log, (std::vector<std::string>{"start COM"}));
    EXPECT_EQ(controller->StatusText(), u"Recording...");
    Receive(Distort(NecFrame(0x10, 0x21)));
    EXPECT_EQ(controller->Results().cmdData, u"Data: 0x21 (33)");
    EXPECT_FALSE(controller->Actions().keyAdd);
}

TEST_P(MainControllerTest, OpenRecordingPlaysTheFileAsCapture) {
    Start();
    ASSERT_TRUE(controller->OpenRecording(TOVANEL_SOURCE_DIR "/samples/nec-burst.mode2"));
    EXPECT_EQ(capture.log, (std::vector<std::string>{"play"}));
    EXPECT_TRUE(controller->Actions().record);
    EXPECT_EQ(controller->StatusText(), u"Recording...");

    const std::string junk = dir.File("junk.txt", "pulse 9000\nnonsense here\n");
    EXPECT_FALSE(controller->OpenRecording(junk));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(u"is not a recording of IR frames: line 2:")) << messages[0].text.toStdString();
    EXPECT_EQ(capture.log.size(), 1u);
}

TEST_P(MainControllerTest, ADatabaseThatFailsLeavesAUsableWindow) {
    struct Case {
        QString connection;
        const char* caption;
    };
    TestDatabase noTables(GetParam(), false);
    const Case cases[] = {
        {QStringLiteral("Driver=QSQLITE;Database=/nonexistent/none.db"), "Error open data base"},
        {QStringLiteral("Driver=NONE"), "Error open data base"},
        {noTables.ConnectionString(), "Error open data base tables"},
    };
    controller->FormCreate();
    for (const Case& k : cases) {
        messages.clear();
        controller->SetConnectionString(k.connection);
        EXPECT_FALSE(controller->FormShow());
        ASSERT_EQ(messages.size(), 1u) << k.connection.toStdString();
        EXPECT_EQ(messages[0].caption, QString::fromLatin1(k.caption));
        if (k.caption == std::string("Error open data base")) {
            EXPECT_EQ(messages[0].text,
                      QStringLiteral("Check up 'DB=' in file ") + QString::fromStdString(controller->SettingsFilePath()));
        }
        EXPECT_FALSE(controller->Actions().keyEdit);
        controller->UserRecord(true);
        controller->UserRecord(false);
        EXPECT_EQ(controller->StatusText(), u"");
    }
}

// A database file that cannot be written is opened for browsing: its keys
// are shown, moving about and changing the layout write nothing, and a
// change the user asks for is refused with the database's message.
TEST_P(MainControllerTest, ADatabaseFileThatCannotBeWrittenIsOpenForReadingOnly) {
    if (GetParam() != Engine::Sqlite) GTEST_SKIP() << "about a database file";
    const QByteArray file = QFile::encodeName(Db().Folder() + QStringLiteral("/test.db"));
    // As root only an immutable file cannot be written.
    ::chmod(file.constData(), 0444);
    if (::access(file.constData(), W_OK) == 0) std::system(("chattr +i '" + file.toStdString() + "' 2>/dev/null").c_str());
    struct Restore {
        QByteArray file;
        ~Restore() {
            std::system(("chattr -i '" + file.toStdString() + "' 2>/dev/null").c_str());
            ::chmod(file.constData(), 0644);
        }
    } restore{file};
    if (::access(file.constData(), W_OK) == 0) GTEST_SKIP() << "the file stays writable here";

    Start();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(u"The database cannot be written")) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].detail.contains(u"cannot be written")) << messages[0].detail.toStdString();
    EXPECT_EQ(controller->Db().ADOTableCodes.Text("Name"), u"Mute");
    EXPECT_EQ(controller->Results().cmdData, u"Data: 0x09 (9)");
    EXPECT_EQ(UnitColumn(alpha, "AdrStart"), 0);  // the recognised layout is not stored

    messages.clear();
    controller->SetAdrInverse(true);
    controller->UserModulation(Modulation::BiPhase);
    controller->Db().ADOTableUnits.Locate(beta);
    EXPECT_TRUE(messages.empty()) << messages[0].text.toStdString();
    EXPECT_EQ(UnitColumn(alpha, "AdrInverse"), 0);
    EXPECT_EQ(UnitColumn(alpha, "Modulation"), 0);

    EXPECT_THROW(controller->UnitAdd0Execute([](const QString&, const QString&) { return QStringLiteral("New"); }),
                 DbError);
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblUnits\"")).toInt(), 2);
}

TEST_P(MainControllerTest, DataBaseCancelledSavesTheStringAndReopens) {
    Start();
    controller->Db().ADOTableUnits.Locate(beta);
    controller->DataBase0Execute([](const QString& current) { return current; });
    EXPECT_EQ(IniFile(controller->SettingsFilePath()).GetString("Setup", "DB", ""),
              Db().ConnectionString().toStdString());
    EXPECT_EQ(controller->Db().ADOTableUnits.Text("Name"), u"Alpha");
    EXPECT_EQ(Shown().Count, 67);
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace tovanel::test
