#include "ui/file_commands_win.h"

#include "app/commands.h"
#include "app/language_win.h"
#include "app/program_state_win.h"
#include "app/shortcut_table.h"
#include "common/path.h"
#include "fileops/comment_edit_win.h"
#include "fileops/delete_rename_win.h"
#include "fileops/new_folder_win.h"
#include "folder/pane_location.h"
#include "thumbs/thumb_view_win.h"
#include "ui/browse_pane_win.h"

namespace ui {

namespace {

int ActiveIndex() { return app::TheProgram().settings.activePane & 1; }

fileops::Box BoxOf(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

fileops::Box WorkAreaOf(const RECT& r) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &info);
    return BoxOf(info.rcWork);
}

// The focused item of the active pane: the item last clicked, when it is the one selected item of an
// idle pane showing a folder of files.
struct Focused {
    HWND pane = nullptr;
    int index = 0;
    thumbs::ThumbView* view = nullptr;
    size_t item = thumbs::kNoItem;
};

bool FocusedItem(MainWindow& w, Focused* f) {
    f->index = ActiveIndex();
    f->pane = w.panes[f->index];
    f->view = PaneViewOf(f->pane);
    const PaneFacts facts = PaneFactsOf(f->pane);
    if (!f->view || !facts.fileSystemFolder || !facts.idle || facts.selectedCount != 1)
        return false;
    f->item = thumbs::ViewAnchor(*f->view);
    return f->item < thumbs::ViewCount(*f->view) && thumbs::ViewItems(*f->view).items[f->item].selected;
}

// The item renamed from `oldPath` gets its new path and name wherever a pane shows it.
void RenameInPanes(MainWindow& w, const std::wstring& oldPath, const std::wstring& newPath) {
    for (HWND pane : w.panes) {
        thumbs::ThumbView* view = PaneViewOf(pane);
        if (!view)
            continue;
        folder::ThumbItemArray& items = thumbs::ViewItems(*view);
        for (size_t i = 0; i < thumbs::ViewCount(*view); ++i) {
            folder::ThumbItem& item = items.items[i];
            if (item.path.size() != oldPath.size() || !paths::EqualFold(item.path, oldPath))
                continue;
            item.path = newPath;
            item.name = paths::LastComponent(newPath);
            thumbs::ViewRepaintItem(*view, i);
        }
    }
}

fileops::AskNewName AskWithDialog(HWND owner, fileops::NameDialogArgs args) {
    return [owner, args](std::wstring* typed) { return fileops::AskName(owner, args, typed); };
}

// Name dialogs of the tree: beside the tree, at the item's height.
fileops::NameDialogArgs TreeDialog(MainWindow& w, std::wstring title, std::wstring text, const RECT& item) {
    RECT tree = {};
    GetWindowRect(w.treeArea, &tree);
    fileops::NameDialogArgs args;
    args.title = std::move(title);
    args.text = std::move(text);
    args.place = [tree, item](int width, int height) {
        return fileops::PlaceBesideTree(tree.right, item.top, width, height, WorkAreaOf(item));
    };
    return args;
}

void Show(MainWindow& w, const fileops::Outcome& o) {
    if (o.error)
        lang::ShowError(w.hwnd, o.error);
}

} // namespace

void DeleteSelectedItems(MainWindow& w) {
    const int index = ActiveIndex();
    HWND pane = w.panes[index];
    thumbs::ThumbView* view = PaneViewOf(pane);
    const folder::PaneLocation* location = PaneLocationOf(pane);
    if (!view || !location || !location->valid || !thumbs::ViewSelected(*view))
        return;
    fileops::PaneDelete request;
    request.pane = index;
    request.kind = location->kind;
    request.recycleBin = location->recycleBin != 0;
    request.loadFinished = PaneFactsOf(pane).idle;
    const folder::ThumbItemArray& items = thumbs::ViewItems(*view);
    for (size_t i = 0; i < thumbs::ViewCount(*view); ++i)
        if (items.items[i].selected)
            request.paths.push_back(items.items[i].path);
    const fileops::Outcome o = fileops::DeletePaneItems(w.hwnd, request);
    Show(w, o);
    if (o.done)
        RemoveSelected(w, index);
}

