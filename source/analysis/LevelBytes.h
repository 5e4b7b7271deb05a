#pragma once

namespace vistrel
{

/** A spectrum magnitude on the 0..255 display scale (-90 dB to -6 dB, 84 dB in 255 steps),
    truncated to a whole number and clamped, as a float. */
float levelByteDirect (float magnitude) noexcept;

/** The same value as levelByteDirect, found from a table of the magnitudes at which each step
    begins instead of a logarithm per call. */
float levelByte (float magnitude) noexcept;

} // namespace vistrel
