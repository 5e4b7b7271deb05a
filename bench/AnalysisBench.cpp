// Cost of one analysis tick (8 ms of new audio at 48 kHz, 384 samples) on a music-like mix, with
// the mean and the 99th percentile per tick, and of the frame text alone. The FFT engine is the
// one this tree was built with (VISTREL_USE_FFTW); bench/compare-fft-engines.sh runs both.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <vector>

#include "PluginProcessor.h"

namespace
{
constexpr double kRate = 48000.0;
constexpr int kTickSamples = 384; // 8 ms
constexpr double kTickSeconds = kTickSamples / kRate;

/** Eight seconds of a stereo mix at 124 BPM that keeps every part of the engine busy: a pitched
    kick on the beat, a bass line, a sustained chord, off-beat hats and a noise floor. Played in a
    loop; eight seconds is longer than the tempo tracker's six-second memory. */
struct MusicLikeMix
{
    std::vector<float> left, right;

    MusicLikeMix()
    {
        const int n = (int) (8.0 * kRate);
        left.resize ((size_t) n);
        right.resize ((size_t) n);
        juce::Random random (7);
        const double beat = 60.0 / 124.0;
        const double twoPi = juce::MathConstants<double>::twoPi;
        const double bassNotes[] = { 55.0, 55.0, 65.41, 49.0 };
        double kickPhase = 0.0;

        for (int i = 0; i < n; ++i)
        {
            const double t = i / kRate;
            const double inBeat = std::fmod (t, beat);
            const int beatIndex = (int) (t / beat);

            kickPhase += twoPi * (45.0 + 110.0 * std::exp (-inBeat * 35.0)) / kRate;
            const double kick = 0.8 * std::sin (kickPhase) * std::exp (-inBeat * 9.0);

            const double bassHz = bassNotes[(beatIndex / 2) % 4];
            const double bass = 0.25 * std::tanh (3.0 * std::sin (twoPi * bassHz * t)) * (0.6 + 0.4 * std::exp (-inBeat * 4.0));

            const double chord = 0.06 * (std::sin (twoPi * 261.63 * t) + std::sin (twoPi * 329.63 * t)
                                         + std::sin (twoPi * 392.0 * t) + std::sin (twoPi * 493.88 * t));

            const double offBeat = std::fmod (t + beat * 0.5, beat);
            const double hatNoise = 2.0 * random.nextDouble() - 1.0;
            const double hat = 0.15 * hatNoise * std::exp (-offBeat * 60.0);
            const double floorNoise = 0.004 * (2.0 * random.nextDouble() - 1.0);

            const double common = kick + bass + floorNoise;
            left[(size_t) i] = (float) (common + chord * 1.1 + hat * 0.7);
            right[(size_t) i] = (float) (common + chord * 0.9 + hat * 1.0);
        }
    }

    /** The next `count` samples of the loop into the ring, as the audio thread would. */
    void feed (vistrel::Tap& tap, size_t& position, int count) const
    {
        while (count > 0)
        {
            const int n = std::min (count, (int) (left.size() - position));
            tap.write (left.data() + position, right.data() + position, n);
            position = (position + (size_t) n) % left.size();
            count -= n;
        }
    }
};

const MusicLikeMix& mix()
{
    static const MusicLikeMix m;
    return m;
}

double threadCpuSeconds()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return (double) t.tv_sec + 1.0e-9 * (double) t.tv_nsec;
}

void addMeanAndP99 (benchmark::State& state, std::vector<double>& seconds, const std::string& prefix)
{
    if (seconds.empty())
        return;

    double sum = 0.0;
    for (const double s : seconds)
        sum += s;

    const auto p99 = seconds.begin() + (std::ptrdiff_t) ((double) (seconds.size() - 1) * 0.99);
    std::nth_element (seconds.begin(), p99, seconds.end());

    state.counters[prefix + "mean_us"] = 1.0e6 * sum / (double) seconds.size();
    state.counters[prefix + "p99_us"] = 1.0e6 * *p99;
}

// Per tick, wall time (what the user interface waits) and the thread's own CPU time (what the
// tick costs, without the time other processes took the core away: this machine is shared).
void reportTimes (benchmark::State& state, std::vector<double>& wall, std::vector<double>& cpu)
{
    addMeanAndP99 (state, wall, "");
    addMeanAndP99 (state, cpu, "cpu_");
}

/** A processor whose analysis has run long enough for the loudness window, the display gain and
    the tempo tracker (six seconds of envelope, an accepted estimate) to be in their steady state. */
struct WarmAnalysis
{
    VistrelAudioProcessor processor;
    size_t position = 0;

    WarmAnalysis()
    {
        for (int i = 0; i < 1500; ++i) // 12 s
            tick();
    }

    void tick()
    {
        mix().feed (processor.tap, position, kTickSamples);
        processor.analysis.drain (processor.tap);
        processor.analysis.process (kTickSeconds, {}, {});
    }
};

