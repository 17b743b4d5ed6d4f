// The two browse panes (ids 500, 501): each holds its thumbnail view (id 502) and its status bar
// (id 503), shows one location, runs its loads on the user-interface thread and applies the
// results its thumbnail worker posts back.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "app/decode_options.h"
#include "app/language_win.h"
#include "app/messages.h"
#include "app/plugin_state_win.h"
#include "app/program_state_win.h"
#include "folder/captions.h"
#include "folder/listing.h"
#include "folder/location_source.h"
#include "folder/pane_location.h"
#include "folder/shell_tree_win.h"
#include "folder/shell_listing_win.h"
#include "thumbs/thumb_view_win.h"
#include "thumbs/thumb_worker_win.h"
#include "ui/commands.h"
#include "ui/drag_drop_win.h"
#include "ui/main_window_win.h"
#include "ui/menus_win.h"
#include "ui/picture_info_win.h"
#include "ui/browse_pane_win.h"
#include "ui/client_window_win.h"
#include "ui/popup_preview_win.h"

namespace ui {

namespace {

const wchar_t* const kPaneClass[2] = {L"Quorle_bswin1_class", L"Quorle_bswin2_class"};

// Status bar parts.
constexpr int kPartReload = 0;
constexpr int kPartStop = 1;
constexpr int kPartSort = 2;
constexpr int kPartFilter = 3;
constexpr int kPartCount = 4;
constexpr int kPartLocation = 5;

app::Program& P() { return app::TheProgram(); }
HWND Broker() { return P().routing.broker.load(); }

struct Pane : thumbs::ViewHost {
    int index = 0;
    MainWindow* main = nullptr;
    HWND hwnd = nullptr;
    HWND area = nullptr;
    HWND status = nullptr;
    thumbs::ThumbView* view = nullptr;
    folder::PaneLocation location;
    uint32_t generation = 0; // the broker's number of the load whose results are applied
    int sortMode = 0;
    int filter = 0;

