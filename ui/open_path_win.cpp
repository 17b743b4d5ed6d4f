#include "ui/open_path_win.h"

#include <memory>

#include "app/messages.h"
#include "app/program_state_win.h"
#include "common/path.h"
#include "common/platform.h"
#include "ui/main_window_win.h"
#include "ui/browse_pane_win.h"

namespace ui {

namespace {

// "C:\pics\" and "C:\pics" are one location; a drive root keeps its backslash.
std::wstring WithoutTrailingSlash(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

} // namespace

void OpenPath(const std::wstring& path) {
    MainWindow* w = TheMainWindow();
    HWND broker = app::TheProgram().routing.broker.load();
    if (!w || !broker || path.empty())
        return;
    const int pane = app::TheProgram().settings.activePane & 1;
    auto request = std::make_unique<msg::LocationRequest>();
    // Archives become locations of their own once archive folders exist; until then an archive
    // opens the folder that holds it, like any other file.
    request->kind = location::kFileSystemFolder;
    request->path = NavigationFolder(path);
    request->pane = pane;
    if (PaneShowsLocation(w->panes[pane], request->kind, request->path))
        return;
    SendMessageW(broker, msg::kBrokerStartJob, msg::kJobNavigate, reinterpret_cast<LPARAM>(request.release()));
}

std::wstring NavigationFolder(const std::wstring& path) {
    const std::wstring clean = WithoutTrailingSlash(path);
    if (platform::FolderExists(clean) || !platform::FileExists(clean))
        return clean;
    const std::wstring folder = paths::ParentFolder(clean);
    return folder.empty() ? clean : folder;
}

} // namespace ui
