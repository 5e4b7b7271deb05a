#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "AnalysisTestRig.h"

namespace vistrel::test
{
namespace
{

std::vector<float> ramp (int n, float start)
{
    std::vector<float> v ((size_t) n);
    std::iota (v.begin(), v.end(), start);
    return v;
}

TEST (AnalysisIntake, ABacklogLongerThanTheRingKeepsOnlyTheNewestSamples)
{
    AnalysisRig rig;
    const auto left = ramp (40000, 0.0f);
    const auto right = scaled (left, -1.0f);

    // Two blocks, so the ring itself wraps and the reader is 40000 samples behind.
    rig.tap->write (left.data(), right.data(), 20000);
    rig.tap->write (left.data() + 20000, right.data() + 20000, 20000);
    rig.a().drain (*rig.tap);

    const auto& tap = *rig.tap;
    EXPECT_EQ (tap.readPos, tap.writePos.load());
    ASSERT_EQ (tap.scratch[1].size(), 32768u);
    EXPECT_EQ (tap.scratch[1].front(), 7232.0f);
    EXPECT_EQ (tap.scratch[1].back(), 39999.0f);
    EXPECT_EQ (tap.scratch[2].front(), -7232.0f);
    EXPECT_EQ (tap.scratch[0].front(), 0.0f);

    const auto& a = rig.a();
    EXPECT_EQ (a.historyLeft.front(), 40000.0f - 2048.0f);
    EXPECT_EQ (a.historyLeft.back(), 39999.0f);
    EXPECT_EQ (a.historyRight.back(), -39999.0f);
    EXPECT_EQ (a.kickFill, 2048);
}

TEST (AnalysisIntake, SmallBlocksShiftTheHistories)
{
    AnalysisRig rig;
    auto& a = rig.a();

    rig.write (ramp (100, 1.0f));
    a.drain (*rig.tap);
    EXPECT_EQ (a.historyMono[2047 - 100], 0.0f);
    EXPECT_EQ (a.historyMono[2047 - 99], 1.0f);
    EXPECT_EQ (a.historyMono[2047], 100.0f);

    rig.write (ramp (50, 101.0f));
    a.drain (*rig.tap);
    EXPECT_EQ (a.historyMono[2047 - 150], 0.0f);
    EXPECT_EQ (a.historyMono[2047 - 149], 1.0f);
    EXPECT_EQ (a.historyMono[2047], 150.0f);
    EXPECT_EQ (a.historyLeft[2047], 150.0f);
    EXPECT_EQ (a.historyRight[2047], 150.0f);
    EXPECT_EQ (a.kickFill, 150);
}

TEST (AnalysisIntake, MonoIsTheMeanOfLeftAndRight)
{
    AnalysisRig rig;
    rig.write ({ 1.0f, 0.5f, -0.25f }, { -1.0f, 0.5f, 0.75f });
    rig.a().drain (*rig.tap);

    EXPECT_EQ (rig.a().historyMono[2045], 0.0f);
    EXPECT_EQ (rig.a().historyMono[2046], 0.5f);
    EXPECT_EQ (rig.a().historyMono[2047], 0.25f);
}

TEST (AnalysisIntake, KickFilterRunsAcrossBlockBoundaries)
{
    NoiseSource noise (0.5f);
    const auto signal = noise.next (3000);

    AnalysisRig whole;
    whole.write (signal);
    whole.a().drain (*whole.tap);

    AnalysisRig pieces;

    for (int start = 0; start < 3000; start += 700)
    {
        const auto end = std::min (3000, start + 700);
        pieces.write (std::vector<float> (signal.begin() + start, signal.begin() + end));
        pieces.a().drain (*pieces.tap);
    }

    EXPECT_EQ (std::memcmp (whole.a().historyKick.data(), pieces.a().historyKick.data(), 2048 * sizeof (float)), 0);
    EXPECT_NE (whole.a().historyKick[2047], 0.0f);
}

TEST (AnalysisIntake, ATickWithoutNewSamplesLeavesTheHistoriesAsTheyWere)
{
    AnalysisRig rig;
    auto& a = rig.a();
    rig.write (NoiseSource (0.3f).next (kTickSamples));
    rig.tick();
    ASSERT_EQ (a.kickFill, 0);

    const auto mono = a.historyMono, left = a.historyLeft, right = a.historyRight, kick = a.historyKick;
    const auto filterState = a.kickFilterState;
    const float spectrumBefore = a.spectrum[30];

    rig.tick();

    EXPECT_EQ (std::memcmp (mono.data(), a.historyMono.data(), 2048 * sizeof (float)), 0);
    EXPECT_EQ (std::memcmp (left.data(), a.historyLeft.data(), 2048 * sizeof (float)), 0);
    EXPECT_EQ (std::memcmp (right.data(), a.historyRight.data(), 2048 * sizeof (float)), 0);
    EXPECT_EQ (std::memcmp (kick.data(), a.historyKick.data(), 2048 * sizeof (float)), 0);
    EXPECT_EQ (a.kickFilterState.y1, filterState.y1);
    EXPECT_EQ (a.kickFill, 0);

    // The features were recomputed from the same audio: the smoothed spectrum moved on.
    EXPECT_NE (a.spectrum[30], spectrumBefore);
}

TEST (AnalysisIntake, ReadPositionIsNotRewoundByReset)
{
    AnalysisRig rig;
    rig.write (ramp (10, 1.0f));
    rig.a().reset();
    rig.a().drain (*rig.tap);

    EXPECT_EQ (rig.a().historyMono[2047], 10.0f);
}

} // namespace
} // namespace vistrel::test
