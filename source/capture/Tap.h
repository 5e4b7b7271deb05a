#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

namespace vistrel
{

/** Single-producer/single-consumer ring that carries the newest audio from the audio thread
    to the analysis on the message thread. The writer never waits: a reader that falls more
    than a ring behind loses the oldest samples. */
struct Tap
{
    static constexpr int kCapacity = 32768;

    int capacity = kCapacity;
    int mask = kCapacity - 1;
    std::atomic<uint64_t> writePos { 0 }; // written by the audio thread only (release)
    uint64_t readPos = 0;                 // message thread only

    // [0] mid (the mono sum), [1] left, [2] right
    std::vector<float> ring[3] { std::vector<float> (kCapacity, 0.0f),
                                 std::vector<float> (kCapacity, 0.0f),
                                 std::vector<float> (kCapacity, 0.0f) };
    std::vector<float> scratch[3]; // the reader's copies of the samples drained this tick

    /** Audio thread. Appends the newest min(n, capacity) samples; right may equal left (mono). */
    void write (const float* left, const float* right, int n) noexcept
    {
        const int count = n < capacity ? n : capacity;
        const int skip = n - count;
        const uint64_t w = writePos.load (std::memory_order_relaxed);

        // At most two runs of plain loops (up to the end of the ring, then from its start), which
        // the compiler vectorises; a per-sample mask would not be.
        const auto start = (int) (w & (uint64_t) mask);
        const int first = std::min (count, capacity - start);
        copyRun (left + skip, right + skip, start, first);
        copyRun (left + skip + first, right + skip + first, 0, count - first);

        writePos.store (w + (uint64_t) count, std::memory_order_release);
    }

private:
    void copyRun (const float* __restrict left, const float* __restrict right, int slot, int n) noexcept
    {
        float* __restrict mid = ring[0].data() + slot;
        float* __restrict l = ring[1].data() + slot;
        float* __restrict r = ring[2].data() + slot;

        for (int i = 0; i < n; ++i)
        {
            l[i] = left[i];
            r[i] = right[i];
            mid[i] = (left[i] + right[i]) * 0.5f;
        }
    }
};

} // namespace vistrel
