// quorle-probe: looks at a running Quorle from outside, for scripts and people.
//   quorle-probe wait CLASS [MS]        waits for a top-level window of CLASS; prints its handle
//   quorle-probe gone CLASS [MS]        waits until no window of CLASS is left
//   quorle-probe title CLASS            prints the window's title
//   quorle-probe children CLASS         one line per descendant: class, id, visible, rect, text
//   quorle-probe close CLASS            posts WM_CLOSE
//   quorle-probe copydata CLASS PATH    sends the single-instance WM_COPYDATA; prints the answer
//   quorle-probe screenshot FILE [CLASS] saves the screen (or the window) as PNG
// Exit code 0 on success, 1 when the window is not there or the action failed, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "common/platform.h"
#include "tests/harness/win_harness.h"

namespace {

void Print(const std::wstring& line) {
    std::string utf8 = platform::WideToUtf8(line);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
}

HWND Need(const std::wstring& cls, DWORD ms = 0) {
    HWND hwnd = harness::FindTopWindow(cls, ms);
    if (!hwnd)
        Print(L"no window of class " + cls);
    return hwnd;
}

int Usage() {
    Print(L"usage: quorle-probe wait|gone|title|children|close|copydata|screenshot ...");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3)
        return Usage();
    const std::wstring verb = argv[1], arg = argv[2];
    const DWORD ms = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 10000;
    if (verb == L"wait") {
        HWND hwnd = Need(arg, ms);
        if (hwnd)
            Print(std::to_wstring(reinterpret_cast<uintptr_t>(hwnd)));
        return hwnd ? 0 : 1;
    }
    if (verb == L"gone")
        return harness::WaitWindowGone(arg, ms) ? 0 : 1;
    if (verb == L"title") {
        HWND hwnd = Need(arg);
        if (hwnd)
            Print(harness::WindowText(hwnd));
        return hwnd ? 0 : 1;
    }
    if (verb == L"children") {
        HWND hwnd = Need(arg);
        if (!hwnd)
            return 1;
        for (const harness::ChildInfo& c : harness::Children(hwnd)) {
            wchar_t line[160];
            std::swprintf(line, 160, L"%ls\t%d\t%d\t%ld,%ld,%ld,%ld\t", c.className.c_str(), c.id,
                          c.visible ? 1 : 0, c.rect.left, c.rect.top, c.rect.right, c.rect.bottom);
            Print(line + c.text);
        }
        return 0;
    }
    if (verb == L"close") {
        HWND hwnd = Need(arg);
        return hwnd && harness::PostClose(hwnd) ? 0 : 1;
    }
    if (verb == L"copydata" && argc > 3) {
        HWND hwnd = Need(arg);
        if (!hwnd)
            return 1;
        Print(std::to_wstring(harness::SendCopyData(hwnd, argv[3])));
        return 0;
    }
    if (verb == L"screenshot") {
        HWND hwnd = nullptr;
        if (argc > 3 && !(hwnd = Need(argv[3])))
            return 1;
        return harness::SaveScreenshot(arg, hwnd) ? 0 : 1;
    }
    return Usage();
}
