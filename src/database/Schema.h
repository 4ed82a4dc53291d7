// The three tables of the code database as the program expects them: names,
// column order and types. The SQL that creates them lives in schema/*.sql,
// one file per engine; opening a view checks the database against this.
#pragma once

#include <string_view>
#include <vector>

#include <QString>

namespace tovanel {

enum class Engine { Sqlite, Postgres };

enum class ColumnType {
    Id,        // auto-increment 32-bit key, read-only
    Int16,     // signed 16-bit
    UInt16,    // unsigned 16-bit
    Int32,     // signed 32-bit
    Bool,
    Text,      // Unicode text of at most `size` characters
    LongText,  // Unicode text without limit
    Blob,      // binary large object
};

struct ColumnDef {
    const char* name;
    ColumnType type;
    int size;  // characters, for Text
};

struct TableDef {
    const char* name;
    std::vector<ColumnDef> columns;

    // Position of a column, -1 when the table has none of that name.
    int IndexOf(std::string_view column) const;
};

const TableDef& UnitsTable();     // tblUnits
const TableDef& CodesTable();     // tblCodes
const TableDef& TransmitTable();  // tblTransmit

// The statements that create the empty schema on an engine, in order.
std::vector<QString> SchemaStatements(Engine engine);

// A quoted SQL identifier: "Name", with any quote doubled.
QString QuoteIdentifier(std::string_view name);

}  // namespace tovanel
