// The client window of the main window: the tree area with its tabs and the two browse panes.
#pragma once

#include <windows.h>

#include "ui/main_window_win.h"

namespace ui {

HWND CreateClientWindow(MainWindow& w, const RECT& rect);
// The folder tree fills its roots as soon as the thread is otherwise idle (once; later calls do
// nothing): when the first screen of thumbnails is out or there is nothing to load.
void FillFolderTreeSoon(MainWindow& w);
// Shows the other tab of the tree area.
void SwitchTreeTab(MainWindow& w);
void RemoveTreeSubclasses(MainWindow& w);
// The main window's font or the language changed: the tabs, the tree and the information list take
// the new font (the old one may then be deleted) and the tabs their captions.
void RestyleTreeArea(MainWindow& w);

} // namespace ui
