#pragma once

#include <optional>

#include <juce_gui_basics/juce_gui_basics.h>

#include "bridge/BridgeTypes.h"

class VistrelAudioProcessor;
class VistrelAudioProcessorEditor;

namespace vistrel::window
{

/** How much of the window a drag must leave on the screens: at the left and right edges, and
    above the bottom edge. The top edge may not go above the screens at all, since the page
    draws its title area there and the window could not be dragged back otherwise. */
constexpr int kKeepVisibleX = 120;
constexpr int kKeepVisibleBottom = 60;

/** The bounding box of the usable areas of all connected displays (menu bars and docks left out). */
juce::Rectangle<int> usableScreenArea();

/** Where a window of the given width may go when asked to move to `wanted`; an empty `screens`
    leaves the position as it is. When the screens are narrower than the margins, the left limit
    wins. */
juce::Point<int> limitWindowPosition (juce::Point<int> wanted, int windowWidth, juce::Rectangle<int> screens);

/** The (dx, dy) of a windowDragTo call: the first two arguments, truncated toward zero and held
    inside the 32-bit range; nothing when fewer than two were passed. */
std::optional<juce::Point<int>> dragOffset (const juce::Array<juce::var>& args);

/** The drag origin plus the offset, without wrapping around at the ends of the integer range. */
juce::Point<int> offsetPosition (juce::Point<int> origin, juce::Point<int> offset);

/** The page's window functions. They act on the document window around the editor, which only
    the standalone application has; inside a plug-in host they answer and change nothing. */
struct Calls
{
    using Args = juce::Array<juce::var>;
    using Completion = bridge::NativeFunctionCompletion;

    static void canDrag (VistrelAudioProcessorEditor&, VistrelAudioProcessor&, const Args&, Completion);
    static void dragStart (VistrelAudioProcessorEditor&, VistrelAudioProcessor&, const Args&, Completion);
    static void dragTo (VistrelAudioProcessorEditor&, VistrelAudioProcessor&, const Args&, Completion);
    static void dragEnd (VistrelAudioProcessorEditor&, VistrelAudioProcessor&, const Args&, Completion);
    static void toggleMax (VistrelAudioProcessorEditor&, VistrelAudioProcessor&, const Args&, Completion);
    static void close (VistrelAudioProcessorEditor&, VistrelAudioProcessor&, const Args&, Completion);
    static void options (VistrelAudioProcessorEditor&, VistrelAudioProcessor&, const Args&, Completion);

private:
    static juce::DocumentWindow* controllableWindow (const VistrelAudioProcessorEditor&);
};

} // namespace vistrel::window
