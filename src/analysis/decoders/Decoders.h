// The protocol decoders. Each takes a classified frame of its protocol (as
// recognised or forced), reads mode, address and command with their layout,
// marks the role of every duration it uses in Flags, and returns false to
// reject the frame. Only the NEC and RCA decoders change Protocol themselves,
// to their second readings NEC (rev) and RCA2.
#pragma once

#include "analysis/CodeFrame.h"

namespace tovanel {

// Complement copies: ComplementDecoders.cpp.
bool DecodeNec(CodeFrame& frame);
bool DecodeSanyo(CodeFrame& frame);
bool DecodeRca(CodeFrame& frame);

// Bi-phase: BiphaseDecoders.cpp.
bool DecodeRc5(CodeFrame& frame);
bool DecodeRc6(CodeFrame& frame);
bool DecodeNokia(CodeFrame& frame);

// Fixed layouts read against a threshold: FixedLayoutDecoders.cpp.
bool DecodeJvc(CodeFrame& frame);
bool DecodeSharp(CodeFrame& frame);
bool DecodeSony(CodeFrame& frame);
bool DecodeRecs80(CodeFrame& frame);
bool DecodeXsat(CodeFrame& frame);
bool DecodeRec80(CodeFrame& frame);
bool DecodeKonka(CodeFrame& frame);
bool DecodeMitsubishi(CodeFrame& frame);
bool DecodeThomson(CodeFrame& frame);

// Spaces read by their class: SymbolDecoders.cpp.
bool DecodeItt(CodeFrame& frame);
bool DecodeRcmm(CodeFrame& frame);

}  // namespace tovanel
