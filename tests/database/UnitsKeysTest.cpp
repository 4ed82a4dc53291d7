// Units and keys written through the views: what a copy and a delete
// write, and that a failure half-way leaves every row as it was, on both
// engines.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "DbTestSupport.h"
#include "database/CodeDatabase.h"
#include "database/CodeText.h"
#include "database/Keys.h"
#include "database/Units.h"
#include "analysis/Recognition.h"
#include "support/Frames.h"
#include "support/Protocols.h"

namespace tovanel::test {
namespace {

QString Code(const Durations& d) {
    std::string text;
    FormatCodeText(*FrameOf(d), text);
    return QString::fromStdString(text);
}

// "Radio" (keys A, B, C; a picture, a forced protocol, no description),
// "TV" (no keys) and one transmit entry, opened through the six views.
struct Fixture {
    explicit Fixture(Engine engine) : db(engine) {
        radio = db.AddUnit(QStringLiteral("Radio"), Protocol::Nec, 0);
        tv = db.AddUnit(QStringLiteral("TV"));
        QSqlQuery q(db.Admin().Db());
        q.prepare(QStringLiteral("UPDATE \"tblUnits\" SET \"Picture\" = ?, \"AdrBits\" = 7 WHERE \"ID\" = ?"));
        q.addBindValue(QByteArray("\x00\x01GIF89a", 8));
        q.addBindValue(radio);
        EXPECT_TRUE(q.exec());
        for (const char* name : {"A", "B", "C"})
            keys.push_back(db.AddKey(radio, QString::fromLatin1(name), 1, 2, 3, Code(NecFrame(1, name[0]))));
        db.Exec(QStringLiteral("INSERT INTO \"tblTransmit\" (\"UnitName\", \"KeyName\") VALUES ('Radio', 'A')"));
        const OpenOutcome r = views.Open(db.ConnectionString(), QStringLiteral("t.ini"));
        EXPECT_TRUE(r.ok) << r.text.toStdString();
    }
    TestDatabase db;
    CodeDatabase views;
    int32_t radio = 0, tv = 0;
    std::vector<int32_t> keys;
};

class UnitsKeysTest : public EngineTest {};
TOVANEL_BOTH_ENGINES(UnitsKeysTest);

TEST_P(UnitsKeysTest, AFailureHalfWayLeavesEveryRowAsItWas) {
    struct Case {
        const char* what;
        const char* table;
        const char* op;
        const char* condition;  // %1: Radio's ID, %2: key B's ID
        std::function<void(CodeDatabase&)> act;
    };
    StoredKey recorded;
    recorded.mode = 9;
    recorded.codes[0] = Code(NecFrame(7, 7));
    const Case cases[] = {
        {"delete unit, second key refused", "tblCodes", "DELETE", "OLD.\"ID\" = %2", DeleteUnit},
        {"delete unit, unit refused after its keys", "tblUnits", "DELETE", "OLD.\"ID\" = %1", DeleteUnit},
        {"duplicate, unit refused", "tblUnits", "INSERT", "NEW.\"Name\" = 'Radio (copy)'", DuplicateUnit},
        {"duplicate, third key refused", "tblCodes", "INSERT", "NEW.\"Name\" = 'C'", DuplicateUnit},
        {"add key refused", "tblCodes", "INSERT", "1 = 1",
         [&](CodeDatabase& d) { AddKey(d, QStringLiteral("New"), recorded); }},
        {"update key refused", "tblCodes", "UPDATE", "OLD.\"ID\" <> 0", [&](CodeDatabase& d) { UpdateKey(d, recorded); }},
        {"rename key refused", "tblCodes", "UPDATE", "1 = 1",
         [](CodeDatabase& d) { RenameKey(d, QStringLiteral("Renamed")); }},
    };
    db_.reset();  // each case has a database of its own
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Fixture f(GetParam());
        f.db.FailWrites(k.table, k.op,
                        QString::fromLatin1(k.condition)
                            .replace(QStringLiteral("%1"), QString::number(f.radio))
                            .replace(QStringLiteral("%2"), QString::number(f.keys[1])));
        const QStringList before = f.db.AllRows();
        try {
            k.act(f.views);
            ADD_FAILURE() << "no error";
        } catch (const DbError& e) {
            EXPECT_TRUE(e.Text().contains(u"injected failure")) << e.what();
        }
        EXPECT_EQ(f.db.AllRows(), before);
        // The views show the rows as they are, and can go on.
        EXPECT_EQ(f.views.ADOTableUnits.RecordCount(), 2);
        EXPECT_EQ(f.views.ADOTableUnits.Text("Name"), u"Radio");
        EXPECT_EQ(f.views.ADOTableUnits3.RecordCount(), 2);
        ASSERT_EQ(f.views.ADOTableCodes.RecordCount(), 3);
        EXPECT_EQ(f.views.ADOTableCodes.state(), TableView::State::Browse);
        EXPECT_EQ(f.views.ADOTableCodes.Int("Mode"), 1);
        // No transaction is left open: the next change is written.
        AppendUnit(f.views, QStringLiteral("After"));
        EXPECT_EQ(f.db.AllRows().size(), before.size() + 1);
    }
}

// The server ends the program's connection while the unit's second key is
// being deleted: the server rolls back, and the program reports the loss.
TEST_P(UnitsKeysTest, ALostConnectionHalfWayLeavesEveryRowAsItWas) {
    if (GetParam() != Engine::Postgres) GTEST_SKIP() << "a connection to lose is PostgreSQL's";
    db_.reset();
    Fixture f(GetParam());
    f.db.Exec(QStringLiteral("CREATE FUNCTION \"loseConnection\"() RETURNS trigger LANGUAGE plpgsql AS "
                             "$$ BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); RETURN OLD; END $$"));
    f.db.Exec(QStringLiteral("CREATE TRIGGER \"loseConnection\" BEFORE DELETE ON \"tblCodes\" FOR EACH ROW "
                             "WHEN (OLD.\"ID\" = %1) EXECUTE FUNCTION \"loseConnection\"()")
                  .arg(f.keys[1]));
    const QStringList before = f.db.AllRows();
    EXPECT_THROW(DeleteUnit(f.views), DbError);
    EXPECT_EQ(f.db.AllRows(), before);
    // The views stay usable objects; their next reads fail with errors.
    EXPECT_THROW(f.views.ADOTableUnits.Requery(), DbError);
}

TEST_P(UnitsKeysTest, DuplicateCopiesTheUnitAndItsKeysAndDeleteRemovesExactlyThem) {
    db_.reset();
    Fixture f(GetParam());
    CodeDatabase& v = f.views;
    const int32_t copy = DuplicateUnit(v);
    EXPECT_EQ(v.ADOTableUnits.Current().Id(), copy);
    EXPECT_EQ(v.ADOTableUnits.Text("Name"), u"Radio (copy)");
    EXPECT_EQ(v.ADOTableCodes.RecordCount(), 3);
    auto scalar = [&](const QString& sql) { return f.db.Scalar(sql.arg(copy).arg(f.radio)); };
    // Every unit column but ID and Name is the source's, nulls included.
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblUnits\" c JOIN \"tblUnits\" s ON s.\"ID\" = %2 "
                                    "WHERE c.\"ID\" = %1 AND c.\"Picture\" = s.\"Picture\" AND c.\"Protocol\" = 3 "
                                    "AND c.\"AdrBits\" = 7 AND c.\"Desc\" IS NULL AND c.\"AdrOrder\" IS NULL"))
                  .toInt(),
              1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblCodes\" c JOIN \"tblCodes\" s ON s.\"Name\" = c.\"Name\" "
                                    "AND s.\"Code1\" = c.\"Code1\" AND s.\"Mode\" = c.\"Mode\" AND s.\"UnitID\" = %2 "
                                    "WHERE c.\"UnitID\" = %1"))
                  .toInt(),
              3);

    // A unit without keys: only its row.
    v.ADOTableUnits.Locate(f.tv);
    const int32_t tvCopy = DuplicateUnit(v);
    EXPECT_EQ(f.db.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblCodes\" WHERE \"UnitID\" = %1").arg(tvCopy)).toInt(), 0);

    v.ADOTableUnits.Locate(f.radio);
    EXPECT_EQ(DeleteUnit(v), 3);
    EXPECT_EQ(v.ADOTableUnits.Text("Name"), u"Radio (copy)");  // the following unit
    EXPECT_EQ(f.db.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblCodes\"")).toInt(), 3);  // the copy's
    EXPECT_EQ(f.db.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblUnits\" WHERE \"ID\" = %1").arg(f.radio)).toInt(), 0);
    EXPECT_EQ(f.db.Scalar(QStringLiteral("SELECT \"KeyName\" FROM \"tblTransmit\"")).toString(), u"A");
}

