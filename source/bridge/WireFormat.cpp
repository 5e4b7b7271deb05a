#include "WireFormat.h"

#include <charconv>
#include <cmath>
#include <string>

#include "StrictJson.h"
#include "Utf8Text.h"

namespace vistrel::bridge::wire
{
namespace
{
    constexpr std::uint64_t kMaxCallId = (std::uint64_t (1) << 53) - 1; // exact in a JS number

    void appendEscape (std::string& out, std::uint32_t unit)
    {
        static constexpr char hex[] = "0123456789abcdef";
        out += "\\u";

        for (int shift = 12; shift >= 0; shift -= 4)
            out += hex[(unit >> shift) & 0xf];
    }

    /** Quoted, with everything outside printable ASCII escaped, so that even a string that is not
        valid UTF-8 puts only valid text on the socket. */
    void appendJsonString (std::string& out, const juce::String& text)
    {
        out += '"';

        for (auto p = text.getCharPointer(); ! p.isEmpty();)
        {
            const auto c = static_cast<std::uint32_t> (p.getAndAdvance());

            switch (c)
            {
                case '"':  out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\b': out += "\\b"; break;
                case '\f': out += "\\f"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (c >= 0x20 && c < 0x7f)
                    {
                        out += static_cast<char> (c);
                    }
                    else if (c >= 0x10000 && c <= 0x10ffff)
                    {
                        appendEscape (out, 0xd800 + ((c - 0x10000) >> 10));
                        appendEscape (out, 0xdc00 + ((c - 0x10000) & 0x3ff));
                    }
                    else
                    {
                        const bool isCharacter = c < 0xd800 || (c > 0xdfff && c < 0x10000);
                        appendEscape (out, isCharacter ? c : 0xfffd);
                    }
                    break;
            }
        }

        out += '"';
    }

    void appendJson (std::string& out, const juce::var& value)
    {
        if (value.isString())
        {
            appendJsonString (out, value.toString());
        }
        else if (value.isBool())
        {
            out += static_cast<bool> (value) ? "true" : "false";
        }
        else if (value.isInt() || value.isInt64())
        {
            out += std::to_string (static_cast<juce::int64> (value));
        }
        else if (value.isDouble())
        {
            const auto d = static_cast<double> (value);

            if (! std::isfinite (d))
            {
                out += "null";
                return;
            }

            // The shortest text that reads back as the same double; an integral one keeps a
            // fraction, so that it reads back as a double and not as an integer.
            char buffer[32];
            const auto end = std::to_chars (buffer, buffer + sizeof (buffer), d).ptr;
            const std::string_view number (buffer, static_cast<std::size_t> (end - buffer));
            out += number;

            if (number.find_first_of (".e") == std::string_view::npos)
                out += ".0";
        }
        else if (const auto* array = value.getArray())
        {
            out += '[';

            for (int i = 0; i < array->size(); ++i)
            {
                if (i > 0)
                    out += ", ";

                appendJson (out, array->getReference (i));
            }

            out += ']';
        }
        else if (auto* object = value.getDynamicObject())
        {
            out += '{';
            const auto& properties = object->getProperties();

            for (int i = 0; i < properties.size(); ++i)
            {
                if (i > 0)
                    out += ", ";

                appendJsonString (out, properties.getName (i).toString());
                out += ": ";
                appendJson (out, *properties.getVarPointerAt (i));
            }

            out += '}';
        }
        else
        {
            // void, undefined and what JSON cannot carry (methods, binary data) all read as null,
            // as JSON.stringify writes undefined inside an array.
            out += "null";
        }
    }

    /** JSON in the framework's one-line layout ("[1, 2]", {"a": 1}). Its own writer is not used:
        it writes U+0007 as "\a", which the page's JSON.parse rejects, and keeps only 15 or 16
        digits of a double, so the largest ones come back as Infinity. */
    juce::String toJson (const juce::var& value)
    {
        std::string out;
        appendJson (out, value);
        return juce::String::fromUTF8 (out.data(), static_cast<int> (out.size()));
    }

    char kindOf (const juce::var& value)
    {
        if (value.isVoid() || value.isUndefined())
            return 'u';

        return value.isString() ? 's' : 'j';
    }

    juce::String bodyOf (char kind, const juce::var& value)
    {
        if (kind == 's')
            return value.toString();

        if (kind == 'j')
            return toJson (value);

        return {};
    }

    OutboundPtr makeMessage (std::string head, juce::String body, bool lossy)
    {
        auto message = std::make_shared<OutboundMessage>();
        message->head = std::move (head);
        message->bodyBytes = body.getNumBytesAsUTF8();
        message->body = std::move (body);
        message->lossy = lossy;
        return message;
    }

    /** Splits off the next space-separated field of the header. */
    std::string_view nextField (std::string_view& header)
    {
        const auto space = header.find (' ');
        const auto field = header.substr (0, space);
        header = space == std::string_view::npos ? std::string_view {} : header.substr (space + 1);
        return field;
    }

