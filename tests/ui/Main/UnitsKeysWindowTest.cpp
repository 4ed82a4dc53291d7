// The unit and key actions and the picture, through the controller and
// through the real window: what they ask, what they store, what the window
// shows afterwards, and what a refused write leaves.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "analysis/Recognition.h"
#include "tests/ui/Main/TestPictures.h"
#include "tests/ui/Main/UiTestSupport.h"
#include "ui/Main/MainForm.h"

namespace tovanel::test {
namespace {

// "Alpha" with the NEC keys "Mute" and "Power", "Beta" without keys.
class UnitsKeysWindowTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        if (IsSkipped()) return;
        alpha = Db().AddUnit(QStringLiteral("Alpha"));
        beta = Db().AddUnit(QStringLiteral("Beta"));
        Db().AddKey(alpha, QStringLiteral("Power"), 0, 0, 0, CodeOf(Distort(NecFrame(0x04, 0x08))));
        Db().AddKey(alpha, QStringLiteral("Mute"), 0, 0, 0, CodeOf(Distort(NecFrame(0x04, 0x09))));
    }
    MainController::AskName Answer(std::optional<QString> name) {
        return [this, name](const QString& caption, const QString& initial) {
            asked.push_back(caption + u'|' + initial);
            return name;
        };
    }
    MainController::Confirm Say(bool yes) {
        return [this, yes](const QString& text) {
            asked.push_back(text);
            return yes;
        };
    }
    void Burst(uint8_t cmd) {
        tick += 1000;
        Receive(Distort(NecFrame(0x10, cmd)));
        tick += 108;
        Receive(Distort(NecRepeatFrame()), 40000);
    }
    QString Key(const char* column) { return controller->Db().ADOTableCodes.Text(column); }
    int KeyCount() { return controller->Db().ADOTableCodes.RecordCount(); }

    int32_t alpha = 0, beta = 0;
    std::vector<QString> asked;
};
TOVANEL_BOTH_ENGINES(UnitsKeysWindowTest);

TEST_P(UnitsKeysWindowTest, KeyActionsStoreTheRecordingAfterAsking) {
    Start();
    controller->UserRecord(true);
    ProcessQueued();
    buffer.Reset();  // as a receiver's start leaves it
    // Nothing recorded yet: refused before any question.
    controller->KeyAdd0Execute(Answer(QStringLiteral("x")));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, u"Invalid data");
    EXPECT_EQ(messages[0].text, u"Record correct key codes");
    EXPECT_TRUE(asked.empty());

    Burst(0x20);
    controller->KeyAdd0Execute(Answer(std::nullopt));
    EXPECT_EQ(KeyCount(), 2);
    controller->KeyAdd0Execute(Answer(QStringLiteral("Vol \"+\"")));
    EXPECT_EQ(asked, (std::vector<QString>{"Add new key|(new key)", "Add new key|(new key)"}));
    ASSERT_EQ(KeyCount(), 3);
    EXPECT_EQ(Key("Name"), u"Vol \"+\"");  // current, and in its place by name
    EXPECT_EQ(controller->Db().ADOTableCodes.RecNo(), 3);
    EXPECT_EQ(Key("strAdr"), u"0xEF10");
    EXPECT_EQ(Key("strCmd"), u"0x20");
    EXPECT_EQ(Key("Code1"), CodeOf(Distort(NecFrame(0x10, 0x20))));
    EXPECT_FALSE(Key("Code2").isEmpty());  // the repeat code
    EXPECT_TRUE(Key("Code3").isEmpty());

    // Update asks first; No changes nothing.
    asked.clear();
    Burst(0x21);
    controller->KeyUpdate0Execute(Say(false));
    EXPECT_EQ(Key("strCmd"), u"0x20");
    controller->KeyUpdate0Execute(Say(true));
    EXPECT_EQ(Key("strCmd"), u"0x21");
    EXPECT_EQ(Key("Name"), u"Vol \"+\"");
    EXPECT_EQ(asked[0], u"Replace the codes of key \"Vol \"+\"\" of unit \"Alpha\" with the recording?");

    // A frame longer than a code column is refused with the reason.
    const Durations longFrame = PulseDistance(NecTiming, Concat({BitsOf(0x12345678, 32, true), BitsOf(0x9ABC, 32, true)}));
    tick += 1000;
    Receive(longFrame);
    ASSERT_EQ(Shown().Count, 131);
    controller->KeyAdd0Execute(Answer(QStringLiteral("Long")));
    EXPECT_TRUE(messages.back().text.startsWith(u"Frame 1 cannot be stored: The frame has 131 durations"))
        << messages.back().text.toStdString();
    EXPECT_EQ(KeyCount(), 3);

    asked.clear();
    controller->KeyDel0Execute(Say(false));
    EXPECT_EQ(KeyCount(), 3);
    controller->KeyDel0Execute(Say(true));
    EXPECT_EQ(KeyCount(), 2);
    EXPECT_EQ(asked[0], u"Delete key \"Vol \"+\"\" of unit \"Alpha\"?");
}

