// The table views on both engines: ordering, master and details, moving,
// editing, what one view sees of another's writes, hooks, nulls, and text
// and bytes that mean something to SQL.
#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>

#include "DbTestSupport.h"
#include "database/CodeDatabase.h"
#include "database/KeyCodes.h"
#include "database/TableViewModel.h"

namespace tovanel {
namespace {

using test::EngineTest;

QStringList Names(TableView& view) {
    QStringList names;
    for (int i = 0; i < view.RecordCount(); ++i) names << view.RowAt(i).Text("Name");
    return names;
}

// Walks the view as every caller does: First, then Next until Eof.
QStringList Walk(TableView& view) {
    QStringList names;
    for (view.First(); !view.Eof(); view.Next()) names << view.Text("Name");
    return names;
}

class Views : public EngineTest {
protected:
    void OpenAll() {
        const OpenOutcome r = db.Open(Db().ConnectionString(), QStringLiteral("tovanel.ini"));
        ASSERT_TRUE(r.ok) << r.text.toStdString() << " / " << r.detail.toStdString();
    }
    CodeDatabase db;
};
TOVANEL_BOTH_ENGINES(Views);

TEST_P(Views, UnitsSortByNameCaseBlindThenExactly) {
    for (const char* name : {"beta", "Alpha", "alpha", "Gamma", "", "_tv", "Zed"}) Db().AddUnit(QString::fromUtf8(name));
    Db().Exec(QStringLiteral("INSERT INTO \"tblUnits\" (\"Carrier\") VALUES ('36')"));  // no name at all
    OpenAll();
    // Null first, then by the names with ASCII letters folded to lower
    // case ('_' sorts before the letters), capitals first among equals.
    const QStringList expected{"", "", "_tv", "Alpha", "alpha", "beta", "Gamma", "Zed"};
    EXPECT_EQ(Names(db.ADOTableUnits), expected);
    EXPECT_EQ(Walk(db.ADOTableUnits), expected);
    db.ADOTableUnits.First();
    EXPECT_TRUE(db.ADOTableUnits.IsNull("Name"));
    db.ADOTableUnits.Next();
    EXPECT_FALSE(db.ADOTableUnits.IsNull("Name"));
}

TEST_P(Views, KeyViewsFollowTheirMasters) {
    const int32_t a = Db().AddUnit("A"), b = Db().AddUnit("B"), c = Db().AddUnit("C");
    for (const char* k : {"Power", "mute", "Vol+"}) Db().AddKey(a, k);
    Db().AddKey(c, "Play");
    Db().AddKey(c, "Eject");
    OpenAll();
    EXPECT_EQ(db.ADOTableUnits.Int("ID"), a);
    EXPECT_EQ(Names(db.ADOTableCodes), (QStringList{"mute", "Power", "Vol+"}));
    EXPECT_EQ(db.ADOTableCodes.RecNo(), 1);
    EXPECT_EQ(db.ADOTableCodes2.RecordCount(), 3);

    db.ADOTableCodes.Last();
    db.ADOTableUnits.Next();  // B has no keys
    EXPECT_EQ(db.ADOTableUnits.Int("ID"), b);
    EXPECT_EQ(db.ADOTableCodes.RecordCount(), 0);
    EXPECT_TRUE(db.ADOTableCodes.Eof() && db.ADOTableCodes.Bof());
    EXPECT_EQ(db.ADOTableCodes.Text("Code1"), QString());
    EXPECT_EQ(db.ADOTableCodes2.RecordCount(), 0);

    db.ADOTableUnits.Next();
    EXPECT_EQ(Names(db.ADOTableCodes), (QStringList{"Eject", "Play"}));
    EXPECT_EQ(db.ADOTableCodes.RecNo(), 1);
    EXPECT_EQ(db.ADOTableCodes.Int("UnitID"), c);
    // The copy views follow their own master only.
    EXPECT_EQ(db.ADOTableUnits3.Int("ID"), a);
    EXPECT_EQ(db.ADOTableCodes3.RecordCount(), 3);
    db.ADOTableUnits3.Locate(c);
    EXPECT_EQ(Names(db.ADOTableCodes3), (QStringList{"Play", "Eject"}));  // by UnitID, then ID
    EXPECT_EQ(Names(db.ADOTableCodes), (QStringList{"Eject", "Play"}));
}

TEST_P(Views, KeyOrderCanBeSwitchedWhileOpen) {
    const int32_t u = Db().AddUnit("TV");
    const int32_t k1 = Db().AddKey(u, "a", 0, 5, 2);
    Db().AddKey(u, "b", 0, -7, 9);
    Db().AddKey(u, "c", 0, 5, 1);
    Db().AddKey(u, "d", -1, 100, 100);
    Db().AddKey(Db().AddUnit("Other"), "z", -5, -5, -5);
    OpenAll();
    ASSERT_TRUE(db.ADOTableUnits.Locate(u));
    ASSERT_TRUE(db.ADOTableCodes.Locate(k1));
    db.ADOTableCodes.SetOrder(KeyOrderByCode);
    EXPECT_EQ(Names(db.ADOTableCodes), (QStringList{"d", "b", "c", "a"}));
    EXPECT_EQ(db.ADOTableCodes.Int("ID"), k1);
    EXPECT_EQ(db.ADOTableCodes.RecNo(), 4);
    db.ADOTableCodes.SetOrder(KeyOrderByName);
    EXPECT_EQ(Names(db.ADOTableCodes), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(db.ADOTableCodes.RecNo(), 1);
    EXPECT_THROW(db.ADOTableCodes.SetOrder(QStringLiteral("UnitID; DROP TABLE x")), DbError);
}

TEST_P(Views, MovingSetsEofBofAndRowNumbers) {
    for (const char* n : {"a", "b", "c"}) Db().AddUnit(n);
    OpenAll();
    TableView& v = db.ADOTableUnits;
    EXPECT_EQ(v.RecordCount(), 3);
    EXPECT_TRUE(v.Bof());
    EXPECT_FALSE(v.Eof());
    v.Prior();
    EXPECT_EQ(v.RecNo(), 1);
    v.Next();
    v.Next();
    EXPECT_EQ(v.Text("Name"), "c");
    EXPECT_FALSE(v.Eof());
    v.Next();  // past the last row: Eof, the last row stays current
    EXPECT_TRUE(v.Eof());
    EXPECT_EQ(v.Text("Name"), "c");
    v.Prior();
    EXPECT_FALSE(v.Eof());
    EXPECT_EQ(v.RecNo(), 2);
    v.SetRecNo(99);
    EXPECT_EQ(v.RecNo(), 3);
    v.SetRecNo(-4);
    EXPECT_EQ(v.RecNo(), 1);
    EXPECT_FALSE(v.Locate(123456));
    EXPECT_EQ(v.RecNo(), 1);
}

TEST_P(Views, AppendEditPostCancelAndDelete) {
    const int32_t u = Db().AddUnit("TV");
    Db().AddKey(u, "b");
    Db().AddKey(u, "d");
    OpenAll();
    TableView& keys = db.ADOTableCodes;

    keys.Append();
    EXPECT_EQ(keys.state(), TableView::State::Insert);
    EXPECT_EQ(keys.RecordCount(), 3);
    EXPECT_EQ(keys.RecNo(), 3);
    EXPECT_EQ(keys.Int("UnitID"), u);  // from the master
    keys.SetText("Name", "c");
    keys.SetInt("Mode", 7);
    keys.Post();
    const int32_t c = keys.Int("ID");
    EXPECT_GT(c, 0);
    EXPECT_EQ(keys.state(), TableView::State::Browse);
    EXPECT_EQ(keys.Text("Name"), "c");
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT \"Mode\" FROM \"tblCodes\" WHERE \"ID\" = %1").arg(c)).toInt(), 7);

