#include "database/formats/CodeFileFormats.h"

#include <array>

#include "database/formats/Keymap.h"
#include "database/formats/TextScan.h"

namespace tovanel {

using namespace codefile;

namespace {

// ---- What the first line of each format looks like ---------------------------

bool IsProntoWord(std::string_view token) {
    uint64_t v = 0;
    return token.size() == 4 && ParseHex(token, v);
}

bool IsDuration(std::string_view token) {
    if (!token.empty() && (token[0] == '+' || token[0] == '-')) token.remove_prefix(1);
    uint64_t v = 0;
    return !token.empty() && token.find_first_not_of("0123456789") == std::string_view::npos &&
           ParseNumber(token, v);
}

bool ClaimsLircd(std::string_view line) {
    const std::vector<std::string_view> t = Tokens(line);
    return t.size() >= 2 && t[0] == "begin" && t[1] == "remote";
}

bool ClaimsMode2(std::string_view line) {
    const std::vector<std::string_view> t = Tokens(line);
    return !t.empty() && (t[0] == "pulse" || t[0] == "space" || t[0] == "timeout" || t[0] == "carrier" ||
                          StartsWith(t[0], "Using") || StartsWith(t[0], "Trying"));
}

bool ClaimsIrSignals(std::string_view line) { return StartsWith(line, "Filetype:"); }

// "name: 0000 006D ..." or a row of four-digit hex words of a learned code.
bool ClaimsPronto(std::string_view line) {
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
        const std::vector<std::string_view> t = Tokens(line.substr(colon + 1));
        return t.size() >= 4 && IsProntoWord(t[0]) && !ClaimsMode2(line) && !ClaimsIrSignals(line);
    }
    const std::vector<std::string_view> t = Tokens(line);
    bool words = t.size() >= 4 && (t[0] == "0000" || t[0] == "0100");
    for (std::string_view w : t) words = words && IsProntoWord(w);
    return words;
}

// Our durations text, separated by blanks and/or commas; no "name:" line.
bool ClaimsDurations(std::string_view line) {
    if (line.find(':') != std::string_view::npos || ClaimsPronto(line)) return false;
    std::string spaced(line);
    for (char& c : spaced)
        if (c == ',') c = ' ';
    const std::vector<std::string_view> numbers = Tokens(spaced);
    return !numbers.empty() && IsDuration(numbers[0]);
}

// A kernel keymap's first table (TOML allows blanks inside the brackets).
bool ClaimsKeymap(std::string_view line) {
    std::string bare;
    for (char c : line)
        if (c != ' ' && c != '\t') bare += c;
    return StartsWith(bare, "[[protocols]]");
}

std::string WriteCsvFile(const ExportUnit& unit) { return WriteCsvUnit(unit); }

constexpr std::array Formats{
    CodeFileFormatEntry{CodeFileFormat::Lircd, "lircd.conf", "lircd", "*.conf *.lircd", "lircd.conf", ClaimsLircd,
                        ReadLircdConf, WriteLircdRaw},
    CodeFileFormatEntry{CodeFileFormat::Mode2, "mode2", "mode2", "*.mode2", "mode2", ClaimsMode2,
                        ReadMode2CodeFile, WriteMode2},
    CodeFileFormatEntry{CodeFileFormat::Durations, "durations", "durations", "*.txt", "txt", ClaimsDurations,
                        ReadDurationsCodeFile, nullptr},
    CodeFileFormatEntry{CodeFileFormat::Pronto, "Pronto hex", "pronto", "*.txt *.hex", "pronto.txt", ClaimsPronto,
                        ReadProntoList, WritePronto},
    CodeFileFormatEntry{CodeFileFormat::IrSignals, ".ir", "ir", "*.ir", "ir", ClaimsIrSignals, ReadIrSignals,
                        WriteIrSignals},
    CodeFileFormatEntry{CodeFileFormat::Keymap, "keymap", "keymap", "*.toml", "toml", ClaimsKeymap, ReadKeymap,
                        WriteKeymap},
    CodeFileFormatEntry{CodeFileFormat::Csv, "CSV", "csv", "*.csv", "csv", nullptr, nullptr, WriteCsvFile},
};

}  // namespace

std::span<const CodeFileFormatEntry> CodeFileFormats() { return Formats; }

const CodeFileFormatEntry* FindCodeFileFormat(CodeFileFormat format) {
    for (const CodeFileFormatEntry& e : Formats)
        if (e.format == format) return &e;
    return nullptr;
}

const CodeFileFormatEntry* FindCodeFileFormat(std::string_view word) {
    for (const CodeFileFormatEntry& e : Formats)
        if (word == e.word) return &e;
    return nullptr;
}

}  // namespace tovanel