    bool parseCallId (std::string_view text, std::uint64_t& id)
    {
        if (text.empty() || text.size() > 16)
            return false;

        const auto result = std::from_chars (text.data(), text.data() + text.size(), id);
        return result.ec == std::errc() && result.ptr == text.data() + text.size() && id >= 1 && id <= kMaxCallId;
    }

    juce::String fromUTF8 (std::string_view text)
    {
        return juce::String::fromUTF8 (text.data(), (int) text.size());
    }

    /** The arguments' JSON array; an empty body is a call without arguments. */
    juce::Result parseArgumentArray (std::string_view text, juce::Array<juce::var>& args)
    {
        if (text.empty())
            return juce::Result::ok();

        juce::var parsed;
        const auto result = json::parse (text, parsed);

        if (result.failed())
            return result;

        if (! parsed.isArray())
            return juce::Result::fail ("not an array");

        args = std::move (*parsed.getArray());
        return juce::Result::ok();
    }

    // A page's browser sends only UTF-8 (the socket refuses other text), but a zero character is
    // UTF-8 too, and a juce::String would silently end there.
    const char* const kNotText = "is not UTF-8 text without zero characters";

    Inbound decodeEvent (std::string_view header, std::string_view body)
    {
        const bool trailingSpace = header.ends_with (' ');   // an empty last field
        const auto kind = nextField (header);
        const auto eventId = nextField (header);

        if (kind.size() != 1 || ! isValidName (eventId) || ! header.empty() || trailingSpace)
            return InboundFailure { 0, "malformed event header" };

        InboundEvent event { fromUTF8 (eventId), {} };

        switch (kind[0])
        {
            case 's':
                if (! utf8::isStringText (body))
                    return InboundFailure { 0, "event " + event.eventId + ": payload " + kNotText };

                event.payload = fromUTF8 (body);
                break;

            case 'u': break;

            case 'j':
                if (const auto result = json::parse (body, event.payload); result.failed())
                    return InboundFailure { 0, "event " + event.eventId + ": payload is not valid JSON ("
                                                   + result.getErrorMessage() + ")" };
                break;

            default:
                return InboundFailure { 0, "event " + event.eventId + ": unknown payload kind" };
        }

        return event;
    }

    Inbound decodeCall (std::string_view header, std::string_view body)
    {
        InboundCall call;

        if (! parseCallId (nextField (header), call.callId))
            return InboundFailure { 0, "malformed call header: bad call id" };

        const bool trailingSpace = header.ends_with (' ');   // an empty last field
        const auto function = nextField (header);
        const auto form = nextField (header);

        if (! isValidName (function) || ! header.empty() || trailingSpace)
            return InboundFailure { call.callId, "malformed call header" };

        call.function = fromUTF8 (function);

        const auto notAnArray = [&call] (const juce::Result& result)
        {
            return InboundFailure { call.callId, call.function + ": arguments are not a JSON array ("
                                                     + result.getErrorMessage() + ")" };
        };

        if (form.empty() || form == "j")
        {
            if (const auto result = parseArgumentArray (body, call.args); result.failed())
                return notAnArray (result);

            return call;
        }

        if (form == "t")
        {
            const auto newline = body.find ('\n');

            if (newline == std::string_view::npos)
                return notAnArray (juce::Result::fail ("no line feed after them"));

            if (const auto result = parseArgumentArray (body.substr (0, newline), call.args); result.failed())
                return notAnArray (result);

            const auto last = body.substr (newline + 1);

            if (! utf8::isStringText (last))
                return InboundFailure { call.callId, call.function + ": the last argument " + kNotText };

            call.args.add (fromUTF8 (last));
            return call;
        }

        return InboundFailure { call.callId, call.function + ": unknown argument form" };
    }
} // namespace

bool isValidName (std::string_view name) noexcept
{
    if (name.empty() || name.size() > kMaxNameLength)
        return false;

    for (auto c : name)
        if (c <= ' ' || c > '~')
            return false;

    return true;
}

OutboundPtr encodeEvent (const juce::String& eventId, const juce::var& payload, bool lossy)
{
    const auto kind = kindOf (payload);
    std::string head;
    head.reserve (8 + (size_t) eventId.length());
    head += "e ";
    head += kind;
    head += ' ';
    head += eventId.toStdString();
    head += '\n';
    return makeMessage (std::move (head), bodyOf (kind, payload), lossy);
}

OutboundPtr encodeAnswer (std::uint64_t callId, const juce::var& answer)
{
    const auto kind = kindOf (answer);
    return makeMessage ("r " + std::to_string (callId) + ' ' + kind + '\n', bodyOf (kind, answer), false);
}

OutboundPtr encodeFailure (std::uint64_t callId, const juce::String& message)
{
    return makeMessage ("x " + std::to_string (callId) + '\n', message, false);
}

Inbound decode (std::string_view message)
{
    const auto newline = message.find ('\n');
    auto header = message.substr (0, newline);
    const auto body = newline == std::string_view::npos ? std::string_view {} : message.substr (newline + 1);

    const auto type = nextField (header);

    if (type == "e")
        return decodeEvent (header, body);

    if (type == "c")
        return decodeCall (header, body);

    return InboundFailure { 0, "unknown message type" };
}

} // namespace vistrel::bridge::wire
