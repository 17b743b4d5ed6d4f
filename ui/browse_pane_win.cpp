// The two browse panes (ids 500, 501): each holds its thumbnail area (id 502) and its status bar
// (id 503). The pane's location and its load are filled in by the folder model; until then a load
// request that reaches a pane ends at once as a failed load, which keeps the broker's busy state true.
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "app/language_win.h"
#include "app/messages.h"
#include "app/path_compare.h"
#include "app/program_win.h"
#include "ui/main_window_win.h"

namespace ui {

namespace {

const wchar_t* const kPaneClass[2] = {L"Quorle_bswin1_class", L"Quorle_bswin2_class"};
const wchar_t* const kAreaClass[2] = {L"Quorle_thbs1_class", L"Quorle_thbs2_class"};

constexpr COLORREF kActiveBack = 0xD4CCCC;
constexpr COLORREF kInactiveBack = 0xA49C9C;

struct Location {
    bool valid = false;
    int kind = 0;
    std::wstring path;
};

struct Pane {
    int index = 0;
    MainWindow* main = nullptr;
    HWND hwnd = nullptr;
    HWND area = nullptr;
    HWND status = nullptr;
    bool active = false;
    Location location;
};

struct CreateArgs {
    MainWindow* main;
    int index;
};

app::Program& P() { return app::TheProgram(); }

Pane* PaneOf(HWND hwnd) { return hwnd ? reinterpret_cast<Pane*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)) : nullptr; }

int TextWidth(HDC dc, const std::wstring& text) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// Six parts: reload, stop, sort order, picture type, item count, location.
void SetStatusParts(Pane& p) {
    win::WindowDC dc(p.status);
    win::SelectObjectScope select(dc.Get(), p.main->font.Get());
    int edges[6];
    edges[0] = TextWidth(dc.Get(), lang::Text(20200)) + 7;
    edges[1] = edges[0] + TextWidth(dc.Get(), lang::Text(20201)) + 9;
    edges[2] = edges[1] + TextWidth(dc.Get(), lang::Text(5804)) + 9;
    edges[3] = edges[2] + TextWidth(dc.Get(), lang::Text(5704)) + 9;
    edges[4] = edges[3] + 9 * TextWidth(dc.Get(), L"0") + 9;
    edges[5] = -1;
    SendMessageW(p.status, SB_SETPARTS, 6, reinterpret_cast<LPARAM>(edges));
}

LRESULT OnPaneCreate(Pane& p) {
    HINSTANCE instance = P().instance;
    p.area = CreateWindowExW(WS_EX_STATICEDGE | WS_EX_ACCEPTFILES, kAreaClass[p.index], nullptr,
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_VSCROLL, 0, 0, 0, 0, p.hwnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdThumbArea)), instance, &p);
    p.status = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, p.hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdPaneStatus)), instance, nullptr);
    if (!p.area || !p.status)
        return -1;
    SendMessageW(p.status, WM_SETFONT, reinterpret_cast<WPARAM>(p.main->font.Get()), FALSE);
    SetStatusParts(p);
    // No items yet: no scroll range.
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    SetScrollInfo(p.area, SB_VERT, &si, FALSE);
    return 0;
}

void OnPaneSize(Pane& p, int width, int height) {
    SendMessageW(p.status, WM_SIZE, 0, 0);
    RECT sr = {};
    GetWindowRect(p.status, &sr);
    const int statusHeight = sr.bottom - sr.top;
    MoveWindow(p.area, 0, 0, width, height - statusHeight > 0 ? height - statusHeight : 0, TRUE);
}

// The folder model is not part of this build: the request ends as a failed load.
void OnLoad(Pane& p, std::unique_ptr<msg::LocationRequest> request) {
    PostMessageW(P().routing.broker.load(), msg::kBrokerJobDone, msg::kPaneCancelled, p.index);
}

// Requests still queued when the window goes would otherwise be lost with their records. PeekMessage
// hands out WM_QUIT whatever the filter, so a quit met here is posted again.
void DropQueuedRequests(HWND hwnd) {
    MSG m;
    while (PeekMessageW(&m, hwnd, msg::kPaneLoad, msg::kPaneLoad, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            return;
        }
        delete reinterpret_cast<msg::LocationRequest*>(m.lParam);
    }
}

LRESULT CALLBACK PaneProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    Pane* p = PaneOf(hwnd);
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
    case msg::kPaneLoad:
        OnLoad(*p, std::unique_ptr<msg::LocationRequest>(reinterpret_cast<msg::LocationRequest*>(lp)));
        return 0;
    case msg::kPaneCancelled:
    case msg::kPaneIdle:
        UpdateTitle(*p->main);
        return 0;
    case msg::kPaneMessage:
        lang::ShowError(p->main->hwnd, static_cast<UINT>(wp));
        return 0;
    case WM_NCDESTROY:
        DropQueuedRequests(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete p;
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

void PaintArea(HWND hwnd, const Pane& p) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    win::Brush brush(CreateSolidBrush(p.active ? kActiveBack : kInactiveBack));
    FillRect(dc, &ps.rcPaint, brush.Get());
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK AreaProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    Pane* p = PaneOf(hwnd);
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        if (p) {
            PaintArea(hwnd, *p);
            return 0;
        }
        break;
    case WM_LBUTTONDOWN:
        if (p)
            ActivatePane(*p->main, p->index);
        return 0;
    case WM_MOUSEWHEEL:
        // Nothing to scroll yet; not passed up, because the main window sends wheels down here.
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

bool Register(HINSTANCE instance, const wchar_t* name, WNDPROC proc, UINT extraStyle) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | extraStyle;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

} // namespace

bool RegisterBrowsePaneClasses(HINSTANCE instance) {
    for (int i = 0; i < 2; ++i)
        if (!Register(instance, kPaneClass[i], PaneProc, 0) || !Register(instance, kAreaClass[i], AreaProc, CS_DBLCLKS))
            return false;
    return true;
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
    if (Pane* p = PaneOf(pane)) {
        p->active = active;
        InvalidateRect(p->area, nullptr, TRUE);
    }
}

HWND PaneFocusTarget(HWND pane) {
    Pane* p = PaneOf(pane);
    return p ? p->area : pane;
}

bool PaneShowsLocation(HWND pane, int kind, const std::wstring& path) {
    const Pane* p = PaneOf(pane);
    return p && p->location.valid && p->location.kind == kind && paths::EqualFold(p->location.path, path);
}

bool PaneHasLocation(HWND pane) {
    const Pane* p = PaneOf(pane);
    return p && p->location.valid;
}

std::wstring PaneLocationText(HWND pane) {
    const Pane* p = PaneOf(pane);
    return p && p->location.valid ? p->location.path : std::wstring();
}

void ReloadPane(HWND pane) {
    Pane* p = PaneOf(pane);
    if (!p)
        return;
    HWND broker = P().routing.broker.load();
    if (!p->location.valid) {
        PostMessageW(broker, msg::kBrokerJobDone, msg::kPaneCancelled, p->index);
        return;
    }
    auto request = std::make_unique<msg::LocationRequest>();
    request->kind = p->location.kind;
    request->path = p->location.path;
    request->pane = p->index;
    // The broker takes the record whatever it answers.
    SendMessageW(broker, msg::kBrokerStartJob, msg::kLoadReload, reinterpret_cast<LPARAM>(request.release()));
}

} // namespace ui
