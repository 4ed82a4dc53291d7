// How tovanel-analyze (and tovanel-db) print an analysed frame: one JSON
// object per frame for scripts, or a readable summary laid out like the main
// window's result panels.
#pragma once

#include <cstddef>
#include <string>

#include "analysis/CodeFrame.h"
#include "analysis/rc/RcProtocols.h"

namespace tovanel {

// One line of JSON (no trailing newline) with the keys, in order: slot,
// count, period, total, decoded, modulation, modulation_name, protocol,
// protocol_name, repeat, header, trailer, mark_means, mark_counts,
// space_means, space_counts, class_index, mode_start, mode_bits, mode,
// adr_order, adr_start, adr_bits, adr, cmd_order, cmd_start, cmd_bits, cmd,
// flags, then the kernel's reading: rc_protocol, rc_scancode, rc_toggle.
std::string FrameJson(const CodeFrame& frame, bool decoded, const std::optional<RcReading>& rc);
// The same line written to `out`, which has room for MaxFrameJsonLength
// bytes; returns its length. No allocation: for output at corpus speed.
inline constexpr size_t MaxFrameJsonLength = 16384;
size_t WriteFrameJson(char* out, const CodeFrame& frame, bool decoded, const std::optional<RcReading>& rc);

// A few lines of readable text, ending in a newline; the kernel's reading
// as "Linux: nec 0x0408".
std::string FrameText(const CodeFrame& frame, bool decoded, const std::optional<RcReading>& rc);

// The kernel's reading as JSON members (no braces): rc_protocol (string or
// null), rc_scancode (integer or null), rc_toggle (boolean or null).
std::string RcJsonMembers(const std::optional<RcReading>& rc);

// The main window's texts, shared with the GUI.
std::string AddressDataText(uint64_t adr);  // "Data: 0x%.4LX (%Lu)"
std::string CommandDataText(uint64_t cmd);  // "Data: 0x%.2LX (%Lu)"
// A JSON string literal of UTF-8 text, quotes and control characters escaped.
std::string JsonQuoted(const std::string& text);

// One class list line: "560 [33]".
std::string ClassLine(int32_t mean, int32_t count);

}  // namespace tovanel
