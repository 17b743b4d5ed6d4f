#include "folder/shell_tree_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <atomic>
#include <unordered_map>
#include <utility>

#include "app/language_win.h"
#include "app/path_compare.h"
#include "app/program_win.h"
#include "common/platform.h"
#include "common/scoped_win.h"
#include "folder/names.h"
#include "folder/pane_location.h"
#include "folder/shell_tree_rules.h"
#include "ui/main_window_win.h"
#include "ui/menus_win.h"
#include "ui/browse_pane_win.h"

namespace shelltree {

namespace {

const wchar_t kWorkerClass[] = L"shell_msg_class";
constexpr UINT_PTR kTreeSubclassId = 7;
constexpr DWORD kWorkerStopMs = 500;
// SHCNE_RENAMEITEM | CREATE | DELETE | MKDIR | RMDIR | DRIVEREMOVED | DRIVEADD | UPDATEDIR | RENAMEFOLDER.
constexpr LONG kShellEvents = 0x2119F;
constexpr SFGAOF kChildAttributes =
    SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_STREAM | SFGAO_SHARE | SFGAO_GHOSTED | SFGAO_HIDDEN;

// An item-ID list owned with the shell allocator.
class IdList {
  public:
    IdList() = default;
    explicit IdList(PIDLIST_ABSOLUTE p) : p_(p) {}
    ~IdList() { CoTaskMemFree(p_); }
    IdList(const IdList&) = delete;
    IdList& operator=(const IdList&) = delete;
    IdList(IdList&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    IdList& operator=(IdList&& other) noexcept {
        if (this != &other) {
            CoTaskMemFree(p_);
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    PIDLIST_ABSOLUTE Get() const { return p_; }
    PIDLIST_ABSOLUTE* Out() {
        CoTaskMemFree(p_);
        p_ = nullptr;
        return &p_;
    }
    explicit operator bool() const { return p_ != nullptr; }
    IdList Clone() const { return IdList(p_ ? ILClone(p_) : nullptr); }

  private:
    PIDLIST_ABSOLUTE p_ = nullptr;
};

// A popup menu, destroyed with its owner.
class Menu {
  public:
    explicit Menu(HMENU m) : m_(m) {}
    ~Menu() {
        if (m_)
            DestroyMenu(m_);
    }
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;
    HMENU Get() const { return m_; }

  private:
    HMENU m_;
};

struct ItemData {
    int32_t itemClass = folder::kShellItem;
    folder::LocationKind kind = folder::kFileSystemFolder;
    IdList idList;
    std::wstring path; // file-system path; empty for virtual folders
    uint32_t attributes = 0;
    bool enumerated = false;
    HTREEITEM item = nullptr;
    uint64_t serial = 0; // the item's lParam
    std::wstring watchPath; // the folder whose changes concern this item's children
    msg::LocationRequest location; // what this item loads as; pane unset
};

// One children check for the worker; it carries its own copy of everything it needs.
struct CheckRequest {
    uint64_t serial = 0;
    uint32_t generation = 0;
    folder::LocationKind kind = folder::kFileSystemFolder;
    int mode = 0; // 1 only add a button, 0 only remove one
    IdList idList;
    std::wstring path;
    folder::ArchiveRules rules;
    bool showHidden = false;
    HWND reply = nullptr;
};

struct CheckResult {
    uint64_t serial = 0;
    uint32_t generation = 0;
    int mode = 0;
    bool hasChildren = false;
};

struct WatchSet;

struct Tree {
    HWND tree = nullptr;
    HTREEITEM desktop = nullptr;
    HTREEITEM rootsItem = nullptr;
    TreeOptions options;
    TreeHost host;
    ULONG notifyId = 0;
    std::unordered_map<uint64_t, std::unique_ptr<ItemData>> items;
    uint64_t nextSerial = 1;
    HTREEITEM selectedAtPress = nullptr;
    POINT pressPoint = {0, 0};      // client coordinates of the last left press
    POINT rightPressPoint = {0, 0}; // and of the last right press
    int pending = 0;

    // Wine's shell tells only the process that made a change; there the worker watches the
    // expanded folders itself.
    bool watchFolders = false;

    win::Handle thread;
    win::Handle ready; // set once the worker's window exists (or the worker gave up)
    std::atomic<HWND> worker{nullptr};
    std::atomic<bool> stop{false};
    std::atomic<uint32_t> generation{1};
    WatchSet* watchSet = nullptr; // the worker's own
};

Tree* g_tree = nullptr;

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

// The folder of an item-ID list; the desktop itself for the empty list, nothing for none.
bool BindFolder(PCIDLIST_ABSOLUTE pidl, win::ComPtr<IShellFolder>& folderOut) {
    win::ComPtr<IShellFolder> desktop;
    if (!pidl || FAILED(SHGetDesktopFolder(desktop.Out())))
        return false;
    if (ILIsEmpty(pidl))
        return SUCCEEDED(desktop->QueryInterface(IID_IShellFolder, reinterpret_cast<void**>(folderOut.Out())));
    return SUCCEEDED(desktop->BindToObject(pidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(folderOut.Out())));
}

std::wstring ParentPath(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos || slash + 1 == path.size())
        return std::wstring();
    std::wstring parent = path.substr(0, slash);
    if (parent.size() == 2 && parent[1] == L':')
        parent += L'\\';
    return parent;
}

// ---- the worker ----------------------------------------------------------------------------------

// Folder watches of the worker (touched on the worker thread only).
struct FolderWatch {
    std::wstring path;
    HANDLE handle = INVALID_HANDLE_VALUE;
    int uses = 1; // a folder can be shown twice, as a root folder and inside its parent
};
struct WatchSet {
    std::vector<FolderWatch> watches;
    std::vector<std::wstring> changed; // reported after a quiet moment, once each
    DWORD deadline = 0;
    HWND reply = nullptr;
};
constexpr size_t kMaxWatches = MAXIMUM_WAIT_OBJECTS - 1;
constexpr DWORD kWatchQuietMs = 150;

struct WatchRequest {
    std::wstring path;
    HWND reply = nullptr;
};

void AddWatch(WatchSet& set, const WatchRequest& r) {
    set.reply = r.reply;
    for (FolderWatch& w : set.watches)
        if (folder::PathsEqual(w.path, r.path)) {
            ++w.uses;
            return;
        }
    if (set.watches.size() >= kMaxWatches)
        return;
    HANDLE h = FindFirstChangeNotificationW(r.path.c_str(), FALSE,
                                            FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_FILE_NAME);
    if (h != INVALID_HANDLE_VALUE)
        set.watches.push_back({r.path, h, 1});
}

void RemoveWatch(WatchSet& set, const std::wstring& path) {
    for (size_t i = 0; i < set.watches.size(); ++i)
        if (folder::PathsEqual(set.watches[i].path, path)) {
            if (--set.watches[i].uses > 0)
                return;
            FindCloseChangeNotification(set.watches[i].handle);
            set.watches.erase(set.watches.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
}

void RemoveAllWatches(WatchSet& set) {
    for (const FolderWatch& w : set.watches)
        FindCloseChangeNotification(w.handle);
    set.watches.clear();
    set.changed.clear();
}

void ReportChanges(WatchSet& set) {
    for (const std::wstring& path : set.changed) {
        auto copy = std::make_unique<std::wstring>(path);
        if (PostMessageW(set.reply, kTreeFolderChanged, 0, reinterpret_cast<LPARAM>(copy.get())))
            copy.release();
    }
    set.changed.clear();
}

bool FolderHasChildren(const CheckRequest& r, const std::atomic<bool>& stop) {
    if (r.path.empty() || !platform::PathExists(r.path) || folder::IsDriveRoot(r.path))
        return true;
    win::ComPtr<IShellFolder> shellFolder;
    if (!BindFolder(r.idList.Get(), shellFolder))
        return false;
    win::ComPtr<IEnumIDList> children;
    if (shellFolder->EnumObjects(nullptr, EnumFlags(r.showHidden, r.rules.showArchives), children.Out()) != S_OK ||
        !children)
        return false;
    PITEMID_CHILD child = nullptr;
    ULONG fetched = 0;
    bool found = false;
    while (!found && !stop.load() && children->Next(1, &child, &fetched) == S_OK && fetched == 1) {
        SFGAOF attributes = SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_STREAM;
        PCUITEMID_CHILD one = child;
        if (SUCCEEDED(shellFolder->GetAttributesOf(1, &one, &attributes))) {
            std::wstring name;
            STRRET ret = {};
            wchar_t* text = nullptr;
            if (SUCCEEDED(shellFolder->GetDisplayNameOf(child, SHGDN_INFOLDER | SHGDN_FORPARSING, &ret)) &&
                SUCCEEDED(StrRetToStrW(&ret, child, &text))) {
                name = text;
                CoTaskMemFree(text);
            }
            found = folder::ClassifyChild(attributes, name, r.rules) != folder::kSkipChild;
        }
        CoTaskMemFree(child);
    }
    return found;
}

bool VirtualFolderHasChildren(const CheckRequest& r) {
    win::ComPtr<IShellFolder> parent;
    PCUITEMID_CHILD last = nullptr;
    if (!r.idList || FAILED(SHBindToParent(r.idList.Get(), IID_IShellFolder, reinterpret_cast<void**>(parent.Out()), &last)))
        return true;
    SFGAOF attributes = SFGAO_HASSUBFOLDER;
    if (FAILED(parent->GetAttributesOf(1, &last, &attributes)))
        return true;
    return (attributes & SFGAO_HASSUBFOLDER) != 0;
}

void RunCheck(std::unique_ptr<CheckRequest> r, const std::atomic<bool>& stop, const std::atomic<uint32_t>& generation) {
    if (stop.load() || r->generation != generation.load())
        return;
    auto result = std::make_unique<CheckResult>();
    result->serial = r->serial;
    result->generation = r->generation;
    result->mode = r->mode;
    if (r->kind == 0)
        result->hasChildren = FolderHasChildren(*r, stop);
    else if (r->kind == 1)
        result->hasChildren = VirtualFolderHasChildren(*r);
    if (stop.load())
        return;
    if (PostMessageW(r->reply, kTreeCheckDone, 0, reinterpret_cast<LPARAM>(result.get())))
        result.release();
}

// Queued checks older than `generation` go unanswered; their records are freed here. Checks the tree
// posted after the cancel (it rewalks at once) wait in the same queue and are posted again, or the
// tree would wait for their answers forever. With `all`, everything queued goes, watch requests too
// (the window is going).
void DropQueuedChecks(HWND hwnd, uint32_t generation, bool all = false) {
    std::vector<CheckRequest*> current;
    MSG m;
    while (PeekMessageW(&m, hwnd, kTreeCheck, all ? kTreeUnwatch : kTreeCheck, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (m.message == kTreeCheck) {
            auto* r = reinterpret_cast<CheckRequest*>(m.lParam);
            if (!all && static_cast<int32_t>(r->generation - generation) >= 0)
                current.push_back(r);
            else
                delete r;
        } else if (m.message == kTreeWatch) {
            delete reinterpret_cast<WatchRequest*>(m.lParam);
        } else if (m.message == kTreeUnwatch) {
            delete reinterpret_cast<std::wstring*>(m.lParam);
        }
    }
    for (CheckRequest* r : current)
        if (!PostMessageW(hwnd, kTreeCheck, 0, reinterpret_cast<LPARAM>(r)))
            delete r;
}

LRESULT CALLBACK WorkerProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    Tree* t = reinterpret_cast<Tree*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        break;
    case kTreeCheck: {
        std::unique_ptr<CheckRequest> r(reinterpret_cast<CheckRequest*>(lp));
        if (t)
            RunCheck(std::move(r), t->stop, t->generation);
        return 0;
    }
    case kTreeCancel:
        DropQueuedChecks(hwnd, static_cast<uint32_t>(wp));
        return 0;
    case kTreeWatch: {
        std::unique_ptr<WatchRequest> r(reinterpret_cast<WatchRequest*>(lp));
        if (t && t->watchSet)
            AddWatch(*t->watchSet, *r);
        return 0;
    }
    case kTreeUnwatch: {
        std::unique_ptr<std::wstring> path(reinterpret_cast<std::wstring*>(lp));
        if (t && t->watchSet) {
            if (path)
                RemoveWatch(*t->watchSet, *path);
            else
                RemoveAllWatches(*t->watchSet);
        }
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        DropQueuedChecks(hwnd, 0, true);
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

unsigned __stdcall WorkerThread(void* arg) {
    Tree* t = static_cast<Tree*>(arg);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WorkerProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWorkerClass;
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, kWorkerClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, t);
    t->worker.store(hwnd);
    SetEvent(t->ready.Get());
    WatchSet watches;
    t->watchSet = &watches;
    bool running = hwnd != nullptr;
    while (running) {
        std::vector<HANDLE> handles;
        for (const FolderWatch& w : watches.watches)
            handles.push_back(w.handle);
        DWORD wait = INFINITE;
        if (!watches.changed.empty()) {
            const DWORD now = GetTickCount();
            wait = static_cast<int32_t>(watches.deadline - now) > 0 ? watches.deadline - now : 0;
        }
        const DWORD r = MsgWaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, wait,
                                                  QS_ALLINPUT);
        if (r < WAIT_OBJECT_0 + handles.size()) {
            FolderWatch& w = watches.watches[r - WAIT_OBJECT_0];
            FindNextChangeNotification(w.handle);
            bool known = false;
            for (const std::wstring& c : watches.changed)
                known = known || folder::PathsEqual(c, w.path);
            if (!known)
                watches.changed.push_back(w.path);
            watches.deadline = GetTickCount() + kWatchQuietMs;
            continue;
        }
        if (r == WAIT_TIMEOUT) {
            if (!t->stop.load())
                ReportChanges(watches);
            watches.changed.clear();
            continue;
        }
        MSG m;
        while (running && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                running = false;
                break;
            }
            DispatchMessageW(&m);
            // At teardown the queued checks are not worth waiting for: the window goes at once.
            if (t->stop.load() && IsWindow(hwnd))
                DestroyWindow(hwnd);
        }
    }
    RemoveAllWatches(watches);
    t->watchSet = nullptr;
    UnregisterClassW(kWorkerClass, instance);
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
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

// Every item of the tree, parents before their children.
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

void PostCheck(ItemData& d, int mode) {
    Tree& t = *g_tree;
    HWND worker = t.worker.load();
    if (!worker || t.stop.load() || !folder::KindHasChildren(d.kind))
        return;
    auto r = std::make_unique<CheckRequest>();
    r->serial = d.serial;
    r->generation = t.generation.load();
    r->kind = d.kind;
    r->mode = mode;
    r->idList = d.idList.Clone();
    r->path = d.path;
    r->rules = RulesOf(t.options);
    r->showHidden = t.options.showHidden;
    r->reply = t.tree;
    if (PostMessageW(worker, kTreeCheck, 0, reinterpret_cast<LPARAM>(r.get()))) {
        r.release();
        ++t.pending;
    }
}

void Watch(const ItemData& d) {
    Tree& t = *g_tree;
    HWND worker = t.worker.load();
    if (!t.watchFolders || !worker || d.watchPath.empty())
        return;
    auto r = std::make_unique<WatchRequest>();
    r->path = d.watchPath;
    r->reply = t.tree;
    if (PostMessageW(worker, kTreeWatch, 0, reinterpret_cast<LPARAM>(r.get())))
        r.release();
}

// An empty path ends every watch.
void Unwatch(const std::wstring& path) {
    Tree& t = *g_tree;
    HWND worker = t.worker.load();
    if (!t.watchFolders || !worker)
        return;
    std::unique_ptr<std::wstring> copy(path.empty() ? nullptr : new std::wstring(path));
    if (PostMessageW(worker, kTreeUnwatch, 0, reinterpret_cast<LPARAM>(copy.get())))
        copy.release();
}

void OnCheckDone(std::unique_ptr<CheckResult> r) {
    Tree& t = *g_tree;
    if (r->generation != t.generation.load())
        return;
    if (t.pending > 0)
        --t.pending;
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

bool SameItem(const ItemData& d, PCIDLIST_ABSOLUTE pidl, const std::wstring& path) {
    if (!d.path.empty() || !path.empty())
        return !d.path.empty() && folder::PathsEqual(d.path, path);
    return d.idList && pidl && ILIsEqual(d.idList.Get(), pidl);
}

// Whether the item lists the folder `pidl` (file-system `path`) names; the desktop root lists the
// namespace's root and the user's desktop folder.
bool IsFolderOf(const ItemData& d, PCIDLIST_ABSOLUTE pidl, const std::wstring& path) {
    if (d.itemClass == folder::kDesktopRoot)
        return (pidl && ILIsEmpty(pidl)) || (!path.empty() && folder::PathsEqual(d.watchPath, path));
    return SameItem(d, pidl, path);
}

HTREEITEM FindChild(HTREEITEM parent, PCIDLIST_ABSOLUTE pidl, const std::wstring& path) {
    for (HTREEITEM c = FirstChild(parent); c; c = Next(c, TVGN_NEXT))
        if (const ItemData* d = DataOfItem(c))
            if (SameItem(*d, pidl, path))
                return c;
    return nullptr;
}

// Classifies one child (absolute list, taken) and adds it under `parent`; null when skipped.
HTREEITEM AddShellChild(HTREEITEM parent, IdList child, SFGAOF attributes, int32_t itemClass,
                        HTREEITEM insertAfter = TVI_LAST) {
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
        IdList absolute(ILCombine(pidl, child));
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

// The sibling after which a new child of `parent` keeps the children sorted (TVI_FIRST for none):
// the parent folder's order for shell children, the list order for root folders.
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

HTREEITEM AddRootFolderItem(const settings::TreeRoot& root, HTREEITEM insertAfter = TVI_LAST) {
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
    d->watchPath = kind == 0 ? root.path : std::wstring();
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
            if (folder::PathsEqual(d->path, path))
                return true;
    return false;
}

// Adds the children the item's folder has and the tree lacks; true when any was added.
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
                      [&](IdList child, SFGAOF attributes) {
                          const std::wstring path =
                              (attributes & SFGAO_FILESYSTEM) ? PathOfIdList(child.Get()) : std::wstring();
                          if (FindChild(parent, child.Get(), path))
                              return;
                          added = AddShellChild(parent, std::move(child), attributes, folder::kShellItem) != nullptr ||
                                  added;
                      });
    return added;
}

void FillChildren(ItemData& d) {
    if (d.itemClass != folder::kRootFoldersItem && d.kind == 0 && !d.path.empty() &&
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

// A watched folder's entries changed: its item lists what the folder holds now.
void OnFolderChanged(const std::wstring& path) {
    for (HTREEITEM item : AllItems()) {
        ItemData* d = DataOfItem(item);
        if (!d || !d->enumerated || !folder::PathsEqual(d->watchPath, path))
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

void Expand(HTREEITEM item) {
    if (item)
        SendMessageW(g_tree->tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

void DeleteItem(HTREEITEM item) {
    HTREEITEM parent = Next(item, TVGN_PARENT);
    SendMessageW(g_tree->tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
    if (parent && !FirstChild(parent))
        if (ItemData* p = DataOfItem(parent))
            if (p->enumerated)
                RemoveButton(parent);
}

// Deletes every item the test picks; descendants of a deleted item go with it.
template <typename Pick>
void DeleteItemsWhere(Pick pick) {
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

void CancelChecks() {
    Tree& t = *g_tree;
    const uint32_t generation = t.generation.fetch_add(1) + 1;
    t.pending = 0;
    if (HWND worker = t.worker.load())
        PostMessageW(worker, kTreeCancel, generation, 0);
}

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

// ---- selection and marks -------------------------------------------------------------------------

bool ShownIn(const ItemData& d, int pane) {
    const TreeHost& h = g_tree->host;
    return h.paneShows && d.itemClass != folder::kRootFoldersItem && h.paneShows(pane, d.location);
}

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

// ---- shell changes -------------------------------------------------------------------------------

// A list from a notification, as a fresh list of our own: the shell's simple lists for paths lack
// the attributes a real parse gives.
IdList FreshList(PCIDLIST_ABSOLUTE pidl, std::wstring* path) {
    *path = PathOfIdList(pidl);
    IdList fresh;
    if (!path->empty()) {
        if (SUCCEEDED(SHParseDisplayName(path->c_str(), nullptr, fresh.Out(), 0, nullptr)) && fresh)
            return fresh;
        return IdList();
    }
    return IdList(pidl ? ILClone(pidl) : nullptr);
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
    IdList child = FreshList(eventList, &path);
    if (!child)
        return;
    SFGAOF attributes = 0;
    if (!AttributesOf(child.Get(), &attributes))
        return;
    if ((attributes & SFGAO_HIDDEN) && !t.options.showHidden)
        return;
    const std::wstring parentPath = path.empty() ? std::wstring() : ParentPath(path);
    IdList parentList = child.Clone();
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
    const std::wstring parentPath = ParentPath(path);
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
    IdList desktop;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, desktop.Out())))
        return;
    SHChangeNotifyEntry entry = {desktop.Get(), TRUE};
    t.notifyId = SHChangeNotifyRegister(t.tree, SHCNRF_ShellLevel | SHCNRF_NewDelivery, kShellEvents, kTreeShellChange,
                                        1, &entry);
}

// Answers the worker posted to the control and nobody will read; their records are freed here.
void DrainReplies(HWND hwnd) {
    MSG m;
    while (hwnd && PeekMessageW(&m, hwnd, kTreeCheckDone, kTreeFolderChanged, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            return;
        }
        if (m.message == kTreeCheckDone)
            delete reinterpret_cast<CheckResult*>(m.lParam);
        else
            delete reinterpret_cast<std::wstring*>(m.lParam);
    }
}

LRESULT CALLBACK TreeSubclass(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR);

void RemoveOurSubclass(HWND hwnd) { RemoveWindowSubclass(hwnd, TreeSubclass, kTreeSubclassId); }

// The tree forgets the control: its items are gone with it.
void Detach() {
    Tree& t = *g_tree;
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
    case kTreeCheckDone: {
        std::unique_ptr<CheckResult> r(reinterpret_cast<CheckResult*>(lp));
        if (g_tree && g_tree->tree == hwnd)
            OnCheckDone(std::move(r));
        return 0;
    }
    case kTreeShellChange:
        if (g_tree && g_tree->tree == hwnd)
            OnShellChange(wp, lp);
        return 0;
    case kTreeFolderChanged: {
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
        RemoveOurSubclass(hwnd);
        break;
    }
    }
    return DefSubclassProc(hwnd, message, wp, lp);
}

HTREEITEM TargetOr(HTREEITEM item) { return item ? item : Next(nullptr, TVGN_CARET); }

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

std::wstring Caption(int id) { return lang::Text(static_cast<UINT>(id)) + lang::Text(static_cast<UINT>(id + 10000)); }

void AddMenuItem(HMENU menu, int id, bool enabled, bool checked) {
    const std::wstring text = Caption(id);
    AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED) | (checked ? MF_CHECKED : MF_UNCHECKED),
                static_cast<UINT_PTR>(id), text.empty() ? L"?" : text.c_str());
}

void AddMenuSeparator(HMENU menu) { AppendMenuW(menu, MF_SEPARATOR, 9900, nullptr); }

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

bool StartShellTree() {
    if (g_tree)
        return true;
    g_tree = new Tree;
    Tree& t = *g_tree;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    t.watchFolders = ntdll && GetProcAddress(ntdll, "wine_get_version");
    t.ready.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    unsigned id = 0;
    t.thread.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WorkerThread, &t, 0, &id)));
    if (!t.thread)
        return false;
    WaitForSingleObject(t.ready.Get(), 5000);
    return t.worker.load() != nullptr;
}

void StopShellTree() {
    if (!g_tree)
        return;
    Tree& t = *g_tree;
    t.stop.store(true);
    CancelChecks();
    HWND control = t.tree;
    if (t.tree) {
        SendMessageW(t.tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        Detach();
    }
    t.options.pluginExtensions.clear();
    if (HWND worker = t.worker.load())
        PostMessageW(worker, WM_CLOSE, 0, 0);
    if (t.thread && WaitForSingleObject(t.thread.Get(), kWorkerStopMs) == WAIT_TIMEOUT)
        TerminateThread(t.thread.Get(), 259);
    t.thread.Reset();
    // A check that was under way when the stop came may have answered since.
    if (control && IsWindow(control))
        DrainReplies(control);
    delete g_tree;
    g_tree = nullptr;
}

HWND ShellTreeWindow() { return g_tree ? g_tree->tree : nullptr; }

bool CreateRoots(HWND treeView, const TreeOptions& options, TreeHost host) {
    if (!g_tree || !treeView)
        return false;
    Tree& t = *g_tree;
    if (t.tree)
        Detach();
    t.tree = treeView;
    t.options = options;
    t.host = std::move(host);
    SetWindowSubclass(treeView, TreeSubclass, kTreeSubclassId, 0);

    IdList desktop;
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
        IdList favourites;
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

TreeHost ProgramHost() {
    TreeHost host;
    host.activePane = [] { return app::TheProgram().settings.activePane & 1; };
    host.paneShows = [](int pane, const msg::LocationRequest& location) {
        ui::MainWindow* w = ui::TheMainWindow();
        return w && ui::PaneShowsLocation(w->panes[pane & 1], location.kind, location.path);
    };
    host.navigate = [](std::unique_ptr<msg::LocationRequest> request) {
        HWND broker = app::TheProgram().routing.broker.load();
        if (broker)
            SendMessageW(broker, msg::kBrokerStartJob, msg::kJobNavigate, reinterpret_cast<LPARAM>(request.release()));
    };
    host.showArchivesChanged = [](bool show) { app::TheProgram().settings.treeShowsArchives = show; };
    host.decorateMenu = [](HMENU menu) { menus::OwnerDraw(menu, &app::TheProgram().shortcuts.slots); };
    return host;
}

TreeOptions ProgramOptions() {
    settings::Settings& s = app::TheProgram().settings;
    TreeOptions o;
    o.rootFoldersCaption = lang::Text(404);
    o.expandDesktop = s.treeOption43;
    o.expandRootFolders = s.treeOption106;
    o.showHidden = s.hiddenAttributeMask == 0;
    o.showArchives = s.treeShowsArchives;
    o.roots = &s.treeRoots;
    return o;
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

bool TreeCommandEnabled(int command, HTREEITEM item, bool* checked) {
    if (checked)
        *checked = false;
    if (!g_tree || !g_tree->tree)
        return false;
    Tree& t = *g_tree;
    const ItemData* d = DataOfItem(TargetOr(item));
    switch (command) {
    case kCmdOpenInPane1:
    case kCmdOpenInPane2:
        return d && d->itemClass != folder::kRootFoldersItem &&
               (d->location.kind == folder::kShellFolder || !d->location.path.empty());
    case kCmdAddRootFolder:
        return d && t.options.roots && t.rootsItem && d->itemClass == folder::kShellItem && !d->path.empty() &&
               folder::FindRootFolder(*t.options.roots, d->path) < 0;
    case kCmdRemoveRootFolder:
        return d && t.options.roots && d->itemClass == folder::kRootFolder;
    case kCmdExpandAtStart: {
        if (!d || !t.options.roots || d->itemClass != folder::kRootFolder)
            return false;
        const int at = folder::FindRootFolder(*t.options.roots, d->path);
        if (checked && at >= 0)
            *checked = ((*t.options.roots)[static_cast<size_t>(at)].flags & folder::kRootExpandAtStart) != 0;
        return at >= 0;
    }
    case kCmdShowArchives:
        if (checked)
            *checked = t.options.showArchives;
        return true;
    case kCmdExplore:
        return d && d->itemClass != folder::kRootFoldersItem && d->idList;
    }
    return false;
}

bool RunTreeCommand(int command, HTREEITEM item) {
    if (!TreeCommandEnabled(command, item))
        return false;
    Tree& t = *g_tree;
    ItemData* d = DataOfItem(TargetOr(item));
    switch (command) {
    case kCmdOpenInPane1:
    case kCmdOpenInPane2:
        LoadItem(*d, command - kCmdOpenInPane1);
        return true;
    case kCmdAddRootFolder:
        return AddRoot(*d);
    case kCmdRemoveRootFolder:
        return RemoveRoot(*d);
    case kCmdExpandAtStart: {
        bool on = false;
        TreeCommandEnabled(command, d->item, &on);
        return folder::SetRootExpandAtStart(*t.options.roots, d->path, !on);
    }
    case kCmdShowArchives:
        SetShowArchives(!t.options.showArchives);
        if (t.host.showArchivesChanged)
            t.host.showArchivesChanged(t.options.showArchives);
        return true;
    case kCmdExplore:
        return Explore(*d);
    }
    return false;
}

HMENU BuildTreeMenu(HTREEITEM item) {
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return nullptr;
    // Commands whose owners are not part of this build stay grey: new folder, rename and delete
    // (5520..5522), extract and compress (5550, 5560, 5561), show in the file manager (5530).
    const int layout[] = {5500, 5501, 0, 5510, 5511, 0, 5520, 5521, 5522, 0, 5535, 5540, 0, 5550, 5560, 5561, 0,
                          5570, 5530};
    for (int id : layout) {
        if (id == 0) {
            AddMenuSeparator(menu);
            continue;
        }
        bool checked = false;
        const bool enabled = TreeCommandEnabled(id, item, &checked);
        AddMenuItem(menu, id, enabled, checked);
    }
    return menu;
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
    Menu menu(BuildTreeMenu(target));
    if (!menu.Get())
        return;
    const POINT at = MenuPoint(t.tree, screen, target);
    if (t.host.decorateMenu)
        t.host.decorateMenu(menu.Get());
    const int command = TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
    if (command && g_tree && g_tree->tree && (!target || DataOfItem(target)))
        RunTreeCommand(command, target);
}

void ShowInfoMenu(HWND owner, POINT screen, const std::function<void()>& chooseItems) {
    Menu menu(CreatePopupMenu());
    if (!menu.Get())
        return;
    AddMenuItem(menu.Get(), kCmdChooseInfoItems, chooseItems != nullptr, false);
    if (g_tree && g_tree->host.decorateMenu)
        g_tree->host.decorateMenu(menu.Get());
    if (screen.x == -1 && screen.y == -1) {
        screen = {0, 0};
        ClientToScreen(owner, &screen);
    }
    const int command =
        TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, 0, owner, nullptr);
    if (command == kCmdChooseInfoItems && chooseItems)
        chooseItems();
}

// Turning a switch on walks the opened folders again for the items it lets in; turning it off removes
// the items it keeps out, and walks again because folders never opened may have shown a button for
// those items alone.
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
