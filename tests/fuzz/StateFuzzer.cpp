// Feeds arbitrary bytes to the plug-in state parser. A malformed block must change nothing;
// a well-formed one must leave the editor size inside its limits.
#include <cstddef>
#include <cstdint>

#include "PluginProcessor.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    // Kept for the whole run and never torn down: the framework's shutdown order for objects
    // destroyed at exit is not ours to rely on.
    static auto* juce = new juce::ScopedJuceInitialiser_GUI();
    static auto& processor = *new VistrelAudioProcessor();
    juce::ignoreUnused (juce);

    processor.stateDirty = false;
    processor.setStateInformation (data, (int) size);

    const int w = processor.uiWidth.load(), h = processor.uiHeight.load();
    if (w < VistrelAudioProcessor::kMinUiWidth || w > VistrelAudioProcessor::kMaxUiWidth
        || h < VistrelAudioProcessor::kMinUiHeight || h > VistrelAudioProcessor::kMaxUiHeight)
        __builtin_trap();

    // A block that was accepted must survive a save and a restore unchanged.
    if (processor.stateDirty.load())
    {
        juce::MemoryBlock saved;
        processor.getStateInformation (saved);
        const auto blob = processor.uiBlob;
        processor.setStateInformation (saved.getData(), (int) saved.getSize());
        if (processor.uiBlob != blob || processor.uiWidth.load() != w || processor.uiHeight.load() != h)
            __builtin_trap();
    }

    return 0;
}
