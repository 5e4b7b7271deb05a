#pragma once

#include <functional>

#include <juce_core/juce_core.h>

class VistrelAudioProcessor;

namespace vistrel
{

/** The events the pump sends to the page, by ID. */
namespace events
{
    inline const juce::Identifier frame { "vistrel-frame" };
    inline const juce::Identifier params { "vistrel-params" };
    inline const juce::Identifier state { "vistrel-state" };
    inline const juce::Identifier key { "vistrel-key" };
} // namespace events

/** Seconds since the previous tick; 1/60 when the interval is not positive or longer than
    0.25 s (a stalled message thread must not make the analysis jump). */
double tickIntervalSeconds (double nowMs, double lastTickMs) noexcept;

using EmitEvent = std::function<void (const juce::Identifier&, const juce::var&)>;

/** One tick of the user interface after dt is known: runs the analysis and emits its frame,
    then a parameter snapshot if a parameter changed, then the stored UI state if the page is
    ready and the state was restored or requested. The flags are consumed by atomic exchange,
    so a change landing during the tick is either in this snapshot or in the next. */
void pumpFrameAndEvents (VistrelAudioProcessor&, double dt, const EmitEvent&);

} // namespace vistrel
