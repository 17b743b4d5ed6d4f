// The cache maintenance dialog (template 1600): every entry of the thumbnail cache's index with its
// box, record count and size, and deletion of the checked ones.
#pragma once

#include <windows.h>

namespace app {
struct Program;
}

namespace ui {

// Modal; does nothing when the template is missing. Takes the cache lock while it reads or rewrites
// the index, so no worker's write overlaps it.
void ShowCacheMaintenance(HWND owner, app::Program& p);

} // namespace ui
