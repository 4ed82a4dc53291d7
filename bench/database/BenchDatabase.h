// What the database benchmarks share: a database of NEC keys written at
// size, and the process's peak memory while a benchmark runs.
#pragma once

#include <cstdint>
#include <vector>

#include <QString>

namespace tovanel {

// The command stored with the last unit's last key alone: the key a search
// over all units finds last.
inline constexpr int LastKeyCmd = 0xFFF;

// Writes a new SQLite database of `units` units ("Unit 000", ...) with
// `keys` NEC keys each ("Key 000000", ...: a first frame and two repeat
// codes, Mode 0, Adr the unit's number, Cmd the key's low byte); returns
// the units' IDs.
std::vector<int32_t> WriteDatabase(const QString& path, int units, int keys);

// The process's peak resident memory from now on (the kernel's high-water
// mark is reset), read by PeakMiB().
void ResetPeak();
double PeakMiB();

}  // namespace tovanel
