#include "ui/plugin_refresh_win.h"

#include "app/plugin_state_win.h"
#include "app/messages.h"
#include "app/rar_password_win.h"
#include "folder/shell_tree_win.h"
#include "ui/browse_pane_win.h"

namespace ui {

void RefreshPluginState(app::Program& p) {
    app::RebuildPluginLists(p);
    app::InstallRarHooks(p.settings.pluginFolder);
    shelltree::SetArchiveExtensions(app::ArchivePluginExtensions());
    // A pane showing a folder may gain or lose pictures; one showing a plug-in archive may lose its reader.
    for (const std::atomic<HWND>& pane : p.routing.panes) {
        HWND hwnd = pane.load();
        if (hwnd && PaneHasLocation(hwnd))
            ReloadPane(hwnd, msg::kLoadReload);
    }
}

} // namespace ui
