// A stand-in for the companion viewer in tests. Started under any name, it appends the parameter text
// it was given (its command line without its own program name) as one UTF-8 line to "<name>.args.txt"
// beside itself, then shows a window of the viewer's class until it is closed. A name starting with
// "DrovaEx" opens the second viewer class. It ends on its own after a minute so that a failed test
// leaves nothing running.
#include <windows.h>

#include <string>

namespace {

constexpr UINT_PTR kLifetimeTimer = 1;
constexpr UINT kLifetimeMs = 60000;

std::wstring ModulePath() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(n);
    return path;
}

// The command line after the program name, as CreateProcess splits it: a quoted first token ends at
// its closing quote, an unquoted one at the first blank; the blanks after it are not part of the
// parameters.
std::wstring ParameterText(const wchar_t* line) {
    const wchar_t* p = line;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"')
            ++p;
        if (*p)
            ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

void AppendLine(const std::wstring& file, const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    if (bytes)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr, nullptr);
    utf8 += "\r\n";
    // Several instances may start at once: retry while another one holds the file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
            CloseHandle(h);
            return;
        }
        Sleep(20);
    }
}

LRESULT CALLBACK ViewerProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_TIMER:
        if (wp == kLifetimeTimer)
            DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const std::wstring self = ModulePath();
    const size_t slash = self.find_last_of(L'\\');
    const std::wstring folder = self.substr(0, slash == std::wstring::npos ? 0 : slash);
    std::wstring name = self.substr(slash == std::wstring::npos ? 0 : slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos)
        name.resize(dot);
    AppendLine(folder + L"\\" + name + L".args.txt", ParameterText(GetCommandLineW()));

    const bool second = CompareStringOrdinal(name.c_str(), name.size() < 7 ? -1 : 7, L"DrovaEx", 7, TRUE) == CSTR_EQUAL;
    const wchar_t* cls = second ? L"Drova Ex_vwin_class" : L"Drova_vwin_class";
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = cls;
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, cls, name.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 240, 160, nullptr,
                                nullptr, instance, nullptr);
    if (!hwnd)
        return 1;
    SetTimer(hwnd, kLifetimeTimer, kLifetimeMs, nullptr);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