    void ViewActivate() override { ActivatePane(*main, index); }
    void ViewSelectionChanged() override;
    void ViewCommand(int command, size_t) override { DispatchCommand(*main, command); }
    void ViewPreview(size_t item, const RECT& cell) override;
    bool ViewCanDrag() override { return SendMessageW(Broker(), msg::kBrokerPathInFileOp, 0, index) != 0; }
    bool ViewBeginDrag(bool leftButton) override { return BeginItemDrag(*main, index, leftButton); }
    void ViewDropFiles(HDROP drop) override;
    void ViewContextMenu(POINT screen) override;
};

struct CreateArgs {
    MainWindow* main;
    int index;
};

Pane* PaneOf(HWND hwnd) {
    wchar_t name[32] = {};
    if (!hwnd || !GetClassNameW(hwnd, name, 32) ||
        (lstrcmpW(name, kPaneClass[0]) != 0 && lstrcmpW(name, kPaneClass[1]) != 0))
        return nullptr;
    return reinterpret_cast<Pane*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

int TextWidth(HDC dc, const std::wstring& text) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void SetPart(Pane& p, int part, const std::wstring& text, bool tip = false) {
    SendMessageW(p.status, SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.c_str()));
    if (tip)
        SendMessageW(p.status, SB_SETTIPTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.c_str()));
}

// The widest of six consecutive strings.
int WidestOf(HDC dc, UINT first) {
    int widest = 0;
    for (UINT id = first; id < first + 6; ++id)
        widest = std::max(widest, TextWidth(dc, lang::Text(id)));
    return widest;
}

// Six parts: reload, stop, sort order, picture type, item count, location. The sort and type parts
// fit their longest name, so no choice is cut off whatever the language.
void SetStatusParts(Pane& p) {
    win::WindowDC dc(p.status);
    win::SelectObjectScope select(dc.Get(), p.main->font.Get());
    layout::StatusTextWidths t;
    t.reload = TextWidth(dc.Get(), lang::Text(20200));
    t.stop = TextWidth(dc.Get(), lang::Text(20201));
    t.widestSort = WidestOf(dc.Get(), cmd::kSortFirst);
    t.widestFilter = WidestOf(dc.Get(), cmd::kFilterFirst);
    t.digit = TextWidth(dc.Get(), L"0");
    int edges[6];
    layout::StatusPartEdges(t, p.main->dpi, edges);
    SendMessageW(p.status, SB_SETPARTS, 6, reinterpret_cast<LPARAM>(edges));
    SetPart(p, kPartReload, lang::Text(20200));
    SetPart(p, kPartStop, lang::Text(20201));
    SetPart(p, kPartSort, lang::Text(5801 + p.sortMode));
    SetPart(p, kPartFilter, lang::Text(5701 + p.filter));
    SetPart(p, kPartCount, L"-");
    SetPart(p, kPartLocation, L"-");
}

void ShowCount(Pane& p) {
    SetPart(p, kPartCount, folder::SelectionCountText(thumbs::ViewSelected(*p.view), thumbs::ViewCount(*p.view)), true);
}

bool PaneIdle(const Pane& p) { return SendMessageW(Broker(), msg::kBrokerPaneIdle, 0, p.index) != 0; }

void Pane::ViewSelectionChanged() {
    ShowCount(*this);
    const size_t anchor = thumbs::ViewAnchor(*view);
    if (thumbs::ViewSelected(*view) == 1 && anchor != thumbs::kNoItem)
        ShowPictureInfo(*main, &thumbs::ViewItems(*view).items[anchor]);
    else
        ShowPictureInfo(*main, nullptr);
}

void Pane::ViewPreview(size_t item, const RECT& cell) {
    ShowPopupPreview(*main, thumbs::ViewItems(*view).items[item].path, cell);
}

// A drop on a pane makes it the active one; the frame then opens the first path there and finishes
// the drop, as for a drop on the frame itself.
void Pane::ViewDropFiles(HDROP drop) {
    if (IsWindowEnabled(main->hwnd))
        ActivatePane(*main, index);
    SendMessageW(main->hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
}

// Owned by the main window, which sets the item states and receives the chosen command.
void Pane::ViewContextMenu(POINT screen) {
    HMENU menu = menus::PopupMenu(menus::kPaneContextMenu);
    if (menu)
        TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, main->hwnd,
                       nullptr);
}

thumbs::ThumbSettings ThumbSettingsOf(const settings::Settings& s) {
    thumbs::ThumbSettings t;
    t.boxWidth = thumbs::ClampBoxSide(s.thumbWidth);
    t.boxHeight = thumbs::ClampBoxSide(s.thumbHeight);
    t.scaleMethod = s.scalingMethod;
    t.jpegQuality = s.cacheJpegQuality;
    t.autoRotate = s.exifOrientation;
    t.cacheEnabled = s.cacheEnabled;
    t.load = settings::DecodeOptionsOf(s);
    return t;
}

// Ends load `load` early (it failed before reaching the worker).
void PostIdle(const Pane& p, uint32_t load) {
    PostMessageW(Broker(), msg::kBrokerJobDone, msg::kPaneIdle, msg::PaneLoadParam(p.index, load));
}

void ReleasePane(Pane& p) {
    thumbs::ViewRelease(*p.view);
    ShowPictureInfo(*p.main, nullptr);
}

// The load of a pane, on the user-interface thread once its worker is free.
void LoadPane(Pane& p, WPARAM flags, std::unique_ptr<msg::LocationRequest> request) {
    const settings::Settings& s = P().settings;
    const bool recycleBin = request->kind == folder::kShellFolder && folder::IsRecycleBin(request->idList);
    if (!folder::SetLocation(p.location, request->kind, request->idList, request->path, recycleBin)) {
        PostIdle(p, request->load);
        return;
    }
    folder::PaneLoaded(p.main->watch, p.index, p.location);
    p.generation = request->load;
    ReleasePane(p);
    UpdateTitle(*p.main);
    shelltree::ShellTreePaneChanged(p.index);
    SetPart(p, kPartCount, folder::kLoadingCountText);
    SetPart(p, kPartLocation, folder::DisplayName(p.location), true);

    const bool forced = (flags & msg::kLoadForced) != 0;
    folder::ListRequest list;
    list.filter = p.filter;
    list.hiddenMask = static_cast<uint32_t>(s.hiddenAttributeMask);
    list.cacheEnabled = s.cacheEnabled;
    list.forced = forced;
    list.systemLevel = P().osClass;
    list.pluginExtensions = app::ImagePluginExtensions();
    static thumbs::CriticalCacheLock cacheLock(P().cacheLock);
    list.cachedListing = thumbs::CachedListingReader(P().cacheFolder, &cacheLock);
    auto listing = std::make_unique<folder::ArchiveListing>();
    if (!folder::ListFolder(p.location, list, listing.get())) {
        PostIdle(p, request->load);
        return;
    }
    folder::ThumbItemArray items;
    if (!folder::AllocateItems(items, listing->entries.size())) {
        lang::ShowError(p.main->hwnd, 30001);
        PostIdle(p, request->load);
        return;
    }
    // Names show at once; the worker fills in the rest.
    for (size_t i = 0; i < listing->entries.size(); ++i)
        items.items[i].name = listing->entries[i].name;

    // The worker starts before the cells are made: laying them out and painting them would otherwise
    // hold up the first decodes. Its results wait in this thread's queue until the view has its items.
    auto job = std::make_unique<thumbs::ThumbRequest>();
    job->pane = p.index;
    job->generation = p.generation;
    job->kind = p.location.kind;
    job->path = p.location.path;
    job->shellTimeCheck = p.location.recycleBin != 0;
    job->locationTime = p.location.archiveTime;
    job->listing = std::move(listing);
    job->filter = p.filter;
    job->forced = forced;
    job->settings = ThumbSettingsOf(s);
    job->cacheFolder = P().cacheFolder;
    HWND worker = P().routing.workers[p.index].load();
    const bool posted = worker && PostMessageW(worker, msg::kThumbRequest, flags, reinterpret_cast<LPARAM>(job.get()));
    if (posted)
        job.release();
    thumbs::ViewSetItems(*p.view, std::move(items), (flags & msg::kLoadResetScroll) != 0);
    thumbs::ViewLayout(*p.view);
    if (!posted)
        PostIdle(p, request->load);
}

void OnResults(Pane& p, std::unique_ptr<thumbs::ThumbResults> results) {
    if (results->generation != p.generation)
        return;
    for (thumbs::ThumbResult& r : results->results)
        thumbs::ViewApplyResult(*p.view, r.entry, r.item);
    SetPart(p, kPartLocation, std::to_wstring(results->done));
    // The scan of the cells is wanted only while the tree waits for the first screen.
    if (!shelltree::RootsFilled() && thumbs::ViewScreenComplete(*p.view))
        FillFolderTreeSoon(*p.main);
}

void OnProgress(Pane& p, WPARAM count, LPARAM generation) {
    if (static_cast<uint32_t>(generation) == p.generation)
        SetPart(p, kPartCount, lang::Text(20202) + std::to_wstring(count));
}

void OnDone(Pane& p, WPARAM resetBit, LPARAM cacheWillBeWritten) {
    InvalidateRect(p.hwnd, nullptr, TRUE);
    thumbs::ViewRepaintMissing(*p.view);
    SetPart(p, kPartLocation, folder::DisplayName(p.location), true);
    if (p.sortMode != 0)
        thumbs::ViewSort(*p.view, p.sortMode, p.location.kind);
    else if (!resetBit)
        thumbs::ViewLayout(*p.view);
    if (cacheWillBeWritten)
        SetPart(p, kPartCount, lang::Text(20203));
    FillFolderTreeSoon(*p.main);
}

void OnIdle(Pane& p) {
    ShowCount(p);
    UpdateTitle(*p.main);
    FillFolderTreeSoon(*p.main);
}

void OnCancelled(Pane& p) {
    ReleasePane(p);
    ShowCount(p);
    UpdateTitle(*p.main);
    FillFolderTreeSoon(*p.main);
}

void StopOrRelease(Pane& p) {
    if (p.location.valid)
        SendMessageW(Broker(), msg::kBrokerStartJob, 0, p.index);
    else
        OnCancelled(p);
}

void SetSortMode(Pane& p, int mode) {
    if (mode == p.sortMode || mode < 0 || mode > 5)
        return;
    p.sortMode = mode;
    SetPart(p, kPartSort, lang::Text(5801 + mode));
    if (thumbs::ViewCount(*p.view))
        thumbs::ViewSort(*p.view, mode, p.location.kind);
}

void SetFilter(Pane& p, int filter) {
    if (filter == p.filter || filter < 0 || filter > 5)
        return;
    p.filter = filter;
    SetPart(p, kPartFilter, lang::Text(5701 + filter));
    ReloadPane(p.hwnd, msg::kLoadReload | msg::kLoadResetScroll);
}

// Where the status bar's menus open: above their part, from its top-left corner (screen).
POINT PartTopLeft(const Pane& p, int part) {
    RECT r = {};
    SendMessageW(p.status, SB_GETRECT, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(&r));
    POINT at = {r.left, r.top};
    ClientToScreen(p.status, &at);
    return at;
}

// A popup menu of strings first..first+5 above the status bar part; the chosen index, or -1.
int ChoosePartMenu(Pane& p, int part, UINT firstString, int current, bool enabled) {
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return -1;
    for (int i = 0; i < 6; ++i) {
        const std::wstring text = lang::Text(firstString + i);
        UINT state = (i == current ? MF_CHECKED : 0) | (enabled ? 0 : MF_GRAYED);
        AppendMenuW(menu, MF_STRING | state, static_cast<UINT_PTR>(firstString + i), text.c_str());
    }
    menus::OwnerDraw(menu, nullptr);
    const POINT at = PartTopLeft(p, part);
    const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_BOTTOMALIGN | TPM_LEFTALIGN | TPM_NONOTIFY, at.x,
                                      at.y, 0, p.hwnd, nullptr);
    DestroyMenu(menu);
    return chosen ? chosen - static_cast<int>(firstString) : -1;
}

