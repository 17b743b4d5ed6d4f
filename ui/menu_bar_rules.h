// What the menu bar does with a key pressed inside a menu loop, as plain data so it can be tested
// without one. The menu bar is four toolbar buttons, 5000..5003; a menu loop runs either for one of
// their menus (TrackPopupMenu) or, in keyboard-menu mode, for the invisible system menu.
#pragma once

#include "ui/commands.h"

namespace menubar {

constexpr int kFirstButton = cmd::kMenuFile;
constexpr int kLastButton = cmd::kMenuHelp;
constexpr int kButtonCount = kLastButton - kFirstButton + 1;

// Virtual-key codes the loop watches.
constexpr int kKeyEnter = 0x0D;
constexpr int kKeyLeft = 0x25;
constexpr int kKeyUp = 0x26;
constexpr int kKeyRight = 0x27;
constexpr int kKeyDown = 0x28;

struct State {
    int openMenu = 0;   // button whose menu is open, or 0
    int hotButton = 0;  // or 0
    bool keyboardMode = false;
    bool itemSelected = false; // an item of the open menu is highlighted, or it was opened by a click
};

enum class KeyAction {
    PassOn,          // the menu handles the key
    OpenHot,         // end the loop and open the hot button's menu
    MoveHot,         // no menu open: `target` becomes the hot button
    SwitchMenu,      // close the open menu and open `target`'s
};

struct KeyDecision {
    KeyAction action = KeyAction::PassOn;
    int target = 0;
};

// The button left or right of `button`, wrapping 5000 <-> 5003.
int Neighbour(int button, bool right);
KeyDecision DecideKey(const State& s, int key);
// The button a mnemonic opens: F, V, T, H (either case) -> 5000..5003; 0 for any other character.
int MnemonicButton(wchar_t c);

} // namespace menubar
