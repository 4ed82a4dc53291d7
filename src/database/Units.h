// Units, written through the unit views: a new unit, a copy of the current
// unit with its keys, and deleting the current unit with its keys. The
// window's unit actions and tovanel-db's unit commands both run these.
// Every change of several rows is one transaction: after a failure the
// database holds every row as before, the views are re-read where they had
// moved on, and the error (DbError, with the database's text) goes on to
// the caller.
#pragma once

#include <cstdint>

#include <QString>

#include "database/TableView.h"

namespace tovanel {

class CodeDatabase;

// Carrier of a new unit: not known until the user types it.
inline const QString NewUnitCarrier = QStringLiteral("???");
// Appended to the name of a copy.
inline const QString CopySuffix = QStringLiteral(" (copy)");

// Appends a unit row with `name` and `carrier` (every other column empty)
// to `view`, a unit view, and posts it; a refused row is dropped again.
// Returns its ID. The building block of AppendUnit and of imports.
RowId PostNewUnit(TableView& view, const QString& name, const QString& carrier);

// Appends a unit with `name` and the carrier "???" (every other column
// empty) through ADOTableUnits; it becomes the current unit and the view is
// re-read so that it stands in its place by name. Returns its ID.
RowId AppendUnit(CodeDatabase& db, const QString& name);

// Copies the current unit (name + " (copy)", description, decoding
// settings, carrier, picture) through ADOTableUnits3, and every key the key
// view lists for it through ADOTableCodes3 with the copy's ID, so that the
// visible lists do not move while the copy is written. Then the unit and
// key views are re-read and the copy becomes the current unit. Returns the
// copy's ID.
RowId DuplicateUnit(CodeDatabase& db);

// Deletes every key the key view lists for the current unit, then the unit
// (with ReloadGuard set while the keys go, so that no key is loaded on the
// way); the following unit becomes current. The transmit list keeps its
// copies. Returns the number of keys deleted.
int DeleteUnit(CodeDatabase& db);

// After a rolled-back transaction that wrote through the second views
// (ADOTableUnits3, ADOTableCodes3): cancels their edits and re-reads the
// units they may still show, without throwing (the caller reports the
// failure that caused the rollback).
void ResetSecondViews(CodeDatabase& db);

}  // namespace tovanel
