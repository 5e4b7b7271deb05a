// The page's window functions: the screen-edge arithmetic, and the calls on an editor inside a
// plug-in host (nothing to control) and inside a standalone-style document window.

#include <functional>
#include <limits>

#include <gtest/gtest.h>

#include "BridgeTestClient.h"
#include "PluginEditor.h"
#include "bridge/LoopbackServer.h"
#include "editor/WindowCalls.h"

using namespace vistrel::window;
using vistrel::test::pumpMessagesFor;
using vistrel::test::pumpMessagesUntil;

namespace
{
constexpr int kIntMax = std::numeric_limits<int>::max();
constexpr int kIntMin = std::numeric_limits<int>::min();

TEST (WindowLimits, KeepTheWindowReachableOnTheScreens)
{
    // Two screens side by side, the left one with a 30-pixel menu bar: usable 0,30 .. 3000,1080.
    const juce::Rectangle<int> screens (0, 30, 3000, 1050);

    const struct { int x, y, width, expectedX, expectedY; } cases[] = {
        { 100, 200, 800, 100, 200 },          // inside: unchanged
        { -680, 200, 800, -680, 200 },        // exactly 120 left on screen at the left edge
        { -5000, 200, 800, -680, 200 },       // far left
        { 2880, 200, 800, 2880, 200 },        // exactly 120 left at the right edge
        { 9000, 200, 800, 2880, 200 },        // far right
        { 100, -400, 800, 100, 30 },          // above the menu bar: top at the usable top
        { 100, 1020, 800, 100, 1020 },        // 60 above the bottom
        { 100, 5000, 800, 100, 1020 },        // far down
        { kIntMin, kIntMin, 800, -680, 30 },
        { kIntMax, kIntMax, 800, 2880, 1020 },
    };

    for (const auto& c : cases)
        EXPECT_EQ (limitWindowPosition ({ c.x, c.y }, c.width, screens), juce::Point<int> (c.expectedX, c.expectedY))
            << c.x << "," << c.y << " width " << c.width;
}

TEST (WindowLimits, WhereTheLimitsCrossTheLowerOnesWin)
{
    // A screen narrower than the two 120-unit margins of a window wider than the screen, and
    // shorter than the 60-unit bottom margin.
    const juce::Rectangle<int> screens (50, 10, 200, 40);
    // x: lower limit 50 - 100 + 120 = 70, upper limit 250 - 120 = 130: no crossing for 100 wide.
    EXPECT_EQ (limitWindowPosition ({ 0, 0 }, 100, screens), juce::Point<int> (70, 10));
    // 10 wide: lower 160, upper 130; y: lower 10, upper -10.
    EXPECT_EQ (limitWindowPosition ({ 0, -100 }, 10, screens), juce::Point<int> (160, 10));
    EXPECT_EQ (limitWindowPosition ({ 1000, 1000 }, 10, screens), juce::Point<int> (160, 10));
}

TEST (WindowLimits, WithoutScreensThePositionIsLeftAlone)
{
    for (const auto& screens : { juce::Rectangle<int>(), juce::Rectangle<int> (0, 0, 1920, 0), juce::Rectangle<int> (0, 0, 0, 1080) })
        EXPECT_EQ (limitWindowPosition ({ -9000, 9000 }, 800, screens), juce::Point<int> (-9000, 9000));
}

TEST (WindowDrag, OffsetsAreTruncatedTowardZeroAndNeedTwoArguments)
{
    using Args = juce::Array<juce::var>;

    const struct { Args args; std::optional<juce::Point<int>> expected; } cases[] = {
        { Args { 12, -7 }, juce::Point<int> (12, -7) },
        { Args { 2.9, -2.9 }, juce::Point<int> (2, -2) },
        { Args { -0.5, 0.5 }, juce::Point<int> (0, 0) },
        { Args { 1.0e12, -1.0e12 }, juce::Point<int> (kIntMax, kIntMin) },
        { Args { (juce::int64) 1 << 40, 3 }, juce::Point<int> (kIntMax, 3) },
        { Args { "15", "-4.5" }, juce::Point<int> (15, -4) },
        { Args { 5, 6, 7 }, juce::Point<int> (5, 6) },
        { Args { 5 }, std::nullopt },
        { Args {}, std::nullopt },
    };

    for (const auto& c : cases)
        EXPECT_EQ (dragOffset (c.args), c.expected) << juce::JSON::toString (juce::var (c.args), true);
}

TEST (WindowDrag, TheOriginPlusTheOffsetDoesNotWrapAround)
{
    EXPECT_EQ (offsetPosition ({ 100, 200 }, { -30, 40 }), juce::Point<int> (70, 240));
    EXPECT_EQ (offsetPosition ({ 100, -100 }, { kIntMax, kIntMin }), juce::Point<int> (kIntMax, kIntMin));
}

//==============================================================================
/** Calls one of the page's functions the way the bridge does and returns its answer. */
struct CallResult
{
    int answers = 0;
    juce::var answer;
};

CallResult call (void (*fn) (VistrelAudioProcessorEditor&, VistrelAudioProcessor&, const juce::Array<juce::var>&,
                             vistrel::bridge::NativeFunctionCompletion),
                 VistrelAudioProcessorEditor& editor, VistrelAudioProcessor& processor, juce::Array<juce::var> args = {})
{
    auto result = std::make_shared<CallResult>();
    fn (editor, processor, args, [result] (juce::var answer)
    {
        ++result->answers;
        result->answer = std::move (answer);
    });
    return *result;
}

/** A document window that counts what the window functions ask of it. */
struct RecordingWindow : juce::DocumentWindow
{
    explicit RecordingWindow (const char* name)
        : juce::DocumentWindow (name, juce::Colours::black, juce::DocumentWindow::closeButton, false)
    {
        // Kept off the desktop, so that the calls see plain component bounds with or without a display.
        // A button that is not a text button comes first: only the text button is the options button.
        Component::addAndMakeVisible (toggle);
        Component::addAndMakeVisible (optionsButton);
        Component::addAndMakeVisible (secondTextButton);
        toggle.onClick = [this] { ++toggleClicks; };
        optionsButton.onClick = [this] { ++optionsClicks; };
        secondTextButton.onClick = [this] { ++secondClicks; };
    }

