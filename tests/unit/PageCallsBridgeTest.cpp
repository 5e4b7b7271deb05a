// The page's calls for parameters, gestures, its state, presets, keys and links, made through
// the real bridge the way the page makes them, with a host-side listener watching.

#include <cstdlib>

#include <gtest/gtest.h>

#include "BridgeTestClient.h"
#include "PluginEditor.h"
#include "TestHelpers.h"
#include "bridge/LoopbackServer.h"
#include "editor/PageCalls.h"

using namespace vistrel::test;

namespace
{
using Kind = HostParameterRecorder::Kind;

/** An editor without the embedded browser and one page connected to its bridge. */
struct PageSession : ::testing::Test
{
    PageSession()
    {
        ::setenv ("VISTREL_NO_WEBVIEW", "1", 1);
        editor = std::make_unique<VistrelAudioProcessorEditor> (processor);
        auto& server = editor->getWebView()->getServer();
        page = std::make_unique<PageSocket> (server.getPort(), "/" + server.getToken() + "/ws",
                                             "http://127.0.0.1:" + std::to_string (server.getPort()));
    }

    ~PageSession() override
    {
        page.reset();
        editor.reset();
        ::unsetenv ("VISTREL_NO_WEBVIEW");
    }

    /** Calls a native function and returns its answer message ("r <id> <kind>\n<body>"). */
    std::string call (const std::string& function, const std::string& jsonArgs)
    {
        const auto id = std::to_string (++lastCallId);
        const auto answer = whilePumping ([&]
        {
            page->send ("c " + id + " " + function + "\n" + jsonArgs);
            return page->receiveFirst ("r " + id + " ");
        });
        EXPECT_TRUE (answer.has_value()) << function;
        return answer.value_or ("").substr (3 + id.size());
    }

    /** Sends an event and lets the editor handle it. */
    void event (const std::string& eventId, const std::string& kindAndBody)
    {
        const auto kind = kindAndBody.substr (0, 1);
        page->send ("e " + kind + " " + eventId + "\n" + kindAndBody.substr (2));
        pumpMessagesFor (std::chrono::milliseconds (60));
    }

