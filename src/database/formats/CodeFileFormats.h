// The code file formats as one table: how a file of each is recognised,
// read and written, and how the command line and the file dialogs name
// it. Detection, the importer and the exporter know the formats only
// through this table, so a format is added as one entry.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "database/formats/CodeFile.h"
#include "database/formats/CodeFileWriters.h"

namespace tovanel {

struct CodeFileFormatEntry {
    CodeFileFormat format;
    const char* name;      // in messages and reports: "lircd.conf"
    const char* word;      // on the command line: "lircd"
    const char* patterns;  // file dialog patterns: "*.conf *.lircd"
    const char* suffix;    // of a written file's name: "lircd.conf"
    // Whether a text whose first line that is neither blank nor a comment
    // is `line` (trimmed) is of this format. The entries' claims exclude
    // each other. Null for a format that is written only.
    bool (*claims)(std::string_view line);
    void (*read)(std::string_view text, CodeFileSink& sink);  // null: not read
    std::string (*write)(const ExportUnit& unit);             // null: not written
};

// Every format, in the order lists show them.
std::span<const CodeFileFormatEntry> CodeFileFormats();

// The entry of a format, or of a command-line word; null when there is none.
const CodeFileFormatEntry* FindCodeFileFormat(CodeFileFormat format);
const CodeFileFormatEntry* FindCodeFileFormat(std::string_view word);

}  // namespace tovanel
