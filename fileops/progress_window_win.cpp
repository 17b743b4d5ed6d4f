#include "fileops/progress_window_win.h"

#include <commctrl.h>

#include <utility>

#include "common/dpi.h"
#include "common/dpi_win.h"

namespace fileops {

namespace {

// Lengths at 96 dpi, scaled to the dpi of the screen the window opens on.
constexpr int kClientWidth = 400;
constexpr int kClientHeight = 64;
constexpr int kBarLeft = 10, kBarTop = 10, kBarWidth = 380, kBarHeight = 10;
constexpr int kButtonLeft = 130, kButtonTop = 30, kButtonWidth = 140, kButtonHeight = 24;

// The whole rectangle of the monitor nearest to the pointer; the primary screen when there is none.
RECT MonitorUnderPointer(const POINT& pt) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    HMONITOR monitor = MonitorFromPoint(pt, MONITOR_DEFAULTTONEAREST);
    if (monitor && GetMonitorInfoW(monitor, &info))
        return info.rcMonitor;
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

HFONT CreateDialogFont(int screenDpi) {
    const LOGFONTW font = dpi::MessageFontFor(screenDpi);
    return CreateFontIndirectW(&font);
}

} // namespace

WNDCLASSEXW ProgressWindow::ClassOf() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kProgressClass;
    return wc;
}

// A worker that was ended by force leaves the class registered; the window is made either way.
ProgressWindow::ProgressWindow(const std::wstring& title, const std::wstring& cancelText,
                               std::atomic<intptr_t>* published)
    : class_(ClassOf()), published_(published) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const DWORD style = WS_VISIBLE | WS_CAPTION;
    const DWORD exStyle = WS_EX_DLGMODALFRAME;
    POINT pointer = {};
    GetCursorPos(&pointer);
    const int d = dpi::OfPoint(pointer);
    const int clientWidth = dpi::Scale(kClientWidth, d), clientHeight = dpi::Scale(kClientHeight, d);
    RECT frame = {0, 0, clientWidth, clientHeight};
    dpi::AdjustRectFor(&frame, style, exStyle, d);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const RECT monitor = MonitorUnderPointer(pointer);
    // The client-sized rectangle is centred; the frame grows around it.
    const int x = monitor.left + (monitor.right - monitor.left - clientWidth) / 2 + frame.left;
    const int y = monitor.top + (monitor.bottom - monitor.top - clientHeight) / 2 + frame.top;
    hwnd_ = CreateWindowExW(exStyle, kProgressClass, title.c_str(), style, x, y, width, height, nullptr, nullptr,
                            instance, this);
    if (!hwnd_)
        return;
    bar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBarId)), instance, nullptr);
    SendMessageW(bar_, PBM_SETSTEP, 1, 0);
    SendMessageW(bar_, PBM_SETPOS, 0, 0);
    button_ = CreateWindowExW(0, L"Button", cancelText.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                              0, 0, 0, 0, hwnd_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressCancelId)), instance, nullptr);
    LayOut(d);
    if (published_)
        published_->store(reinterpret_cast<intptr_t>(hwnd_));
    UpdateWindow(hwnd_);
}

void ProgressWindow::LayOut(int d) {
    if (bar_)
        SetWindowPos(bar_, nullptr, dpi::Scale(kBarLeft, d), dpi::Scale(kBarTop, d), dpi::Scale(kBarWidth, d),
                     dpi::Scale(kBarHeight, d), SWP_NOZORDER | SWP_NOACTIVATE);
    if (!button_)
        return;
    SetWindowPos(button_, nullptr, dpi::Scale(kButtonLeft, d), dpi::Scale(kButtonTop, d), dpi::Scale(kButtonWidth, d),
                 dpi::Scale(kButtonHeight, d), SWP_NOZORDER | SWP_NOACTIVATE);
    // The button lets go of the old font before it is deleted.
    win::GdiObject<HFONT> font(CreateDialogFont(d));
    SendMessageW(button_, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    font_ = std::move(font);
}

ProgressWindow::~ProgressWindow() {
    if (published_)
        published_->store(0);
    if (hwnd_)
        DestroyWindow(hwnd_);
    // class_ unregisters itself after the window is gone.
}

void ProgressWindow::SetRange(uint32_t steps) {
    if (bar_)
        SendMessageW(bar_, PBM_SETRANGE32, 0, static_cast<LPARAM>(steps));
}

void ProgressWindow::Step() {
    if (bar_)
        SendMessageW(bar_, PBM_STEPIT, 0, 0);
}

bool ProgressWindow::Cancelled() {
    MSG m;
    while (hwnd_ && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE)
            cancelled_ = true;
        else if (m.message == WM_LBUTTONDOWN && m.hwnd == button_)
            cancelled_ = true;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return cancelled_;
}

LRESULT CALLBACK ProgressWindow::WndProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_NCCREATE) {
        const CREATESTRUCTW* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    ProgressWindow* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_COMMAND:
        // The button pressed from the keyboard.
        if (self && LOWORD(wp) == kProgressCancelId)
            self->cancelled_ = true;
        return 0;
    case WM_CLOSE:
        if (self)
            self->cancelled_ = true;
        return 0;
    case WM_DPICHANGED: {
        // Moved to a screen of another dpi: the suggested rectangle keeps the client at 400 x 64 there.
        const RECT* r = reinterpret_cast<const RECT*>(lp);
        SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (self)
            self->LayOut(HIWORD(wp));
        return 0;
    }
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

} // namespace fileops
