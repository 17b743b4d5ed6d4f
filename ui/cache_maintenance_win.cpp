#include "ui/cache_maintenance_win.h"

#include "app/program_state_win.h"

namespace ui {

void ShowCacheMaintenance(HWND owner, app::Program& p) {
    (void)owner;
    (void)p;
}

} // namespace ui
