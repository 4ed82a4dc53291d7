// The key search's cursor rules on both engines, each case run row by row
// through the views and by query, which must end in the same place.
#include <gtest/gtest.h>

#include "DbTestSupport.h"
#include "analysis/Recognition.h"
#include "database/CodeDatabase.h"
#include "database/KeySearch.h"

namespace tovanel {
namespace {

// Where the views stand: a unit and a key by name ("" the first key), or
// past the last key / last unit.
struct Cursor {
    const char* unit;
    const char* key = "";
    bool keysAtEnd = false;
    bool unitsAtEnd = false;
};

// Where a search left everything.
struct End {
    bool found;
    QString unit, key;
    bool unitsEof, keysEof;
    int unitRecNo = 0, keyRecNo = 0;
    int unitAfterScrolls = 0, keyAfterScrolls = 0;

    bool operator==(const End& o) const {
        return found == o.found && unit == o.unit && key == o.key && unitsEof == o.unitsEof &&
               keysEof == o.keysEof && unitRecNo == o.unitRecNo && keyRecNo == o.keyRecNo &&
               unitAfterScrolls == o.unitAfterScrolls && keyAfterScrolls == o.keyAfterScrolls;
    }
};

std::ostream& operator<<(std::ostream& os, const End& e) {
    return os << (e.found ? "found " : "not found ") << e.unit.toStdString() << '/' << e.key.toStdString()
              << " units#" << e.unitRecNo << (e.unitsEof ? " eof" : "") << " keys#" << e.keyRecNo
              << (e.keysEof ? " eof" : "") << " after-scrolls " << e.unitAfterScrolls << '/' << e.keyAfterScrolls;
}

constexpr uint64_t Bit31Adr = 0x80FF0000;

KeySearchValues Nec(uint64_t adr, uint64_t cmd) { return {Protocol::Nec, Modulation::PulseDistance, 0, adr, cmd}; }

// Units by name: "A" (k1 = 4/8, k2 = 4/9, k3 = 4/8 again), "B" forced to
// RC-5 (r1 = 4/8), "C" without keys, "D" (hi: bit 31 set in both fields),
// "E" (z = 4/8), "F" (nothing stored: Mode, Adr, Cmd are null).
class KeySearch : public test::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) return;
        const int32_t a = Db().AddUnit(QStringLiteral("A")), b = Db().AddUnit(QStringLiteral("B"), Protocol::Rc5);
        Db().AddUnit(QStringLiteral("C"));
        const int32_t d = Db().AddUnit(QStringLiteral("D")), e = Db().AddUnit(QStringLiteral("E"));
        const int32_t f = Db().AddUnit(QStringLiteral("F"));
        Db().AddKey(a, QStringLiteral("k3"), 0, 4, 8);
        Db().AddKey(a, QStringLiteral("k1"), 0, 4, 8);
        Db().AddKey(a, QStringLiteral("k2"), 0, 4, 9);
        Db().AddKey(b, QStringLiteral("r1"), 0, 4, 8);
        Db().AddKey(d, QStringLiteral("hi"), 0, static_cast<int32_t>(Bit31Adr), -1);
        Db().AddKey(e, QStringLiteral("z"), 0, 4, 8);
        Db().Exec(QStringLiteral("INSERT INTO \"tblCodes\" (\"UnitID\", \"Name\") VALUES (%1, 'blank')").arg(f));
    }

    End Run(const Cursor& from, const KeySearchValues& v, bool all, bool byUser, SearchWay way) {
        CodeDatabase db;
        const OpenOutcome open = db.Open(Db().ConnectionString(), QStringLiteral("tovanel.ini"));
        EXPECT_TRUE(open.ok) << open.text.toStdString();
        TableView& units = db.ADOTableUnits;
        TableView& keys = db.ADOTableCodes;
        for (int i = 0; i < units.RecordCount(); ++i)
            if (units.RowAt(i).Text("Name") == QLatin1String(from.unit)) units.SetRecNo(i + 1);
        if (*from.key)
            for (int i = 0; i < keys.RecordCount(); ++i)
                if (keys.RowAt(i).Text("Name") == QLatin1String(from.key)) keys.SetRecNo(i + 1);
        if (from.keysAtEnd) {
            keys.Last();
            keys.Next();
        }
        if (from.unitsAtEnd) units.Next();
        End end{};
        units.AfterScroll = [&](TableView&) { ++end.unitAfterScrolls; };
        keys.AfterScroll = [&](TableView&) { end.keyAfterScrolls += db.ReloadGuard ? 0 : 1; };
        const KeySearchResult r = SearchNextKey(db, v, all, byUser, way);
        EXPECT_FALSE(db.ReloadGuard);
        end.found = r.found;
        end.unit = units.Text("Name");
        end.key = keys.Text("Name");
        EXPECT_EQ(r.unitName, r.found ? end.unit : QString());
        EXPECT_EQ(r.keyName, r.found ? end.key : QString());
        end.unitsEof = units.Eof();
        end.keysEof = keys.Eof();
        end.unitRecNo = units.RecNo();
        end.keyRecNo = keys.RecNo();
        return end;
    }
};
TOVANEL_BOTH_ENGINES(KeySearch);

