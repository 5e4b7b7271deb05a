#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numeric>

#include "AnalysisTestRig.h"
#include "analysis/AnalysisTables.h"
#include "analysis/KWeighting.h"

namespace vistrel::test
{
namespace
{

struct BandCase
{
    double sampleRate;
    int band;
    int32_t lo, hi;
};

class BandBinsTest : public ::testing::TestWithParam<BandCase> {};

TEST_P (BandBinsTest, BandCoversTheExpectedLargeFftBins)
{
    const auto c = GetParam();
    Analysis a;
    a.setSampleRate (c.sampleRate);

    EXPECT_EQ (a.bandBins[(size_t) c.band].first, c.lo);
    EXPECT_EQ (a.bandBins[(size_t) c.band].second, c.hi);
}

INSTANTIATE_TEST_SUITE_P (Rates, BandBinsTest,
                          ::testing::Values (BandCase { 48000.0, 0, 1, 2 },
                                             BandCase { 48000.0, 79, 6, 7 },
                                             BandCase { 48000.0, 80, 6, 8 },
                                             BandCase { 48000.0, 255, 665, 683 },
                                             BandCase { 44100.0, 0, 1, 2 },
                                             BandCase { 44100.0, 40, 2, 3 },
                                             BandCase { 44100.0, 175, 89, 93 },
                                             BandCase { 44100.0, 255, 723, 744 },
                                             BandCase { 96000.0, 40, 1, 2 },
                                             BandCase { 96000.0, 176, 42, 44 },
                                             BandCase { 96000.0, 255, 332, 342 }));

TEST (AnalysisTables, EveryBandIsANonEmptyRangeInsideTheSpectrum)
{
    for (const double rate : { 8000.0, 22050.0, 48000.0, 192000.0, 1.0e6 })
    {
        Analysis a;
        a.setSampleRate (rate);

        for (const auto& [lo, hi] : a.bandBins)
        {
            EXPECT_GE (lo, 1) << rate;
            EXPECT_LE (lo, 1023) << rate;
            EXPECT_GT (hi, lo) << rate;
            EXPECT_LE (hi, 1024) << rate;
        }
    }
}

struct FluxCase
{
    double sampleRate;
    int32_t midLo, midHi, highLo, highHi;
};

class FluxRangesTest : public ::testing::TestWithParam<FluxCase> {};

TEST_P (FluxRangesTest, RangesFollowTheRate)
{
    const auto c = GetParam();
    Analysis a;
    a.setSampleRate (c.sampleRate);

    EXPECT_EQ (a.midFluxLo, c.midLo);
    EXPECT_EQ (a.midFluxHi, c.midHi);
    EXPECT_EQ (a.highFluxLo, c.highLo);
    EXPECT_EQ (a.highFluxHi, c.highHi);
}

INSTANTIATE_TEST_SUITE_P (Rates, FluxRangesTest,
                          ::testing::Values (FluxCase { 48000.0, 2, 43, 42, 342 },
                                             FluxCase { 44100.0, 3, 47, 46, 372 },
                                             FluxCase { 8000.0, 16, 256, 256, 512 },  // high range capped at the top bin
                                             FluxCase { 192000.0, 2, 11, 10, 86 },    // mid start raised to 2
                                             FluxCase { 1024000.0, 2, 2, 3, 16 }));   // high start pushed past mid start

TEST (AnalysisTables, KWeightingMatchesTheLoudnessCurveAt48k)
{
    struct Point { double hz; float expected; };

    for (const auto p : { Point { 20.0, 0.2158f }, Point { 100.0, 0.8733f }, Point { 997.0, 1.0512f }, Point { 10000.0, 1.5845f } })
        EXPECT_NEAR (kWeightingMagnitude (p.hz, 48000.0), p.expected, 5.0e-4f) << p.hz;

    for (const double hz : { 0.0, -5.0, 24000.0, 30000.0 })
        EXPECT_EQ (kWeightingMagnitude (hz, 48000.0), 0.0f) << hz;
}

TEST (AnalysisTables, WeightTablesSampleTheCurveAtBinsAndBandCentres)
{
    Analysis a;
    a.setSampleRate (44100.0);
    const double binHz = 44100.0 / 2048.0;

    EXPECT_EQ (a.binWeight[0], 0.0f);

    for (const int j : { 1, 5, 46, 300, 1023 })
        EXPECT_EQ (a.binWeight[(size_t) j], kWeightingMagnitude (j * binHz, 44100.0)) << j;

    for (const int b : { 0, 100, 255 })
        EXPECT_EQ (a.bandWeight[(size_t) b], kWeightingMagnitude (20.0 * std::pow (800.0, (b + 0.5) / 256.0), 44100.0)) << b;
}

TEST (AnalysisTables, BandCentresSpanTwentyHertzToSixteenKilohertz)
{
    Analysis a;
    EXPECT_NEAR (a.bandLog2Centre[0], std::log2 (20.0 * std::pow (800.0, 0.5 / 256.0)), 1.0e-6);
    EXPECT_NEAR (a.bandLog2Centre[255], std::log2 (20.0 * std::pow (800.0, 255.5 / 256.0)), 1.0e-6);

    for (size_t b = 1; b < a.bandLog2Centre.size(); ++b)
        EXPECT_GT (a.bandLog2Centre[b], a.bandLog2Centre[b - 1]);
}

TEST (AnalysisTables, ScopeKernelsAreTheNormalisedWindowedSincs)
{
    Analysis a;
    const float mono[] = { 0.0f, 0.0f, 0.02825635f, 0.11355342f, 0.22192822f, 0.27252403f,
                           0.22192822f, 0.11355342f, 0.02825635f, 0.0f, 0.0f };
    const float stereo[] = { 0.0f, 0.0f, 0.24423632f, 0.51152736f, 0.24423632f, 0.0f, 0.0f };

    for (size_t i = 0; i < 11; ++i)
        EXPECT_NEAR (a.scopeKernelMono[i], mono[i], 1.0e-7f) << i;

    for (size_t i = 0; i < 7; ++i)
        EXPECT_NEAR (a.scopeKernelStereo[i], stereo[i], 1.0e-7f) << i;

    EXPECT_NEAR (std::accumulate (a.scopeKernelMono.begin(), a.scopeKernelMono.end(), 0.0), 1.0, 1.0e-6);
    EXPECT_NEAR (std::accumulate (a.scopeKernelStereo.begin(), a.scopeKernelStereo.end(), 0.0), 1.0, 1.0e-6);
}

TEST (AnalysisTables, WindowsAreSymmetricHannAndTheNormRestoresMeanSquare)
{
    Analysis a;

    EXPECT_NEAR (a.windowLarge[0], 0.0f, 1.0e-6f);
    EXPECT_NEAR (a.windowLarge[2047], 0.0f, 1.0e-6f);
    EXPECT_NEAR (a.windowLarge[1023], a.windowLarge[1024], 1.0e-6f);
    EXPECT_NEAR (a.windowLarge[1023], 1.0f, 1.0e-5f);
    EXPECT_NEAR (a.windowSmall[0], 0.0f, 1.0e-6f);
    EXPECT_NEAR (a.windowSmall[511], a.windowSmall[512], 1.0e-6f);

    // Sum of squares of a 2048-point symmetric Hann window is (3 * 2048 - 3) / 8 = 767.625.
    EXPECT_NEAR (a.windowNorm, 4096.0 / 767.625, 1.0e-4);
}

TEST (AnalysisTables, KickFilterPassesSeventyHertzAtUnityGain)
{
    for (const double rate : { 44100.0, 48000.0, 96000.0 })
    {
        Analysis a;
        a.setSampleRate (rate);
        const auto& f = a.kickFilter;

        EXPECT_EQ (f.b1, 0.0f);
        EXPECT_FLOAT_EQ (f.b2, -f.b0);

        const auto response = [&] (double hz)
        {
            const auto z1 = std::polar (1.0, -2.0 * 3.14159265358979323846 * hz / rate);
            return std::abs (((double) f.b0 + (double) f.b2 * z1 * z1) / (1.0 + (double) f.a1 * z1 + (double) f.a2 * z1 * z1));
        };

        EXPECT_NEAR (response (70.0), 1.0, 1.0e-3) << rate;
        EXPECT_LT (response (700.0), 0.15) << rate;
        EXPECT_LT (response (7.0), 0.15) << rate;
    }
}

TEST (AnalysisSampleRate, RepeatedOrInvalidRatesChangeNothing)
{
    AnalysisRig rig;
    auto& a = rig.a();
    a.displayGain = 5.0f;
    a.historyMono[2047] = 0.25f;
    a.bpmTarget = 133.0;
    a.rmsFloor = 0.2f;

    for (const double rate : { 48000.0, 0.0, -44100.0, std::nan ("") })
    {
        a.setSampleRate (rate);
        EXPECT_EQ (a.sampleRate, 48000.0);
        EXPECT_EQ (a.displayGain, 5.0f);
        EXPECT_EQ (a.historyMono[2047], 0.25f);
        EXPECT_EQ (a.bpmTarget, 133.0);
        EXPECT_EQ (a.rmsFloor, 0.2f);
    }
}

TEST (AnalysisSampleRate, ANewRateStartsOverFromScratch)
{
    AnalysisRig rig;
    auto& a = rig.a();
    a.displayGain = 5.0f;
    a.rmsFloor = a.kickFloor = 0.2f;
    a.spectrum[10] = 0.5f;
    a.historyMono[2047] = 0.25f;
    a.bpmTarget = a.bpmSmoothed = 133.0;
    a.onsetBins[3] = 1.0;
    a.bpmHistoryFilled = 1;
    a.bpm = 133.0f;

    a.setSampleRate (44100.0);

    EXPECT_EQ (a.sampleRate, 44100.0);
    EXPECT_EQ (a.displayGain, 1.0f);
    EXPECT_EQ (a.rmsFloor, 1.0e-4f);
    EXPECT_EQ (a.kickFloor, 1.0e-4f);
    EXPECT_EQ (a.spectrum[10], 0.0f);
    EXPECT_EQ (a.historyMono[2047], 0.0f);
    EXPECT_EQ (a.bpmTarget, 120.0);
    EXPECT_EQ (a.bpmSmoothed, 120.0);
    EXPECT_EQ (a.onsetBins[3], 0.0);
    EXPECT_EQ (a.bpmHistoryFilled, 0);
    EXPECT_EQ (a.bpmHistory[4], 120.0);
    EXPECT_EQ (a.bpm, 120.0f);
    EXPECT_EQ (a.midFluxHi, 47);
}

TEST (AnalysisReset, ClearsTheSignalButKeepsWhatWasLearnt)
{
    AnalysisRig rig;
    auto& a = rig.a();
    rig.write (NoiseSource (0.5f).next (4000));

    for (int i = 0; i < 20; ++i)
        rig.tick();

    a.displayGain = 3.0f;
    a.rmsFloor = 0.05f;
    a.kickFloor = 0.06f;
    a.bpmTarget = 140.0;
    a.idle = 0.2f;
    a.bpm = 140.0f;
    a.tsNum = 7;
    a.freeBeat = 3.0;
    const float spectrumBefore = a.spectrum[20];
    ASSERT_NE (spectrumBefore, 0.0f);

    a.reset();

    EXPECT_EQ (a.idle, 1.0f);
    EXPECT_EQ (a.bpm, 120.0f);
    EXPECT_EQ (a.tsNum, 4);
    EXPECT_EQ (a.tsDen, 4);
    EXPECT_EQ (a.freeBeat, 0.0);
    EXPECT_EQ (a.clock, 0.0);
    EXPECT_FALSE (a.audible);
    EXPECT_EQ (a.loudCount, 0);
    EXPECT_EQ (a.warmupTicks, 0);
    EXPECT_EQ (a.historyMono[2047], 0.0f);
    EXPECT_EQ (a.rows[1][0], 0);

    EXPECT_EQ (a.displayGain, 3.0f);
    EXPECT_EQ (a.rmsFloor, 0.05f);
    EXPECT_EQ (a.kickFloor, 0.06f);
    EXPECT_EQ (a.bpmTarget, 140.0);
    EXPECT_EQ (a.spectrum[20], spectrumBefore);
}

} // namespace
} // namespace vistrel::test
