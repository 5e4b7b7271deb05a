#include "analysis/FixedDecimal.h"

#include <cmath>
#include <cstring>
#include <locale>
#include <ostream>
#include <streambuf>

namespace vistrel
{

namespace
{
    __extension__ typedef unsigned __int128 Wide;

    constexpr uint64_t kPowersOfTen[] = { 1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull,
                                          10000000ull, 100000000ull, 1000000000ull };

    /** Writes the decimal digits of v, most significant first. */
    char* writeDigits (char* out, uint64_t v) noexcept
    {
        char reversed[24];
        int n = 0;

        do
        {
            reversed[n++] = (char) ('0' + (int) (v % 10));
            v /= 10;
        } while (v != 0);

        while (n > 0)
            *out++ = reversed[--n];

        return out;
    }

    /** The general route, through a classic-locale stream into a fixed buffer of the same size
        that juce::String uses, so that even huge or non-finite values come out the same. */
    struct FixedBufferStream : std::streambuf
    {
        explicit FixedBufferStream (char* d)
        {
            static const std::locale classicLocale (std::locale::classic());
            imbue (classicLocale);
            setp (d, d + kMaxNumberChars);
        }

        size_t written() const { return (size_t) (pptr() - pbase()); }
    };

    char* writeFixedThroughStream (char* out, double value, int decimals)
    {
        FixedBufferStream buffer (out);
        {
            std::ostream stream (&buffer);
            stream.setf (std::ios_base::fixed);
            stream.precision ((std::streamsize) decimals);
            stream << value;
        }
        return out + buffer.written();
    }
} // namespace

char* writeFixed (char* out, double value, int decimals) noexcept
{
    // The exact route below covers everything a frame carries; beyond it, the stream decides.
    if (! (std::abs (value) < 1.0e9) || decimals < 1 || decimals > 9)
        return writeFixedThroughStream (out, value, decimals);

    uint64_t bits;
    std::memcpy (&bits, &value, sizeof (bits));

    const bool negative = (bits >> 63) != 0;
    const auto exponentField = (int) ((bits >> 52) & 0x7ff);
    uint64_t mantissa = bits & ((1ull << 52) - 1);
    int exponent = -1074;

    if (exponentField != 0)
    {
        mantissa |= 1ull << 52;
        exponent = exponentField - 1075;
    }

    // |value| * 10^decimals = mantissa * 10^decimals * 2^exponent exactly, so the rounding to
    // the nearest whole number (ties to even, like printf) is done on the exact value.
    const auto scaled = (Wide) mantissa * kPowersOfTen[decimals];
    Wide rounded;

    if (exponent >= 0)
    {
        rounded = scaled << exponent;
    }
    else if (exponent < -100)
    {
        rounded = 0; // scaled < 2^84, so the value is far below one half
    }
    else
    {
        const int shift = -exponent;
        const Wide one = 1;
        rounded = scaled >> shift;
        const Wide remainder = scaled & ((one << shift) - 1);
        const Wide half = one << (shift - 1);

        if (remainder > half || (remainder == half && (rounded & 1) != 0))
            ++rounded;
    }

    const auto whole = (uint64_t) rounded; // below 1e18 since |value| < 1e9 and decimals <= 9
    const uint64_t unit = kPowersOfTen[decimals];

    if (negative)
        *out++ = '-';

    out = writeDigits (out, whole / unit);
    *out++ = '.';

    uint64_t fraction = whole % unit;

    for (int i = decimals - 1; i >= 0; --i)
    {
        out[i] = (char) ('0' + (int) (fraction % 10));
        fraction /= 10;
    }

    return out + decimals;
}

char* writeInteger (char* out, int64_t value) noexcept
{
    if (value < 0)
    {
        *out++ = '-';
        return writeDigits (out, (uint64_t) 0 - (uint64_t) value);
    }

    return writeDigits (out, (uint64_t) value);
}

} // namespace vistrel
