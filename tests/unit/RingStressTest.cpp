// Two threads, as in a host: one feeds blocks through processBlock, the other drains both
// rings. Runs in every build and, in the ThreadSanitizer build, proves the rings race-free.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "PluginProcessor.h"

namespace
{
constexpr uint64_t kTotalSamples = 3'000'000; // stays exact in float (below 2^24)

TEST (RingStress, BothRingsDeliverInOrderAndDropOnlyWholeBlocks)
{
    VistrelAudioProcessor p;
    p.prepareToPlay (48000.0, 4096);
    p.exportTap.armed.store (true, std::memory_order_release);

    std::atomic<uint64_t> analysisReaderPos { 0 };
    std::atomic<bool> producerDone { false };
    std::vector<std::pair<uint64_t, int>> droppedBlocks; // producer only until joined

    std::thread producer ([&]
    {
        juce::Random random (1234);
        juce::AudioBuffer<float> buffer (2, 4096);
        juce::MidiBuffer midi;
        uint64_t counter = 0;

        while (counter < kTotalSamples)
        {
            const int n = (int) std::min<uint64_t> (1 + (uint64_t) random.nextInt (2048), kTotalSamples - counter);

            // The test (not processBlock) keeps this writer from lapping the analysis reader, so
            // that the reader's checks see stable slots.
            while (counter + (uint64_t) n - analysisReaderPos.load (std::memory_order_acquire) > (uint64_t) p.tap.capacity)
                std::this_thread::yield();

            buffer.setSize (2, n, false, false, true);
            for (int i = 0; i < n; ++i)
            {
                buffer.setSample (0, i, (float) (counter + (uint64_t) i));
                buffer.setSample (1, i, -(float) (counter + (uint64_t) i));
            }

            const auto droppedBefore = p.exportTap.dropped.load();
            p.processBlock (buffer, midi);
            const auto droppedNow = p.exportTap.dropped.load() - droppedBefore;
            if (droppedNow != 0)
            {
                EXPECT_EQ (droppedNow, (uint32_t) n);
                droppedBlocks.emplace_back (counter, n);
            }
            counter += (uint64_t) n;
        }
        producerDone.store (true, std::memory_order_release);
    });

    auto& tap = p.tap;
    auto& ring = p.exportTap;
    const auto exportMask = (uint64_t) (ring.capacity - 1);
    uint64_t expectedExport = 0, receivedExport = 0, analysed = 0;
    std::vector<uint64_t> exportGaps;
    bool ordered = true;
    int pass = 0;
    uint32_t droppedAtLastDrain = 0;

    for (;;)
    {
        const bool finished = producerDone.load (std::memory_order_acquire);

        // Analysis ring: the newest samples, in order, ending at the write position.
        const uint64_t w = tap.writePos.load (std::memory_order_acquire);
        if (w > tap.readPos)
        {
            const uint64_t from = w > (uint64_t) tap.capacity ? std::max (tap.readPos, w - (uint64_t) tap.capacity) : tap.readPos;
            for (uint64_t s = from; s < w; ++s)
            {
                const auto slot = (size_t) (s & (uint64_t) tap.mask);
                ordered &= tap.ring[1][slot] == (float) s && tap.ring[2][slot] == -(float) s && tap.ring[0][slot] == 0.0f;
            }
            analysed += w - from;
            tap.readPos = w;
            analysisReaderPos.store (w, std::memory_order_release);
        }

        // Export ring: every stored frame once, in order; gaps only where blocks were dropped.
        // In alternate stretches the drain waits until the writer has had to drop a block.
        const bool starving = (ring.readPos / 700000) % 2 == 1;
        const auto dropped = ring.dropped.load();
        if (finished || ! starving || dropped != droppedAtLastDrain)
        {
            droppedAtLastDrain = dropped;
            const uint64_t ew = ring.writePos.load (std::memory_order_acquire);
            for (uint64_t f = ring.readPos; f < ew; ++f)
            {
                const float l = ring.left[(size_t) (f & exportMask)];
                const auto value = (uint64_t) l;
                if (value != expectedExport)
                    exportGaps.push_back (expectedExport);
                ordered &= value >= expectedExport && ring.right[(size_t) (f & exportMask)] == -l;
                expectedExport = value + 1;
                ++receivedExport;
            }
            ring.readPos = ew;
            ring.consumerPos.store (ew, std::memory_order_release);
        }

        if (finished && tap.readPos == tap.writePos.load() && ring.readPos == ring.writePos.load())
            break;

        if (++pass % 16 == 0)
            std::this_thread::yield();
    }

    producer.join();

    EXPECT_TRUE (ordered);
    EXPECT_EQ (tap.writePos.load(), kTotalSamples);
    EXPECT_EQ (analysed, kTotalSamples);
    EXPECT_EQ (receivedExport + ring.dropped.load(), kTotalSamples);
    EXPECT_GT (ring.dropped.load(), 0u);
    EXPECT_GT (receivedExport, (uint64_t) ring.capacity);

    // Each gap in the received frames starts exactly at a dropped block.
    uint64_t droppedFrames = 0;
    for (const auto& [start, n] : droppedBlocks)
        droppedFrames += (uint64_t) n;
    EXPECT_EQ (droppedFrames, ring.dropped.load());
    for (const auto gapStart : exportGaps)
        EXPECT_TRUE (std::any_of (droppedBlocks.begin(), droppedBlocks.end(),
                                  [gapStart] (const auto& block) { return block.first == gapStart; }))
            << "gap at " << gapStart;
}

} // namespace
