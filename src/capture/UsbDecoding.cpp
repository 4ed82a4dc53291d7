#include "capture/UsbDecoding.h"

#include <cstring>

#include "capture/FrameAssembler.h"

namespace tovanel {

int32_t DecodeIgorPlug(const uint8_t* bytes, int32_t count, int32_t* out) {
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i)
        if (bytes[i] > 0) out[n++] = int32_t{bytes[i]} * 8533 / 100;
    return n;
}

int32_t DecodeIgorPlug2(const uint8_t* bytes, int32_t count, int32_t* out) {
    if (count >= 2 && bytes[0] == 255 && bytes[1] == 255) return 0;
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t b = bytes[i];
        if (b == 0) continue;
        if (b <= 248) {
            out[n++] = b * 2133 / 100;
            continue;
        }
        const int32_t high = (b - 248) * 248;
        if (i + 1 < count && bytes[i + 1] <= 248) {
            out[n++] = (high + bytes[i + 1]) * 2133 / 100;
            ++i;
        } else {
            out[n++] = high * 2133 / 100;  // a next long byte is decoded on its own
        }
    }
    return n;
}

int32_t ApplyLeadIn(int32_t* list, int32_t count) {
    if (count % 2 != 0) return count;
    std::memmove(list + 1, list, sizeof(int32_t) * static_cast<size_t>(count));
    list[0] = LeadInMark;
    return count + 1;
}

std::string UsbStatusText(int32_t status) {
    switch (status) {
        case 0: return "OK";
        case 1: return "no device";
        case 2: return "no data";
        default: return "unknown";
    }
}

}  // namespace tovanel