    // An edit writes only the columns it changed.
    Db().Exec(QStringLiteral("UPDATE \"tblCodes\" SET \"Cmd\" = 42 WHERE \"ID\" = %1").arg(c));
    keys.Edit();
    keys.SetText("Name", "c2");
    keys.Post();
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT \"Name\" FROM \"tblCodes\" WHERE \"ID\" = %1").arg(c)).toString(), "c2");
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT \"Cmd\" FROM \"tblCodes\" WHERE \"ID\" = %1").arg(c)).toInt(), 42);

    keys.Edit();
    keys.SetText("Name", "never");
    EXPECT_EQ(keys.Text("Name"), "never");
    keys.Cancel();
    EXPECT_EQ(keys.Text("Name"), "c2");

    keys.First();
    keys.Append();
    keys.Cancel();  // back to the row current before
    EXPECT_EQ(keys.RecNo(), 1);
    EXPECT_EQ(keys.RecordCount(), 3);

    // Moving posts a pending edit.
    keys.Edit();
    keys.SetText("Name", "b2");
    keys.Next();
    EXPECT_EQ(keys.RowAt(0).Text("Name"), "b2");

    keys.First();
    keys.Delete();  // the following row becomes current
    EXPECT_EQ(keys.Text("Name"), "d");
    keys.Last();
    keys.Delete();  // the last one: the new last becomes current
    EXPECT_EQ(keys.Text("Name"), "d");
    keys.Delete();
    EXPECT_EQ(keys.RecordCount(), 0);
    EXPECT_TRUE(keys.Eof());
    EXPECT_THROW(keys.Delete(), DbError);
    EXPECT_THROW(keys.Edit(), DbError);
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblCodes\"")).toInt(), 0);
}

