#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "analysis/Analysis.h"

namespace vistrel::test
{

/** An analysis engine with its own ring and snapshots, driven the way the processor drives it. */
struct AnalysisRig
{
    std::unique_ptr<Analysis> analysis = std::make_unique<Analysis>();
    std::unique_ptr<Tap> tap = std::make_unique<Tap>();
    ParamSnapshot params;
    TransportSnapshot transport;

    Analysis& a() { return *analysis; }

    void write (const std::vector<float>& left, const std::vector<float>& right)
    {
        tap->write (left.data(), right.data(), (int) left.size());
    }

    void write (const std::vector<float>& mono) { write (mono, mono); }

    void tick (double dt = 1.0 / 60.0)
    {
        analysis->drain (*tap);
        analysis->process (dt, params, transport);
    }
};

/** A sine that continues where its last block ended. */
struct SineSource
{
    double frequency;
    double amplitude;
    double sampleRate = 48000.0;
    uint64_t position = 0;

    std::vector<float> next (int n)
    {
        std::vector<float> out ((size_t) n);

        for (auto& x : out)
            x = (float) (amplitude * std::sin (2.0 * 3.14159265358979323846 * frequency * (double) position++ / sampleRate));

        return out;
    }
};

/** Uniform white noise in [-amplitude, amplitude] from a fixed seed. */
struct NoiseSource
{
    explicit NoiseSource (float amplitude, uint32_t seed = 1) : dist (-amplitude, amplitude), rng (seed) {}

    std::vector<float> next (int n)
    {
        std::vector<float> out ((size_t) n);

        for (auto& x : out)
            x = dist (rng);

        return out;
    }

    std::uniform_real_distribution<float> dist;
    std::mt19937 rng;
};

inline std::vector<float> scaled (std::vector<float> v, float gain)
{
    for (auto& x : v)
        x *= gain;

    return v;
}

/** Samples per 1/60 s tick at 48 kHz. */
constexpr int kTickSamples = 800;

} // namespace vistrel::test
