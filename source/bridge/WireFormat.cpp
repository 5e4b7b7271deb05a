#include "WireFormat.h"

#include <charconv>

namespace vistrel::bridge::wire
{
namespace
{
    constexpr std::uint64_t kMaxCallId = (std::uint64_t (1) << 53) - 1; // exact in a JS number

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
            return juce::JSON::toString (value, true);

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

    bool parseArgumentArray (std::string_view text, juce::Array<juce::var>& args)
    {
        if (text.empty())
            return true;

        juce::var parsed;

        if (juce::JSON::parse (fromUTF8 (text), parsed).failed() || ! parsed.isArray())
            return false;

        args = *parsed.getArray();
        return true;
    }

    /** Any JSON value, scalars included (juce::JSON::parse accepts only objects and arrays). */
    bool parseJsonValue (std::string_view text, juce::var& value)
    {
        const auto json = fromUTF8 (text).trim();

        if (json.startsWithChar ('{') || json.startsWithChar ('['))
            return juce::JSON::parse (json, value).wasOk();

        value = juce::JSON::fromString (json);
        return ! value.isVoid() || json == "null";
    }

    Inbound decodeEvent (std::string_view header, std::string_view body)
    {
        const auto kind = nextField (header);
        const auto eventId = nextField (header);

        if (kind.size() != 1 || ! isValidName (eventId) || ! header.empty())
            return InboundFailure { 0, "malformed event header" };

        InboundEvent event { fromUTF8 (eventId), {} };

        switch (kind[0])
        {
            case 's': event.payload = fromUTF8 (body); break;
            case 'u': break;
            case 'j':
                if (! parseJsonValue (body, event.payload))
                    return InboundFailure { 0, "event " + event.eventId + ": payload is not valid JSON" };
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

        const auto function = nextField (header);
        const auto form = nextField (header);

        if (! isValidName (function) || ! header.empty())
            return InboundFailure { call.callId, "malformed call header" };

        call.function = fromUTF8 (function);

        if (form.empty() || form == "j")
        {
            if (! parseArgumentArray (body, call.args))
                return InboundFailure { call.callId, call.function + ": arguments are not a JSON array" };

            return call;
        }

        if (form == "t")
        {
            const auto newline = body.find ('\n');

            if (newline == std::string_view::npos || ! parseArgumentArray (body.substr (0, newline), call.args))
                return InboundFailure { call.callId, call.function + ": arguments are not a JSON array" };

            call.args.add (fromUTF8 (body.substr (newline + 1)));
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
