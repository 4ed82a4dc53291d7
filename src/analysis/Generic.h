// Generic field extraction: address and command of a pulse-distance frame of
// no known protocol, read by the bit layout the user describes.
#pragma once

#include "analysis/CodeFrame.h"

namespace tovanel {

// Reads Adr and Cmd by `layout`. False when the frame is not pulse-distance
// modulated or a field runs past the end of the frame (the bits read so far
// stay in the record).
bool DecodeGeneric(CodeFrame& frame, const DecodeSettings& layout);

// The same with the program's global decoding settings.
bool DecodeGeneric(CodeFrame& frame);

}  // namespace tovanel
