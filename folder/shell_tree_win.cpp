// The folder tree on its tree-view control: the items and their records, selection and marks, the
// control's subclass, start-up and teardown, and the switches. The worker, the shell changes and
// the menus are in the shell_tree_*_win.cpp beside this file.
#include "folder/shell_tree_win.h"

#include <shellapi.h>

#include <utility>

#include "common/platform.h"
#include "folder/names.h"
#include "folder/pane_location.h"
#include "folder/shell_tree_priv_win.h"
#include "common/path.h"

namespace shelltree {

Tree* g_tree = nullptr;

namespace {

constexpr UINT_PTR kTreeSubclassId = 7;
constexpr DWORD kWorkerStopMs = 500;

} // namespace

folder::ArchiveRules RulesOf(const TreeOptions& o) {
    folder::ArchiveRules r;
    r.showArchives = o.showArchives;
    r.rarAvailable = o.rarAvailable;
    r.pluginExtensions = o.pluginExtensions;
    return r;
}

SHCONTF EnumFlags(bool showHidden, bool showArchives) {
    return SHCONTF_FOLDERS | (showHidden ? SHCONTF_INCLUDEHIDDEN : 0) | (showArchives ? SHCONTF_NONFOLDERS : 0);
}

std::wstring PathOfIdList(PCIDLIST_ABSOLUTE pidl) {
    if (!pidl)
        return std::wstring();
    wchar_t buffer[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(pidl, buffer))
        return std::wstring();
    return buffer;
}

bool BindFolder(PCIDLIST_ABSOLUTE pidl, win::ComPtr<IShellFolder>& folderOut) {
    win::ComPtr<IShellFolder> desktop;
    if (!pidl || FAILED(SHGetDesktopFolder(desktop.Out())))
        return false;
    if (ILIsEmpty(pidl))
        return SUCCEEDED(desktop->QueryInterface(IID_IShellFolder, reinterpret_cast<void**>(folderOut.Out())));
    return SUCCEEDED(desktop->BindToObject(pidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(folderOut.Out())));
}

// ---- items ---------------------------------------------------------------------------------------

ItemData* DataOf(LPARAM param) {
    if (!g_tree)
        return nullptr;
    auto it = g_tree->items.find(static_cast<uint64_t>(param));
    return it == g_tree->items.end() ? nullptr : it->second.get();
}

ItemData* DataOfItem(HTREEITEM item) {
    if (!g_tree || !item)
        return nullptr;
    TVITEMW tv = {};
    tv.mask = TVIF_PARAM | TVIF_HANDLE;
    tv.hItem = item;
    if (!SendMessageW(g_tree->tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)))
        return nullptr;
    return DataOf(tv.lParam);
}

