// Recordings of a receiver on the sound input, as WAV files: only what the
// live input delivers (48000 Hz, 16-bit, mono PCM) is accepted.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace tovanel {

// Reads the whole file into `samples`. False with a message saying what
// the file is when it is no WAV file or holds another format.
bool ReadWav(std::istream& in, std::vector<int16_t>& samples, std::string& error);

// A WAV file of 48000 Hz 16-bit mono samples.
std::string WavBytes(const std::vector<int16_t>& samples);

}  // namespace tovanel