// The favourites menu above the location part; the chosen favourite loads unless it is shown already.
void ChooseFavourite(Pane& p) {
    HMENU menu = menus::PopupMenu(menus::kFavouritesMenu);
    const std::vector<settings::Favourite>& favourites = P().settings.favourites;
    if (!menu || favourites.empty())
        return;
    const POINT at = PartTopLeft(p, kPartLocation);
    const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_BOTTOMALIGN | TPM_LEFTALIGN, at.x, at.y, 0,
                                      p.main->hwnd, nullptr) - cmd::kFavouriteFirst;
    if (chosen < 0 || static_cast<size_t>(chosen) >= favourites.size())
        return;
    const settings::Favourite& f = favourites[static_cast<size_t>(chosen)];
    auto request = std::make_unique<msg::LocationRequest>();
    request->kind = f.kind;
    request->idList = f.idList;
    request->path = f.name;
    request->pane = p.index;
    folder::PaneLocation wanted;
    wanted.kind = f.kind;
    wanted.idList = f.idList;
    wanted.path = f.name;
    if (p.location.valid && folder::LocationsEqual(p.location, wanted))
        return;
    SendMessageW(Broker(), msg::kBrokerStartJob, msg::kJobNavigate, reinterpret_cast<LPARAM>(request.release()));
}

