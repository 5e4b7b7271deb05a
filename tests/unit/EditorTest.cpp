// The editor around the web view: size, window styling, registration, teardown, and the page's
// first conversation with it over the real bridge.

#include <cstdlib>

#include <gtest/gtest.h>

#include "BridgeTestClient.h"
#include "PluginEditor.h"
#include "TestHelpers.h"
#include "bridge/LoopbackServer.h"

using namespace vistrel::test;

namespace
{
/** Sets an environment variable for the scope of a test. */
struct ScopedEnvironment
{
    ScopedEnvironment (const char* nameToUse, const char* value) : name (nameToUse)
    {
        if (const auto* old = std::getenv (name))
            previous = old;

        ::setenv (name, value, 1);
    }

    ~ScopedEnvironment()
    {
        if (previous)
            ::setenv (name, previous->c_str(), 1);
        else
            ::unsetenv (name);
    }

    const char* name;
    std::optional<std::string> previous;
};
} // namespace

TEST (Editor, OpensAtTheStoredSizeWithinItsLimits)
{
    const struct { int w, h, expectedW, expectedH; } cases[] = {
        { 1100, 680, 1100, 680 },
        { 300, 100, 520, 180 },
        { 5000, 3000, 4096, 2400 },
        { 0, 0, 520, 180 },
        { 700, 2500, 700, 2400 },
    };

    for (const auto& c : cases)
    {
        VistrelAudioProcessor processor;
        processor.uiWidth = c.w;
        processor.uiHeight = c.h;
        VistrelAudioProcessorEditor editor (processor);
        EXPECT_EQ (editor.getWidth(), c.expectedW) << c.w << "x" << c.h;
        EXPECT_EQ (editor.getHeight(), c.expectedH) << c.w << "x" << c.h;
        EXPECT_EQ (processor.uiWidth.load(), c.expectedW);
        EXPECT_EQ (processor.uiHeight.load(), c.expectedH);

        auto* limits = editor.getConstrainer();
        ASSERT_NE (limits, nullptr);
        EXPECT_EQ (limits->getMinimumWidth(), 520);
        EXPECT_EQ (limits->getMinimumHeight(), 180);
        EXPECT_EQ (limits->getMaximumWidth(), 4096);
        EXPECT_EQ (limits->getMaximumHeight(), 2400);
    }
}

TEST (Editor, RemembersOnlySizesWithinTheLimits)
{
    VistrelAudioProcessor processor;
    VistrelAudioProcessorEditor editor (processor);
    editor.setSize (800, 600);
    EXPECT_EQ (processor.uiWidth.load(), 800);
    EXPECT_EQ (processor.uiHeight.load(), 600);

    editor.setSize (600, 170);   // only a host that ignores the limits does this
    EXPECT_EQ (processor.uiWidth.load(), 800);
    EXPECT_EQ (processor.uiHeight.load(), 600);
}

TEST (Editor, InAHostTheWebViewFillsTheEditor)
{
    VistrelAudioProcessor processor;
    VistrelAudioProcessorEditor editor (processor);
    juce::DocumentWindow window ("host", juce::Colours::black, 0);
    window.setContentNonOwned (&editor, true);
    pumpMessagesFor (std::chrono::milliseconds (30));

    EXPECT_EQ (editor.getInset(), 0);
    EXPECT_EQ (editor.getWebView()->getBounds(), editor.getLocalBounds());
    window.clearContentComponent();
}

TEST (Editor, InTheStandaloneWindowThePageGetsTheWholeFace)
{
    juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Standalone);
    VistrelAudioProcessor processor;
    juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);

    VistrelAudioProcessorEditor editor (processor);
    juce::DocumentWindow window ("standalone", juce::Colours::grey, juce::DocumentWindow::allButtons);
    window.setUsingNativeTitleBar (true);
    window.setContentNonOwned (&editor, true);

    ASSERT_TRUE (pumpMessagesUntil ([&] { return editor.getInset() == 6; }));
    EXPECT_EQ (editor.getWebView()->getBounds(), juce::Rectangle<int> (6, 6, editor.getWidth() - 12, editor.getHeight() - 12));
    EXPECT_FALSE (window.isUsingNativeTitleBar());
    EXPECT_EQ (window.getTitleBarHeight(), 0);
    EXPECT_EQ (window.getBackgroundColour(), juce::Colours::black);
    EXPECT_TRUE (window.isResizable());

    // The grip: three faint lines inside the margin's bottom-right corner, nothing elsewhere.
    juce::Image image (juce::Image::ARGB, editor.getWidth(), editor.getHeight(), true);
    {
        juce::Graphics g (image);
        editor.paint (g);
    }
    const auto w = editor.getWidth(), h = editor.getHeight();
    EXPECT_GT (image.getPixelAt (w - 2, h - 3).getAlpha(), 0);     // on line 1
    EXPECT_GT (image.getPixelAt (w - 2, h - 7).getAlpha(), 0);     // on line 2
    EXPECT_GT (image.getPixelAt (w - 2, h - 11).getAlpha(), 0);    // on line 3
    EXPECT_EQ (image.getPixelAt (w / 2, h / 2).getAlpha(), 0);
    EXPECT_EQ (image.getPixelAt (w - 20, h - 2).getAlpha(), 0);

    window.clearContentComponent();
}

