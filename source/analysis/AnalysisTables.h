#pragma once

#include <cstdint>
#include <utility>

namespace vistrel
{

/** Fills a symmetric Hann window of n points, computed in single precision. */
void fillHannWindow (float* window, int n) noexcept;

/** 2n / (sum of squared window values): scales a windowed power spectrum back to mean square. */
double windowPowerNorm (const float* window, int n) noexcept;

/** A windowed-sinc low-pass of the given odd length whose main lobe spans `stretch` samples
    either side of the centre (cut-off at sampleRate / (2 * stretch)); taps sum to 1. */
void fillScopeKernel (float* taps, int length, double stretch) noexcept;

/** Display bands: 256 equal steps on a log scale from 20 Hz to 16 kHz. */
double bandEdgeHz (double bandPosition) noexcept;
double bandCentreHz (int band) noexcept;

/** The large-FFT bins [first, last) that make up a display band at the given bin width. */
std::pair<int32_t, int32_t> bandBinRange (int band, double binHz) noexcept;

/** Small-FFT bin ranges of the mid (130 Hz to 2 kHz) and high (2 kHz to 16 kHz) flux. */
struct FluxRanges
{
    int32_t midLo, midHi, highLo, highHi;
};

FluxRanges fluxRangesFor (double sampleRate) noexcept;

} // namespace vistrel
