#include "ui/open_path_win.h"

#include <memory>

#include "app/messages.h"
#include "app/program_state_win.h"
#include "fileops/external_programs_win.h"
#include "folder/shell_tree_rules.h"
#include "folder/shell_tree_win.h"
#include "ui/main_window_win.h"
#include "ui/browse_pane_win.h"

namespace ui {

void OpenPath(const std::wstring& given) {
    MainWindow* w = TheMainWindow();
    HWND broker = app::TheProgram().routing.broker.load();
    if (!w || !broker || given.empty())
        return;
    const std::wstring path = external::FollowShortcut(given);
    const int pane = app::TheProgram().settings.activePane & 1;
    auto request = std::make_unique<msg::LocationRequest>();
    const folder::PaneTarget target = folder::ClassifyPanePath(path, shelltree::ArchiveRulesNow());
    request->kind = target.kind;
    request->path = target.path;
    request->pane = pane;
    if (PaneShowsLocation(w->panes[pane], request->kind, request->path))
        return;
    SendMessageW(broker, msg::kBrokerStartJob, msg::kJobNavigate, reinterpret_cast<LPARAM>(request.release()));
}


} // namespace ui