TEST_P(UnitsKeysWindowTest, UnitActionsAndWhatTheyLeaveShown) {
    Start();
    // A new unit with recording off: carrier "???", every control at 0,
    // "(Auto)", no keys, an empty buffer, no picture.
    controller->UnitAdd0Execute(Answer(QStringLiteral("Gamma \u03b3")));
    EXPECT_EQ(asked.back(), u"Add new unit|(new unit)");
    const TableView& units = controller->Db().ADOTableUnits;
    EXPECT_EQ(units.Text("Name"), u"Gamma \u03b3");
    EXPECT_EQ(units.Text("Carrier"), u"???");
    const OverrideControls& c = controller->Controls();
    EXPECT_EQ(std::tie(c.protocol, c.modulation, c.adrStart, c.adrBits, c.cmdStart, c.cmdBits),
              std::make_tuple(0, 0, 0, 0, 0, 0));
    EXPECT_FALSE(c.adrOrder || c.adrInverse || c.cmdOrder || c.cmdInverse);
    EXPECT_FALSE(controller->Actions().keyEdit || controller->Actions().keyDel);
    EXPECT_EQ(Shown().Count, 0);
    EXPECT_TRUE(controller->Picture().isNull());

    controller->Db().ADOTableUnits.Locate(alpha);
    controller->UnitDup0Execute();
    EXPECT_EQ(units.Text("Name"), u"Alpha (copy)");
    EXPECT_EQ(KeyCount(), 2);
    EXPECT_EQ(Shown().Count, 67);  // its first key is shown

    controller->UnitDel0Execute(Say(false));
    EXPECT_EQ(units.RecordCount(), 4);
    controller->UnitDel0Execute(Say(true));
    EXPECT_EQ(asked.back(), u"Delete unit \"Alpha (copy)\" and all its keys ?");
    EXPECT_EQ(units.RecordCount(), 3);
    EXPECT_EQ(units.Text("Name"), u"Beta");  // the following unit
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblCodes\"")).toInt(), 2);

    // Refused half-way: the error's text, and Alpha shown as before.
    Db().FailWrites("tblUnits", "DELETE", QStringLiteral("1 = 1"));
    controller->Db().ADOTableUnits.Locate(alpha);
    controller->Guarded([&] { controller->UnitDel0Execute(Say(true)); });
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().text.contains(u"injected failure")) << messages.back().text.toStdString();
    EXPECT_EQ(units.Text("Name"), u"Alpha");
    EXPECT_EQ(KeyCount(), 2);
    EXPECT_FALSE(controller->Db().ReloadGuard);
    EXPECT_EQ(Shown().Count, 67);
    EXPECT_TRUE(controller->Actions().keyDel);
}

