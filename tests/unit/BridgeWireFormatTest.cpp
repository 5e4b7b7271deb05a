// The socket's message shapes, encoded and decoded without a socket.

#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "bridge/WireFormat.h"

using namespace vistrel::bridge;

namespace
{
std::string textOf (const OutboundPtr& message)
{
    return message->head + std::string (message->body.toRawUTF8(), message->bodyBytes);
}
} // namespace

TEST (BridgeWireFormat, OutboundMessagesCarryTextUnescapedAndOtherValuesAsJson)
{
    const juce::String frame = juce::String::fromUTF8 ("{\"a\":\"\xc3\xa9\\\"\"}");
    EXPECT_EQ (textOf (wire::encodeEvent ("vistrel-frame", frame, true)), "e s vistrel-frame\n" + frame.toStdString());
    EXPECT_TRUE (wire::encodeEvent ("vistrel-frame", frame, true)->lossy);
    EXPECT_FALSE (wire::encodeEvent ("vistrel-state", "", false)->lossy);
    EXPECT_EQ (textOf (wire::encodeEvent ("vistrel-state", "", false)), "e s vistrel-state\n");

    juce::Array<juce::var> list { 1, "two" };
    EXPECT_EQ (textOf (wire::encodeEvent ("x", juce::var (list), false)), "e j x\n[1, \"two\"]");
    EXPECT_EQ (textOf (wire::encodeAnswer (7, juce::var())), "r 7 u\n");
    EXPECT_EQ (textOf (wire::encodeAnswer (9007199254740991ull, "{\"ok\":true}")), "r 9007199254740991 s\n{\"ok\":true}");
    EXPECT_EQ (textOf (wire::encodeAnswer (3, 2.5)), "r 3 j\n2.5");
    EXPECT_EQ (textOf (wire::encodeFailure (4, "no native function named q")), "x 4\nno native function named q");
}

TEST (BridgeWireFormat, InboundCallsAndEventsDecodeWithTheirValues)
{
    const auto call = std::get<wire::InboundCall> (wire::decode ("c 12 exportAppend t\n[\"rec\"]\nQUJD\n=="));
    EXPECT_EQ (call.callId, 12u);
    EXPECT_EQ (call.function, "exportAppend");
    ASSERT_EQ (call.args.size(), 2);
    EXPECT_EQ (call.args[0].toString(), "rec");
    EXPECT_EQ (call.args[1].toString(), "QUJD\n==");   // everything after the array's line

    const auto noArgs = std::get<wire::InboundCall> (wire::decode ("c 1 getInit"));
    EXPECT_TRUE (noArgs.args.isEmpty());

    const auto json = std::get<wire::InboundCall> (wire::decode ("c 2 setParam j\n[\"hue\", 0.25]"));
    ASSERT_EQ (json.args.size(), 2);
    EXPECT_DOUBLE_EQ ((double) json.args[1], 0.25);

    const auto text = std::get<wire::InboundEvent> (wire::decode ("e s openUrl\nmailto:a@b\n"));
    EXPECT_EQ (text.eventId, "openUrl");
    EXPECT_EQ (text.payload.toString(), "mailto:a@b\n");

    EXPECT_TRUE (std::get<wire::InboundEvent> (wire::decode ("e j x\nnull")).payload.isVoid());
    EXPECT_TRUE ((bool) std::get<wire::InboundEvent> (wire::decode ("e j x\ntrue")).payload);
    EXPECT_EQ (std::get<wire::InboundEvent> (wire::decode ("e j x\n\"s\"")).payload.toString(), "s");
}

TEST (BridgeWireFormat, NamesAreShortPrintableAndWithoutSpaces)
{
    EXPECT_TRUE (wire::isValidName ("vistrel-frame"));
    EXPECT_TRUE (wire::isValidName (std::string (128, 'a')));
    EXPECT_FALSE (wire::isValidName (std::string (129, 'a')));
    EXPECT_FALSE (wire::isValidName (""));
    EXPECT_FALSE (wire::isValidName ("a b"));
    EXPECT_FALSE (wire::isValidName ("a\tb"));
    EXPECT_FALSE (wire::isValidName ("caf\xc3\xa9"));
}

