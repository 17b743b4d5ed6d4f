// The options dialog (template 1000): a tree of six pages that edits most user settings. OK and
// Apply write the settings and redo what depends on them; Cancel keeps what was last applied.
#pragma once

#include <windows.h>

namespace app {
struct Program;
}

namespace ui {

struct MainWindow;

// Command 5240: the broker's admission for the whole program, the dialog, the release, and then the
// reload of both panes (the active one first) when the cell-border option changed.
void RunOptionsCommand(MainWindow& w);

struct OptionsOutcome {
    bool shown = false;       // the template existed and the dialog ran
    bool reloadPanes = false; // the cell-border option differs from its value at opening
};
// The dialog itself, modal over `owner`, editing `p`. `w` is the main window whose menus, toolbars
// and panes follow the changes; null leaves windows alone (tests).
OptionsOutcome RunOptionsDialog(HWND owner, app::Program& p, MainWindow* w);

} // namespace ui
