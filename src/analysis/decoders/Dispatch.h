// Protocol decoder dispatch: one table from protocol number to decoder.
#pragma once

#include "analysis/CodeFrame.h"

namespace tovanel {

// A protocol decoder reads mode, address and command out of a classified
// frame and marks the role of each duration. It returns false to reject the
// frame; DecodeProtocol then sets Protocol to -1. Fields written before a
// rejection stay.
using Decoder = bool (*)(CodeFrame& frame);

// The decoder registered for a protocol number, or nullptr when the number
// is decoded by the generic extraction (0, RCA2, NEC (rev), any unknown).
Decoder DecoderFor(int32_t protocol);

// Runs the decoder of frame.Protocol, or the generic extraction with
// `layout`; its result is the analysis result.
bool DecodeProtocol(CodeFrame& frame, const DecodeSettings& layout);

}  // namespace tovanel
