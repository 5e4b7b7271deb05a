#include "ExportJson.h"

#include <charconv>
#include <cmath>

namespace vistrel
{

juce::String jsonQuote (const juce::String& s)
{
    juce::String out;
    out.preallocateBytes (s.getNumBytesAsUTF8() + 2);
    out << '"';

    for (auto p = s.getCharPointer(); ! p.isEmpty();)
    {
        const auto c = p.getAndAdvance();

        switch (c)
        {
            case '"':  out << "\\\""; break;
            case '\\': out << "\\\\"; break;
            case '\n': out << "\\n"; break;
            case '\r': out << "\\r"; break;
            case '\t': out << "\\t"; break;
            default:
                if (c < 0x20)
                    out << "\\u" << juce::String::toHexString ((int) c).paddedLeft ('0', 4);
                else
                    out << juce::String::charToString (c);
        }
    }

    out << '"';
    return out;
}

juce::String jsonNumber (double value)
{
    // JSON has no NaN or infinity; nothing here should produce them, but the page must
    // still be able to parse the answer.
    if (! std::isfinite (value))
        return "0";

    if (value == 0.0)
        return "0";

    char buffer[64];
    const auto result = std::to_chars (buffer, buffer + sizeof (buffer), value);
    return juce::String (buffer, (size_t) (result.ptr - buffer));
}

void ExportJson::key (const char* name)
{
    if (text.length() > 1)
        text << ',';
    text << '"' << name << "\":";
}

ExportJson& ExportJson::add (const char* name, bool value)
{
    key (name);
    text << (value ? "true" : "false");
    return *this;
}

ExportJson& ExportJson::add (const char* name, double value)
{
    key (name);
    text << jsonNumber (value);
    return *this;
}

ExportJson& ExportJson::add (const char* name, const juce::String& value)
{
    key (name);
    text << jsonQuote (value);
    return *this;
}

juce::String ExportJson::error (const juce::String& message)
{
    return ExportJson().add ("ok", false).add ("err", message).toString();
}

} // namespace vistrel
