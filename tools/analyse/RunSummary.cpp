#include "RunSummary.h"

#include <algorithm>

namespace vistrel::analyse
{

void RunSummary::add (const vistrel::Analysis& analysis)
{
    bpms.push_back (analysis.bpm);
    loudSum += analysis.loud;
    audibleTicks += analysis.loud > kAudibleLoud ? 1 : 0;
    maxConf = std::max (maxConf, (double) analysis.beatConf);
}

double RunSummary::medianBpmOfLastHalf() const
{
    if (bpms.empty())
        return 0.0;

    std::vector<float> half (bpms.begin() + (std::ptrdiff_t) (bpms.size() / 2), bpms.end());
    const auto middle = half.begin() + (std::ptrdiff_t) (half.size() / 2);
    std::nth_element (half.begin(), middle, half.end());

    if (half.size() % 2 == 1)
        return *middle;

    const float below = *std::max_element (half.begin(), middle);
    return 0.5 * ((double) below + (double) *middle);
}

double RunSummary::meanLoud() const noexcept
{
    return bpms.empty() ? 0.0 : loudSum / (double) bpms.size();
}

double RunSummary::audibleShare() const noexcept
{
    return bpms.empty() ? 0.0 : (double) audibleTicks / (double) bpms.size();
}

juce::String RunSummary::format (const FileFacts& f) const
{
    const double seconds = f.sampleRate > 0.0 ? (double) f.lengthInSamples / f.sampleRate : 0.0;
    const auto line = [] (const char* key, const juce::String& value)
    { return juce::String (key).paddedRight (' ', 10) + value + "\n"; };

    juce::String s;
    s << line ("file", f.name);
    s << line ("format", f.format + ", " + juce::String (f.sampleRate, 0) + " Hz, " + juce::String (f.channels)
                             + (f.channels == 1 ? " channel" : " channels"));
    s << line ("duration", juce::String (seconds, 2) + " s");
    s << line ("ticks", juce::String (ticks()) + " of " + juce::String (f.tickMs) + " ms");
    s << line ("bpm", juce::String (medianBpmOfLastHalf(), 1) + " (median over the last half)");
    s << line ("loud", juce::String (meanLoud(), 3) + " (mean)");
    s << line ("audible", juce::String (100.0 * audibleShare(), 1) + " % of ticks (loudness above -60 LUFS)");
    s << line ("beatConf", juce::String (maxBeatConf(), 3) + " (max)");
    return s;
}

} // namespace vistrel::analyse
