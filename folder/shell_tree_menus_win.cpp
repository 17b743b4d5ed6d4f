// The folder tree's context menus, popup 8 over the tree and popup 9 over the second tab's list, and
// the commands of popup 8, which the tree carries out itself (the menus are tracked with
// TPM_RETURNCMD, so no command reaches the program's dispatch).
#include <windows.h>
#include <shellapi.h>

#include "app/language_win.h"
#include "folder/pane_location.h"
#include "folder/shell_tree_priv_win.h"

namespace shelltree {

namespace {

constexpr UINT kLaunchFailed = 30006;

bool AddRoot(ItemData& d) {
    Tree& t = *g_tree;
    if (!t.options.roots || !t.rootsItem || d.itemClass != folder::kShellItem || d.path.empty())
        return false;
    Expand(t.rootsItem);
    if (!folder::AddRootFolder(*t.options.roots, d.path))
        return false;
    ItemData* roots = DataOfItem(t.rootsItem);
    if (roots && roots->enumerated) {
        if (AddRootFolderItem(t.options.roots->back()))
            SetChildrenCount(t.rootsItem, 1);
    } else {
        SetChildrenCount(t.rootsItem, 1);
        Expand(t.rootsItem);
    }
    return true;
}

bool RemoveRoot(ItemData& d) {
    Tree& t = *g_tree;
    if (!t.options.roots || d.itemClass != folder::kRootFolder)
        return false;
    folder::RemoveRootFolder(*t.options.roots, d.path);
    SendMessageW(t.tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(d.item));
    if (t.options.roots->empty() && t.rootsItem)
        RemoveButton(t.rootsItem);
    return true;
}

bool Explore(const ItemData& d) {
    if (d.itemClass == folder::kRootFoldersItem || !d.idList)
        return false;
    SHELLEXECUTEINFOW sei = {};
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_IDLIST | SEE_MASK_FLAG_NO_UI;
    sei.hwnd = GetAncestor(g_tree->tree, GA_ROOT);
    sei.lpVerb = L"explore";
    sei.lpIDList = d.idList.Get();
    sei.nShow = SW_SHOW;
    return ShellExecuteExW(&sei) != FALSE;
}

// Explorer opens a folder by its ID list. An archive, which Explorer may not open as a folder, is
// shown selected in the folder that holds it.
void ShowInExplorer(const ItemData& d) {
    bool started = false;
    if (!folder::IsArchiveKind(d.location.kind)) {
        started = Explore(d);
    } else {
        started = d.location.kind == folder::kZipArchive && d.idList && Explore(d);
        if (!started) {
            const std::wstring parameters = L"/e,/select,\"" + d.location.path + L"\"";
            SHELLEXECUTEINFOW sei = {};
            sei.cbSize = sizeof sei;
            sei.fMask = SEE_MASK_FLAG_NO_UI;
            sei.lpFile = L"explorer.exe";
            sei.lpParameters = parameters.c_str();
            sei.nShow = SW_SHOW;
            started = ShellExecuteExW(&sei) != FALSE;
        }
    }
    if (!started)
        lang::ShowError(GetAncestor(g_tree->tree, GA_ROOT), kLaunchFailed);
}

// Caption of a menu item: string `id` followed by string `id` + 10000.
std::wstring Caption(int id) { return lang::Text(static_cast<UINT>(id)) + lang::Text(static_cast<UINT>(id + 10000)); }

// A popup from a layout (0 marks a separator, id 9900); `state` gives each item's enabled and checked
// states. The caller destroys it.
HMENU BuildMenu(const std::vector<int>& layout, const std::function<bool(int id, bool* checked)>& state) {
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return nullptr;
    for (int id : layout) {
        if (id == 0) {
            AppendMenuW(menu, MF_SEPARATOR, 9900, nullptr);
            continue;
        }
        bool checked = false;
        const bool enabled = state(id, &checked);
        const std::wstring text = Caption(id);
        AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED) | (checked ? MF_CHECKED : MF_UNCHECKED),
                    static_cast<UINT_PTR>(id), text.empty() ? L"?" : text.c_str());
    }
    return menu;
}