TEST_P(UnitsKeysWindowTest, APictureIsDecodedStoredAndShownWithItsUnit) {
    QSqlQuery q(Db().Admin().Db());
    q.prepare(QStringLiteral("UPDATE \"tblUnits\" SET \"Picture\" = ? WHERE \"ID\" = ?"));
    q.addBindValue(QByteArray("not a picture"));
    q.addBindValue(beta);
    ASSERT_TRUE(q.exec());
    Start();
    const QByteArray jpeg = TestJpeg();
    const std::string good = dir.File("remote.jpg", jpeg.toStdString());
    const std::string bad = dir.File("broken.jpg", jpeg.left(200).toStdString());
    auto pictureOf = [&](int32_t unit) {
        return Db().Scalar(QStringLiteral("SELECT \"Picture\" FROM \"tblUnits\" WHERE \"ID\" = %1").arg(unit)).toByteArray();
    };
    auto choose = [](const std::string& path) { return [path] { return QString::fromStdString(path); }; };

    controller->Image1Click(choose(good));
    EXPECT_EQ(pictureOf(alpha), jpeg);
    EXPECT_EQ(controller->Picture().size(), QSize(64, 48));

    // A file that does not decode, and a store that fails: the error's text,
    // and the unit keeps (and shows) its picture.
    controller->Image1Click(choose(bad));
    EXPECT_EQ(messages.back().caption, u"Tovanel v2.2.0.1");
    EXPECT_TRUE(messages.back().text.contains(u"broken.jpg: Premature end")) << messages.back().text.toStdString();
    Db().FailWrites("tblUnits", "UPDATE", QStringLiteral("1 = 1"));
    const std::string gif = dir.File("remote.gif", TestGif().toStdString());
    controller->Guarded([&] { controller->Image1Click(choose(gif)); });
    EXPECT_TRUE(messages.back().text.contains(u"injected failure"));
    EXPECT_EQ(pictureOf(alpha), jpeg);
    EXPECT_EQ(controller->Picture().size(), QSize(64, 48));

    // The picture follows the unit; a stored one that is no picture shows
    // nothing, without a message.
    const size_t before = messages.size();
    TableView& units = controller->Db().ADOTableUnits;
    units.Locate(beta);
    EXPECT_TRUE(controller->Picture().isNull());
    units.Locate(alpha);
    EXPECT_EQ(controller->Picture().size(), QSize(64, 48));
    EXPECT_EQ(messages.size(), before);
}

// The same commands from the window's actions, menus and picture box.
class UnitsKeysFormTest : public UnitsKeysWindowTest {
protected:
    void SetUp() override {
        UnitsKeysWindowTest::SetUp();
        if (IsSkipped()) return;
        form = std::make_unique<TMainForm>(*controller, dialogs);
        form->show();
        ASSERT_TRUE(ProcessUntil([&] { return controller->Db().ADOTableUnits.IsOpen(); }));
    }
    void TearDown() override {
        form.reset();
        UnitsKeysWindowTest::TearDown();
    }
    template <class W>
    W* Find(const char* name) const {
        return form->findChild<W*>(QString::fromLatin1(name));
    }
    QString CurrentText(const char* grid) {
        auto* view = Find<QTableView>(grid);
        return view->model()->index(view->currentIndex().row(), 0).data().toString();
    }

    RecordingDialogs dialogs;
    std::unique_ptr<TMainForm> form;
};
TOVANEL_BOTH_ENGINES(UnitsKeysFormTest);

TEST_P(UnitsKeysFormTest, TheActionsAskOnTheirPageAndTheGridsFollow) {
    auto* pages = Find<QTabWidget>("PageControl1");
    dialogs.name = QStringLiteral("Amplifier");
    form->Action("UnitAdd0")->trigger();
    ProcessQueued();
    EXPECT_EQ(CurrentText("DBGridUnits"), u"Amplifier");

    form->Action("Record0")->trigger();
    ProcessQueued();
    Burst(0x30);
    EXPECT_TRUE(form->Action("KeyAdd0")->isEnabled());
    dialogs.name = QStringLiteral("Play");
    form->Action("KeyAdd0")->trigger();
    ProcessQueued();
    EXPECT_EQ(CurrentText("DBGridCodes"), u"Play");
    EXPECT_TRUE(form->Action("KeyUpdate0")->isEnabled());

    form->Action("KeyEdit0")->trigger();
    auto* editor = Find<QTableView>("DBGridCodes")->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), u"Play");

    pages->setCurrentIndex(0);
    dialogs.yes = false;
    form->Action("KeyDel0")->trigger();
    EXPECT_EQ(pages->currentWidget()->objectName(), u"TabSheet2");
    EXPECT_EQ(dialogs.questions.back(), u"Delete key \"Play\" of unit \"Amplifier\"?");
    form->Action("UnitDel0")->trigger();
    EXPECT_EQ(pages->currentWidget()->objectName(), u"TabSheet1");
    EXPECT_EQ(dialogs.questions.back(), u"Delete unit \"Amplifier\" and all its keys ?");

    // A click on the picture box loads the chosen picture into it.
    dialogs.picture = QString::fromStdString(dir.File("remote.jpg", TestJpeg().toStdString()));
    auto* image = Find<QLabel>("Image1");
    QTest::mouseClick(image->parentWidget(), Qt::LeftButton);
    EXPECT_EQ(image->pixmap().size(), QSize(64, 48));
    EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
}  // namespace tovanel::test
