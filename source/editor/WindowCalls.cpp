#include "WindowCalls.h"

#include <cmath>
#include <limits>

#include "PluginEditor.h"

namespace vistrel::window
{
namespace
{
    int truncateToInt32 (const juce::var& value)
    {
        const auto d = static_cast<double> (value);

        // A cast of a non-finite or out-of-range double is undefined; the page may send anything.
        if (std::isnan (d))
            return 0;

        if (d >= static_cast<double> (std::numeric_limits<int>::max()))
            return std::numeric_limits<int>::max();

        if (d <= static_cast<double> (std::numeric_limits<int>::min()))
            return std::numeric_limits<int>::min();

        return static_cast<int> (d);
    }

    int saturatingAdd (int a, int b)
    {
        const auto sum = static_cast<long long> (a) + static_cast<long long> (b);
        return static_cast<int> (juce::jlimit<long long> (std::numeric_limits<int>::min(),
                                                          std::numeric_limits<int>::max(), sum));
    }
} // namespace

juce::Rectangle<int> usableScreenArea()
{
    juce::Rectangle<int> area;

    for (const auto& display : juce::Desktop::getInstance().getDisplays().displays)
        area = area.isEmpty() ? display.userArea : area.getUnion (display.userArea);

    return area;
}

juce::Point<int> limitWindowPosition (juce::Point<int> wanted, int windowWidth, juce::Rectangle<int> screens)
{
    if (screens.getWidth() <= 0 || screens.getHeight() <= 0)
        return wanted;

    const auto left = static_cast<long long> (screens.getX()) - windowWidth + kKeepVisibleX;
    const auto right = static_cast<long long> (screens.getRight()) - kKeepVisibleX;
    const auto top = static_cast<long long> (screens.getY());
    const auto bottom = static_cast<long long> (screens.getBottom()) - kKeepVisibleBottom;

    // The lower limits are applied last, so they win where the two cross.
    const auto x = std::max (left, std::min (right, static_cast<long long> (wanted.x)));
    const auto y = std::max (top, std::min (bottom, static_cast<long long> (wanted.y)));

    constexpr auto lo = static_cast<long long> (std::numeric_limits<int>::min());
    constexpr auto hi = static_cast<long long> (std::numeric_limits<int>::max());
    return { static_cast<int> (juce::jlimit (lo, hi, x)), static_cast<int> (juce::jlimit (lo, hi, y)) };
}

std::optional<juce::Point<int>> dragOffset (const juce::Array<juce::var>& args)
{
    if (args.size() < 2)
        return std::nullopt;

    return juce::Point<int> { truncateToInt32 (args[0]), truncateToInt32 (args[1]) };
}

juce::Point<int> offsetPosition (juce::Point<int> origin, juce::Point<int> offset)
{
    return { saturatingAdd (origin.x, offset.x), saturatingAdd (origin.y, offset.y) };
}

//==============================================================================
juce::DocumentWindow* Calls::controllableWindow (const VistrelAudioProcessorEditor& editor)
{
    return editor.standalone ? editor.findDocumentWindow() : nullptr;
}

void Calls::canDrag (VistrelAudioProcessorEditor& editor, VistrelAudioProcessor&, const Args&, Completion done)
{
    done (controllableWindow (editor) != nullptr);
}

void Calls::dragStart (VistrelAudioProcessorEditor& editor, VistrelAudioProcessor&, const Args&, Completion done)
{
    if (auto* window = controllableWindow (editor))
    {
        editor.windowDragOrigin = window->getPosition();
        editor.windowDragging = true;
    }

    done (juce::var());
}

void Calls::dragTo (VistrelAudioProcessorEditor& editor, VistrelAudioProcessor&, const Args& args, Completion done)
{
    const auto offset = dragOffset (args);
    auto* window = editor.windowDragging && offset ? controllableWindow (editor) : nullptr;

    if (window != nullptr)
    {
        // Offsets count from where the drag began, so a lost call leaves no lasting error.
        const auto wanted = offsetPosition (editor.windowDragOrigin, *offset);
        const auto position = limitWindowPosition (wanted, window->getWidth(), usableScreenArea());
        window->setBounds (position.x, position.y, window->getWidth(), window->getHeight());
    }

    done (juce::var());
}

void Calls::dragEnd (VistrelAudioProcessorEditor& editor, VistrelAudioProcessor&, const Args&, Completion done)
{
    editor.windowDragging = false;
    done (juce::var());
}

void Calls::toggleMax (VistrelAudioProcessorEditor& editor, VistrelAudioProcessor&, const Args&, Completion done)
{
    if (auto* window = controllableWindow (editor))
        window->setFullScreen (! window->isFullScreen());

    done (juce::var());
}

void Calls::close (VistrelAudioProcessorEditor& editor, VistrelAudioProcessor&, const Args&, Completion done)
{
    // The answer goes first; closing tears down the web view, whose server sends what is queued
    // before it stops, so the page still gets it.
    done (juce::var());

    juce::MessageManager::callAsync ([weak = juce::WeakReference<VistrelAudioProcessorEditor> (&editor)]
    {
        if (auto* alive = weak.get())
            if (auto* window = controllableWindow (*alive))
                window->closeButtonPressed();
    });
}

void Calls::options (VistrelAudioProcessorEditor& editor, VistrelAudioProcessor&, const Args&, Completion done)
{
    // The standalone window's only text button child is its options button; the title bar's
    // own buttons are drawn by the look-and-feel and are not text buttons.
    if (auto* window = controllableWindow (editor))
        for (auto* child : window->getChildren())
            if (auto* button = dynamic_cast<juce::TextButton*> (child))
            {
                button->triggerClick();
                break;
            }

    done (juce::var());
}

} // namespace vistrel::window
