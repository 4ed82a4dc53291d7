// The transmit list: entries copied from the current key of the current
// unit into tblTransmit (through ADOTableTrans), deleted again, and read
// as what a sender puts on the air.
#pragma once

#include <vector>

#include "capture/TransmitPlan.h"

namespace tovanel {

class CodeDatabase;

// Appends and posts an entry with the current unit's Name, Protocol and
// Modulation, the current key's Name and Code1..Code4 as they are,
// Repeat 0 and Pause 1000; it becomes the current entry. Without a unit or
// a key the names and code texts are empty texts.
void AddTransmitEntry(CodeDatabase& db);

// Deletes the current entry; nothing when the list is empty.
void DeleteTransmitEntry(CodeDatabase& db);

// The entries in the list's order, with an edit in progress posted first.
// Each gets the carrier of the first unit by name order that has the
// entry's unit name (units with equal names follow their IDs), or 38 kHz
// when there is none or its Carrier is no number of kHz.
std::vector<TransmitItem> TransmitListItems(CodeDatabase& db);

// The current key of the current unit, to be sent once with its unit's
// carrier.
TransmitItem CurrentKeyItem(CodeDatabase& db);

}  // namespace tovanel
