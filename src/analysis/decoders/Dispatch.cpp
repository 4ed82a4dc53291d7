#include "analysis/decoders/Dispatch.h"

#include "analysis/Generic.h"
#include "analysis/Recognition.h"
#include "analysis/decoders/Decoders.h"

namespace tovanel {

namespace {

// The registry: a protocol without an entry falls to the generic extraction.
// RCA2 and NEC (rev) never get one; they only arise as second readings
// inside the RCA and NEC decoders, and a forced 15 or 16 reads generically.
struct Registration {
    int32_t protocol;
    Decoder decode;
};

constexpr Registration Registry[] = {
    {Protocol::Itt, DecodeItt},
    {Protocol::Jvc, DecodeJvc},
    {Protocol::Nec, DecodeNec},
    {Protocol::Nokia, DecodeNokia},
    {Protocol::Sharp, DecodeSharp},
    {Protocol::Sony, DecodeSony},
    {Protocol::Rc5, DecodeRc5},
    {Protocol::Rc6, DecodeRc6},
    {Protocol::Rcmm, DecodeRcmm},
    {Protocol::Recs80, DecodeRecs80},
    {Protocol::Xsat, DecodeXsat},
    {Protocol::Sanyo, DecodeSanyo},
    {Protocol::Rec80, DecodeRec80},
    {Protocol::Rca, DecodeRca},
    {Protocol::Konka, DecodeKonka},
    {Protocol::Mitsubishi, DecodeMitsubishi},
    {Protocol::Thomson, DecodeThomson},
};

}  // namespace

Decoder DecoderFor(int32_t protocol) {
    for (const Registration& r : Registry)
        if (r.protocol == protocol) return r.decode;
    return nullptr;
}

bool DecodeProtocol(CodeFrame& f, const DecodeSettings& layout) {
    const Decoder decode = DecoderFor(f.Protocol);
    if (decode == nullptr) return DecodeGeneric(f, layout);
    if (decode(f)) return true;
    f.Protocol = -1;
    return false;
}

}  // namespace tovanel
