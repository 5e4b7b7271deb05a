#pragma once

#include <juce_core/juce_core.h>

class VistrelAudioProcessor;

/** The page's export calls. Each answers one line of JSON text in a string value, or the
    {"ok":false,...} error text; none throws and none needs the editor. Message thread. */
namespace vistrel
{

juce::var exportProbe (VistrelAudioProcessor&, const juce::Array<juce::var>& args);
juce::var exportAppend (VistrelAudioProcessor&, const juce::Array<juce::var>& args);
juce::var exportAudioStart (VistrelAudioProcessor&, const juce::Array<juce::var>& args);
juce::var exportFinish (VistrelAudioProcessor&, const juce::Array<juce::var>& args);
juce::var exportStill (VistrelAudioProcessor&, const juce::Array<juce::var>& args);

/** What closing the editor does to the export: the recording ends, unmuxed, and the writer
    thread stops (a later recording starts it again). */
void exportEditorClosing (VistrelAudioProcessor&);

} // namespace vistrel
