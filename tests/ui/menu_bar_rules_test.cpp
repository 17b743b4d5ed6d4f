// Keys inside the menu bar's loops: the wrap between the first and the last menu, and which keys
// the open menu keeps for itself.
#include "ui/menu_bar_rules.h"
#include "ui/help_path.h"

#include <gtest/gtest.h>

namespace {

using menubar::KeyAction;
using menubar::State;

TEST(MenuBarRules, ArrowsWrapBetweenTheFirstAndTheLastMenu) {
    struct Case {
        State state;
        int key;
        KeyAction action;
        int target;
    } cases[] = {
        // Keyboard-menu mode, no menu open: Left on 5000 makes 5003 hot, Right on 5003 makes 5000 hot.
        {{0, 5000, true, false}, menubar::kKeyLeft, KeyAction::MoveHot, 5003},
        {{0, 5003, true, false}, menubar::kKeyRight, KeyAction::MoveHot, 5000},
        {{0, 5001, true, false}, menubar::kKeyRight, KeyAction::MoveHot, 5002},
        // A menu open with nothing highlighted: the neighbour's menu replaces it.
        {{5000, 5000, false, false}, menubar::kKeyLeft, KeyAction::SwitchMenu, 5003},
        {{5003, 5003, false, false}, menubar::kKeyRight, KeyAction::SwitchMenu, 5000},
        // With an item highlighted (or opened by a click) the menu keeps the key for its sub-menus.
        {{5001, 5001, false, true}, menubar::kKeyRight, KeyAction::PassOn, 0},
        {{5001, 5001, false, true}, menubar::kKeyLeft, KeyAction::PassOn, 0},
        // Enter, Up and Down open the hot button's menu only while none is open.
        {{0, 5002, true, false}, menubar::kKeyEnter, KeyAction::OpenHot, 0},
        {{0, 5002, true, false}, menubar::kKeyDown, KeyAction::OpenHot, 0},
        {{0, 5002, true, false}, menubar::kKeyUp, KeyAction::OpenHot, 0},
        {{5002, 5002, false, false}, menubar::kKeyDown, KeyAction::PassOn, 0},
        // Nothing hot and nothing open: the loop is not ours.
        {{0, 0, false, false}, menubar::kKeyLeft, KeyAction::PassOn, 0},
        {{0, 5000, true, false}, 'X', KeyAction::PassOn, 0},
    };
    for (const Case& c : cases) {
        const menubar::KeyDecision d = menubar::DecideKey(c.state, c.key);
        EXPECT_EQ(d.action, c.action) << "open " << c.state.openMenu << " hot " << c.state.hotButton << " key " << c.key;
        if (c.action == KeyAction::MoveHot || c.action == KeyAction::SwitchMenu) {
            EXPECT_EQ(d.target, c.target) << "open " << c.state.openMenu << " hot " << c.state.hotButton;
        }
    }
    EXPECT_EQ(menubar::Neighbour(4999, true), 5000) << "a stray button id starts at the first";
}

TEST(MenuBarRules, MnemonicsInEitherCase) {
    const std::pair<wchar_t, int> cases[] = {{L'F', 5000}, {L'f', 5000}, {L'V', 5001}, {L'v', 5001}, {L'T', 5002},
                                             {L't', 5002}, {L'H', 5003}, {L'h', 5003}, {L'x', 0},   {L'1', 0}};
    for (const auto& [c, button] : cases)
        EXPECT_EQ(menubar::MnemonicButton(c), button) << static_cast<char>(c);
}

TEST(HelpPath, TheHelpFileLiesBesideTheExecutable) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\Quorle\\Quorle.exe", L"C:\\Quorle\\Quorle.chm"},
        {L"C:\\Tools\\viewer", L"C:\\Tools\\viewer.chm"},
        {L"C:\\v1.2\\viewer", L"C:\\v1.2\\viewer.chm"},
        {L"C:\\a.b\\x.y.exe", L"C:\\a.b\\x.y.chm"},
        {L"", L""},
    };
    for (const auto& [exe, chm] : cases)
        EXPECT_EQ(help::HelpFileOf(exe), chm);
}

} // namespace
