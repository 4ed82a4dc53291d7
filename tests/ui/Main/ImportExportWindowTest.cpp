// "File > Import..." and "File > Export unit..." through the real window:
// the chosen file's units become current, a bad file leaves the lists as
// they were, and the current unit is written in the chosen format.
#include <gtest/gtest.h>

#include <QAction>

#include "database/formats/CodeFile.h"
#include "tests/ui/Main/UiTestSupport.h"
#include "ui/Main/MainForm.h"

namespace tovanel::test {
namespace {

class ImportExportWindowTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        if (IsSkipped()) return;
        Db().AddUnit(QStringLiteral("Amplifier"));
        form = std::make_unique<TMainForm>(*controller, dialogs);
        form->show();
        ASSERT_TRUE(ProcessUntil([&] { return controller->Db().ADOTableUnits.IsOpen(); }));
    }
    void TearDown() override {
        form.reset();
        ControllerTest::TearDown();
    }
    const TableView& Units() { return controller->Db().ADOTableUnits; }

    RecordingDialogs dialogs;
    std::unique_ptr<TMainForm> form;
};
TOVANEL_BOTH_ENGINES(ImportExportWindowTest);

TEST_P(ImportExportWindowTest, ImportThenExportTheCurrentUnit) {
    // Cancelled: nothing happens.
    form->Action("Import0")->trigger();
    EXPECT_TRUE(dialogs.reports.empty());
    EXPECT_TRUE(dialogs.messages.empty());

    dialogs.importFile = QStringLiteral(TOVANEL_SOURCE_DIR "/tests/database/formats/data/nec.lircd.conf");
    form->Action("Import0")->trigger();
    ASSERT_EQ(dialogs.reports.size(), 1u);
    EXPECT_EQ(dialogs.reports[0].caption, u"Import");
    EXPECT_EQ(dialogs.reports[0].text, u"Imported 2 keys from nec.lircd.conf (lircd.conf) into the unit \"NEC_TV\".");
    EXPECT_TRUE(dialogs.reports[0].detail.contains(u"\"KEY_POWER\": NEC, mode 0, address 0xFB04, command 0x08"));
    EXPECT_EQ(Units().RecordCount(), 2);
    EXPECT_EQ(Units().Text("Name"), u"NEC_TV");
    EXPECT_EQ(controller->Db().ADOTableCodes.RecordCount(), 2);

    // A file of no format: said in a message box, and the lists stay.
    dialogs.importFile = QString::fromStdString(dir.File("notes.txt", "shopping list\n"));
    form->Action("Import0")->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, u"Nothing was imported from notes.txt.");
    EXPECT_TRUE(dialogs.messages[0].detail.contains(u"notes.txt: line 1: not a code file"))
        << dialogs.messages[0].detail.toStdString();
    EXPECT_EQ(Units().RecordCount(), 2);
    EXPECT_EQ(Units().Text("Name"), u"NEC_TV");

    // Export: the dialog is offered the unit's name; cancelled, nothing.
    form->Action("Export0")->trigger();
    EXPECT_EQ(dialogs.questions, (std::vector<QString>{"NEC_TV"}));
    EXPECT_EQ(dialogs.reports.size(), 1u);
    const std::string path = (dir.path / "tv.ir").string();
    dialogs.exportTarget = ExportTarget{QString::fromStdString(path), CodeFileFormat::IrSignals};
    form->Action("Export0")->trigger();
    ASSERT_EQ(dialogs.reports.size(), 2u);
    EXPECT_TRUE(dialogs.reports[1].text.startsWith(u"Exported 2 keys of the unit \"NEC_TV\" to "))
        << dialogs.reports[1].text.toStdString();
    CodeFileCollector back;
    ReadCodeFileText(TempDir::ReadFile(path), back);
    ASSERT_EQ(back.units.size(), 1u);
    EXPECT_EQ(back.units[0].keys.size(), 2u);

    // A file that cannot be written: a message, no report.
    dialogs.exportTarget->path = QString::fromStdString((dir.path / "no" / "tv.ir").string());
    form->Action("Export0")->trigger();
    EXPECT_EQ(dialogs.reports.size(), 2u);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[1].text.startsWith(u"Cannot write ")) << dialogs.messages[1].text.toStdString();
}

}  // namespace
}  // namespace tovanel::test
