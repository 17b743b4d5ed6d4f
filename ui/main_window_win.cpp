#include "ui/main_window_win.h"

#include <shellapi.h>
#include <windowsx.h>
#include <shlwapi.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "app/language_win.h"
#include "common/dpi_win.h"
#include "app/messages.h"
#include "app/broker.h"
#include "app/program_state_win.h"
#include "folder/shell_tree_win.h"
#include "image/decoded_image.h"
#include "thumbs/thumb_view_win.h"
#include "ui/commands.h"
#include "ui/handover_win.h"
#include "ui/print_dialog_win.h"
#include "ui/help_win.h"
#include "ui/menu_bar_win.h"
#include "ui/menu_states.h"
#include "ui/menus_win.h"
#include "ui/open_path_win.h"
#include "ui/options_dialog_win.h"
#include "ui/browse_pane_win.h"
#include "ui/cache_maintenance_win.h"
#include "ui/drag_drop_win.h"
#include "ui/client_window_win.h"
#include "ui/file_commands_win.h"
#include "ui/popup_preview_win.h"
#include "ui/size_box_win.h"
#include "ui/toolbars_win.h"
#include "ui/version_box_win.h"

namespace ui {

namespace {

const wchar_t kMainClass[] = L"Quorle_main_class";
// "The language file could not be loaded; the current language stays in use."
constexpr UINT kLanguageNotLoadedText = 20515;
// How long the first load may keep the window from showing while its worker hands it over (a
// message round trip through two threads); a later one runs from the message loop as usual.
constexpr DWORD kFirstLoadWaitMs = 100;

MainWindow* g_main = nullptr;

app::Program& P() { return app::TheProgram(); }

HWND Broker() { return P().routing.broker.load(); }

void MeasureFont(MainWindow& w) {
    win::WindowDC dc(w.hwnd);
    win::SelectObjectScope select(dc.Get(), w.font.Get());
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc.Get(), &tm);
    SIZE digit = {};
    GetTextExtentPoint32W(dc.Get(), L"0", 1, &digit);
    w.textHeight = tm.tmHeight;
    w.itemHeight = layout::MenuItemHeight(tm.tmHeight, w.dpi);
    w.digitWidth = digit.cx;
    w.checkWidth = layout::MenuCheckColumn(dpi::SystemMetric(SM_CXMENUCHECK, w.dpi), w.dpi);
    w.buttonHeight = layout::ButtonHeight(w.textHeight, w.dpi);
}

void CreateUiFont(MainWindow& w) {
    const settings::Settings& s = P().settings;
    LOGFONTW lf = {};
    // Key 56 holds a height at 96 dpi (-12, -14, -16): the same point size on every screen.
    lf.lfHeight = dpi::FontHeight(s.fontHeight, w.dpi);
    lf.lfWeight = s.fontWeight;
    lf.lfCharSet = DEFAULT_CHARSET;
    s.fontFace.copy(lf.lfFaceName, s.fontFace.size() < 31 ? s.fontFace.size() : 31);
    w.font.Reset(CreateFontIndirectW(&lf));
}

int RebarHeight(const MainWindow& w) {
    RECT r = {};
    GetWindowRect(w.rebar, &r);
    return r.bottom - r.top;
}

void PlaceClient(MainWindow& w) {
    RECT rc;
    GetClientRect(w.hwnd, &rc);
    const int top = RebarHeight(w);
    MoveWindow(w.client, 0, top, rc.right, rc.bottom - top > 0 ? rc.bottom - top : 0, TRUE);
}

// Shown with the texts of the module that stays in use.
void TellLanguageNotLoaded(HWND owner, const std::wstring& language) {
    std::wstring text = lang::Text(kLanguageNotLoadedText);
    text += L"\n\n";
    text += language;
    const std::wstring caption = lang::Text(30000);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    MessageBoxW(owner, text.c_str(), caption.c_str(), MB_SETFOREGROUND | MB_ICONERROR);
}

// The rebar and its toolbars are made again with the current font and texts.
void RebuildRebar(MainWindow& w) {
    RemoveToolbarSubclasses(w);
    if (w.commandBar)
        SendMessageW(w.commandBar, TB_SETIMAGELIST, 0, 0);
    // Destroying the rebar takes the toolbars and the size box with it.
    if (w.rebar)
        DestroyWindow(w.rebar);
    if (w.tooltip)
        DestroyWindow(w.tooltip);
    w.rebar = w.menuBar = w.commandBar = w.sizeBox = w.tooltip = nullptr;
    w.commandImages.Reset();
    w.menuBarState = menubar::State();
    if (CreateRebar(w))
        UpdateToolbarChecks(w);
}

void OnSize(MainWindow& w, WPARAM kind);

// A new user-interface font or language: every window that borrowed the old font takes the new one
// before the old one is deleted.
void Restyle(MainWindow& w) {
    win::Font old = std::move(w.font);
    CreateUiFont(w);
    if (!w.font)
        w.font = std::move(old);
    MeasureFont(w);
    menus::SetMenuMetrics(w.font.Get(), w.checkWidth, w.itemHeight);
    BuildProgramMenus(P());
    RebuildRebar(w);
    RestyleTreeArea(w);
    for (HWND pane : w.panes)
        RestylePane(pane);
    OnSize(w, SIZE_RESTORED);
    UpdateTitle(w);
    RedrawWindow(w.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

LRESULT OnCreate(MainWindow& w) {
    w.dpi = dpi::OfWindow(w.hwnd);
    CreateUiFont(w);
    MeasureFont(w);
    menus::SetMenuMetrics(w.font.Get(), w.checkWidth, w.itemHeight);
    if (!CreateRebar(w))
        return -1;
    UpdateToolbarChecks(w);
    RECT rc;
    GetClientRect(w.hwnd, &rc);
    rc.top = RebarHeight(w);
    w.client = CreateClientWindow(w, rc);
    if (!w.client)
        return -1;
    w.popup = CreatePopupPreview(w);
    for (int i = 0; i < 2; ++i)
        SetPaneActiveLook(w.panes[i], i == (P().settings.activePane & 1));
    UpdateTitle(w);
    return 0;
}

// The window moved to a monitor of another dpi (or the monitor's scale changed): it takes the
// rectangle the system suggests, then fonts, images, the rebar, the tree area and the panes are made
// again for the new dpi. Thumbnails stay as they are: the box is in pixels of the picture.
void OnDpiChanged(MainWindow& w, int newDpi, const RECT* suggested) {
    w.dpi = dpi::Sane(newDpi);
    if (suggested)
        SetWindowPos(w.hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    Restyle(w);
    LayoutClient(w);
}

void OnSize(MainWindow& w, WPARAM kind) {
    if (kind == SIZE_MINIMIZED || !w.rebar)
        return;
    SendMessageW(w.rebar, WM_SIZE, 0, 0);
    if (SendMessageW(w.rebar, RB_GETROWCOUNT, 0, 0) == 1)
        SendMessageW(w.rebar, RB_MAXIMIZEBAND, 0, 0);
    PlaceClient(w);
}

void SetLayout(MainWindow& w, int paneLayout) {
    P().settings.paneLayout = paneLayout;
    LayoutClient(w);
    // A hidden pane cannot stay the active one.
    if (paneLayout == layout::kLayoutPane1)
        ActivatePane(w, 0);
    else if (paneLayout == layout::kLayoutPane2)
        ActivatePane(w, 1);
    else
        UpdateToolbarChecks(w);
}

int ThumbAreaWidth(const MainWindow& w) {
    RECT rc = {};
    GetClientRect(PaneFocusTarget(w.panes[0]), &rc);
    return rc.right;
}

constexpr int kScrollCodes[6] = {SB_TOP, SB_BOTTOM, SB_PAGEUP, SB_PAGEDOWN, SB_LINEUP, SB_LINEDOWN};

// Sorting waits until neither pane is producing, then changes both.
void SortBothPanes(MainWindow& w, int mode) {
    if (!SendMessageW(Broker(), msg::kBrokerPaneIdle, 0, 2))
        return;
    for (HWND pane : w.panes)
        SetPaneSortMode(pane, mode);
}

// The thumbnail box that shows n across pane 1's grid.
void FitAcross(MainWindow& w, int n) {
    settings::Settings& s = P().settings;
    const thumbs::BoxSize box =
        thumbs::FitAcrossBox(ThumbAreaWidth(w), n, s.thumbBorder ? dpi::SystemMetric(SM_CXEDGE, w.dpi) : 0);
    if (box.width == s.thumbWidth && box.height == s.thumbHeight)
        return;
    s.thumbWidth = box.width;
    s.thumbHeight = box.height;
    RefreshSizeBox(w);
    ReloadPanes(w, msg::kLoadReload);
}

// A keyboard shortcut waits for no mouse work: it is dropped while a gesture or drag is under way.
bool MouseBusy(const MainWindow& w) {
    if (DragStateNow() != 0)
        return true;
    for (HWND pane : w.panes)
        if (pane && PaneFactsOf(pane).mouseBusy)
            return true;
    return false;
}

HWND ActivePane(const MainWindow& w) { return w.panes[P().settings.activePane & 1]; }

void OnCommand(MainWindow& w, int id, bool byAccelerator) {
    settings::Settings& s = P().settings;
    if (byAccelerator) {
        if (MouseBusy(w))
            return;
        ClosePopupPreview(w);
    }
    if (!cmd::CarriedOut(id))
        return;
    switch (id) {
    case cmd::kReload:
        ReloadPanes(w, msg::kLoadReload);
        break;
    case cmd::kStop:
        StopPanes(w);
        break;
    case cmd::kForcedReload:
        if (s.cacheEnabled)
            ReloadPanes(w, msg::kLoadReload | msg::kLoadForced);
        break;
    case cmd::kFitAcrossBase + 2:
    case cmd::kFitAcrossBase + 3:
    case cmd::kFitAcrossBase + 4:
    case cmd::kFitAcrossBase + 6:
    case cmd::kFitAcrossBase + 8:
    case cmd::kFitAcrossBase + 12:
    case cmd::kFitAcrossBase + 20:
        FitAcross(w, id - cmd::kFitAcrossBase);
        break;
    case cmd::kToggleHidden:
        // The panes show the change at their next load; the tree at once.
        s.hiddenAttributeMask = s.hiddenAttributeMask ? 0 : 2;
        shelltree::SetShowHidden(s.hiddenAttributeMask == 0);
        break;
    case cmd::kExit:
        PostMessageW(w.hwnd, WM_CLOSE, 0, 0);
        break;
    case cmd::kToggleTree:
        s.treeHidden = !s.treeHidden;
        ShowWindow(w.treeArea, s.treeHidden ? SW_HIDE : SW_SHOW);
        LayoutClient(w);
        UpdateToolbarChecks(w);
        break;
    case cmd::kPane1Only:
        SetLayout(w, layout::kLayoutPane1);
        break;
    case cmd::kPane2Only:
        SetLayout(w, layout::kLayoutPane2);
        break;
    case cmd::kBothPanes:
        SetLayout(w, layout::kLayoutBoth);
        break;
    case cmd::kOtherPane:
        SetLayout(w, layout::kLayoutBoth);
        ActivatePane(w, s.activePane ^ 1);
        break;
    case cmd::kCaptions:
        s.showCaptions = !s.showCaptions;
        UpdateToolbarChecks(w);
        for (HWND pane : w.panes)
            RelayoutPane(pane);
        break;
    case cmd::kPreviewUnderPointer:
        PreviewUnderPointer(w);
        break;
    case cmd::kPreviewOnClick:
        s.clickOpensPreview = !s.clickOpensPreview;
        UpdateToolbarChecks(w);
        break;
    case cmd::kSelectAll:
        ToggleSelectAll(ActivePane(w));
        break;
    case cmd::kDelete:
        DeleteSelectedItems(w);
        break;
    case cmd::kRename:
        RenameFocusedItem(w);
        break;
    case cmd::kEditComment:
        EditFocusedComment(w);
        break;
    case cmd::kProperties: {
        const PaneFacts f = PaneFactsOf(ActivePane(w));
        if (f.fileSystemFolder && f.selectedCount == 1 && !f.selectedPath.empty())
            help::ShowProperties(w.hwnd, f.selectedPath);
        break;
    }
    case cmd::kHelp:
        help::OpenHelp(w.hwnd, app::ExecutablePath(), help::kProgramHelpPage);
        break;
    case cmd::kViewerHelp:
        help::OpenHelp(w.hwnd, s.viewerPath, help::kViewerHelpPage);
        break;
    case cmd::kSwitchTreeTab:
        SwitchTreeTab(w);
        break;
    case cmd::kAbout:
        ShowVersionBox(w.hwnd, w.font.Get());
        break;
    case cmd::kCaptionLines:
        OpenToolbarDropDown(w, cmd::kCaptionLines);
        break;
    case cmd::kPrint:
        RunPrintCommand(w);
        break;
    case cmd::kOptions:
        RunOptionsCommand(w);
        break;
    default:
        if (RunHandoverCommand(w, id))
            break;
        if (id >= cmd::kSortFirst && id < cmd::kSortFirst + 6)
            SortBothPanes(w, id - cmd::kSortFirst);
        else if (id >= cmd::kFilterFirst && id < cmd::kFilterFirst + 6)
            for (HWND pane : w.panes)
                SetPaneFilter(pane, id - cmd::kFilterFirst);
        else if (id >= cmd::kScrollFirst && id < cmd::kScrollFirst + 6)
            ScrollPane(w.panes[s.activePane & 1], kScrollCodes[id - cmd::kScrollFirst]);
        // Any other id (the context menus' own, sub-menu headers) does nothing here.
        break;
    }
}

// End-to-end tests reach what otherwise only the options dialog reaches (live font and language
// changes, the cache folder, the cache maintenance dialog) through WM_COPYDATA with this tag. It works
// only when the process was started with QUORLE_TEST_HOOKS=1, so no other program can use it. The
// text is held here and run from a posted message, so a dialog it opens never holds up the sender.
constexpr ULONG_PTR kTestHookTag = 0x51544831;
constexpr UINT kMainRunTestHook = WM_APP + 0x300;
std::wstring g_testHook;

bool TestHooksEnabled() {
    static const bool enabled = [] {
        wchar_t value[4] = {};
        return GetEnvironmentVariableW(L"QUORLE_TEST_HOOKS", value, 4) == 1 && value[0] == L'1';
    }();
    return enabled;
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

// "look" language face height weight large-dialog-font (0/1); "cachefolder" path; "cache".
void RunTestHook(MainWindow& w) {
    const std::vector<std::wstring> args = SplitLines(std::exchange(g_testHook, std::wstring()));
    app::Program& p = P();
    if (args[0] == L"look" && args.size() == 6) {
        p.settings.largeDialogFont = args[5] == L"1";
        ApplyLanguageAndFont(p, &w, args[1], args[2], _wtoi(args[3].c_str()), _wtoi(args[4].c_str()));
    } else if (args[0] == L"cachefolder" && args.size() == 2) {
        ApplyCacheFolder(p, &w, args[1]);
    } else if (args[0] == L"cache") {
        ShowCacheMaintenance(w.hwnd, p);
    }
}

// The single-instance handoff: a path of at most 260 units; the sender's block is not trusted to
// be terminated.
LRESULT OnCopyData(MainWindow& w, const COPYDATASTRUCT* cds) {
    if (!IsWindowEnabled(w.hwnd) || !cds || !cds->lpData || cds->cbData < sizeof(wchar_t))
        return 1;
    if (cds->dwData == kTestHookTag) {
        if (TestHooksEnabled() && g_testHook.empty() && cds->cbData < 4096) {
            g_testHook.assign(static_cast<const wchar_t*>(cds->lpData), cds->cbData / sizeof(wchar_t));
            g_testHook.resize(std::min(g_testHook.size(), g_testHook.find(L'\0')));
            PostMessageW(w.hwnd, kMainRunTestHook, 0, 0);
        }
        return 1;
    }
    const wchar_t* text = static_cast<const wchar_t*>(cds->lpData);
    size_t units = cds->cbData / sizeof(wchar_t);
    if (units > 260)
        units = 260;
    size_t length = 0;
    while (length < units && text[length])
        ++length;
    if (length)
        OpenPath(std::wstring(text, length));
    return 1;
}

// The path named on the command line, or nothing.
std::wstring CommandLinePath() {
    int argc = 0;
    win::LocalMemory<LPWSTR*> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    return argv.Get() && argc >= 2 ? std::wstring(argv.Get()[1]) : std::wstring();
}

void TakeCommandLine(MainWindow& w) {
    if (w.commandLineTaken || !w.workers[0] || !w.workers[1])
        return;
    w.commandLineTaken = true;
    const std::wstring path = CommandLinePath();
    if (!path.empty() && PathFileExistsW(path.c_str()))
        OpenPath(path);
    else
        FillFolderTreeSoon(w); // no first screen to make way for
}

// A folder on a local disk is listed in a moment, so the window may wait for it before it is first
// shown. A network share, a removable disk or an archive may take long: the window shows first.
bool ListsQuickly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    wchar_t root[MAX_PATH] = {};
    if (!GetVolumePathNameW(path.c_str(), root, MAX_PATH))
        return false;
    const UINT type = GetDriveTypeW(root);
    return type == DRIVE_FIXED || type == DRIVE_RAMDISK;
}

void OnWorkerReady(MainWindow& w, HWND worker, LPARAM index) {
    w.workers[index & 1] = worker;
    TakeCommandLine(w);
}

void OnClose(MainWindow& w) {
    if (!SendMessageW(Broker(), msg::kBrokerCanClose, 0, 0))
        return;
    if (w.tearDown)
        w.tearDown(w);
    DestroyWindow(w.hwnd);
}

void OnEndSession(MainWindow& w, WPARAM ending) {
    if (!ending)
        return;
    SendMessageW(Broker(), msg::kBrokerCanClose, 1, 0);
    if (w.tearDown)
        w.tearDown(w);
}

void OnMouseWheel(MainWindow& w, WPARAM wp, LPARAM lp) {
    if (P().acceleratorsSuspended || GET_KEYSTATE_WPARAM(wp) != 0)
        return;
    POINT pt = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    HWND under = WindowFromPoint(pt);
    for (HWND pane : w.panes)
        if (under && (under == pane || IsChild(pane, under)))
            SendMessageW(PaneFocusTarget(pane), WM_MOUSEWHEEL, wp, lp);
}

void OnDrawItem(MainWindow& w, const DRAWITEMSTRUCT* dis) {
    if (dis->CtlType == ODT_MENU)
        menus::DrawMenuItem(dis);
    else if (dis->CtlID == kIdSizeBox)
        OnSizeBoxDraw(w, dis);
}

void OnMeasureItem(MainWindow& w, MEASUREITEMSTRUCT* mis) {
    if (mis->CtlType == ODT_MENU)
        menus::MeasureMenuItem(mis);
    else if (mis->CtlID == kIdSizeBox)
        OnSizeBoxMeasure(w, mis);
}

bool Admitted(uint32_t code, const std::wstring* path) {
    return SendMessageW(Broker(), msg::kBrokerAcquire, code | broker::kCodeTestOnly, reinterpret_cast<LPARAM>(path)) != 0;
}

menus::MenuFacts GatherFacts(MainWindow& w) {
    const settings::Settings& s = P().settings;
    const int active = s.activePane & 1;
    const PaneFacts pane = PaneFactsOf(w.panes[active]);
    menus::MenuFacts f;
    f.fileSystemFolder = pane.fileSystemFolder;
    f.itemCount = pane.itemCount;
    f.selectedCount = pane.selectedCount;
    f.paneBusy = !pane.idle;
    f.busyFlagFree = SendMessageW(Broker(), msg::kBrokerBusyFlag, 2, 0) != 0;
    const auto format = static_cast<image::ImageFormat>(pane.selectedFormat);
    f.selectedIsPngOrJpeg = pane.selectedCount == 1 && (format == image::ImageFormat::Png || format == image::ImageFormat::Jpeg);
    const uint32_t paneBit = static_cast<uint32_t>(active) & broker::kCodePaneBit;
    if (pane.fileSystemFolder && pane.selectedCount == 1)
        f.renameAdmitted = Admitted(broker::kClassPath | paneBit, &pane.selectedPath);
    if (pane.fileSystemFolder && pane.selectedCount > 0)
        f.deleteAdmitted = Admitted(broker::kClassPane | paneBit, nullptr);
    f.printAdmitted = Admitted(broker::kClassProgram, nullptr);
    f.optionsAdmitted = f.printAdmitted;
    f.viewerExists = !s.viewerPath.empty() && platform::FileExists(s.viewerPath);
    f.sortMode = pane.sortMode;
    f.filter = pane.filter;
    f.sortPaneBusy = SendMessageW(Broker(), msg::kBrokerPaneIdle, 0, 2) == 0;
    f.treeHidden = s.treeHidden;
    f.paneLayout = s.paneLayout;
    f.previewOnClick = s.clickOpensPreview;
    f.captions = s.showCaptions;
    f.cacheEnabled = s.cacheEnabled;
    f.hiddenShown = s.hiddenAttributeMask == 0;
    return f;
}

void OnInitMenuPopup(MainWindow& w, HMENU menu) {
    if (menus::PopupIndexOf(menu) >= 0)
        menus::ApplyStates(menu, GatherFacts(w));
}

void OnControlCommand(MainWindow& w, int id, int code) {
    if (id == kIdSizeBox && code == CBN_CLOSEUP)
        OnSizeBoxCloseUp(w);
}

LRESULT OnNotify(MainWindow& w, NMHDR* hdr) {
    if (hdr->hwndFrom == w.rebar && hdr->code == RBN_HEIGHTCHANGE) {
        PlaceClient(w);
        return 0;
    }
    LRESULT result = 0;
    if (OnMenuBarNotify(w, hdr, &result))
        return result;
    if (hdr->hwndFrom == w.commandBar && hdr->code == TBN_DROPDOWN) {
        OpenToolbarDropDown(w, reinterpret_cast<NMTOOLBARW*>(hdr)->iItem);
        return TBDDRET_DEFAULT;
    }
    return OnToolbarNotify(w, hdr);
}

// A path dropped from outside onto the frame opens in the active pane like a second instance's.
void OnDropFiles(MainWindow& w, HDROP drop) {
    if (IsWindowEnabled(w.hwnd) && DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
        const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        if (DragQueryFileW(drop, 0, &path[0], length + 1) == length) {
            path.resize(length);
            SetForegroundWindow(w.hwnd);
            OpenPath(path);
        }
    }
    DragFinish(drop);
}

void OnActivateApp(MainWindow& w, bool active) {
    if (active) {
        folder::EndWatch(w.watch);
        CheckPanes(w);
        return;
    }
    const folder::PaneLocation* locations[2] = {PaneLocationOf(w.panes[0]), PaneLocationOf(w.panes[1])};
    folder::WatchFolders(w.watch, locations);
}

void OnDestroy(MainWindow& w) {
    ClosePopupPreview(w);
    PostQuitMessage(0);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    MainWindow* w = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        w = reinterpret_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        w->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
    }
    if (!w)
        return DefWindowProcW(hwnd, message, wp, lp);
    switch (message) {
    case WM_CREATE:
        return OnCreate(*w);
    case WM_SIZE:
        OnSize(*w, wp);
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(*w, LOWORD(wp), reinterpret_cast<const RECT*>(lp));
        return 0;
    case WM_ACTIVATE:
        w->active = LOWORD(wp) != WA_INACTIVE;
        break;
    case WM_ACTIVATEAPP:
        OnActivateApp(*w, wp != 0);
        return 0;
    case WM_SETFOCUS:
        SetFocus(PaneFocusTarget(w->panes[P().settings.activePane & 1]));
        return 0;
    case WM_WININICHANGE:
        app::MeasureFrame(P());
        break;
    case WM_MOUSEWHEEL:
        OnMouseWheel(*w, wp, lp);
        return 0;
    case WM_DRAWITEM:
        OnDrawItem(*w, reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        return TRUE;
    case WM_MEASUREITEM:
        OnMeasureItem(*w, reinterpret_cast<MEASUREITEMSTRUCT*>(lp));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(*w, reinterpret_cast<NMHDR*>(lp));
    case WM_COMMAND:
        if (LOWORD(wp) >= cmd::kMenuFile)
            OnCommand(*w, LOWORD(wp), HIWORD(wp) == 1);
        else
            OnControlCommand(*w, LOWORD(wp), HIWORD(wp));
        return 0;
    case WM_DROPFILES:
        OnDropFiles(*w, reinterpret_cast<HDROP>(wp));
        return 0;
    case WM_COPYDATA:
        return OnCopyData(*w, reinterpret_cast<const COPYDATASTRUCT*>(lp));
    case WM_CLOSE:
        OnClose(*w);
        return 0;
    case WM_ENDSESSION:
        OnEndSession(*w, wp);
        return 0;
    case WM_DESTROY:
        OnDestroy(*w);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (g_main == w)
            g_main = nullptr;
        delete w;
        break;
    case msg::kMainWorkerReady:
        OnWorkerReady(*w, reinterpret_cast<HWND>(wp), lp);
        return 0;
    case kMainRunTestHook:
        RunTestHook(*w);
        return 0;
    case msg::kMainOpenMenu:
        OpenMenuBarMenu(*w, static_cast<int>(lp), false);
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(*w, reinterpret_cast<HMENU>(wp));
        return 0;
    case WM_MENUSELECT:
        OnMenuBarMenuSelect(*w, wp, lp);
        break;
    case WM_MENUCHAR: {
        LRESULT result = 0;
        if (OnMenuBarMenuChar(*w, wp, lp, &result))
            return result;
        break;
    }
    case WM_SYSCOMMAND:
        OnMenuBarSysCommand(*w, wp, lp);
        break;
    case WM_EXITMENULOOP:
        OnMenuBarExitMenuLoop(*w);
        break;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

layout::Rect WorkAreaNear(const layout::Rect& r) {
    RECT rect = {r.left, r.top, r.right, r.bottom};
    MONITORINFO mi = {};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &mi);
    return {mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom};
}

} // namespace

bool RegisterMainClass(HINSTANCE instance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(100));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainClass;
    return RegisterClassExW(&wc) != 0;
}

HWND CreateMainWindow(HINSTANCE instance, std::function<void(MainWindow&)> tearDown) {
    const settings::Settings& s = P().settings;
    const layout::Rect saved96 = layout::FromSize(s.windowLeft, s.windowTop, s.windowWidth, s.windowHeight);
    // The size is kept at 96 dpi; the window opens at the dpi of the monitor its corner is on.
    const layout::Rect saved = layout::WindowAt(saved96, dpi::OfPoint({saved96.left, saved96.top}));
    layout::Rect r = layout::PlaceInWorkArea(saved, WorkAreaNear(saved));
    auto w = std::make_unique<MainWindow>();
    w->tearDown = std::move(tearDown);
    g_main = w.get();
    HWND hwnd = CreateWindowExW(WS_EX_ACCEPTFILES, kMainClass, L"Quorle", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                r.left, r.top, r.Width(), r.Height(), nullptr, nullptr, instance, w.get());
    // From WM_NCCREATE on the window owns the record and deletes it in WM_NCDESTROY.
    if (hwnd || g_main != w.get())
        w.release();
    if (!hwnd)
        g_main = nullptr;
    return hwnd;
}

MainWindow* TheMainWindow() { return g_main; }

void OpenCommandLineFirst(MainWindow& w) {
    // Each worker announced its window before its start returned: the notices are read now, and the
    // second opens the command line's path as always.
    MSG m;
    while (!w.commandLineTaken &&
           PeekMessageW(&m, w.hwnd, msg::kMainWorkerReady, msg::kMainWorkerReady, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            return;
        }
        DispatchMessageW(&m);
    }
    // A local folder is listed before the window shows; anything else from the message loop.
    if (w.commandLineTaken && ListsQuickly(CommandLinePath()))
        RunHandedLoad(w.panes[P().settings.activePane & 1], kFirstLoadWaitMs);
}

bool BuildProgramMenus(app::Program& p) {
    menus::MenuSources sources;
    sources.slots = &p.shortcuts.slots;
    sources.tools = &p.settings.tools;
    sources.favourites = &p.settings.favourites;
    return menus::BuildMenus(sources);
}

void ApplyShortcutEdits(app::Program& p, MainWindow* w, const shortcuts::Assignments& edits, bool keysChanged,
                        bool mouseChanged) {
    if (keysChanged) {
        p.shortcuts.slots = edits.slots;
        p.shortcuts.live = shortcuts::LiveTableFromSlots(edits.slots);
        app::BuildAccelerators(p);
        BuildProgramMenus(p);
        if (w)
            RebuildTooltips(*w);
    }
    if (mouseChanged)
        p.settings.mouseCommands = edits.mouse;
}

bool ApplyLanguageAndFont(app::Program& p, MainWindow* w, const std::wstring& language, const std::wstring& face,
                          int height, int weight) {
    bool loaded = true;
    if (!language.empty()) {
        if (lang::Switch(p.programFolder, language)) {
            p.settings.languageModule = language;
        } else {
            loaded = false;
            TellLanguageNotLoaded(w ? w->hwnd : nullptr, language);
        }
    }
    if (!face.empty())
        p.settings.fontFace = face;
    p.settings.fontHeight = height;
    p.settings.fontWeight = weight;
    if (w)
        Restyle(*w);
    else
        BuildProgramMenus(p);
    return loaded;
}

void ApplyCacheFolder(app::Program& p, MainWindow* w, const std::wstring& folder) {
    (void)w;
    // Loads under way keep the folder their request carries; the next load of each pane uses this one.
    p.settings.cacheFolder = folder;
    p.cacheFolder = folder;
    p.cacheFolderIsDefault = p.settings.cacheFolderIsDefault;
}

void DispatchCommand(MainWindow& w, int command, bool byAccelerator) { OnCommand(w, command, byAccelerator); }

void ReloadPanes(MainWindow& w, uintptr_t flags) {
    const int active = P().settings.activePane & 1;
    ReloadPane(w.panes[active], flags);
    ReloadPane(w.panes[active ^ 1], flags);
}

void StopPanes(MainWindow& w) {
    const int active = P().settings.activePane & 1;
    StopPane(w.panes[active]);
    StopPane(w.panes[active ^ 1]);
}

void CheckPanes(MainWindow& w) {
    const int active = P().settings.activePane & 1;
    for (int pane : {active, active ^ 1}) {
        folder::PaneLocation* location = PaneLocationOf(w.panes[pane]);
        if (!location || !SendMessageW(Broker(), msg::kBrokerPaneIdle, 0, pane))
            continue;
        if (folder::CheckFolderChanged(w.watch, pane, *location))
            ReloadPane(w.panes[pane], msg::kLoadReload);
    }
}

void UpdateTitle(MainWindow& w) {
    HWND pane = w.panes[P().settings.activePane & 1];
    std::wstring title = layout::TitleText(P().settings.activePane, pane && PaneHasLocation(pane),
                                           pane ? PaneLocationText(pane) : std::wstring());
    SetWindowTextW(w.hwnd, title.c_str());
}

void ActivatePane(MainWindow& w, int pane) {
    P().settings.activePane = pane & 1;
    if (w.panes[pane & 1])
        SetFocus(PaneFocusTarget(w.panes[pane & 1]));
    UpdateTitle(w);
    UpdateToolbarChecks(w);
    for (int i = 0; i < 2; ++i)
        if (w.panes[i])
            SetPaneActiveLook(w.panes[i], i == (pane & 1));
}

} // namespace ui
