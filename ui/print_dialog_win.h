// The print command of the active pane: dialog 2500 with its live preview, which prints the pane's
// pictures as a contact sheet.
#pragma once

#include "ui/main_window_win.h"

namespace ui {

// Returns when the dialog has closed; errors are shown to the user.
void RunPrintCommand(MainWindow& w);

} // namespace ui
