#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include <juce_core/juce_core.h>
#include <juce_dsp/juce_dsp.h>

#include "analysis/AnalysisInputs.h"
#include "analysis/Detectors.h"
#include "analysis/KickFilter.h"
#include "capture/Tap.h"

namespace vistrel
{

/** Length of the sample histories and of the large FFT. */
constexpr int kFftSize = 2048;

/** The feature extractor behind every frame. It lives inside the processor and runs once per
    user-interface tick on the message thread: drain() takes the new samples out of the ring,
    process() computes every feature, formatFrame() writes the frame text.

    All state is kept in plain public fields so that the processor, the tests and the
    benchmarks can inspect exactly what a tick left behind. Storage is sized once at
    construction; a steady tick allocates nothing apart from the frame text. */
class Analysis
{
public:
    static constexpr int kSmallFftSize = kFftSize / 2;
    static constexpr int kLargeBins = kFftSize / 2;
    static constexpr int kSmallBins = kSmallFftSize / 2;
    static constexpr int kBands = 256;
    static constexpr int kDetectorRing = kDetectorHistory;
    static constexpr int kLoudWindow = 160;
    static constexpr int kOnsetBins = 360;
    static constexpr int kBpmHistory = 5;
    static constexpr int kRowLength = 256;
    static constexpr int kRows = 4;

    Analysis();

    /** Rebuilds the rate-dependent tables, the tempo tracker, the display gain and the floors,
        then resets the signal state. A rate that is not positive, or unchanged, is ignored. */
    void setSampleRate (double newSampleRate);

    /** Clears the signal state; tables, spectrum, display gain, floors and the tempo tracker stay. */
    void reset();

    /** Harmonic autocorrelation score of the centred onset envelope at a lag in 60 Hz bins. */
    double btComb (double lag) const;

    /** Takes every sample the audio thread has published since the last call (at most one ring). */
    void drain (Tap& tap);

    /** One tick of feature extraction over the current histories. */
    void process (double dt, const ParamSnapshot& params, const TransportSnapshot& transport);

    /** The frame text of the values the last tick left behind. */
    juce::String formatFrame (const FrameLiveValues& live) const;

