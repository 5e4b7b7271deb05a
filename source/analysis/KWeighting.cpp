#include "analysis/KWeighting.h"

#include <algorithm>
#include <cmath>

namespace vistrel
{

namespace
{
    constexpr double kTwoPi = 6.283185307179586476925286766559;

    struct Biquad
    {
        double b0, b1, b2, a1, a2; // normalised so that a0 == 1

        double squaredMagnitude (double omega) const noexcept
        {
            const double c1 = std::cos (omega), s1 = std::sin (omega);
            const double c2 = std::cos (2.0 * omega), s2 = std::sin (2.0 * omega);

            const double numRe = b0 + b1 * c1 + b2 * c2;
            const double numIm = -(b1 * s1 + b2 * s2);
            const double denRe = 1.0 + a1 * c1 + a2 * c2;
            const double denIm = -(a1 * s1 + a2 * s2);

            return (numRe * numRe + numIm * numIm) / std::max (denRe * denRe + denIm * denIm, 1.0e-30);
        }
    };

    Biquad makeHighShelf (double sampleRate) noexcept
    {
        // The BS.1770 stage-one parameters, fed through the cookbook shelf as they stand: at
        // rates other than 48 kHz this differs slightly from the standard's coefficient set.
        constexpr double f0 = 1681.974450955533;
        constexpr double q = 0.7071752369554196;
        constexpr double a = 1.2589140960092773;
        constexpr double twoSqrtA = 2.2440268233773653;

        const double w0 = kTwoPi * f0 / sampleRate;
        const double cosW0 = std::cos (w0);
        const double alpha = std::sin (w0) / (2.0 * q);

        const double b0 = a * ((a + 1.0) + (a - 1.0) * cosW0 + twoSqrtA * alpha);
        const double b1 = -2.0 * a * ((a - 1.0) + (a + 1.0) * cosW0);
        const double b2 = a * ((a + 1.0) + (a - 1.0) * cosW0 - twoSqrtA * alpha);
        const double a0 = (a + 1.0) - (a - 1.0) * cosW0 + twoSqrtA * alpha;
        const double a1 = 2.0 * ((a - 1.0) - (a + 1.0) * cosW0);
        const double a2 = (a + 1.0) - (a - 1.0) * cosW0 - twoSqrtA * alpha;

        return { b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0 };
    }

    Biquad makeHighPass (double sampleRate) noexcept
    {
        constexpr double f0 = 38.13547087602444;
        constexpr double q = 0.5003270373238773;

        const double w0 = kTwoPi * f0 / sampleRate;
        const double cosW0 = std::cos (w0);
        const double alpha = std::sin (w0) / (2.0 * q);

        const double b0 = (1.0 + cosW0) / 2.0;
        const double b1 = -(1.0 + cosW0);
        const double b2 = b0;
        const double a0 = 1.0 + alpha;
        const double a1 = -2.0 * cosW0;
        const double a2 = 1.0 - alpha;

        return { b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0 };
    }
} // namespace

float kWeightingMagnitude (double frequencyHz, double sampleRate) noexcept
{
    if (! (frequencyHz > 0.0) || ! (frequencyHz < sampleRate / 2.0))
        return 0.0f;

    const double omega = kTwoPi * frequencyHz / sampleRate;
    const double shelf = makeHighShelf (sampleRate).squaredMagnitude (omega);
    const double highPass = makeHighPass (sampleRate).squaredMagnitude (omega);

    return (float) (std::sqrt (shelf) * std::sqrt (highPass));
}

} // namespace vistrel
