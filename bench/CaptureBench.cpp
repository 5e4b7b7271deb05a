// Cost of the audio-thread capture per block, beside a plain copy of the same samples.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>

#include "PluginProcessor.h"

namespace
{
juce::AudioBuffer<float> noiseBlock (int n)
{
    juce::AudioBuffer<float> buffer (2, n);
    juce::Random random (42);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < n; ++i)
            buffer.setSample (c, i, random.nextFloat() - 0.5f);
    return buffer;
}

void processBlockBench (benchmark::State& state, bool exportArmed)
{
    const int n = (int) state.range (0);
    VistrelAudioProcessor processor;
    processor.prepareToPlay (48000.0, n);
    auto buffer = noiseBlock (n);
    juce::MidiBuffer midi;
    auto& ring = processor.exportTap;
    ring.armed.store (exportArmed);

    for (auto _ : state)
    {
        processor.processBlock (buffer, midi);

        // Keep the export ring drained so every block is stored, as during a recording.
        if (exportArmed)
        {
            ring.readPos = ring.writePos.load (std::memory_order_acquire);
            ring.consumerPos.store (ring.readPos, std::memory_order_release);
        }
        benchmark::ClobberMemory();
    }

    state.SetItemsProcessed (state.iterations() * n);
    state.counters["ns/sample"] = benchmark::Counter ((double) state.iterations() * n,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ProcessBlock (benchmark::State& state) { processBlockBench (state, false); }
void BM_ProcessBlockExportArmed (benchmark::State& state) { processBlockBench (state, true); }

// The floor: copying the block's two channels once, with nothing else.
void BM_MemcpyBlock (benchmark::State& state)
{
    const int n = (int) state.range (0);
    auto buffer = noiseBlock (n);
    std::vector<float> left ((size_t) n), right ((size_t) n);

    for (auto _ : state)
    {
        std::memcpy (left.data(), buffer.getReadPointer (0), sizeof (float) * (size_t) n);
        std::memcpy (right.data(), buffer.getReadPointer (1), sizeof (float) * (size_t) n);
        benchmark::DoNotOptimize (left.data());
        benchmark::DoNotOptimize (right.data());
        benchmark::ClobberMemory();
    }

    state.SetItemsProcessed (state.iterations() * n);
    state.counters["ns/sample"] = benchmark::Counter ((double) state.iterations() * n,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The same copy into two rings as long as the analysis ring, at an advancing position: the
// memory traffic any capture of the block has to pay, without the mid channel or the bookkeeping.
void BM_MemcpyIntoRing (benchmark::State& state)
{
    const int n = (int) state.range (0);
    auto buffer = noiseBlock (n);
    constexpr size_t ringSize = 32768;
    std::vector<float> left (ringSize), right (ringSize);
    size_t position = 0;

    for (auto _ : state)
    {
        const auto first = std::min ((size_t) n, ringSize - position);
        std::memcpy (left.data() + position, buffer.getReadPointer (0), sizeof (float) * first);
        std::memcpy (right.data() + position, buffer.getReadPointer (1), sizeof (float) * first);
        std::memcpy (left.data(), buffer.getReadPointer (0) + first, sizeof (float) * ((size_t) n - first));
        std::memcpy (right.data(), buffer.getReadPointer (1) + first, sizeof (float) * ((size_t) n - first));
        position = (position + (size_t) n) % ringSize;
        benchmark::DoNotOptimize (left.data());
        benchmark::DoNotOptimize (right.data());
        benchmark::ClobberMemory();
    }

    state.SetItemsProcessed (state.iterations() * n);
    state.counters["ns/sample"] = benchmark::Counter ((double) state.iterations() * n,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK (BM_MemcpyBlock)->RangeMultiplier (2)->Range (32, 4096);
BENCHMARK (BM_MemcpyIntoRing)->RangeMultiplier (2)->Range (32, 4096);
BENCHMARK (BM_ProcessBlock)->RangeMultiplier (2)->Range (32, 4096);
BENCHMARK (BM_ProcessBlockExportArmed)->RangeMultiplier (2)->Range (32, 4096);

} // namespace
