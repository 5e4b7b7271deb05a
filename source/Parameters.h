#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace vistrel
{

/** The thirteen automatable parameters, in the order hosts, saved states and the page see them. */
juce::AudioProcessorValueTreeState::ParameterLayout makeParameterLayout();

/** The parameter IDs in layout order; built once, never changed. */
const juce::StringArray& paramIds();

/** Skew factor that puts `centre` at normalised 0.5 of [start, end], as the nearest float. */
float skewForCentre (double start, double end, double centre);

} // namespace vistrel
