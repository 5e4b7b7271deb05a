#include <gtest/gtest.h>

#include "PluginProcessor.h"
#include "StateBlock.h"
#include "TestHelpers.h"

namespace
{
using vistrel::test::HostParameterRecorder;
using vistrel::test::valueOf;

uint32_t readLE32 (const juce::MemoryBlock& block, size_t offset)
{
    const auto* b = static_cast<const uint8_t*> (block.getData()) + offset;
    return (uint32_t) b[0] | ((uint32_t) b[1] << 8) | ((uint32_t) b[2] << 16) | ((uint32_t) b[3] << 24);
}

juce::String xmlTextOf (const juce::MemoryBlock& block)
{
    return juce::String::fromUTF8 (static_cast<const char*> (block.getData()) + 8, (int) readLE32 (block, 4));
}

/** A state block around any XML text, as the framework writes it. */
juce::MemoryBlock blockFor (const juce::String& xmlText, int lengthOverride = -1)
{
    juce::MemoryBlock block;
    juce::MemoryOutputStream out (block, false);
    out.writeInt (0x21324356);
    const auto utf8 = xmlText.toRawUTF8();
    const auto length = (int) strlen (utf8);
    out.writeInt (lengthOverride >= 0 ? lengthOverride : length);
    out.write (utf8, (size_t) length);
    out.writeByte (0);
    out.flush();
    return block;
}

/** A state block whose XML text is `before`, then a zero byte that ends it early, then `after`. */
juce::MemoryBlock blockWithZeroIn (const char* before, const char* after)
{
    const auto text = std::string (before) + '\0' + after;
    juce::MemoryBlock block;
    const uint32_t header[2] = { 0x21324356, (uint32_t) text.size() };
    block.append (header, sizeof (header));
    block.append (text.data(), text.size() + 1);   // with the closing zero byte
    return block;
}

juce::String stateXml (const juce::String& rootTag, const juce::String& rootAttributes, const juce::String& params)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><" + rootTag + " " + rootAttributes + ">" + params + "</" + rootTag + ">";
}

std::vector<float> allValues (VistrelAudioProcessor& p)
{
    std::vector<float> values;
    for (const auto& id : vistrel::paramIds())
        values.push_back (valueOf (p.apvts, id));
    return values;
}

TEST (State, FreshBlockLayout)
{
    VistrelAudioProcessor p;
    juce::MemoryBlock block;
    p.getStateInformation (block);

    ASSERT_GT (block.getSize(), 9u);
    EXPECT_EQ (readLE32 (block, 0), 0x21324356u);
    EXPECT_EQ (memcmp (block.getData(), "VC2!", 4), 0);
    EXPECT_EQ (readLE32 (block, 4), block.getSize() - 9);
    EXPECT_EQ (static_cast<const char*> (block.getData())[block.getSize() - 1], 0);

    const auto text = xmlTextOf (block);
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_FALSE (text.containsAnyOf ("\r\n"));

    const auto xml = juce::parseXML (text);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "VISTREL");
    ASSERT_EQ (xml->getNumAttributes(), 3);
    EXPECT_EQ (xml->getAttributeName (0), "uiblob");
    EXPECT_EQ (xml->getAttributeName (1), "uiw");
    EXPECT_EQ (xml->getAttributeName (2), "uih");
    EXPECT_EQ (xml->getStringAttribute ("uiblob"), "");
    EXPECT_EQ (xml->getIntAttribute ("uiw"), 1100);
    EXPECT_EQ (xml->getIntAttribute ("uih"), 680);

    const std::vector<double> defaults { 1, 0, 0, 85, 0, 0, 0, 10, 150, 1, 1, 1, 2 };
    ASSERT_EQ (xml->getNumChildElements(), 13);
    for (int i = 0; i < 13; ++i)
    {
        auto* param = xml->getChildElement (i);
        EXPECT_EQ (param->getTagName(), "PARAM");
        const auto id = param->getStringAttribute ("id");
        const auto index = vistrel::paramIds().indexOf (id);
        ASSERT_GE (index, 0) << id;
        EXPECT_NEAR (param->getDoubleAttribute ("value"), defaults[(size_t) index], 1e-5) << id;
    }

    // Saving never touches the live tree.
    EXPECT_FALSE (p.apvts.state.hasProperty ("uiblob"));
}

