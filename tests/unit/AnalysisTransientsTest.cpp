#include <gtest/gtest.h>

#include <algorithm>

#include "AnalysisTestRig.h"
#include "analysis/Detectors.h"

namespace vistrel::test
{
namespace
{

constexpr DetectorTuning kOnsetTuning { 0.0035f, 0.0175f };

std::array<float, kDetectorHistory> ringOf (int zeros, float rest)
{
    std::array<float, kDetectorHistory> ring {};

    for (int i = 0; i < kDetectorHistory; ++i)
        ring[(size_t) i] = i < zeros ? 0.0f : rest;

    return ring;
}

struct DetectorCase
{
    const char* name;
    int zeros;       // ring entries that are 0; the others hold `level`
    float level;
    float input;     // replaces the last ring entry
    float expected;
};

class DetectorCandidateTest : public ::testing::TestWithParam<DetectorCase> {};

TEST_P (DetectorCandidateTest, FiresOnlyClearlyAboveTheMedian)
{
    const auto c = GetParam();
    auto ring = ringOf (c.zeros, c.level);
    ring.back() = c.input;

    EXPECT_NEAR (detectorCandidate (ring, c.input, kOnsetTuning), c.expected, 1.0e-4f) << c.name;
}

INSTANTIATE_TEST_SUITE_P (
    Onset, DetectorCandidateTest,
    ::testing::Values (
        // median 0.01: threshold 1.6 * 0.01 + 0.0035 = 0.0195, scale 6 * 0.01 + 0.0175
        DetectorCase { "above threshold", 0, 0.01f, 0.02f, 0.02f / 0.0775f },
        DetectorCase { "below threshold", 0, 0.01f, 0.019f, 0.0f },
        DetectorCase { "strong input saturates", 0, 0.01f, 1.0f, 1.0f },
        // zero median counts as 1e-4: threshold 0.00366, scale 0.0181
        DetectorCase { "zero median", 42, 0.0f, 0.01f, 0.01f / 0.0181f },
        DetectorCase { "tiny input on zero median", 42, 0.0f, 0.003f, 0.0f },
        // the median is element 21 of 43: 21 zeros leave it at the level, 22 zeros make it 0
        DetectorCase { "21 zeros", 21, 0.01f, 0.02f, 0.02f / 0.0775f },
        DetectorCase { "22 zeros", 22, 0.01f, 0.02f, 1.0f }));

TEST (Detectors, KickCandidateNeedsAnEnvelopeAboveTheNoiseFloor)
{
    struct Case { float env, floor, ready, expected; };

    for (const auto c : { Case { 0.002f, 1.0e-6f, 1.0f, 0.0f },    // never above 0.0025
                          Case { 0.2f, 0.1f, 1.0f, 1.0f },         // (0.2 / 0.1001 - 1.1) * 1.6 = 1.437
                          Case { 0.2f, 0.1f, 0.0f, 0.0f },         // not ready
                          Case { 0.012f, 0.01f, 1.0f, (0.012f / 0.0101f - 1.1f) * 1.6f },
                          Case { 0.01f, 0.01f, 1.0f, 0.0f } })     // ratio below 1.1
        EXPECT_NEAR (kickCandidate (c.env, c.floor, c.ready), c.expected, 1.0e-5f) << c.env << " " << c.floor;
}

TEST (Detectors, PunchCandidateNeedsAudibleBlockLevel)
{
    struct Case { float slow, floor, now, ready, expected; };

    for (const auto c : { Case { 0.2f, 0.01f, 0.002f, 1.0f, 0.0f },  // block RMS too low, whatever the ratio
                          Case { 0.2f, 0.1f, 0.1f, 1.0f, 1.0f },
                          Case { 0.11f, 0.1f, 0.1f, 1.0f, (0.11f / 0.100001f - 1.05f) * 1.4f },
                          Case { 0.2f, 0.1f, 0.1f, 0.0f, 0.0f } })
        EXPECT_NEAR (punchCandidate (c.slow, c.floor, c.now, c.ready), c.expected, 1.0e-5f) << c.slow << " " << c.now;
}

TEST (Detectors, OutputHoldsPeaksAndRestsInSilence)
{
    EXPECT_EQ (holdOrDecay (0.8f, 0.5f, 0.86f, true), 0.8f);
    EXPECT_FLOAT_EQ (holdOrDecay (0.1f, 0.5f, 0.86f, true), 0.43f);
    EXPECT_FLOAT_EQ (holdOrDecay (0.0f, 0.0105f, 0.86f, true), 0.0105f * 0.86f);
    EXPECT_EQ (holdOrDecay (0.0f, 0.0105f, 0.86f, false), 0.0f);
    EXPECT_FLOAT_EQ (holdOrDecay (0.0f, 0.5f, 0.86f, false), 0.43f);
}

float newest (const std::array<float, kDetectorHistory>& ring, int32_t counter)
{
    return ring[(size_t) ((counter + kDetectorHistory - 1) % kDetectorHistory)];
}

TEST (AnalysisTransients, UnchangedHistoriesGiveNoFlux)
{
    AnalysisRig rig;
    NoiseSource noise (0.3f);
    auto& a = rig.a();

    for (int i = 0; i < 10; ++i)
    {
        rig.write (noise.next (kTickSamples));
        rig.tick();
    }

    // New audio shows up as flux in every range...
    ASSERT_GT (newest (a.totalFluxHistory, a.totalFluxPos), 0.0f);
    ASSERT_GT (newest (a.midFluxHistory, a.bandFluxPos), 0.0f);
    ASSERT_GT (newest (a.highFluxHistory, a.bandFluxPos), 0.0f);

    // ...and a tick without any shows none, and the detectors decay.
    const float onsetBefore = a.onset;
    rig.tick();

    EXPECT_EQ (newest (a.totalFluxHistory, a.totalFluxPos), 0.0f);
    EXPECT_EQ (newest (a.midFluxHistory, a.bandFluxPos), 0.0f);
    EXPECT_EQ (newest (a.highFluxHistory, a.bandFluxPos), 0.0f);
    EXPECT_EQ (newest (a.kickRiseHistory, a.bandFluxPos), 0.0f);
    EXPECT_LE (a.onset, onsetBefore);
    EXPECT_EQ (a.totalFluxPos, 11);
    EXPECT_EQ (a.bandFluxPos, 11);
}

TEST (AnalysisTransients, TransientAndSustainSharesSumToOneWhileAudible)
{
    AnalysisRig rig;
    NoiseSource noise (0.3f);

    rig.tick();
    EXPECT_EQ (rig.a().ts[0], 0.0f);
    EXPECT_EQ (rig.a().ts[1], 0.0f);

    for (int i = 0; i < 30; ++i)
    {
        rig.write (noise.next (kTickSamples));
        rig.tick();
        ASSERT_TRUE (rig.a().audible);
        EXPECT_NEAR (rig.a().ts[0] + rig.a().ts[1], 1.0f, 1.0e-5f) << i;
    }

    // Steady noise is mostly sustain once both followers have caught up.
    EXPECT_GT (rig.a().ts[1], rig.a().ts[0]);
}

TEST (AnalysisTransients, FloorsJumpWhenTheGateOpensAndFreezeWhenItCloses)
{
    AnalysisRig rig;
    auto& a = rig.a();
    SineSource sine { 440.0, 1.0 };

    // First tick: 800 samples of a full-scale sine in the newest 1024, so
    // rmsNow = sqrt(800 / 1024 * 0.5) and rmsSlow = 0.5 * rmsNow.
    rig.write (sine.next (kTickSamples));
    rig.tick();

    ASSERT_TRUE (a.audible);
    const float rmsNow = std::sqrt (800.0f / 1024.0f * 0.5f);
    const float base = 0.7f * rmsNow;
    EXPECT_NEAR (a.rmsFloor, base + (1.0f - 0.995f) * (rmsNow - base), 2.0e-3f);
    EXPECT_NEAR (a.rmsSlow, 0.5f * rmsNow, 2.0e-3f);

}

TEST (AnalysisTransients, FloorsHoldStillWhileNothingIsAudible)
{
    AnalysisRig rig;
    auto& a = rig.a();
    a.rmsFloor = 0.3f;
    a.kickFloor = 0.2f;

    rig.write (NoiseSource (1.0e-5f).next (kTickSamples));
    rig.tick();
    rig.tick();

    ASSERT_FALSE (a.audible);
    EXPECT_EQ (a.rmsFloor, 0.3f);
    EXPECT_EQ (a.kickFloor, 0.2f);
}

TEST (AnalysisTransients, KickDrumAfterQuietNoiseFiresKickAndTheKickHit)
{
    AnalysisRig rig;
    auto& a = rig.a();
    NoiseSource noise (0.01f);

    for (int i = 0; i < 60; ++i)
    {
        rig.write (noise.next (kTickSamples));
        rig.tick();
    }

    ASSERT_TRUE (a.audible);
    ASSERT_LT (a.kick, 0.2f);
    ASSERT_LT (a.hits[0], 0.2f);

    SineSource thump { 70.0, 0.9 };
    auto block = thump.next (kTickSamples);
    const auto bed = noise.next (kTickSamples);

    for (size_t i = 0; i < block.size(); ++i)
        block[i] += bed[i];

    rig.write (block);
    rig.tick();

    EXPECT_GT (a.kick, 0.9f);
    EXPECT_GT (a.hits[0], 0.9f);
    EXPECT_GT (a.onset, 0.5f);
}

TEST (AnalysisTransients, NothingFiresDuringWarmUp)
{
    AnalysisRig rig;
    auto& a = rig.a();
    SineSource thump { 70.0, 0.9 };

    // A sound that starts with the analysis: audible from the first tick, ready from the fourth.
    for (int i = 0; i < 3; ++i)
    {
        rig.write (thump.next (kTickSamples));
        rig.tick();
        ASSERT_TRUE (a.audible);
        EXPECT_EQ (a.onset, 0.0f) << i;
        EXPECT_EQ (a.kick, 0.0f) << i;
        EXPECT_EQ (a.punch, 0.0f) << i;
        EXPECT_EQ (a.hits[0], 0.0f) << i;
    }
}

} // namespace
} // namespace vistrel::test