void OnStatusClick(Pane& p, int part) {
    switch (part) {
    case kPartReload: ReloadPane(p.hwnd, msg::kLoadReload); break;
    case kPartStop: StopOrRelease(p); break;
    case kPartSort: {
        const int mode = ChoosePartMenu(p, part, cmd::kSortFirst, p.sortMode, PaneIdle(p));
        if (mode >= 0 && PaneIdle(p))
            SetSortMode(p, mode);
        break;
    }
    case kPartFilter: {
        const int filter = ChoosePartMenu(p, part, cmd::kFilterFirst, p.filter, true);
        if (filter >= 0)
            SetFilter(p, filter);
        break;
    }
    case kPartLocation: ChooseFavourite(p); break;
    default: break;
    }
}

LRESULT OnPaneNotify(Pane& p, const NMHDR* hdr) {
    if (hdr->hwndFrom == p.status && hdr->code == NM_CLICK)
        OnStatusClick(p, static_cast<int>(reinterpret_cast<const NMMOUSE*>(hdr)->dwItemSpec));
    return 0;
}

LRESULT OnPaneCreate(Pane& p) {
    HINSTANCE instance = P().instance;
    thumbs::ViewCreateArgs args;
    args.parent = p.hwnd;
    args.pane = p.index;
    args.id = kIdThumbArea;
    args.instance = instance;
    args.font = p.main->font.Get();
    args.dpi = p.main->dpi;
    args.settings = &P().settings;
    args.host = &p;
    args.placeholder = lang::Text(30000);
    p.area = thumbs::CreateThumbView(args);
    p.view = thumbs::ThumbViewOf(p.area);
    p.status = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_TOOLTIPS, 0, 0, 0, 0, p.hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdPaneStatus)), instance, nullptr);
    if (!p.area || !p.view || !p.status)
        return -1;
    SendMessageW(p.status, WM_SETFONT, reinterpret_cast<WPARAM>(p.main->font.Get()), FALSE);
    SetStatusParts(p);
    return 0;
}