    VistrelAudioProcessor processor;
    std::unique_ptr<VistrelAudioProcessorEditor> editor;
    std::unique_ptr<PageSocket> page;
    int lastCallId = 0;
};

float valueOfParam (VistrelAudioProcessor& p, const char* id) { return valueOf (p.apvts, id); }

TEST_F (PageSession, SetParamEventTakesAnObjectWithIdAndValue)
{
    HostParameterRecorder host (processor);

    event ("setParam", "j {\"id\":\"hue\",\"v\":0.25}");
    EXPECT_EQ (valueOfParam (processor, "hue"), 0.0f); // 0.25 degrees snaps to whole degrees
    event ("setParam", "j {\"id\":\"react\",\"v\":42}");
    EXPECT_EQ (valueOfParam (processor, "react"), 42.0f);
    event ("setParam", "j {\"id\":\"wMid\",\"v\":\"0.5\"}");
    EXPECT_EQ (valueOfParam (processor, "wMid"), 0.5f);

    const auto changesBefore = host.count (Kind::value);
    processor.paramsDirty = false;
    event ("setParam", "j 7");
    event ("setParam", "j {\"v\":3}");
    event ("setParam", "j {\"id\":\"nope\",\"v\":3}");
    event ("setParam", "s hue");
    EXPECT_EQ (host.count (Kind::value), changesBefore);
    EXPECT_FALSE (processor.paramsDirty.load());

    // Each event outside a gesture is one complete edit for the host.
    EXPECT_EQ (host.count (Kind::begin), 3);
    EXPECT_EQ (host.count (Kind::end), 3);
}

TEST_F (PageSession, SetParamFunctionNeedsTwoArgumentsAndAnswersVoid)
{
    struct Case
    {
        const char* args;
        float expectedWBass;
    };
    const Case cases[] = {
        { "[\"wBass\",0.25]", 0.25f },
        { "[\"wBass\"]", 0.25f },
        { "[\"wBass\",\"0.5\"]", 0.5f },
        { "[]", 0.5f },
        { "[\"wBass\",\"abc\"]", 0.0f },
        { "[\"missing\",1]", 0.0f },
        { "[\"wBass\",1.75,\"extra\"]", 1.75f },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (call ("setParam", c.args), "u\n") << c.args;
        EXPECT_EQ (valueOfParam (processor, "wBass"), c.expectedWBass) << c.args;
    }
}

TEST_F (PageSession, ADragBetweenGesturesIsOneHostEdit)
{
    HostParameterRecorder host (processor);
    const auto hue = vistrel::paramIds().indexOf ("hue");

    EXPECT_EQ (call ("beginGesture", "[\"hue\"]"), "u\n");
    EXPECT_EQ (call ("beginGesture", "[\"hue\"]"), "u\n"); // a second begin is ignored
    for (int degrees = 10; degrees <= 200; degrees += 10)
        call ("setParam", "[\"hue\"," + std::to_string (degrees) + "]");
    EXPECT_EQ (processor.uiGestures, juce::StringArray { "hue" });
    EXPECT_EQ (call ("endGesture", "[\"hue\"]"), "u\n");
    EXPECT_EQ (call ("endGesture", "[\"hue\"]"), "u\n"); // nothing open any more

    EXPECT_EQ (host.count (Kind::begin), 1);
    EXPECT_EQ (host.count (Kind::end), 1);
    EXPECT_EQ (host.count (Kind::value), 20);
    EXPECT_EQ (host.events.front().kind, Kind::begin);
    EXPECT_EQ (host.events.back().kind, Kind::end);
    for (const auto& e : host.events)
        EXPECT_EQ (e.index, hue);
    EXPECT_EQ (valueOfParam (processor, "hue"), 200.0f);
    EXPECT_TRUE (processor.uiGestures.isEmpty());
}

TEST_F (PageSession, GesturesForUnknownIdsOrWithoutArgumentsRecordNothing)
{
    HostParameterRecorder host (processor);
    EXPECT_EQ (call ("beginGesture", "[\"nope\"]"), "u\n");
    EXPECT_EQ (call ("beginGesture", "[]"), "u\n");
    EXPECT_EQ (call ("endGesture", "[\"react\"]"), "u\n");
    EXPECT_EQ (call ("endGesture", "[]"), "u\n");
    EXPECT_TRUE (processor.uiGestures.isEmpty());
    EXPECT_TRUE (host.events.empty());
}

TEST_F (PageSession, ClosingTheEditorEndsAnOpenDragOnce)
{
    HostParameterRecorder host (processor);
    call ("beginGesture", "[\"release\"]");
    call ("setParam", "[\"release\",500]");
    page.reset();
    editor.reset();

    EXPECT_EQ (host.kinds(), (std::vector<Kind> { Kind::begin, Kind::value, Kind::end }));
    EXPECT_TRUE (processor.uiGestures.isEmpty());
}

TEST_F (PageSession, InitCarriesParametersAndTheStateAsAString)
{
    processor.uiSetParam ("scene", 12);
    processor.paramsDirty = false;

    const auto empty = call ("getInit", "[]");
    ASSERT_EQ (empty.rfind ("s\n", 0), 0u) << empty;
    const auto emptyJson = juce::JSON::parse (juce::String (empty.substr (2)));
    EXPECT_TRUE (emptyJson["state"].isVoid());
    EXPECT_EQ ((int) emptyJson["params"]["scene"], 12);
    EXPECT_EQ ((int) emptyJson["params"]["beatSource"], 2);
    EXPECT_EQ (juce::String (empty.substr (2)).indexOf ("\"params\""), 1); // params first
    EXPECT_FALSE (juce::String (empty.substr (2)).containsChar ('\n'));

    EXPECT_EQ (call ("saveState", "[\"{\\\"panel\\\":true}\"]"), "u\n");
    EXPECT_EQ (processor.uiBlob, "{\"panel\":true}");
    const auto withState = juce::JSON::parse (juce::String (call ("getInit", "[]").substr (2)));
    ASSERT_TRUE (withState["state"].isString());
    EXPECT_EQ (withState["state"].toString(), "{\"panel\":true}");

    EXPECT_FALSE (processor.paramsDirty.load());
    EXPECT_FALSE (processor.stateDirty.load());
}

TEST_F (PageSession, SaveStateStoresTextOnlyWhenGiven)
{
    processor.uiBlob = "kept";
    EXPECT_EQ (call ("saveState", "[]"), "u\n");
    EXPECT_EQ (processor.uiBlob, "kept");
    EXPECT_EQ (call ("saveState", "[\"\"]"), "u\n");
    EXPECT_EQ (processor.uiBlob, "");
    EXPECT_EQ (call ("saveState", "[12.5]"), "u\n");
    EXPECT_EQ (processor.uiBlob, "12.5");
    EXPECT_FALSE (processor.stateDirty.load());
}

TEST_F (PageSession, ReadyOnlyMarksReadyWhileHelloAsksForEverything)
{
    processor.paramsDirty = false;
    processor.stateDirty = false;
    EXPECT_EQ (call ("uiReady", "[]"), "u\n");
    EXPECT_TRUE (processor.uiReady.load());
    EXPECT_FALSE (processor.paramsDirty.load());

    processor.uiReady = false;
    event ("uiHello", "u ");
    EXPECT_TRUE (processor.uiReady.load());
    // The pump has already consumed the flags by sending the snapshot and the state.
    const auto params = whilePumping ([&] { return page->receiveFirst ("e s vistrel-params\n"); });
    const auto state = whilePumping ([&] { return page->receiveFirst ("e s vistrel-state\n"); });
    EXPECT_TRUE (params.has_value());
    EXPECT_TRUE (state.has_value());
}

TEST_F (PageSession, PresetsRoundTripThroughTheBridge)
{
    const auto folder = processor.presetDir();
    folder.deleteRecursively();

    EXPECT_EQ (call ("listUserPresets", "[]"), "s\n[]");
    EXPECT_TRUE (folder.isDirectory());

    EXPECT_EQ (call ("savePresetFile", "[\"Deep/Blue: 1\",\"{\\n\\\"a\\\":1\\n}\"]"), "u\n");
    EXPECT_EQ (call ("savePresetFile", "[\"only a name\"]"), "u\n");
    EXPECT_TRUE (folder.getChildFile ("DeepBlue 1.json").existsAsFile());
    EXPECT_FALSE (folder.getChildFile ("only a name.json").exists());

    EXPECT_EQ (call ("listUserPresets", "[]"), "s\n[\"DeepBlue 1\"]");
    EXPECT_EQ (call ("loadUserPreset", "[\"Deep/Blue: 1\"]"), "s\n{\r\n\"a\":1\r\n}");
    EXPECT_EQ (call ("loadUserPreset", "[\"missing\"]"), "s\n");
    EXPECT_EQ (call ("loadUserPreset", "[]"), "s\n");

    const auto trash = juce::File ("~/.local/share/Trash/files");
    trash.createDirectory();
    EXPECT_EQ (call ("deletePresetFile", "[\"Deep/Blue: 1\"]"), "j\ntrue");
    EXPECT_EQ (call ("deletePresetFile", "[\"Deep/Blue: 1\"]"), "j\nfalse");
    EXPECT_EQ (call ("deletePresetFile", "[]"), "j\nfalse");
    EXPECT_EQ (call ("listUserPresets", "[]"), "s\n[]");
}

TEST_F (PageSession, KeysReachThePageAndF5ReloadsWithACountingQuery)
{
    call ("uiReady", "[]"); // the page is connected and known to the editor
    EXPECT_TRUE (editor->keyPressed (juce::KeyPress ('S', juce::ModifierKeys::shiftModifier, 'S')));
    const auto key = whilePumping ([&] { return page->receiveFirst ("e j vistrel-key\n"); });
    ASSERT_TRUE (key.has_value());
    EXPECT_EQ (juce::JSON::parse (juce::String (key->substr (16)))["code"].toString(), "KeyS");

    EXPECT_FALSE (editor->keyPressed (juce::KeyPress ('s', {}, 's')));
    EXPECT_FALSE (editor->keyPressed (juce::KeyPress (juce::KeyPress::F1Key)));

    for (int i = 1; i <= 3; ++i)
    {
        EXPECT_TRUE (editor->keyPressed (juce::KeyPress (juce::KeyPress::F5Key)));
        EXPECT_EQ (editor->getReloadCount(), i);
        EXPECT_TRUE (editor->getWebView()->getCurrentURL().endsWith ("?r=" + juce::String (i)))
            << editor->getWebView()->getCurrentURL();
    }
}

TEST (OpenUrl, BareMailAddressesBecomeMailtoLinks)
{
    using vistrel::pagecalls::addressToOpen;
    EXPECT_EQ (addressToOpen ("someone@example.com"), "mailto:someone@example.com");
    EXPECT_EQ (addressToOpen ("mailto:someone@example.com"), "mailto:someone@example.com");
    EXPECT_EQ (addressToOpen ("https://user@example.com/x"), "https://user@example.com/x");
    EXPECT_EQ (addressToOpen ("https://quorvane.com"), "https://quorvane.com");
    EXPECT_EQ (addressToOpen (""), "");
}

} // namespace
