// The Linux kernel's remote-control protocols, as its decoders report them:
// the protocol (named as ir-ctl and keymap variants spell it), a 32-bit
// scancode and, where the protocol sends one, the toggle bit. This is a
// second reading of a frame beside the analyser's own layout, so that a
// capture becomes a keymap line and a keymap line becomes frames.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tovanel {

enum class RcProtocol : uint8_t {
    Rc5,
    Rc5x20,
    Rc5Sz,
    Nec,
    Necx,
    Nec32,
    Jvc,
    Sony12,
    Sony15,
    Sony20,
    Sanyo,
    Sharp,
    Rc6_0,
    Rc6_6a_20,
    Rc6_6a_24,
    Rc6_6a_32,
    Rc6Mce,
    Rcmm12,
    Rcmm24,
    Rcmm32,
};

// What the kernel's decoder makes of one key press.
struct RcReading {
    RcProtocol protocol;
    uint32_t scancode;
    std::optional<bool> toggle;  // only where the frame carries a toggle bit

    friend bool operator==(const RcReading&, const RcReading&) = default;
};

struct RcProtocolInfo {
    RcProtocol protocol;
    const char* name;            // "nec", "rc6_mce", ...: ir-ctl's and a keymap's variant
    const char* keymapProtocol;  // the decoder a keymap's `protocol` names: "nec", "rc6", ...
    const char* keymapVariant;   // a keymap's `variant`: the name, but "rc-mm-12" for rcmm12
    uint32_t scancodeMask;       // the scancode bits the protocol carries
    int32_t carrier;             // Hz
};

// The registry, in enum order.
std::span<const RcProtocolInfo> RcProtocols();
const RcProtocolInfo& RcInfo(RcProtocol protocol);

// By the name ir-ctl gives it ("necx", "rc5x_20"); none for another name.
std::optional<RcProtocol> RcProtocolNamed(std::string_view name);

// True when the scancode uses only bits the protocol carries.
bool RcScancodeFits(RcProtocol protocol, uint32_t scancode);

// "0x0408": lower-case hex, as many digits as the protocol's mask has.
std::string RcScancodeText(RcProtocol protocol, uint32_t scancode);

// "nec 0x0408", "rc6_mce 0x800f040c, toggle 1", or "(none)".
std::string RcReadingText(const std::optional<RcReading>& reading);

}  // namespace tovanel
