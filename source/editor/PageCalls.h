#pragma once

#include <juce_core/juce_core.h>

class VistrelAudioProcessor;

/** What the page asks of the native side about parameters, gestures, its own state, presets and
    links. Each function takes the call's arguments as the bridge delivers them and returns the
    answer (void where the page only needs to know the call completed). No function reports an
    error: missing arguments, wrong types and unknown IDs make the call do nothing. */
namespace vistrel::pagecalls
{
using Args = juce::Array<juce::var>;

/** The "setParam" event: an object with members id and v. */
void setParamEvent (VistrelAudioProcessor&, const juce::var& payload);

/** The "uiHello" event: the page is (re)loaded and wants everything again. */
void helloEvent (VistrelAudioProcessor&);

/** The "openUrl" event: hands the address to the system's default handler. */
void openUrlEvent (const juce::var& payload);

/** The address openUrl opens: a bare mail address gets "mailto:" in front. */
juce::String addressToOpen (const juce::String& text);

juce::var setParam (VistrelAudioProcessor&, const Args&);
juce::var saveState (VistrelAudioProcessor&, const Args&);
juce::var beginGesture (VistrelAudioProcessor&, const Args&);
juce::var endGesture (VistrelAudioProcessor&, const Args&);

juce::var savePresetFile (const juce::File& folder, const Args&);
juce::var listUserPresets (const juce::File& folder);
juce::var loadUserPreset (const juce::File& folder, const Args&);
juce::var deletePresetFile (const juce::File& folder, const Args&);

} // namespace vistrel::pagecalls
