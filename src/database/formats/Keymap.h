// Keymaps of the Linux remote-control core: the TOML files ir-keytable
// loads, one [[protocols]] table per decoder with its scancodes mapped to
// input key codes.
//
//   [[protocols]]
//   name = "tv"
//   protocol = "nec"          # the decoder
//   variant = "necx"          # optional: the exact kernel protocol
//   [protocols.scancodes]
//   0x0408 = "KEY_POWER"
//
// Reading one makes a unit per table and a key per scancode, whose frames
// the kernel protocol's encoder (RcEncoders.h) makes; writing one maps each
// key's kernel reading (RcReading.h) back to a line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "analysis/rc/RcProtocols.h"
#include "database/formats/CodeFile.h"
#include "database/formats/CodeFileWriters.h"

namespace tovanel {

// Reports a unit per [[protocols]] table (named by its `name`, with its
// protocol's carrier) and a key per scancode, in the order of the file,
// each the first frame and the protocol's repeats at nominal timing. A
// table of a decoder without an encoder here (pulse_distance, imon, ...)
// and a scancode that no frame of its decoder reads as are skipped; text
// that is no TOML or no keymap is an error.
void ReadKeymap(std::string_view text, CodeFileSink& sink);

// The kernel protocol whose frames a keymap line stands for: among the
// protocols of the decoder `protocol` names ("nec", "rc-5-sz", "rc6", ...)
// the table's `variant` when the scancode fits it and the kernel would read
// the variant's frame as that scancode, else the first that does in the
// order of the registry, which is by growing scancode mask (so `nec` picks
// nec, necx or nec32 from the scancode's value). None when the decoder has
// no encoder here or no frame of it reads as the scancode.
std::optional<RcProtocol> KeymapEncoding(std::string_view protocol, std::string_view variant, uint32_t scancode);

// A keymap of the unit: one [[protocols]] table per kernel protocol its
// keys' readings name (the reading of each key's first frame in the burst
// of its frames), in the order they first appear. A key whose scancode is
// already in its table is written as a comment, and so is a key without a
// reading. Empty when no key has a reading: there is no keymap to write.
std::string WriteKeymap(const ExportUnit& unit);

// The key code a key's name stands for: the name in upper case with blanks
// as underscores when that is a Linux key code ("Key power", "btn left"),
// else with "KEY_" before it ("Power", "numeric 0"); none when neither is.
std::optional<std::string> KeymapKeyCode(std::string_view keyName);

// The name a key code gives a key: without "KEY_", underscores as blanks,
// the first letter upper case and the rest lower case ("KEY_NUMERIC_0" is
// "Numeric 0", "BTN_LEFT" "Btn left"); KeymapKeyCode turns it back.
std::string KeymapKeyName(std::string_view keyCode);

// The Linux input key codes ir-keytable accepts ("KEY_POWER", "BTN_LEFT"),
// sorted, and whether a name is one.
std::span<const std::string_view> LinuxKeyCodes();
bool IsLinuxKeyCode(std::string_view code);

}  // namespace tovanel
