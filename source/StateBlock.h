#pragma once

#include <memory>

#include <juce_core/juce_core.h>

namespace vistrel
{

/** The XML of a state block, or why there is none. */
struct StateXml
{
    std::unique_ptr<juce::XmlElement> xml;   // null when the block was refused
    juce::String error;                       // says why, when it was
};

/** Reads the XML of a plug-in state block: the magic number "VC2!", a little-endian length,
    the UTF-8 text and a zero byte. Refuses anything malformed: too short, wrong magic, a length
    that is not positive, text that is not valid UTF-8, or not exactly one well-formed XML
    document. A length beyond the data reads only the bytes that are there; a zero byte ends the
    text.

    "Well-formed" is stricter than the framework's own reader, which takes a root element that is
    never closed, an end tag of another name, text after the root and repeated attributes; a block
    like that would not come back the same after a save. Here the document must close what it
    opens, in order, with nothing but comments and processing instructions after the root; each
    element names an attribute once (a "base64:" name counts as the name without it, as the value
    tree reads it); attribute values are quoted and hold no '<'; references are the five named
    entities or characters a juce::String holds; elements nest at most kMaxStateDepth deep; and
    there is no document type declaration, nor a processing instruction inside an element (on
    which the framework's reader can loop forever). */
StateXml readStateXml (const void* data, int sizeInBytes);

/** How deep elements of a state block may nest; our own blocks need two levels. */
inline constexpr int kMaxStateDepth = 256;

} // namespace vistrel
