// The tree kept in step with the file system: the shell's change notifications (registered on the
// tree-view control) and, under Wine, the worker's reports on the expanded folders it watches.
#include "common/path.h"
#include "common/platform.h"
#include "folder/names.h"
#include "folder/shell_tree_priv_win.h"

namespace shelltree {

namespace {

// SHCNE_RENAMEITEM | CREATE | DELETE | MKDIR | RMDIR | DRIVEREMOVED | DRIVEADD | UPDATEDIR | RENAMEFOLDER.
constexpr LONG kShellEvents = 0x2119F;

// A list from a notification, as a fresh list of our own: the shell's simple lists for paths lack
// the attributes a real parse gives.
win::IdList FreshList(PCIDLIST_ABSOLUTE pidl, std::wstring* path) {
    *path = PathOfIdList(pidl);
    win::IdList fresh;
    if (!path->empty()) {
        if (SUCCEEDED(SHParseDisplayName(path->c_str(), nullptr, fresh.Out(), 0, nullptr)) && fresh)
            return fresh;
        return win::IdList();
    }
    return win::IdList(pidl ? ILClone(pidl) : nullptr);
}

bool AttributesOf(PCIDLIST_ABSOLUTE pidl, SFGAOF* attributes) {
    win::ComPtr<IShellFolder> parent;
    PCUITEMID_CHILD last = nullptr;
    if (FAILED(SHBindToParent(pidl, IID_IShellFolder, reinterpret_cast<void**>(parent.Out()), &last)))
        return false;
    *attributes = kChildAttributes;
    return SUCCEEDED(parent->GetAttributesOf(1, &last, attributes));
}

void AddUnderParent(PCIDLIST_ABSOLUTE eventList) {
    Tree& t = *g_tree;
    std::wstring path;
    win::IdList child = FreshList(eventList, &path);
    if (!child)
        return;
    SFGAOF attributes = 0;
    if (!AttributesOf(child.Get(), &attributes))
        return;
    if ((attributes & SFGAO_HIDDEN) && !t.options.showHidden)
        return;
    const std::wstring parentPath = path.empty() ? std::wstring() : paths::ParentFolder(path);
    win::IdList parentList = child.Clone();
    ILRemoveLastID(parentList.Get());
    for (HTREEITEM item : AllItems()) {
        ItemData* d = DataOfItem(item);
        if (!d || d->itemClass == folder::kRootFoldersItem)
            continue;
        if (!IsFolderOf(*d, parentList.Get(), parentPath))
            continue;
        if (d->enumerated) {
            if (!FindChild(item, child.Get(), path) &&
                AddShellChild(item, child.Clone(), attributes, folder::kShellItem,
                              SortedSlot(item, child.Get(), std::wstring())))
                SetChildrenCount(item, 1);
        } else if (!HasButton(item)) {
            PostCheck(*d, 1);
        }
    }
    if (!path.empty() && t.options.roots && t.rootsItem && folder::FindRootFolder(*t.options.roots, path) >= 0) {
        ItemData* roots = DataOfItem(t.rootsItem);
        if (roots && roots->enumerated && !RootIsShown(path)) {
            const settings::TreeRoot& root = (*t.options.roots)[static_cast<size_t>(
                folder::FindRootFolder(*t.options.roots, path))];
            if (AddRootFolderItem(root, SortedSlot(t.rootsItem, nullptr, root.path)))
                SetChildrenCount(t.rootsItem, 1);
        }
    }
}

void RemoveItem(PCIDLIST_ABSOLUTE eventList) {
    const std::wstring path = PathOfIdList(eventList);
    // Shell items of that folder go; a root folder whose folder vanished is no longer shown (it
    // stays in the list and comes back with its folder).
    DeleteItemsWhere([&](const ItemData& d) {
        if (d.itemClass == folder::kShellItem)
            return SameItem(d, eventList, path);
        if (d.itemClass == folder::kRootFolder)
            return !path.empty() && paths::AtOrUnder(d.path, path);
        return false;
    });
    const std::wstring parentPath = paths::ParentFolder(path);
    if (parentPath.empty())
        return;
    for (HTREEITEM item : AllItems())
        if (ItemData* d = DataOfItem(item))
            if (!d->enumerated && d->itemClass != folder::kRootFoldersItem && SameItem(*d, nullptr, parentPath))
                PostCheck(*d, 0);
}

bool IsArchiveFile(PCIDLIST_ABSOLUTE pidl) {
    return folder::ArchiveKindOf(PathOfIdList(pidl), RulesOf(g_tree->options)) != folder::kFileSystemFolder;
}

void UpdateFolder(PCIDLIST_ABSOLUTE eventList) {
    const std::wstring path = PathOfIdList(eventList);
    for (HTREEITEM item : AllItems()) {
        ItemData* d = DataOfItem(item);
        if (!d || !d->enumerated || d->itemClass == folder::kRootFoldersItem)
            continue;
        if (IsFolderOf(*d, eventList, path) && AddMissingChildren(*d)) {
            SetChildrenCount(item, 1);
            SortChildren(item);
        }
    }
}

void OnShellEvent(LONG event, PCIDLIST_ABSOLUTE first, PCIDLIST_ABSOLUTE second) {
    const bool archives = g_tree->options.showArchives;
    switch (event) {
    case SHCNE_MKDIR:
    case SHCNE_DRIVEADD:
        if (first)
            AddUnderParent(first);
        break;
    case SHCNE_RMDIR:
    case SHCNE_DRIVEREMOVED:
        if (first)
            RemoveItem(first);
        break;
    case SHCNE_CREATE:
        if (archives && first && IsArchiveFile(first))
            AddUnderParent(first);
        break;
    case SHCNE_DELETE:
        if (archives && first && IsArchiveFile(first))
            RemoveItem(first);
        break;
    case SHCNE_RENAMEITEM:
        if (archives && first && IsArchiveFile(first))
            RemoveItem(first);
        if (archives && second && IsArchiveFile(second))
            AddUnderParent(second);
        break;
    case SHCNE_RENAMEFOLDER:
        if (first)
            RemoveItem(first);
        if (second)
            AddUnderParent(second);
        break;
    case SHCNE_UPDATEDIR:
        if (first)
            UpdateFolder(first);
        break;
    }
}


} // namespace

void OnShellChange(WPARAM wp, LPARAM lp) {
    PIDLIST_ABSOLUTE* lists = nullptr;
    LONG event = 0;
    HANDLE lock = SHChangeNotification_Lock(reinterpret_cast<HANDLE>(wp), static_cast<DWORD>(lp), &lists, &event);
    if (!lock)
        return;
    OnShellEvent(event & ~SHCNE_INTERRUPT, lists ? lists[0] : nullptr, lists ? lists[1] : nullptr);
    SHChangeNotification_Unlock(lock);
}

void Deregister() {
    Tree& t = *g_tree;
    if (t.notifyId) {
        SHChangeNotifyDeregister(t.notifyId);
        t.notifyId = 0;
    }
}

void RegisterChanges() {
    Tree& t = *g_tree;
    win::IdList desktop;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, desktop.Out())))
        return;
    SHChangeNotifyEntry entry = {desktop.Get(), TRUE};
    t.notifyId = SHChangeNotifyRegister(t.tree, SHCNRF_ShellLevel | SHCNRF_NewDelivery, kShellEvents, msg::kTreeShellChange,
                                        1, &entry);
}

void OnFolderChanged(const std::wstring& path) {
    for (HTREEITEM item : AllItems()) {
        ItemData* d = DataOfItem(item);
        if (!d || !d->enumerated || !paths::EqualFold(d->watchPath, path))
            continue;
        std::vector<HTREEITEM> vanished;
        for (HTREEITEM c = FirstChild(item); c; c = Next(c, TVGN_NEXT))
            if (const ItemData* child = DataOfItem(c))
                if (child->itemClass == folder::kShellItem && !child->path.empty() &&
                    !platform::PathExists(child->path))
                    vanished.push_back(c);
        for (HTREEITEM c : vanished)
            SendMessageW(g_tree->tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(c));
        if (AddMissingChildren(*d))
            SortChildren(item);
        if (FirstChild(item))
            SetChildrenCount(item, 1);
        else
            RemoveButton(item);
    }
}

} // namespace shelltree
