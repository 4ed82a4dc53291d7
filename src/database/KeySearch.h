// The key search: the first frame of a recording looked up among the
// stored keys, with the unit and key views as its cursor. The main window's
// "Search next" (by hand or for every new recording in search mode) and
// tovanel-db's search run it alike.
//
// The search goes through the units in the unit view's order and, in each
// unit whose forced protocol and modulation admit the recording, through
// its keys in the key view's order; the first key with the recording's
// mode, address and command becomes current. With all units it starts at
// the first unit, or, by hand, right after the current key (the resume
// mark); without, it covers the current unit from its first key. A search
// over all units that finds nothing leaves the last unit current with the
// unit view past its end, so that "Search next" reports "Not found" until
// the next recording starts again at the first unit.
//
// A stored address or command holds the low 32 bits of the analyser's
// value: it matches a value that fits in 32 bits and equals those bits
// read without sign. Wider values never match.
#pragma once

#include <cstdint>

#include <QString>

#include "analysis/CodeFrame.h"

namespace tovanel {

class CodeDatabase;
class TableRow;

// What the search compares, from slot 0 of the recording buffer.
struct KeySearchValues {
    int32_t protocol = 0;    // 0 or less: none detected
    int32_t modulation = 0;  // 0 or less: none detected
    int32_t mode = 0;
    uint64_t adr = 0;
    uint64_t cmd = 0;
};
KeySearchValues SearchValuesOf(const CodeFrame& first);

// A unit with a forced protocol (modulation) is searched only for a
// recording recognised as exactly that protocol (modulation).
bool UnitAdmits(const TableRow& unit, const KeySearchValues& v);
// A key row's Mode, Adr and Cmd against the recording's.
bool KeyMatches(const TableRow& key, const KeySearchValues& v);

// How the keys are looked at: row by row through the views, or by one
// query per unit for the matching keys (the same result, fast on large
// databases).
enum class SearchWay { Walk, Query };

struct KeySearchResult {
    bool found = false;
    QString unitName;
    QString keyName;
};

// Runs the search on the views of `db` and leaves the found (or last
// walked) unit and key current. ReloadGuard is set for the run; the unit
// view's scroll hooks are held back while it moves, then its after-scroll
// step runs once if the current unit changed, and the key view's
// after-scroll step runs at the end. Database errors (DbError) end it with
// ReloadGuard clear and the hooks back in place.
KeySearchResult SearchNextKey(CodeDatabase& db, const KeySearchValues& values, bool allUnits, bool byUser,
                              SearchWay way = SearchWay::Query);

// "Found unit \"%s\", key \"%s\"" or "Not found".
QString SearchStatusText(const KeySearchResult& result);

}  // namespace tovanel
