// The kernel's mode2 words, as a /dev/lirc device delivers them, in any
// order and with any values: frames come out whole, mark first, each
// duration below the interval that ends a frame. A word of all ones stands
// for the reader's idle time-out here.
#include "capture/Mode2.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tovanel::FrameCutter;
    tovanel::Mode2Reader reader([](uint32_t, const int32_t* d, int32_t n, const int16_t*, int32_t) {
        FUZZ_CHECK(n >= 1 && n <= FrameCutter::MaxFrameDurations);
        for (int32_t i = 0; i < n; ++i) FUZZ_CHECK(d[i] >= 0 && d[i] < int32_t{FrameCutter::FrameEndInterval});
    });
    tovanel::fuzz::FuzzInput input(data, size);
    while (input.Left() >= 4) {
        const uint32_t word = input.Take<uint32_t>();
        if (word == 0xFFFFFFFFu)
            reader.IdleTimeout();
        else
            reader.Word(word);
    }
    reader.IdleTimeout();
    return 0;
}
