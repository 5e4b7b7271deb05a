#pragma once

#include <juce_dsp/juce_dsp.h>

namespace vistrel
{

/** Replaces the first half of `buffer` (2 * fft size floats, real samples in the first half)
    with the magnitude of every bin of its forward transform, the mirrored negative frequencies
    included, and zeroes the second half: the same layout and values as
    juce::dsp::FFT::performFrequencyOnlyForwardTransform. It transforms only the non-negative
    half and mirrors it, and it avoids a library call per bin. */
void forwardMagnitudes (const juce::dsp::FFT& fft, float* buffer) noexcept;

} // namespace vistrel
