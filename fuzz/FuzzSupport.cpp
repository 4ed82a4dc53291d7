#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "fuzz/FuzzInput.h"

namespace tovanel::fuzz {

void Fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}

std::string ScratchFolder() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path base = ::access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path dir = base / ("tovanel-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(dir, ec);
    // Removed when the process ends.
    static const struct Cleanup {
        fs::path dir;
        ~Cleanup() {
            std::error_code e;
            fs::remove_all(dir, e);
        }
    } cleanup{dir};
    return dir.string();
}

}  // namespace tovanel::fuzz
