// The serial path's queue of edge items between the edge thread (the only
// producer) and the frame thread (the only consumer): a lock-free ring of
// 1024 places, of which 1023 can be filled (one stays free to tell full
// from empty). Each index is written only by its owner thread; a push into
// a full ring drops the item.
#pragma once

#include <atomic>
#include <cstdint>

namespace tovanel {

// One line change: bits 0..23 the microseconds since the previous change
// (0xFFFFFF when not measured), bit 24 set when the interval that just
// ended was a mark.
inline constexpr uint32_t EdgeIntervalMask = 0xFFFFFF;
inline constexpr uint32_t EdgeMarkBit = 1u << 24;

class EdgeQueue {
public:
    static constexpr uint32_t Size = 1024;

    // Only while neither thread runs.
    void Clear() {
        read_.store(0, std::memory_order_relaxed);
        write_.store(0, std::memory_order_relaxed);
    }

    // Producer side. False when the ring was full and the item was dropped.
    bool Push(uint32_t item) {
        const uint32_t w = write_.load(std::memory_order_relaxed);
        const uint32_t next = (w + 1) % Size;
        if (next == read_.load(std::memory_order_acquire)) return false;
        items_[w] = item;
        write_.store(next, std::memory_order_release);
        return true;
    }

    // Consumer side. False when empty.
    bool Pop(uint32_t& item) {
        const uint32_t r = read_.load(std::memory_order_relaxed);
        if (r == write_.load(std::memory_order_acquire)) return false;
        item = items_[r];
        read_.store((r + 1) % Size, std::memory_order_release);
        return true;
    }

    bool Empty() const {
        return read_.load(std::memory_order_acquire) == write_.load(std::memory_order_acquire);
    }

private:
    uint32_t items_[Size] = {};
    alignas(64) std::atomic<uint32_t> read_{0};
    alignas(64) std::atomic<uint32_t> write_{0};
};

}  // namespace tovanel
