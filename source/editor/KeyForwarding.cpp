#include "editor/KeyForwarding.h"

namespace vistrel
{

namespace
{
KeyAction forward (juce::String code) { return { KeyAction::Kind::forward, std::move (code) }; }

bool isLetter (const juce::KeyPress& key, char upper)
{
    // Letters arrive upper- or lower-case depending on Shift and Caps Lock.
    const auto code = key.getKeyCode();
    return code == upper || code == upper - 'A' + 'a';
}
} // namespace

KeyAction keyActionFor (const juce::KeyPress& key)
{
    using K = juce::KeyPress;
    const auto code = key.getKeyCode();

    if (code == K::upKey) return forward ("ArrowUp");
    if (code == K::downKey) return forward ("ArrowDown");
    if (code == K::leftKey) return forward ("ArrowLeft");
    if (code == K::rightKey) return forward ("ArrowRight");
    if (code == K::F5Key) return { KeyAction::Kind::reloadPage, {} };
    if (code == K::returnKey || code == 13) return forward ("Enter");
    if (code == K::escapeKey || code == 27) return forward ("Escape");
    if (key.getTextCharacter() == 3) return forward ("Enter"); // keypad Enter on some keyboards

    static const int numberPad[] = { K::numberPad1, K::numberPad2, K::numberPad3, K::numberPad4, K::numberPad5,
                                     K::numberPad6, K::numberPad7, K::numberPad8, K::numberPad9 };
    for (int digit = 1; digit <= 9; ++digit)
        if (code == numberPad[digit - 1])
            return forward ("Numpad" + juce::String (digit));

    if (code >= '1' && code <= '9')
        return forward ("Digit" + juce::String::charToString ((juce::juce_wchar) code));

    if (code == '/') return forward ("Slash");

    for (const char letter : { 'A', 'B', 'F', 'H', 'R' })
        if (isLetter (key, letter))
            return forward (juce::String ("Key") + letter);

    if (isLetter (key, 'S') && key.getModifiers().isShiftDown())
        return forward ("KeyS");

    return {};
}

} // namespace vistrel
