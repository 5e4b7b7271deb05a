#include <gtest/gtest.h>

#include <cmath>

#include "AnalysisTestRig.h"

namespace vistrel::test
{
namespace
{

double windowLufs (const Analysis& a)
{
    return 10.0 * std::log10 (a.loudMeanPower + 1.0e-20) - 0.691;
}

struct WindowCase
{
    double tick;
    int expectedEntries;
};

class LoudnessWindowTest : public ::testing::TestWithParam<WindowCase> {};

TEST_P (LoudnessWindowTest, KeepsTheShortestRunOfTicksSpanningTheWindow)
{
    const auto c = GetParam();
    AnalysisRig rig;

    for (int i = 0; i < 400; ++i)
        rig.tick (c.tick);

    EXPECT_EQ (rig.a().loudCount, c.expectedEntries);
    EXPECT_NEAR (rig.a().loudSpanSum, c.tick * c.expectedEntries, 1.0e-9);
}

INSTANTIATE_TEST_SUITE_P (TickLengths, LoudnessWindowTest,
                          ::testing::Values (WindowCase { 0.03, 14 },    // 0.42 s
                                             WindowCase { 0.001, 160 },  // capped: 0.16 s
                                             WindowCase { 0.25, 2 },
                                             WindowCase { 0.07, 6 }));

struct GateCase
{
    bool openBefore;
    double lufs;
    bool openAfter;
};

class LoudnessGateTest : public ::testing::TestWithParam<GateCase> {};

TEST_P (LoudnessGateTest, OpensAboveMinus52AndClosesBelowMinus60)
{
    const auto c = GetParam();
    AnalysisRig rig;
    auto& a = rig.a();

    // One long entry of the wanted loudness; the silent tick appended to it moves the mean
    // by less than 1e-4 dB.
    const double power = std::pow (10.0, (c.lufs + 0.691) / 10.0);
    a.loudPower[0] = power;
    a.loudSpan[0] = 1000.0;
    a.loudHead = 0;
    a.loudCount = 1;
    a.loudPowerSum = power * 1000.0;
    a.loudSpanSum = 1000.0;
    a.audible = c.openBefore;

    rig.tick();

    ASSERT_NEAR (windowLufs (a), c.lufs, 1.0e-3);
    EXPECT_EQ (a.audible, c.openAfter);
}

INSTANTIATE_TEST_SUITE_P (Hysteresis, LoudnessGateTest,
                          ::testing::Values (GateCase { false, -55.0, false },
                                             GateCase { true, -55.0, true },
                                             GateCase { false, -51.0, true },
                                             GateCase { true, -61.0, false },
                                             GateCase { false, -52.5, false },
                                             GateCase { true, -59.5, true }));

TEST (AnalysisLevels, FullScale997HzSineReadsItsMomentaryLoudness)
{
    AnalysisRig rig;
    SineSource sine { 997.0, 1.0 };

    for (int i = 0; i < 90; ++i)
    {
        rig.write (sine.next (kTickSamples));
        rig.tick();
    }

    EXPECT_NEAR (windowLufs (rig.a()), -3.27, 0.03);
    EXPECT_NEAR (rig.a().loud, 0.946f, 0.001f);
    EXPECT_TRUE (rig.a().audible);

    // rms target: min(1, 2.2 * 0.7071 * gain) = 1; peak target min(1, 1.5 * 1 * gain) = 1.
    EXPECT_NEAR (rig.a().rms, 1.0f, 1.0e-3f);
    EXPECT_NEAR (rig.a().peak, 1.0f, 1.0e-3f);
}

TEST (AnalysisLevels, SilenceGivesZeroLoudnessAndAClosedGate)
{
    AnalysisRig rig;
    SineSource sine { 997.0, 0.5 };

    for (int i = 0; i < 30; ++i)
    {
        rig.write (sine.next (kTickSamples));
        rig.tick();
    }

    ASSERT_TRUE (rig.a().audible);

    for (int i = 0; i < 60; ++i)
    {
        rig.write (std::vector<float> (kTickSamples, 0.0f));
        rig.tick();
    }

    EXPECT_FALSE (rig.a().audible);
    EXPECT_EQ (rig.a().loud, 0.0f);
    EXPECT_GE (rig.a().loudMeanPower, 0.0);
    EXPECT_FALSE (std::isnan (windowLufs (rig.a())));
}

TEST (AnalysisLevels, SpectrumRowFallsWithPointSevenEightPerSixtiethOfASecond)
{
    AnalysisRig rig;
    auto& a = rig.a();

    for (auto& v : a.rows[0])
        v = 200;

    rig.tick (1.0 / 60.0);

    for (const auto v : a.rows[0])
        ASSERT_EQ (v, 155);
}

TEST (AnalysisLevels, FullLevelBandsRiseAtOnceAndSaturateTheBandEnvelopes)
{
    AnalysisRig rig;
    auto& a = rig.a();
    rig.params.wBass = 2.0f;
    rig.params.attackSeconds = 0.0f;

    // The smoothed spectrum then reads 1.0 (0 dB) in every bin: every level byte is 255.
    for (auto& s : a.spectrum)
        s = 2.0f;

    rig.tick();

    for (const auto level : a.bandLevel)
        ASSERT_EQ (level, 1.0f);

    for (const auto v : a.rows[0])
        ASSERT_EQ (v, 255);

    EXPECT_EQ (a.bandLevel[0], 1.0f);
    EXPECT_EQ (a.bands[0], 1.0f);
    EXPECT_EQ (a.bands[1], 1.0f);
    EXPECT_EQ (a.bands[2], 1.0f);
}

TEST (AnalysisLevels, AZeroWeightLetsTheBandEnvelopeDecayAtTheReleaseRate)
{
    AnalysisRig rig;
    auto& a = rig.a();
    rig.params.wBass = 0.0f;
    rig.params.releaseSeconds = 0.15f;
    a.bandEnv[0] = 0.5f;

    for (auto& s : a.spectrum)
        s = 2.0f;

    rig.tick (1.0 / 60.0);

    EXPECT_NEAR (a.bands[0], 0.5f * std::exp (-(1.0f / 60.0f) / 0.15f), 1.0e-6f);
}

struct SplitCase
{
    int firstBand, lastBand; // lit bands, all inside one range
    int range;               // 0 bass, 1 mid, 2 high
    float boost;
    int bandsInRange;
};

class BandSplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P (BandSplitTest, RangeMeansCountEveryBandOfTheirRange)
{
    // Bass is below 160 Hz (80 bands), mid up to 2 kHz (96 bands), high the remaining 80.
    const auto c = GetParam();
    AnalysisRig rig;
    auto& a = rig.a();
    rig.params.attackSeconds = 0.0f;