TEST_P(UnitsKeysTest, NewRowsKeepNamesAsTypedAndRefuseWhatDoesNotFit) {
    db_.reset();
    Fixture f(GetParam());
    CodeDatabase& v = f.views;
    const QString name = QStringLiteral("O'Neil \"Hi-Fi\" \u30c6\u30ec\u30d3; DROP TABLE x");
    const int32_t unit = AppendUnit(v, name);
    EXPECT_EQ(v.ADOTableUnits.Text("Name"), name);
    EXPECT_EQ(v.ADOTableUnits.RecNo(), 1);  // in its place by name
    EXPECT_EQ(f.db.Scalar(QStringLiteral("SELECT \"Carrier\" FROM \"tblUnits\" WHERE \"ID\" = %1").arg(unit)).toString(),
              u"???");
    EXPECT_TRUE(f.db.Scalar(QStringLiteral("SELECT \"Protocol\" FROM \"tblUnits\" WHERE \"ID\" = %1").arg(unit)).isNull());

    auto buffer = std::make_unique<FrameBuffer>();
    ResetFrameBuffer(*buffer);
    const Durations nec = NecFrame(0x80, 0x01);
    buffer->Slots[0] = *FrameOf(nec);
    buffer->Slots[0].Mode = -5;
    buffer->Slots[0].Adr = 0x1'8000'00FFull;  // the low 32 bits are stored
    buffer->Slots[0].Cmd = 0xFFFF'FFFFull;
    StoredKey key;
    QString error;
    ASSERT_TRUE(StoredKeyFromBuffer(*buffer, key, error));
    const RowId id = AddKey(v, name, key);
    EXPECT_EQ(v.ADOTableCodes.Current().Id(), id);
    EXPECT_EQ(v.ADOTableCodes.Text("Name"), name);
    EXPECT_EQ(v.ADOTableCodes.Text("strAdr"), u"0x800000FF");
    EXPECT_EQ(v.ADOTableCodes.Int("Cmd"), -1);
    EXPECT_EQ(v.ADOTableCodes.Text("Code1"), Code(nec));
    EXPECT_EQ(v.ADOTableCodes.Text("Code2"), u"");

    // A frame longer than a code column holds is refused, not shortened.
    buffer->Slots[2].Count = MaxCodeTextDurations + 1;
    EXPECT_FALSE(StoredKeyFromBuffer(*buffer, key, error));
    EXPECT_TRUE(error.startsWith(u"Frame 3 cannot be stored")) << error.toStdString();
    // A name longer than the column: the database's refusal, no row.
    EXPECT_THROW(AppendUnit(v, QString(65, u'x')), DbError);
    EXPECT_EQ(v.ADOTableUnits.RecordCount(), 3);
    EXPECT_EQ(v.ADOTableUnits.state(), TableView::State::Browse);
}

}  // namespace
}  // namespace tovanel::test
