#pragma once

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdint>
#include <thread>
#include <vector>

#include <juce_core/juce_core.h>

/** Single-producer/single-consumer ring that carries a recording's audio from the audio thread
    to the WAV writer. Unlike the analysis ring it never overwrites undrained frames: a block
    that does not fit is dropped whole and counted, so a recording has gaps only where the
    drain fell a whole ring behind. */
struct ExportAudioTap
{
    static constexpr int kCapacity = 524288;

    int capacity = 0; // 0 until prepared
    std::atomic<uint64_t> writePos { 0 };    // audio thread while armed; recorder resets while disarmed
    std::atomic<uint64_t> consumerPos { 0 }; // published by the drain for the writer's free-space test
    uint64_t readPos = 0;                    // the drain's own cursor
    std::vector<float> left, right;
    std::atomic<uint32_t> dropped { 0 };
    std::atomic<bool> armed { false };
    std::atomic<uint64_t> firstBlockTicks { 0 }; // tick counter at the first armed block; 0 = none yet
    std::atomic<int> writersInside { 0 };        // blocks being stored right now (0 or 1)

    /** Message thread, once, before any block can arrive. */
    void prepare (int newCapacity)
    {
        left.assign ((size_t) newCapacity, 0.0f);
        right.assign ((size_t) newCapacity, 0.0f);
        writePos.store (0);
        consumerPos.store (0);
        readPos = 0;
        dropped.store (0);
        capacity = newCapacity;
    }

    /** Audio thread: stores one block, or drops it whole when the ring has no room. */
    void write (const float* l, const float* r, int n) noexcept
    {
        if (! armed.load (std::memory_order_acquire))
            return;

        // Announce the block before looking at `armed` again, so that disarm() either sees it
        // coming or this block sees the disarm: a late block can never land in a ring that the
        // recorder has already reset for the next recording.
        writersInside.fetch_add (1, std::memory_order_seq_cst);

        if (armed.load (std::memory_order_seq_cst))
            store (l, r, n);

        writersInside.fetch_sub (1, std::memory_order_release);
    }

    /** Message thread: stops capture and returns once no block is being stored any more, so the
        ring's positions are the recorder's from here on. Waits at most for one block's copy. */
    void disarm() noexcept
    {
        armed.store (false, std::memory_order_seq_cst);

        while (writersInside.load (std::memory_order_seq_cst) != 0)
            std::this_thread::yield();
    }

private:
    void store (const float* l, const float* r, int n) noexcept
    {
        // Stamped before the room test, so a first block that is dropped still marks the start.
        if (firstBlockTicks.load (std::memory_order_relaxed) == 0)
            firstBlockTicks.store ((uint64_t) juce::Time::getHighResolutionTicks(), std::memory_order_relaxed);

        if (capacity == 0)
            return;

        const uint64_t w = writePos.load (std::memory_order_relaxed);
        const auto used = (int32_t) (w - consumerPos.load (std::memory_order_acquire));

        if ((int64_t) used + n > capacity)
        {
            dropped.fetch_add ((uint32_t) n, std::memory_order_relaxed);
            return;
        }

        // At most two plain copies: up to the end of the ring, then from its start.
        const auto start = (size_t) (w & (uint64_t) (capacity - 1));
        const auto first = std::min ((size_t) n, (size_t) capacity - start);
        const auto rest = (size_t) n - first;
        std::memcpy (left.data() + start, l, first * sizeof (float));
        std::memcpy (right.data() + start, r, first * sizeof (float));
        std::memcpy (left.data(), l + first, rest * sizeof (float));
        std::memcpy (right.data(), r + first, rest * sizeof (float));

        writePos.store (w + (uint64_t) n, std::memory_order_release);
    }
};
