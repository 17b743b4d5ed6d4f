// The folder tree's worker: a message-only window ("shell_msg_class") on its own thread that decides
// whether folder items have children and, under Wine, watches the expanded folders. It answers to
// the tree-view control; the protocol is in folder/shell_tree_win.h.
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "common/platform.h"
#include "folder/names.h"
#include "folder/shell_tree_priv_win.h"
#include "common/path.h"

namespace shelltree {

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

namespace {

const wchar_t kWorkerClass[] = L"shell_msg_class";
// How long start-up waits for the worker's window.
constexpr DWORD kWorkerReadyMs = 5000;
constexpr size_t kMaxWatches = MAXIMUM_WAIT_OBJECTS - 1;
constexpr DWORD kWatchQuietMs = 150;

void AddWatch(WatchSet& set, const WatchRequest& r) {
    set.reply = r.reply;
    for (FolderWatch& w : set.watches)
        if (paths::EqualFold(w.path, r.path)) {
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
        if (paths::EqualFold(set.watches[i].path, path)) {
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
        if (PostMessageW(set.reply, msg::kTreeFolderChanged, 0, reinterpret_cast<LPARAM>(copy.get())))
            copy.release();
    }
    set.changed.clear();
}

bool FolderHasChildren(const CheckRequest& r, const win::MessageWorker& worker) {
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
    while (!found && !worker.StopRequested() && children->Next(1, &child, &fetched) == S_OK && fetched == 1) {
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

// The shell's image list of small icons is made on its first use, which takes a while (every stock
// icon is loaded); the tree needs it only after the program's first screen, and by then it is ready.
void PrepareSystemIcons() {
    win::IdList desktop;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, desktop.Out())) || !desktop)
        return;
    SHFILEINFOW sfi = {};
    SHGetFileInfoW(reinterpret_cast<LPCWSTR>(desktop.Get()), 0, &sfi, sizeof sfi,
                   SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
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

void RunCheck(std::unique_ptr<CheckRequest> r, const Tree& t) {
    if (t.worker.StopRequested() || r->generation != t.generation.load())
        return;
    if (r->mode == kPrepareIcons) {
        PrepareSystemIcons();
        return;
    }
    auto result = std::make_unique<CheckResult>();
    result->serial = r->serial;
    result->generation = r->generation;
    result->mode = r->mode;
    if (r->kind == folder::kFileSystemFolder)
        result->hasChildren = FolderHasChildren(*r, t.worker);
    else if (r->kind == 1)
        result->hasChildren = VirtualFolderHasChildren(*r);
    if (t.worker.StopRequested())
        return;
    if (PostMessageW(r->reply, msg::kTreeCheckDone, 0, reinterpret_cast<LPARAM>(result.get())))
        result.release();
}

// Queued checks older than `generation` go unanswered; their records are freed here. Checks the tree
// posted after the cancel (it rewalks at once) wait in the same queue and are posted again, or the
// tree would wait for their answers forever.
void DropQueuedChecks(HWND hwnd, uint32_t generation) {
    std::vector<CheckRequest*> current;
    MSG m;
    while (PeekMessageW(&m, hwnd, msg::kTreeCheck, msg::kTreeCheck, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        auto* r = reinterpret_cast<CheckRequest*>(m.lParam);
        if (static_cast<int32_t>(r->generation - generation) >= 0)
            current.push_back(r);
        else
            delete r;
    }
    for (CheckRequest* r : current)
        if (!PostMessageW(hwnd, msg::kTreeCheck, 0, reinterpret_cast<LPARAM>(r)))
            delete r;
}

// What is still queued when the window goes: checks and watch requests alike.
void FreeWorkerPayload(UINT message, WPARAM, LPARAM lp) {
    if (message == msg::kTreeCheck)
        delete reinterpret_cast<CheckRequest*>(lp);
    else if (message == msg::kTreeWatch)
        delete reinterpret_cast<WatchRequest*>(lp);
    else if (message == msg::kTreeUnwatch)
        delete reinterpret_cast<std::wstring*>(lp);
}

LRESULT WorkerProc(Tree& t, HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case msg::kTreeCheck:
        RunCheck(std::unique_ptr<CheckRequest>(reinterpret_cast<CheckRequest*>(lp)), t);
        return 0;
    case msg::kTreeCancel:
        DropQueuedChecks(hwnd, static_cast<uint32_t>(wp));
        return 0;
    case msg::kTreeWatch: {
        std::unique_ptr<WatchRequest> r(reinterpret_cast<WatchRequest*>(lp));
        if (t.watchSet)
            AddWatch(*t.watchSet, *r);
        return 0;
    }
    case msg::kTreeUnwatch: {
        std::unique_ptr<std::wstring> path(reinterpret_cast<std::wstring*>(lp));
        if (t.watchSet) {
            if (path)
                RemoveWatch(*t.watchSet, *path);
            else
                RemoveAllWatches(*t.watchSet);
        }
        return 0;
    }
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

// Waits for messages and for the watched folders at once; a burst of changes is reported after a
// quiet moment.
void WorkerLoop(Tree& t, HWND hwnd) {
    WatchSet watches;
    t.watchSet = &watches;
    bool running = true;
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
                known = known || paths::EqualFold(c, w.path);
            if (!known)
                watches.changed.push_back(w.path);
            watches.deadline = GetTickCount() + kWatchQuietMs;
            continue;
        }
        if (r == WAIT_TIMEOUT) {
            if (!t.worker.StopRequested())
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
            if (t.worker.StopRequested() && IsWindow(hwnd))
                DestroyWindow(hwnd);
        }
    }
    RemoveAllWatches(watches);
    t.watchSet = nullptr;
}

} // namespace

bool StartWorker(Tree& t) {
    win::MessageWorkerArgs args;
    args.className = kWorkerClass;
    args.threadName = L"Quorle folder tree";
    args.com = true;
    Tree* tree = &t;
    args.handler = [tree](HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
        return WorkerProc(*tree, hwnd, message, wp, lp);
    };
    args.loop = [tree](HWND hwnd) { WorkerLoop(*tree, hwnd); };
    args.firstPayload = msg::kTreeCheck;
    args.lastPayload = msg::kTreeUnwatch;
    args.freePayload = FreeWorkerPayload;
    return t.worker.Start(std::move(args), kWorkerReadyMs);
}

void PostCheck(ItemData& d, int mode) {
    Tree& t = *g_tree;
    HWND worker = t.worker.Window();
    if (!worker || t.worker.StopRequested() || !folder::KindHasChildren(d.kind))
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
    if (PostMessageW(worker, msg::kTreeCheck, 0, reinterpret_cast<LPARAM>(r.get()))) {
        r.release();
        ++t.pending;
    }
}

void PostPrepareIcons() {
    Tree& t = *g_tree;
    HWND worker = t.worker.Window();
    if (!worker || t.worker.StopRequested())
        return;
    auto r = std::make_unique<CheckRequest>();
    r->generation = t.generation.load();
    r->mode = kPrepareIcons;
    if (PostMessageW(worker, msg::kTreeCheck, 0, reinterpret_cast<LPARAM>(r.get())))
        r.release();
}

void Watch(const ItemData& d) {
    Tree& t = *g_tree;
    HWND worker = t.worker.Window();
    if (!t.watchFolders || !worker || d.watchPath.empty())
        return;
    auto r = std::make_unique<WatchRequest>();
    r->path = d.watchPath;
    r->reply = t.tree;
    if (PostMessageW(worker, msg::kTreeWatch, 0, reinterpret_cast<LPARAM>(r.get())))
        r.release();
}

void Unwatch(const std::wstring& path) {
    Tree& t = *g_tree;
    HWND worker = t.worker.Window();
    if (!t.watchFolders || !worker)
        return;
    std::unique_ptr<std::wstring> copy(path.empty() ? nullptr : new std::wstring(path));
    if (PostMessageW(worker, msg::kTreeUnwatch, 0, reinterpret_cast<LPARAM>(copy.get())))
        copy.release();
}
void CancelChecks() {
    Tree& t = *g_tree;
    const uint32_t generation = t.generation.fetch_add(1) + 1;
    t.pending = 0;
    if (HWND worker = t.worker.Window())
        PostMessageW(worker, msg::kTreeCancel, generation, 0);
}
// Answers the worker posted to the control and nobody will read; their records are freed here.
void DrainReplies(HWND hwnd) {
    MSG m;
    while (hwnd && PeekMessageW(&m, hwnd, msg::kTreeCheckDone, msg::kTreeFolderChanged, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            return;
        }
        if (m.message == msg::kTreeCheckDone)
            delete reinterpret_cast<CheckResult*>(m.lParam);
        else
            delete reinterpret_cast<std::wstring*>(m.lParam);
    }
}

} // namespace shelltree
