#include "editor/PageCalls.h"

#include "PluginProcessor.h"
#include "presets/UserPresets.h"

namespace vistrel::pagecalls
{

namespace
{
juce::String asText (const Args& args, int index)
{
    return index < args.size() ? args.getReference (index).toString() : juce::String();
}

double asNumber (const juce::var& value)
{
    return value.isString() ? value.toString().getDoubleValue() : (double) value;
}
} // namespace

void setParamEvent (VistrelAudioProcessor& processor, const juce::var& payload)
{
    auto* object = payload.getDynamicObject();
    if (object == nullptr)
        return;

    processor.uiSetParam (object->getProperty ("id").toString(), asNumber (object->getProperty ("v")));
}

void helloEvent (VistrelAudioProcessor& processor)
{
    processor.uiReady.store (true);
    processor.paramsDirty.store (true);
    processor.stateDirty.store (true);
}

juce::String addressToOpen (const juce::String& text)
{
    if (text.containsChar ('@') && ! text.containsChar (':'))
        return "mailto:" + text;
    return text;
}

void openUrlEvent (const juce::var& payload)
{
    const auto address = addressToOpen (payload.toString());
    if (address.isEmpty())
        return;

    // A failure to open is silent: the page has nothing useful to do with it.
    if (juce::File::isAbsolutePath (address) && juce::File (address).exists())
        juce::File (address).startAsProcess();
    else
        juce::URL (address).launchInDefaultBrowser();
}

juce::var setParam (VistrelAudioProcessor& processor, const Args& args)
{
    if (args.size() >= 2)
        processor.uiSetParam (asText (args, 0), asNumber (args.getReference (1)));
    return {};
}

juce::var saveState (VistrelAudioProcessor& processor, const Args& args)
{
    if (args.size() >= 1)
        processor.uiBlob = asText (args, 0);
    return {};
}

juce::var beginGesture (VistrelAudioProcessor& processor, const Args& args)
{
    if (args.isEmpty())
        return {};

    const auto id = asText (args, 0);
    if (processor.uiGestures.contains (id))
        return {};

    if (auto* param = processor.apvts.getParameter (id))
    {
        processor.uiGestures.add (id);
        param->beginChangeGesture();
    }
    return {};
}

juce::var endGesture (VistrelAudioProcessor& processor, const Args& args)
{
    if (args.isEmpty())
        return {};

    const auto id = asText (args, 0);
    if (! processor.uiGestures.contains (id))
        return {};

    processor.uiGestures.removeString (id);
    if (auto* param = processor.apvts.getParameter (id))
        param->endChangeGesture();
    return {};
}

juce::var savePresetFile (const juce::File& folder, const Args& args)
{
    if (args.size() >= 2)
        presets::save (folder, asText (args, 0), asText (args, 1));
    return {};
}

juce::var listUserPresets (const juce::File& folder)
{
    juce::Array<juce::var> names;
    for (const auto& name : presets::list (folder))
        names.add (name);
    return juce::JSON::toString (juce::var (names), true);
}

juce::var loadUserPreset (const juce::File& folder, const Args& args)
{
    if (args.isEmpty())
        return juce::String();
    return presets::load (folder, asText (args, 0));
}

juce::var deletePresetFile (const juce::File& folder, const Args& args)
{
    if (args.isEmpty())
        return false;
    return presets::remove (folder, asText (args, 0));
}

} // namespace vistrel::pagecalls
