// The transmit list on both engines: entries copied from keys, deleted,
// and read for sending with their units' carriers.
#include <gtest/gtest.h>

#include "DbTestSupport.h"
#include "database/CodeDatabase.h"
#include "database/TransmitList.h"

namespace tovanel {
namespace {

class TransmitList : public test::EngineTest {
protected:
    void Open() {
        const OpenOutcome r = db.Open(Db().ConnectionString(), QStringLiteral("tovanel.ini"));
        ASSERT_TRUE(r.ok) << r.text.toStdString();
    }
    CodeDatabase db;
};
TOVANEL_BOTH_ENGINES(TransmitList);

TEST_P(TransmitList, EntriesAreCopiesWithRepeatZeroAndPauseOneSecond) {
    const int32_t tv = Db().AddUnit(QStringLiteral("TV \"Ü\""), 3, 1);
    Db().AddUnit(QStringLiteral("Z-empty"));
    Db().AddKey(tv, QStringLiteral("Power"), 0, 4, 8, QStringLiteral("  abcd"), QStringLiteral("  ef"));
    Open();
    AddTransmitEntry(db);
    AddTransmitEntry(db);  // the same key twice: two entries
    db.ADOTableUnits.Last();
    AddTransmitEntry(db);  // a unit without keys: empty name and texts
    EXPECT_EQ(db.ADOTableTrans.RecNo(), 3);

    const auto count = [&](const QString& where) {
        return Db().Scalar(QStringLiteral("SELECT COUNT(*) FROM \"tblTransmit\" WHERE ") + where).toInt();
    };
    EXPECT_EQ(count(QStringLiteral("\"UnitName\" = 'TV \"Ü\"' AND \"KeyName\" = 'Power' AND \"Protocol\" = 3 AND "
                                   "\"Modulation\" = 1 AND \"Code1\" = '  abcd' AND \"Code2\" = '  ef' AND "
                                   "\"Code3\" = '' AND \"Repeat\" = 0 AND \"Pause\" = 1000")),
              2);
    EXPECT_EQ(count(QStringLiteral("\"UnitName\" = 'Z-empty' AND \"KeyName\" = '' AND \"Code1\" = '' AND "
                                   "\"Code4\" = '' AND \"Protocol\" = 0")),
              1);
    // The key goes, its entries stay.
    Db().Exec(QStringLiteral("DELETE FROM \"tblCodes\""));
    db.ADOTableTrans.Requery();
    EXPECT_EQ(TransmitListItems(db).size(), 3u);

    db.ADOTableTrans.Last();
    DeleteTransmitEntry(db);
    DeleteTransmitEntry(db);
    DeleteTransmitEntry(db);
    DeleteTransmitEntry(db);  // an empty list: nothing to delete
    EXPECT_EQ(count(QStringLiteral("1 = 1")), 0);
}

TEST_P(TransmitList, ItemsCarryTheCarrierOfTheFirstUnitOfTheirName) {
    Db().AddUnit(QStringLiteral("TV"));
    Db().AddUnit(QStringLiteral("TV"));
    Db().AddUnit(QStringLiteral("Radio"));
    // The first "TV" 36 kHz, the second 40, "Radio" no number.
    Db().Exec(QStringLiteral("UPDATE \"tblUnits\" SET \"Carrier\" = CASE \"ID\" "
                             "WHEN (SELECT MIN(\"ID\") FROM \"tblUnits\") THEN '36' "
                             "WHEN (SELECT MAX(\"ID\") FROM \"tblUnits\") THEN 'x' ELSE '40' END"));
    for (const char* unit : {"TV", "Radio", "Gone", "tv"})
        Db().Exec(QStringLiteral("INSERT INTO \"tblTransmit\" (\"UnitName\", \"KeyName\", \"Code1\", \"Repeat\", "
                                 "\"Pause\") VALUES ('%1', 'k', 'ab', 2, 300)")
                      .arg(QLatin1String(unit)));
    Open();
    db.ADOTableTrans.Edit();
    db.ADOTableTrans.SetInt("Repeat", 5);  // an edit in the grid, not yet posted
    const std::vector<TransmitItem> items = TransmitListItems(db);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].carrierHz, 36000u);
    EXPECT_EQ(items[0].repeat, 5);
    EXPECT_EQ(items[1].carrierHz, 38000u);  // "x" is no number
    EXPECT_EQ(items[2].carrierHz, 38000u);  // no such unit any more
    EXPECT_EQ(items[3].carrierHz, 38000u);  // names are compared exactly
    EXPECT_EQ(items[1].repeat, 2);
    EXPECT_EQ(items[1].pauseMs, 300);
    EXPECT_EQ(items[1].codes[0], "ab");
    EXPECT_EQ(items[1].codes[1], "");
}

}  // namespace
}  // namespace tovanel
