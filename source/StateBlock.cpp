#include "StateBlock.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "Utf8Text.h"

namespace vistrel
{
namespace
{
    /** Whether a text is one well-formed XML document, in the sense StateBlock.h gives. Runs
        before the framework's reader, which would take more than that. */
    class DocumentCheck
    {
    public:
        explicit DocumentCheck (std::string_view t) : text (t) {}

        /** Empty when the document is well-formed, else what is wrong and where. */
        juce::String run()
        {
            if (skipMisc() && expectRoot() && element() && skipMisc() && ! atEnd())
                fail ("text after the root element");

            return error;
        }

    private:
        bool fail (const juce::String& what)
        {
            if (error.isEmpty())
                error = what + " (at byte " + juce::String ((juce::int64) pos) + ")";

            return false;
        }

        static juce::String asString (std::string_view name)
        {
            return juce::String::fromUTF8 (name.data(), (int) name.size());
        }

        bool atEnd() const noexcept { return pos >= text.size(); }
        unsigned char peek() const noexcept { return static_cast<unsigned char> (text[pos]); }
        bool startsWith (std::string_view s) const noexcept { return text.substr (pos, s.size()) == s; }

        static bool isSpace (unsigned char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

        // The framework's identifier characters; beyond ASCII it takes letters and digits, and
        // anything else it refuses itself.
        static bool isNameChar (unsigned char c) noexcept
        {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                || c == '_' || c == '-' || c == ':' || c == '.' || c >= 0x80;
        }

        bool skipSpace() noexcept
        {
            const auto from = pos;

            while (! atEnd() && isSpace (peek()))
                ++pos;

            return pos > from;
        }

        std::string_view readName() noexcept
        {
            const auto from = pos;

            while (! atEnd() && isNameChar (peek()))
                ++pos;

            return text.substr (from, pos - from);
        }

        bool skipPast (std::size_t openLength, std::string_view close, const char* what)
        {
            const auto end = text.find (close, pos + openLength);

            if (end == std::string_view::npos)
                return fail (juce::String ("unterminated ") + what);

            pos = end + close.size();
            return true;
        }

        /** Whitespace, comments and processing instructions (the XML declaration among them). */
        bool skipMisc()
        {
            for (;;)
            {
                skipSpace();

                if (startsWith ("<!--"))
                {
                    if (! skipPast (4, "-->", "comment"))
                        return false;
                }
                else if (startsWith ("<?"))
                {
                    if (! skipPast (2, "?>", "processing instruction"))
                        return false;
                }
                else if (startsWith ("<!DOCTYPE"))
                {
                    return fail ("a document type declaration");
                }
                else
                {
                    return true;
                }
            }
        }

        bool expectRoot()
        {
            return ! atEnd() && peek() == '<' ? true : fail ("no root element");
        }

        /** "&amp;" and the other four, or a reference to a character that a juce::String can
            hold (no zero, no surrogate, nothing past U+10FFFF). */
        bool reference()
        {
            const auto window = text.substr (pos, 12);
            const auto semicolon = window.find (';');

            if (semicolon == std::string_view::npos)
                return fail ("'&' that starts no reference");

            const auto name = window.substr (1, semicolon - 1);

            for (const auto* known : { "amp", "lt", "gt", "quot", "apos" })
            {
                if (name == known)
                {
                    pos += semicolon + 1;
                    return true;
                }
            }

            if (name.empty() || name[0] != '#')
                return fail ("unknown entity &" + asString (name) + ";");

            const bool hex = name.substr (0, 2) == "#x";
            const auto digits = name.substr (hex ? 2 : 1);

            if (digits.empty())
                return fail ("malformed character reference");

            std::uint64_t code = 0;

            for (const auto c : digits)
            {
                const auto value = juce::CharacterFunctions::getHexDigitValue (static_cast<juce::juce_wchar> (c));

                if (value < 0 || (! hex && value > 9))
                    return fail ("malformed character reference");

                code = code * (hex ? 16u : 10u) + static_cast<std::uint64_t> (value);
            }

            // Control characters pass: the framework's writer refers to them this way.
            if (code == 0 || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff)
                return fail ("reference to a character a string cannot hold");

            pos += semicolon + 1;
            return true;
        }

        /** The attributes of a start tag, up to and including its end. */
        bool attributes (std::string_view element, bool& selfClosing)
        {
            // A "base64:" name becomes the name without it in the value tree.
            std::vector<std::string_view> names;

            for (;;)
            {
                const bool spaced = skipSpace();

                if (atEnd())
                    return fail ("<" + asString (element) + "> is not closed");

                if (startsWith ("/>") || peek() == '>')
                {
                    selfClosing = peek() == '/';
                    pos += selfClosing ? 2 : 1;

                    // Sorted rather than compared pairwise: a hostile block may have thousands.
                    std::sort (names.begin(), names.end());

                    if (const auto twice = std::adjacent_find (names.begin(), names.end()); twice != names.end())
                        return fail ("attribute " + asString (*twice) + " given twice in <" + asString (element) + ">");

                    return true;
                }

                const auto name = readName();

                if (name.empty() || ! spaced)
                    return fail ("malformed start tag <" + asString (element) + ">");

                auto key = name;

                if (key.substr (0, 7) == "base64:")
                    key.remove_prefix (7);

                names.push_back (key);
                skipSpace();

                if (atEnd() || peek() != '=')
                    return fail ("attribute " + asString (name) + " without a value");

                ++pos;
                skipSpace();

                if (atEnd() || (peek() != '"' && peek() != '\''))
                    return fail ("value of attribute " + asString (name) + " not in quotes");

                const auto quote = peek();
                ++pos;

                while (! atEnd() && peek() != quote)
                {
                    if (peek() == '<')
                        return fail ("'<' in the value of attribute " + asString (name));

                    if (peek() == '&')
                    {
                        if (! reference())
                            return false;
                    }
                    else
                    {
                        ++pos;
                    }
                }

                if (atEnd())
                    return fail ("<" + asString (element) + "> is not closed");

                ++pos;
            }
        }

        /** Character data, references, comments and CDATA sections, up to the next tag or the
            end of the text. */
        bool content()
        {
            while (! atEnd())
            {
                if (peek() == '&')
                {
                    if (! reference())
                        return false;

                    continue;
                }

                if (peek() != '<')
                {
                    ++pos;
                    continue;
                }

                if (startsWith ("<!--"))
                {
                    if (! skipPast (4, "-->", "comment"))
                        return false;
                }
                else if (startsWith ("<![CDATA["))
                {
                    if (! skipPast (9, "]]>", "CDATA section"))
                        return false;
                }
                else if (startsWith ("<?"))
                {
                    // The framework's reader loops forever on one followed by text.
                    return fail ("a processing instruction inside an element");
                }
                else if (startsWith ("<!"))
                {
                    return fail ("unexpected markup");
                }
                else
                {
                    return true;
                }
            }

            return true;
        }

        /** The root element and everything in it, without recursion: a block may be deep. */
        bool element()
        {
            std::vector<std::string_view> open;

            for (;;)
            {
                ++pos; // the '<' of a start tag
                const auto name = readName();

                if (name.empty())
                    return fail ("element without a name");

                bool selfClosing = false;

                if (! attributes (name, selfClosing))
                    return false;

                if (selfClosing && open.empty())
                    return true;

                if (! selfClosing)
                {
                    open.push_back (name);

                    if (open.size() > (std::size_t) kMaxStateDepth)
                        return fail ("elements nested too deeply");
                }

                for (;;)
                {
                    if (! content())
                        return false;

                    if (atEnd())
                        return fail ("<" + asString (open.back()) + "> is not closed");

                    if (! startsWith ("</"))
                        break; // a child's start tag

                    pos += 2;
                    const auto endName = readName();

                    if (endName != open.back())
                        return fail ("</" + asString (endName) + "> where </" + asString (open.back()) + "> belongs");

                    skipSpace();

                    if (atEnd() || peek() != '>')
                        return fail ("malformed end tag </" + asString (endName) + ">");

                    ++pos;
                    open.pop_back();

                    if (open.empty())
                        return true;
                }
            }
        }

        std::string_view text;
        std::size_t pos = 0;
        juce::String error;
    };

