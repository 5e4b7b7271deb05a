#include "presets/UserPresets.h"

namespace vistrel::presets
{

juce::File defaultFolder()
{
    const auto folder = juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
                            .getChildFile ("Quorvane")
                            .getChildFile ("VISTREL")
                            .getChildFile ("Presets");

    if (! folder.isDirectory())
        folder.createDirectory();

    return folder;
}

juce::String baseNameFor (const juce::String& presetName)
{
    // Control characters are removed as well: a name with a line feed or an escape sequence
    // makes a file that listings, shells and file managers show wrongly.
    juce::String printable;
    for (auto p = presetName.getCharPointer(); ! p.isEmpty(); ++p)
    {
        const auto c = *p;
        if (c >= 0x20 && c != 0x7f)
            printable += juce::String::charToString (c);
    }

    const auto legal = juce::File::createLegalFileName (printable);
    const auto cut = legal.indexOfIgnoreCase (".json");
    return cut >= 0 ? legal.substring (0, cut) : legal;
}

juce::File fileFor (const juce::File& folder, const juce::String& presetName)
{
    const auto fileName = baseNameFor (presetName) + ".json";
    const auto file = folder.getChildFile (fileName);

    // The legal-name rule already strips separators; this guards the folder against anything
    // the rule might ever let through.
    if (file.getParentDirectory() != folder || file.getFileName() != fileName)
        return {};

    return file;
}

juce::String withCrLfLineEnds (const juce::String& text)
{
    juce::String result;
    result.preallocateBytes (text.getNumBytesAsUTF8() + 64);
    juce::juce_wchar previous = 0;

    for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
    {
        const auto c = *p;
        if (c == '\n' && previous != '\r')
            result << '\r';
        result += juce::String::charToString (c);
        previous = c;
    }

    return result;
}

bool save (const juce::File& folder, const juce::String& presetName, const juce::String& text)
{
    if (baseNameFor (presetName).isEmpty())
        return false;

    const auto target = fileFor (folder, presetName);
    if (target == juce::File())
        return false;

    folder.createDirectory();

    // A hidden file beside the target, replaced in one step, so other instances reading the
    // preset see either the old or the new text, never half of it.
    juce::TemporaryFile temp (target, juce::TemporaryFile::useHiddenFile);
    {
        juce::FileOutputStream out (temp.getFile());
        if (! out.openedOk())
            return false;
        const auto converted = withCrLfLineEnds (text);
        const auto utf8 = converted.toUTF8();
        if (! out.write (utf8.getAddress(), utf8.sizeInBytes() - 1))
            return false;
        out.flush();
        if (out.getStatus().failed())
            return false;
    }

    return temp.overwriteTargetFileWithTemporary();
}

juce::StringArray list (const juce::File& folder)
{
    juce::StringArray names;
    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*.json", juce::File::findFiles))
        names.add (entry.getFile().getFileNameWithoutExtension());
    return names;
}

juce::String load (const juce::File& folder, const juce::String& presetName)
{
    const auto file = fileFor (folder, presetName);
    if (file == juce::File() || ! file.existsAsFile())
        return {};
    return file.loadFileAsString();
}

bool remove (const juce::File& folder, const juce::String& presetName)
{
    if (baseNameFor (presetName).isEmpty())
        return false;

    const auto file = fileFor (folder, presetName);
    if (file == juce::File() || ! file.existsAsFile())
        return false;

    if (file.moveToTrash())
        return true;

    return file.deleteFile();
}

} // namespace vistrel::presets
