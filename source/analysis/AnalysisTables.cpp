#include "analysis/AnalysisTables.h"

#include <algorithm>
#include <cmath>

namespace vistrel
{

namespace
{
    constexpr double kPi = 3.1415926535897932384626433832795;
    constexpr float kTwoPiF = 6.283185307179586476925286766559f;

    double sinc (double x) noexcept
    {
        return x == 0.0 ? 1.0 : std::sin (kPi * x) / (kPi * x);
    }
} // namespace

void fillHannWindow (float* window, int n) noexcept
{
    const float denominator = (float) (n - 1);

    for (int i = 0; i < n; ++i)
        window[i] = 0.5f * (1.0f - std::cos (kTwoPiF * (float) i / denominator));
}

double windowPowerNorm (const float* window, int n) noexcept
{
    double sum = 0.0;

    for (int i = 0; i < n; ++i)
        sum += (double) window[i] * (double) window[i];

    return 2.0 * (double) n / std::max (sum, 1.0e-9);
}

void fillScopeKernel (float* taps, int length, double stretch) noexcept
{
    const int centre = (length - 1) / 2;
    double values[64] {};
    double sum = 0.0;

    for (int n = 0; n < length; ++n)
    {
        const double window = 0.5 * (1.0 - std::cos (2.0 * kPi * n / (double) (length - 1)));
        values[n] = window * sinc ((n - centre) / stretch);
        sum += values[n];
    }

    for (int n = 0; n < length; ++n)
        taps[n] = (float) (values[n] / sum);
}

double bandEdgeHz (double bandPosition) noexcept
{
    return 20.0 * std::pow (800.0, bandPosition / 256.0);
}

double bandCentreHz (int band) noexcept
{
    return bandEdgeHz ((double) band + 0.5);
}

std::pair<int32_t, int32_t> bandBinRange (int band, double binHz) noexcept
{
    // Clamped before the integer conversion so that absurd rates cannot overflow it; the
    // limits are far beyond anything the final clamp to 1023/1024 lets through.
    const auto toBin = [] (double v) { return (int32_t) std::clamp (v, -1.0, 1.0e6); };
    auto lo = toBin (std::floor (bandEdgeHz ((double) band) / binHz));
    auto hi = toBin (std::ceil (bandEdgeHz ((double) band + 1.0) / binHz));

    // Bin 0 is DC; the lowest bands all start at bin 1 and always cover at least one bin.
    if (lo < 2)
        lo = 1;

    if (hi < lo + 1)
        hi = lo + 1;

    return { std::min (lo, (int32_t) 1023), std::min (hi, (int32_t) 1024) };
}

FluxRanges fluxRangesFor (double sampleRate) noexcept
{
    const double r = sampleRate / 1024.0;
    const auto clampBin = [] (double v) { return (int32_t) std::clamp (v, 1.0, 512.0); };

    FluxRanges f {};
    f.midLo = (int32_t) std::clamp (std::floor (130.0 / r), 2.0, 512.0);
    f.midHi = clampBin (std::ceil (2000.0 / r));
    f.highLo = std::max (clampBin (std::floor (2000.0 / r)), f.midLo + 1);
    f.highHi = clampBin (std::ceil (16000.0 / r));
    return f;
}

} // namespace vistrel
