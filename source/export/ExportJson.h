#pragma once

#include <juce_core/juce_core.h>

namespace vistrel
{

/** Builds the one-line JSON object texts the export functions answer with. Keys come out in
    the order they are added, which the page relies on. Numbers are written as JavaScript
    would write them (3, not 3.0). */
class ExportJson
{
public:
    ExportJson& add (const char* key, bool value);
    ExportJson& add (const char* key, double value);
    ExportJson& add (const char* key, const juce::String& value);
    ExportJson& add (const char* key, const char* value) { return add (key, juce::String (value)); }
    ExportJson& add (const char* key, juce::int64 value) { return add (key, (double) value); }

    juce::String toString() const { return text + "}"; }

    /** {"ok":false,"err":<message>} */
    static juce::String error (const juce::String& message);

private:
    void key (const char* name);

    juce::String text { "{" };
};

/** A JSON string literal, quotes included. */
juce::String jsonQuote (const juce::String& s);

/** Shortest text that reads back as `value`, without a trailing ".0" on whole numbers. */
juce::String jsonNumber (double value);

} // namespace vistrel
