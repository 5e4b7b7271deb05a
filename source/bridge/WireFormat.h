#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include <juce_core/juce_core.h>

namespace vistrel::bridge
{

/** One message on its way to the page: a short header line and the payload text.

    The payload is kept as the juce::String it arrived in, so a frame produced by the analysis
    goes onto the socket without being copied, escaped or parsed again: the socket writes the
    header and the string's own UTF-8 bytes as one WebSocket message. */
struct OutboundMessage
{
    std::string head;     // ends with '\n'
    juce::String body;
    std::size_t bodyBytes = 0;
    bool lossy = false;   // may be dropped when the page falls behind
};

using OutboundPtr = std::shared_ptr<const OutboundMessage>;

/** The socket's message shapes; the README documents them for other tools.

    Every message is one WebSocket text message: a header line of space-separated fields, then
    "\n", then the body. A value travels in one of three kinds, named in the header:
    's' the body is the string itself (raw UTF-8, no quotes or escapes), 'j' the body is JSON,
    'u' no value (undefined / void; empty body). */
namespace wire
{
    inline constexpr std::size_t kMaxNameLength = 128;

    /** "e <kind> <eventId>\n<body>": an event, in either direction. */
    OutboundPtr encodeEvent (const juce::String& eventId, const juce::var& payload, bool lossy);

    /** "r <callId> <kind>\n<body>": the one answer of a native function call. */
    OutboundPtr encodeAnswer (std::uint64_t callId, const juce::var& answer);

    /** "x <callId>\n<message>": a call that failed, or (call ID 0) a message that could not be read. */
    OutboundPtr encodeFailure (std::uint64_t callId, const juce::String& message);

    struct InboundEvent
    {
        juce::String eventId;
        juce::var payload;
    };

    struct InboundCall
    {
        std::uint64_t callId = 0;
        juce::String function;
        juce::Array<juce::var> args;
    };

    /** What a malformed message turns into: the answer to send back, so nothing is lost silently. */
    struct InboundFailure
    {
        std::uint64_t callId = 0;
        juce::String message;
    };

    using Inbound = std::variant<InboundEvent, InboundCall, InboundFailure>;

    /** Reads one message from the page. Calls are "c <callId> <function> [j|t]\n<body>": with 'j'
        (or no form field) the body is a JSON array of the arguments, or empty for none; with 't'
        the body is a JSON array of all arguments but the last, "\n", and the last argument as a
        raw string, which spares the big Base64 chunks of an export from JSON's escaping.

        JSON is read strictly (json::parse), and raw text must be what a juce::String holds
        unchanged (utf8::isStringText). Anything else comes back as a failure, carrying the call
        ID whenever the header gave a valid one, so the page's promise for that call settles. */
    Inbound decode (std::string_view message);

    /** True for an event ID or function name the header can carry: 1 to 128 printable ASCII
        characters without spaces. */
    bool isValidName (std::string_view name) noexcept;
} // namespace wire

} // namespace vistrel::bridge
