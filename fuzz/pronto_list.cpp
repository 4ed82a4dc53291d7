// The code file reader of Pronto hex lists, on any text (fuzz/CodeFileCheck.h).
#include "fuzz/CodeFileCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tovanel::fuzz::CheckReader(data, size, tovanel::ReadProntoList);
}