    //==============================================================================
    juce::dsp::FFT fftLarge { 11 };
    juce::dsp::FFT fftSmall { 10 };
    double sampleRate = 0.0;
    double windowNorm = 0.0;
    std::array<float, kFftSize> windowLarge {};
    std::array<float, kSmallFftSize> windowSmall {};
    std::array<float, 2 * kFftSize> fftBufLarge {};
    std::array<float, 2 * kSmallFftSize> fftBufSmall {};
    std::array<float, kLargeBins> binWeight {};
    std::array<float, kSmallBins> smallLinear {};
    std::array<float, kSmallBins> smallLog {};
    std::vector<float> spectrum;
    std::vector<float> prevSmallLog;
    std::vector<float> fastLinear;
    std::vector<float> slowLinear;
    std::vector<float> historyMono;
    std::vector<float> historyLeft;
    std::vector<float> historyRight;
    std::vector<float> historyKick;
    std::vector<float> kickScratch;
    std::array<std::pair<int32_t, int32_t>, kBands> bandBins {};
    std::array<float, kBands> bandWeight {};
    std::array<float, kBands> bandLog2Centre {};
    std::array<float, kBands> bandLevel {};
    std::array<float, kDetectorRing> totalFluxHistory {};
    std::array<float, kDetectorRing> kickRiseHistory {};
    std::array<float, kDetectorRing> midFluxHistory {};
    std::array<float, kDetectorRing> highFluxHistory {};
    int32_t totalFluxPos = 0;
    int32_t bandFluxPos = 0;
    float onsetState = 0.0f;
    float displayGain = 1.0f;
    std::array<float, 3> hitState {};
    std::array<float, 3> bandEnv {};
    float rmsSlow = 0.0f;
    float rmsFloor = 1.0e-4f;
    float kickFloor = 1.0e-4f;
    float kickEnv = 0.0f;
    float kickEnvPrev = 0.0f;
    std::array<float, 3> timbreState {};
    KickFilterCoefficients kickFilter;
    KickFilterState kickFilterState;
    int32_t midFluxLo = 0, highFluxLo = 0, midFluxHi = 0, highFluxHi = 0;
    int32_t kickFill = 0;
    int32_t warmupTicks = 0;
    std::array<float, 11> scopeKernelMono {};
    std::array<float, 7> scopeKernelStereo {};
    std::array<double, kLoudWindow> loudPower {};
    std::array<double, kLoudWindow> loudSpan {};
    int32_t loudHead = 0;
    int32_t loudCount = 0;
    double loudPowerSum = 0.0;
    double loudSpanSum = 0.0;
    double loudMeanPower = 0.0;
    bool audible = false;
    double clock = 0.0;
    double silenceSince = 0.0;
    double freeBeat = 0.0;
    std::array<double, kOnsetBins> onsetBins {};
    std::array<double, kOnsetBins> onsetCentred {};
    std::array<double, kBpmHistory> bpmHistory {};
    int32_t onsetBinPos = 0;
    int32_t bpmHistoryPos = 0;
    int32_t bpmHistoryFilled = 0;
    uint64_t binsWritten = 0;
    uint64_t lastAnalysisBin = 0;
    double binAccum = 0.0;
    double binHold = 0.0;
    double bpmSmoothed = 120.0;
    double bpmTarget = 120.0;
    double beatPos = 0.0;
    double phasePending = 0.0;
    double confSmoothed = 0.0;
    double confRaw = 0.0;
    double tempoPrior = 120.0;
    bool hostTempoValid = false;
    uint8_t rows[kRows][kRowLength] {};
    float rms = 0.0f, peak = 0.0f, onset = 0.0f;
    std::array<float, 3> bands {};
    float stereo = 0.0f, idle = 1.0f, beatPhase = 0.0f, barPhase = 0.0f, bpm = 120.0f, punch = 0.0f,
          kick = 0.0f, loud = 0.0f;
    std::array<float, 3> hits {};
    std::array<float, 3> timbre {};
    std::array<float, 2> ts {};
    float beatConf = 0.0f;
    int32_t tsNum = 4, tsDen = 4;

private:
    /** Values one tick hands from step to step; none of them survives the tick. */
    struct Tick
    {
        double dtc = 0.0;
        float k = 0.0f;
        double kPower = 0.0;
        double lufs = 0.0;
        bool gateOpened = false;
        bool ready = false;
        float readyF = 0.0f;
        float sumV = 0.0f, sumWV = 0.0f, sumW = 0.0f, sumCV = 0.0f, sumLn = 0.0f;
        float rangeSum[3] {};
        int rangeCount[3] {};
        float totalFlux = 0.0f, midFlux = 0.0f, highFlux = 0.0f;
        float rmsNow = 0.0f, peakNow = 0.0f;
    };

    void resetTempoTracker();
    void resetLoudnessWindow();

    // Spectrum, loudness, bands and levels
    void analyseSpectrum (Tick&);
    void updateLoudness (Tick&);
    void passBands (Tick&, const ParamSnapshot&);
    void updateDisplayGainAndTimbre (Tick&);
    void measureBlock (Tick&);
    void updateBandsAndRms (const Tick&, const ParamSnapshot&);
    void updatePeak (const Tick&, const ParamSnapshot&);
    void dropOldestLoudnessEntry();

    // Transients
    void analyseFlux (Tick&);
    void updateKickEnvelope (const Tick&);
    void updateFloors (const Tick&);
    void updateKick (const Tick&);
    void updatePunch (const Tick&);
    void runDetectors (const Tick&);

    // Waveform rows, stereo width, idle
    void drawScope (const Tick&);

    // Tempo and beat phase
    void trackTempo (const Tick&, const ParamSnapshot&, const TransportSnapshot&);
    void analyseTempo();
    double tempoScore (double lag, double sigma) const;

    // Band ranges by centre frequency: bass below 160 Hz, mid below 2 kHz, high above.
    int bassBandEnd = 0;
    int midBandEnd = 0;

    JUCE_DECLARE_NON_COPYABLE (Analysis)
};

} // namespace vistrel
