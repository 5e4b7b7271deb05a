#include "UiFolderSearch.h"

#ifndef VISTREL_DEVELOPMENT_UI_DIR
 #define VISTREL_DEVELOPMENT_UI_DIR ""
#endif

namespace vistrel
{
namespace
{
    juce::String withoutSurroundingQuotes (const juce::String& text)
    {
        if (text.length() >= 2)
        {
            const auto first = text[0];

            if ((first == '"' || first == '\'') && text.getLastCharacter() == first)
                return text.substring (1, text.length() - 1);
        }

        return text;
    }

    juce::File folderFromEnvironment (const juce::String& value)
    {
        if (value.isEmpty())
            return {};

        // A relative path is taken from the working directory, as a shell user would expect.
        const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile (withoutSurroundingQuotes (value));
        return folder.isDirectory() ? folder : juce::File();
    }

    juce::File folderBesideBinary (const juce::File& binary)
    {
        auto folder = binary.getParentDirectory();

        for (int examined = 0; examined < 4; ++examined)
        {
            if (! folder.exists())
                return {};

            const auto candidate = folder.getChildFile ("Resources").getChildFile ("ui");

            if (candidate.isDirectory())
                return candidate;

            if (folder.getFileName() == "Contents")
                return {};

            const auto parent = folder.getParentDirectory();

            if (parent == folder)
                return {};

            folder = parent;
        }

        return {};
    }
} // namespace

juce::File findUiFolder (const juce::String& environmentValue, const juce::File& binary, const juce::File& developmentFolder)
{
    if (auto folder = folderFromEnvironment (environmentValue); folder != juce::File())
        return folder;

    if (auto folder = folderBesideBinary (binary); folder != juce::File())
        return folder;

    if (developmentFolder != juce::File() && developmentFolder.isDirectory())
        return developmentFolder;

    return {};
}

juce::File findUiFolder()
{
    const juce::String development (VISTREL_DEVELOPMENT_UI_DIR);

    return findUiFolder (juce::SystemStats::getEnvironmentVariable ("VISTREL_UI_DIR", {}),
                         juce::File::getSpecialLocation (juce::File::currentExecutableFile),
                         juce::File::isAbsolutePath (development) ? juce::File (development) : juce::File());
}

} // namespace vistrel
