// The client window of the main window: the tree area with its tabs and the two browse panes.
#pragma once

#include <windows.h>

#include "ui/main_window_win.h"

namespace ui {

HWND CreateClientWindow(MainWindow& w, const RECT& rect);
// Shows the other tab of the tree area.
void SwitchTreeTab(MainWindow& w);
void RemoveTreeSubclasses(MainWindow& w);
// The main window's font or the language changed: the tabs, the tree and the information list take
// the new font (the old one may then be deleted) and the tabs their captions.
void RestyleTreeArea(MainWindow& w);

} // namespace ui