HTREEITEM Next(HTREEITEM item, UINT how) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(g_tree->tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM FirstChild(HTREEITEM item) { return Next(item, TVGN_CHILD); }

void SetChildrenCount(HTREEITEM item, int count) {
    TVITEMW tv = {};
    tv.mask = TVIF_CHILDREN | TVIF_HANDLE;
    tv.hItem = item;
    tv.cChildren = count;
    SendMessageW(g_tree->tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

bool HasButton(HTREEITEM item) {
    TVITEMW tv = {};
    tv.mask = TVIF_CHILDREN | TVIF_HANDLE;
    tv.hItem = item;
    return SendMessageW(g_tree->tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) && tv.cChildren != 0;
}

void RemoveButton(HTREEITEM item) {
    SetChildrenCount(item, 0);
    TVITEMW tv = {};
    tv.mask = TVIF_STATE | TVIF_HANDLE;
    tv.hItem = item;
    tv.stateMask = TVIS_EXPANDED | TVIS_EXPANDEDONCE;
    tv.state = 0;
    SendMessageW(g_tree->tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

namespace {

std::wstring ItemText(HTREEITEM item) {
    wchar_t buffer[261] = {};
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT | TVIF_HANDLE;
    tv.hItem = item;
    tv.pszText = buffer;
    tv.cchTextMax = 261;
    SendMessageW(g_tree->tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    return buffer;
}

} // namespace

std::vector<HTREEITEM> AllItems() {
    std::vector<HTREEITEM> out;
    std::vector<HTREEITEM> stack;
    for (HTREEITEM top = Next(nullptr, TVGN_ROOT); top; top = Next(top, TVGN_NEXT))
        stack.push_back(top);
    std::vector<HTREEITEM> reversed(stack.rbegin(), stack.rend());
    stack.swap(reversed);
    while (!stack.empty()) {
        HTREEITEM item = stack.back();
        stack.pop_back();
        out.push_back(item);
        std::vector<HTREEITEM> kids;
        for (HTREEITEM c = FirstChild(item); c; c = Next(c, TVGN_NEXT))
            kids.push_back(c);
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    }
    return out;
}

namespace {

void BuildLocation(ItemData& d, const std::wstring& text) {
    d.location = msg::LocationRequest();
    d.location.kind = d.kind;
    if (d.itemClass == folder::kRootFoldersItem)
        return;
    if (d.kind == folder::kShellFolder) {
        if (d.idList) {
            const UINT size = ILGetSize(d.idList.Get());
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(d.idList.Get());
            d.location.idList.assign(bytes, bytes + size);
        }
        d.location.path = text.substr(0, 260);
    } else {
        d.location.path = d.path;
    }
}

// The outside mark (shell_tree_win.h): the roots are in and the worker has answered their checks,
// so no button changes under a pointer that is about to act on the items.
void MarkIfSettled() {
    Tree& t = *g_tree;
    if (t.filled && t.pending == 0 && t.tree)
        SetPropW(t.tree, kFilledProperty, reinterpret_cast<HANDLE>(1));
}

void OnCheckDone(std::unique_ptr<CheckResult> r) {
    Tree& t = *g_tree;
    if (r->generation != t.generation.load())
        return;
    if (t.pending > 0)
        --t.pending;
    MarkIfSettled();
    ItemData* d = DataOf(static_cast<LPARAM>(r->serial));
    if (!d || !d->item)
        return;
    if (r->mode == 1 && r->hasChildren) {
        SetChildrenCount(d->item, 1);
    } else if (r->mode == 0 && !r->hasChildren && !FirstChild(d->item)) {
        // An item the user filled meanwhile keeps what it shows.
        RemoveButton(d->item);
    }
}

struct IconPair {
    int normal = 0;
    int open = 0;
    std::wstring name;
};

IconPair IconsOf(PCIDLIST_ABSOLUTE pidl) {
    IconPair icons;
    SHFILEINFOW sfi = {};
    if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &sfi, sizeof sfi,
                       SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON)) {
        icons.normal = sfi.iIcon;
        icons.name = sfi.szDisplayName;
    }
    SHFILEINFOW open = {};
    if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &open, sizeof open,
                       SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON))
        icons.open = open.iIcon;
    else
        icons.open = icons.normal;
    return icons;
}

// Inserts a record's item under `parent`, last; the tree owns the record from here on.
HTREEITEM InsertItem(HTREEITEM parent, std::unique_ptr<ItemData> d, const std::wstring& text, int icon, int openIcon,
                     bool button, HTREEITEM insertAfter = TVI_LAST) {
    Tree& t = *g_tree;
    const uint64_t serial = t.nextSerial++;
    BuildLocation(*d, text);
    TVINSERTSTRUCTW ins = {};
    ins.hParent = parent ? parent : TVI_ROOT;
    ins.hInsertAfter = insertAfter;
    ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN | TVIF_STATE;
    std::wstring label = text;
    ins.item.pszText = &label[0];
    ins.item.iImage = icon;
    ins.item.iSelectedImage = openIcon;
    ins.item.lParam = static_cast<LPARAM>(serial);
    ins.item.cChildren = button ? 1 : 0;
    ins.item.stateMask = TVIS_OVERLAYMASK | TVIS_CUT;
    ins.item.state = ((d->attributes & SFGAO_SHARE) ? INDEXTOOVERLAYMASK(1) : 0) |
                     ((d->attributes & SFGAO_GHOSTED) ? TVIS_CUT : 0);
    ItemData* raw = d.get();
    raw->serial = serial;
    t.items[serial] = std::move(d);
    HTREEITEM item =
        reinterpret_cast<HTREEITEM>(SendMessageW(t.tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
    if (!item) {
        t.items.erase(serial);
        return nullptr;
    }
    raw->item = item;
    return item;
}

} // namespace

bool SameItem(const ItemData& d, PCIDLIST_ABSOLUTE pidl, const std::wstring& path) {
    if (!d.path.empty() || !path.empty())
        return !d.path.empty() && paths::EqualFold(d.path, path);
    return d.idList && pidl && ILIsEqual(d.idList.Get(), pidl);
}

bool IsFolderOf(const ItemData& d, PCIDLIST_ABSOLUTE pidl, const std::wstring& path) {
    if (d.itemClass == folder::kDesktopRoot)
        return (pidl && ILIsEmpty(pidl)) || (!path.empty() && paths::EqualFold(d.watchPath, path));
    return SameItem(d, pidl, path);
}

HTREEITEM FindChild(HTREEITEM parent, PCIDLIST_ABSOLUTE pidl, const std::wstring& path) {
    for (HTREEITEM c = FirstChild(parent); c; c = Next(c, TVGN_NEXT))
        if (const ItemData* d = DataOfItem(c))
            if (SameItem(*d, pidl, path))
                return c;
    return nullptr;
}

HTREEITEM AddShellChild(HTREEITEM parent, win::IdList child, SFGAOF attributes, int32_t itemClass,
                        HTREEITEM insertAfter) {
    Tree& t = *g_tree;
    std::wstring path = (attributes & SFGAO_FILESYSTEM) ? PathOfIdList(child.Get()) : std::wstring();
    folder::LocationKind kind = folder::kFileSystemFolder;
    if (!folder::KindFromInt(folder::ClassifyChild(attributes, path, RulesOf(t.options)), &kind))
        return nullptr;
    if (kind == folder::kShellFolder)
        path.clear();
    auto d = std::make_unique<ItemData>();
    d->itemClass = itemClass;
    d->kind = kind;
    d->path = path;
    d->watchPath = kind == folder::kFileSystemFolder ? path : std::wstring();
    d->attributes = attributes;
    const IconPair icons = IconsOf(child.Get());
    d->idList = std::move(child);
    ItemData* raw = d.get();
    HTREEITEM item = InsertItem(parent, std::move(d), icons.name, icons.normal, icons.open,
                                folder::KindHasChildren(kind), insertAfter);
    if (item)
        PostCheck(*raw, 0);
    return item;
}

namespace {

// The children the folder of `pidl` lists now, each with its attributes.
template <typename Visit>
void EnumerateChildren(PCIDLIST_ABSOLUTE pidl, SHCONTF flags, Visit visit) {
    win::ComPtr<IShellFolder> shellFolder;
    if (!BindFolder(pidl, shellFolder))
        return;
    win::ComPtr<IEnumIDList> children;
    if (shellFolder->EnumObjects(nullptr, flags, children.Out()) != S_OK || !children)
        return;
    PITEMID_CHILD child = nullptr;
    ULONG fetched = 0;
    while (children->Next(1, &child, &fetched) == S_OK && fetched == 1) {
        SFGAOF attributes = kChildAttributes;
        PCUITEMID_CHILD one = child;
        if (FAILED(shellFolder->GetAttributesOf(1, &one, &attributes)))
            attributes = 0;
        win::IdList absolute(ILCombine(pidl, child));
        CoTaskMemFree(child);
        if (absolute)
            visit(std::move(absolute), attributes);
    }
}

struct SortContext {
    IShellFolder* folder = nullptr;
    bool rootOrder = false;
};

int CALLBACK CompareChildren(LPARAM a, LPARAM b, LPARAM context) {
    const SortContext* c = reinterpret_cast<const SortContext*>(context);
    const ItemData* da = DataOf(a);
    const ItemData* db = DataOf(b);
    if (!da || !db)
        return 0;
    if (c->rootOrder && g_tree->options.roots) {
        const int ia = folder::FindRootFolder(*g_tree->options.roots, da->path);
        const int ib = folder::FindRootFolder(*g_tree->options.roots, db->path);
        return ia < ib ? -1 : ia > ib ? 1 : 0;
    }
    if (!c->folder || !da->idList || !db->idList)
        return 0;
    const HRESULT hr = c->folder->CompareIDs(0, ILFindLastID(da->idList.Get()), ILFindLastID(db->idList.Get()));
    return FAILED(hr) ? 0 : static_cast<short>(HRESULT_CODE(hr));
}

} // namespace

void SortChildren(HTREEITEM parent) {
    const ItemData* d = DataOfItem(parent);
    if (!d)
        return;
    SortContext context;
    win::ComPtr<IShellFolder> shellFolder;
    if (d->itemClass == folder::kRootFoldersItem) {
        context.rootOrder = true;
    } else {
        if (!BindFolder(d->idList.Get(), shellFolder))
            return;
        context.folder = shellFolder.Get();
    }
    TVSORTCB sort = {};
    sort.hParent = parent;
    sort.lpfnCompare = CompareChildren;
    sort.lParam = reinterpret_cast<LPARAM>(&context);
    SendMessageW(g_tree->tree, TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(&sort));
}

HTREEITEM SortedSlot(HTREEITEM parent, PCIDLIST_ABSOLUTE child, const std::wstring& rootPath) {
    const ItemData* p = DataOfItem(parent);
    if (!p)
        return TVI_LAST;
    std::vector<const ItemData*> siblings;
    for (HTREEITEM c = FirstChild(parent); c; c = Next(c, TVGN_NEXT))
        if (const ItemData* d = DataOfItem(c))
            siblings.push_back(d);
    size_t at = siblings.size();
    if (p->itemClass == folder::kRootFoldersItem) {
        const std::vector<settings::TreeRoot>* roots = g_tree->options.roots;
        if (!roots)
            return TVI_LAST;
        const int mine = folder::FindRootFolder(*roots, rootPath);
        at = folder::SortedInsertPosition(siblings.size(), [&](size_t i) {
            return mine - folder::FindRootFolder(*roots, siblings[i]->path);
        });
    } else {
        win::ComPtr<IShellFolder> shellFolder;
        if (!child || !BindFolder(p->idList.Get(), shellFolder))
            return TVI_LAST;
        at = folder::SortedInsertPosition(siblings.size(), [&](size_t i) {
            if (!siblings[i]->idList)
                return 1;
            const HRESULT hr = shellFolder->CompareIDs(0, ILFindLastID(child), ILFindLastID(siblings[i]->idList.Get()));
            return FAILED(hr) ? 1 : static_cast<int>(static_cast<short>(HRESULT_CODE(hr)));
        });
    }
    return at == 0 ? TVI_FIRST : siblings[at - 1]->item;
}

HTREEITEM AddRootFolderItem(const settings::TreeRoot& root, HTREEITEM insertAfter) {
    Tree& t = *g_tree;
    const bool isFolder = platform::FolderExists(root.path) || folder::IsDriveRoot(root.path);
    const folder::LocationKind kind =
        isFolder ? folder::kFileSystemFolder : folder::ArchiveKindOf(root.path, RulesOf(t.options));
    if (!isFolder && kind == folder::kFileSystemFolder)
        return nullptr;
    auto d = std::make_unique<ItemData>();
    d->itemClass = folder::kRootFolder;
    d->kind = kind;
    d->path = root.path;
    d->watchPath = kind == folder::kFileSystemFolder ? root.path : std::wstring();
    IconPair icons;
    if (SUCCEEDED(SHParseDisplayName(root.path.c_str(), nullptr, d->idList.Out(), 0, nullptr)) && d->idList)
        icons = IconsOf(d->idList.Get());
    if (icons.name.empty())
        icons.name = root.path;
    ItemData* raw = d.get();
    HTREEITEM item = InsertItem(t.rootsItem, std::move(d), icons.name, icons.normal, icons.open,
                                folder::KindHasChildren(kind), insertAfter);
    if (item)
        PostCheck(*raw, 0);
    return item;
}

bool RootIsShown(const std::wstring& path) {
    for (HTREEITEM c = FirstChild(g_tree->rootsItem); c; c = Next(c, TVGN_NEXT))
        if (const ItemData* d = DataOfItem(c))
            if (paths::EqualFold(d->path, path))
                return true;
    return false;
}

bool AddMissingChildren(ItemData& d) {
    Tree& t = *g_tree;
    bool added = false;
    if (d.itemClass == folder::kRootFoldersItem) {
        if (!t.options.roots)
            return false;
        for (const settings::TreeRoot& root : *t.options.roots)
            if ((platform::PathExists(root.path) || folder::IsDriveRoot(root.path)) && !RootIsShown(root.path))
                added = AddRootFolderItem(root) != nullptr || added;
        return added;
    }
    const HTREEITEM parent = d.item;
    EnumerateChildren(d.idList.Get(), EnumFlags(t.options.showHidden, t.options.showArchives),
                      [&](win::IdList child, SFGAOF attributes) {
                          const std::wstring path =
                              (attributes & SFGAO_FILESYSTEM) ? PathOfIdList(child.Get()) : std::wstring();
                          if (FindChild(parent, child.Get(), path))
                              return;
                          added = AddShellChild(parent, std::move(child), attributes, folder::kShellItem) != nullptr ||
                                  added;
                      });
    return added;
}

namespace {

void FillChildren(ItemData& d) {
    if (d.itemClass != folder::kRootFoldersItem && d.kind == folder::kFileSystemFolder && !d.path.empty() &&
        !platform::PathExists(d.path) && !folder::IsDriveRoot(d.path)) {
        // Still not filled: should the folder come back, a notice gives the item its button again.
        RemoveButton(d.item);
        return;
    }
    d.enumerated = true;
    if (AddMissingChildren(d))
        SortChildren(d.item);
    else
        RemoveButton(d.item);
    Watch(d);
}

} // namespace

void Expand(HTREEITEM item) {
    if (item)
        SendMessageW(g_tree->tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

namespace {

void DeleteItem(HTREEITEM item) {
    HTREEITEM parent = Next(item, TVGN_PARENT);
    SendMessageW(g_tree->tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
    if (parent && !FirstChild(parent))
        if (ItemData* p = DataOfItem(parent))
            if (p->enumerated)
                RemoveButton(parent);
}

} // namespace

void DeleteItemsWhere(const std::function<bool(const ItemData&)>& pick) {
    std::vector<uint64_t> doomed;
    for (HTREEITEM item : AllItems()) {
        TVITEMW tv = {};
        tv.mask = TVIF_PARAM | TVIF_HANDLE;
        tv.hItem = item;
        SendMessageW(g_tree->tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        if (const ItemData* d = DataOf(tv.lParam))
            if (pick(*d))
                doomed.push_back(static_cast<uint64_t>(tv.lParam));
    }
    for (uint64_t serial : doomed)
        if (ItemData* d = DataOf(static_cast<LPARAM>(serial)))
            DeleteItem(d->item);
}

namespace {

// After a switch changed: expanded items list what they now should, the others are checked again.
void Rewalk(int mode) {
    for (HTREEITEM item : AllItems()) {
        ItemData* d = DataOfItem(item);
        if (!d || d->itemClass == folder::kDesktopRoot || d->itemClass == folder::kRootFoldersItem) {
            if (d && d->enumerated && AddMissingChildren(*d))
                SortChildren(item);
            continue;
        }
        if (d->enumerated) {
            if (AddMissingChildren(*d))
                SortChildren(item);
            else if (!FirstChild(item))
                RemoveButton(item);
        } else if (folder::KindHasChildren(d->kind)) {
            PostCheck(*d, mode);
        }
    }
}

} // namespace

// ---- selection and marks -------------------------------------------------------------------------

namespace {

bool ShownIn(const ItemData& d, int pane) {
    const TreeHost& h = g_tree->host;
    return h.paneShows && d.itemClass != folder::kRootFoldersItem && h.paneShows(pane, d.location);
}

} // namespace

void LoadItem(const ItemData& d, int pane) {
    Tree& t = *g_tree;
    if (d.itemClass == folder::kRootFoldersItem || !t.host.navigate)
        return;
    if (d.location.kind != folder::kShellFolder && d.location.path.empty())
        return;
    if (ShownIn(d, pane))
        return;
    auto request = std::make_unique<msg::LocationRequest>(d.location);
    request->pane = pane;
    t.host.navigate(std::move(request));
    InvalidateRect(t.tree, nullptr, FALSE);
}

namespace {

int ChosenPane() {
    const int active = g_tree->host.activePane ? g_tree->host.activePane() & 1 : 0;
    return GetKeyState(VK_SHIFT) < 0 ? active ^ 1 : active;
}

void SelectItem(HTREEITEM item) {
    if (const ItemData* d = DataOfItem(item)) {
        LoadItem(*d, ChosenPane());
        SendMessageW(g_tree->tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    }
}

LRESULT OnSelChanging(const NMTREEVIEWW* nm) {
    if (nm->action != TVC_BYMOUSE && nm->action != TVC_BYKEYBOARD)
        return TRUE;
    SelectItem(nm->itemNew.hItem);
    return FALSE;
}

// A click on the item that was already selected before the press causes no selection change.
void OnClick() {
    Tree& t = *g_tree;
    TVHITTESTINFO hit = {};
    hit.pt = t.pressPoint;
    SendMessageW(t.tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (!hit.hItem || !(hit.flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON)))
        return;
    const HTREEITEM selected = Next(nullptr, TVGN_CARET);
    if (hit.hItem == selected && hit.hItem == t.selectedAtPress)
        SelectItem(hit.hItem);
}

LRESULT OnCustomDraw(NMTVCUSTOMDRAW* cd) {
    Tree& t = *g_tree;
    switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        const ItemData* d = DataOf(cd->nmcd.lItemlParam);
        if (!d)
            return CDRF_DODEFAULT;
        RECT row = cd->nmcd.rc;
        FillRect(cd->nmcd.hdc, &row, GetSysColorBrush(COLOR_WINDOW));
        const folder::RowMark mark = folder::MarkForRow(ShownIn(*d, 0), ShownIn(*d, 1), row.bottom - row.top);
        for (int i = 0; i < mark.bandCount; ++i) {
            RECT band = {row.left, row.top + mark.bands[i].top, row.right,
                         row.top + mark.bands[i].top + mark.bands[i].height};
            win::Brush brush(CreateSolidBrush(mark.bands[i].colour));
            FillRect(cd->nmcd.hdc, &band, brush.Get());
        }
        if (mark.marked) {
            const HTREEITEM drop = Next(nullptr, TVGN_DROPHILITE);
            const HTREEITEM self = reinterpret_cast<HTREEITEM>(cd->nmcd.dwItemSpec);
            if (folder::MarkColoursText(drop == self, drop != nullptr, (cd->nmcd.uItemState & CDIS_SELECTED) != 0,
                                        GetFocus() == t.tree)) {
                cd->clrText = mark.text;
                cd->clrTextBk = mark.background;
            }
        }
        return CDRF_NEWFONT;
    }
    }
    return CDRF_DODEFAULT;
}

LRESULT CALLBACK TreeSubclass(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR);

void RemoveOurSubclass(HWND hwnd) { RemoveWindowSubclass(hwnd, TreeSubclass, kTreeSubclassId); }

// The tree forgets the control: its items are gone with it.
void Detach() {
    Tree& t = *g_tree;
    if (t.tree)
        RemovePropW(t.tree, kFilledProperty);
    Deregister();
    Unwatch(std::wstring());
    if (t.tree) {
        RemoveOurSubclass(t.tree);
        DrainReplies(t.tree);
    }
    t.items.clear();
    t.tree = nullptr;
    t.desktop = t.rootsItem = nullptr;
    t.selectedAtPress = nullptr;
}

LRESULT CALLBACK TreeSubclass(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    switch (message) {
    case msg::kTreeCheckDone: {
        std::unique_ptr<CheckResult> r(reinterpret_cast<CheckResult*>(lp));
        if (g_tree && g_tree->tree == hwnd)
            OnCheckDone(std::move(r));
        return 0;
    }
    case msg::kTreeShellChange:
        if (g_tree && g_tree->tree == hwnd)
            OnShellChange(wp, lp);
        return 0;
    case msg::kTreeFolderChanged: {
        std::unique_ptr<std::wstring> path(reinterpret_cast<std::wstring*>(lp));
        if (g_tree && g_tree->tree == hwnd && path)
            OnFolderChanged(*path);
        return 0;
    }
    case WM_RBUTTONDOWN:
        if (g_tree && g_tree->tree == hwnd)
            g_tree->rightPressPoint = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        break;
    case WM_LBUTTONDOWN:
        if (g_tree && g_tree->tree == hwnd) {
            g_tree->selectedAtPress = Next(nullptr, TVGN_CARET);
            g_tree->pressPoint = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        }
        break;
    case WM_NCDESTROY: {
        // Answers still queued for the control would be lost with their records.
        DrainReplies(hwnd);
        if (g_tree && g_tree->tree == hwnd) {
            Deregister();
            Unwatch(std::wstring());
            g_tree->items.clear();
            g_tree->tree = nullptr;
            g_tree->desktop = g_tree->rootsItem = nullptr;
        }
        RemovePropW(hwnd, kFilledProperty);
        RemoveOurSubclass(hwnd);
        break;
    }
    }
    return DefSubclassProc(hwnd, message, wp, lp);
}

} // namespace

void LoadTreeItem(HTREEITEM item, int pane) {
    if (const ItemData* d = g_tree ? DataOfItem(item) : nullptr)
        LoadItem(*d, pane & 1);
}

HTREEITEM TargetOr(HTREEITEM item) { return item ? item : Next(nullptr, TVGN_CARET); }

bool StartShellTree() {
    if (g_tree)
        return true;
    g_tree = new Tree;
    Tree& t = *g_tree;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    t.watchFolders = ntdll && GetProcAddress(ntdll, "wine_get_version");
    return StartWorker(t);
}

void StopShellTree() {
    if (!g_tree)
        return;
    Tree& t = *g_tree;
    t.worker.RequestStop();
    CancelChecks();
    HWND control = t.tree;
    if (t.tree) {
        SendMessageW(t.tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        Detach();
    }
    t.options.pluginExtensions.clear();
    t.worker.Stop(kWorkerStopMs);
    // A check that was under way when the stop came may have answered since.
    if (control && IsWindow(control))
        DrainReplies(control);
    delete g_tree;
    g_tree = nullptr;
}

HWND ShellTreeWindow() { return g_tree ? g_tree->tree : nullptr; }

bool CreateRoots(HWND treeView, const TreeOptions& options, TreeHost host) {
    return BindRoots(treeView, options, std::move(host)) && FillRoots();
}

bool BindRoots(HWND treeView, const TreeOptions& options, TreeHost host) {
    if (!g_tree || !treeView)
        return false;
    Tree& t = *g_tree;
    if (t.tree)
        Detach();
    t.tree = treeView;
    t.options = options;
    t.host = std::move(host);
    t.filled = false;
    SetWindowSubclass(treeView, TreeSubclass, kTreeSubclassId, 0);
    PostPrepareIcons();
    return true;
}

bool RootsFilled() { return g_tree && g_tree->tree && g_tree->filled; }

namespace {

bool InsertRoots() {
    Tree& t = *g_tree;
    HWND treeView = t.tree;

    win::IdList desktop;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, desktop.Out())) || !desktop)
        return false;
    SHFILEINFOW sfi = {};
    HIMAGELIST system = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(
        reinterpret_cast<LPCWSTR>(desktop.Get()), 0, &sfi, sizeof sfi, SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (system)
        SendMessageW(treeView, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(system));
    const IconPair desktopIcons = IconsOf(desktop.Get());
    auto root = std::make_unique<ItemData>();
    root->itemClass = folder::kDesktopRoot;
    root->kind = folder::kShellFolder;
    wchar_t desktopFolder[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktopFolder)))
        root->watchPath = desktopFolder;
    root->idList = std::move(desktop);
    t.desktop = InsertItem(nullptr, std::move(root), desktopIcons.name, desktopIcons.normal, desktopIcons.open, true);

    if (t.options.roots) {
        win::IdList favourites;
        IconPair icons;
        if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_FAVORITES, favourites.Out())) && favourites)
            icons = IconsOf(favourites.Get());
        auto roots = std::make_unique<ItemData>();
        roots->itemClass = folder::kRootFoldersItem;
        roots->kind = folder::kShellFolder;
        t.rootsItem = InsertItem(nullptr, std::move(roots), t.options.rootFoldersCaption, icons.normal, icons.open,
                                 !t.options.roots->empty());
    }
    if (t.options.expandDesktop)
        Expand(t.desktop);
    bool expandSome = false;
    if (t.options.roots)
        for (const settings::TreeRoot& r : *t.options.roots)
            expandSome = expandSome || (r.flags & folder::kRootExpandAtStart);
    if (t.rootsItem && (t.options.expandRootFolders || expandSome)) {
        Expand(t.rootsItem);
        for (HTREEITEM c = FirstChild(t.rootsItem); c; c = Next(c, TVGN_NEXT)) {
            const ItemData* d = DataOfItem(c);
            const int at = d ? folder::FindRootFolder(*t.options.roots, d->path) : -1;
            if (at >= 0 && ((*t.options.roots)[static_cast<size_t>(at)].flags & folder::kRootExpandAtStart))
                Expand(c);
        }
    }
    RegisterChanges();
    return t.desktop != nullptr;
}

} // namespace

bool FillRoots() {
    if (!g_tree || !g_tree->tree)
        return false;
    Tree& t = *g_tree;
    if (t.filled)
        return t.desktop != nullptr;
    t.filled = true;
    const bool inserted = InsertRoots();
    MarkIfSettled();
    return inserted;
}

LRESULT OnTreeNotify(const NMHDR* hdr, bool* handled) {
    *handled = false;
    if (!g_tree || !hdr || hdr->hwndFrom != g_tree->tree)
        return 0;
    switch (hdr->code) {
    case TVN_ITEMEXPANDINGW: {
        const NMTREEVIEWW* nm = reinterpret_cast<const NMTREEVIEWW*>(hdr);
        *handled = true;
        if ((nm->action & TVE_EXPAND) == TVE_EXPAND)
            if (ItemData* d = DataOf(nm->itemNew.lParam))
                if (!d->enumerated)
                    FillChildren(*d);
        return FALSE;
    }
    case TVN_SELCHANGINGW:
        *handled = true;
        return OnSelChanging(reinterpret_cast<const NMTREEVIEWW*>(hdr));
    case NM_CLICK:
        OnClick();
        return 0;
    case NM_RCLICK: {
        // The menu is about the item that was pressed, wherever the pointer is by now.
        POINT at = g_tree->rightPressPoint;
        ClientToScreen(g_tree->tree, &at);
        *handled = true;
        ShowTreeMenu(GetParent(g_tree->tree), at);
        return TRUE;
    }
    case NM_CUSTOMDRAW:
        *handled = true;
        return OnCustomDraw(reinterpret_cast<NMTVCUSTOMDRAW*>(const_cast<NMHDR*>(hdr)));
    case TVN_DELETEITEMW: {
        const NMTREEVIEWW* nm = reinterpret_cast<const NMTREEVIEWW*>(hdr);
        if (const ItemData* d = DataOf(nm->itemOld.lParam))
            if (d->enumerated && !d->watchPath.empty())
                Unwatch(d->watchPath);
        g_tree->items.erase(static_cast<uint64_t>(nm->itemOld.lParam));
        if (nm->itemOld.hItem == g_tree->desktop)
            g_tree->desktop = nullptr;
        if (nm->itemOld.hItem == g_tree->rootsItem)
            g_tree->rootsItem = nullptr;
        *handled = true;
        return 0;
    }
    }
    return 0;
}

namespace {

void ApplyShowSwitch(bool TreeOptions::*option, bool show, const std::function<bool(const ItemData&)>& hidden) {
    if (!g_tree || g_tree->options.*option == show)
        return;
    Tree& t = *g_tree;
    t.options.*option = show;
    if (!t.tree)
        return;
    CancelChecks();
    if (show) {
        Rewalk(1);
        return;
    }
    DeleteItemsWhere(hidden);
    Rewalk(0);
}

} // namespace

void SetShowHidden(bool show) {
    ApplyShowSwitch(&TreeOptions::showHidden, show, [](const ItemData& d) {
        return d.itemClass == folder::kShellItem && (d.attributes & SFGAO_HIDDEN);
    });
}

void SetShowArchives(bool show) {
    ApplyShowSwitch(&TreeOptions::showArchives, show, [](const ItemData& d) {
        return d.itemClass == folder::kShellItem && folder::IsArchiveKind(d.kind);
    });
}

void SetArchiveExtensions(const std::vector<std::wstring>& extensions) {
    if (!g_tree)
        return;
    Tree& t = *g_tree;
    t.options.pluginExtensions = extensions;
    if (!t.tree || !t.options.showArchives)
        return;
    CancelChecks();
    DeleteItemsWhere([](const ItemData& d) { return d.itemClass == folder::kShellItem && folder::IsArchiveKind(d.kind); });
    Rewalk(1);
}

void ShellTreePaneChanged(int) {
    if (g_tree && g_tree->tree)
        InvalidateRect(g_tree->tree, nullptr, FALSE);
}

folder::ArchiveRules ArchiveRulesNow() { return g_tree ? RulesOf(g_tree->options) : folder::ArchiveRules(); }

int SelectedKind() {
    if (!g_tree || !g_tree->tree)
        return 1;
    const ItemData* d = DataOfItem(Next(nullptr, TVGN_CARET));
    return d ? d->kind : 1;
}

std::wstring SelectedRootFolder() {
    if (!g_tree || !g_tree->tree)
        return std::wstring();
    const ItemData* d = DataOfItem(Next(nullptr, TVGN_CARET));
    return d && d->itemClass == folder::kRootFolder ? d->path : std::wstring();
}

bool SelectedPath(std::wstring* path) {
    if (!g_tree || !g_tree->tree)
        return false;
    const ItemData* d = DataOfItem(Next(nullptr, TVGN_CARET));
    if (!d || d->itemClass == folder::kRootFoldersItem || d->itemClass == folder::kDesktopRoot || d->path.empty())
        return false;
    *path = d->path;
    return true;
}

std::unique_ptr<msg::LocationRequest> MakeShellLocationRequest(PCIDLIST_ABSOLUTE idList, const std::wstring& text,
                                                               int pane) {
    auto request = std::make_unique<msg::LocationRequest>();
    request->kind = folder::kShellFolder;
    if (idList) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(idList);
        request->idList.assign(bytes, bytes + ILGetSize(idList));
    }
    request->path = text.substr(0, 260);
    request->pane = pane;
    return request;
}