TEST (State, RoundTripIntoASecondProcessor)
{
    VistrelAudioProcessor a;
    a.uiSetParam ("scene", 17);
    a.uiSetParam ("hue", 200);
    a.uiSetParam ("colour", 4);
    a.uiSetParam ("autoPilot", 1);
    a.uiSetParam ("sensitivity", -6.5);
    a.uiSetParam ("attack", 33.3);
    a.uiSetParam ("release", 900);
    a.uiSetParam ("wHigh", 1.75);
    a.uiSetParam ("beatSource", 0);
    a.uiBlob = juce::String (juce::CharPointer_UTF8 ("{\"panel\":true,\"name\":\"<&\\\"> \xc3\xa9\"}"));
    a.uiWidth = 1500;
    a.uiHeight = 900;

    juce::MemoryBlock block;
    a.getStateInformation (block);

    VistrelAudioProcessor b;
    b.setStateInformation (block.getData(), (int) block.getSize());
    EXPECT_EQ (allValues (b), allValues (a));
    EXPECT_EQ (b.uiBlob, a.uiBlob);
    EXPECT_EQ (b.uiWidth.load(), 1500);
    EXPECT_EQ (b.uiHeight.load(), 900);
    EXPECT_TRUE (b.stateDirty.load());
    EXPECT_TRUE (b.paramsDirty.load());

    // Saving the restored processor gives the same block again.
    juce::MemoryBlock again;
    b.getStateInformation (again);
    EXPECT_EQ (xmlTextOf (again), xmlTextOf (block));
}

TEST (State, RootTagIsComparedWithoutCase)
{
    for (auto [tag, accepted] : { std::pair { "vistrel", true }, { "ViStReL", true }, { "OTHER", false }, { "VISTREL2", false } })
    {
        VistrelAudioProcessor p;
        const auto block = blockFor (stateXml (tag, "uiblob=\"x\" uiw=\"800\" uih=\"600\"",
                                               "<PARAM id=\"scene\" value=\"9\"/>"));
        p.setStateInformation (block.getData(), (int) block.getSize());
        EXPECT_EQ (p.uiBlob == "x", accepted) << tag;
        EXPECT_EQ (valueOf (p.apvts, "scene") == 9.0f, accepted) << tag;
        EXPECT_EQ (p.stateDirty.load(), accepted) << tag;
    }
}

struct SizeCase
{
    const char* attributes;
    int width, height;
};

class EditorSizeClamps : public ::testing::TestWithParam<SizeCase> {};

TEST_P (EditorSizeClamps, LimitedNeverRejected)
{
    VistrelAudioProcessor p;
    const auto block = blockFor (stateXml ("VISTREL", GetParam().attributes, {}));
    p.setStateInformation (block.getData(), (int) block.getSize());
    EXPECT_EQ (p.uiWidth.load(), GetParam().width);
    EXPECT_EQ (p.uiHeight.load(), GetParam().height);
    EXPECT_TRUE (p.stateDirty.load());
}

INSTANTIATE_TEST_SUITE_P (Table, EditorSizeClamps,
    ::testing::Values (SizeCase { "uiw=\"300\" uih=\"100\"", 520, 180 },
                       SizeCase { "uiw=\"5000\" uih=\"3000\"", 4096, 2400 },
                       SizeCase { "", 1100, 680 },
                       SizeCase { "uiw=\"abc\" uih=\"\"", 520, 180 },
                       SizeCase { "uiw=\"777\" uih=\"555\"", 777, 555 }));

TEST (State, ParametersMissingFromTheBlockKeepTheirValues)
{
    VistrelAudioProcessor p;
    p.uiSetParam ("hue", 90);
    p.uiBlob = "old";
    const auto block = blockFor (stateXml ("VISTREL", "", "<PARAM id=\"react\" value=\"12\"/>"));
    p.setStateInformation (block.getData(), (int) block.getSize());
    EXPECT_EQ (valueOf (p.apvts, "react"), 12.0f);
    EXPECT_EQ (valueOf (p.apvts, "hue"), 90.0f);
    EXPECT_EQ (p.uiBlob, "");
}

