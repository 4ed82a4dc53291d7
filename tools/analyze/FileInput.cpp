#include "tools/analyze/FileInput.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tovanel {

FdInputBuf::FdInputBuf(int fd, bool owned) : fd_(fd), owned_(owned), buffer_(new char[BufferSize]) {
    setg(buffer_.get(), buffer_.get(), buffer_.get());
}

FdInputBuf::~FdInputBuf() {
    if (owned_ && fd_ >= 0) ::close(fd_);
}

std::unique_ptr<FdInputBuf> FdInputBuf::Open(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    error = 0;
    return std::make_unique<FdInputBuf>(fd, true);
}

FdInputBuf::int_type FdInputBuf::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (error_ != 0) return traits_type::eof();
    if (idle_) {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, 0) == 0) idle_();
    }
    ssize_t n;
    do {
        n = ::read(fd_, buffer_.get(), BufferSize);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        error_ = errno;
        return traits_type::eof();
    }
    if (n == 0) return traits_type::eof();
    setg(buffer_.get(), buffer_.get(), buffer_.get() + n);
    return traits_type::to_int_type(*gptr());
}

std::string ReadFailure(const std::istream& in) {
    if (const auto* fd = dynamic_cast<const FdInputBuf*>(in.rdbuf()); fd != nullptr && fd->Error() != 0)
        return std::strerror(fd->Error());
    return in.bad() ? "read error" : "";
}

}  // namespace tovanel
