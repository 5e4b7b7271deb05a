// Feeds arbitrary bytes to the reader of the page's socket messages. A message must come out as a
// well-formed call or event, or as a refusal that says why; a call or event must read back the
// same after the bridge's own writer has written it out again.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "Utf8Text.h"
#include "bridge/WireFormat.h"

using namespace vistrel::bridge;

namespace
{
constexpr std::uint64_t kMaxCallId = (std::uint64_t (1) << 53) - 1;

[[noreturn]] void failed (int line, const char* what)
{
    std::fprintf (stderr, "WireFuzzer.cpp:%d: %s\n", line, what);
    __builtin_trap();
}

// Says which property broke, so a replayed finding needs no debugger.
#define check(condition) ((condition) ? void() : failed (__LINE__, #condition))

std::vector<std::string_view> fieldsOf (std::string_view header)
{
    std::vector<std::string_view> fields;

    for (;;)
    {
        const auto space = header.find (' ');
        fields.push_back (header.substr (0, space));

        if (space == std::string_view::npos)
            return fields;

        header.remove_prefix (space + 1);
    }
}

bool parsesAsId (std::string_view field, std::uint64_t id)
{
    std::uint64_t parsed = 0;
    const auto [end, ec] = std::from_chars (field.data(), field.data() + field.size(), parsed);
    return ec == std::errc() && end == field.data() + field.size() && parsed == id;
}

std::string utf8Of (const juce::String& s)
{
    return { s.toRawUTF8(), s.getNumBytesAsUTF8() };
}

std::string textOf (const OutboundPtr& message)
{
    return message->head + std::string (message->body.toRawUTF8(), message->bodyBytes);
}

/** The JSON the bridge writes for a value, as it goes out in an answer. */
std::string jsonOf (const juce::var& value)
{
    const auto answer = wire::encodeAnswer (1, value);
    check (answer->head == "r 1 j\n");
    return std::string (answer->body.toRawUTF8(), answer->bodyBytes);
}

/** Every string in a value, property names included, is text a juce::String holds unchanged. */
bool holdsOnlyText (const juce::var& value)
{
    if (value.isString())
        return vistrel::utf8::isStringText (utf8Of (value.toString()));

    if (const auto* array = value.getArray())
    {
        for (const auto& item : *array)
            if (! holdsOnlyText (item))
                return false;

        return true;
    }

    if (auto* object = value.getDynamicObject())
    {
        for (const auto& property : object->getProperties())
            if (! vistrel::utf8::isStringText (utf8Of (property.name.toString())) || ! holdsOnlyText (property.value))
                return false;

        return true;
    }

    return ! value.isUndefined() && ! value.isMethod() && ! value.isBinaryData();
}

int typeOf (const juce::var& v)
{
    if (v.isVoid())      return 0;
    if (v.isBool())      return 1;
    if (v.isInt())       return 2;
    if (v.isInt64())     return 3;
    if (v.isDouble())    return 4;
    if (v.isString())    return 5;
    if (v.isArray())     return 6;
    if (v.getDynamicObject() != nullptr) return 7;
    return 8;
}

/** Same type and content. */
bool sameValue (const juce::var& a, const juce::var& b)
{
    if (typeOf (a) != typeOf (b))
        return false;

    switch (typeOf (a))
    {
        case 0: return true;
        case 1: return (bool) a == (bool) b;
        case 2: return (int) a == (int) b;
        case 3: return (juce::int64) a == (juce::int64) b;
        case 4: return (double) a == (double) b && std::isfinite ((double) a);
        case 5: return a.toString() == b.toString();
        case 6:
        {
            const auto& p = *a.getArray();
            const auto& q = *b.getArray();

            if (p.size() != q.size())
                return false;

            for (int i = 0; i < p.size(); ++i)
                if (! sameValue (p.getReference (i), q.getReference (i)))
                    return false;

            return true;
        }
        case 7:
        {
            const auto& p = a.getDynamicObject()->getProperties();
            const auto& q = b.getDynamicObject()->getProperties();

            if (p.size() != q.size())
                return false;

            for (int i = 0; i < p.size(); ++i)
                if (p.getName (i) != q.getName (i) || ! sameValue (*p.getVarPointerAt (i), *q.getVarPointerAt (i)))
                    return false;

            return true;
        }
        default:
            return false;
    }
}

void checkCallReadsBack (std::string_view text, const wire::InboundCall& call, int numArgs)
{
    const auto again = wire::decode (text);
    const auto* copy = std::get_if<wire::InboundCall> (&again);
    check (copy != nullptr);
    check (copy->callId == call.callId && copy->function == call.function);
    check (copy->args.size() == numArgs);

    for (int i = 0; i < numArgs; ++i)
        check (sameValue (copy->args[i], call.args[i]));
}

void checkCall (std::string_view message, const wire::InboundCall& call)
{
    const auto newline = message.find ('\n');
    const auto fields = fieldsOf (message.substr (0, newline));
    const auto body = newline == std::string_view::npos ? std::string_view {} : message.substr (newline + 1);

    check (fields.size() == 3 || fields.size() == 4);
    check (fields[0] == "c");
    check (call.callId >= 1 && call.callId <= kMaxCallId && parsesAsId (fields[1], call.callId));
    check (wire::isValidName (fields[2]) && utf8Of (call.function) == fields[2]);

    for (const auto& arg : call.args)
        check (holdsOnlyText (arg));

    const auto head = "c " + std::to_string (call.callId) + " " + utf8Of (call.function);

    if (fields.size() == 4 && fields[3] == "t")
    {
        // The last argument is everything after the array's line, byte for byte.
        const auto tail = body.substr (body.find ('\n') + 1);
        check (! call.args.isEmpty() && call.args.getLast().isString());
        check (utf8Of (call.args.getLast().toString()) == tail);
    }
    else
    {
        check (fields.size() == 3 || fields[3] == "j");
        check (! body.empty() || call.args.isEmpty());
    }

    checkCallReadsBack (head + "\n" + jsonOf (juce::var (call.args)), call, call.args.size());

    if (! call.args.isEmpty() && call.args.getLast().isString())
    {
        auto others = call.args;
        others.removeLast();
        checkCallReadsBack (head + " t\n" + jsonOf (juce::var (others)) + "\n" + utf8Of (call.args.getLast().toString()),
                            call, call.args.size());
    }
}

void checkEvent (std::string_view message, const wire::InboundEvent& event)
{
    const auto newline = message.find ('\n');
    const auto fields = fieldsOf (message.substr (0, newline));
    const auto body = newline == std::string_view::npos ? std::string_view {} : message.substr (newline + 1);

    check (fields.size() == 3 && fields[0] == "e" && fields[1].size() == 1);
    check (wire::isValidName (fields[2]) && utf8Of (event.eventId) == fields[2]);
    check (holdsOnlyText (event.payload));

    switch (fields[1][0])
    {
        case 's': check (event.payload.isString() && utf8Of (event.payload.toString()) == body); break;
        case 'u': check (event.payload.isVoid()); break;
        case 'j': break;
        default:  check (false);
    }

    const auto again = wire::decode (textOf (wire::encodeEvent (event.eventId, event.payload, false)));
    const auto* copy = std::get_if<wire::InboundEvent> (&again);
    check (copy != nullptr);
    check (copy->eventId == event.eventId);
    check (sameValue (copy->payload, event.payload));
}

void checkFailure (std::string_view message, const wire::InboundFailure& failure)
{
    check (failure.message.isNotEmpty() && vistrel::utf8::isStringText (utf8Of (failure.message)));

    // Only a call whose header gave a usable ID is answered under that ID, so the page's promise
    // for it settles; anything else is answered under 0.
    if (failure.callId != 0)
    {
        const auto fields = fieldsOf (message.substr (0, message.find ('\n')));
        check (failure.callId <= kMaxCallId && fields.size() >= 2 && fields[0] == "c" && parsesAsId (fields[1], failure.callId));
    }

    check (textOf (wire::encodeFailure (failure.callId, failure.message))
           == "x " + std::to_string (failure.callId) + "\n" + utf8Of (failure.message));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const std::string_view message (reinterpret_cast<const char*> (data), size);
    const auto inbound = wire::decode (message);

    if (const auto* call = std::get_if<wire::InboundCall> (&inbound))
        checkCall (message, *call);
    else if (const auto* event = std::get_if<wire::InboundEvent> (&inbound))
        checkEvent (message, *event);
    else
        checkFailure (message, std::get<wire::InboundFailure> (inbound));

    return 0;
}
