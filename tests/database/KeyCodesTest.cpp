// Loading the current key into the recording buffer and recomputing a
// unit's stored key values, on both engines.
#include <gtest/gtest.h>

#include <cstring>

#include "DbTestSupport.h"
#include "database/CodeDatabase.h"
#include "database/CodeText.h"
#include "database/KeyCodes.h"
#include "support/Frames.h"

namespace tovanel {
namespace {

QString Text(int32_t period, const test::Durations& d) {
    auto f = test::FrameOf(d);
    f->Period = period;
    std::string s;
    EXPECT_TRUE(FormatCodeText(*f, s));
    return QString::fromStdString(s);
}

std::u16string_view View(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.constData()), static_cast<size_t>(s.size())};
}

struct Values {
    int32_t mode, adr, cmd;
    bool operator==(const Values&) const = default;
};

// What the analyser makes of a stored first frame, worked out here.
Values Expected(const QString& code1, int32_t modulation, int32_t protocol, const DecodeSettings& layout) {
    auto f = test::NewFrame();
    ParseCodeText(View(code1), *f);
    AnalyzeFrame(*f, modulation, protocol, layout);
    return {f->Mode, static_cast<int32_t>(static_cast<uint32_t>(f->Adr)), static_cast<int32_t>(static_cast<uint32_t>(f->Cmd))};
}

Values Stored(test::TestDatabase& t, int32_t key) {
    QSqlQuery q(t.Admin().Db());
    q.exec(QStringLiteral("SELECT \"Mode\", \"Adr\", \"Cmd\" FROM \"tblCodes\" WHERE \"ID\" = %1").arg(key));
    EXPECT_TRUE(q.next());
    return {q.value(0).toInt(), q.value(1).toInt(), q.value(2).toInt()};
}

class Keys : public test::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) return;
        unit = Db().AddUnit(QStringLiteral("A TV"), 0, 1);
        other = Db().AddUnit(QStringLiteral("B VCR"));
        for (int i = 0; i < 5; ++i) {
            const QString code1 = i == 3 ? QString() : Text(0, test::Distort(test::NecFrame(0x10 + i, 0x20 + 3 * i), 90, 3, 7 + i));
            codes1.push_back(code1);
            keys.push_back(Db().AddKey(unit, QStringLiteral("k%1").arg(i), 99, 98, 97, code1,
                                       Text(108000, test::Distort({9000, 2250, 560}))));
        }
        otherKey = Db().AddKey(other, QStringLiteral("x"), 1, 2, 3, Text(0, test::NecFrame(1, 2)));
        const OpenOutcome r = db.Open(Db().ConnectionString(), QStringLiteral("tovanel.ini"));
        ASSERT_TRUE(r.ok) << r.text.toStdString();
        ASSERT_EQ(db.ADOTableUnits.Int("ID"), unit);
    }
    CodeDatabase db;
    int32_t unit = 0, other = 0, otherKey = 0;
    std::vector<int32_t> keys;
    std::vector<QString> codes1;
};
TOVANEL_BOTH_ENGINES(Keys);

TEST_P(Keys, LoadingTakesTheCurrentKeyAndTheUnitsForcedValues) {
    DecodeSettings layout;
    layout.CmdStart = 34;
    layout.CmdBits = 8;
    ASSERT_TRUE(db.ADOTableCodes.Locate(keys[2]));
    auto loaded = std::make_unique<FrameBuffer>();
    auto expected = std::make_unique<FrameBuffer>();
    std::memset(loaded.get(), 0, sizeof *loaded);
    std::memset(expected.get(), 0, sizeof *expected);
    const auto decoded = LoadKeyIntoBuffer(db, *loaded, layout);
    const QString code2 = db.ADOTableCodes.Text("Code2");
    const auto direct = LoadCodeTextsIntoBuffer({View(codes1[2]), View(code2), u"", u""}, 1, 0, layout, *expected);
    EXPECT_EQ(decoded, direct);
    for (int s = 0; s < SlotCount; ++s) {
        const CodeFrame& a = loaded->Slots[s];
        const CodeFrame& b = expected->Slots[s];
        EXPECT_EQ(a.Count, b.Count);
        EXPECT_EQ(a.Period, b.Period);
        EXPECT_EQ(std::memcmp(a.Durations, b.Durations, sizeof(int32_t) * static_cast<size_t>(a.Count)), 0);
        EXPECT_EQ(a.Modulation, b.Modulation);
        EXPECT_EQ(a.Protocol, b.Protocol);
        EXPECT_EQ(a.Adr, b.Adr);
        EXPECT_EQ(a.Cmd, b.Cmd);
    }
    EXPECT_GT(loaded->Slots[0].Count, 60);
    EXPECT_EQ(loaded->Slots[0].Modulation, 1);  // forced by the unit
    EXPECT_EQ(loaded->Slots[1].Count, 3);
    EXPECT_EQ(loaded->Slots[1].Period, 108000);

    // The shared buffer is loaded the same way, under its lock.
    SharedFrameBuffer shared;
    EXPECT_EQ(LoadKeyIntoBuffer(db, shared, layout), decoded);
    CodeFrame copy;
    shared.CopySlot(0, copy);
    EXPECT_EQ(copy.Count, loaded->Slots[0].Count);

    // A unit without keys loads four empty texts.
    db.ADOTableUnits.Append();
    LoadKeyIntoBuffer(db, *loaded, layout);
    for (const CodeFrame& slot : loaded->Slots) EXPECT_EQ(slot.Count, 0);
    db.ADOTableUnits.Cancel();
}