namespace
{
std::string argsOf (const wire::Inbound& inbound)
{
    const auto* call = std::get_if<wire::InboundCall> (&inbound);
    return call == nullptr ? std::string ("(no call)") : textOf (wire::encodeAnswer (1, juce::var (call->args))).substr (6);
}

std::string failureOf (const wire::Inbound& inbound)
{
    const auto* failure = std::get_if<wire::InboundFailure> (&inbound);
    return failure == nullptr ? std::string ("(accepted)") : "x " + std::to_string (failure->callId) + "\n" + failure->message.toStdString();
}

std::string nested (int depth)
{
    return std::string ((size_t) depth, '[') + std::string ((size_t) depth, ']');
}
} // namespace

TEST (BridgeWireFormat, ArgumentsAreReadAsStrictJson)
{
    struct Case
    {
        std::string body, args;
    };

    const Case accepted[] = {
        { " [ 1 , \"a\" ]\r\n", "[1, \"a\"]" },
        { "[-0, 0.5, 1E2, -1.25e-3]", "[0, 0.5, 100.0, -0.00125]" },
        { "[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"]", "[\"\\\"\\\\/\\b\\f\\n\\r\\t\"]" },
        { "[\"\\ud83d\\ude00\", \"\xf0\x9f\x98\x80\", \"\\u00e9\"]", "[\"\\ud83d\\ude00\", \"\\ud83d\\ude00\", \"\\u00e9\"]" },
        { "[{\"a\": 1, \"b\": 2, \"a\": 3}]", "[{\"a\": 3, \"b\": 2}]" },
        { "[true, false, null, {}, []]", "[true, false, null, {}, []]" },
        { "[" + nested (127) + "]", "[" + nested (127) + "]" },
    };

    for (const auto& c : accepted)
        EXPECT_EQ (argsOf (wire::decode ("c 3 f\n" + c.body)), c.args) << c.body;

    const char* const refused[] = {
        "[1] x", "[1],", "['a']", "[\"\\a\"]", "[\"\\x41\"]", "[\"a\\u0000b\"]", "[\"\\ud800\"]",
        "[\"\\udc00\\ud800\"]", "[\"\\ud800\\u0041\"]", "[01]", "[+1]", "[.5]", "[1.]", "[1e]", "[- 1]",
        "[1e999]", "[-1e400]", "[NaN]", "[Infinity]", "[1,]", "[,1]", "[\"tab\there\"]", "[\"\xc3\"]",
        "[\"\xed\xa0\x80\"]", "[{\"\": 1}]", "[{a: 1}]", "[tru]", "[nul]", "[\"open]", "[1 2]", "{\"not\": \"an array\"}", " ",
    };

    for (const auto* body : refused)
        EXPECT_EQ (failureOf (wire::decode ("c 3 f\n" + std::string (body))).rfind ("x 3\nf: arguments are not a JSON array (", 0), 0u)
            << body << " -> " << failureOf (wire::decode ("c 3 f\n" + std::string (body)));

    // Deeper than the reader goes: refused, not a stack overflow on the server's thread.
    EXPECT_EQ (failureOf (wire::decode ("c 4 f\n[" + nested (128) + "]")).rfind ("x 4\nf: arguments are not a JSON array (arrays and objects nested too deeply", 0), 0u);
    EXPECT_EQ (failureOf (wire::decode ("c 4 f\n" + std::string (1000000, '['))).rfind ("x 4\n", 0), 0u);
}

