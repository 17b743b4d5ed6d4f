// What the options dialog asks of other parts of the program: the live language and font switch,
// the cache folder change, the cache maintenance dialog and the image plug-in host. Each is one
// forwarding function, so the dialog does not depend on how those parts are built.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/options_rules.h"

namespace app {
struct Program;
}

namespace ui {

struct MainWindow;

namespace optionslinks {

// Loads `language` when it is not empty (false, with the current module kept and the user told, when
// it does not load), stores face, height and weight, and rebuilds menus, toolbars, views and status bars.
bool SwitchLanguageAndFont(app::Program& p, MainWindow* w, const std::wstring& language, const std::wstring& face,
                           int height, int weight);
// Makes `folder` the thumbnail cache folder of the running program.
void SwitchCacheFolder(app::Program& p, MainWindow* w, const std::wstring& folder);
// Whether the cache maintenance dialog is there; button 1243 is disabled without it.
bool CacheMaintenanceAvailable();
void OpenCacheMaintenance(HWND owner, app::Program& p);

// The plug-in files of `folder`, "*.spi" then "*.sph", with the descriptions their modules report.
std::vector<options::PluginRow> ListPlugins(app::Program& p, const std::wstring& folder);
// The plug-in's own configuration dialog.
void ConfigurePlugin(HWND owner, app::Program& p, const std::wstring& folder, const std::wstring& fileName);
// After the plug-in folder or the excluded list changed: the RAR module looked for again and the
// plug-in extensions rebuilt, for the panes and the tree.
void RefreshPlugins(app::Program& p, MainWindow* w);

} // namespace optionslinks
} // namespace ui
