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

} // namespace dpi

namespace dpi {
// A system metric (SM_*) for a window at `dpi`: GetSystemMetricsForDpi where the system has it, else
// the system-dpi metric scaled from the system's dpi.
int SystemMetric(int index, int dpi);
} // namespace dpi
