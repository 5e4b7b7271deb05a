// Transient side of a tick: spectral flux from the small FFT, the transient/sustain split, the
// kick envelope and its floor, kick, punch, and the four adaptive onset/hit detectors.

#include "analysis/Analysis.h"
#include "analysis/MagnitudeSpectrum.h"
#include "analysis/Detectors.h"

#include <algorithm>
#include <cmath>

namespace vistrel
{

namespace
{
    // Ring counters wrap at a multiple of the ring length, so the slot sequence never jumps
    // and the signed counters cannot overflow during a very long session.
    constexpr int32_t kCounterWrap = Analysis::kDetectorRing * 49'000'000;

    void advanceCounter (int32_t& counter) noexcept
    {
        if (++counter >= kCounterWrap)
            counter -= kCounterWrap;
    }

    /** Stores the input in its ring slot, then one detector step. */
    float detect (std::array<float, Analysis::kDetectorRing>& ring, int32_t counter, float u,
                  DetectorTuning tuning, float& state, float readyF, float decay, bool audible) noexcept
    {
        const int32_t slot = ((counter % Analysis::kDetectorRing) + Analysis::kDetectorRing) % Analysis::kDetectorRing;
        ring[(size_t) slot] = u;

        state = holdOrDecay (detectorCandidate (ring, u, tuning) * readyF, state, decay, audible);
        return state;
    }
} // namespace

void Analysis::analyseFlux (Tick& t)
{
    float* buffer = fftBufSmall.data();
    const float* newest = historyMono.data() + (kFftSize - kSmallFftSize);

    for (int i = 0; i < kSmallFftSize; ++i)
        buffer[i] = newest[i] * windowSmall[(size_t) i];

    std::fill (buffer + kSmallFftSize, buffer + 2 * kSmallFftSize, 0.0f);
    forwardMagnitudes (fftSmall, buffer);

    constexpr float scale = 1.0f / (float) kSmallFftSize;

    for (int i = 0; i < kSmallBins; ++i)
    {
        smallLinear[(size_t) i] = buffer[i] * scale;
        smallLog[(size_t) i] = std::log10 (smallLinear[(size_t) i] * 1000.0f + 1.0f);
    }

    // Flux against a three-bin maximum of the previous spectrum, so that a partial drifting by
    // one bin does not count as a new event. Only rises count; adding the zero of a fall leaves
    // a sum unchanged, so each range is summed in bin order over the clipped differences.
    const float* previous = prevSmallLog.data();
    float rises[kSmallBins];
    rises[0] = 0.0f;

    const auto riseAt = [&] (int j, int next) noexcept
    {
        const float reference = std::max (std::max (previous[j - 1], previous[j]), previous[next]);
        const float d = smallLog[(size_t) j] - reference;
        return d > 0.0f ? d : 0.0f;
    };

    for (int j = 1; j < kSmallBins - 1; ++j)
        rises[j] = riseAt (j, j + 1);

    rises[kSmallBins - 1] = riseAt (kSmallBins - 1, kSmallBins - 1); // the top bin has no upper neighbour

    const auto sumOver = [&rises] (int from, int to) noexcept
    {
        float sum = 0.0f;

        for (int j = std::max (from, 1); j < to; ++j)
            sum += rises[j];

        return sum;
    };

    const float total = sumOver (1, kSmallBins);
    const float mid = sumOver (midFluxLo, midFluxHi);
    const float high = sumOver (highFluxLo, highFluxHi);

    std::copy (smallLog.begin(), smallLog.end(), prevSmallLog.begin());

    t.totalFlux = total / (float) (kSmallBins - 1);
    t.midFlux = mid / (float) std::max (1, midFluxHi - midFluxLo);
    t.highFlux = high / (float) std::max (1, highFluxHi - highFluxLo);

    // Transient share: how far a 20 ms follower stands above a 400 ms one, bin by bin.
    const auto dtc = (float) t.dtc;
    const float fastRate = 1.0f - std::exp (-dtc / 0.02f);
    const float slowRate = 1.0f - std::exp (-dtc / 0.4f);
    float* fast = fastLinear.data();
    float* slow = slowLinear.data();

    for (int j = 1; j < kSmallBins; ++j)
    {
        const float x = smallLinear[(size_t) j];
        fast[j] += fastRate * (x - fast[j]);
        slow[j] += slowRate * (x - slow[j]);
    }

    float transient = 0.0f, sustain = 0.0f;

    for (int j = 1; j < kSmallBins; ++j)
    {
        transient += std::max (fast[j] - slow[j], 0.0f);
        sustain += std::min (fast[j], slow[j]);
    }

    if (audible)
    {
        const float denominator = transient + sustain + 1.0e-12f;
        ts = { transient / denominator, sustain / denominator };
    }
    else
    {
        ts = { 0.0f, 0.0f };
    }
}

void Analysis::updateKickEnvelope (const Tick& t)
{
    const int fresh = kickFill;
    kickFill = 0;

    float peakK = 0.0f;
    const float* newest = historyKick.data() + (kFftSize - fresh);

    for (int i = 0; i < fresh; ++i)
        peakK = std::max (peakK, std::abs (newest[i]));

    kickEnv = std::max (std::exp (-(float) t.dtc / 0.06f) * kickEnv, peakK);
}

void Analysis::updateFloors (const Tick& t)
{
    float baseRms, baseKick;

    if (t.gateOpened)
    {
        // Start the floors near the sound that opened the gate, so its first hit is not
        // measured against the floor left over from silence.
        baseRms = std::max (0.7f * std::max (t.rmsNow, rmsSlow), rmsFloor);
        baseKick = std::max (0.7f * kickEnv, kickFloor);
    }
    else if (audible)
    {
        baseRms = rmsFloor;
        baseKick = kickFloor;
    }
    else
    {
        return;
    }

    const float c = 1.0f - std::pow (0.995f, t.k);
    rmsFloor = baseRms + c * (t.rmsNow - baseRms);
    kickFloor = baseKick + c * (kickEnv - baseKick);
}

void Analysis::updateKick (const Tick& t)
{
    const float candidate = kickCandidate (kickEnv, kickFloor, t.readyF);

    kick = candidate > kick ? candidate : kick * std::pow (0.82f, t.k);

    if (! audible && kick < 0.01f)
        kick = 0.0f;
}

void Analysis::updatePunch (const Tick& t)
{
    const float candidate = punchCandidate (rmsSlow, rmsFloor, t.rmsNow, t.readyF);

    punch = punch < candidate ? candidate : punch * std::pow (0.85f, t.k);

    if (! audible && punch < 0.01f)
        punch = 0.0f;
}

void Analysis::runDetectors (const Tick& t)
{
    const float decay = std::pow (0.86f, t.k);

    onset = detect (totalFluxHistory, totalFluxPos, t.totalFlux, { 0.0035f, 0.0175f },
                    onsetState, t.readyF, decay, audible);
    advanceCounter (totalFluxPos);

    const float kickRise = std::max (0.0f, kickEnv - kickEnvPrev);
    kickEnvPrev = kickEnv;

    hits[0] = detect (kickRiseHistory, bandFluxPos, kickRise, { 0.0025f, 0.0125f },
                      hitState[0], t.readyF, decay, audible);
    hits[1] = detect (midFluxHistory, bandFluxPos, t.midFlux, { 0.0045f, 0.0225f },
                      hitState[1], t.readyF, decay, audible);
    hits[2] = detect (highFluxHistory, bandFluxPos, t.highFlux, { 0.0045f, 0.0225f },
                      hitState[2], t.readyF, decay, audible);
    advanceCounter (bandFluxPos);
}

} // namespace vistrel
