// Input files and standard input read through read(2). A failed read (a
// folder, a device that refuses, an I/O error) ends the stream like the end
// of the file does, but is kept with the system's reason, so the tool can
// tell the two apart and say why it could not read.
#pragma once

#include <functional>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>

namespace tovanel {

class FdInputBuf final : public std::streambuf {
public:
    // Reads `fd`; closes it at the end when `owned`.
    FdInputBuf(int fd, bool owned);
    ~FdInputBuf() override;
    FdInputBuf(const FdInputBuf&) = delete;
    FdInputBuf& operator=(const FdInputBuf&) = delete;

    // Opens `path` for reading; null with `error` set to errno when it
    // cannot be opened.
    static std::unique_ptr<FdInputBuf> Open(const std::string& path, int& error);

    // errno of the read that failed; 0 while none did.
    int Error() const { return error_; }

    // Called before a read that would wait, when nothing more is ready
    // (an empty pipe or terminal): the moment to show what was made of the
    // input so far.
    void SetIdle(std::function<void()> idle) { idle_ = std::move(idle); }

protected:
    int_type underflow() override;

private:
    static constexpr size_t BufferSize = 1 << 16;
    int fd_;
    bool owned_;
    int error_ = 0;
    std::unique_ptr<char[]> buffer_;
    std::function<void()> idle_;
};

// Why reading `in` failed: the system's reason for a stream over an
// FdInputBuf, a plain "read error" for another stream that went bad, and
// the empty text when nothing failed.
std::string ReadFailure(const std::istream& in);

}  // namespace tovanel
