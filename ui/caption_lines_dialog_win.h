// The caption-lines dialog of toolbar button 5140: which of the four text lines (name, size, bit
// depth, date) the thumbnail captions show.
#pragma once

#include <windows.h>

#include "app/settings.h"

namespace ui {

// Modal dialog with its top-left corner at the bottom-left of `button` (a screen rectangle), kept
// inside the work area of the button's monitor. The check boxes start from `s`; OK writes them
// back. True only when OK changed at least one line. All four lines may be off: the view then keeps
// one empty line under each picture.
bool RunCaptionLinesDialog(HWND owner, const RECT& button, settings::Settings& s);

// Screen rectangle of a width x height window placed like a drop-down of `button`: top-left at its
// bottom-left, above it when there is no room below, then shifted into `work`.
RECT PlaceUnderButton(const RECT& button, int width, int height, const RECT& work);

} // namespace ui