TEST_P(Views, AnotherViewsWritesShowAfterRefreshOrRequery) {
    const int32_t a = Db().AddUnit("a"), b = Db().AddUnit("b");
    Db().AddUnit("c");
    Connection conn;
    ASSERT_TRUE(conn.Open(Db().ConnectionString()));
    TableView one(QStringLiteral("one"), conn, UnitsTable()), two(QStringLiteral("two"), conn, UnitsTable());
    one.SetOrder(QStringLiteral("Name"));
    two.SetOrder(QStringLiteral("Name"));
    one.Open();
    two.Open();
    ASSERT_TRUE(one.Locate(b));

    ASSERT_TRUE(two.Locate(b));
    two.Edit();
    two.SetText("Name", "b-renamed");
    two.Post();
    two.Append();
    two.SetText("Name", "d");
    two.Post();
    ASSERT_TRUE(two.Locate(a));
    two.Delete();

    // `one` still shows what it read.
    EXPECT_EQ(one.Text("Name"), "b");
    EXPECT_EQ(one.RecordCount(), 3);
    EXPECT_EQ(Names(one), (QStringList{"a", "b", "c"}));

    one.Refresh();  // same row, new contents
    EXPECT_EQ(one.Int("ID"), b);
    EXPECT_EQ(one.Text("Name"), "b-renamed");
    EXPECT_EQ(Names(one), (QStringList{"b-renamed", "c", "d"}));

    one.Last();
    one.Requery();  // back to the first row
    EXPECT_EQ(one.RecNo(), 1);
    EXPECT_EQ(one.Int("ID"), b);

    // A row deleted elsewhere cannot be edited through a stale view.
    ASSERT_TRUE(two.Locate(b));
    two.Delete();
    one.Edit();
    one.SetText("Name", "ghost");
    EXPECT_THROW(one.Post(), DbError);
    one.Cancel();
}

