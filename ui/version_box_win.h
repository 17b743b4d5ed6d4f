// The version box (command 5330): the program's name and version, its notice, and a link to its
// home page, in a small modal window with its own message loop.
#pragma once

#include <windows.h>

namespace ui {

// Shows the box over `main` and returns when it has closed. The main window is disabled and the
// accelerators are suspended meanwhile.
void ShowVersionBox(HWND main, HFONT font);

} // namespace ui
