// The socket's message shapes, encoded and decoded without a socket.

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