TEST_P(Keys, AUnitsLayoutIsClampedToTheControlsAndDoubled) {
    Db().Exec(QStringLiteral("UPDATE \"tblUnits\" SET \"AdrStart\" = 3, \"AdrBits\" = 200, \"CmdStart\" = -4, "
                             "\"CmdBits\" = 16, \"AdrOrder\" = %1, \"CmdInverse\" = %1 WHERE \"ID\" = %2")
                 .arg(GetParam() == Engine::Sqlite ? "1" : "TRUE")
                 .arg(unit));
    db.ADOTableUnits.Refresh();
    const DecodeSettings s = UnitLayout(db.ADOTableUnits.Current());
    EXPECT_EQ(s.AdrStart, 6);
    EXPECT_EQ(s.AdrBits, 100);
    EXPECT_EQ(s.CmdStart, 0);
    EXPECT_EQ(s.CmdBits, 16);
    EXPECT_TRUE(s.AdrOrder);
    EXPECT_FALSE(s.AdrInverse);
    EXPECT_FALSE(s.CmdOrder);
    EXPECT_TRUE(s.CmdInverse);
    EXPECT_EQ(s.ForcedModulation, 0);
    EXPECT_EQ(s.ForcedProtocol, 0);
}

TEST_P(Keys, RecomputeRewritesTheCurrentUnitsKeysFromTheirFirstFrame) {
    DecodeSettings layout;
    layout.AdrStart = 2;
    layout.AdrBits = 16;
    layout.CmdStart = 34;
    layout.CmdBits = 16;
    std::vector<bool> guardWhileMoving;
    db.ADOTableCodes2.AfterScroll = [&](TableView&) { guardWhileMoving.push_back(db.ReloadGuard); };
    // A key added through the key view after the unit became current is
    // recomputed too.
    db.ADOTableCodes.Append();
    db.ADOTableCodes.SetText("Name", QStringLiteral("added"));
    db.ADOTableCodes.SetText("Code1", codes1[0]);
    db.ADOTableCodes.Post();
    const int32_t added = db.ADOTableCodes.Int("ID");
    ASSERT_TRUE(db.ADOTableCodes.Locate(keys[1]));

    EXPECT_EQ(RecomputeUnitKeys(db, layout), 6);
    EXPECT_FALSE(db.ReloadGuard);
    EXPECT_EQ(guardWhileMoving, std::vector<bool>(5, true));
    EXPECT_EQ(Stored(Db(), added), Expected(codes1[0], 1, 0, layout));
    for (size_t i = 0; i < keys.size(); ++i) {
        const Values want = i == 3 ? Values{0, 0, 0} : Expected(codes1[i], 1, 0, layout);
        EXPECT_EQ(Stored(Db(), keys[i]), want) << i;
    }
    EXPECT_EQ(Stored(Db(), otherKey), (Values{1, 2, 3}));
    // The key list shows the new values only once refreshed, on the same key.
    EXPECT_EQ(db.ADOTableCodes.Int("Mode"), 99);
    db.ADOTableCodes.Refresh();
    EXPECT_EQ(db.ADOTableCodes.Int("ID"), keys[1]);
    EXPECT_EQ(db.ADOTableCodes.Int("Adr"), Expected(codes1[1], 1, 0, layout).adr);

    db.ADOTableCodes2.Close();
    EXPECT_EQ(RecomputeUnitKeys(db, layout), 0);
}

TEST_P(Keys, AFailedRecomputeLeavesEveryKeyAsItWas) {
    Db().FailUpdatesOfKey(keys[3]);
    const DecodeSettings layout;
    try {
        RecomputeUnitKeys(db, layout);
        ADD_FAILURE() << "the injected failure was not reported";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.Text().contains(QStringLiteral("injected failure"))) << e.Text().toStdString();
    }
    EXPECT_FALSE(db.ReloadGuard);
    for (int32_t key : keys) EXPECT_EQ(Stored(Db(), key), (Values{99, 98, 97}));
    // The walking view shows the stored values again, not the lost ones.
    TableView& walk = db.ADOTableCodes2;
    EXPECT_EQ(walk.state(), TableView::State::Browse);
    for (walk.First(); !walk.Eof(); walk.Next()) EXPECT_EQ(walk.Int("Mode"), 99);

    // Once the fault is gone the same recompute goes through.
    Db().Exec(QStringLiteral("DROP TRIGGER \"failKey\"") +
              (GetParam() == Engine::Postgres ? QStringLiteral(" ON \"tblCodes\"") : QString()));
    EXPECT_EQ(RecomputeUnitKeys(db, layout), 5);
    EXPECT_EQ(Stored(Db(), keys[3]), (Values{0, 0, 0}));
}

