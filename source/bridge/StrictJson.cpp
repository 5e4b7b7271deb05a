#include "StrictJson.h"

#include "Utf8Text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace vistrel::bridge::json
{
namespace
{
    void appendUtf8 (std::string& out, std::uint32_t c)
    {
        if (c < 0x80)
        {
            out += static_cast<char> (c);
        }
        else if (c < 0x800)
        {
            out += static_cast<char> (0xc0 | (c >> 6));
            out += static_cast<char> (0x80 | (c & 0x3f));
        }
        else if (c < 0x10000)
        {
            out += static_cast<char> (0xe0 | (c >> 12));
            out += static_cast<char> (0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char> (0x80 | (c & 0x3f));
        }
        else
        {
            out += static_cast<char> (0xf0 | (c >> 18));
            out += static_cast<char> (0x80 | ((c >> 12) & 0x3f));
            out += static_cast<char> (0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char> (0x80 | (c & 0x3f));
        }
    }

    class Reader
    {
    public:
        explicit Reader (std::string_view t) : text (t) {}

        juce::Result readDocument (juce::var& result)
        {
            skipWhitespace();

            if (! readValue (result, 0))
                return juce::Result::fail (error);

            skipWhitespace();

            if (pos != text.size())
            {
                fail ("unexpected text after the value");
                return juce::Result::fail (error);
            }

            return juce::Result::ok();
        }

    private:
        bool fail (const char* what)
        {
            error = juce::String (what) + " at byte " + juce::String ((juce::int64) pos);
            return false;
        }

        bool atEnd() const noexcept { return pos >= text.size(); }
        unsigned char peek() const noexcept { return static_cast<unsigned char> (text[pos]); }

        void skipWhitespace() noexcept
        {
            while (! atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
                ++pos;
        }

        bool readValue (juce::var& out, int depth)
        {
            if (atEnd())
                return fail ("unexpected end");

            switch (peek())
            {
                case '{': return readObject (out, depth + 1);
                case '[': return readArray (out, depth + 1);
                case '"':
                {
                    std::string s;

                    if (! readString (s))
                        return false;

                    out = juce::String::fromUTF8 (s.data(), static_cast<int> (s.size()));
                    return true;
                }
                case 't': return readLiteral ("true", true, out);
                case 'f': return readLiteral ("false", false, out);
                case 'n': return readLiteral ("null", juce::var(), out);
                default:
                    if (peek() == '-' || (peek() >= '0' && peek() <= '9'))
                        return readNumber (out);

                    return fail ("unexpected character");
            }
        }

        bool readLiteral (std::string_view word, const juce::var& value, juce::var& out)
        {
            if (text.substr (pos, word.size()) != word)
                return fail ("unexpected character");

            pos += word.size();
            out = value;
            return true;
        }

        bool readArray (juce::var& out, int depth)
        {
            if (depth > kMaxDepth)
                return fail ("arrays and objects nested too deeply");

            ++pos;
            out = juce::var (juce::Array<juce::var>());
            auto& items = *out.getArray();
            skipWhitespace();

            if (! atEnd() && peek() == ']')
            {
                ++pos;
                return true;
            }

            for (;;)
            {
                skipWhitespace();
                juce::var item;

                if (! readValue (item, depth))
                    return false;

                items.add (std::move (item));
                skipWhitespace();

                if (atEnd())
                    return fail ("unexpected end");

                const auto c = peek();
                ++pos;

                if (c == ']')
                    return true;

                if (c != ',')
                {
                    --pos;
                    return fail ("expected ',' or ']'");
                }
            }
        }

        bool readObject (juce::var& out, int depth)
        {
            if (depth > kMaxDepth)
                return fail ("arrays and objects nested too deeply");

            ++pos;
            auto* object = new juce::DynamicObject();
            out = juce::var (object);
            skipWhitespace();

            if (! atEnd() && peek() == '}')
            {
                ++pos;
                return true;
            }

            for (;;)
            {
                skipWhitespace();

                if (atEnd() || peek() != '"')
                    return fail ("expected a property name");

                std::string name;

                if (! readString (name))
                    return false;

                // A juce::Identifier cannot be empty.
                if (name.empty())
                    return fail ("empty property name");

                skipWhitespace();

                if (atEnd() || peek() != ':')
                    return fail ("expected ':'");

                ++pos;
                skipWhitespace();
                juce::var value;

                if (! readValue (value, depth))
                    return false;

                object->setProperty (juce::Identifier (juce::String::fromUTF8 (name.data(), static_cast<int> (name.size()))),
                                     value);
                skipWhitespace();

                if (atEnd())
                    return fail ("unexpected end");

                const auto c = peek();
                ++pos;

                if (c == '}')
                    return true;

                if (c != ',')
                {
                    --pos;
                    return fail ("expected ',' or '}'");
                }
            }
        }

        bool readHex4 (std::uint32_t& value)
        {
            if (text.size() - pos < 4)
                return fail ("unexpected end in a \\u escape");

            value = 0;

            for (int i = 0; i < 4; ++i)
            {
                const auto digit = juce::CharacterFunctions::getHexDigitValue (static_cast<juce::juce_wchar> (peek()));

                if (digit < 0)
                    return fail ("bad \\u escape");

                value = (value << 4) | static_cast<std::uint32_t> (digit);
                ++pos;
            }

            return true;
        }

        bool readEscape (std::string& out)
        {
            ++pos; // the backslash

            if (atEnd())
                return fail ("unexpected end in an escape");

            const auto c = peek();
            ++pos;

            switch (c)
            {
                case '"':  out += '"';  return true;
                case '\\': out += '\\'; return true;
                case '/':  out += '/';  return true;
                case 'b':  out += '\b'; return true;
                case 'f':  out += '\f'; return true;
                case 'n':  out += '\n'; return true;
                case 'r':  out += '\r'; return true;
                case 't':  out += '\t'; return true;
                case 'u':  break;
                default:
                    --pos;
                    return fail ("unknown escape");
            }

            std::uint32_t unit = 0;

            if (! readHex4 (unit))
                return false;

            if (unit == 0)
                return fail ("\\u0000 (a native string ends at a zero character)");

            if (unit >= 0xdc00 && unit <= 0xdfff)
                return fail ("lone low surrogate");

            if (unit >= 0xd800 && unit <= 0xdbff)
            {
                std::uint32_t low = 0;

                if (text.substr (pos, 2) != "\\u")
                    return fail ("lone high surrogate");

                pos += 2;

                if (! readHex4 (low))
                    return false;

                if (low < 0xdc00 || low > 0xdfff)
                    return fail ("lone high surrogate");

                unit = 0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00);
            }

            appendUtf8 (out, unit);
            return true;
        }

        bool readString (std::string& out)
        {
            ++pos; // the opening quote

            for (;;)
            {
                const auto runStart = pos;

                while (! atEnd() && peek() >= 0x20 && peek() < 0x80 && peek() != '"' && peek() != '\\')
                    ++pos;

                out.append (text.data() + runStart, pos - runStart);

                if (atEnd())
                    return fail ("unterminated string");

                const auto c = peek();

                if (c == '"')
                {
                    ++pos;
                    return true;
                }

                if (c == '\\')
                {
                    if (! readEscape (out))
                        return false;

                    continue;
                }

                if (c < 0x20)
                    return fail ("control character in a string");

                const auto length = utf8::sequenceLength (reinterpret_cast<const unsigned char*> (text.data()) + pos,
                                                        text.size() - pos);

                if (length == 0)
                    return fail ("not UTF-8");

                out.append (text.data() + pos, length);
                pos += length;
            }
        }

        bool readNumber (juce::var& out)
        {
            const auto start = pos;
            const bool negative = peek() == '-';

            if (negative)
                ++pos;

            const auto digitsStart = pos;

            if (atEnd() || peek() < '0' || peek() > '9')
                return fail ("malformed number");

            if (peek() == '0')
                ++pos;
            else
                skipDigits();

            const auto digitsEnd = pos;
            bool integral = true;

            if (! atEnd() && peek() == '.')
            {
                ++pos;
                integral = false;

                if (! skipDigits())
                    return fail ("malformed number");
            }

            if (! atEnd() && (peek() == 'e' || peek() == 'E'))
            {
                ++pos;
                integral = false;

                if (! atEnd() && (peek() == '+' || peek() == '-'))
                    ++pos;

                if (! skipDigits())
                    return fail ("malformed number");
            }

            if (integral && readInteger (text.substr (digitsStart, digitsEnd - digitsStart), negative, out))
                return true;

            double value = 0.0;
            const auto* first = text.data() + start;
            const auto* last = text.data() + pos;
            const auto [end, ec] = std::from_chars (first, last, value);

            if (ec == std::errc::result_out_of_range)
                return fail ("number out of range");

            if (ec != std::errc() || end != last || ! std::isfinite (value))
                return fail ("malformed number");

            out = value;
            return true;
        }

        /** Integers as the framework types them; false when beyond int64, for a double instead. */
        static bool readInteger (std::string_view digits, bool negative, juce::var& out)
        {
            constexpr auto limit = static_cast<std::uint64_t> (std::numeric_limits<std::int64_t>::max()) + 1;
            std::uint64_t magnitude = 0;

            for (const auto c : digits)
            {
                const auto digit = static_cast<std::uint64_t> (c - '0');

                if (magnitude > (limit - digit) / 10)
                    return false;

                magnitude = magnitude * 10 + digit;
            }

            if ((magnitude >> 31) == 0)
            {
                const auto value = static_cast<int> (magnitude);
                out = negative ? -value : value;
                return true;
            }

            if (negative)
            {
                out = magnitude == limit ? std::numeric_limits<juce::int64>::min()
                                         : -static_cast<juce::int64> (magnitude);
                return true;
            }

            if (magnitude == limit)
                return false;

            out = static_cast<juce::int64> (magnitude);
            return true;
        }

        bool skipDigits() noexcept
        {
            const auto from = pos;

            while (! atEnd() && peek() >= '0' && peek() <= '9')
                ++pos;

            return pos > from;
        }

        std::string_view text;
        std::size_t pos = 0;
        juce::String error;
    };
} // namespace

juce::Result parse (std::string_view text, juce::var& result)
{
    juce::var value;
    const auto outcome = Reader (text).readDocument (value);

    if (outcome.wasOk())
        result = std::move (value);

    return outcome;
}

} // namespace vistrel::bridge::json
