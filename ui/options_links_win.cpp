#include "ui/options_links_win.h"

#include "app/program_state_win.h"
#include "image/plugin_host_win.h"
#include "ui/cache_maintenance_win.h"
#include "ui/main_window_win.h"
#include "ui/plugin_refresh_win.h"

namespace ui {
namespace optionslinks {

bool SwitchLanguageAndFont(app::Program& p, MainWindow* w, const std::wstring& language, const std::wstring& face,
                           int height, int weight) {
    return ApplyLanguageAndFont(p, w, language, face, height, weight);
}

void SwitchCacheFolder(app::Program& p, MainWindow* w, const std::wstring& folder) { ApplyCacheFolder(p, w, folder); }

bool CacheMaintenanceAvailable() { return true; }

void OpenCacheMaintenance(HWND owner, app::Program& p) { ShowCacheMaintenance(owner, p); }

std::vector<options::PluginRow> ListPlugins(app::Program& p, const std::wstring& folder) {
    std::vector<options::PluginRow> rows;
    if (folder.empty())
        return rows;
    for (plugins::PluginFileInfo& f : plugins::ListPluginFiles(folder, &p.pluginLock))
        rows.push_back({std::move(f.fileName), std::move(f.description1), std::move(f.description2), true});
    return rows;
}

void ConfigurePlugin(HWND owner, app::Program& p, const std::wstring& folder, const std::wstring& fileName) {
    plugins::ShowPluginConfiguration(owner, folder, fileName, &p.pluginLock);
}

void RefreshPlugins(app::Program& p, MainWindow*) { RefreshPluginState(p); }

} // namespace optionslinks
} // namespace ui
