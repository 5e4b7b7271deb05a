// Tempo tracking and beat phase: a 60 Hz onset envelope over the last 6 s, a harmonic comb over
// candidate beat periods weighted by a tempo prior, a median over accepted estimates, and a beat
// counter nudged towards the grid found in the envelope. The host transport can take over.

#include "analysis/Analysis.h"

#include <algorithm>
#include <cmath>

namespace vistrel
{

namespace
{
    constexpr int kEnvelope = Analysis::kOnsetBins;
    constexpr int kLastBin = kEnvelope - 1;
    constexpr double kBinSeconds = 1.0 / 60.0;
    constexpr double kLongestCombLag = 216.0; // 3.6 s: comb terms beyond this are left out
    constexpr int kMinLag = 18;               // 200 BPM
    constexpr int kMaxLag = 60;               // 60 BPM
    constexpr int kLagCount = kMaxLag - kMinLag + 1;
    constexpr int kMaxExtraBinsPerTick = 15;

    double frac (double x) noexcept { return x - std::floor (x); }

    /** The envelope read at a fractional position, held at both ends. */
    double envelopeAt (const double* c, double p) noexcept
    {
        if (p <= 0.0)
            return c[0];

        if (p >= (double) kLastBin)
            return c[kLastBin];

        const auto i = (int) p;
        return c[i] + (c[i + 1] - c[i]) * (p - (double) i);
    }

    /** Mean of c[n] * c(n - lag) over the overlap. Integer lags need no interpolation (the
        interpolated value is then exactly c[n - lag]); fractional lags interpolate with a
        fraction that is the same for every n, so the index is found once. */
    double autocorrelation (const double* c, double lag) noexcept
    {
        const double first = std::ceil (lag);

        if (first > (double) kLastBin)
            return 0.0;

        // Lags below zero would read before the envelope; the overlap then starts at 0.
        const int start = std::max (0, (int) first);
        double sum = 0.0;

        if (first == lag && lag >= 0.0)
        {
            const int shift = (int) lag;
            double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
            int n = start;

            for (; n + 3 <= kLastBin; n += 4)
            {
                s0 += c[n] * c[n - shift];
                s1 += c[n + 1] * c[n + 1 - shift];
                s2 += c[n + 2] * c[n + 2 - shift];
                s3 += c[n + 3] * c[n + 3 - shift];
            }

            for (; n <= kLastBin; ++n)
                s0 += c[n] * c[n - shift];

            sum = (s0 + s1) + (s2 + s3);
        }
        else if (lag > 0.0)
        {
            // For n >= ceil(lag) the position n - lag lies in [0, 359 - lag]: its whole part is
            // n - ceil(lag) and its fraction ceil(lag) - lag, the same for every n.
            const int shift = (int) first;
            const double f = first - lag;
            double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
            int n = start;

            const auto term = [c, shift, f] (int k) noexcept
            {
                const double* p = c + (k - shift);
                return c[k] * (p[0] + (p[1] - p[0]) * f);
            };

            for (; n + 3 <= kLastBin; n += 4)
            {
                s0 += term (n);
                s1 += term (n + 1);
                s2 += term (n + 2);
                s3 += term (n + 3);
            }

            for (; n <= kLastBin; ++n)
                s0 += term (n);

            sum = (s0 + s1) + (s2 + s3);
        }
        else
        {
            for (int n = start; n <= kLastBin; ++n)
                sum += c[n] * envelopeAt (c, (double) n - lag);
        }

        return sum / ((double) kEnvelope - first);
    }

    /** 0.85^j: older beats count less when the phase comb is laid over the envelope. */
    const std::array<double, 16>& phaseProbeWeights()
    {
        static const auto weights = []
        {
            std::array<double, 16> w {};

            for (int j = 0; j < 16; ++j)
                w[(size_t) j] = std::pow (0.85, (double) j);

            return w;
        }();

        return weights;
    }

