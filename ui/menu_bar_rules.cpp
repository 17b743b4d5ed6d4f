#include "ui/menu_bar_rules.h"

namespace menubar {

int Neighbour(int button, bool right) {
    if (button < kFirstButton || button > kLastButton)
        return kFirstButton;
    const int i = button - kFirstButton;
    return kFirstButton + (right ? i + 1 : i + kButtonCount - 1) % kButtonCount;
}

KeyDecision DecideKey(const State& s, int key) {
    KeyDecision d;
    if (!s.hotButton && !s.openMenu)
        return d;
    switch (key) {
    case kKeyEnter:
    case kKeyUp:
    case kKeyDown:
        if (!s.openMenu)
            d.action = KeyAction::OpenHot;
        break;
    case kKeyLeft:
    case kKeyRight: {
        const int from = s.openMenu ? s.openMenu : s.hotButton;
        const int target = Neighbour(from, key == kKeyRight);
        if (!s.openMenu) {
            d = {KeyAction::MoveHot, target};
        } else if (!s.itemSelected) {
            d = {KeyAction::SwitchMenu, target};
        }
        break;
    }
    default: break;
    }
    return d;
}

int MnemonicButton(wchar_t c) {
    switch (c) {
    case L'F': case L'f': return kFirstButton;
    case L'V': case L'v': return kFirstButton + 1;
    case L'T': case L't': return kFirstButton + 2;
    case L'H': case L'h': return kFirstButton + 3;
    default: return 0;
    }
}

} // namespace menubar
