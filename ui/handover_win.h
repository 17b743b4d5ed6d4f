// The main window's commands that hand the active pane's pictures to other programs: the companion
// viewer, the external programs, the default program, and the desktop wallpaper.
#pragma once

#include "ui/main_window_win.h"

namespace ui {

// Carries out `command` when it is one of them; false for any other command.
bool RunHandoverCommand(MainWindow& w, int command);

} // namespace ui
