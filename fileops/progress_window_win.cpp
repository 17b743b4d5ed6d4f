#include "fileops/progress_window_win.h"

#include <commctrl.h>

namespace fileops {

namespace {

constexpr int kClientWidth = 400;
constexpr int kClientHeight = 64;

// The whole rectangle of the monitor nearest to the pointer; the primary screen when there is none.
RECT MonitorUnderPointer() {
    POINT pt = {};
    GetCursorPos(&pt);
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    HMONITOR monitor = MonitorFromPoint(pt, MONITOR_DEFAULTTONEAREST);
    if (monitor && GetMonitorInfoW(monitor, &info))
        return info.rcMonitor;
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

HFONT CreateDialogFont() {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return nullptr;
    return CreateFontIndirectW(&metrics.lfMessageFont);
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
    RECT frame = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const RECT monitor = MonitorUnderPointer();
    // The client-sized rectangle is centred; the frame grows around it.
    const int x = monitor.left + (monitor.right - monitor.left - kClientWidth) / 2 + frame.left;
    const int y = monitor.top + (monitor.bottom - monitor.top - kClientHeight) / 2 + frame.top;
    hwnd_ = CreateWindowExW(exStyle, kProgressClass, title.c_str(), style, x, y, width, height, nullptr, nullptr,
                            instance, this);
    if (!hwnd_)
        return;
    font_.Reset(CreateDialogFont());
    bar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 10, 10, 380, 10, hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBarId)), instance, nullptr);
    SendMessageW(bar_, PBM_SETSTEP, 1, 0);
    SendMessageW(bar_, PBM_SETPOS, 0, 0);
    button_ = CreateWindowExW(0, L"Button", cancelText.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                              130, 30, 140, 24, hwnd_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressCancelId)), instance, nullptr);
    if (font_)
        SendMessageW(button_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    if (published_)
        published_->store(reinterpret_cast<intptr_t>(hwnd_));
    UpdateWindow(hwnd_);
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
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

} // namespace fileops
