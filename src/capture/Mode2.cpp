#include "capture/Mode2.h"

namespace tovanel {

Mode2Reader::Mode2Reader(FrameSink sink)
    : sink_(std::move(sink)), cutter_([this](uint32_t gap, const int32_t* d, int32_t n) {
          if (sink_) sink_(gap, d, n, nullptr, 0);
      }) {}

void Mode2Reader::Word(uint32_t word) {
    const Mode2Word w = DecodeMode2(word);
    switch (static_cast<Mode2Kind>(w.kind)) {
        case Mode2Kind::Pulse: cutter_.Push(w.value, true); break;
        case Mode2Kind::Space: cutter_.Push(w.value, false); break;
        case Mode2Kind::Timeout: cutter_.IdleTimeout(); break;
        case Mode2Kind::Overflow: cutter_.Reset(); break;
        default: break;
    }
}

}  // namespace tovanel