// One tick: drain the 384 new samples and run every feature step, tempo analysis included
// whenever six new envelope bins have come together (about every 12th tick). The frame text is
// measured on its own below. Ticks are timed one by one, so the p99 shows the tempo analysis.
void BM_AnalysisTick (benchmark::State& state)
{
    WarmAnalysis warm;
    auto& analysis = warm.processor.analysis;
    std::vector<double> seconds, cpuSeconds;
    seconds.reserve (1 << 20);
    cpuSeconds.reserve (1 << 20);
    const vistrel::ParamSnapshot params;
    const vistrel::TransportSnapshot transport;

    for (auto _ : state)
    {
        mix().feed (warm.processor.tap, warm.position, kTickSamples);

        const double cpuStart = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        analysis.drain (warm.processor.tap);
        analysis.process (kTickSeconds, params, transport);
        benchmark::ClobberMemory();
        const auto end = std::chrono::steady_clock::now();
        const double cpuEnd = threadCpuSeconds();

        const double s = std::chrono::duration<double> (end - start).count();
        state.SetIterationTime (s);
        if (seconds.size() < seconds.capacity())
        {
            seconds.push_back (s);
            cpuSeconds.push_back (cpuEnd - cpuStart);
        }
    }

    // (No DoNotOptimize on the float fields: GCC's "+m,r" constraint can write a float back
    // through a general register as garbage. ClobberMemory above keeps the work alive.)
    reportTimes (state, seconds, cpuSeconds);
    state.counters["bpm"] = (double) analysis.bpm; // 124 when the tracker has locked on
}

// The frame text of a steady tick: 25 values and 1024 bytes of rows in Base64.
void BM_AnalysisFormatFrame (benchmark::State& state)
{
    WarmAnalysis warm;
    const vistrel::FrameLiveValues live { true, 60, 100, 12 };
    size_t bytes = 0;

    for (auto _ : state)
    {
        auto frame = warm.processor.analysis.formatFrame (live);
        bytes += frame.getNumBytesAsUTF8();
        benchmark::DoNotOptimize (frame);
    }

    state.SetBytesProcessed ((int64_t) bytes);
}

// What the editor's timer pays per tick: the processor's whole tickFrameJSON (parameter and
// transport reads, the tick and the frame text), timed one by one.
void BM_TickFrameJSON (benchmark::State& state)
{
    WarmAnalysis warm;
    std::vector<double> seconds, cpuSeconds;
    seconds.reserve (1 << 20);
    cpuSeconds.reserve (1 << 20);
    juce::AudioBuffer<float> block (2, kTickSamples);
    juce::MidiBuffer midi;
    const auto& m = mix();

    for (auto _ : state)
    {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < kTickSamples; ++i)
                block.setSample (c, i, (c == 0 ? m.left : m.right)[(warm.position + (size_t) i) % m.left.size()]);
        warm.position = (warm.position + kTickSamples) % m.left.size();
        warm.processor.processBlock (block, midi);

        const double cpuStart = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        auto frame = warm.processor.tickFrameJSON (kTickSeconds);
        benchmark::DoNotOptimize (frame);
        const auto end = std::chrono::steady_clock::now();
        const double cpuEnd = threadCpuSeconds();

        const double s = std::chrono::duration<double> (end - start).count();
        state.SetIterationTime (s);
        if (seconds.size() < seconds.capacity())
        {
            seconds.push_back (s);
            cpuSeconds.push_back (cpuEnd - cpuStart);
        }
    }

    reportTimes (state, seconds, cpuSeconds);
}

// The part of a tick that depends on the FFT engine: the real-only forward transform of a windowed
// frame (zero second half, positive frequencies only), as the analysis calls it for both sizes.
void BM_RealForwardFft (benchmark::State& state)
{
    const int order = (int) state.range (0);
    const int size = 1 << order;
    juce::dsp::FFT fft (order);
    std::vector<float> frame ((size_t) size), buffer (2 * (size_t) size);
    const auto& m = mix();
    for (int i = 0; i < size; ++i)
        frame[(size_t) i] = m.left[(size_t) i] * 0.5f * (1.0f - std::cos (juce::MathConstants<float>::twoPi * (float) i / (float) (size - 1)));

    for (auto _ : state)
    {
        std::copy (frame.begin(), frame.end(), buffer.begin());
        std::fill (buffer.begin() + size, buffer.end(), 0.0f);
        fft.performRealOnlyForwardTransform (buffer.data(), true);
        benchmark::ClobberMemory();
    }
}

// 30000 ticks are four minutes of audio: some 2500 tempo analyses per run.
BENCHMARK (BM_AnalysisTick)->UseManualTime()->Iterations (30000)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_AnalysisFormatFrame)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_RealForwardFft)->Arg (11)->Arg (10)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_TickFrameJSON)->UseManualTime()->Iterations (30000)->Unit (benchmark::kMicrosecond);

} // namespace
