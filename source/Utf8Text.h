#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vistrel::utf8
{

/** Length of the well-formed UTF-8 sequence at `p` (no overlong form, surrogate or code point
    past U+10FFFF), or 0 when there is none. `available` bytes may be read, at least one. */
inline std::size_t sequenceLength (const unsigned char* p, std::size_t available) noexcept
{
    const auto lead = p[0];

    if (lead < 0x80)
        return 1;

    std::size_t length = 0;
    std::uint32_t codePoint = 0, smallest = 0;

    if ((lead & 0xe0) == 0xc0)      { length = 2; codePoint = lead & 0x1fu; smallest = 0x80; }
    else if ((lead & 0xf0) == 0xe0) { length = 3; codePoint = lead & 0x0fu; smallest = 0x800; }
    else if ((lead & 0xf8) == 0xf0) { length = 4; codePoint = lead & 0x07u; smallest = 0x10000; }
    else                            return 0;

    if (available < length)
        return 0;

    for (std::size_t i = 1; i < length; ++i)
    {
        if ((p[i] & 0xc0) != 0x80)
            return 0;

        codePoint = (codePoint << 6) | (p[i] & 0x3fu);
    }

    if (codePoint < smallest || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint <= 0xdfff))
        return 0;

    return length;
}

/** True when `text` is such UTF-8 throughout, without a zero byte: what a juce::String holds
    byte for byte. The framework's own check lets surrogates and overlong forms through, which a
    browser then refuses on the page's socket. */
inline bool isStringText (std::string_view text) noexcept
{
    const auto* bytes = reinterpret_cast<const unsigned char*> (text.data());
    const auto size = text.size();
    std::size_t i = 0;

    while (i < size)
    {
        // Eight bytes at a time while they are plain ASCII without a zero.
        if (size - i >= 8)
        {
            std::uint64_t word;
            std::memcpy (&word, bytes + i, 8);
            constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;

            if ((word & highs) == 0 && ((word - ones) & ~word & highs) == 0)
            {
                i += 8;
                continue;
            }
        }

        if (bytes[i] == 0)
            return false;

        const auto length = sequenceLength (bytes + i, size - i);

        if (length == 0)
            return false;

        i += length;
    }

    return true;
}

} // namespace vistrel::utf8
