#include "capture/Setup/AppPaths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace tovanel {

namespace fs = std::filesystem;

std::string ExecutableDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return fs::current_path(ec).string();
    return exe.parent_path().string();
}

std::string MainExecutablePath() { return (fs::path(ExecutableDir()) / "tovanel").string(); }

std::string MainPathWithExtension(const std::string& extension) {
    return MainExecutablePath() + extension;
}

std::string SettingsFilePath() {
    if (const char* env = std::getenv("TOVANEL_INI"); env != nullptr && *env != '\0') return env;
    const std::string dir = ExecutableDir();
    if (::access(dir.c_str(), W_OK) == 0) return MainPathWithExtension(".ini");
    // An installed program's folder is read-only: keep the settings per user.
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/')
        config = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        config = std::string(home) + "/.config";
    else
        config = "/tmp";
    return config + "/tovanel/tovanel.ini";
}

}  // namespace tovanel
