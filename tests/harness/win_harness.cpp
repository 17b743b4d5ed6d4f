#include "tests/harness/win_harness.h"

#include "common/path.h"
#include "common/scoped_win.h"
#include "tests/harness/png_writer.h"

namespace harness {

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        ULONGLONG now = GetTickCount64();
        if (now >= end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now < 10 ? end - now : 10),
                                  QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

namespace {

struct FindArgs {
    const std::wstring* className;
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindTopProc(HWND hwnd, LPARAM lp) {
    FindArgs* args = reinterpret_cast<FindArgs*>(lp);
    if (WindowClassName(hwnd) != *args->className)
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (args->pid && pid != args->pid)
        return TRUE;
    args->found = hwnd;
    return FALSE;
}

HWND FindTopOnce(const std::wstring& className, DWORD pid) {
    FindArgs args{&className, pid, nullptr};
    EnumWindows(FindTopProc, reinterpret_cast<LPARAM>(&args));
    return args.found;
}

struct ChildArgs {
    HWND top;
    std::vector<ChildInfo>* out;
};

BOOL CALLBACK ChildProc(HWND hwnd, LPARAM lp) {
    ChildArgs* args = reinterpret_cast<ChildArgs*>(lp);
    ChildInfo info;
    info.hwnd = hwnd;
    info.className = WindowClassName(hwnd);
    info.text = WindowText(hwnd);
    info.id = GetDlgCtrlID(hwnd);
    GetWindowRect(hwnd, &info.rect);
    MapWindowPoints(nullptr, args->top, reinterpret_cast<POINT*>(&info.rect), 2);
    info.visible = IsWindowVisible(hwnd) != 0;
    args->out->push_back(info);
    return TRUE;
}

} // namespace

HWND FindTopWindow(const std::wstring& className, DWORD timeoutMs, DWORD pid) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND hwnd = FindTopOnce(className, pid))
            return hwnd;
        if (GetTickCount64() >= end)
            return nullptr;
        Sleep(50);
    }
}

HWND FindShownDialog(DWORD timeoutMs, DWORD pid, int withId) {
    struct DialogArgs {
        DWORD pid;
        int withId;
        HWND found;
    };
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        DialogArgs args{pid, withId, nullptr};
        EnumWindows(
            [](HWND hwnd, LPARAM lp) -> BOOL {
                DialogArgs* a = reinterpret_cast<DialogArgs*>(lp);
                DWORD owner = 0;
                GetWindowThreadProcessId(hwnd, &owner);
                if (owner != a->pid || !IsWindowVisible(hwnd) || WindowClassName(hwnd) != L"#32770" ||
                    (a->withId && !GetDlgItem(hwnd, a->withId)))
                    return TRUE;
                a->found = hwnd;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&args));
        if (args.found)
            return args.found;
        if (GetTickCount64() >= end)
            return nullptr;
        Sleep(50);
    }
}

bool WaitWindowGone(const std::wstring& className, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (FindTopOnce(className, 0)) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(50);
    }
    return true;
}

std::wstring WindowText(HWND hwnd) {
    wchar_t buffer[512];
    // WM_GETTEXT through SendMessageTimeout: a hung target must not hang the test.
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                             2000, &copied))
        return std::wstring();
    return std::wstring(buffer, static_cast<size_t>(copied));
}

std::wstring WindowClassName(HWND hwnd) {
    wchar_t buffer[256];
    int n = GetClassNameW(hwnd, buffer, 256);
    return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

std::vector<ChildInfo> Children(HWND top) {
    std::vector<ChildInfo> out;
    ChildArgs args{top, &out};
    EnumChildWindows(top, ChildProc, reinterpret_cast<LPARAM>(&args));
    return out;
}

LRESULT SendCopyData(HWND target, const std::wstring& path, DWORD timeoutMs) {
    wchar_t block[260] = {};
    path.copy(block, path.size() < 259 ? path.size() : 259);
    COPYDATASTRUCT cds;
    cds.dwData = 0;
    cds.cbData = sizeof block;
    cds.lpData = block;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_ABORTIFHUNG,
                             timeoutMs, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

bool PostClose(HWND hwnd) { return PostMessageW(hwnd, WM_CLOSE, 0, 0) != 0; }

Process::~Process() {
    if (process_) {
        DWORD code = 0;
        if (GetExitCodeProcess(process_, &code) && code == STILL_ACTIVE)
            TerminateProcess(process_, 1);
        CloseHandle(process_);
    }
}

bool Process::Start(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir) {
    std::wstring cmd = L"\"" + exe + L"\"";
    if (!args.empty())
        cmd += L" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    // Under a loaded Wine a start right after the same program ended has been seen to fail once;
    // a few bounded retries keep the tests about the program, not about that.
    bool started = false;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt)
            Sleep(200);
        started = CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 workDir.empty() ? nullptr : workDir.c_str(), &si, &pi) != FALSE;
    }
    if (!started)
        return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

bool Process::Wait(DWORD timeoutMs, DWORD* exitCode) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode)
        GetExitCodeProcess(process_, exitCode);
    return true;
}

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    size_t slash = p.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : p.substr(0, slash);
}

namespace {

// Test executables live in <build>\tests or <build>\fuzz, tools in <build>\out.
std::wstring BuildFolder() { return paths::Parent(ExeFolder()); }

} // namespace

std::wstring OutputFolder() { return BuildFolder() + L"\\out"; }

std::wstring ScreenshotFolder() {
    std::wstring folder = BuildFolder() + L"\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool SaveScreenshot(const std::wstring& path, HWND hwnd) {
    RECT r;
    if (hwnd) {
        if (!GetWindowRect(hwnd, &r))
            return false;
    } else {
        r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return false;
    win::WindowDC screen(nullptr);
    win::MemoryDC mem(screen.Get());
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h; // top-down, so rows come out in PNG order
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    win::Bitmap dib(CreateDIBSection(screen.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits)
        return false;
    {
        win::SelectObjectScope select(mem.Get(), dib.Get());
        if (!BitBlt(mem.Get(), 0, 0, w, h, screen.Get(), r.left, r.top, SRCCOPY))
            return false;
        GdiFlush();
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    const uint8_t* src = static_cast<const uint8_t*>(bits);
    for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i) {
        rgb[3 * i] = src[4 * i + 2];
        rgb[3 * i + 1] = src[4 * i + 1];
        rgb[3 * i + 2] = src[4 * i];
    }
    return WritePngRgb(path, w, h, rgb);
}

std::wstring SaveNamedScreenshot(const std::wstring& name, HWND hwnd) {
    std::wstring path = ScreenshotFolder() + L"\\" + name + L".png";
    return SaveScreenshot(path, hwnd) ? path : std::wstring();
}

} // namespace harness
