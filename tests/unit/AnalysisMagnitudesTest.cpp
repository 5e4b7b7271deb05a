#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include <juce_dsp/juce_dsp.h>

#include "analysis/LevelBytes.h"
#include "analysis/MagnitudeSpectrum.h"

namespace vistrel::test
{
namespace
{

TEST (MagnitudeSpectrum, MatchesJuceFrequencyOnlyTransformBinForBin)
{
    std::mt19937 rng (21);
    std::uniform_real_distribution<float> dist (-1.0f, 1.0f);

    for (const int order : { 10, 11 })
    {
        const juce::dsp::FFT fft (order);
        const int size = 1 << order;
        std::vector<float> ours ((size_t) (2 * size)), theirs ((size_t) (2 * size));

        for (int trial = 0; trial < 20; ++trial)
        {
            for (int i = 0; i < size; ++i)
                ours[(size_t) i] = theirs[(size_t) i] = dist (rng) * (trial % 2 == 0 ? 1.0f : 1.0e-6f);

            std::fill (ours.begin() + size, ours.end(), 123.0f); // must not matter
            std::fill (theirs.begin() + size, theirs.end(), 0.0f);

            forwardMagnitudes (fft, ours.data());
            fft.performFrequencyOnlyForwardTransform (theirs.data());

            // The non-negative half comes from the same transform, so it must match exactly.
            for (int i = 0; i <= size / 2; ++i)
                ASSERT_EQ (ours[(size_t) i], theirs[(size_t) i]) << "order " << order << " bin " << i;

            // The negative half is mirrored; an engine that computes it separately may differ
            // in the last bits.
            for (int i = size / 2 + 1; i < size; ++i)
            {
                ASSERT_EQ (ours[(size_t) i], ours[(size_t) (size - i)]) << "order " << order << " bin " << i;
                ASSERT_NEAR (ours[(size_t) i], theirs[(size_t) i], 1.0e-5f * (1.0f + theirs[(size_t) i]));
            }

            for (int i = size; i < 2 * size; ++i)
                ASSERT_EQ (ours[(size_t) i], 0.0f);
        }
    }
}

TEST (LevelBytes, ScaleRunsFromMinus90ToMinus6Decibels)
{
    struct Case { float magnitude; float level; };

    for (const auto c : { Case { 0.0f, 0.0f }, Case { 1.0e-5f, 0.0f }, Case { 1.0f, 255.0f }, Case { 0.5f, 254.0f }, Case { 0.502f, 255.0f },
                          Case { 0.1f, 212.0f },                 // -20 dB: trunc(70 * 255 / 84)
                          Case { 0.001f, 91.0f },                // -60 dB: trunc(30 * 255 / 84)
                          Case { 1.0e30f, 255.0f }, Case { -1.0f, 0.0f } })
    {
        EXPECT_EQ (levelByte (c.magnitude), c.level) << c.magnitude;
        EXPECT_EQ (levelByteDirect (c.magnitude), c.level) << c.magnitude;
    }
}

TEST (LevelBytes, TableLookupAgreesWithTheLogarithmEverywhere)
{
    // Every 256th float from 0 to 4, and every float near each step boundary.
    uint32_t zero, top;
    const float zeroF = 0.0f, topF = 4.0f;
    std::memcpy (&zero, &zeroF, 4);
    std::memcpy (&top, &topF, 4);

    for (uint32_t b = zero; b <= top; b += 256)
    {
        float x;
        std::memcpy (&x, &b, 4);
        ASSERT_EQ (levelByte (x), levelByteDirect (x)) << x;
    }

    for (int m = 1; m <= 255; ++m)
    {
        // Magnitude where the step begins, from the scale's definition.
        const auto edge = (float) std::pow (10.0, ((double) m * 84.0 / 255.0 - 90.0) / 20.0);
        uint32_t centre;
        std::memcpy (&centre, &edge, 4);

        for (uint32_t b = centre - 300; b <= centre + 300; ++b)
        {
            float x;
            std::memcpy (&x, &b, 4);
            ASSERT_EQ (levelByte (x), levelByteDirect (x)) << x;
        }
    }
}

} // namespace
} // namespace vistrel::test
