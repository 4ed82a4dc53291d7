// The mode2 text reader of tovanel-analyze on any text: frames hold
// non-negative durations, each shorter than the interval that ends a frame.
#include <sstream>

#include "capture/FrameCutter.h"
#include "capture/TextInput.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    tovanel::InputHandlers handlers{
        [&](const tovanel::InputFrame& f) {
            FUZZ_CHECK(!f.durations.empty());
            FUZZ_CHECK(f.durations.size() <= size_t{tovanel::FrameCutter::MaxFrameDurations});
            for (size_t i = 0; i < f.durations.size(); ++i) {
                FUZZ_CHECK(f.durations[i] >= 0);
                FUZZ_CHECK(f.durations[i] < int32_t{tovanel::FrameCutter::FrameEndInterval});
            }
        },
        [&](int, const std::string& message) { FUZZ_CHECK(message.size() < 250); }};
    tovanel::ReadMode2Text(in, handlers);
    return 0;
}
