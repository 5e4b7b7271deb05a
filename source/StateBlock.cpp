#include "StateBlock.h"

#include <cstring>

namespace vistrel
{

std::unique_ptr<juce::XmlElement> readStateXml (const void* data, int sizeInBytes)
{
    static constexpr uint32_t kMagic = 0x21324356;

    if (data == nullptr || sizeInBytes < 9)
        return nullptr;

    const auto* bytes = static_cast<const uint8_t*> (data);

    if (juce::ByteOrder::littleEndianInt (bytes) != kMagic)
        return nullptr;

    const auto declaredLength = (int32_t) juce::ByteOrder::littleEndianInt (bytes + 4);
    if (declaredLength <= 0)
        return nullptr;

    const auto* text = reinterpret_cast<const char*> (bytes + 8);
    auto length = (size_t) std::min (declaredLength, sizeInBytes - 8);
    if (const auto* zero = static_cast<const char*> (std::memchr (text, 0, length)))
        length = (size_t) (zero - text);

    // The framework's XML reader trusts its input to be valid UTF-8 and reads past the end of
    // a truncated multi-byte sequence, so anything else is refused before parsing.
    if (! juce::CharPointer_UTF8::isValidString (text, (int) length))
        return nullptr;

    return juce::parseXML (juce::String::fromUTF8 (text, (int) length));
}

} // namespace vistrel
