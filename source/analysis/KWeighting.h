#pragma once

namespace vistrel
{

/** Magnitude response of the loudness pre-filter (the BS.1770 high shelf followed by its
    high-pass, both built with the RBJ cookbook formulas) at a frequency in Hz.
    Returns 0 at or below 0 Hz and at or above the Nyquist frequency. */
float kWeightingMagnitude (double frequencyHz, double sampleRate) noexcept;

} // namespace vistrel
