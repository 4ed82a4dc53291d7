// Reading a small file that a user or another program may point anywhere:
// the settings file, a data-link file. Only a regular file is read, and at
// most a size that such a file never needs, so that a name like /dev/zero,
// a FIFO or a folder gives a message instead of a hang or gigabytes.
#pragma once

#include <cstddef>
#include <string>

namespace tovanel {

inline constexpr size_t MaxSmallFileBytes = size_t{1} << 20;

enum class SmallFileResult { Read, Missing, Refused };

// Reads `path` whole into `content`. Missing when there is no such file;
// Refused with `reason` (the system's text, or "a folder", "not a regular
// file", "larger than 1 MiB") when it cannot or must not be read.
SmallFileResult ReadSmallFile(const std::string& path, std::string& content, std::string& reason);

}  // namespace tovanel
