#include "StrictBase64.h"

#include <array>
#include <cstdint>

namespace vistrel
{
namespace
{
constexpr int8_t kInvalid = -1;

constexpr std::array<int8_t, 256> makeTable()
{
    std::array<int8_t, 256> t {};
    for (auto& v : t)
        v = kInvalid;

    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        t[(uint8_t) alphabet[i]] = (int8_t) i;
    return t;
}

constexpr auto kTable = makeTable();
} // namespace

bool decodeBase64Strict (const char* text, size_t length, juce::MemoryBlock& out)
{
    out.setSize (0);

    if (length % 4 != 0)
        return false;

    if (length == 0)
        return true;

    out.setSize (length / 4 * 3, false);
    auto* dest = static_cast<uint8_t*> (out.getData());
    size_t written = 0;

    for (size_t i = 0; i < length; i += 4)
    {
        const auto* g = reinterpret_cast<const uint8_t*> (text + i);
        const int a = kTable[g[0]], b = kTable[g[1]];

        if (a == kInvalid || b == kInvalid)
            return false;

        const bool pad2 = g[2] == '=', pad3 = g[3] == '=';
        const int c = pad2 ? 0 : kTable[g[2]];
        const int d = pad3 ? 0 : kTable[g[3]];

        // "xy=z" is no reading of any group, and a bad letter anywhere spoils the chunk.
        if (c == kInvalid || d == kInvalid || (pad2 && ! pad3))
            return false;

        const uint32_t bits = ((uint32_t) a << 18) | ((uint32_t) b << 12) | ((uint32_t) c << 6) | (uint32_t) d;
        dest[written++] = (uint8_t) (bits >> 16);

        if (! pad2)
            dest[written++] = (uint8_t) (bits >> 8);

        if (! pad3)
            dest[written++] = (uint8_t) bits;
    }

    out.setSize (written);
    return true;
}

bool decodeBase64Strict (const juce::String& text, juce::MemoryBlock& out)
{
    return decodeBase64Strict (text.toRawUTF8(), text.getNumBytesAsUTF8(), out);
}

} // namespace vistrel