    void closeButtonPressed() override
    {
        ++closes;

        if (onClose != nullptr)
            onClose();
    }

    std::function<void()> onClose;

    juce::ToggleButton toggle { "toggle" };
    juce::TextButton optionsButton { "Options" }, secondTextButton { "Other" };
    int toggleClicks = 0, optionsClicks = 0, secondClicks = 0, closes = 0;
};

std::unique_ptr<VistrelAudioProcessor> makeProcessor (juce::AudioProcessor::WrapperType type)
{
    juce::AudioProcessor::setTypeOfNextNewPlugin (type);
    auto processor = std::make_unique<VistrelAudioProcessor>();
    juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);
    return processor;
}

TEST (WindowCalls, InsideAHostTheyAnswerAndChangeNothing)
{
    for (const auto type : { juce::AudioProcessor::wrapperType_VST3, juce::AudioProcessor::wrapperType_LV2,
                             juce::AudioProcessor::wrapperType_Undefined })
    {
        auto processor = makeProcessor (type);
        VistrelAudioProcessorEditor editor (*processor);
        RecordingWindow window ("host");
        window.setContentNonOwned (&editor, true);
        window.setBounds (200, 150, 900, 600);
        pumpMessagesFor (std::chrono::milliseconds (20));

        const auto canDrag = call (Calls::canDrag, editor, *processor);
        EXPECT_EQ (canDrag.answers, 1);
        EXPECT_TRUE (canDrag.answer.isBool());
        EXPECT_FALSE ((bool) canDrag.answer);

        for (auto* fn : { Calls::dragStart, Calls::dragTo, Calls::dragEnd, Calls::toggleMax, Calls::close, Calls::options })
        {
            call (Calls::dragStart, editor, *processor);
            const auto result = call (fn, editor, *processor, { 300, 200 });
            EXPECT_EQ (result.answers, 1);
            EXPECT_TRUE (result.answer.isVoid());
        }

        pumpMessagesFor (std::chrono::milliseconds (50));
        EXPECT_EQ (window.getBounds(), juce::Rectangle<int> (200, 150, 900, 600));
        EXPECT_FALSE (window.isFullScreen());
        EXPECT_EQ (window.closes, 0);
        EXPECT_EQ (window.optionsClicks + window.toggleClicks + window.secondClicks, 0);
        window.clearContentComponent();
    }
}

TEST (WindowCalls, AStandaloneEditorWithoutAWindowHasNothingToDrag)
{
    auto processor = makeProcessor (juce::AudioProcessor::wrapperType_Standalone);
    VistrelAudioProcessorEditor editor (*processor);
    EXPECT_FALSE ((bool) call (Calls::canDrag, editor, *processor).answer);
    EXPECT_TRUE (call (Calls::dragStart, editor, *processor).answer.isVoid());
    EXPECT_TRUE (call (Calls::dragTo, editor, *processor, { 10, 10 }).answer.isVoid());
}

class StandaloneWindowCalls : public ::testing::Test
{
protected:
    void SetUp() override
    {
        processor = makeProcessor (juce::AudioProcessor::wrapperType_Standalone);
        editor = std::make_unique<VistrelAudioProcessorEditor> (*processor);
        window = std::make_unique<RecordingWindow> ("standalone");
        window->setContentNonOwned (editor.get(), true);
        window->setBounds (400, 300, 900, 600);
        pumpMessagesFor (std::chrono::milliseconds (20));
    }

    void TearDown() override
    {
        if (window != nullptr)
            window->clearContentComponent();
    }

    /** Where a drag by (dx, dy) from `origin` may take the window on this machine's screens. */
    juce::Point<int> expectedAfterDrag (juce::Point<int> origin, int dx, int dy) const
    {
        return limitWindowPosition (origin + juce::Point<int> (dx, dy), window->getWidth(), usableScreenArea());
    }

