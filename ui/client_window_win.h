// The client window of the main window: the tree area with its tabs and the two browse panes.
#pragma once

#include <windows.h>

#include "ui/main_window_win.h"

namespace ui {

HWND CreateClientWindow(MainWindow& w, const RECT& rect);
// Shows the other tab of the tree area.
void SwitchTreeTab(MainWindow& w);
void RemoveTreeSubclasses(MainWindow& w);

} // namespace ui
