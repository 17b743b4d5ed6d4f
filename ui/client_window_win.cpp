// The client window under the rebar (id 300) and the tree area on its left (id 400): a tab control
// over the folder tree (filled by the shell folder tree) and the picture-information list.
#include <windows.h>
#include <commctrl.h>

#include "app/commands.h"
#include "app/language_win.h"
#include "app/messages.h"
#include "app/plugin_state_win.h"
#include "app/program_state_win.h"
#include "fileops/archive_jobs_win.h"
#include "ui/picture_info_win.h"
#include "folder/shell_tree_win.h"
#include "ui/main_window_win.h"
#include "ui/menus_win.h"
#include "ui/browse_pane_win.h"
#include "ui/client_window_win.h"
#include "ui/file_commands_win.h"
#include "ui/drag_drop_win.h"

namespace ui {

namespace {

const wchar_t kClientClass[] = L"Quorle_client_class";
const wchar_t kTreeAreaClass[] = L"Quorle_trbase_class";

// The folder tree's way into the program: navigation through the broker, pane queries through the
// main window, the menus' look; and its options from the settings (keys 6, 7, 43, 101, 104, 106).
shelltree::TreeHost TreeHostOfProgram() {
    shelltree::TreeHost host;
    host.activePane = [] { return app::TheProgram().settings.activePane & 1; };
    host.paneShows = [](int pane, const msg::LocationRequest& location) {
        MainWindow* w = TheMainWindow();
        const folder::PaneLocation* shown = w ? PaneLocationOf(w->panes[pane & 1]) : nullptr;
        return shown && shelltree::LocationShows(*shown, location);
    };
    host.navigate = [](std::unique_ptr<msg::LocationRequest> request) {
        HWND broker = app::TheProgram().routing.broker.load();
        if (broker)
            SendMessageW(broker, msg::kBrokerStartJob, msg::kJobNavigate, reinterpret_cast<LPARAM>(request.release()));
    };
    host.showArchivesChanged = [](bool show) { app::TheProgram().settings.treeShowsArchives = show; };
    host.decorateMenu = [](HMENU menu) { menus::OwnerDraw(menu, &app::TheProgram().shortcuts.slots); };
    host.archiveJob = [](int command, folder::LocationKind kind, const std::wstring& path) {
        MainWindow* w = TheMainWindow();
        HWND owner = w ? w->hwnd : nullptr;
        if (command == cmd::kExtractArchive)
            fileops::ExtractArchiveToFolder(owner, kind, path);
        else
            fileops::PackFolderToZip(owner, path, command == cmd::kZipDeflated);
    };
    host.archiveJobPossible = [] { return fileops::ArchiveJobPossible(); };
    host.fileCommand = [](int command, folder::LocationKind kind, const std::wstring& path, const RECT& item) {
        if (MainWindow* w = TheMainWindow())
            RunTreeFileCommand(*w, command, kind, path, item);
    };
    host.offersChanges = [](const std::wstring& path) { return TreeOffersChanges(path); };
    return host;
}

shelltree::TreeOptions TreeOptionsOfProgram() {
    settings::Settings& s = app::TheProgram().settings;
    shelltree::TreeOptions o;
    o.rootFoldersCaption = lang::Text(404);
    o.expandDesktop = s.treeOption43;
    o.expandRootFolders = s.treeOption106;
    o.showHidden = s.hiddenAttributeMask == 0;
    o.showArchives = s.treeShowsArchives;
    o.roots = &s.treeRoots;
    o.pluginExtensions = app::ArchivePluginExtensions();
    return o;
}

constexpr UINT_PTR kHoverSubclassId = 2;
// The folder tree is filled when the first screen of thumbnails is out, or when nothing is to be
// loaded, and at the latest this long after the window is made.
constexpr UINT_PTR kFillTreeBoundTimer = 1;
constexpr UINT kFillTreeBoundMs = 2500;
constexpr UINT_PTR kFillTreeSoonTimer = 2;
// Armed once: results keep coming, and setting the timer again would put the fill off each time.
bool g_fillSoonArmed = false;

app::Program& P() { return app::TheProgram(); }

HWND Child(HWND parent, int id) { return GetDlgItem(parent, id); }

// The folder tree and the information list take the keyboard as soon as the pointer is over them,
// so their own keys are not taken for shortcuts; leaving hands the keyboard back to the active pane.
// Only the control that suspended the accelerators resumes them: the version box suspends them too.
HWND g_hoverOwner = nullptr;

void EndHover(MainWindow& w, bool returnFocus) {
    HWND owner = g_hoverOwner;
    if (!owner)
        return;
    g_hoverOwner = nullptr;
    P().acceleratorsSuspended = 0;
    // The keyboard goes back only if the control still has it; a dialog opened meanwhile keeps it.
    if (returnFocus && GetFocus() == owner)
        SetFocus(PaneFocusTarget(w.panes[P().settings.activePane & 1]));
}

LRESULT CALLBACK HoverFocusSubclass(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    MainWindow* w = reinterpret_cast<MainWindow*>(ref);
    switch (message) {
    case WM_MOUSEMOVE:
        if (w->active && !P().acceleratorsSuspended && !g_hoverOwner && IsWindowVisible(hwnd)) {
            P().acceleratorsSuspended = 1;
            g_hoverOwner = hwnd;
            SetFocus(hwnd);
            TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, hwnd, 0};
            TrackMouseEvent(&track);
        }
        break;
    case WM_MOUSELEAVE:
        if (g_hoverOwner == hwnd)
            EndHover(*w, true);
        break;
    case WM_SHOWWINDOW:
        // A control hidden under the pointer (the other tab, the tree area switched off) gets no
        // WM_MOUSELEAVE; the accelerators would stay off.
        if (!wp && g_hoverOwner == hwnd)
            EndHover(*w, true);
        break;
    case WM_NCDESTROY:
        if (g_hoverOwner == hwnd)
            EndHover(*w, false);
        break;
    }
    return DefSubclassProc(hwnd, message, wp, lp);
}

// Shows the folder tree on the first tab and the picture-information list on the second.
void ShowTab(HWND area, int tab) {
    ShowWindow(Child(area, kIdFolderTree), tab == 0 ? SW_SHOW : SW_HIDE);
    ShowWindow(Child(area, kIdPictureInfo), tab == 0 ? SW_HIDE : SW_SHOW);
}

void LayoutTreeArea(HWND area, int width, int height) {
    HWND tabs = Child(area, kIdTreeTabs);
    const MainWindow* w = TheMainWindow();
    const int inner = layout::TreeInnerWidth(width, w ? w->dpi : dpi::kBase);
    RECT display = {0, 0, inner, height};
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    const int tabHeight = display.top;
    MoveWindow(tabs, 0, 0, inner, tabHeight, TRUE);
    const int y = tabHeight + 1;
    const int rest = height - y > 0 ? height - y : 0;
    MoveWindow(Child(area, kIdFolderTree), 0, y, inner, rest, TRUE);
    MoveWindow(Child(area, kIdPictureInfo), 0, y, inner, rest, TRUE);
}

void SetTabCaptions(HWND tabs, bool insert) {
    const UINT captions[2] = {402, 403};
    for (int i = 0; i < 2; ++i) {
        std::wstring text = lang::Text(captions[i]);
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = &text[0];
        SendMessageW(tabs, insert ? TCM_INSERTITEMW : TCM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
}

bool CreateTreeAreaChildren(HWND area, MainWindow& w) {
    HFONT font = w.font.Get();
    HINSTANCE instance = P().instance;
    HWND tabs = CreateWindowExW(0, WC_TABCONTROLW, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0, area,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdTreeTabs)), instance, nullptr);
    HWND tree = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, nullptr,
                                WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                    TVS_SHOWSELALWAYS,
                                0, 0, 0, 0, area, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdFolderTree)),
                                instance, nullptr);
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTBOXW, nullptr,
                                WS_CHILD | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, 0, 0, 0, 0, area,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdPictureInfo)), instance, nullptr);
    if (!tabs || !tree || !list)
        return false;
    for (HWND h : {tabs, tree, list})
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetTabCaptions(tabs, true);
    ShowTab(area, 0);
    SetWindowSubclass(tree, HoverFocusSubclass, kHoverSubclassId, reinterpret_cast<DWORD_PTR>(&w));
    SetWindowSubclass(list, HoverFocusSubclass, kHoverSubclassId, reinterpret_cast<DWORD_PTR>(&w));
    // Without a tree object (its worker could not start) the control stays empty. The shell's icons
    // and the desktop's enumeration would hold up the first screen of thumbnails: the roots come
    // after it (FillFolderTreeSoon), the timer being the bound.
    if (shelltree::BindRoots(tree, TreeOptionsOfProgram(), TreeHostOfProgram())) {
        g_fillSoonArmed = false;
        SetTimer(area, kFillTreeBoundTimer, kFillTreeBoundMs, nullptr);
    }
    return true;
}

