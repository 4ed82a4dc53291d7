#include "database/Schema.h"

#include <cstring>

#include <QStringList>

#include "database/SchemaSql.h"

namespace tovanel {

int TableDef::IndexOf(std::string_view column) const {
    for (size_t i = 0; i < columns.size(); ++i)
        if (column == columns[i].name) return static_cast<int>(i);
    return -1;
}

const TableDef& UnitsTable() {
    static const TableDef t{"tblUnits",
                            {{"ID", ColumnType::Id, 0},
                             {"Name", ColumnType::Text, 64},
                             {"Desc", ColumnType::LongText, 0},
                             {"Protocol", ColumnType::Int16, 0},
                             {"Modulation", ColumnType::UInt16, 0},
                             {"AdrStart", ColumnType::Int16, 0},
                             {"AdrBits", ColumnType::Int16, 0},
                             {"AdrOrder", ColumnType::Bool, 0},
                             {"AdrInverse", ColumnType::Bool, 0},
                             {"CmdStart", ColumnType::Int16, 0},
                             {"CmdBits", ColumnType::Int16, 0},
                             {"CmdOrder", ColumnType::Bool, 0},
                             {"CmdInverse", ColumnType::Bool, 0},
                             {"Carrier", ColumnType::Text, 3},
                             {"Picture", ColumnType::Blob, 0}}};
    return t;
}

const TableDef& CodesTable() {
    static const TableDef t{"tblCodes",
                            {{"ID", ColumnType::Id, 0},
                             {"UnitID", ColumnType::Int32, 0},
                             {"Name", ColumnType::Text, 64},
                             {"Mode", ColumnType::Int32, 0},
                             {"Adr", ColumnType::Int32, 0},
                             {"Cmd", ColumnType::Int32, 0},
                             {"Code1", ColumnType::Text, 255},
                             {"Code2", ColumnType::Text, 255},
                             {"Code3", ColumnType::Text, 255},
                             {"Code4", ColumnType::Text, 255}}};
    return t;
}

const TableDef& TransmitTable() {
    static const TableDef t{"tblTransmit",
                            {{"ID", ColumnType::Id, 0},
                             {"Protocol", ColumnType::Int16, 0},
                             {"Modulation", ColumnType::Int16, 0},
                             {"UnitName", ColumnType::Text, 64},
                             {"KeyName", ColumnType::Text, 64},
                             {"Code1", ColumnType::Text, 255},
                             {"Code2", ColumnType::Text, 255},
                             {"Code3", ColumnType::Text, 255},
                             {"Code4", ColumnType::Text, 255},
                             {"Repeat", ColumnType::Int16, 0},
                             {"Pause", ColumnType::Int32, 0}}};
    return t;
}

std::vector<QString> SchemaStatements(Engine engine) {
    const char* sql = engine == Engine::Sqlite ? SqliteSchemaSql : PostgresSchemaSql;
    // The schema files hold plain statements, each ending in ';' at the end
    // of a line; "--" starts a comment line.
    std::vector<QString> statements;
    QString current;
    for (const QString& line : QString::fromUtf8(sql).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u"--")) continue;
        current += line + u'\n';
        if (trimmed.endsWith(u';')) {
            statements.push_back(current.trimmed().chopped(1));
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty()) statements.push_back(current.trimmed());
    return statements;
}

QString QuoteIdentifier(std::string_view name) {
    QString s = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    s.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + s + u'"';
}

}  // namespace tovanel