namespace {

// Whether `bytes` hold exactly one item-ID list: every item's size within the bytes, the zero size
// that ends the list at their end. Only such bytes are handed to the shell.
bool IsIdList(const std::vector<uint8_t>& bytes) {
    size_t at = 0;
    while (2 <= bytes.size() - at) {
        const size_t cb = static_cast<size_t>(bytes[at]) | static_cast<size_t>(bytes[at + 1]) << 8;
        if (cb == 0)
            return at + 2 == bytes.size();
        if (cb < 2 || cb > bytes.size() - at)
            return false;
        at += cb;
    }
    return false;
}

} // namespace

bool SameShellFolder(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (!IsIdList(a) || !IsIdList(b))
        return false;
    if (a == b)
        return true;
    // The shell's own equality: it asks the folders along the lists, not their bytes.
    return ILIsEqual(reinterpret_cast<PCIDLIST_ABSOLUTE>(a.data()), reinterpret_cast<PCIDLIST_ABSOLUTE>(b.data())) !=
           FALSE;
}

bool LocationShows(const folder::PaneLocation& shown, const msg::LocationRequest& wanted) {
    if (!shown.valid || shown.kind != wanted.kind)
        return false;
    if (shown.kind == folder::kShellFolder)
        return SameShellFolder(shown.idList, wanted.idList);
    return paths::EqualFold(shown.path, wanted.path);
}

bool ItemFactsOf(HTREEITEM item, ItemFacts* facts) {
    const ItemData* d = DataOfItem(item);
    if (!d)
        return false;
    facts->itemClass = d->itemClass;
    facts->kind = d->kind;
    facts->hasButton = HasButton(item);
    facts->enumerated = d->enumerated;
    facts->text = ItemText(item);
    facts->path = d->path;
    return true;
}

HTREEITEM DesktopRoot() { return g_tree ? g_tree->desktop : nullptr; }
HTREEITEM RootFoldersItem() { return g_tree ? g_tree->rootsItem : nullptr; }
int PendingChecks() { return g_tree ? g_tree->pending : 0; }

} // namespace shelltree
