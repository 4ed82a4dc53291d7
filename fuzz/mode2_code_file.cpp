// The code file reader of mode2 captures as code files, on any text (fuzz/CodeFileCheck.h).
#include "fuzz/CodeFileCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tovanel::fuzz::CheckReader(data, size, tovanel::ReadMode2CodeFile);
}
