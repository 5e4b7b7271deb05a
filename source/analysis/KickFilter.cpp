#include "analysis/KickFilter.h"

#include <cmath>

namespace vistrel
{

KickFilterCoefficients designKickFilter (double sampleRate) noexcept
{
    constexpr double kTwoPi = 6.283185307179586476925286766559;
    constexpr double centreHz = 70.0;
    constexpr double q = 0.9;

    const double w0 = kTwoPi * centreHz / sampleRate;
    const double alpha = std::sin (w0) / (2.0 * q);
    const double a0 = 1.0 + alpha;

    KickFilterCoefficients c;
    c.b0 = (float) (alpha / a0);
    c.b1 = 0.0f;
    c.b2 = (float) (-alpha / a0);
    c.a1 = (float) (-2.0 * std::cos (w0) / a0);
    c.a2 = (float) ((1.0 - alpha) / a0);
    return c;
}

void runKickFilter (const KickFilterCoefficients& c, KickFilterState& state,
                    const float* input, float* output, int n) noexcept
{
    float x1 = state.x1, x2 = state.x2, y1 = state.y1, y2 = state.y2;

    for (int i = 0; i < n; ++i)
    {
        const float x = input[i];
        const float y = c.b0 * x + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        output[i] = y;
    }

    state = { x1, x2, y1, y2 };
}

} // namespace vistrel
