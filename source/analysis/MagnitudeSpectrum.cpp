#include "analysis/MagnitudeSpectrum.h"

#include <algorithm>
#include <cmath>

namespace vistrel
{

void forwardMagnitudes (const juce::dsp::FFT& fft, float* buffer) noexcept
{
    constexpr int maxSize = 4096;
    const int size = fft.getSize();
    jassert (size <= maxSize);

    fft.performRealOnlyForwardTransform (buffer, true);

    // Bins 0..size/2 in double precision: sqrt of the double sum of squares, rounded once to
    // float, is the correctly rounded hypot(re, im).
    const int half = size / 2;
    float magnitudes[maxSize / 2 + 1];

    for (int i = 0; i <= half; ++i)
    {
        const auto re = (double) buffer[2 * i];
        const auto im = (double) buffer[2 * i + 1];
        magnitudes[i] = (float) std::sqrt (re * re + im * im);
    }

    std::copy (magnitudes, magnitudes + half + 1, buffer);

    // A real signal's spectrum is conjugate-symmetric: the negative frequencies have the same
    // magnitudes in reverse order.
    for (int i = half + 1; i < size; ++i)
        buffer[i] = buffer[size - i];

    std::fill (buffer + size, buffer + 2 * size, 0.0f);
}

} // namespace vistrel
