#pragma once

#include <cstddef>
#include <cstdint>

namespace vistrel
{

/** Characters base64Encode() writes for a given number of bytes (padding included). */
constexpr size_t base64EncodedLength (size_t bytes) noexcept { return (bytes + 2) / 3 * 4; }

/** Standard Base64 (RFC 4648 alphabet, '=' padding, no line breaks). Writes exactly
    base64EncodedLength (size) characters, no terminator, and returns the end. */
char* base64Encode (const uint8_t* data, size_t size, char* out) noexcept;

} // namespace vistrel
