#pragma once

#include <juce_core/juce_core.h>

class VistrelAudioProcessor;

namespace vistrel
{

/** All parameter values as one single-line JSON object, one member per ID of paramIds() in
    order, each in the parameter's own range (a choice's index, a toggle's 0 or 1); 0 for an ID
    the tree lacks. The "vistrel-params" event and the init answer both carry it. */
juce::var parameterSnapshot (VistrelAudioProcessor&);
juce::String parameterSnapshotJSON (VistrelAudioProcessor&);

/** The answer of getInit: {"params": <snapshot>, "state": <uiBlob as a JSON string, or null>}. */
juce::String initAnswerJSON (VistrelAudioProcessor&);

} // namespace vistrel
