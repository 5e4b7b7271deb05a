#include "analysis/Base64.h"

namespace vistrel
{

char* base64Encode (const uint8_t* data, size_t size, char* out) noexcept
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

    size_t i = 0;

    for (; i + 3 <= size; i += 3)
    {
        const uint32_t v = ((uint32_t) data[i] << 16) | ((uint32_t) data[i + 1] << 8) | data[i + 2];
        *out++ = alphabet[(v >> 18) & 63];
        *out++ = alphabet[(v >> 12) & 63];
        *out++ = alphabet[(v >> 6) & 63];
        *out++ = alphabet[v & 63];
    }

    if (const size_t left = size - i; left > 0)
    {
        const uint32_t v = ((uint32_t) data[i] << 16) | (left == 2 ? (uint32_t) data[i + 1] << 8 : 0u);
        *out++ = alphabet[(v >> 18) & 63];
        *out++ = alphabet[(v >> 12) & 63];
        *out++ = left == 2 ? alphabet[(v >> 6) & 63] : '=';
        *out++ = '=';
    }

    return out;
}

} // namespace vistrel
