// The USB receivers' answers, any bytes: the decoded durations are positive,
// there are never more than the bytes used, and the lead-in rule leaves a
// frame that begins and ends with a mark.
#include <algorithm>

#include "capture/UsbDecoding.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tovanel;
    // As the polling thread does: at most the first 256 bytes of an answer.
    const auto used = static_cast<int32_t>(std::min<size_t>(size, UsbAnswerBytes));
    for (bool plug2 : {false, true}) {
        int32_t list[UsbMaxDurations];
        const int32_t n = plug2 ? DecodeIgorPlug2(data, used, list) : DecodeIgorPlug(data, used, list);
        FUZZ_CHECK(n >= 0 && n <= used);
        for (int32_t i = 0; i < n; ++i) FUZZ_CHECK(list[i] > 0);
        const int32_t withLeadIn = ApplyLeadIn(list, n);
        FUZZ_CHECK(withLeadIn % 2 == 1 && withLeadIn <= UsbMaxDurations);
        FUZZ_CHECK(withLeadIn == n || (withLeadIn == n + 1 && list[0] == 20000));
    }
    return 0;
}