    StateXml refused (const juce::String& why)
    {
        return { nullptr, why };
    }
} // namespace

StateXml readStateXml (const void* data, int sizeInBytes)
{
    static constexpr uint32_t kMagic = 0x21324356;

    if (data == nullptr || sizeInBytes < 9)
        return refused ("a state block has at least 9 bytes");

    const auto* bytes = static_cast<const uint8_t*> (data);

    if (juce::ByteOrder::littleEndianInt (bytes) != kMagic)
        return refused ("not a state block: wrong magic number");

    const auto declaredLength = (int32_t) juce::ByteOrder::littleEndianInt (bytes + 4);
    if (declaredLength <= 0)
        return refused ("the length field is not positive");

    const auto* text = reinterpret_cast<const char*> (bytes + 8);
    auto length = (size_t) std::min (declaredLength, sizeInBytes - 8);
    if (const auto* zero = static_cast<const char*> (std::memchr (text, 0, length)))
        length = (size_t) (zero - text);

    // The framework's XML reader trusts its input to be valid UTF-8 and reads past the end of
    // a truncated multi-byte sequence, so anything else is refused before parsing.
    const std::string_view document (text, length);

    if (! utf8::isStringText (document))
        return refused ("the XML text is not valid UTF-8");

    if (const auto problem = DocumentCheck (document).run(); problem.isNotEmpty())
        return refused ("the XML is not well-formed: " + problem);

    juce::XmlDocument parser (juce::String::fromUTF8 (text, (int) length));
    auto xml = parser.getDocumentElement();

    if (xml == nullptr)
        return refused ("the XML does not parse: " + parser.getLastParseError());

    return { std::move (xml), {} };
}

} // namespace vistrel
