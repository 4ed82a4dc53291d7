// What only the widgets show: the actions, menus, tool buttons and lists at
// start, the grids moving the views, the pages, and the setup dialog's
// panels and buttons.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "analysis/Recognition.h"
#include "tests/ui/Main/UiTestSupport.h"
#include "ui/Main/MainForm.h"
#include "ui/Main/SetupForm.h"

namespace tovanel::test {
namespace {

class MainFormTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        if (IsSkipped()) return;
        const int32_t a = Db().AddUnit(QStringLiteral("Amplifier"));
        Db().AddKey(a, QStringLiteral("Power"), 0, 0, 0, CodeOf(Distort(NecFrame(0x10, 0x20))));
        const int32_t t = Db().AddUnit(QStringLiteral("Television"), Protocol::Nec);
        Db().AddKey(t, QStringLiteral("Mute"), 0, 0, 0, CodeOf(Distort(NecFrame(0x04, 0x09))));
        form = std::make_unique<TMainForm>(*controller, dialogs);
    }
    void TearDown() override {
        form.reset();
        ControllerTest::TearDown();
    }
    template <class W>
    W* Find(const char* name) const {
        W* w = form->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void ShowWindow() {
        form->show();
        ASSERT_TRUE(ProcessUntil([&] { return controller->Db().ADOTableUnits.IsOpen() || !dialogs.messages.empty(); }));
    }

    RecordingDialogs dialogs;
    std::unique_ptr<TMainForm> form;
};
TOVANEL_BOTH_ENGINES(MainFormTest);

TEST_P(MainFormTest, ActionsAtStart) {
    struct Case {
        const char* name;
        const char* category;
        const char* caption;
        const char* hint;
        bool enabled, checkable;
    };
    const Case cases[] = {
        {"UnitAdd0", "Units", "Add...", "Add new unit...", true, false},
        {"UnitEdit0", "Units", "Edit...", "Edit unit...", true, false},
        {"UnitDup0", "Units", "Duplicate", "Duplicate unit", true, false},
        {"UnitDel0", "Units", "Delete...", "Delete unit...", true, false},
        {"Setup0", "General", "&Setup device...", "Setup input device...", true, false},
        {"DataBase0", "General", "Data base...", "", true, false},
        {"KeyAdd0", "Keys", "Add", "Add new key", false, false},
        {"KeyUpdate0", "Keys", "Update", "Update key", false, false},
        {"KeyEdit0", "Keys", "Edit...", "Edit...", false, false},
        {"KeyDel0", "Keys", "Delete...", "Delete key...", false, false},
        {"Record0", "General", "Record", "Enable record", true, true},
        {"Redraw0", "General", "Redraw OSC", "Redraw OSC", true, false},
        {"Search0", "Keys", "Search mode", "Search mode", false, true},
        {"SearchNext0", "Keys", "Search next", "Search next", false, false},
        {"SearchAll0", "Keys", "Search all units", "Search all units", true, true},
        {"Transmit0", "Transmit", "Transmit", "Transmit list!", true, false},
        {"TransAdd0", "Transmit", "Add", "Add to transmit list", true, false},
        {"TransDel0", "Transmit", "Delete", "Delete from transmit list", true, false},
    };
    for (const Case& k : cases) {
        QAction* a = form->Action(k.name);
        ASSERT_NE(a, nullptr) << k.name;
        EXPECT_EQ(a->property("category").toString(), QString::fromLatin1(k.category)) << k.name;
        EXPECT_EQ(a->text(), QString::fromLatin1(k.caption)) << k.name;
        EXPECT_EQ(a->statusTip(), QString::fromLatin1(k.hint)) << k.name;
        EXPECT_EQ(a->isEnabled(), k.enabled) << k.name;
        EXPECT_EQ(a->isCheckable(), k.checkable) << k.name;
        EXPECT_FALSE(a->isChecked()) << k.name;
    }
    // Every tool button shows a picture, from the theme or our own.
    for (QToolBar* bar : form->findChildren<QToolBar*>()) {
        for (QAction* a : bar->actions()) {
            if (a->isSeparator()) continue;
            EXPECT_FALSE(a->icon().pixmap(16, 16).isNull()) << a->objectName().toStdString();
        }
    }

    QStringList protocols;
    for (int i = 0; i < Find<QComboBox>("ComboProtocol")->count(); ++i)
        protocols << Find<QComboBox>("ComboProtocol")->itemText(i);
    EXPECT_EQ(protocols, (QStringList{"(Auto)", "ITT", "JVC", "NEC", "NOKIA", "SHARP", "SONY", "RC-5", "RC-6",
                                      "RC-MM", "RECS80", "X-Sat", "SANYO", "REC80", "RCA", "RCA2", "NEC (rev)",
                                      "KONKA", "MITSUBISHI", "THOMSON"}));
    EXPECT_EQ(Find<QComboBox>("ComboProtocol")->currentIndex(), 0);
    EXPECT_EQ(Find<QComboBox>("ComboModulation")->currentText(), u"(Auto)");
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentWidget()->objectName(), u"TabSheet2");
    EXPECT_EQ(Find<QLabel>("StatusText")->text(), u"");
    EXPECT_EQ(form->windowTitle(), u"Tovanel v2.2.0.1");
}

TEST_P(MainFormTest, MenusHoldTheActionsInOrder) {
    QStringList menus;
    for (QAction* top : form->menuBar()->actions()) {
        QStringList items;
        for (QAction* a : top->menu()->actions()) items << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
        menus << top->text() + QStringLiteral(": ") + items.join(u' ');
    }
    EXPECT_EQ(menus, (QStringList{
                         "&File: OpenRecording0 - Import0 Export0 - Setup0 DataBase0 - Exit1",
                         "&Unit: UnitAdd0 UnitEdit0 UnitDup0 UnitDel0",
                         "Keys: Record0 - Search0 SearchNext0 SearchAll0 - KeyAdd0 KeyUpdate0 KeyEdit0 KeyDel0",
                         "Transmit: TransAdd0 TransDel0 - Transmit0",
                         "&View: Redraw0",
                         "&?: About1",
                     }));
}