TEST (Editor, RegistersThreeListenersAndTheNativeFunctionsInOrder)
{
    VistrelAudioProcessor processor;
    VistrelAudioProcessorEditor editor (processor);
    const auto& registry = editor.getWebView()->getRegistry();

    EXPECT_TRUE (registry.nativeIntegration);
    EXPECT_EQ (registry.eventOrder, juce::StringArray ({ "openUrl", "setParam", "uiHello" }));
    EXPECT_EQ (registry.functionOrder,
               juce::StringArray ({ "getInit", "setParam", "saveState", "uiReady", "hostFocus",
                                    "savePresetFile", "listUserPresets", "loadUserPreset", "deletePresetFile",
                                    "beginGesture", "endGesture",
                                    "exportProbe", "exportAppend", "exportAudioStart", "exportFinish", "exportStill",
                                    "windowCanDrag", "windowDragStart", "windowDragTo", "windowDragEnd",
                                    "windowToggleMax", "windowClose", "windowOptions" }));
    EXPECT_EQ (registry.lossyEvents, std::set<juce::String> { "vistrel-frame" });
}

TEST (Editor, ClosingEndsEveryGestureThePageLeftOpenOnce)
{
    VistrelAudioProcessor processor;
    HostParameterRecorder host (processor);
    auto editor = std::make_unique<VistrelAudioProcessorEditor> (processor);

    for (const auto* id : { "hue", "wBass" })
    {
        processor.uiGestures.add (id);
        processor.apvts.getParameter (id)->beginChangeGesture();
    }

    editor.reset();
    EXPECT_EQ (host.count (HostParameterRecorder::Kind::begin), 2);
    EXPECT_EQ (host.count (HostParameterRecorder::Kind::end), 2);
    EXPECT_TRUE (processor.uiGestures.isEmpty());
}

TEST (Editor, ThePageGetsInitFramesAndASnapshotAfterHello)
{
    ScopedEnvironment noWebView ("VISTREL_NO_WEBVIEW", "1");
    VistrelAudioProcessor processor;
    processor.prepareToPlay (48000.0, 512);
    VistrelAudioProcessorEditor editor (processor);
    auto& server = editor.getWebView()->getServer();
    processor.paramsDirty = false;
    processor.stateDirty = false;

    PageSocket page (server.getPort(), "/" + server.getToken() + "/ws", "http://127.0.0.1:" + std::to_string (server.getPort()));
    ASSERT_EQ (page.status, 101);

    const auto init = whilePumping ([&]
    {
        page.send ("c 1 getInit\n[]");
        return page.receiveFirst ("r 1 ");
    });
    ASSERT_TRUE (init.has_value());
    ASSERT_EQ (init->rfind ("r 1 s\n", 0), 0u) << *init;
    const auto initJson = juce::JSON::parse (juce::String (init->substr (6)));
    EXPECT_EQ (initJson["params"].getDynamicObject()->getProperties().size(), 13);
    EXPECT_TRUE (initJson["state"].isVoid());

    const auto frameAndParams = whilePumping ([&]
    {
        auto frame = page.receiveFirst ("e s vistrel-frame\n");
        page.send ("e u uiHello");
        auto params = page.receiveSkipping ("e s vistrel-frame\n");
        return std::make_pair (frame, params);
    });
    ASSERT_TRUE (frameAndParams.first.has_value());
    ASSERT_EQ (frameAndParams.first->rfind ("e s vistrel-frame\n", 0), 0u);
    const auto frame = juce::JSON::parse (juce::String (frameAndParams.first->substr (18)));
    EXPECT_EQ (frame.getDynamicObject()->getProperties().size(), 25);

    ASSERT_TRUE (frameAndParams.second.has_value());
    EXPECT_EQ (frameAndParams.second->rfind ("e s vistrel-params\n{", 0), 0u) << *frameAndParams.second;
    EXPECT_TRUE (processor.uiReady.load());

    // The state follows the snapshot, even when it is empty.
    const auto state = whilePumping ([&] { return page.receiveSkipping ("e s vistrel-frame\n"); });
    EXPECT_EQ (state.value_or (""), "e s vistrel-state\n");
}