TEST_P(Views, HooksFireExactlyWhenTheCurrentRowChanges) {
    const int32_t a = Db().AddUnit("a");
    Db().AddUnit("b");
    Db().AddKey(a, "k1");
    Db().AddKey(a, "k2");
    QStringList log;
    auto hook = [&log](const char* what) { return [&log, what](TableView& v) { log << QStringLiteral("%1 %2 %3").arg(v.Name(), what, v.Text("Name")); }; };
    db.ADOTableUnits.BeforeScroll = hook("before");
    db.ADOTableUnits.AfterScroll = hook("after");
    db.ADOTableCodes.BeforeScroll = hook("before");
    db.ADOTableCodes.AfterScroll = hook("after");
    OpenAll();
    EXPECT_EQ(log, (QStringList{"ADOTableUnits after a", "ADOTableCodes after k1"}));

    auto step = [&](const std::function<void()>& f) {
        log.clear();
        f();
        return log;
    };
    TableView& units = db.ADOTableUnits;
    TableView& keys = db.ADOTableCodes;
    EXPECT_EQ(step([&] { keys.Next(); }), (QStringList{"ADOTableCodes before k1", "ADOTableCodes after k2"}));
    EXPECT_EQ(step([&] { keys.Next(); }), QStringList{});  // sets Eof only
    EXPECT_EQ(step([&] { keys.Last(); }), QStringList{});  // already there
    EXPECT_EQ(step([&] { keys.Refresh(); }), QStringList{});
    // A master move re-filters the details before its own AfterScroll.
    EXPECT_EQ(step([&] { units.Next(); }),
              (QStringList{"ADOTableUnits before a", "ADOTableCodes before k2", "ADOTableCodes after ",
                           "ADOTableUnits after b"}));
    EXPECT_EQ(step([&] { units.First(); }),
              (QStringList{"ADOTableUnits before b", "ADOTableCodes before ", "ADOTableCodes after k1",
                           "ADOTableUnits after a"}));
    EXPECT_EQ(step([&] { units.Requery(); }), (QStringList{"ADOTableUnits after a"}));
    EXPECT_EQ(step([&] { keys.Edit(); keys.SetText("Name", "k0"); keys.Post(); }), QStringList{});
    EXPECT_EQ(step([&] { keys.Append(); }), (QStringList{"ADOTableCodes before k0", "ADOTableCodes after "}));
    EXPECT_EQ(step([&] { keys.SetText("Name", "k3"); keys.Post(); }), QStringList{});
    EXPECT_EQ(step([&] { keys.Delete(); }), (QStringList{"ADOTableCodes before k3", "ADOTableCodes after k2"}));
    // The view without hooks moves silently; closing runs nothing.
    EXPECT_EQ(step([&] { db.ADOTableCodes2.Next(); db.Close(); }), QStringList{});
}

TEST_P(Views, AMasterMoveSavesTheDetailsEditFirstOrIsRefused) {
    const int32_t a = Db().AddUnit("a");
    Db().AddUnit("b");
    Db().AddKey(a, "k1");
    int unitAfterScrolls = 0;
    db.ADOTableUnits.AfterScroll = [&](TableView&) { ++unitAfterScrolls; };
    OpenAll();
    TableView& units = db.ADOTableUnits;
    TableView& keys = db.ADOTableCodes;

    // A key edit that cannot be saved: the unit stays where it is, its
    // hooks do not run, and the edit is still there to be mended.
    unitAfterScrolls = 0;
    keys.Edit();
    keys.SetText("Name", QString(70, 'x'));
    EXPECT_THROW(units.Next(), DbError);
    EXPECT_EQ(units.Text("Name"), "a");
    EXPECT_EQ(unitAfterScrolls, 0);
    EXPECT_EQ(keys.Text("Name"), QString(70, 'x'));

    // Mended, it is saved before the unit moves.
    keys.SetText("Name", "k2");
    units.Next();
    EXPECT_EQ(units.Text("Name"), "b");
    EXPECT_EQ(unitAfterScrolls, 1);
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT \"Name\" FROM \"tblCodes\"")).toString(), "k2");
}

