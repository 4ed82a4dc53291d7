// Modulation and protocol numbering, their display names, and the chain of
// rules that recognises them in a classified frame.
#pragma once

#include <cstdint>

#include "analysis/CodeFrame.h"

namespace tovanel {

namespace Modulation {
inline constexpr int32_t None = 0;
inline constexpr int32_t PulseDistance = 1;
inline constexpr int32_t PulseLength = 2;
inline constexpr int32_t BiPhase = 3;
}  // namespace Modulation

namespace Protocol {
inline constexpr int32_t None = 0;
inline constexpr int32_t Itt = 1;
inline constexpr int32_t Jvc = 2;
inline constexpr int32_t Nec = 3;
inline constexpr int32_t Nokia = 4;
inline constexpr int32_t Sharp = 5;
inline constexpr int32_t Sony = 6;
inline constexpr int32_t Rc5 = 7;
inline constexpr int32_t Rc6 = 8;
inline constexpr int32_t Rcmm = 9;
inline constexpr int32_t Recs80 = 10;
inline constexpr int32_t Xsat = 11;
inline constexpr int32_t Sanyo = 12;
inline constexpr int32_t Rec80 = 13;
inline constexpr int32_t Rca = 14;
inline constexpr int32_t Rca2 = 15;
inline constexpr int32_t NecRev = 16;
inline constexpr int32_t Konka = 17;
inline constexpr int32_t Mitsubishi = 18;
inline constexpr int32_t Thomson = 19;
inline constexpr int32_t Count = 20;  // numbers 0..19
}  // namespace Protocol

// Display names; any value outside the tables gives "(Unknown)".
const char* ProtocolName(int32_t protocol);
const char* ModulationName(int32_t modulation);

// The modulation a protocol implies (what the main window selects with it);
// 0 for "(Auto)" and for values outside 1..19.
int32_t ImpliedModulation(int32_t protocol);

enum class Recognition {
    Decode,        // go on to the protocol decoder (Modulation is not 0)
    Repeat,        // a repeat code: the analysis ends with true
    NoModulation,  // Modulation stayed 0: the analysis ends with false
};

// Sets Modulation and Protocol to the forced values, then runs the rules;
// the first rule that fits decides, and forced values switch off the rules
// that would decide them.
Recognition RecognizeFrame(CodeFrame& frame, int32_t forcedModulation, int32_t forcedProtocol);

}  // namespace tovanel
