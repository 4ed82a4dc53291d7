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

// What `tovanel-db create` writes into the open, empty database of `db`:
// the schema and, with `sample`, the demo units, all in one transaction, so
// that a failure at any point leaves the database as it was. Opens the
// views. Returns the number of demo keys; throws DbError.
int WriteNewDatabase(CodeDatabase& db, bool sample);

}  // namespace tovanel