TEST (State, NonFiniteParameterValuesKeepTheCurrentValue)
{
    VistrelAudioProcessor p;
    p.uiSetParam ("sensitivity", 6);
    p.uiSetParam ("hue", 90);
    p.uiSetParam ("attack", 20);
    p.uiSetParam ("release", 300);
    const auto block = blockFor (stateXml ("VISTREL", "", "<PARAM id=\"sensitivity\" value=\"nan\"/>"
                                                          "<PARAM id=\"hue\" value=\"inf\"/>"
                                                          "<PARAM id=\"react\" value=\"12\"/>"
                                                          // the framework binds the last of duplicates
                                                          "<PARAM id=\"attack\"/><PARAM id=\"attack\" value=\"-nan\"/>"
                                                          "<PARAM id=\"release\" value=\"400\"/><OTHER id=\"release\" value=\"nan\"/>"));
    p.setStateInformation (block.getData(), (int) block.getSize());
    EXPECT_EQ (valueOf (p.apvts, "sensitivity"), 6.0f);
    EXPECT_EQ (valueOf (p.apvts, "hue"), 90.0f);
    EXPECT_EQ (valueOf (p.apvts, "react"), 12.0f);
    EXPECT_NEAR (valueOf (p.apvts, "attack"), 20.0f, 1.0e-3f);
    EXPECT_NEAR (valueOf (p.apvts, "release"), 300.0f, 1.0e-2f);

    // Nothing non-finite is left to be saved.
    juce::MemoryBlock saved;
    p.getStateInformation (saved);
    EXPECT_FALSE (xmlTextOf (saved).containsIgnoreCase ("nan"));
    EXPECT_FALSE (xmlTextOf (saved).containsIgnoreCase ("inf"));
}

TEST (State, LengthFieldLargerThanTheDataParsesWhatIsThere)
{
    VistrelAudioProcessor p;
    auto block = blockFor (stateXml ("VISTREL", "uiblob=\"kept\"", {}), 100000);
    p.setStateInformation (block.getData(), (int) block.getSize());
    EXPECT_EQ (p.uiBlob, "kept");
}

struct MalformedCase
{
    const char* name;
    std::function<juce::MemoryBlock()> make;
};

class MalformedBlocks : public ::testing::TestWithParam<MalformedCase> {};

TEST_P (MalformedBlocks, ChangeNothing)
{
    VistrelAudioProcessor p;
    p.uiSetParam ("scene", 5);
    p.uiBlob = "before";
    p.uiWidth = 900;
    p.paramsDirty = false;
    p.stateDirty = false;
    const auto values = allValues (p);

    const auto block = GetParam().make();
    p.setStateInformation (block.getData(), (int) block.getSize());

    EXPECT_EQ (allValues (p), values);
    EXPECT_EQ (p.uiBlob, "before");
    EXPECT_EQ (p.uiWidth.load(), 900);
    EXPECT_FALSE (p.paramsDirty.load());
    EXPECT_FALSE (p.stateDirty.load());
}

const juce::String goodXml = stateXml ("VISTREL", "uiblob=\"new\" uiw=\"600\"", "<PARAM id=\"scene\" value=\"30\"/>");

INSTANTIATE_TEST_SUITE_P (Table, MalformedBlocks, ::testing::Values (
    MalformedCase { "empty", [] { return juce::MemoryBlock(); } },
    MalformedCase { "eight_bytes", [] { auto b = blockFor (goodXml); b.setSize (8); return b; } },
    MalformedCase { "wrong_magic", [] { auto b = blockFor (goodXml); static_cast<char*> (b.getData())[0] = 'X'; return b; } },
    MalformedCase { "length_zero", [] { return blockFor (goodXml, 0); } },
    MalformedCase { "length_negative", [] { auto b = blockFor (goodXml); memset (static_cast<char*> (b.getData()) + 4, 0xff, 4); return b; } },
    MalformedCase { "zero_at_offset_8", [] { auto b = blockFor (goodXml); static_cast<char*> (b.getData())[8] = 0; return b; } },
    MalformedCase { "unparsable", [] { return blockFor ("<VISTREL uiblob=\"new\"><PARAM"); } },
    MalformedCase { "not_xml", [] { return blockFor ("hello world"); } },
    MalformedCase { "wrong_root", [] { return blockFor (stateXml ("PRESET", "uiblob=\"new\"", {})); } },
    MalformedCase { "truncated", [] { auto b = blockFor (goodXml); b.setSize (b.getSize() - 20); return b; } },
    MalformedCase { "invalid_utf8", [] {
        juce::MemoryBlock b;
        const char text[] = "<VISTREL uiblob=\"\xff\xfe\"/>";
        const uint32_t header[2] = { 0x21324356, (uint32_t) sizeof (text) - 1 };
        b.append (header, sizeof (header));
        b.append (text, sizeof (text)); // with its zero byte
        return b; } },
    MalformedCase { "truncated_multibyte", [] { return blockFor (juce::String ("<VISTREL uiblob=\"") + juce::String (juce::CharPointer_UTF8 ("\xe2\x99\xab")), 19); } },
    // What the framework's reader would take, but what would not come back the same after a save.
    MalformedCase { "duplicate_attribute_cut_by_zero", [] { return blockWithZeroIn (
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><VISTREL uiblob=\"new\" uiw=\"600\" uih=\"500\" uiw=\"700\"",
        "><PARAM id=\"scene\" value=\"30\"/></VISTREL>"); } },
    MalformedCase { "duplicate_attribute", [] { return blockFor (stateXml ("VISTREL", "uiblob=\"new\" uiw=\"600\" uiw=\"700\"", {})); } },
    MalformedCase { "root_never_closed", [] { return blockFor ("<VISTREL uiblob=\"new\" uiw=\"600\""); } },
    MalformedCase { "text_after_root", [] { return blockFor (goodXml + "junk"); } },
    MalformedCase { "second_root", [] { return blockFor (goodXml + "<VISTREL uiblob=\"other\"/>"); } },
    MalformedCase { "wrong_end_tag", [] { return blockFor (stateXml ("VISTREL", "uiblob=\"new\"", {}).replace ("</VISTREL>", "</OTHER>")); } },
    MalformedCase { "unquoted_value", [] { return blockFor (stateXml ("VISTREL", "uiw=600 uiblob=\"new\"", {})); } }),
    [] (const auto& caseInfo) { return std::string (caseInfo.param.name); });

