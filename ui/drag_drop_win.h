// The program's own drags: the selected thumbnails of a pane onto a tree folder or the other pane,
// and a tree folder onto another tree folder or a pane. The tree-view control holds the capture for
// the whole drag; the cursor says whether a drop would be taken; the drop runs the shell's file
// operations. No system drag-and-drop object is involved.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "ui/main_window_win.h"

namespace ui {

// The pane's selected items start to be dragged (`leftButton`: the left button is held). False when
// the drag is refused (the broker does not accept the pane, or nothing is selected).
bool BeginItemDrag(MainWindow& w, int pane, bool leftButton);
// The tree's begin-drag notification: the pressed folder starts to be dragged.
void BeginTreeDrag(MainWindow& w, const NMTREEVIEWW& notification);
// The drag value of the program-wide mouse mode (dragrules::DragState); idle when no drag runs.
int DragStateNow();

} // namespace ui
