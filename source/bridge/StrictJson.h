#pragma once

#include <cstddef>
#include <string_view>

#include <juce_core/juce_core.h>

namespace vistrel::bridge::json
{

/** Deepest nesting of arrays and objects a page may send; the reader recurses once per level,
    on the server's thread, so this bounds its stack. */
inline constexpr int kMaxDepth = 128;

/** Reads exactly one JSON value (RFC 8259) into a juce::var, with nothing but whitespace around it.

    The framework's own JSON reader is lenient and, on input from a page, unsafe: it overflows a
    signed integer on long numbers, recurses without limit, takes trailing garbage, single quotes
    and "\a", and splits an escaped surrogate pair into two broken characters. This one refuses
    anything that is not JSON, and whatever a juce::var cannot hold unchanged (a zero character,
    a lone surrogate, a number beyond a double's range), with a message saying why.

    Values come out as the framework's reader makes them, so handlers see the same types: an
    integer whose magnitude fits in 31 bits is an int, a larger one an int64, one beyond int64 (as
    a page writes 2^64) a double, like any number with a fraction or exponent; an object is a
    DynamicObject whose properties keep their order, the last of duplicated names winning. */
juce::Result parse (std::string_view text, juce::var& result);

} // namespace vistrel::bridge::json
