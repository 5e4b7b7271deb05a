#pragma once

#include <memory>

#include <juce_core/juce_core.h>

namespace vistrel
{

/** Reads the XML of a plug-in state block: the magic number "VC2!", a little-endian length,
    the UTF-8 text and a zero byte. Returns null for anything malformed: too short, wrong magic,
    a length that is not positive, text that is not valid UTF-8 or not a whole XML document.
    A length beyond the data reads only the bytes that are there; a zero byte ends the text. */
std::unique_ptr<juce::XmlElement> readStateXml (const void* data, int sizeInBytes);

} // namespace vistrel
