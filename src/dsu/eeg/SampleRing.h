#pragma once
// A lock-free queue of fixed capacity between one writer thread and one reader thread: the
// writer never waits (a full ring drops the new item and counts it), the reader never waits,
// and neither allocates.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace solvane::dsusim {

template <typename Item, std::size_t Capacity> class SampleRing {
    static_assert((Capacity & (Capacity - 1)) == 0, "Capacity must be a power of two");

public:
    /// Writer side; false when the ring is full (the item is dropped).
    bool push(const Item& item) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == Capacity) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        items_[tail & (Capacity - 1)] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }
    /// Reader side; false when nothing is waiting.
    bool pop(Item& item) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            return false;
        item = items_[head & (Capacity - 1)];
        head_.store(head + 1, std::memory_order_release);
        return true;
    }
    /// Items dropped because the reader fell a whole ring behind.
    [[nodiscard]] uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    std::array<Item, Capacity> items_{};
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
    std::atomic<uint64_t> dropped_{0};
};

} // namespace solvane::dsusim
