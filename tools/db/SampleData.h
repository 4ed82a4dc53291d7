// The demo content of `tovanel-db create --sample`: a few remote-control
// units with keys of several protocols, their frames built from each
// protocol's bit layout with a receiver's distortion, so that a new user
// sees a populated database and the analyser has real keys to decode.
#pragma once

namespace tovanel {

class CodeDatabase;

// Appends the demo units and keys through the views of an open database
// and stores each key's mode, address and command as the analyser finds
// them. Returns the number of keys written; throws DbError on a failure.
int AddSampleData(CodeDatabase& db);

}  // namespace tovanel
