#include "analysis/Analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/AnalysisTables.h"
#include "analysis/KWeighting.h"
#include "analysis/LevelBytes.h"

namespace vistrel
{

namespace
{
    /** Moves a history n places towards index 0 and appends the n newest values at the top. */
    void appendToHistory (std::vector<float>& history, const float* newest, int n) noexcept
    {
        const int length = (int) history.size();
        float* h = history.data();

        if (n >= length)
        {
            std::memcpy (h, newest + (n - length), sizeof (float) * (size_t) length);
            return;
        }

        std::memmove (h, h + n, sizeof (float) * (size_t) (length - n));
        std::memcpy (h + (length - n), newest, sizeof (float) * (size_t) n);
    }

    /** Copies n samples that start at a ring position, wrapping at the end of the ring. */
    void copyFromRing (const std::vector<float>& ring, uint64_t start, uint64_t mask, float* out, int n) noexcept
    {
        const auto first = (size_t) (start & mask);
        const auto untilWrap = std::min ((size_t) n, ring.size() - first);
        std::memcpy (out, ring.data() + first, sizeof (float) * untilWrap);
        std::memcpy (out + untilWrap, ring.data(), sizeof (float) * ((size_t) n - untilWrap));
    }
} // namespace

Analysis::Analysis()
    : spectrum ((size_t) kLargeBins, 0.0f),
      prevSmallLog ((size_t) kSmallBins, 0.0f),
      fastLinear ((size_t) kSmallBins, 0.0f),
      slowLinear ((size_t) kSmallBins, 0.0f),
      historyMono ((size_t) kFftSize, 0.0f),
      historyLeft ((size_t) kFftSize, 0.0f),
      historyRight ((size_t) kFftSize, 0.0f),
      historyKick ((size_t) kFftSize, 0.0f)
{
    fillHannWindow (windowLarge.data(), kFftSize);
    fillHannWindow (windowSmall.data(), kSmallFftSize);
    windowNorm = windowPowerNorm (windowLarge.data(), kFftSize);

    fillScopeKernel (scopeKernelMono.data(), (int) scopeKernelMono.size(), 4.0);
    fillScopeKernel (scopeKernelStereo.data(), (int) scopeKernelStereo.size(), 2.0);

    for (int b = 0; b < kBands; ++b)
        bandLog2Centre[(size_t) b] = (float) std::log2 (bandCentreHz (b));

    // The ranges are decided on the centre as the single-precision table gives it back, so
    // that a band sitting on a boundary lands where its stored centre says it is.
    bassBandEnd = 0;
    midBandEnd = 0;

    for (int b = 0; b < kBands; ++b)
    {
        const float centre = std::exp2 (bandLog2Centre[(size_t) b]);
        bassBandEnd += centre < 160.0f ? 1 : 0;
        midBandEnd += centre < 2000.0f ? 1 : 0;
    }

    // The level-step table is shared by all instances; build it here rather than in a tick.
    levelByte (0.0f);

    displayGain = 1.0f;
    rmsFloor = 1.0e-4f;
    kickFloor = 1.0e-4f;
    resetTempoTracker();

    reset();
    setSampleRate (48000.0);
}

void Analysis::setSampleRate (double newSampleRate)
{
    if (! (newSampleRate > 0.0) || newSampleRate == sampleRate)
        return;

    sampleRate = newSampleRate;
    const double binHz = sampleRate / (double) kFftSize;

    for (int b = 0; b < kBands; ++b)
    {
        bandBins[(size_t) b] = bandBinRange (b, binHz);
        bandWeight[(size_t) b] = kWeightingMagnitude (bandCentreHz (b), sampleRate);
    }

    for (int j = 0; j < kLargeBins; ++j)
        binWeight[(size_t) j] = kWeightingMagnitude ((double) j * binHz, sampleRate);

    const auto flux = fluxRangesFor (sampleRate);
    midFluxLo = flux.midLo;
    midFluxHi = flux.midHi;
    highFluxLo = flux.highLo;
    highFluxHi = flux.highHi;

    kickFilter = designKickFilter (sampleRate);

    // Everything learnt at the old rate describes a different signal scale; start over.
    displayGain = 1.0f;
    rmsFloor = 1.0e-4f;
    kickFloor = 1.0e-4f;
    std::fill (spectrum.begin(), spectrum.end(), 0.0f);
    resetTempoTracker();

    reset();
}

void Analysis::resetTempoTracker()
{
    onsetBins.fill (0.0);
    onsetCentred.fill (0.0);
    bpmHistory.fill (120.0);
    onsetBinPos = 0;
    bpmHistoryPos = 0;
    bpmHistoryFilled = 0;
    binsWritten = 0;
    lastAnalysisBin = 0;
    binAccum = 0.0;
    binHold = 0.0;
    bpmSmoothed = 120.0;
    bpmTarget = 120.0;
    beatPos = 0.0;
    phasePending = 0.0;
    confSmoothed = 0.0;
    confRaw = 0.0;
    tempoPrior = 120.0;
    hostTempoValid = false;
}

void Analysis::resetLoudnessWindow()
{
    loudPower.fill (0.0);
    loudSpan.fill (0.0);
    loudHead = 0;
    loudCount = 0;
    loudPowerSum = 0.0;
    loudSpanSum = 0.0;
    loudMeanPower = 0.0;
    audible = false;
}

void Analysis::reset()
{
    for (auto* history : { &historyMono, &historyLeft, &historyRight, &historyKick })
        std::fill (history->begin(), history->end(), 0.0f);

    for (auto* bins : { &prevSmallLog, &fastLinear, &slowLinear })
        std::fill (bins->begin(), bins->end(), 0.0f);

    hitState.fill (0.0f);
    totalFluxHistory.fill (0.0f);
    kickRiseHistory.fill (0.0f);
    midFluxHistory.fill (0.0f);
    highFluxHistory.fill (0.0f);
    totalFluxPos = 0;
    bandFluxPos = 0;
    onsetState = 0.0f;

    bandEnv.fill (0.0f);
    rmsSlow = 0.0f;
    kickEnv = 0.0f;
    kickEnvPrev = 0.0f;
    timbreState.fill (0.0f);
    kickFilterState = {};
    kickFill = 0;
    warmupTicks = 0;

    resetLoudnessWindow();

    clock = 0.0;
    silenceSince = 0.0;
    freeBeat = 0.0;

    std::memset (rows, 0, sizeof (rows));

    rms = peak = onset = 0.0f;
    bands.fill (0.0f);
    stereo = 0.0f;
    idle = 1.0f;
    beatPhase = barPhase = 0.0f;
    bpm = 120.0f;
    punch = kick = loud = 0.0f;
    hits.fill (0.0f);
    timbre.fill (0.0f);
    ts.fill (0.0f);
    beatConf = 0.0f;
    tsNum = tsDen = 4;
}

void Analysis::drain (Tap& tap)
{
    const uint64_t w = tap.writePos.load (std::memory_order_acquire);

    if (w <= tap.readPos)
        return;

    const auto capacity = (uint64_t) tap.capacity;
    uint64_t available = w - tap.readPos;

    if (available > capacity)
    {
        tap.readPos = w - capacity;
        available = capacity;
    }

    const int n = (int) available;

    for (int c = 0; c < 3; ++c)
    {
        tap.scratch[c].resize ((size_t) n);
        copyFromRing (tap.ring[c], tap.readPos, (uint64_t) tap.mask, tap.scratch[c].data(), n);
    }

    tap.readPos = w;

    kickScratch.resize ((size_t) n);
    runKickFilter (kickFilter, kickFilterState, tap.scratch[0].data(), kickScratch.data(), n);
    kickFill = std::min (kickFill + n, kFftSize);

    appendToHistory (historyMono, tap.scratch[0].data(), n);
    appendToHistory (historyLeft, tap.scratch[1].data(), n);
    appendToHistory (historyRight, tap.scratch[2].data(), n);
    appendToHistory (historyKick, kickScratch.data(), n);
}

void Analysis::process (double dt, const ParamSnapshot& params, const TransportSnapshot& transport)
{
    Tick t;

    // Written so that a NaN interval also falls to the lower limit instead of poisoning the clock.
    t.dtc = dt >= 1.0e-4 ? std::min (dt, 0.25) : 1.0e-4;
    clock += t.dtc;
    t.k = (float) (60.0 * t.dtc);

    analyseSpectrum (t);
    updateLoudness (t);
    passBands (t, params);
    updateDisplayGainAndTimbre (t);
    analyseFlux (t);
    updateKickEnvelope (t);
    measureBlock (t);
    updateFloors (t);

    updateKick (t);
    updateBandsAndRms (t, params);
    updatePunch (t);
    updatePeak (t, params);

    runDetectors (t);
    drawScope (t);
    trackTempo (t, params, transport);
}

} // namespace vistrel
