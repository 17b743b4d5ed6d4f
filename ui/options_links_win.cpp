#include "ui/options_links_win.h"

#include "app/language_win.h"
#include "app/program_state_win.h"
#include "app/rar_password_win.h"
#include "common/path.h"
#include "common/scoped_win.h"
#include "folder/shell_tree_win.h"
#include "ui/main_window_win.h"
#include "ui/toolbars_win.h"

namespace ui {
namespace optionslinks {

bool SwitchLanguageAndFont(app::Program& p, MainWindow* w, const std::wstring& language, const std::wstring& face,
                           int height, int weight) {
    bool loaded = true;
    if (!language.empty()) {
        // The new module is tried before the current one goes, so a failure leaves the program its texts.
        HMODULE probe = lang::OpenModule(p.programFolder, language);
        loaded = probe != nullptr;
        if (probe)
            FreeLibrary(probe);
        std::wstring name = language;
        if (loaded) {
            lang::Unload();
            loaded = lang::Load(p.programFolder, name);
            if (loaded)
                p.settings.languageModule = name;
        }
    }
    if (!face.empty())
        p.settings.fontFace = face;
    p.settings.fontHeight = height;
    p.settings.fontWeight = weight;
    BuildProgramMenus(p);
    if (w)
        RebuildTooltips(*w);
    return loaded;
}

void SwitchCacheFolder(app::Program& p, MainWindow*, const std::wstring& folder) {
    p.cacheFolder = folder;
    p.cacheFolderIsDefault = p.settings.cacheFolderIsDefault;
}

bool CacheMaintenanceAvailable() { return false; }

void OpenCacheMaintenance(HWND, app::Program&) {}

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
