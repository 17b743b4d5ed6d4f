// One drag at a time: its record lives from the start to the release (or a lost capture). While it
// lives, a subclass of the tree-view control, which holds the capture, routes the pointer here.
#include "ui/drag_drop_win.h"

#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "app/language_win.h"
#include "app/messages.h"
#include "app/program_state_win.h"
#include "common/dpi_win.h"
#include "common/platform.h"
#include "fileops/shell_ops_win.h"
#include "fileops/transfer_win.h"
#include "folder/pane_location.h"
#include "folder/shell_tree_win.h"
#include "thumbs/thumb_view_win.h"
#include "ui/browse_pane_win.h"
#include "ui/drag_rules.h"
#include "ui/layout.h"

namespace ui {

namespace {

constexpr UINT_PTR kDragSubclassId = 0x5172;
constexpr UINT_PTR kExpandTimer = 0x5173;
constexpr UINT kExpandDelayMs = 800;
constexpr uint32_t kCodeFolderTest = 20; // test-only admission of a folder operation
constexpr UINT kMoveTitle = 20210;

app::Program& P() { return app::TheProgram(); }
HWND Broker() { return P().routing.broker.load(); }

struct DragRecord {
    MainWindow* w = nullptr;
    dragrules::DragState state = dragrules::kIdle;
    HWND tree = nullptr;
    // Item drags.
    int sourcePane = 0;
    dragrules::SourcePane source;
    folder::PaneLocation sourceLocation; // what the pane showed when the drag began
    // Tree-folder drags.
    HTREEITEM dragged = nullptr;
    HIMAGELIST image = nullptr;
    std::wstring draggedPath;
    bool mayMove = false;
    // Hovering.
    HTREEITEM expandItem = nullptr; // the item whose button the expansion timer runs for
    HTREEITEM hover = nullptr;      // the drop highlight
    HWND lastWindow = nullptr;      // the window under the pointer outside the tree items
    int itemHeight = 0;
    bool treeShown = false; // the hidden tree panel was shown for this drag
};

std::unique_ptr<DragRecord> g_drag;

bool AskBroker(UINT message, const std::wstring* path, int pane) {
    HWND broker = Broker();
    return broker && SendMessageW(broker, message, reinterpret_cast<WPARAM>(path), pane) != 0;
}
bool TargetAccepted(const std::wstring& path) { return AskBroker(msg::kBrokerPathInFileOp, &path, 0); }
bool PaneIdle(int pane) {
    HWND broker = Broker();
    return broker && SendMessageW(broker, msg::kBrokerPaneIdle, 0, pane) != 0;
}

void SetCursorTo(int resource) {
    HCURSOR c = resource ? LoadCursorW(P().instance, MAKEINTRESOURCEW(resource)) : nullptr;
    SetCursor(c ? c : LoadCursorW(nullptr, IDC_ARROW));
}
void SetNoCursor() { SetCursor(LoadCursorW(nullptr, IDC_NO)); }

thumbs::ThumbView* ViewOf(HWND pane) { return thumbs::ThumbViewOf(GetDlgItem(pane, kIdThumbArea)); }

dragrules::SourcePane SourceOf(const folder::PaneLocation& loc) {
    dragrules::SourcePane s;
    s.valid = loc.valid != 0;
    s.kind = loc.kind;
    s.recycleBin = loc.recycleBin != 0;
    s.folder = loc.path;
    return s;
}

// The other pane as a target of the drag's items.
dragrules::OtherPane OtherPaneFacts(const DragRecord& d) {
    dragrules::OtherPane o;
    const int other = d.sourcePane ^ 1;
    const folder::PaneLocation* loc = PaneLocationOf(d.w->panes[other]);
    o.bothShown = P().settings.paneLayout == layout::kLayoutBoth;
    if (!loc)
        return o;
    o.valid = loc->valid != 0;
    o.kind = loc->kind;
    o.sameLocation = folder::LocationsEqual(*loc, d.sourceLocation);
    o.idle = PaneIdle(other);
    o.brokerAccepts = o.valid && TargetAccepted(loc->path);
    return o;
}

// Which pane (0 or 1) `window` belongs to, or -1.
int PaneOfWindow(const MainWindow& w, HWND window) {
    for (int i = 0; i < 2; ++i)
        if (w.panes[i] && (window == w.panes[i] || IsChild(w.panes[i], window)))
            return i;
    return -1;
}

dragrules::TreeTarget TreeTargetOf(HTREEITEM item, bool folderDrag) {
    dragrules::TreeTarget t;
    shelltree::ItemFacts facts;
    if (!item || !shelltree::ItemFactsOf(item, &facts))
        return t;
    t.kind = static_cast<folder::LocationKind>(facts.kind);
    t.path = facts.path;
    if (t.kind == folder::kFileSystemFolder && !t.path.empty())
        t.brokerAccepts = folderDrag ? AskBroker(msg::kBrokerPathFree, &t.path, 0) : TargetAccepted(t.path);
    return t;
}

bool FolderMayGoTo(const DragRecord& d, HTREEITEM item) {
    dragrules::FolderMove m;
    m.mayMove = d.mayMove;
    m.dragged = d.draggedPath;
    m.sameItem = item == d.dragged;
    if (!m.mayMove || m.sameItem)
        return false;
    m.target = TreeTargetOf(item, true);
    return dragrules::TreeAcceptsFolder(m);
}

bool ItemsMayGoTo(const DragRecord& d, HTREEITEM item) {
    return dragrules::TreeAcceptsItems(d.source, TreeTargetOf(item, false));
}

void ShowImage(const DragRecord& d, bool show) {
    if (d.image)
        ImageList_DragShowNolock(show);
}

// Wine's control ignores a cleared drop highlight while no item is selected, so the item's own state
// is cleared as well.
void ClearDropState(HWND tree, HTREEITEM item) {
    if (!item)
        return;
    TVITEMW tv = {};
    tv.mask = TVIF_STATE;
    tv.hItem = item;
    tv.stateMask = TVIS_DROPHILITED;
    SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

void Highlight(DragRecord& d, HTREEITEM item) {
    if (d.hover == item)
        return;
    ShowImage(d, false);
    const HTREEITEM old = d.hover;
    d.hover = item;
    SendMessageW(d.tree, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(item));
    ClearDropState(d.tree, old);
    ShowImage(d, true);
}

// The expansion timer follows the pointer on and off an item's button.
void TrackButton(DragRecord& d, HTREEITEM onButton) {
    if (onButton == d.expandItem)
        return;
    KillTimer(d.tree, kExpandTimer);
    d.expandItem = onButton;
    if (onButton)
        SetTimer(d.tree, kExpandTimer, kExpandDelayMs, nullptr);
}

// The hovered item changed: it is highlighted, its neighbour brought into view at the edges.
void HoverItem(DragRecord& d, HTREEITEM item, int y) {
    if (item == d.hover)
        return;
    ShowImage(d, false);
    RECT client = {};
    GetClientRect(d.tree, &client);
    const int scrollBar = dpi::SystemMetric(SM_CYHSCROLL, dpi::OfWindow(d.tree));
    const int dir = dragrules::AutoScrollDirection(y, d.itemHeight, client.bottom, scrollBar);
    if (dir != 0) {
        const UINT how = dir < 0 ? TVGN_PREVIOUSVISIBLE : TVGN_NEXTVISIBLE;
        HTREEITEM neighbour =
            reinterpret_cast<HTREEITEM>(SendMessageW(d.tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
        if (neighbour)
            SendMessageW(d.tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(neighbour));
    }
    Highlight(d, item);
}

// The tree item under `client` (tree coordinates), and whether the pointer is on its button.
HTREEITEM ItemAt(const DragRecord& d, POINT client, bool* onButton) {
    *onButton = false;
    RECT rc = {};
    GetClientRect(d.tree, &rc);
    if (!PtInRect(&rc, client))
        return nullptr;
    TVHITTESTINFO hit = {};
    hit.pt = client;
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(d.tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (!item || !(hit.flags & (TVHT_ONITEM | TVHT_ONITEMBUTTON | TVHT_ONITEMINDENT | TVHT_ONITEMRIGHT)))
        return nullptr;
    *onButton = (hit.flags & TVHT_ONITEMBUTTON) != 0;
    return item;
}

void OnMove(DragRecord& d, POINT client) {
    POINT screen = client;
    ClientToScreen(d.tree, &screen);
    if (d.image) {
        RECT frame = {};
        GetWindowRect(d.w->hwnd, &frame);
        ImageList_DragMove(screen.x - frame.left, screen.y - frame.top);
    }
    bool onButton = false;
    HTREEITEM item = ItemAt(d, client, &onButton);
    TrackButton(d, item && onButton ? item : nullptr);
    if (item) {
        HoverItem(d, item, client.y);
        d.lastWindow = nullptr;
        if (d.state == dragrules::kTreeFolder) {
            if (FolderMayGoTo(d, item))
                SetCursor(LoadCursorW(nullptr, IDC_ARROW));
            else
                SetNoCursor();
        } else if (ItemsMayGoTo(d, item)) {
            SetCursorTo(dragrules::kCursorBase + d.state);
        } else {
            SetNoCursor();
        }
        return;
    }
    Highlight(d, nullptr);
    HWND under = WindowFromPoint(screen);
    if (under == d.lastWindow)
        return;
    d.lastWindow = under;
    const int pane = PaneOfWindow(*d.w, under);
    if (d.state == dragrules::kTreeFolder) {
        if (pane >= 0)
            SetCursorTo(dragrules::kCursorFolderOverPane);
        else
            SetNoCursor();
        return;
    }
    if (pane == d.sourcePane || (pane >= 0 && dragrules::OtherPaneAcceptsItems(OtherPaneFacts(d))))
        SetCursorTo(dragrules::kCursorBase + d.state);
    else
        SetNoCursor();
}

// The panes whose folder went away with a move show it no longer.
void RefreshVanishedPanes(MainWindow& w) {
    for (HWND pane : w.panes) {
        const folder::PaneLocation* loc = PaneLocationOf(pane);
        if (loc && loc->valid && loc->kind != folder::kShellFolder && !platform::PathExists(loc->path))
            ReloadPane(pane);
    }
}

// The source pane's selected items as the transfer takes them.
bool CollectItems(const DragRecord& d, fileops::Transfer* t) {
    thumbs::ThumbView* view = ViewOf(d.w->panes[d.sourcePane]);
    const folder::PaneLocation* loc = PaneLocationOf(d.w->panes[d.sourcePane]);
    // The pane was given another location while the pointer was held: its items are not the ones
    // that were picked up.
    if (!view || !loc || !folder::LocationsEqual(*loc, d.sourceLocation))
        return false;
    const folder::ThumbItemArray& items = thumbs::ViewItems(*view);
    const size_t count = thumbs::ViewCount(*view);
    for (size_t i = 0; i < count; ++i) {
        const folder::ThumbItem& item = items.items[i];
        if (!item.selected)
            continue;
        fileops::TransferItem ti;
        ti.path = item.path;
        ti.name = item.name;
        ti.locator = static_cast<uint32_t>(item.locator);
        ti.size = static_cast<uint32_t>(item.size);
        t->items.push_back(std::move(ti));
    }
    if (folder::IsArchiveKind(loc->kind)) {
        t->source = fileops::TransferSource::Archive;
        t->archiveKind = loc->kind;
        t->archivePath = loc->path;
    } else if (loc->recycleBin) {
        t->source = fileops::TransferSource::RecycleBin;
    }
    t->move = d.state == dragrules::kMoveItems;
    return !t->items.empty();
}

void DropItems(DragRecord& d, const std::wstring& target) {
    fileops::Transfer t;
    t.targetFolder = target;
    if (!CollectItems(d, &t))
        return;
    if (!fileops::TransferToFolder(d.w->hwnd, t) || !t.move || t.source != fileops::TransferSource::Folder)
        return;
    // Moved items are gone from the source folder; a pane still loading lists its folder again.
    if (!RemoveSelected(*d.w, d.sourcePane))
        ReloadPane(d.w->panes[d.sourcePane]);
}

void ReleaseItems(DragRecord& d, POINT client) {
    MainWindow& w = *d.w;
    const int other = d.sourcePane ^ 1;
    if (d.hover) {
        if (!ItemsMayGoTo(d, d.hover))
            return;
        shelltree::ItemFacts facts;
        shelltree::ItemFactsOf(d.hover, &facts);
        DropItems(d, facts.path);
        if (PaneShowsLocation(w.panes[other], folder::kFileSystemFolder, facts.path) && PaneIdle(other))
            ReloadPane(w.panes[other]);
        return;
    }
    POINT screen = client;
    ClientToScreen(d.tree, &screen);
    if (P().settings.paneLayout != layout::kLayoutBoth || PaneOfWindow(w, WindowFromPoint(screen)) != other)
        return;
    if (!dragrules::OtherPaneAcceptsItems(OtherPaneFacts(d)))
        return;
    const folder::PaneLocation* loc = PaneLocationOf(w.panes[other]);
    DropItems(d, loc->path);
    ReloadPane(w.panes[other]);
}

void ReleaseFolder(DragRecord& d, POINT client) {
    MainWindow& w = *d.w;
    if (d.hover) {
        if (!FolderMayGoTo(d, d.hover))
            return;
        shelltree::ItemFacts facts;
        shelltree::ItemFactsOf(d.hover, &facts);
        fileops::ShellOperation op;
        op.operation = FO_MOVE;
        op.sources = {d.draggedPath};
        op.targets = {facts.path};
        op.flags = fileops::kMoveFlags;
        op.progressTitle = lang::Text(kMoveTitle);
        if (!fileops::RunShellOperation(w.hwnd, op))
            return;
        SHChangeNotify(SHCNE_UPDATEITEM, SHCNF_PATHW | SHCNF_FLUSHNOWAIT, d.draggedPath.c_str(), nullptr);
        RefreshVanishedPanes(w);
        return;
    }
    POINT screen = client;
    ClientToScreen(d.tree, &screen);
    const int pane = PaneOfWindow(w, WindowFromPoint(screen));
    if (pane >= 0)
        shelltree::LoadTreeItem(d.dragged, pane);
}

LRESULT CALLBACK DragSubclass(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR);

// Ends the drag: capture, image, timer, highlight and the borrowed tree panel go back. The record
// is gone before any drop runs, so the shell's dialogs meet an idle program.
std::unique_ptr<DragRecord> EndDrag() {
    std::unique_ptr<DragRecord> d = std::move(g_drag);
    if (!d)
        return d;
    // Unhooked first: the capture released below is no loss of the pointer to someone else.
    RemoveWindowSubclass(d->tree, DragSubclass, kDragSubclassId);
    KillTimer(d->tree, kExpandTimer);
    if (GetCapture() == d->tree)
        ReleaseCapture();
    if (d->image) {
        ImageList_DragLeave(d->w->hwnd);
        ImageList_EndDrag();
        ImageList_Destroy(d->image);
        d->image = nullptr;
    }
    SendMessageW(d->tree, TVM_SELECTITEM, TVGN_DROPHILITE, 0);
    ClearDropState(d->tree, d->hover);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    if (d->treeShown) {
        P().settings.treeHidden = true;
        ShowWindow(d->w->treeArea, SW_HIDE);
        LayoutClient(*d->w);
    }
    return d;
}

void OnRelease(POINT client) {
    std::unique_ptr<DragRecord> d = EndDrag();
    if (!d)
        return;
    if (d->state == dragrules::kTreeFolder)
        ReleaseFolder(*d, client);
    else
        ReleaseItems(*d, client);
}

LRESULT CALLBACK DragSubclass(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (!g_drag || g_drag->tree != hwnd)
        return DefSubclassProc(hwnd, message, wp, lp);
    const POINT at = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    switch (message) {
    case WM_MOUSEMOVE:
        // The release went elsewhere (another desktop, a lost message): the drag ends without a drop.
        if (!(wp & (MK_LBUTTON | MK_RBUTTON))) {
            EndDrag();
            return 0;
        }
        OnMove(*g_drag, at);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        OnRelease(at);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_SETCURSOR:
        return 0;
    case WM_TIMER:
        if (wp != kExpandTimer)
            break;
        KillTimer(hwnd, kExpandTimer);
        if (g_drag->expandItem) {
            ShowImage(*g_drag, false);
            SendMessageW(hwnd, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(g_drag->expandItem));
            ShowImage(*g_drag, true);
        }
        g_drag->expandItem = nullptr;
        return 0;
    case WM_CAPTURECHANGED:
        // Someone else took the pointer (a dialog, another program): the drag ends without a drop.
        EndDrag();
        return 0;
    }
    return DefSubclassProc(hwnd, message, wp, lp);
}

// The tree takes the pointer for the drag, shown first when its panel is hidden.
bool Start(std::unique_ptr<DragRecord> d) {
    MainWindow& w = *d->w;
    d->tree = shelltree::ShellTreeWindow();
    if (!d->tree || g_drag)
        return false;
    if (P().settings.treeHidden && w.treeArea) {
        P().settings.treeHidden = false;
        ShowWindow(w.treeArea, SW_SHOW);
        LayoutClient(w);
        d->treeShown = true;
    }
    d->itemHeight = static_cast<int>(SendMessageW(d->tree, TVM_GETITEMHEIGHT, 0, 0));
    g_drag = std::move(d);
    SetWindowSubclass(g_drag->tree, DragSubclass, kDragSubclassId, 0);
    SetCapture(g_drag->tree);
    return true;
}

} // namespace

bool BeginItemDrag(MainWindow& w, int pane, bool leftButton) {
    const folder::PaneLocation* loc = PaneLocationOf(w.panes[pane & 1]);
    thumbs::ThumbView* view = ViewOf(w.panes[pane & 1]);
    if (g_drag || !loc || !view || thumbs::ViewSelected(*view) == 0)
        return false;
    auto d = std::make_unique<DragRecord>();
    d->w = &w;
    d->sourcePane = pane & 1;
    d->source = SourceOf(*loc);
    d->sourceLocation = *loc;
    d->state = dragrules::ItemDragState(d->source, leftButton, AskBroker(msg::kBrokerPathInFileOp, nullptr, pane & 1));
    if (d->state == dragrules::kBlocked)
        return false;
    const int cursor = dragrules::kCursorBase + d->state;
    if (!Start(std::move(d)))
        return false;
    SetCursorTo(cursor);
    return true;
}

void BeginTreeDrag(MainWindow& w, const NMTREEVIEWW& nm) {
    auto d = std::make_unique<DragRecord>();
    d->w = &w;
    d->state = dragrules::kTreeFolder;
    d->dragged = nm.itemNew.hItem;
    shelltree::ItemFacts facts;
    if (!d->dragged || !shelltree::ItemFactsOf(d->dragged, &facts))
        return;
    d->draggedPath = facts.path;
    if (!d->draggedPath.empty() && fileops::PassesTreeGuard(d->draggedPath)) {
        HWND broker = Broker();
        d->mayMove = broker && SendMessageW(broker, msg::kBrokerAcquire, kCodeFolderTest,
                                            reinterpret_cast<LPARAM>(&d->draggedPath)) != 0;
    }
    HWND tree = nm.hdr.hwndFrom;
    if (!d->draggedPath.empty())
        d->image = reinterpret_cast<HIMAGELIST>(
            SendMessageW(tree, TVM_CREATEDRAGIMAGE, 0, reinterpret_cast<LPARAM>(d->dragged)));
    HIMAGELIST image = d->image;
    if (!Start(std::move(d))) {
        if (image)
            ImageList_Destroy(image);
        return;
    }
    if (image) {
        POINT at = nm.ptDrag;
        ClientToScreen(tree, &at);
        RECT frame = {};
        GetWindowRect(w.hwnd, &frame);
        ImageList_BeginDrag(image, 0, 0, 0);
        ImageList_DragEnter(w.hwnd, at.x - frame.left, at.y - frame.top);
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    } else {
        SetNoCursor();
    }
}

int DragStateNow() { return g_drag ? g_drag->state : dragrules::kIdle; }

} // namespace ui