LRESULT CALLBACK TreeAreaProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_CREATE: {
        MainWindow* w = reinterpret_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        return CreateTreeAreaChildren(hwnd, *w) ? 0 : -1;
    }
    case WM_SIZE:
        LayoutTreeArea(hwnd, LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_TIMER:
        if (wp == kFillTreeBoundTimer || wp == kFillTreeSoonTimer) {
            KillTimer(hwnd, kFillTreeBoundTimer);
            KillTimer(hwnd, kFillTreeSoonTimer);
            g_fillSoonArmed = false;
            shelltree::FillRoots();
        }
        return 0;
    case WM_NOTIFY: {
        NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr->idFrom == kIdTreeTabs && hdr->code == TCN_SELCHANGE)
            ShowTab(hwnd, static_cast<int>(SendMessageW(hdr->hwndFrom, TCM_GETCURSEL, 0, 0)));
        if (hdr->idFrom == kIdFolderTree && hdr->code == TVN_BEGINDRAGW) {
            if (MainWindow* w = TheMainWindow())
                BeginTreeDrag(*w, *reinterpret_cast<const NMTREEVIEWW*>(hdr));
            return 0;
        }
        if (hdr->idFrom == kIdFolderTree) {
            bool handled = false;
            const LRESULT result = shelltree::OnTreeNotify(hdr, &handled);
            if (handled)
                return result;
        }
        return 0;
    }
    case WM_MEASUREITEM:
        // The context menus of the tree and the list are owned by this window.
        return menus::MeasureMenuItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lp));
    case WM_DRAWITEM:
        return menus::DrawMenuItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    case WM_CONTEXTMENU: {
        const POINT at = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        HWND from = reinterpret_cast<HWND>(wp);
        if (from == Child(hwnd, kIdFolderTree))
            shelltree::ShowTreeMenu(hwnd, at);
        else if (from == Child(hwnd, kIdPictureInfo))
            shelltree::ShowInfoMenu(hwnd, at, [hwnd] { ChoosePictureInfoItems(*TheMainWindow(), hwnd); });
        return 0;
    }
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

