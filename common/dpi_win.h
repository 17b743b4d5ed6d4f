// The dpi a window is shown at, for the scaling rule of common/dpi.h. Windows-only.
#pragma once

#include <windows.h>

namespace dpi {

// The window's dpi (GetDpiForWindow where the system has it, else the screen's LOGPIXELSX).
int OfWindow(HWND window);
// The dpi of the monitor nearest to a point in screen coordinates, for windows not yet made.
int OfPoint(POINT screenPoint);
// The system's dpi (what windows start at on the primary monitor).
int OfSystem();

// A system metric (SM_CXVSCROLL, SM_CYCAPTION, ...) as it is at `dpi`: GetSystemMetricsForDpi where
// the system has it, else the system-dpi metric scaled from the system's dpi.
int SystemMetric(int index, int dpi);
// AdjustWindowRectEx at `dpi` (AdjustWindowRectExForDpi where the system has it, else the frame
// measured at the system's dpi scaled to `dpi`).
void AdjustRectFor(RECT* rect, DWORD style, DWORD exStyle, int dpi);
// The message font of the non-client metrics at `dpi` (its height from points, not the system's pixels).
LOGFONTW MessageFontFor(int dpi);

} // namespace dpi