TEST_P(Views, EmptyColumnsReadAsZeroAndFalse) {
    OpenAll();
    TableView& units = db.ADOTableUnits;
    EXPECT_EQ(units.RecordCount(), 0);
    EXPECT_EQ(db.ADOTableCodes.RecordCount(), 0);
    EXPECT_EQ(units.Int("Protocol"), 0);  // no row at all reads like nulls
    // A new unit is written with Name and Carrier only.
    units.Append();
    units.SetText("Name", "(new unit)");
    units.SetText("Carrier", "???");
    units.Post();
    units.Requery();
    for (const char* column : {"Protocol", "Modulation", "AdrStart", "AdrBits", "CmdStart", "CmdBits"}) {
        EXPECT_TRUE(units.IsNull(column)) << column;
        EXPECT_EQ(units.Int(column), 0) << column;
    }
    for (const char* column : {"AdrOrder", "AdrInverse", "CmdOrder", "CmdInverse"}) EXPECT_FALSE(units.Bool(column)) << column;
    EXPECT_EQ(units.Text("Desc"), QString());
    EXPECT_TRUE(units.Bytes("Picture").isEmpty());
    EXPECT_EQ(units.Text("Carrier"), "???");
    // Flags written and read back.
    units.Edit();
    units.SetBool("AdrOrder", true);
    units.SetInt("CmdInverse", 5);
    units.Post();
    units.Requery();
    EXPECT_TRUE(units.Bool("AdrOrder"));
    EXPECT_TRUE(units.Bool("CmdInverse"));
    EXPECT_EQ(units.Int("AdrOrder"), 1);
}

TEST_P(Views, TextAndBytesThatMeanSomethingToSqlSurviveIntact) {
    OpenAll();
    const QStringList names{QStringLiteral("Robert'); DROP TABLE \"tblUnits\"; --"),
                            QStringLiteral("it's a \"quote\""),
                            QStringLiteral("50% _off_ \\ back\\slash ; semi"),
                            QStringLiteral("line\nbreak\ttab"),
                            QStringLiteral("Ünïcödé ключ 遥控器 🎛"),
                            QStringLiteral("?"),
                            QStringLiteral("$1 :name @p")};
    QByteArray picture;
    for (int i = 0; i < 256; ++i) picture += static_cast<char>(i);
    picture += picture;
    const QString desc = QString(100000, u'x') + QStringLiteral("' end");
    TableView& units = db.ADOTableUnits;
    for (const QString& name : names) {
        units.Append();
        units.SetText("Name", name);
        units.SetText("Desc", desc);
        units.SetBytes("Picture", picture);
        units.Post();
    }
    db.Close();
    OpenAll();
    ASSERT_EQ(units.RecordCount(), names.size());
    QStringList read;
    for (units.First(); !units.Eof(); units.Next()) {
        read << units.Text("Name");
        EXPECT_EQ(units.Text("Desc"), desc);
        EXPECT_EQ(units.Bytes("Picture"), picture);
    }
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end());
    std::sort(read.begin(), read.end());
    EXPECT_EQ(read, sorted);

    // A picture loaded from a file keeps all its bytes.
    const QString path = Db().Folder().isEmpty() ? QStringLiteral("/tmp/tovanel-picture.bin")
                                                 : Db().Folder() + QStringLiteral("/picture.bin");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(picture.left(300));
    f.close();
    units.Edit();
    units.LoadBytesFromFile("Picture", path);
    units.Post();
    units.Refresh();
    EXPECT_EQ(units.Bytes("Picture"), picture.left(300));
    if (Db().Folder().isEmpty()) QFile::remove(path);
    units.Edit();
    EXPECT_THROW(units.LoadBytesFromFile("Picture", path + QStringLiteral(".missing")), DbError);
    units.Cancel();
}