    std::unique_ptr<VistrelAudioProcessor> processor;
    std::unique_ptr<VistrelAudioProcessorEditor> editor;
    std::unique_ptr<RecordingWindow> window;
};

TEST_F (StandaloneWindowCalls, ADragMovesByTheTotalOffsetFromItsOrigin)
{
    const auto canDrag = call (Calls::canDrag, *editor, *processor);
    ASSERT_TRUE (canDrag.answer.isBool());
    EXPECT_TRUE ((bool) canDrag.answer);

    const auto origin = window->getPosition();
    const auto size = window->getBounds().withZeroOrigin();
    call (Calls::dragStart, *editor, *processor);
    call (Calls::dragTo, *editor, *processor, { 30, 20 });
    EXPECT_EQ (window->getPosition(), expectedAfterDrag (origin, 30, 20));

    // Offsets are totals since the start, not steps: a repeated call stays where it is.
    call (Calls::dragTo, *editor, *processor, { 30, 20 });
    EXPECT_EQ (window->getPosition(), expectedAfterDrag (origin, 30, 20));
    call (Calls::dragTo, *editor, *processor, { -15.7, 8.9 });
    EXPECT_EQ (window->getPosition(), expectedAfterDrag (origin, -15, 8));
    EXPECT_EQ (window->getBounds().withZeroOrigin(), size);
}

TEST_F (StandaloneWindowCalls, OnlyACompleteCallInsideADragMovesTheWindow)
{
    const auto start = window->getBounds();
    call (Calls::dragTo, *editor, *processor, { 50, 50 });               // before any start
    EXPECT_EQ (window->getBounds(), start);

    call (Calls::dragStart, *editor, *processor);
    call (Calls::dragTo, *editor, *processor, { 50 });                   // one argument
    EXPECT_EQ (window->getBounds(), start);

    call (Calls::dragEnd, *editor, *processor);
    call (Calls::dragTo, *editor, *processor, { 50, 50 });               // after the end
    EXPECT_EQ (window->getBounds(), start);

    // A new start takes a new origin.
    call (Calls::dragStart, *editor, *processor);
    call (Calls::dragTo, *editor, *processor, { 10, 0 });
    const auto moved = window->getPosition();
    call (Calls::dragStart, *editor, *processor);
    call (Calls::dragTo, *editor, *processor, { 10, 0 });
    EXPECT_EQ (window->getPosition(), expectedAfterDrag (moved, 10, 0));
}

TEST_F (StandaloneWindowCalls, CloseAnswersFirstAndClosesLaterOnce)
{
    const auto result = call (Calls::close, *editor, *processor);
    EXPECT_EQ (result.answers, 1);
    EXPECT_EQ (window->closes, 0);
    ASSERT_TRUE (pumpMessagesUntil ([&] { return window->closes > 0; }));
    pumpMessagesFor (std::chrono::milliseconds (30));
    EXPECT_EQ (window->closes, 1);
}

TEST_F (StandaloneWindowCalls, ThePageGetsTheCloseAnswerWhenTheEditorGoesAtOnce)
{
    // As in the standalone application, closing the window deletes the editor and its web view.
    window->onClose = [this]
    {
        window->clearContentComponent();
        editor.reset();
    };

    const auto& server = editor->getWebView()->getServer();
    const auto port = server.getPort();
    vistrel::test::PageSocket page (port, "/" + server.getToken() + "/ws", "http://127.0.0.1:" + std::to_string (port));
    ASSERT_EQ (page.status, 101);

    const auto reply = vistrel::test::whilePumping ([&]
    {
        page.send ("c 41 windowClose\n[]");
        auto answer = page.receive();
        return std::make_pair (answer, page.receive());
    });

    EXPECT_EQ (reply.first.value_or ("(nothing)"), "r 41 u\n");
    EXPECT_FALSE (reply.second.has_value());
    EXPECT_EQ (page.closeReason().code, vistrel::test::websocket::close_code::going_away);
    EXPECT_TRUE (editor == nullptr);
    EXPECT_EQ (window->closes, 1);
}

TEST_F (StandaloneWindowCalls, ACloseThatArrivesAfterTheEditorIsGoneDoesNothing)
{
    call (Calls::close, *editor, *processor);
    window->clearContentComponent();
    editor.reset();
    pumpMessagesFor (std::chrono::milliseconds (50));
    EXPECT_EQ (window->closes, 0);
}

TEST_F (StandaloneWindowCalls, OptionsClicksTheFirstTextButtonOnly)
{
    call (Calls::options, *editor, *processor);
    ASSERT_TRUE (pumpMessagesUntil ([&] { return window->optionsClicks > 0; }));
    pumpMessagesFor (std::chrono::milliseconds (30));
    EXPECT_EQ (window->optionsClicks, 1);
    EXPECT_EQ (window->toggleClicks, 0);
    EXPECT_EQ (window->secondClicks, 0);
}

// Full screen needs a window on the desktop: the standalone application's tests toggle the real one.
} // namespace
