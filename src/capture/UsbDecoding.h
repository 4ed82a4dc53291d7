// What the USB receivers' answers mean: one byte per mark or space for
// IgorPlug-USB, one or two bytes per duration for IgorPlug2, and a lead-in
// mark in front of a frame that lost its first mark.
#pragma once

#include <cstdint>
#include <string>

namespace tovanel {

// Bytes of one answer that are used; durations a frame can have.
inline constexpr int32_t UsbAnswerBytes = 256;
inline constexpr int32_t UsbMaxDurations = UsbAnswerBytes + 1;

// Each byte b > 0 is b × 85.33 µs; zero bytes are skipped. `out` holds at
// least `count` entries. Returns the number of durations.
int32_t DecodeIgorPlug(const uint8_t* bytes, int32_t count, int32_t* out);
// Bytes 1..248 are b × 21.33 µs; 249..255 start a long value
// (b − 248) × 248, plus the next byte when it is at most 248. An answer that
// starts with 255, 255 is no frame (0 durations).
int32_t DecodeIgorPlug2(const uint8_t* bytes, int32_t count, int32_t* out);
// An even number of durations (zero too) gets the 20000 µs lead-in mark in
// front; `list` has room for one more. Returns the new count.
int32_t ApplyLeadIn(int32_t* list, int32_t count);

// The status of the last poll: "OK", "no device", "no data", "unknown".
std::string UsbStatusText(int32_t status);

}  // namespace tovanel
