#include "ui/help_win.h"

#include <shellapi.h>

#include "common/platform.h"

namespace help {

const wchar_t kProgramHelpPage[] = L"https://quorle.example/help/";
const wchar_t kViewerHelpPage[] = L"https://quorle.example/help/viewer/";

namespace {

// HTML Help's entry point, from hhctrl.ocx when first needed: the program does not link it, so a
// system without it still starts (and then the help page opens in the browser).
using HtmlHelpProc = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
constexpr UINT kHelpDisplayTopic = 0;

HtmlHelpProc HtmlHelpEntry() {
    static HtmlHelpProc entry = [] {
        HMODULE module = LoadLibraryW(L"hhctrl.ocx");
        return module ? reinterpret_cast<HtmlHelpProc>(reinterpret_cast<void*>(GetProcAddress(module, "HtmlHelpW")))
                      : nullptr;
    }();
    return entry;
}

bool OpenWithShell(HWND owner, const wchar_t* verb, const std::wstring& file, ULONG mask) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = mask;
    info.hwnd = owner;
    info.lpVerb = verb;
    info.lpFile = file.c_str();
    info.nShow = SW_SHOW;
    return ShellExecuteExW(&info) != FALSE;
}

} // namespace

std::wstring ProgramExecutable() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool OpenHelp(HWND owner, const std::wstring& exe, const wchar_t* page) {
    const std::wstring chm = HelpFileOf(exe);
    if (!chm.empty() && platform::FileExists(chm)) {
        if (HtmlHelpProc entry = HtmlHelpEntry())
            if (entry(owner, chm.c_str(), kHelpDisplayTopic, 0))
                return true;
    }
    return OpenWithShell(owner, nullptr, page, SEE_MASK_FLAG_NO_UI);
}

bool ShowProperties(HWND owner, const std::wstring& path) {
    return OpenWithShell(owner, L"properties", L"\"" + path + L"\"", SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI);
}

} // namespace help
