#include "database/KeySearch.h"

#include <algorithm>
#include <limits>
#include <vector>

#include <QSqlQuery>

#include "database/CodeDatabase.h"

namespace tovanel {

namespace {

// A stored column's 32 bits, read without sign.
bool StoredEquals(int32_t stored, uint64_t value) {
    return value <= std::numeric_limits<uint32_t>::max() && static_cast<uint32_t>(stored) == value;
}

bool FitsStored(const KeySearchValues& v) {
    return v.adr <= std::numeric_limits<uint32_t>::max() && v.cmd <= std::numeric_limits<uint32_t>::max();
}

// The search's own run: ReloadGuard set and the unit view's hooks held back
// (they would reload the controls for every unit passed); on leaving, both
// come back and the scroll steps that the moves owe run once.
class SearchRun {
public:
    explicit SearchRun(CodeDatabase& db)
        : db_(db),
          before_(std::move(db.ADOTableUnits.BeforeScroll)),
          after_(std::move(db.ADOTableUnits.AfterScroll)),
          unitId_(db.ADOTableUnits.Current().Id()) {
        db_.ADOTableUnits.BeforeScroll = nullptr;
        db_.ADOTableUnits.AfterScroll = nullptr;
        db_.ReloadGuard = true;
    }
    ~SearchRun() {
        TableView& units = db_.ADOTableUnits;
        units.BeforeScroll = std::move(before_);
        units.AfterScroll = std::move(after_);
        db_.ReloadGuard = false;
    }
    SearchRun(const SearchRun&) = delete;
    SearchRun& operator=(const SearchRun&) = delete;

    // The end of a search that was not cut short by an error.
    KeySearchResult Finish(bool found) {
        TableView& units = db_.ADOTableUnits;
        TableView& keys = db_.ADOTableCodes;
        KeySearchResult result;
        result.found = found;
        if (found) {
            result.unitName = units.Text("Name");
            result.keyName = keys.Text("Name");
        }
        // A new unit: its after-scroll step, still under ReloadGuard as
        // after the view's own before-scroll step.
        if (units.Current().Id() != unitId_ && after_) after_(units);
        db_.ReloadGuard = false;
        if (keys.AfterScroll) keys.AfterScroll(keys);
        return result;
    }

private:
    CodeDatabase& db_;
    TableView::Hook before_;
    TableView::Hook after_;
    RowId unitId_;
};

// The starting point. Returns the resume mark: set when the search goes on
// after the current key.
bool MoveToStart(TableView& units, TableView& keys, bool allUnits, bool byUser) {
    if (!allUnits) return false;
    if (!byUser) {
        units.First();
        return false;
    }
    if (keys.Eof())
        units.Next();
    else
        keys.Next();
    return true;
}

// Whether the loop over units runs at all: over all units while the unit
// view is not past its end; otherwise on the current unit, even when an
// earlier search over all units left the view past its end.
bool HasUnitToSearch(const TableView& units, bool allUnits) {
    return allUnits ? !units.Eof() : units.HasCurrent();
}

bool Walk(TableView& units, TableView& keys, const KeySearchValues& v, bool allUnits, bool resume) {
    if (!HasUnitToSearch(units, allUnits)) return false;
    for (;;) {
        if (UnitAdmits(units.Current(), v)) {
            if (resume)
                resume = false;  // go on from the key after the last one found
            else
                keys.First();
            for (; !keys.Eof(); keys.Next())
                if (KeyMatches(keys.Current(), v)) return true;
        }
        if (!allUnits) return false;
        units.Next();
        if (units.Eof()) return false;
    }
}

// The IDs of a unit's keys whose stored values match. A column that holds
// no value reads as 0, so where 0 is sought a null matches too.
class MatchQuery {
public:
    MatchQuery(QSqlDatabase& db, const KeySearchValues& v) : query_(db) {
        const int32_t values[3] = {v.mode, static_cast<int32_t>(static_cast<uint32_t>(v.adr)),
                                   static_cast<int32_t>(static_cast<uint32_t>(v.cmd))};
        QString sql = QStringLiteral("SELECT \"ID\" FROM \"tblCodes\" WHERE \"UnitID\" = ?");
        int k = 0;
        for (const char* column : {"Mode", "Adr", "Cmd"}) {
            const QString c = QuoteIdentifier(column);
            sql += values[k] == 0 ? QStringLiteral(" AND (%1 = ? OR %1 IS NULL)").arg(c)
                                  : QStringLiteral(" AND %1 = ?").arg(c);
            values_[k] = values[k];
            ++k;
        }
        query_.setForwardOnly(true);
        if (!query_.prepare(sql)) throw DbError(ErrorText(query_.lastError()));
    }

