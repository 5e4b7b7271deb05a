#pragma once

#include <vector>

#include <juce_core/juce_core.h>

#include "analysis/Analysis.h"

namespace vistrel::analyse
{

/** The few numbers --summary prints, gathered tick by tick. */
class RunSummary
{
public:
    /** `loud` above 0 means a momentary loudness above -60 LUFS: the level at which the
        analysis' own silence gate closes. */
    static constexpr float kAudibleLoud = 0.0f;

    void add (const vistrel::Analysis& analysis);

    juce::int64 ticks() const noexcept { return (juce::int64) bpms.size(); }

    /** Median of the frame's bpm over the second half of the ticks, when the tracker has had
        time to settle; 0 without ticks. */
    double medianBpmOfLastHalf() const;
    double meanLoud() const noexcept;
    /** Share of ticks, 0..1, with `loud` above kAudibleLoud. */
    double audibleShare() const noexcept;
    double maxBeatConf() const noexcept { return maxConf; }

    struct FileFacts
    {
        juce::String name;
        juce::String format;
        double sampleRate = 0.0;
        int channels = 0;
        juce::int64 lengthInSamples = 0;
        double tickMs = 0.0;
    };

    /** The human-readable report, one fact per line. */
    juce::String format (const FileFacts& facts) const;

private:
    std::vector<float> bpms;
    double loudSum = 0.0;
    juce::int64 audibleTicks = 0;
    double maxConf = 0.0;
};

} // namespace vistrel::analyse
