// The durations reader of tovanel-analyze on any text: every frame it hands
// on holds whole, non-negative durations, and lines never go back (one
// ir-ctl recording line may hold several frames, cut at long spaces).
#include <sstream>

#include "capture/TextInput.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    int lastLine = 0;
    tovanel::InputHandlers handlers{
        [&](const tovanel::InputFrame& f) {
            FUZZ_CHECK(!f.durations.empty());
            FUZZ_CHECK(f.line >= lastLine && f.line > 0);
            lastLine = f.line;
            for (int32_t d : f.durations) FUZZ_CHECK(d >= 0);
        },
        [&](int line, const std::string& message) {
            FUZZ_CHECK(line >= lastLine && line > 0);
            lastLine = line;
            FUZZ_CHECK(message.size() < 250);  // a token is quoted shortened
        }};
    tovanel::ReadDurationsText(in, handlers);
    return 0;
}
