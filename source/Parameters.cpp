#include "Parameters.h"

#include <cmath>

namespace vistrel
{

float skewForCentre (double start, double end, double centre)
{
    return (float) (std::log (0.5) / std::log ((centre - start) / (end - start)));
}

const juce::StringArray& paramIds()
{
    static const juce::StringArray ids { "scene", "hue", "hue2", "react", "colour", "autoPilot",
                                         "sensitivity", "attack", "release", "wBass", "wMid",
                                         "wHigh", "beatSource" };
    return ids;
}

juce::AudioProcessorValueTreeState::ParameterLayout makeParameterLayout()
{
    using Attributes = juce::AudioParameterFloatAttributes;

    // Hosts show these texts verbatim; they must never be shortened to the host's length hint.
    const auto integerWithUnit = [] (juce::String unit)
    {
        return Attributes().withStringFromValueFunction (
            [unit] (float value, int) { return juce::String (juce::roundToInt (value)) + unit; });
    };
    const auto fixedWithUnit = [] (int decimals, juce::String unit)
    {
        return Attributes().withStringFromValueFunction (
            [decimals, unit] (float value, int) { return juce::String (value, decimals) + unit; });
    };

    const juce::String degrees = juce::String (" ") + juce::String (juce::CharPointer_UTF8 ("\xc2\xb0"));

    const auto floatParam = [] (const char* id, const char* name, juce::NormalisableRange<float> range,
                                float defaultValue, Attributes attributes)
    {
        return std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { id, 1 }, name, range,
                                                            defaultValue, std::move (attributes));
    };

    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    layout.add (std::make_unique<juce::AudioParameterInt> (juce::ParameterID { "scene", 1 }, "Scene", 1, 34, 1));
    layout.add (floatParam ("hue", "Hue", { 0.0f, 360.0f, 1.0f, 1.0f }, 0.0f, integerWithUnit (degrees)));
    layout.add (floatParam ("hue2", "Hue 2", { 0.0f, 360.0f, 1.0f, 1.0f }, 0.0f, integerWithUnit (degrees)));
    layout.add (floatParam ("react", "React", { 0.0f, 100.0f, 1.0f, 1.0f }, 85.0f, integerWithUnit (" %")));
    layout.add (std::make_unique<juce::AudioParameterChoice> (
        juce::ParameterID { "colour", 1 }, "Colour Mode",
        juce::StringArray { "Colour", "Light B&W", "Body B&W", "Black & White", "Spectrum" }, 0));
    layout.add (std::make_unique<juce::AudioParameterBool> (juce::ParameterID { "autoPilot", 1 }, "Auto Pilot", false));
    layout.add (floatParam ("sensitivity", "Sensitivity", { -24.0f, 24.0f, 0.1f, 1.0f }, 0.0f, fixedWithUnit (1, " dB")));
    layout.add (floatParam ("attack", "React Attack", { 1.0f, 200.0f, 0.0f, skewForCentre (1.0, 200.0, 14.14) },
                            10.0f, integerWithUnit (" ms")));
    layout.add (floatParam ("release", "React Release", { 50.0f, 2000.0f, 0.0f, skewForCentre (50.0, 2000.0, 316.0) },
                            150.0f, integerWithUnit (" ms")));
    layout.add (floatParam ("wBass", "Bass Weight", { 0.0f, 2.0f, 0.01f, 1.0f }, 1.0f, fixedWithUnit (2, {})));
    layout.add (floatParam ("wMid", "Mid Weight", { 0.0f, 2.0f, 0.01f, 1.0f }, 1.0f, fixedWithUnit (2, {})));
    layout.add (floatParam ("wHigh", "High Weight", { 0.0f, 2.0f, 0.01f, 1.0f }, 1.0f, fixedWithUnit (2, {})));
    layout.add (std::make_unique<juce::AudioParameterChoice> (
        juce::ParameterID { "beatSource", 1 }, "Beat Source", juce::StringArray { "Host", "Auto", "Hybrid" }, 2));

    return layout;
}

} // namespace vistrel
