#include "common/dpi_win.h"

#include "common/dpi.h"

namespace dpi {

namespace {

// Resolved at run time: Windows 10 1607 and later have these; older systems (and some Wine versions)
// answer through the screen's device context.
template <typename Fn>
Fn Resolve(const wchar_t* module, const char* name) {
    HMODULE m = GetModuleHandleW(module);
    return m ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

int ScreenDpi() {
    HDC dc = GetDC(nullptr);
    const int d = dc ? GetDeviceCaps(dc, LOGPIXELSX) : kBase;
    if (dc)
        ReleaseDC(nullptr, dc);
    return Sane(d);
}

} // namespace

int OfWindow(HWND window) {
    using Fn = UINT(WINAPI*)(HWND);
    static const Fn getDpiForWindow = Resolve<Fn>(L"user32.dll", "GetDpiForWindow");
    if (getDpiForWindow && window) {
        const UINT d = getDpiForWindow(window);
        if (d > 0)
            return static_cast<int>(d);
    }
    return ScreenDpi();
}

int OfPoint(POINT screenPoint) {
    // GetDpiForMonitor lives in shcore.dll, loaded only when present.
    using Fn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const Fn getDpiForMonitor = [] {
        HMODULE m = LoadLibraryW(L"shcore.dll");
        return m ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, "GetDpiForMonitor"))) : nullptr;
    }();
    if (getDpiForMonitor) {
        UINT x = 0, y = 0;
        HMONITOR monitor = MonitorFromPoint(screenPoint, MONITOR_DEFAULTTONEAREST);
        if (monitor && SUCCEEDED(getDpiForMonitor(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && x > 0)
            return static_cast<int>(x);
    }
    return OfSystem();
}

int OfSystem() {
    using Fn = UINT(WINAPI*)();
    static const Fn getDpiForSystem = Resolve<Fn>(L"user32.dll", "GetDpiForSystem");
    if (getDpiForSystem) {
        const UINT d = getDpiForSystem();
        if (d > 0)
            return static_cast<int>(d);
    }
    return ScreenDpi();
}

int SystemMetric(int index, int d) {
    using Fn = int(WINAPI*)(int, UINT);
    static const Fn getSystemMetricsForDpi = Resolve<Fn>(L"user32.dll", "GetSystemMetricsForDpi");
    if (getSystemMetricsForDpi) {
        const int value = getSystemMetricsForDpi(index, static_cast<UINT>(Sane(d)));
        if (value > 0)
            return value;
    }
    return MulDiv(GetSystemMetrics(index), Sane(d), OfSystem());
}

void AdjustRectFor(RECT* rect, DWORD style, DWORD exStyle, int d) {
    using Fn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const Fn adjustForDpi = Resolve<Fn>(L"user32.dll", "AdjustWindowRectExForDpi");
    if (adjustForDpi && adjustForDpi(rect, style, FALSE, exStyle, static_cast<UINT>(Sane(d))))
        return;
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int system = OfSystem();
    rect->left += MulDiv(frame.left, Sane(d), system);
    rect->top += MulDiv(frame.top, Sane(d), system);
    rect->right += MulDiv(frame.right, Sane(d), system);
    rect->bottom += MulDiv(frame.bottom, Sane(d), system);
}

LOGFONTW MessageFontFor(int d) {
    using Fn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    static const Fn parametersForDpi = Resolve<Fn>(L"user32.dll", "SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (parametersForDpi &&
        parametersForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(Sane(d))))
        return metrics.lfMessageFont;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, Sane(d), OfSystem());
        return metrics.lfMessageFont;
    }
    LOGFONTW fallback = {};
    fallback.lfHeight = -MulDiv(9, Sane(d), 72);
    lstrcpynW(fallback.lfFaceName, L"Segoe UI", LF_FACESIZE);
    return fallback;
}

} // namespace dpi