/** The reader on its own: what it refuses, and the reason it gives. */
std::pair<bool, juce::String> readText (const std::string& xmlText)
{
    const auto block = blockFor (juce::String::fromUTF8 (xmlText.data(), (int) xmlText.size()));
    const auto state = vistrel::readStateXml (block.getData(), (int) block.getSize());
    return { state.xml != nullptr, state.error };
}

TEST (StateReader, RefusesWhatIsNotOneWellFormedDocumentAndSaysWhy)
{
    struct Case
    {
        std::string text, reason;
    };

    const Case cases[] = {
        { "<VISTREL uiw=\"600\" uiw=\"700\"/>", "attribute uiw given twice in <VISTREL>" },
        { "<VISTREL uiw=\"600\" base64:uiw=\"NzAw\"/>", "attribute uiw given twice in <VISTREL>" },
        { "<VISTREL><PARAM id=\"a\" value=\"1\" id=\"b\"/></VISTREL>", "attribute id given twice in <PARAM>" },
        { "<VISTREL uiw=\"600\"", "<VISTREL> is not closed" },
        { "<VISTREL uiw=\"600", "<VISTREL> is not closed" },
        { "<VISTREL><PARAM/>", "<VISTREL> is not closed" },
        { "<VISTREL></", "</> where </VISTREL> belongs" },
        { "<VISTREL></OTHER>", "</OTHER> where </VISTREL> belongs" },
        { "<VISTREL><PARAM></VISTREL></PARAM>", "</VISTREL> where </PARAM> belongs" },
        { "<VISTREL/>junk", "text after the root element" },
        { "<VISTREL/><VISTREL/>", "text after the root element" },
        { "<VISTREL uiw=600/>", "value of attribute uiw not in quotes" },
        { "<VISTREL uiw/>", "attribute uiw without a value" },
        { "<VISTREL uiw=\"1\"uih=\"2\"/>", "malformed start tag <VISTREL>" },
        { "<VISTREL uiblob=\"a<b\"/>", "'<' in the value of attribute uiblob" },
        { "<VISTREL uiblob=\"&bogus;\"/>", "unknown entity &bogus;" },
        { "<VISTREL uiblob=\"&AMP;\"/>", "unknown entity &AMP;" },
        { "<VISTREL uiblob=\"a & b\"/>", "'&' that starts no reference" },
        { "<VISTREL uiblob=\"&#0;\"/>", "reference to a character a string cannot hold" },
        { "<VISTREL uiblob=\"&#X41;\"/>", "malformed character reference" },
        { "<VISTREL uiblob=\"&;\"/>", "unknown entity &;" },
        { "<VISTREL uiblob=\"&#;&#x;\"/>", "malformed character reference" },
        { "<VISTREL uiblob=\"&#12a;\"/>", "malformed character reference" },
        { "<VISTREL uiblob=\"&#xD800;\"/>", "reference to a character a string cannot hold" },
        { "<VISTREL uiblob=\"&#1114112;\"/>", "reference to a character a string cannot hold" },
        { "<!DOCTYPE VISTREL><VISTREL/>", "a document type declaration" },
        { "<VISTREL><!-- open", "unterminated comment" },
        { "<VISTREL><![CDATA[ open", "unterminated CDATA section" },
        { "<VISTREL><!ELEMENT x></VISTREL>", "unexpected markup" },
        { "<VISTREL><?pi?>text</VISTREL>", "a processing instruction inside an element" },
        { "< VISTREL/>", "element without a name" },
        { "  \n ", "no root element" },
        { "<?xml version=\"1.0\"?>", "no root element" },
        { "<VISTREL>" + [] { std::string s; for (int i = 0; i < vistrel::kMaxStateDepth; ++i) s += "<a>"; return s; }(), "elements nested too deeply" },
        { "<VISTREL uiblob=\"\xed\xa0\x80\"/>", "the XML text is not valid UTF-8" },
        { "<VISTREL uiblob=\"\xc0\xaf\"/>", "the XML text is not valid UTF-8" },
    };

    for (const auto& c : cases)
    {
        const auto [accepted, reason] = readText (c.text);
        EXPECT_FALSE (accepted) << c.text;
        EXPECT_TRUE (reason.contains (juce::String::fromUTF8 (c.reason.data(), (int) c.reason.size()))) << c.text << " -> " << reason;
    }
}

