// The IR carrier that a unit, a file or a sending gets when nothing names
// one: the common one of IR remotes.
#pragma once

#include <cstdint>

namespace tovanel {

inline constexpr int32_t DefaultCarrierHz = 38000;

}  // namespace tovanel
