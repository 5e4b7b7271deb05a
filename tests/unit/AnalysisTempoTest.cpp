#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "AnalysisTestRig.h"

namespace vistrel::test
{
namespace
{

constexpr int kBins = Analysis::kOnsetBins;

/** The comb written out term by term, straight from its definition, as a reference. */
double referenceAutocorrelation (const std::array<double, kBins>& c, double x)
{
    const double first = std::ceil (x);

    if (first > kBins - 1)
        return 0.0;

    const auto v = [&] (double p)
    {
        if (p <= 0.0) return c[0];
        if (p >= kBins - 1) return c[kBins - 1];
        const auto i = (int) std::floor (p);
        return c[(size_t) i] + (c[(size_t) i + 1] - c[(size_t) i]) * (p - i);
    };

    double sum = 0.0;

    for (int n = (int) first; n < kBins; ++n)
        sum += c[(size_t) n] * v (n - x);

    return sum / (kBins - first);
}

void fillRandomEnvelope (Analysis& a, uint32_t seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<double> dist (0.0, 1.0);

    for (auto& c : a.onsetCentred)
        c = std::max (0.0, dist (rng) - 0.4);
}

TEST (BtComb, SumsTheHarmonicsThatFitInsideThreePointSixSeconds)
{
    Analysis a;
    fillRandomEnvelope (a, 7);
    const auto ac = [&] (double x) { return referenceAutocorrelation (a.onsetCentred, x); };

    EXPECT_EQ (a.btComb (217.0), 0.0);
    EXPECT_EQ (a.btComb (216.01), 0.0);
    EXPECT_NEAR (a.btComb (216.0), ac (216.0), 1.0e-12);
    EXPECT_NEAR (a.btComb (150.0), ac (150.0), 1.0e-12);
    EXPECT_NEAR (a.btComb (100.0), ac (100.0) + 0.5 * ac (200.0), 1.0e-12);
    // 4L = 240 is left out
    EXPECT_NEAR (a.btComb (60.0), ac (60.0) + 0.5 * ac (120.0) + ac (180.0) / 3.0, 1.0e-12);
    // 4L = 216 still counts
    EXPECT_NEAR (a.btComb (54.0), ac (54.0) + 0.5 * ac (108.0) + ac (162.0) / 3.0 + 0.25 * ac (216.0), 1.0e-12);
}

TEST (BtComb, FractionalLagsInterpolateTheEnvelope)
{
    Analysis a;
    fillRandomEnvelope (a, 11);
    const auto ac = [&] (double x) { return referenceAutocorrelation (a.onsetCentred, x); };

    for (const double lag : { 17.75, 18.05, 29.95, 30.35, 41.5, 59.0 + 0.05 * 19, 0.5, 0.0 })
    {
        double expected = ac (lag);

        if (2 * lag <= 216) expected += 0.5 * ac (2 * lag);
        if (2 * lag <= 216 && 3 * lag <= 216) expected += ac (3 * lag) / 3.0;
        if (2 * lag <= 216 && 3 * lag <= 216 && 4 * lag <= 216) expected += 0.25 * ac (4 * lag);

        EXPECT_NEAR (a.btComb (lag), expected, 1.0e-12 * std::max (1.0, std::abs (expected))) << lag;
    }
}

TEST (BtComb, OutOfRangeLagsStayFinite)
{
    Analysis a;
    fillRandomEnvelope (a, 3);

    for (const double lag : { -1.0, -400.0, std::nan ("") })
        EXPECT_TRUE (std::isfinite (a.btComb (lag))) << lag;

    EXPECT_EQ (a.btComb (std::nan ("")), 0.0);
}

/** Puts an envelope in place and runs exactly one tempo analysis on it, writing no new bin. */
void analyseEnvelope (AnalysisRig& rig, int period, double background)
{
    auto& a = rig.a();

    for (int i = 0; i < kBins; ++i)
        a.onsetBins[(size_t) i] = i % period == 0 ? 1.0 : background;

    a.onsetBinPos = 0;
    a.binAccum = 0.0;
    a.binsWritten = 6;
    a.lastAnalysisBin = 0;

    rig.tick (0.0);
    ASSERT_EQ (a.binsWritten, 6u);
    ASSERT_EQ (a.lastAnalysisBin, 6u);
}

struct SpikeCase
{
    int period;
    double background;
    double confidence;
    double tempo; // accepted estimate; 0 when none is accepted
};

class SpikeEnvelopeTest : public ::testing::TestWithParam<SpikeCase> {};

TEST_P (SpikeEnvelopeTest, FindsThePeriodAndRatesItsConfidence)
{
    const auto c = GetParam();
    AnalysisRig rig;
    auto& a = rig.a();
    analyseEnvelope (rig, c.period, c.background);

    EXPECT_NEAR (a.confRaw, c.confidence, 0.005);

    if (c.tempo > 0.0)
    {
        EXPECT_EQ (a.bpmHistoryFilled, 1);
        EXPECT_DOUBLE_EQ (a.bpmTarget, c.tempo);

        for (const double h : a.bpmHistory)
            EXPECT_DOUBLE_EQ (h, c.tempo);
    }
    else
    {
        EXPECT_EQ (a.bpmHistoryFilled, 0);
        EXPECT_EQ (a.bpmTarget, 120.0);
    }
}

INSTANTIATE_TEST_SUITE_P (Envelopes, SpikeEnvelopeTest,
                          ::testing::Values (SpikeCase { 30, 0.02, 1.0, 120.0 },
                                             SpikeCase { 25, 0.02, 0.785, 144.0 },
                                             SpikeCase { 30, 0.0, 0.0, 0.0 },      // too sparse to trust
                                             SpikeCase { 1, 0.0, 0.0, 0.0 }));     // flat: no variance

TEST (TempoTracker, PhaseCorrectionAimsAtTheNewestBeat)
{
    // Spikes every 30 bins from the oldest bin: the newest one is 29 bins before the end, so the
    // winning probe shift is 62/64 of a 30-bin beat, and the counter (at 0) must move by -1/32.
    AnalysisRig rig;
    analyseEnvelope (rig, 30, 0.02);

    EXPECT_NEAR (rig.a().phasePending, 62.0 / 64.0 - 1.0, 1.0e-4);
}

TEST (TempoTracker, LaterEstimatesPassThroughTheMedianOfFive)
{
    AnalysisRig rig;
    auto& a = rig.a();
    analyseEnvelope (rig, 30, 0.02);
    ASSERT_DOUBLE_EQ (a.bpmTarget, 120.0);

    analyseEnvelope (rig, 25, 0.02);
    EXPECT_DOUBLE_EQ (a.bpmTarget, 120.0); // 120 x4, 144 x1
    analyseEnvelope (rig, 25, 0.02);
    analyseEnvelope (rig, 25, 0.02);
    EXPECT_DOUBLE_EQ (a.bpmTarget, 144.0); // 144 x3, 120 x2
}

struct PhaseStepCase
{
    double tempo;
    double pending;
    double expectedStep;
};

class PhaseCorrectionTest : public ::testing::TestWithParam<PhaseStepCase> {};

TEST_P (PhaseCorrectionTest, IsWorkedOffGraduallyAndNeverOutrunsTheBeat)
{
    const auto c = GetParam();
    AnalysisRig rig;
    auto& a = rig.a();
    a.bpmSmoothed = a.bpmTarget = c.tempo;
    a.phasePending = c.pending;

    rig.tick (1.0 / 60.0);

    const double increment = (1.0 / 60.0) * c.tempo / 60.0;
    EXPECT_NEAR (a.beatPos - increment, c.expectedStep, 1.0e-4);
    EXPECT_NEAR (a.phasePending, c.pending - c.expectedStep, 1.0e-4);
}

INSTANTIATE_TEST_SUITE_P (Steps, PhaseCorrectionTest,
                          ::testing::Values (PhaseStepCase { 120.0, 0.4, 0.0186 },
                                             PhaseStepCase { 60.0, 0.5, 1.0 / 60.0 },   // 0.0233 wanted, limited
                                             PhaseStepCase { 60.0, -0.5, -1.0 / 60.0 }, // never runs backwards
                                             PhaseStepCase { 120.0, 0.0, 0.0 }));

struct SourceCase
{
    const char* name;
    int beatSource;
    bool playing, hasPpq, hasBpm;
    double hostBpm;
    float expectedBpm;
};

class BeatSourceTest : public ::testing::TestWithParam<SourceCase> {};

TEST_P (BeatSourceTest, ChoosesHostOrInternalTempo)
{
    const auto c = GetParam();
    AnalysisRig rig;
    rig.params.beatSource = c.beatSource;
    rig.transport.playing = c.playing;
    rig.transport.hasPpq = c.hasPpq;
    rig.transport.ppq = 10.25;
    rig.transport.hasBpm = c.hasBpm;
    rig.transport.bpm = c.hostBpm;
    rig.a().bpmSmoothed = rig.a().bpmTarget = 123.0;

    rig.tick();

    EXPECT_FLOAT_EQ (rig.a().bpm, c.expectedBpm) << c.name;
}

INSTANTIATE_TEST_SUITE_P (
    Sources, BeatSourceTest,
    ::testing::Values (SourceCase { "host, playing", 0, true, true, true, 100.0, 100.0f },
                       SourceCase { "host, no tempo", 0, true, true, false, 100.0, 120.0f },
                       SourceCase { "host, zero tempo", 0, false, false, true, 0.0, 120.0f },
                       SourceCase { "auto ignores the host", 1, true, true, true, 100.0, 123.0f },
                       SourceCase { "hybrid, full transport", 2, true, true, true, 100.0, 100.0f },
                       SourceCase { "hybrid, no tempo", 2, true, true, false, 100.0, 123.0f },
                       SourceCase { "hybrid, stopped", 2, false, true, true, 100.0, 123.0f },
                       SourceCase { "hybrid, no position", 2, true, false, true, 100.0, 123.0f },
                       SourceCase { "below host counts as host", -3, false, false, true, 90.0, 90.0f },
                       SourceCase { "above hybrid counts as hybrid", 7, true, true, true, 100.0, 100.0f }));

TEST (TempoTracker, PlayingHostDrivesBeatAndBarPhase)
{
    AnalysisRig rig;
    rig.params.beatSource = 2;
    rig.transport = { true, true, true, true, 100.0, 10.25, 8.0, 4, 4 };

    rig.tick();

    EXPECT_FLOAT_EQ (rig.a().beatPhase, 0.25f);
    EXPECT_FLOAT_EQ (rig.a().barPhase, 2.25f / 4.0f);
}

TEST (TempoTracker, StoppedHostStillCountsBeatsAtItsTempo)
{
    AnalysisRig rig;
    rig.params.beatSource = 0;
    rig.transport.hasBpm = true;
    rig.transport.bpm = 90.0;

    for (int i = 0; i < 10; ++i)
        rig.tick (1.0 / 60.0);

    EXPECT_FLOAT_EQ (rig.a().bpm, 90.0f);
    EXPECT_NEAR (rig.a().beatPhase, 0.25f, 1.0e-6f); // 1.5 beats per second for 1/6 s
    EXPECT_NEAR (rig.a().barPhase, 0.25f / 4.0f, 1.0e-6f);
    EXPECT_NEAR (rig.a().freeBeat, 0.25, 1.0e-9);
}

struct SignatureCase
{
    int num, den;
    bool hasBarStart;
    int expectedNum, expectedDen;
    float expectedBarPhase;
};

class SignatureTest : public ::testing::TestWithParam<SignatureCase> {};

TEST_P (SignatureTest, BarLengthFollowsTheHostSignature)
{
    const auto c = GetParam();
    AnalysisRig rig;
    rig.params.beatSource = 0;
    rig.transport = { true, true, true, c.hasBarStart, 120.0, 4.5, 3.0, c.num, c.den };

    rig.tick();

    EXPECT_EQ (rig.a().tsNum, c.expectedNum);
    EXPECT_EQ (rig.a().tsDen, c.expectedDen);
    EXPECT_NEAR (rig.a().barPhase, c.expectedBarPhase, 1.0e-6f);
}

INSTANTIATE_TEST_SUITE_P (Signatures, SignatureTest,
                          ::testing::Values (SignatureCase { 6, 8, true, 6, 8, 0.5f },       // 1.5 of 3 quarters
                                             SignatureCase { 0, 4, true, 4, 4, 0.375f },     // numerator replaced
                                             SignatureCase { 3, 0, true, 3, 4, 0.5f },       // denominator replaced
                                             SignatureCase { 1, 32, true, 1, 32, 0.0f },     // bar never below a quarter
                                             SignatureCase { 4, 4, false, 4, 4, 0.125f }));  // 4.5 from the start

TEST (TempoTracker, InternalPathShowsFourFourAndTheBeatCounter)
{
    AnalysisRig rig;
    rig.params.beatSource = 1;
    rig.transport.tsNum = 6;
    rig.transport.tsDen = 8;

    for (int i = 0; i < 3; ++i)
        rig.tick (1.0 / 60.0);

    EXPECT_EQ (rig.a().tsNum, 4);
    EXPECT_EQ (rig.a().tsDen, 4);
    EXPECT_NEAR (rig.a().beatPhase, 0.1f, 1.0e-6f);
    EXPECT_NEAR (rig.a().barPhase, 0.025f, 1.0e-6f);
    EXPECT_NEAR (rig.a().freeBeat, 0.1, 1.0e-9);
}

TEST (TempoTracker, EnvelopeRunsAtSixtyHertzAndAStallAddsAtMostSixteenBins)
{
    AnalysisRig rig;
    auto& a = rig.a();

    for (int i = 0; i < 4; ++i)
        rig.tick (1.0 / 120.0);

    EXPECT_EQ (a.binsWritten, 2u);

    a.binAccum = 0.2;
    const auto before = a.binsWritten;
    rig.tick (5.0);

    EXPECT_EQ (a.binsWritten - before, 16u);
    EXPECT_NEAR (a.binAccum, 0.45 - 16.0 / 60.0, 1.0e-9);
}

TEST (TempoTracker, PriorFollowsTheHostTempoWithinLimits)
{
    struct Case { bool hasBpm; double bpm; double prior; };

    for (const auto c : { Case { true, 100.0, 100.0 }, Case { true, 20.0, 40.0 }, Case { true, 400.0, 300.0 },
                          Case { false, 100.0, 120.0 }, Case { true, -5.0, 120.0 } })
    {
        AnalysisRig rig;
        rig.transport.hasBpm = c.hasBpm;
        rig.transport.bpm = c.bpm;
        rig.tick();

        EXPECT_EQ (rig.a().tempoPrior, c.prior) << c.bpm;
        EXPECT_EQ (rig.a().hostTempoValid, c.hasBpm && c.bpm > 0.0) << c.bpm;
    }
}

TEST (TempoTracker, SteadyClicksAreFollowed)
{
    // 128 BPM clicks into the full chain: audio, flux, envelope, comb.
    AnalysisRig rig;
    rig.params.beatSource = 1;
    const int samplesPerBeat = (int) std::lround (48000.0 * 60.0 / 128.0);
    NoiseSource noise (0.01f);
    NoiseSource click (0.8f, 9);
    uint64_t position = 0;

    for (int t = 0; t < 60 * 12; ++t)
    {
        auto block = noise.next (kTickSamples);

        for (auto& x : block)
        {
            if (position % (uint64_t) samplesPerBeat < 240)
                x += click.next (1)[0];

            ++position;
        }

        rig.write (block);
        rig.tick();
    }

    EXPECT_NEAR (rig.a().bpm, 128.0f, 1.5f);
    EXPECT_GT (rig.a().beatConf, 0.25f);
}

} // namespace
} // namespace vistrel::test
