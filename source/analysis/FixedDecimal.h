#pragma once

#include <cstdint>

namespace vistrel
{

/** Room a caller must leave for one writeFixed() or writeInteger() result. */
constexpr int kMaxNumberChars = 48;

/** Writes a double in fixed-point notation with exactly `decimals` digits after the point
    (1 to 9), correctly rounded, in the classic locale: the same characters as
    juce::String (value, decimals). Returns the end of what was written (no terminator). */
char* writeFixed (char* out, double value, int decimals) noexcept;

/** Plain decimal integer with a leading '-' when negative. */
char* writeInteger (char* out, int64_t value) noexcept;

} // namespace vistrel