    std::vector<RowId> KeysOf(RowId unitId) {
        query_.bindValue(0, qlonglong{unitId});
        for (int k = 0; k < 3; ++k) query_.bindValue(k + 1, values_[k]);
        if (!query_.exec()) throw DbError(ErrorText(query_.lastError()));
        std::vector<RowId> ids;
        while (query_.next()) ids.push_back(query_.value(0).toLongLong());
        query_.finish();
        return ids;
    }

private:
    QSqlQuery query_;
    int32_t values_[3] = {};
};

// The same result as Walk, with the same views current and at their ends
// as the walk leaves them, but each unit's keys looked up by a query
// instead of read row by row; the views move only to where the walk stops.
bool Query(CodeDatabase& db, const KeySearchValues& v, bool allUnits, bool resume) {
    TableView& units = db.ADOTableUnits;
    TableView& keys = db.ADOTableCodes;
    if (!HasUnitToSearch(units, allUnits)) return false;
    const int start = units.RecNo() - 1;
    const int last = allUnits ? units.RecordCount() - 1 : start;
    if (FitsStored(v)) {
        MatchQuery matches(db.ADOConnection.Db(), v);
        for (int u = start; u <= last; ++u) {
            const TableRow& unit = units.RowAt(u);
            if (!UnitAdmits(unit, v)) continue;
            const std::vector<RowId> ids = matches.KeysOf(unit.Id());
            if (ids.empty()) continue;
            // The walk looks on from the resume mark only in the unit it
            // starts in; a unit it moves to starts at its first key.
            int from = 0;
            if (u == start && resume) from = keys.Eof() ? keys.RecordCount() : keys.RecNo() - 1;
            if (u != start) units.SetRecNo(u + 1);
            int found = -1;
            for (RowId id : ids) {
                const int index = keys.IndexOf(id);
                if (index >= from && (found < 0 || index < found)) found = index;
            }
            if (found < 0) continue;
            if (found == 0)
                keys.First();
            else
                keys.SetRecNo(found + 1);
            return true;
        }
    }
    // Nothing found: where the walk ends. It reads the last unit it covers
    // to the end of its keys when that unit is searched, then (over all
    // units) steps past the last unit.
    if (last != units.RecNo() - 1) units.SetRecNo(last + 1);
    if (UnitAdmits(units.Current(), v)) {
        keys.Last();
        keys.Next();
    }
    if (allUnits) units.Next();
    return false;
}

}  // namespace

KeySearchValues SearchValuesOf(const CodeFrame& first) {
    return {first.Protocol, first.Modulation, first.Mode, first.Adr, first.Cmd};
}

bool UnitAdmits(const TableRow& unit, const KeySearchValues& v) {
    const int32_t protocol = unit.Int("Protocol");
    if (protocol != 0 && (v.protocol <= 0 || v.protocol != protocol)) return false;
    const int32_t modulation = unit.Int("Modulation");
    if (modulation != 0 && (v.modulation <= 0 || v.modulation != modulation)) return false;
    return true;
}

bool KeyMatches(const TableRow& key, const KeySearchValues& v) {
    return key.Int("Mode") == v.mode && StoredEquals(key.Int("Adr"), v.adr) && StoredEquals(key.Int("Cmd"), v.cmd);
}

KeySearchResult SearchNextKey(CodeDatabase& db, const KeySearchValues& values, bool allUnits, bool byUser,
                              SearchWay way) {
    TableView& units = db.ADOTableUnits;
    TableView& keys = db.ADOTableCodes;
    if (!units.IsOpen() || !keys.IsOpen()) return {};
    SearchRun run(db);
    const bool resume = MoveToStart(units, keys, allUnits, byUser);
    const bool found = way == SearchWay::Walk ? Walk(units, keys, values, allUnits, resume)
                                              : Query(db, values, allUnits, resume);
    return run.Finish(found);
}

QString SearchStatusText(const KeySearchResult& result) {
    if (!result.found) return QStringLiteral("Not found");
    return QStringLiteral("Found unit \"%1\", key \"%2\"").arg(result.unitName, result.keyName);
}

}  // namespace tovanel
