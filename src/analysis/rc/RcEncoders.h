// Encoders for the kernel's remote-control protocols: from a scancode to
// the frames a remote control sends for one key press, at nominal timing.
// Keys made from a keymap are stored with these frames, and the readings
// of RcReading.h read them back as their scancodes.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/rc/RcProtocols.h"

namespace tovanel {

// One frame of a key press: µs from the previous frame's start (0 for the
// first) and the durations in µs, mark first and last.
struct RcFrame {
    int32_t period;
    std::vector<int32_t> durations;
};

// The first `count` frames of one key press: the first frame, then the
// protocol's repeats (NEC's and Sanyo's repeat codes, JVC's frame without
// its leader, the whole frame again for the others; Sharp sends every
// frame followed by its inverted copy). `toggle` sets the toggle bit of
// the protocols that carry one (rc5, rc5x_20, rc5_sz, rc6_0, rc6_mce and
// rcmm32 outside its mode 11). Empty when count is below 1 or the scancode
// uses bits the protocol does not carry (RcScancodeFits).
std::vector<RcFrame> EncodeRc(RcProtocol protocol, uint32_t scancode, bool toggle, int count);

}  // namespace tovanel
