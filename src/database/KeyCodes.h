// Keys between the database and the analyser: loading the current key into
// the recording buffer, recomputing the stored values of a unit's keys, and
// the key view's address and command texts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QString>

#include "analysis/CodeFrame.h"
#include "analysis/rc/RcProtocols.h"

namespace tovanel {

class CodeDatabase;
class TableRow;

// The generic layout a unit row describes, as loading the unit sets it:
// start bits doubled into duration positions, each value first clamped to
// the controls' range 0..100. The forced protocol and modulation stay 0.
DecodeSettings UnitLayout(const TableRow& unit);

// Loads the current key of ADOTableCodes (Code1..Code4 into slots 0..3;
// no key: four empty texts) into `buffer` and analyses all ten slots with
// the current unit's Modulation and Protocol columns as forced values and
// `layout` for the generic extraction. Returns AnalyzeFrame's result per
// slot.
std::array<bool, SlotCount> LoadKeyIntoBuffer(CodeDatabase& db, FrameBuffer& buffer,
                                              const DecodeSettings& layout);
// The same on the shared recording buffer, under its lock.
std::array<bool, SlotCount> LoadKeyIntoBuffer(CodeDatabase& db, SharedFrameBuffer& buffer,
                                              const DecodeSettings& layout);

// Re-analyses Code1 of every key of the current unit (the keys of
// ADOTableCodes2, re-read first so that keys added through another view are
// included, with ReloadGuard set) and rewrites Mode and the low 32 bits of
// Adr and Cmd where they differ, all in one transaction. A view that is
// watched (hooks, listeners) is walked key by key; one nobody watches is
// read in batches and only moved to where a walk ends, past its last key.
// Either way the view then shows what is stored. On an error nothing is
// changed, ADOTableCodes2 is re-read, ReloadGuard is cleared and the error
// (DbError) goes on to the caller. Does nothing when ADOTableCodes2 is
// closed. Returns the number of keys of the unit.
int RecomputeUnitKeys(CodeDatabase& db, const DecodeSettings& layout);

// The kernel's reading of a stored key: its first frame (Code1) read in the
// burst of its stored frames, as Sharp's needs Code2. Nothing is stored.
std::optional<RcReading> KeyRcReading(const TableRow& key);

// strAdr and strCmd: "0x%.4X" and "0x%.2X" of the 32-bit value.
QString AdrText(int32_t adr);
QString CmdText(int32_t cmd);

}  // namespace tovanel
