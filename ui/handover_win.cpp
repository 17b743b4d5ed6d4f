#include "ui/handover_win.h"

#include "app/commands.h"
#include "app/language_win.h"
#include "app/program_state_win.h"
#include "fileops/external_programs_win.h"
#include "fileops/wallpaper_win.h"
#include "thumbs/thumb_view_win.h"
#include "ui/browse_pane_win.h"

namespace ui {

namespace {

constexpr UINT kWallpaperFailed = 30005;

HWND ActivePane(const MainWindow& w) { return w.panes[app::TheProgram().settings.activePane & 1]; }

external::PaneItem ItemOf(const folder::ThumbItem& item) { return {item.path, static_cast<uint32_t>(item.locator)}; }

// The active pane's location and items as the command lines need them; an empty view (no selection,
// no items) when the pane shows nothing valid.
external::PaneView ViewOf(HWND pane) {
    external::PaneView view;
    const folder::PaneLocation* location = PaneLocationOf(pane);
    thumbs::ThumbView* thumbs = thumbs::ThumbViewOf(PaneFocusTarget(pane));
    if (!location || !location->valid || !thumbs)
        return view;
    view.kind = location->kind;
    view.recycleBin = location->kind == folder::kShellFolder && location->recycleBin;
    view.locationPath = location->path;
    const size_t count = thumbs::ViewCount(*thumbs);
    const folder::ThumbItemArray& items = thumbs::ViewItems(*thumbs);
    for (size_t i = 0; i < count; ++i)
        if (items.items[i].selected)
            view.selected.push_back(ItemOf(items.items[i]));
    const size_t focus = thumbs::ViewAnchor(*thumbs);
    if (focus < count) {
        view.hasFocus = true;
        view.focused = ItemOf(items.items[focus]);
    }
    if (count > 0) {
        view.hasFirst = true;
        view.first = ItemOf(items.items[0]);
    }
    return view;
}

// The one selected item as a picture to decode; false without exactly one selection.
bool WallpaperSourceOf(HWND pane, wallpaper::Source* source) {
    const folder::PaneLocation* location = PaneLocationOf(pane);
    thumbs::ThumbView* thumbs = thumbs::ThumbViewOf(PaneFocusTarget(pane));
    if (!location || !location->valid || !thumbs || thumbs::ViewSelected(*thumbs) != 1)
        return false;
    const size_t count = thumbs::ViewCount(*thumbs);
    const folder::ThumbItemArray& items = thumbs::ViewItems(*thumbs);
    for (size_t i = 0; i < count; ++i) {
        const folder::ThumbItem& item = items.items[i];
        if (!item.selected)
            continue;
        source->kind = location->kind;
        if (folder::IsArchiveKind(location->kind)) {
            source->path = location->path;
            source->entry.name = item.name;
            source->entry.folder = item.path;
            source->entry.locator = static_cast<uint32_t>(item.locator);
            source->entry.size = static_cast<uint32_t>(item.size);
            source->entry.time = item.time;
        } else {
            source->path = item.path;
        }
        return true;
    }
    return false;
}

void SetWallpaper(MainWindow& w) {
    wallpaper::Source source;
    if (!WallpaperSourceOf(ActivePane(w), &source))
        return;
    const app::Program& p = app::TheProgram();
    if (wallpaper::SetDesktopWallpaper(w.hwnd, source, p.settings, p.settingsPath) == wallpaper::Outcome::Failed)
        lang::ShowError(w.hwnd, kWallpaperFailed);
}

} // namespace

bool RunHandoverCommand(MainWindow& w, int command) {
    const settings::Settings& s = app::TheProgram().settings;
    switch (command) {
    case cmd::kViewerView:
    case cmd::kViewerSlideShow:
    case cmd::kViewerFullScreen:
    case cmd::kReader:
        external::RunViewer(w.hwnd, s.viewerPath, command, ViewOf(ActivePane(w)));
        return true;
    case cmd::kStartViewer:
        external::StartViewer(w.hwnd, s.viewerPath);
        return true;
    case cmd::kOpenAssociated:
        external::OpenWithDefault(w.hwnd, ViewOf(ActivePane(w)));
        return true;
    case cmd::kWallpaper:
        SetWallpaper(w);
        return true;
    default:
        if (command >= cmd::kToolFirst && command < cmd::kToolFirst + 8) {
            external::RunTool(w.hwnd, s.tools[static_cast<size_t>(command - cmd::kToolFirst)], ViewOf(ActivePane(w)));
            return true;
        }
        return false;
    }
}

} // namespace ui