// `screen` of -1, -1 (the keyboard's menu key) opens the menu at the item.
POINT MenuPoint(HWND control, POINT screen, HTREEITEM item) {
    if (screen.x != -1 || screen.y != -1)
        return screen;
    RECT r = {};
    if (item)
        TreeView_GetItemRect(control, item, &r, TRUE);
    POINT p = {r.left, r.bottom};
    ClientToScreen(control, &p);
    return p;
}

} // namespace

const std::vector<int>& TreeMenuLayout() {
    static const std::vector<int> layout = {
        cmd::kOpenInPane1,  cmd::kOpenInPane2, 0, cmd::kAddRootFolder, cmd::kRemoveRootFolder, 0,
        cmd::kNewFolder,    cmd::kRenameFolder, cmd::kDeleteFolder, 0, cmd::kExpandAtStart, cmd::kShowArchives, 0,
        cmd::kExtractArchive, cmd::kZipStored, cmd::kZipDeflated, 0, cmd::kExploreFolder, cmd::kShowInExplorer};
    return layout;
}

const std::vector<int>& InfoMenuLayout() {
    static const std::vector<int> layout = {cmd::kChooseInfoItems};
    return layout;
}

bool TreeCommandEnabled(int command, HTREEITEM item, bool* checked) {
    if (checked)
        *checked = false;
    if (!g_tree || !g_tree->tree)
        return false;
    Tree& t = *g_tree;
    const ItemData* d = DataOfItem(TargetOr(item));
    switch (command) {
    case cmd::kOpenInPane1:
    case cmd::kOpenInPane2:
        return d && d->itemClass != folder::kRootFoldersItem &&
               (d->location.kind == folder::kShellFolder || !d->location.path.empty());
    case cmd::kAddRootFolder:
        return d && t.options.roots && t.rootsItem && d->itemClass == folder::kShellItem && !d->path.empty() &&
               folder::FindRootFolder(*t.options.roots, d->path) < 0;
    case cmd::kRemoveRootFolder:
        return d && t.options.roots && d->itemClass == folder::kRootFolder;
    case cmd::kExpandAtStart: {
        if (!d || !t.options.roots || d->itemClass != folder::kRootFolder)
            return false;
        const int at = folder::FindRootFolder(*t.options.roots, d->path);
        if (checked && at >= 0)
            *checked = ((*t.options.roots)[static_cast<size_t>(at)].flags & folder::kRootExpandAtStart) != 0;
        return at >= 0;
    }
    case cmd::kShowArchives:
        if (checked)
            *checked = t.options.showArchives;
        return true;
    case cmd::kExploreFolder:
        return d && d->itemClass != folder::kRootFoldersItem && d->idList;
    case cmd::kShowInExplorer:
        return d && d->itemClass != folder::kRootFoldersItem &&
               (folder::IsArchiveKind(d->location.kind) ? !d->location.path.empty() : static_cast<bool>(d->idList));
    case cmd::kNewFolder:
        return d && t.host.fileCommand && d->itemClass != folder::kRootFoldersItem &&
               d->location.kind == folder::kFileSystemFolder && !d->location.path.empty();
    case cmd::kRenameFolder:
    case cmd::kDeleteFolder:
        // Virtual folders have no path to change; a root folder or the desktop would leave the tree
        // pointing at nothing.
        return d && t.host.fileCommand && t.host.offersChanges && d->itemClass == folder::kShellItem &&
               d->location.kind != folder::kShellFolder && !d->location.path.empty() &&
               t.host.offersChanges(d->location.path);
    case cmd::kExtractArchive:
        return d && t.host.archiveJob && folder::IsArchiveKind(d->location.kind) && !d->location.path.empty() &&
               (!t.host.archiveJobPossible || t.host.archiveJobPossible());
    case cmd::kZipStored:
    case cmd::kZipDeflated:
        // A whole drive has no name to give its archive.
        return d && t.host.archiveJob && d->itemClass != folder::kRootFoldersItem &&
               d->location.kind == folder::kFileSystemFolder && !d->location.path.empty() &&
               !folder::IsDriveRoot(d->location.path) &&
               (!t.host.archiveJobPossible || t.host.archiveJobPossible());
    }
    return false;
}