TEST_P(MainFormTest, ChoosingAUnitInTheGridShowsItsSettingsAndKey) {
    ShowWindow();
    auto* units = Find<QTableView>("DBGridUnits");
    EXPECT_EQ(Find<QLabel>("lbCmdData")->text(), u"Data: 0x20 (32)");
    EXPECT_TRUE(Find<QComboBox>("ComboModulation")->isEnabled());

    units->setCurrentIndex(units->model()->index(1, 0));
    ASSERT_TRUE(ProcessUntil([&] { return Find<QLabel>("lbCmdData")->text() == u"Data: 0x09 (9)"; }));
    EXPECT_EQ(Find<QComboBox>("ComboProtocol")->currentText(), u"NEC");
    EXPECT_EQ(Find<QLabel>("LabelLinux")->text(), u"Linux: nec 0x0409");
    EXPECT_FALSE(Find<QComboBox>("ComboModulation")->isEnabled());
    EXPECT_EQ(Find<QListWidget>("ListBox1")->item(0)->text().endsWith(u" [33]"), true);
    EXPECT_EQ(Find<QTableView>("DBGridCodes")->model()->index(0, 0).data().toString(), u"Mute");
    EXPECT_EQ(Find<QTableView>("DBGridCodes")->model()->index(0, 2).data().toString(), u"0x00");  // as stored
}

TEST_P(MainFormTest, TheDescriptionPageUnchecksRecord) {
    ShowWindow();
    form->Action("Record0")->trigger();
    EXPECT_TRUE(form->Action("Record0")->isChecked());
    EXPECT_TRUE(form->Action("Search0")->isEnabled());
    EXPECT_EQ(Find<QLabel>("StatusText")->text(), u"Recording...");
    Find<QTabWidget>("PageControl1")->setCurrentIndex(0);
    EXPECT_FALSE(form->Action("Record0")->isChecked());
    EXPECT_EQ(capture.log, (std::vector<std::string>{"start COM"}));
}

TEST_P(MainFormTest, AFailedDatabaseLeavesEmptyListsAndAWorkingWindow) {
    controller->SetConnectionString(QStringLiteral("Driver=QSQLITE;Database=/nonexistent/none.db"));
    ShowWindow();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, u"Error open data base");
    EXPECT_EQ(Find<QTableView>("DBGridUnits")->model()->rowCount(), 0);
    EXPECT_EQ(Find<QTableView>("DBGridCodes")->model()->rowCount(), 0);
    form->Action("Record0")->trigger();
    form->Action("Record0")->trigger();
    EXPECT_EQ(capture.log, (std::vector<std::string>{"start COM", "stop"}));
}

TEST(SetupFormTest, PanelsButtonsAndRestarts) {
    TempDir dir;
    dir.File("tovanel.ini", "[Setup]\nSource=USB\n[COM]\nDualPower=0\n");
    ScriptedCapture capture;
    SharedFrameBuffer buffer;
    SharedDecodeSettings settings;
    RecordingDialogs dialogs;
    int records = 0;
    QString connection;
    TSetupForm setup(capture, settings, buffer, (dir.path / "tovanel.ini").string(),
                     {[&] { ++records; }, [&](const QString& c) { connection = c; }}, dialogs);
    auto* panels = setup.findChild<QStackedWidget*>(QStringLiteral("Panels"));
    auto* mixer = setup.findChild<QPushButton*>(QStringLiteral("MixerButton"));
    EXPECT_TRUE(connection.startsWith(u"FILE NAME="));
    EXPECT_EQ(panels->currentWidget()->objectName(), u"IgorPlug-USB");
    EXPECT_FALSE(setup.findChild<QPushButton*>(QStringLiteral("ApplyButton"))->isEnabled());
    EXPECT_EQ(setup.findChild<QComboBox*>(QStringLiteral("DCaptureDevCombo"))->count(), 2);

    setup.show();
    EXPECT_EQ(capture.log, (std::vector<std::string>{"start USB"}));
    capture.usbLabel = "Status: no device";
    setup.StatusTimerTimer();
    EXPECT_EQ(setup.findChild<QLabel*>(QStringLiteral("IgorPlugStatusLabel"))->text(), u"Status: no device");

    setup.findChild<QAbstractButton*>(QStringLiteral("SourceButton2"))->click();
    EXPECT_EQ(panels->currentWidget()->objectName(), u"Sound");
    EXPECT_FALSE(mixer->isHidden());
    setup.findChild<QAbstractButton*>(QStringLiteral("SourceButton1"))->click();
    EXPECT_TRUE(mixer->isHidden());
    setup.findChild<QAbstractButton*>(QStringLiteral("DualPowerButton"))->click();
    auto* apply = setup.findChild<QPushButton*>(QStringLiteral("ApplyButton"));
    EXPECT_TRUE(apply->isEnabled());
    apply->click();
    EXPECT_FALSE(apply->isEnabled());

    setup.findChild<QPushButton*>(QStringLiteral("Button1"))->click();  // "Close"
    EXPECT_EQ(capture.log, (std::vector<std::string>{"start USB", "stop", "start Sound", "stop", "start COM", "stop",
                                                     "start COM", "stop"}));
    EXPECT_EQ(records, 1);
    EXPECT_TRUE(dir.Read("tovanel.ini").find("Source=COM") != std::string::npos);
}

}  // namespace
}  // namespace tovanel::test