LRESULT OnClientCreate(HWND hwnd, MainWindow& w) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    const settings::Settings& s = P().settings;
    const layout::PaneRects rects =
        layout::ComputePaneRects(rc.right, rc.bottom, s.treeWidth, s.treeHidden, s.paneLayout, w.dpi);
    // Both panes start hidden; the first layout shows the ones in use.
    for (int i = 0; i < 2; ++i) {
        w.panes[i] = CreateBrowsePane(w, i, rects.pane[i]);
        if (!w.panes[i])
            return -1;
    }
    w.treeArea = CreateWindowExW(0, kTreeAreaClass, nullptr,
                                 WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (s.treeHidden ? 0 : WS_VISIBLE), 0, 0,
                                 Scaled(w, s.treeWidth), rc.bottom, hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdTreeArea)), P().instance, &w);
    return w.treeArea ? 0 : -1;
}

LRESULT CALLBACK ClientProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    MainWindow* w = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE:
        w = reinterpret_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
        w->client = hwnd;
        break;
    case WM_CREATE:
        return OnClientCreate(hwnd, *w);
    case WM_SIZE:
        if (w)
            LayoutClient(*w);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

bool Register(HINSTANCE instance, const wchar_t* name, WNDPROC proc, UINT extraStyle, HBRUSH background) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | extraStyle;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

} // namespace