void OnPaneSize(Pane& p, int width, int height) {
    SendMessageW(p.status, WM_SIZE, 0, 0);
    RECT sr = {};
    GetWindowRect(p.status, &sr);
    const int statusHeight = sr.bottom - sr.top;
    MoveWindow(p.area, 0, 0, width, height - statusHeight > 0 ? height - statusHeight : 0, TRUE);
}

// Records still queued when the window goes would otherwise be lost with it. PeekMessage hands out
// WM_QUIT whatever the filter, so a quit met here is posted again.
void DropQueuedPayloads(HWND hwnd) {
    MSG m;
    while (PeekMessageW(&m, hwnd, msg::kPaneLoad, msg::kPaneProgress, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            return;
        }
        thumbs::FreePanePayload(m.message, m.wParam, m.lParam);
    }
}

LRESULT CALLBACK PaneProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    Pane* p = reinterpret_cast<Pane*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        const CreateArgs* args = reinterpret_cast<const CreateArgs*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        p = new Pane;
        p->index = args->index;
        p->main = args->main;
        p->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(p));
    }
    if (!p)
        return DefWindowProcW(hwnd, message, wp, lp);
    switch (message) {
    case WM_CREATE:
        return OnPaneCreate(*p);
    case WM_SIZE:
        OnPaneSize(*p, LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_SETFOCUS:
        SetFocus(p->area);
        return 0;
    case WM_NOTIFY:
        return OnPaneNotify(*p, reinterpret_cast<const NMHDR*>(lp));
    case WM_MEASUREITEM:
        // The status bar's sort and filter menus are owned by the pane.
        return menus::MeasureMenuItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lp));
    case WM_DRAWITEM:
        return menus::DrawMenuItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    case msg::kPaneLoad:
        LoadPane(*p, wp, std::unique_ptr<msg::LocationRequest>(reinterpret_cast<msg::LocationRequest*>(lp)));
        return 0;
    case msg::kPaneResults:
        OnResults(*p, std::unique_ptr<thumbs::ThumbResults>(reinterpret_cast<thumbs::ThumbResults*>(lp)));
        return 0;
    case msg::kPaneProgress:
        OnProgress(*p, wp, lp);
        return 0;
    case msg::kPaneDone:
        OnDone(*p, wp, lp);
        return 0;
    case msg::kPaneCancelled:
        OnCancelled(*p);
        return 0;
    case msg::kPaneIdle:
        OnIdle(*p);
        return 0;
    case msg::kPaneMessage:
        lang::ShowError(p->main->hwnd, static_cast<UINT>(wp));
        return 0;
    case WM_NCDESTROY:
        DropQueuedPayloads(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete p;
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

bool Register(HINSTANCE instance, const wchar_t* name, WNDPROC proc) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

bool SameLocation(const Pane& a, const Pane& b) {
    return a.location.valid && b.location.valid && folder::LocationsEqual(a.location, b.location);
}

} // namespace

bool RegisterBrowsePaneClasses(HINSTANCE instance) {
    for (int i = 0; i < 2; ++i)
        if (!Register(instance, kPaneClass[i], PaneProc))
            return false;
    return thumbs::RegisterThumbViewClasses(instance);
}

HWND CreateBrowsePane(MainWindow& w, int pane, const layout::Rect& r) {
    CreateArgs args{&w, pane & 1};
    HWND hwnd = CreateWindowExW(0, kPaneClass[pane & 1], nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, r.left,
                                r.top, r.Width(), r.Height(), w.client,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdPane1 + (pane & 1))), P().instance,
                                &args);
    if (hwnd)
        P().routing.panes[pane & 1].store(hwnd);
    return hwnd;
}

void SetPaneActiveLook(HWND pane, bool active) {
    if (Pane* p = PaneOf(pane))
        thumbs::ViewSetActive(*p->view, active);
}

