// The keyboard-shortcut and mouse-assignment dialog (template 1500), opened from the options dialog.
// It edits a working copy; applying the result (accelerator table, menus, tooltips, mouse settings)
// is the caller's.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "app/shortcut_table.h"

namespace shortcuts {

struct DialogOutcome {
    bool keysChanged = false;  // the slots differ from what the dialog was given
    bool mouseChanged = false; // the mouse actions differ
    bool mouseMode = false;    // the mode the dialog was left in (settings key 163)
};

// Modal over `owner`; edits `a` in place. `mouseMode` is the mode to open in (settings key 163).
// `toolNames` name the external-tool rows; an empty name marks a tool that is not defined. When the
// template cannot be shown nothing changes and the mode is returned as given.
DialogOutcome RunAssignmentDialog(HWND owner, Assignments& a, bool mouseMode,
                                  const std::array<std::wstring, 8>& toolNames);

} // namespace shortcuts
