#pragma once

#include <juce_data_structures/juce_data_structures.h>

namespace vistrel
{

/** Where the standalone application keeps its settings: "<name>.settings" in ~/.config on
    Linux, directly in Application Support on macOS; saved by the framework 3 s after a change
    and at shutdown. */
inline juce::PropertiesFile::Options standaloneSettingsOptions (const juce::String& applicationName)
{
    juce::PropertiesFile::Options options;
    options.applicationName = applicationName;
    options.filenameSuffix = ".settings";
    options.osxLibrarySubFolder = "Application Support";
   #if JUCE_LINUX || JUCE_BSD
    options.folderName = "~/.config";
   #else
    options.folderName = "";
   #endif
    return options;
}

} // namespace vistrel
