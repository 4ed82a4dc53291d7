// The oscillogram of a recording buffer as a PNG file, painted exactly as
// the main window's "OSC" page paints it.
#pragma once

#include <string>

#include "analysis/CodeFrame.h"

namespace tovanel {

// Writes the whole paint box (width by the buffer's widest frame, height
// 562) to `file`. Works without a display. False with a message naming the
// file when it cannot be written; a failed write leaves no partial file.
bool WriteOscillogramPng(const FrameBuffer& buffer, const std::string& file, std::string& error);

}  // namespace tovanel