HWND PaneFocusTarget(HWND pane) {
    Pane* p = PaneOf(pane);
    return p ? p->area : pane;
}

bool PaneShowsLocation(HWND pane, folder::LocationKind kind, const std::wstring& path) {
    const Pane* p = PaneOf(pane);
    if (!p || !p->location.valid)
        return false;
    folder::PaneLocation other;
    other.kind = kind;
    other.path = path;
    other.valid = 1;
    return folder::LocationsEqual(p->location, other);
}

bool PaneHasLocation(HWND pane) {
    const Pane* p = PaneOf(pane);
    return p && p->location.valid;
}

std::wstring PaneLocationText(HWND pane) {
    const Pane* p = PaneOf(pane);
    return p && p->location.valid ? folder::DisplayName(p->location) : std::wstring();
}

folder::PaneLocation* PaneLocationOf(HWND pane) {
    Pane* p = PaneOf(pane);
    return p ? &p->location : nullptr;
}

thumbs::ThumbView* PaneViewOf(HWND pane) {
    Pane* p = PaneOf(pane);
    return p ? p->view : nullptr;
}

void ReloadPane(HWND pane, uintptr_t flags) {
    Pane* p = PaneOf(pane);
    if (!p)
        return;
    HWND broker = Broker();
    if (!p->location.valid) {
        PostMessageW(broker, msg::kBrokerJobDone, msg::kPaneCancelled, msg::PaneLoadParam(p->index, 0));
        return;
    }
    auto request = std::make_unique<msg::LocationRequest>();
    request->kind = p->location.kind;
    request->idList = p->location.idList;
    request->path = p->location.path;
    request->pane = p->index;
    // The broker takes the record whatever it answers.
    SendMessageW(broker, msg::kBrokerStartJob, flags, reinterpret_cast<LPARAM>(request.release()));
}

void SetPaneSortMode(HWND pane, int mode) {
    Pane* p = PaneOf(pane);
    if (p && PaneIdle(*p))
        SetSortMode(*p, mode);
}

void SetPaneFilter(HWND pane, int filter) {
    if (Pane* p = PaneOf(pane))
        SetFilter(*p, filter);
}

void ScrollPane(HWND pane, int code) {
    if (Pane* p = PaneOf(pane)) {
        thumbs::ViewScroll(*p->view, code);
        thumbs::ViewScroll(*p->view, SB_ENDSCROLL);
    }
}

void RelayoutPane(HWND pane) {
    if (Pane* p = PaneOf(pane))
        thumbs::ViewGeometryChanged(*p->view);
}

