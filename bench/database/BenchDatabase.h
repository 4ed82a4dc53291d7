// What the database benchmarks share: a database of NEC keys written at
// size, and the process's peak memory while a benchmark runs.
#pragma once

#include <cstdint>
#include <vector>

#include <QString>

namespace tovanel {

// Writes a new SQLite database of `units` units ("Unit 000", ...) with
// `keys` NEC keys each ("Key 000000", ...: a first frame and two repeat
// codes); returns the units' IDs.
std::vector<int32_t> WriteDatabase(const QString& path, int units, int keys);

// The process's peak resident memory from now on (the kernel's high-water
// mark is reset), read by PeakMiB().
void ResetPeak();
double PeakMiB();

}  // namespace tovanel
