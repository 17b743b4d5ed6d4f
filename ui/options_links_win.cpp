#include "ui/options_links_win.h"

#include "app/program_state_win.h"
#include "app/rar_password_win.h"
#include "common/path.h"
#include "common/scoped_win.h"
#include "folder/shell_tree_win.h"
#include "ui/cache_maintenance_win.h"
#include "ui/main_window_win.h"

namespace ui {
namespace optionslinks {

bool SwitchLanguageAndFont(app::Program& p, MainWindow* w, const std::wstring& language, const std::wstring& face,
                           int height, int weight) {
    return ApplyLanguageAndFont(p, w, language, face, height, weight);
}

void SwitchCacheFolder(app::Program& p, MainWindow* w, const std::wstring& folder) { ApplyCacheFolder(p, w, folder); }

bool CacheMaintenanceAvailable() { return true; }

void OpenCacheMaintenance(HWND owner, app::Program& p) { ShowCacheMaintenance(owner, p); }

std::vector<options::PluginRow> ListPlugins(app::Program&, const std::wstring& folder) {
    std::vector<options::PluginRow> rows;
    if (folder.empty())
        return rows;
    for (const wchar_t* extension : {L".spi", L".sph"}) {
        WIN32_FIND_DATAW found = {};
        HANDLE find = FindFirstFileW(paths::Join(folder, std::wstring(L"*") + extension).c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            continue;
        do {
            // The pattern also matches longer extensions through short names ("x.spix").
            const std::wstring name = found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.size() > 4 &&
                paths::EqualFold(name.substr(name.size() - 4), extension))
                rows.push_back({name, L"", L"", true});
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    return rows;
}

void ConfigurePlugin(HWND, app::Program&, const std::wstring&, const std::wstring&) {}

void RefreshPlugins(app::Program& p, MainWindow*) {
    app::InstallRarHooks(p.settings.pluginFolder);
}

} // namespace optionslinks
} // namespace ui
