// Feeds arbitrary text to the strict Base64 decoder used for the page's video chunks and stills.
// Whatever it accepts must be well-formed, and any bytes must survive an encode and a decode.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "export/StrictBase64.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const auto* text = reinterpret_cast<const char*> (data);
    juce::MemoryBlock decoded;

    if (vistrel::decodeBase64Strict (text, size, decoded))
    {
        if (size % 4 != 0 || decoded.getSize() > size / 4 * 3 || decoded.getSize() + 2 < size / 4 * 3)
            __builtin_trap();

        for (size_t i = 0; i < size; ++i)
            if (text[i] == ' ' || text[i] == '\n' || text[i] == '\r' || text[i] == ':' || text[i] == '-' || text[i] == '_')
                __builtin_trap();
    }

    const auto encoded = juce::Base64::toBase64 (data, size);
    juce::MemoryBlock roundTrip;
    if (! vistrel::decodeBase64Strict (encoded, roundTrip) || roundTrip.getSize() != size)
        __builtin_trap();

    // Compared by hand: the framework's comparison hands memcmp a null pointer for empty blocks.
    if (size > 0 && std::memcmp (roundTrip.getData(), data, size) != 0)
        __builtin_trap();

    return 0;
}
