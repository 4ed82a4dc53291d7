// The code file reader of lircd.conf remotes, every code encoded as LIRC sends it, on any text (fuzz/CodeFileCheck.h).
#include "fuzz/CodeFileCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tovanel::fuzz::CheckReader(data, size, tovanel::ReadLircdConf);
}