bool RegisterBrowsePaneClasses(HINSTANCE instance);
bool RegisterPopupPreviewClass(HINSTANCE instance);

bool RegisterFrameClasses(HINSTANCE instance) {
    HBRUSH face = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    return RegisterMainClass(instance) && Register(instance, kClientClass, ClientProc, 0, face) &&
           Register(instance, kTreeAreaClass, TreeAreaProc, 0, face) && RegisterBrowsePaneClasses(instance) &&
           RegisterPopupPreviewClass(instance);
}

HWND CreateClientWindow(MainWindow& w, const RECT& rect) {
    return CreateWindowExW(0, kClientClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                           rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, w.hwnd,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdClient)), P().instance, &w);
}

void FillFolderTreeSoon(MainWindow& w) {
    // A timer message comes only when no other message and no painting is waiting: the pictures
    // just made are on the screen before the tree takes the thread.
    if (w.treeArea && !g_fillSoonArmed && !shelltree::RootsFilled())
        g_fillSoonArmed = SetTimer(w.treeArea, kFillTreeSoonTimer, USER_TIMER_MINIMUM, nullptr) != 0;
}

void SwitchTreeTab(MainWindow& w) {
    HWND tabs = Child(w.treeArea, kIdTreeTabs);
    if (!tabs)
        return;
    const int tab = SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == 0 ? 1 : 0;
    SendMessageW(tabs, TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
    ShowTab(w.treeArea, tab);
}

void RestyleTreeArea(MainWindow& w) {
    if (!w.treeArea)
        return;
    for (int id : {kIdTreeTabs, kIdFolderTree, kIdPictureInfo})
        if (HWND h = Child(w.treeArea, id))
            SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(w.font.Get()), TRUE);
    if (HWND tabs = Child(w.treeArea, kIdTreeTabs))
        SetTabCaptions(tabs, false);
    RECT rc = {};
    GetClientRect(w.treeArea, &rc);
    LayoutTreeArea(w.treeArea, rc.right, rc.bottom);
}

void RemoveTreeSubclasses(MainWindow& w) {
    if (!w.treeArea)
        return;
    EndHover(w, false);
    for (int id : {kIdFolderTree, kIdPictureInfo})
        if (HWND child = Child(w.treeArea, id))
            RemoveWindowSubclass(child, HoverFocusSubclass, kHoverSubclassId);
}

void LayoutClient(MainWindow& w) {
    if (!w.client || !w.panes[0] || !w.panes[1])
        return;
    RECT rc;
    GetClientRect(w.client, &rc);
    const settings::Settings& s = P().settings;
    // Key 8 keeps the tree width at 96 dpi.
    MoveWindow(w.treeArea, 0, 0, Scaled(w, s.treeWidth), rc.bottom, TRUE);
    const layout::PaneRects rects =
        layout::ComputePaneRects(rc.right, rc.bottom, s.treeWidth, s.treeHidden, s.paneLayout, w.dpi);
    for (int i = 0; i < 2; ++i) {
        const layout::Rect& r = rects.pane[i];
        MoveWindow(w.panes[i], r.left, r.top, r.Width(), r.Height(), TRUE);
        ShowWindow(w.panes[i], rects.visible[i] ? SW_SHOW : SW_HIDE);
    }
    InvalidateRect(w.client, nullptr, TRUE);
}

} // namespace ui
