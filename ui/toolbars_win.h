// The rebar of the main window: the menu-bar toolbar and the command toolbar with their tooltips.
#pragma once

#include <windows.h>

#include "ui/main_window_win.h"

namespace ui {

bool CreateRebar(MainWindow& w);
void UpdateToolbarChecks(MainWindow& w);
void RebuildTooltips(MainWindow& w);
LRESULT OnToolbarNotify(MainWindow& w, NMHDR* hdr);
void RemoveToolbarSubclasses(MainWindow& w);

} // namespace ui