// A key that already holds its recomputed values is not written again
// (an update of it would fail here); one whose stored value only reads
// the same (null) is.
TEST_P(Keys, RecomputeWritesOnlyKeysWhoseValuesDiffer) {
    const DecodeSettings layout;
    const Values want = Expected(codes1[0], 1, 0, layout);
    struct Case {
        const char* stored;  // Mode, Adr, Cmd of the key as SQL
        bool written;
    } cases[] = {
        {"M, A, C", false},
        {"NULL, A, C", true},
        {"M, A, C + 1", true},
    };
    for (const Case& c : cases) {
        const QString values = QString::fromLatin1(c.stored)
                                   .replace(u'M', QString::number(want.mode))
                                   .replace(u'A', QString::number(want.adr))
                                   .replace(u'C', QString::number(want.cmd));
        Db().Exec(QStringLiteral("UPDATE \"tblCodes\" SET (\"Mode\", \"Adr\", \"Cmd\") = (%1) WHERE \"ID\" = %2")
                      .arg(values)
                      .arg(keys[0]));
        Db().FailUpdatesOfKey(keys[0]);
        bool failed = false;
        try {
            RecomputeUnitKeys(db, layout);
        } catch (const DbError&) {
            failed = true;
        }
        EXPECT_EQ(failed, c.written) << c.stored;
        Db().Exec(QStringLiteral("DROP TRIGGER \"failKey\"") +
                  (GetParam() == Engine::Postgres ? QStringLiteral(" ON \"tblCodes\"; DROP FUNCTION \"failKey\"")
                                                  : QString()));
        EXPECT_EQ(RecomputeUnitKeys(db, layout), 5);
        EXPECT_EQ(Stored(Db(), keys[0]), want) << c.stored;
        EXPECT_FALSE(Db().Scalar(QStringLiteral("SELECT \"Mode\" FROM \"tblCodes\" WHERE \"ID\" = %1").arg(keys[0])).isNull());
    }
}

// Whether anyone watches the key view or not (it is then read in batches
// instead of walked), a recompute stores the same values, returns the same
// count and leaves the view past its last key showing what is stored; a
// watcher sees each move. Sizes around a batch.
TEST_P(Keys, WatchedOrNotARecomputeStoresTheSameAndEndsAlike) {
    const DecodeSettings layout;
    for (int count : {1, 2, 257}) {
        const int32_t id = Db().AddUnit(QStringLiteral("size %1").arg(count));
        std::vector<int32_t> ids;
        std::vector<Values> want;
        for (int i = 0; i < count; ++i) {
            const QString code1 = Text(0, test::NecFrame(0x40 + i / 256, i % 256));
            ids.push_back(Db().AddKey(id, QStringLiteral("k%1").arg(i), 99, 98, 97, code1));
            want.push_back(Expected(code1, 1, 0, layout));
        }
        for (bool watched : {false, true}) {
            SCOPED_TRACE(testing::Message() << count << " keys, watched " << watched);
            Db().Exec(QStringLiteral("UPDATE \"tblCodes\" SET \"Mode\" = 99, \"Adr\" = 98, \"Cmd\" = 97 "
                                     "WHERE \"UnitID\" = %1").arg(id));
            db.ADOTableUnits.Refresh();
            ASSERT_TRUE(db.ADOTableUnits.Locate(id));
            TableView& walk = db.ADOTableCodes2;
            walk.First();
            int moves = 0;
            if (watched) walk.AfterScroll = [&](TableView&) { ++moves; };
            EXPECT_EQ(RecomputeUnitKeys(db, layout), count);
            for (int i = 0; i < count; ++i) ASSERT_EQ(Stored(Db(), ids[static_cast<size_t>(i)]), want[static_cast<size_t>(i)]) << i;
            EXPECT_EQ(moves, watched ? count - 1 : 0);
            EXPECT_TRUE(walk.Eof());
            EXPECT_EQ(walk.Bof(), count == 1);
            EXPECT_EQ(walk.RecNo(), count);
            EXPECT_EQ(walk.Int("Cmd"), want.back().cmd);
            walk.AfterScroll = nullptr;
        }
    }
}

}  // namespace
}  // namespace tovanel
