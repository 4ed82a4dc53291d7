#include "capture/Setup/SmallFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovanel {

namespace {

// Why a file of this kind is not read; empty for a regular file.
std::string KindProblem(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (static_cast<unsigned long long>(st.st_size) > MaxSmallFileBytes) return "larger than 1 MiB";
    return "";
}

}  // namespace

SmallFileResult ReadSmallFile(const std::string& path, std::string& content, std::string& reason) {
    content.clear();
    reason.clear();
    // Looked at before it is opened: opening a FIFO or a device may block
    // or have effects of its own.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        reason = std::strerror(errno);
        return errno == ENOENT || errno == ENOTDIR ? SmallFileResult::Missing : SmallFileResult::Refused;
    }
    if (reason = KindProblem(st); !reason.empty()) return SmallFileResult::Refused;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return errno == ENOENT ? SmallFileResult::Missing : SmallFileResult::Refused;
    }
    // The name may have been pointed elsewhere in between.
    if (::fstat(fd, &st) != 0 || !(reason = KindProblem(st)).empty()) {
        if (reason.empty()) reason = std::strerror(errno);
        ::close(fd);
        return SmallFileResult::Refused;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) reason = std::strerror(errno);
        if (n <= 0) break;
        content.append(buffer, static_cast<size_t>(n));
        if (content.size() > MaxSmallFileBytes) {
            reason = "larger than 1 MiB";  // it grew while being read
            break;
        }
    }
    ::close(fd);
    if (!reason.empty()) {
        content.clear();
        return SmallFileResult::Refused;
    }
    return SmallFileResult::Read;
}

}  // namespace tovanel
