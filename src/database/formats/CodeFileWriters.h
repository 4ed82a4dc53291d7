// Writers of code files: a unit's keys in the formats that the programs
// which send IR read. Every writer takes the frames as stored (a key's
// frames joined by their gaps) and the unit's carrier.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "database/formats/CodeFile.h"

namespace tovanel {

// What the database holds of a key beside its frames, for the formats
// that list it (CSV).
struct ExportKeyValues {
    std::string protocol;              // the analyser's name of the first frame's protocol
    int32_t mode = 0;
    std::string address, command;      // as the key list shows them ("0x%.4X", "0x%.2X")
    std::array<std::string, 4> codes;  // the code texts as stored
};

struct ExportKey {
    std::string name;
    std::vector<CodeFileFrame> frames;
    ExportKeyValues stored;
};

struct ExportUnit {
    std::string name;
    int32_t carrierHz = DefaultCarrierHz;
    std::vector<ExportKey> keys;
};

// lircd.conf with one raw-codes remote: each key's frames as one raw code,
// joined by their gaps, then the remote's gap. Names are made LIRC tokens
// (blanks and '#' become '_').
std::string WriteLircdRaw(const ExportUnit& unit);

// One learned Pronto code (0000) per line, "name: code": a key of one frame
// is a once sequence; otherwise its last frame is the repeat sequence and
// the frames before it the once sequence.
std::string WritePronto(const ExportUnit& unit);

// An .ir signals file of raw signals.
std::string WriteIrSignals(const ExportUnit& unit);

// mode2 text for `ir-ctl --send`: the carrier once, then per key a
// "# name:" comment and its pulses and spaces; keys are parted by a space
// long enough (500 ms) to read back as separate bursts.
std::string WriteMode2(const ExportUnit& unit);

// One row of the CSV export.
struct CsvRow {
    std::string unit, key, protocol;
    int32_t mode = 0;
    std::string address, command;
    std::array<std::string, 4> codes;
};

// CSV (RFC 4180: every field quoted, quotes doubled, CRLF line ends) with a
// header row: unit, key, protocol, mode, address, command, code1..code4.
std::string WriteCsv(const std::vector<CsvRow>& rows);
// The same of a unit: a row per key, from its stored values.
std::string WriteCsvUnit(const ExportUnit& unit);

}  // namespace tovanel