TEST (BridgeWireFormat, NumbersKeepTheTypesTheHandlersExpect)
{
    const auto call = std::get<wire::InboundCall> (wire::decode (
        "c 1 f\n[2147483647, -2147483647, 2147483648, -2147483648, 9223372036854775807, -9223372036854775808,"
        " 9223372036854775808, 18446744073709551616, 2.0, 1e21, 5e-324]"));
    ASSERT_EQ (call.args.size(), 11);

    for (int i : { 0, 1 })
        EXPECT_TRUE (call.args[i].isInt()) << i;

    for (int i : { 2, 3, 4, 5 })
        EXPECT_TRUE (call.args[i].isInt64()) << i;

    for (int i : { 6, 7, 8, 9, 10 })
        EXPECT_TRUE (call.args[i].isDouble()) << i;

    EXPECT_EQ ((int) call.args[1], -2147483647);
    EXPECT_EQ ((juce::int64) call.args[3], -2147483648ll);
    EXPECT_EQ ((juce::int64) call.args[4], std::numeric_limits<juce::int64>::max());
    EXPECT_EQ ((juce::int64) call.args[5], std::numeric_limits<juce::int64>::min());
    EXPECT_EQ ((double) call.args[6], 9223372036854775808.0);
    EXPECT_EQ ((double) call.args[7], 18446744073709551616.0);
    EXPECT_EQ ((double) call.args[10], 5e-324);
}

TEST (BridgeWireFormat, TextThatAJuceStringCannotHoldIsRefusedUnderItsCallId)
{
    struct Case
    {
        std::string message, failure;
    };

    const Case cases[] = {
        { std::string ("e s note\na\0b", 12), "x 0\nevent note: payload is not UTF-8 text" },
        { "e s note\n\xff", "x 0\nevent note: payload is not UTF-8 text" },
        { "e s note\n\xc0\xaf", "x 0\nevent note: payload is not UTF-8 text" },
        { "e s note\n\xe2\x82", "x 0\nevent note: payload is not UTF-8 text" },
        { std::string ("c 8 put t\n[]\nab\0cd", 18), "x 8\nput: the last argument is not UTF-8 text" },
        { "c 9 put t\n[]\n\xf4\x90\x80\x80", "x 9\nput: the last argument is not UTF-8 text" },
        { "c 10 put \n[]", "x 10\nmalformed call header" },
        { "e s note \nx", "x 0\nmalformed event header" },
        { "e j note\n\"\\u0000\"", "x 0\nevent note: payload is not valid JSON (\\u0000" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (failureOf (wire::decode (c.message)).rfind (c.failure, 0), 0u) << failureOf (wire::decode (c.message));

    const auto text = std::get<wire::InboundEvent> (wire::decode ("e s note\n\xe2\x99\xab \xf0\x9f\x98\x80"));
    EXPECT_EQ (text.payload.toString(), juce::String (juce::CharPointer_UTF8 ("\xe2\x99\xab \xf0\x9f\x98\x80")));
}

TEST (BridgeWireFormat, ValuesGoOutAsJsonThePageCanReadBackExactly)
{
    auto object = std::make_unique<juce::DynamicObject>();
    object->setProperty ("bell", juce::String::charToString (7) + "\\a");
    object->setProperty ("big", std::numeric_limits<double>::max());
    object->setProperty ("whole", 85.0);
    object->setProperty ("third", 1.0 / 3.0);
    object->setProperty ("inf", std::numeric_limits<double>::infinity());
    object->setProperty ("undef", juce::var::undefined());
    object->setProperty ("text", juce::String (juce::CharPointer_UTF8 ("\xc3\xa9\xf0\x9f\x98\x80\x7f")));
    object->setProperty ("n", juce::int64 (1) << 40);
    const juce::var value (object.release());

    const auto sent = textOf (wire::encodeEvent ("x", value, false));
    EXPECT_EQ (sent, "e j x\n{\"bell\": \"\\u0007\\\\a\", \"big\": 1.7976931348623157e+308, \"whole\": 85.0, "
                     "\"third\": 0.3333333333333333, \"inf\": null, \"undef\": null, "
                     "\"text\": \"\\u00e9\\ud83d\\ude00\\u007f\", \"n\": 1099511627776}");

    const auto back = std::get<wire::InboundEvent> (wire::decode (sent)).payload;
    EXPECT_EQ (back["bell"].toString(), juce::String::charToString (7) + "\\a");
    EXPECT_EQ ((double) back["big"], std::numeric_limits<double>::max());
    EXPECT_TRUE (back["whole"].isDouble());
    EXPECT_EQ ((double) back["third"], 1.0 / 3.0);
    EXPECT_EQ (back["text"].toString(), value["text"].toString());
    EXPECT_EQ ((juce::int64) back["n"], juce::int64 (1) << 40);
}
