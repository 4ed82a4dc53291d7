// Structured values taken from a fuzzer's bytes, front to back. Once the
// bytes run out every value is 0 and every text empty, so any input is a
// complete case.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

// A property that does not hold is a finding: abort, so the fuzzer keeps
// the input and the replay test fails on it.
#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) tovanel::fuzz::Fail(#condition, __FILE__, __LINE__);            \
    } while (false)

namespace tovanel::fuzz {

[[noreturn]] void Fail(const char* condition, const char* file, int line);

// A folder of this process's own for files a target writes, in memory
// (/dev/shm) where there is one: a target runs thousands of times a second.
std::string ScratchFolder();

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    template <typename T>
    T Take() {
        static_assert(std::is_integral_v<T>);
        T value{};
        const size_t n = std::min(sizeof(T), size_ - at_);
        std::memcpy(&value, data_ + at_, n);  // little end first, the rest 0
        at_ += n;
        return value;
    }
    bool TakeBool() { return Take<uint8_t>() & 1; }
    // lo..hi, spread evenly.
    int32_t TakeInRange(int32_t lo, int32_t hi) {
        const uint64_t span = uint64_t(int64_t(hi) - lo) + 1;
        return static_cast<int32_t>(lo + static_cast<int64_t>(Take<uint32_t>() % span));
    }
    // A text of at most `maxLength` bytes, its length in one byte first.
    std::string TakeString(size_t maxLength) {
        const size_t n = std::min<size_t>({Take<uint8_t>(), maxLength, size_ - at_});
        std::string s(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return s;
    }
    std::string Rest() {
        std::string s(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
        at_ = size_;
        return s;
    }
    size_t Left() const { return size_ - at_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace tovanel::fuzz