    double gaussianOctaves (double bpm, double centreBpm, double sigma) noexcept
    {
        const double octaves = std::log2 (bpm / centreBpm) / sigma;
        return std::exp (-0.5 * octaves * octaves);
    }
} // namespace

double Analysis::btComb (double lag) const
{
    if (! (lag <= kLongestCombLag))
        return 0.0;

    const double* c = onsetCentred.data();
    double score = autocorrelation (c, lag);

    if (2.0 * lag > kLongestCombLag)
        return score;

    score += 0.5 * autocorrelation (c, 2.0 * lag);

    if (3.0 * lag > kLongestCombLag)
        return score;

    score += autocorrelation (c, 3.0 * lag) / 3.0;

    if (4.0 * lag > kLongestCombLag)
        return score;

    return score + 0.25 * autocorrelation (c, 4.0 * lag);
}

double Analysis::tempoScore (double lag, double sigma) const
{
    return (0.85 * gaussianOctaves (3600.0 / lag, tempoPrior, sigma) + 0.15) * btComb (lag);
}

void Analysis::trackTempo (const Tick& t, const ParamSnapshot& params, const TransportSnapshot& transport)
{
    const double dtc = t.dtc;

    hostTempoValid = transport.hasBpm && transport.bpm > 0.0;
    tempoPrior = hostTempoValid ? std::clamp (transport.bpm, 40.0, 300.0) : 120.0;

    const double onsetValue = t.ready ? (double) t.totalFlux : 0.0;
    binHold = std::max (binHold, onsetValue);

    // Envelope at a fixed 60 Hz whatever the tick rate. A stalled tick leaves a gap of zeros
    // rather than flooding the envelope.
    binAccum += dtc;

    if (binAccum >= kBinSeconds)
    {
        onsetBins[(size_t) onsetBinPos] = binHold;
        onsetBinPos = (onsetBinPos + 1) % kEnvelope;
        binAccum -= kBinSeconds;
        int written = 1;

        while (binAccum >= kBinSeconds && written - 1 < kMaxExtraBinsPerTick)
        {
            onsetBins[(size_t) onsetBinPos] = 0.0;
            onsetBinPos = (onsetBinPos + 1) % kEnvelope;
            binAccum -= kBinSeconds;
            ++written;
        }

        binsWritten += (uint64_t) written;
        binHold = 0.0;
    }

    if (binsWritten - lastAnalysisBin >= 6)
    {
        lastAnalysisBin = binsWritten;
        analyseTempo();
    }

    const double confTau = confRaw > confSmoothed ? 0.3 : 0.6;
    confSmoothed += (1.0 - std::exp (-dtc / confTau)) * (confRaw - confSmoothed);
    bpmSmoothed += (1.0 - std::exp (-2.0 * dtc)) * (bpmTarget - bpmSmoothed);

    const double increment = dtc * bpmSmoothed / 60.0;
    beatPos += increment;

    // Work off the phase correction without ever running backwards or more than doubling speed.
    if (phasePending != 0.0)
    {
        const double step = std::clamp ((1.0 - std::exp (-dtc / 0.35)) * phasePending, -increment, increment);
        beatPos += step;
        phasePending -= step;
    }

    while (beatPos >= 16.0)
        beatPos -= 16.0;

    const double hostBpm = hostTempoValid ? transport.bpm : 120.0;
    const bool useHost = params.beatSource <= 0
                      || (params.beatSource >= 2 && transport.playing && transport.hasPpq && hostTempoValid);

    if (useHost)
    {
        tsNum = transport.tsNum > 0 ? transport.tsNum : 4;
        tsDen = transport.tsDen > 0 ? transport.tsDen : 4;
        const double barLength = std::max (0.25, 4.0 * (double) tsNum / (double) tsDen);

        bpm = (float) hostBpm;

        if (transport.playing && transport.hasPpq)
        {
            beatPhase = (float) frac (transport.ppq);
            const double inBar = transport.hasBarStart ? transport.ppq - transport.barStartPpq : transport.ppq;
            barPhase = (float) frac (inBar / barLength);
        }
        else
        {
            freeBeat += dtc * hostBpm / 60.0;
            beatPhase = (float) frac (freeBeat);
            barPhase = (float) frac (freeBeat / barLength);
        }
    }
    else
    {
        freeBeat += increment;
        tsNum = 4;
        tsDen = 4;
        bpm = (float) bpmSmoothed;
        beatPhase = (float) frac (beatPos);
        barPhase = (float) frac (beatPos * 0.25);
    }

    beatConf = (float) confSmoothed;
}

void Analysis::analyseTempo()
{
    double total = 0.0;
    int nonZero = 0;

    for (const double bin : onsetBins)
    {
        total += bin;
        nonZero += bin > 1.0e-6 ? 1 : 0;
    }

    const double mean = total / (double) kEnvelope;
    double energy = 0.0;

    for (int i = 0; i < kEnvelope; ++i)
    {
        const double centred = std::max (onsetBins[(size_t) ((onsetBinPos + i) % kEnvelope)] - mean, 0.0);
        onsetCentred[(size_t) i] = centred;
        energy += centred * centred;
    }

    if (energy / (double) kEnvelope <= 1.0e-12)
    {
        confRaw = 0.0;
        return;
    }

    const double sigma = hostTempoValid ? 0.4 : 0.85;

    // Coarse search over whole-bin lags, 200 down to 60 BPM.
    double scores[kLagCount];
    double scoreSum = 0.0;
    double best = -1.0;
    int bestIndex = 0;

    for (int index = 0; index < kLagCount; ++index)
    {
        scores[index] = tempoScore ((double) (kMinLag + index), sigma);
        scoreSum += scores[index];

        if (scores[index] > best)
        {
            best = scores[index];
            bestIndex = index;
        }
    }

    const int bestLag = kMinLag + bestIndex;

    // The strongest competitor that is not just the shoulder of the best peak.
    const int exclusion = std::max (2, (int) std::round ((double) bestLag / 4.0));
    double second = 0.0;

    for (int index = 0; index < kLagCount; ++index)
        if (std::abs (index - bestIndex) > exclusion)
            second = std::max (second, scores[index]);

    // Fine search in steps of 0.05 bins around the best whole lag.
    double fineLag = (double) bestLag;
    double fineBest = best;

    for (int offset = -20; offset <= 20; ++offset)
    {
        const double lag = std::clamp ((double) bestLag + 0.05 * (double) offset, (double) kMinLag, (double) kMaxLag);
        const double score = tempoScore (lag, sigma);

        if (score > fineBest)
        {
            fineBest = score;
            fineLag = lag;
        }
    }

    const double fineBpm = 3600.0 / fineLag;
    const double* c = onsetCentred.data();

    const double sharp = 0.5 + 0.5 * std::clamp (2.5 * (1.0 - second / std::max (1.0e-12, best)), 0.0, 1.0);
    const double prominence = std::clamp ((best / std::max (1.0e-12, scoreSum / (double) kLagCount) - 1.0) / 6.0, 0.0, 1.0);

    double correlation = 0.0;
    {
        const double first = std::ceil (fineLag);

        if (first <= (double) kLastBin)
        {
            double cross = 0.0, selfEnergy = 0.0, shiftedEnergy = 0.0;

            for (int n = (int) first; n <= kLastBin; ++n)
            {
                const double shifted = envelopeAt (c, (double) n - fineLag);
                cross += c[n] * shifted;
                selfEnergy += c[n] * c[n];
                shiftedEnergy += shifted * shifted;
            }

            const double root = std::sqrt (selfEnergy * shiftedEnergy);

            if (root > 1.0e-30)
                correlation = std::clamp (2.0 * cross / root, 0.0, 1.0);
        }
    }

    const double prior = hostTempoValid ? gaussianOctaves (fineBpm, tempoPrior, 0.6) : 1.0;
    const double density = std::clamp (((double) nonZero / (double) kEnvelope - 0.35) * 4.0, 0.0, 1.0);

    confRaw = std::clamp (prominence * sharp * correlation * prior * density, 0.0, 1.0);

    if (! (density > 0.0 && confRaw >= 0.25))
        return;

    if (bpmHistoryFilled == 0)
    {
        bpmHistory.fill (fineBpm);
        bpmHistoryFilled = 1;
        bpmHistoryPos = 0;
    }

    bpmHistory[(size_t) bpmHistoryPos] = fineBpm;
    bpmHistoryPos = (bpmHistoryPos + 1) % kBpmHistory;

    auto sorted = bpmHistory;
    std::sort (sorted.begin(), sorted.end());
    bpmTarget = sorted[kBpmHistory / 2];

    // Phase: which shift of a comb of beat-spaced probes, anchored at the newest bin, collects
    // the most onset energy (older beats weigh less).
    const double period = 3600.0 / std::max (30.0, bpmSmoothed);
    double bestPhaseScore = -1.0;
    double bestShift = 0.0;
    const auto& probeWeights = phaseProbeWeights();

    for (int q = 0; q < 64; ++q)
    {
        const double shift = period * (double) q / 64.0;
        const double anchor = (double) kLastBin - shift;
        double weighted = 0.0, weights = 0.0;

        for (int j = 0; j < 16; ++j)
        {
            const double position = anchor - (double) j * period;

            if (position < 0.0)
                break;

            weighted += probeWeights[(size_t) j] * envelopeAt (c, position);
            weights += probeWeights[(size_t) j];
        }

        const double score = weights > 0.0 ? weighted / weights : 0.0;

        if (score > bestPhaseScore)
        {
            bestPhaseScore = score;
            bestShift = shift;
        }
    }

    const double d = bestShift / period - frac (beatPos);
    phasePending = d - std::floor (d + 0.5);
}

} // namespace vistrel