    const int firstBin = a.bandBins[(size_t) c.firstBand].first;
    const int endBin = a.bandBins[(size_t) c.lastBand].second;

    for (int j = firstBin; j < endBin; ++j)
        a.spectrum[(size_t) j] = 2.0f;

    int lit = 0;

    for (const auto& [lo, hi] : a.bandBins)
        lit += (lo < endBin && hi > firstBin) ? 1 : 0;

    rig.tick();

    for (int r = 0; r < 3; ++r)
    {
        const float expected = r == c.range ? std::min (1.0f, c.boost * (float) lit / (float) c.bandsInRange) : 0.0f;
        EXPECT_NEAR (a.bands[(size_t) r], expected, 1.0e-6f) << "range " << r;
    }
}

INSTANTIATE_TEST_SUITE_P (Ranges, BandSplitTest,
                          ::testing::Values (SplitCase { 30, 40, 0, 1.35f, 80 },
                                             SplitCase { 120, 130, 1, 1.35f, 96 },
                                             SplitCase { 200, 210, 2, 1.6f, 80 }));

struct ClockCase
{
    double dt;
    double expected;
};

class TickIntervalTest : public ::testing::TestWithParam<ClockCase> {};

TEST_P (TickIntervalTest, IntervalIsClampedBeforeAnythingAdvances)
{
    const auto c = GetParam();
    AnalysisRig rig;
    rig.tick (c.dt);

    EXPECT_DOUBLE_EQ (rig.a().clock, c.expected);
    EXPECT_DOUBLE_EQ (rig.a().loudSpan[0], c.expected);
}

INSTANTIATE_TEST_SUITE_P (Intervals, TickIntervalTest,
                          ::testing::Values (ClockCase { 0.0, 1.0e-4 },
                                             ClockCase { 5.0, 0.25 },
                                             ClockCase { 1.0 / 60.0, 1.0 / 60.0 },
                                             ClockCase { -1.0, 1.0e-4 },
                                             ClockCase { std::nan (""), 1.0e-4 }));

TEST (AnalysisLevels, DisplayGainRisesForQuietMaterialAndFreezesInSilence)
{
    AnalysisRig rig;
    NoiseSource noise (0.02f);

    for (int i = 0; i < 120; ++i)
    {
        rig.write (noise.next (kTickSamples));
        rig.tick();
    }

    ASSERT_TRUE (rig.a().audible);
    const float gain = rig.a().displayGain;
    EXPECT_GT (gain, 1.1f);
    EXPECT_LE (gain, 12.0f);

    for (int i = 0; i < 120; ++i)
    {
        rig.write (std::vector<float> (kTickSamples, 0.0f));
        rig.tick();
    }

    ASSERT_FALSE (rig.a().audible);
    const float frozen = rig.a().displayGain;

    for (int i = 0; i < 10; ++i)
        rig.tick();

    EXPECT_EQ (rig.a().displayGain, frozen);
}

TEST (AnalysisLevels, TimbreDescribesBrightness)
{
    const auto brightnessOf = [] (double hz)
    {
        AnalysisRig rig;
        SineSource sine { hz, 0.5 };

        for (int i = 0; i < 120; ++i)
        {
            rig.write (sine.next (kTickSamples));
            rig.tick();
        }

        return rig.a().timbre[0];
    };

    const float low = brightnessOf (100.0);
    const float high = brightnessOf (5000.0);
    EXPECT_GT (high, low + 0.2f);
    EXPECT_GE (low, 0.0f);
    EXPECT_LE (high, 1.0f);
}

} // namespace
} // namespace vistrel::test