TEST_P(Views, ColumnSizesAndRangesAreEnforcedAlike) {
    OpenAll();
    TableView& units = db.ADOTableUnits;
    struct Case {
        const char* column;
        QVariant value;
        bool accepted;
    };
    const Case cases[] = {
        {"Name", QString(64, QChar(0xE9)), true},  // 64 characters, 128 bytes of UTF-8
        {"Name", QString(65, u'n'), false},
        {"Carrier", QStringLiteral("38"), true},
        {"Carrier", QStringLiteral("1234"), false},
        {"Protocol", -32768, true},
        {"Protocol", 40000, false},
        {"Modulation", 65535, true},
        {"Modulation", -1, false},
    };
    for (const Case& c : cases) {
        units.Append();
        units.SetValue(c.column, c.value);
        if (c.accepted) {
            EXPECT_NO_THROW(units.Post()) << c.column;
        } else {
            EXPECT_THROW(units.Post(), DbError) << c.column << " " << c.value.toString().toStdString();
            EXPECT_EQ(units.state(), TableView::State::Insert);
            units.Cancel();
        }
    }
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblUnits\"")).toInt(), 4);
    EXPECT_EQ(Db().Scalar(QStringLiteral("SELECT MAX(\"Modulation\") FROM \"tblUnits\"")).toInt(), 65535);
}

TEST_P(Views, WritesAreTypedAndChecked) {
    OpenAll();
    TableView& trans = db.ADOTableTrans;
    EXPECT_THROW(trans.SetInt("Repeat", 1), DbError);  // not editing
    trans.Append();
    trans.SetValue("Repeat", QStringLiteral(" 12 "));
    trans.SetValue("Pause", 1000);
    EXPECT_THROW(trans.SetValue("Pause", QStringLiteral("soon")), DbError);
    EXPECT_THROW(trans.SetInt("ID", 5), DbError);
    EXPECT_THROW(trans.SetText("NoSuchColumn", "x"), DbError);
    EXPECT_THROW((void)trans.Int("NoSuchColumn"), DbError);
    trans.Post();
    trans.Refresh();
    EXPECT_EQ(trans.Int("Repeat"), 12);
    EXPECT_EQ(trans.Int("Pause"), 1000);
}

TEST_P(Views, KeyViewCalculatesAddressAndCommandTexts) {
    const int32_t u = Db().AddUnit("u");
    Db().AddKey(u, "a", 0, 255, 5);
    Db().AddKey(u, "b", 0, 0x12345, 0x1FF);
    Db().AddKey(u, "c", 0, -1, -2);
    OpenAll();
    TableView& keys = db.ADOTableCodes;
    EXPECT_EQ(keys.Text("strAdr"), "0x00FF");
    EXPECT_EQ(keys.Text("strCmd"), "0x05");
    EXPECT_EQ(keys.RowAt(1).Text("strAdr"), "0x12345");
    EXPECT_EQ(keys.RowAt(1).Text("strCmd"), "0x1FF");
    EXPECT_EQ(keys.RowAt(2).Text("strAdr"), "0xFFFFFFFF");
    EXPECT_EQ(keys.RowAt(2).Text("strCmd"), "0xFFFFFFFE");
    keys.Edit();
    keys.SetInt("Adr", 16);
    keys.Post();
    EXPECT_EQ(keys.Text("strAdr"), "0x0010");
    EXPECT_THROW(keys.SetText("strAdr", "x"), DbError);
}

TEST_P(Views, LargeViewsReadTheirRowsInBatches) {
    const int32_t u = Db().AddUnit("u");
    Db().Admin().Begin();
    for (int i = 0; i < 300; ++i) Db().AddKey(u, QStringLiteral("k%1").arg(i, 3, 10, QChar(u'0')), i, i * 2, i * 3);
    Db().Admin().Commit();
    OpenAll();
    TableView& keys = db.ADOTableCodes;
    ASSERT_EQ(keys.RecordCount(), 300);
    // Out of order, across batches: every row is the one its place says.
    for (int i : {299, 0, 150, 64, 63, 200, 1}) {
        EXPECT_EQ(keys.RowAt(i).Text("Name"), QStringLiteral("k%1").arg(i, 3, 10, QChar(u'0'))) << i;
        EXPECT_EQ(keys.RowAt(i).Int("Cmd"), i * 3);
        EXPECT_EQ(keys.RowAt(i).Text("strAdr"), AdrText(i * 2));
    }
    int n = 0;
    for (keys.First(); !keys.Eof(); keys.Next()) ASSERT_EQ(keys.Int("Mode"), n++);
    EXPECT_EQ(n, 300);
}

