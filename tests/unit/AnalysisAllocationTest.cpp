// Counts heap allocations made on this thread while a flag is up, by replacing the global
// allocation functions for the whole test binary (they simply forward to malloc/free).

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "AnalysisTestRig.h"

namespace
{
thread_local bool countingAllocations = false;
thread_local long allocationCount = 0;

void* countedAllocate (std::size_t size)
{
    if (countingAllocations)
        ++allocationCount;

    if (void* p = std::malloc (size == 0 ? 1 : size))
        return p;

    throw std::bad_alloc();
}
} // namespace

void* operator new (std::size_t size) { return countedAllocate (size); }
void* operator new[] (std::size_t size) { return countedAllocate (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return countedAllocate (size); } catch (...) { return nullptr; }
}
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return countedAllocate (size); } catch (...) { return nullptr; }
}
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }

namespace vistrel::test
{
namespace
{

struct AllocationCounter
{
    AllocationCounter() { allocationCount = 0; countingAllocations = true; }
    ~AllocationCounter() { countingAllocations = false; }
    long count() const { return allocationCount; }
};

TEST (AnalysisAllocation, SteadyTicksAllocateNothingAndTheFrameOnlyItsText)
{
    AnalysisRig rig;
    SineSource tone { 180.0, 0.3 };
    NoiseSource hats (0.2f);
    uint64_t position = 0;

    const auto nextBlock = [&]
    {
        auto block = tone.next (384);
        const auto noise = hats.next (384);

        // Bursts every half second so that onsets, hits and the tempo tracker all do real work.
        for (size_t i = 0; i < block.size(); ++i, ++position)
            if (position % 24000 < 600)
                block[i] += noise[i];

        return block;
    };

    // Warm up: the scratch vectors reach their size and the gate opens.
    for (int i = 0; i < 100; ++i)
    {
        rig.write (nextBlock());
        rig.tick (0.008);
    }

    ASSERT_TRUE (rig.a().audible);
    const auto analysesBefore = rig.a().lastAnalysisBin;
    const auto blocks = [&]
    {
        std::vector<std::vector<float>> b;

        for (int i = 0; i < 400; ++i)
            b.push_back (nextBlock());

        return b;
    }();

    {
        AllocationCounter counter;

        for (const auto& block : blocks)
        {
            rig.write (block);
            rig.tick (0.008);
        }

        EXPECT_EQ (counter.count(), 0);
    }

    EXPECT_GT (rig.a().lastAnalysisBin, analysesBefore); // the tempo analysis ran in between

    {
        AllocationCounter counter;
        const auto frame = rig.a().formatFrame ({ true, 60, 100, 1 });
        EXPECT_EQ (counter.count(), 1);
        EXPECT_GT (frame.length(), 1500);
    }
}

TEST (AnalysisAllocation, ScratchGrowsOnlyForALargerBacklogThanEverBefore)
{
    AnalysisRig rig;
    NoiseSource noise (0.1f);
    rig.write (noise.next (1000));
    rig.tick();

    const auto smaller = noise.next (600);
    const auto larger = noise.next (5000);

    {
        AllocationCounter counter;
        rig.write (smaller);
        rig.tick();
        EXPECT_EQ (counter.count(), 0);
    }

    {
        AllocationCounter counter;
        rig.write (larger);
        rig.tick();
        EXPECT_GT (counter.count(), 0);
    }
}

} // namespace
} // namespace vistrel::test
