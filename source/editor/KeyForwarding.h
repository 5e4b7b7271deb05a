#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace vistrel
{

/** What the editor does with a key press while it has keyboard focus. */
struct KeyAction
{
    enum class Kind { ignore, reloadPage, forward };

    Kind kind = Kind::ignore;
    juce::String code; // the page's physical key code ("KeyA", "ArrowUp"...) when forwarding
};

/** Maps the keys the page has shortcuts for onto the codes web pages use for physical keys.
    F5 reloads the page natively; every other key is left to the host. */
KeyAction keyActionFor (const juce::KeyPress& key);

} // namespace vistrel
