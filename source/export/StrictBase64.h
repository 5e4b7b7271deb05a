#pragma once

#include <cstddef>

#include <juce_core/juce_core.h>

namespace vistrel
{

/** Decodes standard Base64 (RFC 4648 alphabet, groups of four, '=' padding) and nothing else:
    no white space, no line breaks, no URL-safe letters, no "data:" prefix, no missing padding.
    A group yields three bytes, two when its last character is '=', one when its last two are.
    Returns false, with `out` unspecified, for any text that breaks these rules. */
bool decodeBase64Strict (const char* text, size_t length, juce::MemoryBlock& out);

bool decodeBase64Strict (const juce::String& text, juce::MemoryBlock& out);

} // namespace vistrel
