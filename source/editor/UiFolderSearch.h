#pragma once

#include <juce_core/juce_core.h>

namespace vistrel
{

/** Where the page's files are: the first of
    1. the folder named by VISTREL_UI_DIR (one pair of surrounding quotes removed),
    2. "Resources/ui" in the folder of the running binary or one of its three nearest ancestors,
       never climbing above a bundle's "Contents" folder,
    3. the checkout's "ui" folder, fixed at build time,
    that is an existing directory; an empty File when none is. */
juce::File findUiFolder();

/** The search with its inputs made explicit. `binary` is the running executable, or for a
    plug-in its shared object (a VST3's "Contents/x86_64-linux/X.so", an LV2's "X.lv2/X.so"). */
juce::File findUiFolder (const juce::String& environmentValue,
                         const juce::File& binary,
                         const juce::File& developmentFolder);

} // namespace vistrel
