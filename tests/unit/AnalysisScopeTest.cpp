#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "AnalysisTestRig.h"

namespace vistrel::test
{
namespace
{

struct ConstantCase
{
    float level;
    uint8_t expected;
};

class ScopeConstantTest : public ::testing::TestWithParam<ConstantCase> {};

TEST_P (ScopeConstantTest, ConstantInputDrawsFlatRows)
{
    const auto c = GetParam();
    AnalysisRig rig;
    rig.write (std::vector<float> (4096, c.level));
    rig.tick();

    // Small offsets stay below the gate, so the scope gain is still 1; large ones clip anyway.
    if (std::abs (c.level) < 0.1f)
    {
        ASSERT_FALSE (rig.a().audible);
    }

    for (int row = 1; row < 4; ++row)
        for (int u = 0; u < 256; ++u)
            ASSERT_EQ (rig.a().rows[row][u], c.expected) << "row " << row << " point " << u;
}

INSTANTIATE_TEST_SUITE_P (Levels, ScopeConstantTest,
                          ::testing::Values (ConstantCase { 0.0f, 128 },
                                             ConstantCase { 0.01f, 129 },    // trunc(1.4 + 128)
                                             ConstantCase { -0.01f, 126 },   // trunc(-1.4 + 128)
                                             ConstantCase { 0.95f, 255 },    // 133 + 128 clips
                                             ConstantCase { -0.95f, 0 }));

/** Row 1 after each of several ticks of a steady sine. */
std::vector<std::array<uint8_t, 256>> steadySineRows (double hz, int ticks)
{
    AnalysisRig rig;
    SineSource sine { hz, 0.1 };
    std::vector<std::array<uint8_t, 256>> out;

    for (int t = 0; t < ticks; ++t)
    {
        rig.write (sine.next (kTickSamples));
        rig.tick();

        if (t >= 10)
        {
            EXPECT_TRUE (rig.a().audible);
            std::array<uint8_t, 256> row {};
            std::copy (std::begin (rig.a().rows[1]), std::end (rig.a().rows[1]), row.begin());
            out.push_back (row);
        }
    }

    return out;
}

TEST (AnalysisScope, SteadySineStandsStillOnScreen)
{
    // 440 Hz does not divide the 800-sample tick: untriggered, the picture would move by
    // a third of a period every tick.
    const auto rows = steadySineRows (440.0, 40);

    for (size_t t = 1; t < rows.size(); ++t)
    {
        int worst = 0;

        for (size_t u = 0; u < 256; ++u)
            worst = std::max (worst, std::abs ((int) rows[t][u] - (int) rows[t - 1][u]));

        // One sample of jitter at the steepest slope: 0.1 * 2 pi * 440 / 48000 * 140 * gain.
        EXPECT_LE (worst, 6) << "tick " << t;
    }

    // Drawn from a rising crossing: starts near the middle and goes up.
    EXPECT_GT (rows.back()[0], 128);
    EXPECT_LT (rows.back()[0], 150);
    EXPECT_GT (rows.back()[2], rows.back()[0]);
}

TEST (AnalysisScope, TheLastRisingCrossingSetsTheStart)
{
    // Low, then a pulse high from 600 to 800, low again, and high from 1000 to the end: both
    // rising edges lie in the search window. Only the later one draws a row that stays high.
    std::vector<float> history (2048, -0.3f);
    std::fill (history.begin() + 600, history.begin() + 800, 0.3f);
    std::fill (history.begin() + 1000, history.end(), 0.3f);

    AnalysisRig rig;
    rig.write (history);
    rig.tick();
    ASSERT_TRUE (rig.a().audible);

    const auto& row = rig.a().rows[1];
    EXPECT_GE (row[0], 128);
    EXPECT_LT (row[0], 200);

    for (int u = 2; u < 256; ++u)
        ASSERT_GT (row[u], 150) << u;
}

struct WidthCase
{
    const char* name;
    float rightGain;     // right = gain * left, unless uncorrelated
    bool uncorrelated;
    float expected;
    float tolerance;
};

class StereoWidthTest : public ::testing::TestWithParam<WidthCase> {};

TEST_P (StereoWidthTest, WidthComesFromTheCorrelationOfTheChannels)
{
    const auto c = GetParam();
    AnalysisRig rig;
    rig.a().stereo = 0.5f;
    NoiseSource left (0.3f, 1), other (0.3f, 2);

    for (int t = 0; t < 200; ++t)
    {
        const auto l = left.next (kTickSamples);
        const auto r = c.uncorrelated ? other.next (kTickSamples) : scaled (l, c.rightGain);
        rig.write (l, r);
        rig.tick();
    }

    ASSERT_TRUE (rig.a().audible);
    EXPECT_NEAR (rig.a().stereo, c.expected, c.tolerance) << c.name;
}

INSTANTIATE_TEST_SUITE_P (Channels, StereoWidthTest,
                          ::testing::Values (WidthCase { "identical", 1.0f, false, 0.0f, 1.0e-3f },
                                             WidthCase { "opposite", -0.5f, false, 1.0f, 1.0e-3f },
                                             WidthCase { "uncorrelated", 0.0f, true, 0.7f, 0.08f }));

TEST (AnalysisScope, StereoWidthHoldsWhileSilent)
{
    AnalysisRig rig;
    rig.a().stereo = 0.42f;
    rig.tick();

    EXPECT_EQ (rig.a().stereo, 0.42f);
}

TEST (AnalysisScope, IdleRisesOnlyAfterASecondOfSilence)
{
    AnalysisRig rig;
    auto& a = rig.a();
    rig.tick (1.0 / 60.0);

    EXPECT_DOUBLE_EQ (a.silenceSince, 1.0 / 60.0);
    EXPECT_NEAR (a.idle, 0.95f, 1.0e-6f);

    // Target 0 until 1.2 s of silence: idle keeps falling.
    for (int i = 1; i < 70; ++i)
        rig.tick (1.0 / 60.0);

    EXPECT_LT (a.idle, 0.05f);

    // By 2.4 s the target is 1 and idle climbs back.
    for (int i = 0; i < 300; ++i)
        rig.tick (1.0 / 60.0);

    EXPECT_GT (a.idle, 0.99f);
    EXPECT_DOUBLE_EQ (a.silenceSince, 1.0 / 60.0);
}

TEST (AnalysisScope, SoundClearsTheSilenceClock)
{
    AnalysisRig rig;
    SineSource sine { 220.0, 0.5 };

    for (int i = 0; i < 60; ++i)
    {
        rig.write (sine.next (kTickSamples));
        rig.tick();
    }

    EXPECT_EQ (rig.a().silenceSince, 0.0);
    EXPECT_LT (rig.a().idle, 0.1f);
}

} // namespace
} // namespace vistrel::test