std::wstring PartText(const Pane& p, int part) {
    const LRESULT info = SendMessageW(p.status, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0);
    std::wstring text(LOWORD(info) + 1u, L'\0');
    SendMessageW(p.status, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(LOWORD(info));
    return text;
}

void RestylePane(HWND pane) {
    Pane* p = PaneOf(pane);
    if (!p)
        return;
    thumbs::ViewSetLook(*p->view, p->main->font.Get(), lang::Text(30000), p->main->dpi);
    // The count and location parts say what the pane is doing; only the fixed texts are renewed.
    const std::wstring count = PartText(*p, kPartCount), location = PartText(*p, kPartLocation);
    SendMessageW(p->status, WM_SETFONT, reinterpret_cast<WPARAM>(p->main->font.Get()), FALSE);
    SetStatusParts(*p);
    SetPart(*p, kPartCount, count, true);
    SetPart(*p, kPartLocation, location, true);
    RECT rc = {};
    GetClientRect(pane, &rc);
    OnPaneSize(*p, rc.right, rc.bottom);
    InvalidateRect(p->status, nullptr, TRUE);
}

bool PreviewUnderPointer(MainWindow& w) {
    POINT pt = {};
    GetCursorPos(&pt);
    HWND under = WindowFromPoint(pt);
    for (HWND pane : w.panes) {
        Pane* p = PaneOf(pane);
        if (!p || !IsWindowVisible(pane))
            continue;
        const size_t index = thumbs::ViewItemOfWindow(*p->view, under);
        if (index == thumbs::kNoItem)
            continue;
        // The preview decodes from the file, so a cell whose thumbnail is not made yet or failed
        // is previewed too.
        const folder::ThumbItem& item = thumbs::ViewItems(*p->view).items[index];
        if (!item.cellWindow)
            return false;
        RECT cell = {};
        GetWindowRect(static_cast<HWND>(item.cellWindow), &cell);
        if (folder::IsArchiveKind(p->location.kind)) {
            folder::ArchiveEntry entry;
            entry.name = item.name;
            entry.folder = item.path;
            entry.locator = static_cast<uint32_t>(item.locator);
            folder::LocationMember member(folder::SourceFor(p->location.kind), p->location.path, entry);
            return ShowPopupPreview(w, item.path, cell, &member);
        }
        return ShowPopupPreview(w, item.path, cell);
    }
    return false;
}

PaneFacts PaneFactsOf(HWND pane) {
    PaneFacts f;
    Pane* p = PaneOf(pane);
    if (!p)
        return f;
    f.fileSystemFolder = p->location.valid && p->location.kind == folder::kFileSystemFolder;
    f.idle = PaneIdle(*p);
    f.itemCount = thumbs::ViewCount(*p->view);
    f.selectedCount = thumbs::ViewSelected(*p->view);
    f.sortMode = p->sortMode;
    f.filter = p->filter;
    f.mouseBusy = thumbs::ViewMouseBusy(*p->view);
    const size_t anchor = thumbs::ViewAnchor(*p->view);
    if (f.selectedCount == 1 && anchor < f.itemCount) {
        const folder::ThumbItem& item = thumbs::ViewItems(*p->view).items[anchor];
        f.selectedPath = item.path;
        f.selectedFormat = item.format;
    }
    return f;
}

void ToggleSelectAll(HWND pane) {
    Pane* p = PaneOf(pane);
    if (!p || !PaneIdle(*p))
        return;
    const size_t count = thumbs::ViewCount(*p->view);
    thumbs::ViewSelectAll(*p->view, thumbs::ViewSelected(*p->view) != count);
}

bool RunHandedLoad(HWND pane, DWORD boundMs) {
    const ULONGLONG end = GetTickCount64() + boundMs;
    for (;;) {
        MSG m;
        if (PeekMessageW(&m, pane, msg::kPaneLoad, msg::kPaneLoad, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(m.wParam));
                return false;
            }
            DispatchMessageW(&m);
            return true;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_POSTMESSAGE);
    }
}

void StopPane(HWND pane) {
    if (Pane* p = PaneOf(pane))
        StopOrRelease(*p);
}

void ReleasePaneView(HWND pane) {
    if (Pane* p = PaneOf(pane))
        ReleasePane(*p);
}

bool RemoveSelected(MainWindow& w, int pane) {
    Pane* p = PaneOf(w.panes[pane & 1]);
    Pane* other = PaneOf(w.panes[(pane & 1) ^ 1]);
    // The items of a running load are still being filled in; they are not removed under the worker.
    if (!p || !PaneIdle(*p))
        return false;
    const bool shared = other && SameLocation(*p, *other) && PaneIdle(*other);
    thumbs::ThumbView& v = *p->view;
    if (thumbs::ViewSelected(v) == thumbs::ViewCount(v)) {
        ReleasePane(*p);
        ShowCount(*p);
        if (shared) {
            ReleasePane(*other);
            ShowCount(*other);
        }
        return true;
    }
    if (shared) {
        // The other pane shows the same files: the same ones go there.
        folder::ThumbItemArray& mine = thumbs::ViewItems(v);
        folder::ThumbItemArray& theirs = thumbs::ViewItems(*other->view);
        size_t marked = 0;
        for (size_t j = 0; j < thumbs::ViewCount(*other->view); ++j) {
            folder::ThumbItem& t = theirs.items[j];
            t.selected = 0;
            for (size_t i = 0; i < thumbs::ViewCount(v) && !t.selected; ++i)
                if (mine.items[i].selected && mine.items[i].path == t.path)
                    t.selected = 1;
            marked += t.selected ? 1 : 0;
        }
        if (marked == thumbs::ViewCount(*other->view)) {
            ReleasePane(*other);
            ShowCount(*other);
        } else {
            thumbs::ViewCompact(*other->view);
        }
    }
    thumbs::ViewCompact(v);
    return true;
}

} // namespace ui
