// The print dialog's preview, window class "Quorle_thpr_class": the current page of a contact sheet
// drawn at the preview's scale from the pane's thumbnails.
#pragma once

#include <windows.h>

#include "common/scoped_win.h"
#include "ui/print_sheet_win.h"

namespace printing {

constexpr int kPreviewId = 600;

// The class for the life of the object (the dialog's).
win::WindowClass RegisterPreviewClass(HINSTANCE instance);
// A child of `dialog` at (left, top) with room for the preview size plus its edge; it reads `sheet`,
// which outlives it.
HWND CreatePreview(HWND dialog, const Sheet& sheet, int left, int top);
// Paints the page into `dc` with the paper's corner at the client's origin offset by the paper fit.
void PaintPreview(HDC dc, const Sheet& sheet);

} // namespace printing
