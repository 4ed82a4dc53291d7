// What a sender of stored keys puts on the air: the frames of one entry of
// the transmit list (or of one key) as pulse/space words, with the silences
// between them. Plain functions, so that the timing is tested without a
// device.
//
// A stored frame's first value is its start offset in milliseconds from the
// start of the previous frame, so the silence before a frame is that offset
// minus the previous frame's length. A receiver needs some silence to see
// two frames, hence a floor of 10 ms. A key sent again starts after the
// silence that came before its last frame (100 ms when it has one frame),
// so that the repetitions keep the rhythm of the recording.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capture/Carrier.h"

namespace tovanel {

inline constexpr uint32_t MinFrameSilenceUs = 10000;
inline constexpr uint32_t OneFrameRepeatSilenceUs = 100000;

// One key to send: its unit's and its own name (for messages), its four
// code texts as stored, how often it is sent again, the pause after it and
// the carrier.
struct TransmitItem {
    std::string unitName;
    std::string keyName;
    std::array<std::string, 4> codes;
    int32_t repeat = 0;    // sent repeat + 1 times; below 0 counts as 0
    int32_t pauseMs = 0;   // silence before the next item; below 0 counts as 0
    uint32_t carrierHz = DefaultCarrierHz;
};

// A unit's Carrier text: a whole number of kHz (blanks around it allowed)
// in Hz; anything else, 0 included, gives the default of 38 kHz.
uint32_t CarrierHz(std::string_view carrierText);

// One frame as the device takes it: the silence before it (µs) and its
// pulse and space words (µs, pulse first, an odd number, none zero).
struct PlannedFrame {
    uint32_t silenceBeforeUs = 0;
    std::vector<uint32_t> words;
};

// The words of one stored frame's durations: zero durations add nothing,
// so the durations on both sides of one join; a space before the first
// pulse and a space at the end are silence, not part of the frame.
std::vector<uint32_t> PulseWords(const int32_t* durations, int32_t count);

// The item's non-empty frames in order (Code1..Code4). The first frame's
// silence is the one before a repetition of the item: that of its last
// frame, or 100 ms for a single frame. Empty when nothing is to be sent.
std::vector<PlannedFrame> PlanItem(const TransmitItem& item);

}  // namespace tovanel
