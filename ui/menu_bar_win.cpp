#include "ui/menu_bar_win.h"

#include "app/messages.h"
#include "app/program_state_win.h"
#include "ui/caption_lines_dialog_win.h"
#include "ui/commands.h"
#include "ui/main_window_win.h"
#include "ui/menu_bar_rules.h"
#include "ui/menus_win.h"
#include "ui/browse_pane_win.h"

namespace ui {

namespace {

HHOOK g_hook = nullptr;

bool IsMenuButton(int id) { return id >= menubar::kFirstButton && id <= menubar::kLastButton; }

RECT ButtonScreenRect(HWND toolbar, int id) {
    RECT r = {};
    const LRESULT index = SendMessageW(toolbar, TB_COMMANDTOINDEX, static_cast<WPARAM>(id), 0);
    SendMessageW(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The menu-bar button under a screen point, or 0.
int ButtonAt(const MainWindow& w, POINT screen) {
    RECT bar = {};
    GetWindowRect(w.menuBar, &bar);
    if (!PtInRect(&bar, screen))
        return 0;
    POINT pt = screen;
    ScreenToClient(w.menuBar, &pt);
    const int index = static_cast<int>(SendMessageW(w.menuBar, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&pt)));
    return index >= 0 && index < menubar::kButtonCount ? menubar::kFirstButton + index : 0;
}

void SetHot(MainWindow& w, int button) {
    w.menuBarState.hotButton = button;
    SendMessageW(w.menuBar, TB_SETHOTITEM, IsMenuButton(button) ? button - menubar::kFirstButton : -1, 0);
}

// Messages inside a menu loop, before the menu sees them; true consumes the message.
bool FilterMenuMessage(MainWindow& w, const MSG& m) {
    menubar::State& s = w.menuBarState;
    switch (m.message) {
    case WM_KEYDOWN: {
        const menubar::KeyDecision d = menubar::DecideKey(s, static_cast<int>(m.wParam));
        switch (d.action) {
        case menubar::KeyAction::OpenHot:
            // The loop is the system menu's (keyboard-menu mode); the hot button's menu opens after
            // it. Ending first matters: a menu cannot open while the loop still runs, and the loop
            // dispatches posted messages until it ends.
            EndMenu();
            PostMessageW(w.hwnd, msg::kMainOpenMenu, 0, s.hotButton);
            return true;
        case menubar::KeyAction::MoveHot:
            SetHot(w, d.target);
            return true;
        case menubar::KeyAction::SwitchMenu:
            w.pendingMenu = d.target;
            EndMenu();
            return true;
        case menubar::KeyAction::PassOn:
            return false;
        }
        return false;
    }
    case WM_MOUSEMOVE: {
        const int button = ButtonAt(w, m.pt);
        if (s.openMenu && button && button != s.openMenu) {
            w.pendingMenu = button;
            EndMenu();
        } else if (!s.openMenu && s.hotButton && s.keyboardMode &&
                   (m.pt.x != w.menuLoopPointer.x || m.pt.y != w.menuLoopPointer.y)) {
            EndMenu();
        }
        return false;
    }
    case WM_LBUTTONDOWN:
        // A click on the open menu's own button closes it and must not open it again.
        if (s.openMenu && ButtonAt(w, m.pt) == s.openMenu) {
            EndMenu();
            return true;
        }
        return false;
    }
    return false;
}

LRESULT CALLBACK MenuHook(int code, WPARAM wp, LPARAM lp) {
    if (code == MSGF_MENU && lp) {
        MainWindow* w = TheMainWindow();
        if (w && w->menuBar && FilterMenuMessage(*w, *reinterpret_cast<const MSG*>(lp)))
            return 1;
    }
    return CallNextHookEx(g_hook, code, wp, lp);
}

void TrackUnder(MainWindow& w, HWND toolbar, int button, HMENU menu) {
    if (!menu)
        return;
    const RECT r = ButtonScreenRect(toolbar, button);
    TPMPARAMS exclude = {};
    exclude.cbSize = sizeof exclude;
    exclude.rcExclude = r;
    TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_VERTICAL | TPM_NOANIMATION, r.left, r.bottom, w.hwnd,
                     &exclude);
}

} // namespace

bool InstallMenuHook() {
    if (!g_hook)
        g_hook = SetWindowsHookExW(WH_MSGFILTER, MenuHook, nullptr, GetCurrentThreadId());
    return g_hook != nullptr;
}

void RemoveMenuHook() {
    if (g_hook)
        UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
}

void OpenMenuBarMenu(MainWindow& w, int button, bool byClick) {
    menubar::State& s = w.menuBarState;
    if (s.openMenu || !w.menuBar)
        return;
    while (IsMenuButton(button)) {
        HMENU menu = menus::PopupMenu(button - menubar::kFirstButton);
        if (!menu)
            break;
        s.openMenu = button;
        s.itemSelected = byClick;
        w.pendingMenu = 0;
        SetHot(w, button);
        SendMessageW(w.menuBar, TB_PRESSBUTTON, static_cast<WPARAM>(button), TRUE);
        TrackUnder(w, w.menuBar, button, menu);
        SendMessageW(w.menuBar, TB_PRESSBUTTON, static_cast<WPARAM>(button), FALSE);
        s.openMenu = 0;
        s.itemSelected = false;
        button = w.pendingMenu;
        w.pendingMenu = 0;
        byClick = false;
    }
    s.keyboardMode = false;
    SetHot(w, 0);
}

void OpenToolbarDropDown(MainWindow& w, int button) {
    int popup = -1;
    switch (button) {
    case cmd::kFitAcrossMenu: popup = menus::kFitAcrossMenu; break;
    case cmd::kFilterMenu: popup = menus::kFilterMenu; break;
    case cmd::kSortMenu: popup = menus::kSortMenu; break;
    case cmd::kCaptionLines: {
        // The button stays pressed while its dialog runs.
        SendMessageW(w.commandBar, TB_PRESSBUTTON, cmd::kCaptionLines, TRUE);
        const bool changed =
            RunCaptionLinesDialog(w.hwnd, ButtonScreenRect(w.commandBar, cmd::kCaptionLines), app::TheProgram().settings);
        SendMessageW(w.commandBar, TB_PRESSBUTTON, cmd::kCaptionLines, FALSE);
        if (changed)
            for (HWND pane : w.panes)
                RelayoutPane(pane);
        return;
    }
    default: return;
    }
    TrackUnder(w, w.commandBar, button, menus::PopupMenu(popup));
}

bool OnMenuBarNotify(MainWindow& w, NMHDR* hdr, LRESULT* result) {
    if (hdr->hwndFrom != w.menuBar)
        return false;
    menubar::State& s = w.menuBarState;
    switch (hdr->code) {
    case TBN_DROPDOWN: {
        const int button = reinterpret_cast<NMTOOLBARW*>(hdr)->iItem;
        // The click that closes an open menu is consumed by the hook; a click here opens one.
        OpenMenuBarMenu(w, button, true);
        *result = TBDDRET_DEFAULT;
        return true;
    }
    case TBN_HOTITEMCHANGE: {
        const NMTBHOTITEM* hot = reinterpret_cast<NMTBHOTITEM*>(hdr);
        if (hot->dwFlags & HICF_LEAVING) {
            if (s.openMenu && (hot->dwFlags & HICF_MOUSE)) {
                *result = 1; // the open menu's button stays hot
                return true;
            }
            s.hotButton = 0;
            s.itemSelected = false;
        } else {
            s.hotButton = hot->idNew;
        }
        *result = 0;
        return true;
    }
    }
    return false;
}

void OnMenuBarSysCommand(MainWindow& w, WPARAM wp, LPARAM lp) {
    // The menu key alone: DefWindowProc runs the system menu's loop, in which the hook moves a hot
    // button along the menu bar.
    if ((wp & 0xFFF0) == SC_KEYMENU && lp == 0 && !w.menuBarState.openMenu) {
        w.menuBarState.keyboardMode = true;
        GetCursorPos(&w.menuLoopPointer);
        SetHot(w, menubar::kFirstButton);
    }
}

bool OnMenuBarMenuChar(MainWindow& w, WPARAM wp, LPARAM, LRESULT* result) {
    if (!(HIWORD(wp) & MF_SYSMENU) || w.menuBarState.openMenu)
        return false;
    const int button = menubar::MnemonicButton(static_cast<wchar_t>(LOWORD(wp)));
    if (!button)
        return false;
    PostMessageW(w.hwnd, msg::kMainOpenMenu, 0, button);
    *result = MAKELRESULT(0, MNC_CLOSE);
    return true;
}

void OnMenuBarMenuSelect(MainWindow& w, WPARAM wp, LPARAM lp) {
    if (lp && HIWORD(wp) != 0xFFFF)
        w.menuBarState.itemSelected = true;
}

void OnMenuBarExitMenuLoop(MainWindow& w) {
    w.menuBarState.keyboardMode = false;
    if (!w.menuBarState.openMenu)
        SetHot(w, 0);
}

} // namespace ui
