#pragma once

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
        float* mid = ring[0].data();
        float* l = ring[1].data();
        float* r = ring[2].data();

        for (int i = 0; i < count; ++i)
        {
            const auto slot = (size_t) ((w + (uint64_t) i) & (uint64_t) mask);
            const float xl = left[skip + i];
            const float xr = right[skip + i];
            l[slot] = xl;
            r[slot] = xr;
            mid[slot] = (xl + xr) * 0.5f;
        }

        writePos.store (w + (uint64_t) count, std::memory_order_release);
    }
};

} // namespace vistrel
