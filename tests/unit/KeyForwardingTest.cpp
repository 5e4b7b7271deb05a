#include <gtest/gtest.h>

#include "editor/KeyForwarding.h"

namespace
{
using juce::KeyPress;
using juce::ModifierKeys;
using Kind = vistrel::KeyAction::Kind;

struct KeyCase
{
    const char* name;
    KeyPress key;
    Kind kind;
    const char* code;
};

class KeyTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P (KeyTable, MapsKeysToPageCodes)
{
    const auto action = vistrel::keyActionFor (GetParam().key);
    EXPECT_EQ (action.kind, GetParam().kind);
    EXPECT_EQ (action.code, juce::String (GetParam().code));
}

const ModifierKeys none, shift (ModifierKeys::shiftModifier), command (ModifierKeys::commandModifier);

INSTANTIATE_TEST_SUITE_P (Table, KeyTable, ::testing::Values (
    KeyCase { "up", KeyPress (KeyPress::upKey), Kind::forward, "ArrowUp" },
    KeyCase { "down", KeyPress (KeyPress::downKey), Kind::forward, "ArrowDown" },
    KeyCase { "left", KeyPress (KeyPress::leftKey), Kind::forward, "ArrowLeft" },
    KeyCase { "right", KeyPress (KeyPress::rightKey, shift, 0), Kind::forward, "ArrowRight" },
    KeyCase { "f5", KeyPress (KeyPress::F5Key), Kind::reloadPage, "" },
    KeyCase { "return", KeyPress (KeyPress::returnKey), Kind::forward, "Enter" },
    KeyCase { "escape", KeyPress (KeyPress::escapeKey), Kind::forward, "Escape" },
    KeyCase { "keypad_enter_char3", KeyPress (0x10000 + 3, none, 3), Kind::forward, "Enter" },
    KeyCase { "numpad3", KeyPress (KeyPress::numberPad3), Kind::forward, "Numpad3" },
    KeyCase { "numpad9", KeyPress (KeyPress::numberPad9), Kind::forward, "Numpad9" },
    KeyCase { "numpad0", KeyPress (KeyPress::numberPad0), Kind::ignore, "" },
    KeyCase { "digit3", KeyPress ('3', none, '3'), Kind::forward, "Digit3" },
    KeyCase { "digit7", KeyPress ('7', none, '7'), Kind::forward, "Digit7" },
    KeyCase { "digit0", KeyPress ('0', none, '0'), Kind::ignore, "" },
    KeyCase { "slash", KeyPress ('/', none, '/'), Kind::forward, "Slash" },
    KeyCase { "a", KeyPress ('a', none, 'a'), Kind::forward, "KeyA" },
    KeyCase { "command_a", KeyPress ('a', command, 0), Kind::forward, "KeyA" },
    KeyCase { "shift_A", KeyPress ('A', shift, 'A'), Kind::forward, "KeyA" },
    KeyCase { "b", KeyPress ('b', none, 'b'), Kind::forward, "KeyB" },
    KeyCase { "f", KeyPress ('f', none, 'f'), Kind::forward, "KeyF" },
    KeyCase { "h", KeyPress ('H', none, 'H'), Kind::forward, "KeyH" },
    KeyCase { "r", KeyPress ('r', none, 'r'), Kind::forward, "KeyR" },
    KeyCase { "shift_s", KeyPress ('S', shift, 'S'), Kind::forward, "KeyS" },
    KeyCase { "s_alone", KeyPress ('s', none, 's'), Kind::ignore, "" },
    KeyCase { "c", KeyPress ('c', none, 'c'), Kind::ignore, "" },
    KeyCase { "space", KeyPress (KeyPress::spaceKey, none, ' '), Kind::ignore, "" },
    KeyCase { "f1", KeyPress (KeyPress::F1Key), Kind::ignore, "" },
    KeyCase { "f4", KeyPress (KeyPress::F4Key), Kind::ignore, "" },
    KeyCase { "f6", KeyPress (KeyPress::F6Key), Kind::ignore, "" },
    KeyCase { "tab", KeyPress (KeyPress::tabKey), Kind::ignore, "" }),
    [] (const auto& caseInfo) { return std::string (caseInfo.param.name); });

} // namespace