// A view of more rows than it keeps values of: every row read is the one
// its place says, however it is reached, after its values were let go, and
// after edits and deletions.
TEST_P(Views, ViewsLargerThanTheirRowCacheReadEveryRowRight) {
    constexpr int Count = 1300;
    const int32_t u = Db().AddUnit("u");
    Db().Admin().Begin();
    for (int i = 0; i < Count; ++i) Db().AddKey(u, QStringLiteral("k%1").arg(i, 4, 10, QChar(u'0')), i, 0, i % 7);
    Db().Admin().Commit();
    OpenAll();
    TableView& keys = db.ADOTableCodes;
    ASSERT_EQ(keys.RecordCount(), Count);
    auto name = [](int i) { return QStringLiteral("k%1").arg(i, 4, 10, QChar(u'0')); };

    int n = 0;
    for (keys.First(); !keys.Eof(); keys.Next()) ASSERT_EQ(keys.Int("Mode"), n++);
    for (keys.Last(); !keys.Bof(); keys.Prior()) ASSERT_EQ(keys.Int("Mode"), --n);
    EXPECT_EQ(n, 0);
    const TableRow& held = keys.RowAt(10);
    for (int i : {1299, 0, 700, 64, 1200, 1, 10}) EXPECT_EQ(keys.RowAt(i).Text("Name"), name(i)) << i;
    EXPECT_EQ(held.Text("Name"), name(10));  // a few batches later

    // An edit survives its row being let go; a deletion moves the later rows up.
    keys.SetRecNo(6);
    keys.Edit();
    keys.SetInt("Cmd", -1);
    keys.Post();
    keys.SetRecNo(601);
    keys.Delete();
    EXPECT_EQ(keys.Text("Name"), name(601));
    for (int i = 0; i < keys.RecordCount(); ++i)
        ASSERT_EQ(keys.RowAt(i).Text("Name"), name(i < 600 ? i : i + 1)) << i;
    EXPECT_EQ(keys.RowAt(5).Int("Cmd"), -1);
    EXPECT_EQ(keys.Text("Name"), name(601));  // the current row stays at hand
    EXPECT_EQ(keys.RecNo(), 601);
}

TEST_P(Views, ItemModelShowsAndEditsTheView) {
    const int32_t u = Db().AddUnit("u");
    Db().AddKey(u, "a", 0, 255, 5);
    Db().AddKey(u, "b", 0, 1, 2);
    OpenAll();
    TableViewModel model(db.ADOTableCodes, {{QStringLiteral("Name"), QStringLiteral("Name"), true},
                                            {QStringLiteral("strAdr"), QStringLiteral("Adr"), false, Qt::AlignRight},
                                            {QStringLiteral("strCmd"), QStringLiteral("Cmd"), false, Qt::AlignRight}});
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Adr");
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "0x00FF");
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_TRUE(model.setData(model.index(1, 0), QStringLiteral("renamed")));
    EXPECT_EQ(db.ADOTableCodes.RecNo(), 2);
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), "renamed");
    EXPECT_FALSE(model.setData(model.index(1, 0), QString(80, u'x')));  // too long for Name
    EXPECT_FALSE(model.LastError().isEmpty());
    EXPECT_EQ(db.ADOTableCodes.state(), TableView::State::Browse);
    EXPECT_FALSE(model.setData(model.index(0, 1), QStringLiteral("x")));

    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&resets] { ++resets; });
    db.ADOTableUnits.Append();  // a unit without keys: the grid empties
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_GE(resets, 1);
    db.ADOTableUnits.Cancel();
    EXPECT_EQ(model.rowCount(), 2);
}

}  // namespace
}  // namespace tovanel
