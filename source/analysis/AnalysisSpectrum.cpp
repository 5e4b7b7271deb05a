// Large-FFT side of a tick: spectrum, momentary loudness and its gate, the 256-band picture,
// the display gain, timbre and the level outputs.

#include "analysis/Analysis.h"
#include "analysis/LevelBytes.h"
#include "analysis/MagnitudeSpectrum.h"

#include <algorithm>
#include <cmath>

namespace vistrel
{

namespace
{
    constexpr double kLoudWindowSeconds = 0.4;
    constexpr double kGateCloseLufs = -60.0;
    constexpr double kGateOpenLufs = -52.0;

    /** Per byte value m: m / 255 and ln(m / 255 + 1e-4), exactly as the band pass would
        compute them, so that a tick spends no division or logarithm on them. */
    struct ByteTables
    {
        std::array<float, 256> fraction {};
        std::array<float, 256> logLevel {};

        ByteTables()
        {
            for (int m = 0; m < 256; ++m)
            {
                fraction[(size_t) m] = (float) m / 255.0f;
                logLevel[(size_t) m] = std::log (fraction[(size_t) m] + 1.0e-4f);
            }
        }
    };

    const ByteTables& byteTables()
    {
        static const ByteTables tables;
        return tables;
    }
} // namespace

void Analysis::analyseSpectrum (Tick& t)
{
    float* buffer = fftBufLarge.data();
    const float* mono = historyMono.data();

    for (int i = 0; i < kFftSize; ++i)
        buffer[i] = mono[i] * windowLarge[(size_t) i];

    std::fill (buffer + kFftSize, buffer + 2 * kFftSize, 0.0f);
    forwardMagnitudes (fftLarge, buffer);

    constexpr float scale = 1.0f / (float) kFftSize;
    float* smoothed = spectrum.data();
    const float* weights = binWeight.data();

    for (int j = 0; j < kLargeBins; ++j)
        smoothed[j] = 0.5f * smoothed[j] + 0.5f * (buffer[j] * scale);

    // Four partial sums keep the double additions from waiting on each other.
    double partial[4] {};

    for (int j = 0; j < kLargeBins; j += 4)
    {
        for (int lane = 0; lane < 4; ++lane)
        {
            const auto weighted = (double) (weights[j + lane] * smoothed[j + lane]);
            partial[lane] += weighted * weighted;
        }
    }

    const double kPower = (partial[0] + partial[1]) + (partial[2] + partial[3]);

    t.kPower = kPower * windowNorm;
}

void Analysis::dropOldestLoudnessEntry()
{
    const auto head = (size_t) loudHead;
    loudPowerSum -= loudPower[head] * loudSpan[head];
    loudSpanSum -= loudSpan[head];
    loudHead = (loudHead + 1) % kLoudWindow;
    --loudCount;
}

void Analysis::updateLoudness (Tick& t)
{
    if (loudCount == kLoudWindow)
        dropOldestLoudnessEntry();

    const bool hadEntries = loudCount > 0;
    const auto slot = (size_t) ((loudHead + loudCount) % kLoudWindow);
    loudPower[slot] = t.kPower;
    loudSpan[slot] = t.dtc;
    loudPowerSum += t.kPower * t.dtc;
    loudSpanSum += t.dtc;
    ++loudCount;

    // Keep the shortest run of newest ticks that still spans the window length.
    if (hadEntries)
        while (loudCount > 1 && loudSpanSum - loudSpan[(size_t) loudHead] >= kLoudWindowSeconds)
            dropOldestLoudnessEntry();

    // The running power sum can end a hair below zero once only silence is left in the window
    // (what was added is subtracted again with different rounding); a negative mean would turn
    // the logarithm into NaN and jam the gate open, so it is held at zero.
    loudMeanPower = loudSpanSum > 0.0 ? std::max (0.0, loudPowerSum / loudSpanSum) : 0.0;
    t.lufs = 10.0 * std::log10 (loudMeanPower + 1.0e-20) - 0.691;

    const bool wasAudible = audible;

    if (audible && t.lufs < kGateCloseLufs)
        audible = false;
    else if (! audible && t.lufs > kGateOpenLufs)
        audible = true;

    t.gateOpened = audible && ! wasAudible;

    if (warmupTicks < 1000)
        ++warmupTicks;

    loud = (float) std::clamp ((t.lufs + 60.0) / 60.0, 0.0, 1.0);
}

void Analysis::passBands (Tick& t, const ParamSnapshot& params)
{
    const auto& tables = byteTables();
    const float decay = std::pow (0.78f, t.k);

    const float* smoothed = spectrum.data();

    for (int b = 0; b < kBands; ++b)
    {
        const auto [lo, hi] = bandBins[(size_t) b];
        float m = 0.0f;

        // The level byte never falls as the magnitude grows, so the band's loudest bin gives the
        // band's level: one table lookup per band rather than one per bin.
        for (int j = lo; j < hi; ++j)
            m = std::max (m, smoothed[j]);

        const auto level = (size_t) levelByte (m);
        const float v = tables.fraction[level];
        bandLevel[(size_t) b] = v;

        // The gain from before this tick's update: the picture follows the gain one tick late.
        const float x = std::min (1.0f, v * displayGain * params.sensGain);

        // Rises show at once; falls decay at 0.78 per 1/60 s.
        const float previous = tables.fraction[rows[0][b]];
        const float decayed = previous * decay + (1.0f - decay) * x;
        const float shown = previous < x ? x : decayed;
        rows[0][b] = (uint8_t) std::clamp (std::trunc (shown * 255.0f), 0.0f, 255.0f);

        const float weight = bandWeight[(size_t) b];
        t.sumV += v;
        t.sumWV += weight * v;
        t.sumW += weight;
        t.sumCV += bandLog2Centre[(size_t) b] * v;
        t.sumLn += tables.logLevel[level];

        const int range = b < bassBandEnd ? 0 : (b < midBandEnd ? 1 : 2);
        t.rangeSum[range] += x;
        ++t.rangeCount[range];
    }
}

void Analysis::updateDisplayGainAndTimbre (Tick& t)
{
    t.ready = warmupTicks >= 4 && audible;
    t.readyF = t.ready ? 1.0f : 0.0f;

    // Only adapt to what is actually playing; silence would otherwise pump the gain to its cap.
    if (audible)
    {
        const float meanLevel = t.sumWV / std::max (1.0e-6f, t.sumW);
        const float target = std::clamp (0.22f / std::max (1.0e-4f, meanLevel), 1.0f, 12.0f);
        displayGain += (1.0f - std::pow (0.994f, t.k)) * (target - displayGain);
    }

    if (audible && t.sumV > 0.01f)
    {
        const float total = std::max (1.0e-6f, t.sumV);

        // log2(20) and log2(800): mean band centre on the 20 Hz..16 kHz log axis.
        const float brightness = std::clamp ((t.sumCV / total - 4.321928f) / 9.643856f, 0.0f, 1.0f);

        const float rollOffLevel = 0.85f * total;
        float running = 0.0f;
        int rollOffBand = kBands - 1;

        for (int b = 0; b < kBands; ++b)
        {
            running += bandLevel[(size_t) b];

            if (running >= rollOffLevel)
            {
                rollOffBand = b;
                break;
            }
        }

        const float rollOff = (float) rollOffBand / 255.0f;
        const float flatness = std::min (1.0f, std::exp (t.sumLn / 256.0f) / (total / 256.0f + 1.0e-4f));

        const float c = 1.0f - std::pow (0.85f, t.k);
        timbreState[0] += c * (brightness - timbreState[0]);
        timbreState[1] += c * (rollOff - timbreState[1]);
        timbreState[2] += c * (flatness - timbreState[2]);
    }

    timbre = timbreState;
}

void Analysis::measureBlock (Tick& t)
{
    const float* newest = historyMono.data() + (kFftSize - kSmallFftSize);
    float sumSquares = 0.0f;
    float largest = 0.0f;

    for (int i = 0; i < kSmallFftSize; ++i)
    {
        sumSquares += newest[i] * newest[i];
        largest = std::max (largest, std::abs (newest[i]));
    }

    t.rmsNow = std::sqrt (sumSquares / (float) kSmallFftSize);
    t.peakNow = largest;

    // Quick to rise, slower to fall.
    const float c = t.rmsNow > rmsSlow ? std::pow (0.5f, t.k) : std::pow (0.88f, t.k);
    rmsSlow = c * rmsSlow + (1.0f - c) * t.rmsNow;
}

void Analysis::updateBandsAndRms (const Tick& t, const ParamSnapshot& params)
{
    const float weights[3] = { params.wBass, params.wMid, params.wHigh };
    const float boosts[3] = { 1.35f, 1.35f, 1.6f };

    const auto dtc = (float) t.dtc;
    const float attack = std::exp (-dtc / std::max (params.attackSeconds, 1.0e-4f));
    const float release = std::exp (-dtc / std::max (params.releaseSeconds, 1.0e-4f));

    for (int i = 0; i < 3; ++i)
    {
        const float target = std::min (1.0f, weights[i] * boosts[i] * t.rangeSum[i]
                                                  / (float) std::max (1, t.rangeCount[i]));
        const float coef = bandEnv[(size_t) i] < target ? attack : release;
        bandEnv[(size_t) i] = target + coef * (bandEnv[(size_t) i] - target);
    }

    bands = bandEnv;

    const float rmsTarget = std::min (1.0f, 2.2f * t.rmsNow * params.sensGain * std::min (8.0f, displayGain));
    const float c = rms < rmsTarget ? std::pow (0.6f, t.k) : std::pow (0.9f, t.k);
    rms = c * rms + (1.0f - c) * rmsTarget;
}

void Analysis::updatePeak (const Tick& t, const ParamSnapshot& params)
{
    peak = std::max (std::pow (0.85f, t.k) * peak,
                     std::min (1.0f, 1.5f * t.peakNow * params.sensGain * std::min (8.0f, displayGain)));
}

} // namespace vistrel