bool RunTreeCommand(int command, HTREEITEM item) {
    if (!TreeCommandEnabled(command, item))
        return false;
    Tree& t = *g_tree;
    ItemData* d = DataOfItem(TargetOr(item));
    switch (command) {
    case cmd::kOpenInPane1:
    case cmd::kOpenInPane2:
        LoadItem(*d, command - cmd::kOpenInPane1);
        return true;
    case cmd::kAddRootFolder:
        return AddRoot(*d);
    case cmd::kRemoveRootFolder:
        return RemoveRoot(*d);
    case cmd::kExpandAtStart: {
        bool on = false;
        TreeCommandEnabled(command, d->item, &on);
        return folder::SetRootExpandAtStart(*t.options.roots, d->path, !on);
    }
    case cmd::kShowArchives:
        SetShowArchives(!t.options.showArchives);
        if (t.host.showArchivesChanged)
            t.host.showArchivesChanged(t.options.showArchives);
        return true;
    case cmd::kExploreFolder:
        return Explore(*d);
    case cmd::kShowInExplorer:
        ShowInExplorer(*d);
        return true;
    case cmd::kNewFolder:
    case cmd::kRenameFolder:
    case cmd::kDeleteFolder: {
        // The dialog is modal and the item may go meanwhile: its record is not used after.
        RECT r = {};
        TreeView_GetItemRect(t.tree, d->item, &r, TRUE);
        MapWindowPoints(t.tree, nullptr, reinterpret_cast<POINT*>(&r), 2);
        const folder::LocationKind kind = d->location.kind;
        const std::wstring path = d->location.path;
        t.host.fileCommand(command, kind, path, r);
        return true;
    }
    case cmd::kExtractArchive:
    case cmd::kZipStored:
    case cmd::kZipDeflated: {
        // The command's chooser is modal and the item may go meanwhile: its record is not used after.
        const folder::LocationKind kind = d->location.kind;
        const std::wstring path = d->location.path;
        t.host.archiveJob(command, kind, path);
        return true;
    }
    }
    return false;
}


HMENU BuildTreeMenu(HTREEITEM item) {
    return BuildMenu(TreeMenuLayout(), [item](int id, bool* checked) { return TreeCommandEnabled(id, item, checked); });
}

HMENU BuildInfoMenu(bool chooserAvailable) {
    return BuildMenu(InfoMenuLayout(),
                     [chooserAvailable](int id, bool*) { return id == cmd::kChooseInfoItems && chooserAvailable; });
}

void ShowTreeMenu(HWND owner, POINT screen) {
    if (!g_tree || !g_tree->tree)
        return;
    Tree& t = *g_tree;
    HTREEITEM target = nullptr;
    if (screen.x != -1 || screen.y != -1) {
        TVHITTESTINFO hit = {};
        hit.pt = screen;
        ScreenToClient(t.tree, &hit.pt);
        SendMessageW(t.tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        if (hit.flags & TVHT_ONITEM)
            target = hit.hItem;
    }
    target = TargetOr(target);
    // The item is remembered by its record: shell changes handled while the menu is open may delete
    // it, and its handle may then be stale or name another item.
    const ItemData* pressed = DataOfItem(target);
    const uint64_t serial = pressed ? pressed->serial : 0;
    win::Menu menu(BuildTreeMenu(target));
    if (!menu.Get())
        return;
    const POINT at = MenuPoint(t.tree, screen, target);
    if (t.host.decorateMenu)
        t.host.decorateMenu(menu.Get());
    const int command = TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
    if (!command || g_tree != &t || !t.tree)
        return;
    if (target) {
        const ItemData* still = DataOf(static_cast<LPARAM>(serial));
        if (!still || !still->item)
            return;
        target = still->item;
    }
    RunTreeCommand(command, target);
}

void ShowInfoMenu(HWND owner, POINT screen, const std::function<void()>& chooseItems) {
    win::Menu menu(BuildInfoMenu(chooseItems != nullptr));
    if (!menu.Get())
        return;
    if (g_tree && g_tree->host.decorateMenu)
        g_tree->host.decorateMenu(menu.Get());
    if (screen.x == -1 && screen.y == -1) {
        screen = {0, 0};
        ClientToScreen(owner, &screen);
    }
    const int command =
        TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, 0, owner, nullptr);
    if (command == cmd::kChooseInfoItems && chooseItems)
        chooseItems();
}

} // namespace shelltree