TEST_P(KeySearch, BothWaysEndWhereTheCursorRulesSay) {
    struct Case {
        const char* name;
        Cursor from;
        KeySearchValues values;
        bool all, byUser;
        bool found;
        const char *unit, *key;
        bool unitsEof, keysEof;
    } cases[] = {
        {"all units, automatic: from the first unit", {"E"}, Nec(4, 8), true, false, true, "A", "k1", false, false},
        {"all units, by hand: on after the current key", {"A", "k1"}, Nec(4, 8), true, true, true, "A", "k3", false,
         false},
        {"past a unit forced to another protocol and an empty one", {"A", "k3"}, Nec(4, 8), true, true, true, "E", "z",
         false, false},
        {"after the last match: Not found, the last unit current", {"E", "z"}, Nec(4, 8), true, true, false, "F",
         "blank", true, true},
        {"and again Not found", {"F", "", true, true}, Nec(4, 8), true, true, false, "F", "blank", true, true},
        {"a unit without keys: on with the next unit", {"C"}, Nec(4, 8), true, true, true, "E", "z", false, false},
        {"current unit only: its first match each time", {"A", "k3"}, Nec(4, 8), false, true, true, "A", "k1", false,
         false},
        {"current unit only, nothing there: it stays current", {"D", "hi"}, Nec(4, 8), false, false, false, "D", "hi",
         false, true},
        {"current unit only, even after a failed search over all", {"F", "", true, true}, Nec(0, 0), false, true, true,
         "F", "blank", true, false},
        {"the forced unit for its own protocol", {"B"}, {Protocol::Rc5, Modulation::BiPhase, 0, 4, 8}, false, false,
         true, "B", "r1", false, false},
        {"the forced unit skipped when nothing was recognised", {"B"}, {0, Modulation::PulseDistance, 0, 4, 8}, false,
         false, false, "B", "r1", false, false},
        {"bit 31 set: found again", {"A"}, Nec(Bit31Adr, 0xFFFFFFFF), true, false, true, "D", "hi", false, false},
        {"sign-extended, wider than 32 bits: never", {"A"}, Nec(0xFFFFFFFF00000000 | Bit31Adr, 0xFFFFFFFFFFFFFFFF),
         true, false, false, "F", "blank", true, true},
        {"a wide address with matching low bits: never", {"E"}, Nec(0x100000004, 8), false, false, false, "E", "z",
         false, true},
        {"null columns read as 0", {"A", "k2"}, Nec(0, 0), true, false, true, "F", "blank", false, false},
        {"another mode does not match", {"A"}, {Protocol::Nec, Modulation::PulseDistance, 1, 4, 8}, true, false, false,
         "F", "blank", true, true},
    };
    for (const Case& c : cases) {
        const End walk = Run(c.from, c.values, c.all, c.byUser, SearchWay::Walk);
        EXPECT_EQ(walk.found, c.found) << c.name;
        EXPECT_EQ(walk.unit, QLatin1String(c.unit)) << c.name;
        EXPECT_EQ(walk.key, QLatin1String(c.key)) << c.name;
        EXPECT_EQ(walk.unitsEof, c.unitsEof) << c.name;
        EXPECT_EQ(walk.keysEof, c.keysEof) << c.name;
        EXPECT_EQ(walk.keyAfterScrolls, 1) << c.name;
        EXPECT_EQ(Run(c.from, c.values, c.all, c.byUser, SearchWay::Query), walk) << c.name;
    }
}

TEST_P(KeySearch, KeysSortedByCodeAreSearchedInThatOrder) {
    // k3 was stored first: by code it comes before k1 (equal values, then ID).
    for (SearchWay way : {SearchWay::Walk, SearchWay::Query}) {
        CodeDatabase db;
        ASSERT_TRUE(db.Open(Db().ConnectionString(), QStringLiteral("tovanel.ini")).ok);
        db.ADOTableCodes.SetOrder(KeyOrderByCode);
        EXPECT_EQ(SearchNextKey(db, Nec(4, 8), true, false, way).keyName, u"k3");
        EXPECT_EQ(SearchNextKey(db, Nec(4, 8), true, true, way).keyName, u"k1");
        EXPECT_EQ(SearchStatusText(SearchNextKey(db, Nec(4, 8), true, true, way)), u"Found unit \"E\", key \"z\"");
        EXPECT_EQ(SearchStatusText(SearchNextKey(db, Nec(4, 8), true, true, way)), u"Not found");
    }
}

}  // namespace
}  // namespace tovanel