void RenameFocusedItem(MainWindow& w) {
    Focused f;
    if (!FocusedItem(w, &f))
        return;
    const folder::ThumbItem& item = thumbs::ViewItems(*f.view).items[f.item];
    const std::wstring oldPath = item.path;
    RECT cell = {};
    if (!item.cellWindow || !GetWindowRect(static_cast<HWND>(item.cellWindow), &cell))
        GetWindowRect(PaneFocusTarget(f.pane), &cell);
    fileops::NameDialogArgs args;
    args.title = shortcuts::StripMnemonics(lang::Text(5030));
    args.text = fileops::StemOf(paths::LastComponent(oldPath));
    args.place = [cell](int width, int height) {
        return fileops::PlaceUnderCell(BoxOf(cell), width, height, WorkAreaOf(cell));
    };
    std::wstring newPath;
    const fileops::Outcome o = fileops::RenamePaneItem(w.hwnd, f.index, oldPath, AskWithDialog(w.hwnd, args), &newPath);
    Show(w, o);
    if (o.done)
        RenameInPanes(w, oldPath, newPath);
}

void EditFocusedComment(MainWindow& w) {
    Focused f;
    if (!FocusedItem(w, &f))
        return;
    const std::wstring path = thumbs::ViewItems(*f.view).items[f.item].path;
    const int format = thumbs::ViewItems(*f.view).items[f.item].format;
    fileops::Admission admission(fileops::PathCode(f.index), &path);
    if (!admission.Granted()) {
        lang::ShowError(w.hwnd, 30013);
        return;
    }
    int64_t delta = 0;
    if (!fileops::EditComment(w.hwnd, path, format, &delta))
        return;
    // The dialog was modal: the pane may have been reloaded meanwhile, so the item is found again.
    for (HWND pane : w.panes) {
        thumbs::ThumbView* view = PaneViewOf(pane);
        if (!view)
            continue;
        folder::ThumbItemArray& items = thumbs::ViewItems(*view);
        for (size_t i = 0; i < thumbs::ViewCount(*view); ++i)
            if (paths::EqualFold(items.items[i].path, path)) {
                items.items[i].size = static_cast<int32_t>(items.items[i].size + delta);
                thumbs::ViewRepaintItem(*view, i);
            }
    }
}

bool TreeOffersChanges(const std::wstring& path) { return fileops::TreeItemOffersChanges(path); }

void TreeNewFolder(MainWindow& w, const std::wstring& folder, const RECT& item) {
    std::wstring made;
    const fileops::NameDialogArgs args = TreeDialog(w, fileops::NewFolderTitle(folder), L"", item);
    Show(w, fileops::NewFolderIn(folder, AskWithDialog(w.hwnd, args), &made));
}

void TreeRename(MainWindow& w, location::LocationKind kind, const std::wstring& path, const RECT& item) {
    const bool archive = location::IsArchiveKind(kind);
    const fileops::NameDialogArgs args = TreeDialog(w, shortcuts::StripMnemonics(lang::Text(5521)), fileops::TreeRenameText(path, archive), item);
    std::wstring newPath;
    const fileops::Outcome o = fileops::RenameTreeItem(w.hwnd, path, archive, AskWithDialog(w.hwnd, args), &newPath);
    Show(w, o);
    if (o.done)
        CheckPanes(w);
}

void TreeDelete(MainWindow& w, const std::wstring& path) {
    const fileops::Outcome o = fileops::DeleteTreeItem(w.hwnd, path);
    Show(w, o);
    if (o.done)
        CheckPanes(w);
}

void RunTreeFileCommand(MainWindow& w, int command, location::LocationKind kind, const std::wstring& path,
                        const RECT& item) {
    switch (command) {
    case cmd::kNewFolder: TreeNewFolder(w, path, item); break;
    case cmd::kRenameFolder: TreeRename(w, kind, path, item); break;
    case cmd::kDeleteFolder: TreeDelete(w, path); break;
    default: break;
    }
}

} // namespace ui
