#include "ParameterSnapshot.h"

#include "PluginProcessor.h"

namespace vistrel
{

juce::var parameterSnapshot (VistrelAudioProcessor& processor)
{
    auto* snapshot = new juce::DynamicObject();

    for (const auto& id : paramIds())
    {
        double value = 0.0;

        if (auto* param = processor.apvts.getParameter (id))
            value = (double) param->convertFrom0to1 (param->getValue());

        snapshot->setProperty (id, value);
    }

    return juce::var (snapshot);
}

juce::String parameterSnapshotJSON (VistrelAudioProcessor& processor)
{
    return juce::JSON::toString (parameterSnapshot (processor), true);
}

juce::String initAnswerJSON (VistrelAudioProcessor& processor)
{
    auto* init = new juce::DynamicObject();
    init->setProperty ("params", parameterSnapshot (processor));
    init->setProperty ("state", processor.uiBlob.isEmpty() ? juce::var() : juce::var (processor.uiBlob));
    return juce::JSON::toString (juce::var (init), true);
}

} // namespace vistrel
