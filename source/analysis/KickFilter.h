#pragma once

namespace vistrel
{

/** Band-pass around 70 Hz that isolates the kick drum (a0 normalised to 1; b1 is always 0). */
struct KickFilterCoefficients
{
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
};

/** Direct-form-I memory, kept across ticks so that blocks join without clicks. */
struct KickFilterState
{
    float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
};

/** RBJ cookbook band-pass with 0 dB peak gain, f0 = 70 Hz, Q = 0.9. */
KickFilterCoefficients designKickFilter (double sampleRate) noexcept;

/** Filters n samples in single precision, carrying the state forward. */
void runKickFilter (const KickFilterCoefficients& c, KickFilterState& state,
                    const float* input, float* output, int n) noexcept;

} // namespace vistrel