TEST (StateReader, TakesWellFormedDocumentsInTheirUsualForms)
{
    const std::string accepted[] = {
        "<VISTREL/>",
        "  <?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- saved --><VISTREL uiblob='single &quot;quoted&quot;' />\r\n<!-- end --> ",
        "<VISTREL uiblob=\"&amp;&lt;&gt;&quot;&apos;&#10;&#x1F600;&#65535;\"><PARAM id=\"a\" value=\"1\"></PARAM ><!-- c -->text<![CDATA[ <raw> ]]></VISTREL><?pi after?>",
        "<VISTREL uiw=\"1\" base64:other=\"AAAA\" other2=\"x\"><PARAM id=\"a\"/><PARAM id=\"a\"/></VISTREL>",
        "<VISTREL>" + [] { std::string s; for (int i = 1; i < vistrel::kMaxStateDepth; ++i) s += "<a>"; for (int i = 1; i < vistrel::kMaxStateDepth; ++i) s += "</a>"; return s; }() + "</VISTREL>",
    };

    for (const auto& text : accepted)
    {
        const auto [ok, reason] = readText (text);
        EXPECT_TRUE (ok) << text << " -> " << reason;
        EXPECT_TRUE (reason.isEmpty()) << text;
    }

    // And what the processor writes, always.
    VistrelAudioProcessor p;
    p.uiBlob = juce::String (juce::CharPointer_UTF8 ("{\"a\":\"<&>\\\"' \xc3\xa9 \xef\xbf\xbf\x01\"}\n"));
    juce::MemoryBlock block;
    p.getStateInformation (block);
    const auto state = vistrel::readStateXml (block.getData(), (int) block.getSize());
    ASSERT_NE (state.xml, nullptr) << state.error;
    EXPECT_EQ (state.xml->getStringAttribute ("uiblob"), p.uiBlob);
}

TEST (State, SetParamOutsideAGestureIsOneHostGesture)
{
    VistrelAudioProcessor p;
    HostParameterRecorder host (p);
    p.uiSetParam ("sensitivity", 6);

    using K = HostParameterRecorder::Kind;
    EXPECT_EQ (host.kinds(), (std::vector<K> { K::begin, K::value, K::end }));
    EXPECT_EQ (host.events[1].index, vistrel::paramIds().indexOf ("sensitivity"));
    EXPECT_EQ (valueOf (p.apvts, "sensitivity"), 6.0f);
    EXPECT_TRUE (p.paramsDirty.load());
}

TEST (State, SetParamInsideAPageGestureOnlyChangesTheValue)
{
    VistrelAudioProcessor p;
    p.uiGestures.add ("sensitivity");
    HostParameterRecorder host (p);
    p.uiSetParam ("sensitivity", 6);
    p.uiSetParam ("sensitivity", 7);

    using K = HostParameterRecorder::Kind;
    EXPECT_EQ (host.kinds(), (std::vector<K> { K::value, K::value }));
    EXPECT_EQ (valueOf (p.apvts, "sensitivity"), 7.0f);
}

TEST (State, UnknownIdsAreIgnored)
{
    VistrelAudioProcessor p;
    HostParameterRecorder host (p);
    for (auto* id : { "nope", "Scene", "", "HUE" })
        p.uiSetParam (id, 1.0);
    EXPECT_TRUE (host.events.empty());
    EXPECT_FALSE (p.paramsDirty.load());
}

TEST (State, HostAutomationSetsTheDirtyFlag)
{
    VistrelAudioProcessor p;
    EXPECT_FALSE (p.paramsDirty.load());
    p.getParameters()[0]->setValueNotifyingHost (0.5f);
    EXPECT_TRUE (p.paramsDirty.load());
}

} // namespace
