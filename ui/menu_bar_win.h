// The menu bar (four toolbar buttons) and the toolbar drop-downs: opening their menus, the hot
// button, keyboard-menu mode, mnemonics, and the message-filter hook that moves between the menus
// while one is open. Part of the main window; its handlers are called from main_window_win.cpp.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace ui {

struct MainWindow;

// The thread's WH_MSGFILTER hook (installed before the main window exists, removed at teardown).
bool InstallMenuHook();
void RemoveMenuHook();

// Opens menu-bar menu `button` (5000..5003) under its button and, when the user moves to another
// menu from inside, that one, until a menu closes for good. `byClick`: opened by the mouse.
void OpenMenuBarMenu(MainWindow& w, int button, bool byClick);
// A drop-down button of the command toolbar (5140, 5400, 5700, 5800).
void OpenToolbarDropDown(MainWindow& w, int button);

// Toolbar notifications of the menu bar; handled (and the result in *result) or false.
bool OnMenuBarNotify(MainWindow& w, NMHDR* hdr, LRESULT* result);
// WM_SYSCOMMAND; false lets DefWindowProc run (it always must for SC_KEYMENU, after this).
void OnMenuBarSysCommand(MainWindow& w, WPARAM wp, LPARAM lp);
// WM_MENUCHAR; false when the system's answer is wanted.
bool OnMenuBarMenuChar(MainWindow& w, WPARAM wp, LPARAM lp, LRESULT* result);
void OnMenuBarMenuSelect(MainWindow& w, WPARAM wp, LPARAM lp);
void OnMenuBarExitMenuLoop(MainWindow& w);

} // namespace ui
