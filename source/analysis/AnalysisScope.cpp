// Oscilloscope rows (mono, left, right), stereo width and the idle measure.

#include "analysis/Analysis.h"

#include <algorithm>
#include <cmath>

namespace vistrel
{

namespace
{
    constexpr int kLastIndex = kFftSize - 1;

    /** One row of filtered points: out[u] = sum over j of kernel[j] * samples[start + step*u + j],
        positions past either end of the history repeating the end sample. Every point is summed
        in tap order; the loops run tap by tap so that the points fill vector lanes. */
    template <size_t Taps>
    void filterRow (const std::array<float, Taps>& kernel, const float* samples, int start, int step,
                    float (&out)[Analysis::kRowLength]) noexcept
    {
        constexpr int points = Analysis::kRowLength;

        // Points whose taps all lie inside the history.
        int inside = 0;

        if (start >= 0)
            inside = std::clamp ((kLastIndex - (int) Taps + 1 - start) / step + 1, 0, points);

        std::fill (out, out + points, 0.0f);

        for (size_t j = 0; j < Taps; ++j)
        {
            const float h = kernel[j];
            const float* x = samples + start + (int) j;

            for (int u = 0; u < inside; ++u)
                out[u] += h * x[step * u];
        }

        for (int u = inside; u < points; ++u)
        {
            float y = 0.0f;

            for (size_t j = 0; j < Taps; ++j)
                y += kernel[j] * samples[std::clamp (start + step * u + (int) j, 0, kLastIndex)];

            out[u] = y;
        }
    }

    /** Finds the last rising crossing through a hysteresis band of +-threshold, so that a
        periodic wave is drawn from the same phase tick after tick. Returns -1 if none. */
    template <size_t Taps>
    int findTrigger (const std::array<float, Taps>& kernel, const float* mono, int firstPosition,
                     int candidates, float threshold) noexcept
    {
        // Filter all candidates first, tap by tap: each value is still summed in tap order,
        // but the loop over candidates runs in vector lanes.
        constexpr int maxCandidates = 520;
        jassert (candidates <= maxCandidates);
        float filtered[maxCandidates] {};

        for (size_t j = 0; j < Taps; ++j)
        {
            const float h = kernel[j];
            const float* x = mono + firstPosition + (int) j;

            for (int s = 0; s < candidates; ++s)
                filtered[s] += h * x[s];
        }

        // The hysteresis as data flow rather than branches: noisy material flips between the
        // three cases at random.
        bool armed = false;
        int trigger = -1;

        for (int s = 0; s < candidates; ++s)
        {
            const float y = filtered[s];
            const bool low = y < -threshold;
            const bool fires = ! low && armed && y >= threshold;
            trigger = fires ? s : trigger;
            armed = low || (armed && ! fires);
        }

        return trigger;
    }

    uint8_t toRowValue (float y, float gain) noexcept
    {
        // Clamped before the conversion, without branches: loud material clips at random
        // points, which a branch would keep mispredicting. The first comparison maps NaN to 0.
        float v = y * 140.0f * gain + 128.0f;
        v = v > 0.0f ? v : 0.0f;
        v = v < 255.0f ? v : 255.0f;
        return (uint8_t) (int) v;
    }
} // namespace

void Analysis::drawScope (const Tick& t)
{
    const float threshold = std::max (0.15f * t.peakNow, 0.005f);
    const float gain = std::min (6.0f, displayGain);
    const float* mono = historyMono.data();

    // Mono row: 4 samples per point, about 1024 samples shown. Triggering looks for candidate
    // centres between samples 512 and 1024; untriggered, the newest samples are shown.
    {
        constexpr int firstPosition = 507, candidates = 513, untriggeredStart = 1019;
        int start = untriggeredStart;

        if (audible)
            if (const int trigger = findTrigger (scopeKernelMono, mono, firstPosition, candidates, threshold); trigger >= 0)
                start = firstPosition + trigger;

        float points[kRowLength];
        filterRow (scopeKernelMono, mono, start, 4, points);

        for (int u = 0; u < kRowLength; ++u)
            rows[1][u] = toRowValue (points[u], gain);
    }

    // Stereo rows: 2 samples per point, about 512 samples shown, triggered on the mono signal.
    float sumLL = 0.0f, sumRR = 0.0f, sumLR = 0.0f;
    {
        constexpr int firstPosition = 1277, candidates = 257, untriggeredStart = 1533;
        int start = untriggeredStart;

        if (audible)
            if (const int trigger = findTrigger (scopeKernelStereo, mono, firstPosition, candidates, threshold); trigger >= 0)
                start = firstPosition + trigger;

        float pointsL[kRowLength], pointsR[kRowLength];
        filterRow (scopeKernelStereo, historyLeft.data(), start, 2, pointsL);
        filterRow (scopeKernelStereo, historyRight.data(), start, 2, pointsR);

        for (int u = 0; u < kRowLength; ++u)
        {
            const float yL = pointsL[u];
            const float yR = pointsR[u];
            rows[2][u] = toRowValue (yL, gain);
            rows[3][u] = toRowValue (yR, gain);
            sumLL += yL * yL;
            sumRR += yR * yR;
            sumLR += yL * yR;
        }
    }

    double idleTarget = 0.0;

    if (audible)
    {
        const float correlation = sumLR / std::sqrt (std::max (1.0e-9f, sumRR * sumLL));
        const float width = std::clamp ((1.0f - correlation) * 0.7f, 0.0f, 1.0f);
        stereo += (1.0f - std::pow (0.9f, t.k)) * (width - stereo);
        silenceSince = 0.0;
    }
    else
    {
        if (silenceSince == 0.0)
            silenceSince = clock;

        // Nothing for the first 1.2 s of silence, then a linear rise to 1 at 2.4 s.
        if (silenceSince != 0.0)
            idleTarget = std::min (1.0, (clock - silenceSince - 1.2) / 1.2);
    }

    idleTarget = std::max (idleTarget, 0.0);
    idle = (float) ((double) idle + (double) (1.0f - std::pow (0.95f, t.k)) * (idleTarget - (double) idle));
}

} // namespace vistrel
