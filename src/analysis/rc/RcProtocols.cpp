#include "analysis/rc/RcProtocols.h"

#include <bit>
#include <cstdio>

namespace tovanel {

namespace {

// Masks and carriers as the kernel's remote-control core and its encoders
// state them; variants as ir-keytable accepts them in a keymap.
constexpr RcProtocolInfo Registry[] = {
    {RcProtocol::Rc5, "rc5", "rc5", "rc5", 0x1f7f, 36000},
    {RcProtocol::Rc5x20, "rc5x_20", "rc5", "rc5x_20", 0x1f7f3f, 36000},
    {RcProtocol::Rc5Sz, "rc5_sz", "rc-5-sz", "rc5_sz", 0x2fff, 36000},
    {RcProtocol::Nec, "nec", "nec", "nec", 0xffff, 38000},
    {RcProtocol::Necx, "necx", "nec", "necx", 0xffffff, 38000},
    {RcProtocol::Nec32, "nec32", "nec", "nec32", 0xffffffff, 38000},
    {RcProtocol::Jvc, "jvc", "jvc", "jvc", 0xffff, 38000},
    {RcProtocol::Sony12, "sony12", "sony", "sony12", 0x1f007f, 40000},
    {RcProtocol::Sony15, "sony15", "sony", "sony15", 0xff007f, 40000},
    {RcProtocol::Sony20, "sony20", "sony", "sony20", 0x1fff7f, 40000},
    {RcProtocol::Sanyo, "sanyo", "sanyo", "sanyo", 0x1fffff, 38000},
    {RcProtocol::Sharp, "sharp", "sharp", "sharp", 0x1fff, 38000},
    {RcProtocol::Rc6_0, "rc6_0", "rc6", "rc6_0", 0xffff, 36000},
    {RcProtocol::Rc6_6a_20, "rc6_6a_20", "rc6", "rc6_6a_20", 0xfffff, 36000},
    {RcProtocol::Rc6_6a_24, "rc6_6a_24", "rc6", "rc6_6a_24", 0xffffff, 36000},
    {RcProtocol::Rc6_6a_32, "rc6_6a_32", "rc6", "rc6_6a_32", 0xffffffff, 36000},
    {RcProtocol::Rc6Mce, "rc6_mce", "rc6", "rc6_mce", 0xffff7fff, 36000},
    {RcProtocol::Rcmm12, "rcmm12", "rc-mm", "rc-mm-12", 0x0fff, 36000},
    {RcProtocol::Rcmm24, "rcmm24", "rc-mm", "rc-mm-24", 0xffffff, 36000},
    {RcProtocol::Rcmm32, "rcmm32", "rc-mm", "rc-mm-32", 0xffffffff, 36000},
};

constexpr bool InEnumOrder() {
    for (size_t i = 0; i < std::size(Registry); ++i)
        if (static_cast<size_t>(Registry[i].protocol) != i) return false;
    return true;
}
static_assert(InEnumOrder(), "RcInfo indexes the registry by the enum");

}  // namespace

std::span<const RcProtocolInfo> RcProtocols() { return Registry; }

const RcProtocolInfo& RcInfo(RcProtocol protocol) { return Registry[static_cast<size_t>(protocol)]; }

std::optional<RcProtocol> RcProtocolNamed(std::string_view name) {
    for (const RcProtocolInfo& p : Registry)
        if (name == p.name) return p.protocol;
    return std::nullopt;
}

bool RcScancodeFits(RcProtocol protocol, uint32_t scancode) {
    return (scancode & ~RcInfo(protocol).scancodeMask) == 0;
}

std::string RcScancodeText(RcProtocol protocol, uint32_t scancode) {
    const int digits = (std::bit_width(RcInfo(protocol).scancodeMask) + 3) / 4;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*x", digits, static_cast<unsigned>(scancode));
    return buf;
}

std::string RcReadingText(const std::optional<RcReading>& r) {
    if (!r) return "(none)";
    std::string text = std::string(RcInfo(r->protocol).name) + " " + RcScancodeText(r->protocol, r->scancode);
    if (r->toggle) text += *r->toggle ? ", toggle 1" : ", toggle 0";
    return text;
}

}  // namespace tovanel
