#pragma once

#include <juce_core/juce_core.h>

namespace vistrel::presets
{

/** The folder that holds the user's presets, created when missing:
    application data / "Quorvane" / "VISTREL" / "Presets". */
juce::File defaultFolder();

/** The base file name (without ".json") that a preset name maps to. Saving, loading and
    deleting all use it, so one name always means one file. Never contains a path separator. */
juce::String baseNameFor (const juce::String& presetName);

/** The preset file for a name, or an invalid File when the name cannot name a file inside
    the folder. */
juce::File fileFor (const juce::File& folder, const juce::String& presetName);

/** Writes the text with CRLF line ends through a hidden temporary file that replaces the
    preset in one step. Returns false when nothing could be written or the name is empty. */
bool save (const juce::File& folder, const juce::String& presetName, const juce::String& text);

/** The preset names (file names without ".json") in the folder's listing order. */
juce::StringArray list (const juce::File& folder);

/** The preset's text, or empty text when it is missing or unreadable. */
juce::String load (const juce::File& folder, const juce::String& presetName);

/** Moves the preset to the trash, or deletes it when there is no trash. */
bool remove (const juce::File& folder, const juce::String& presetName);

/** CR LF for every line feed that has no carriage return before it. */
juce::String withCrLfLineEnds (const juce::String& text);

} // namespace vistrel::presets
