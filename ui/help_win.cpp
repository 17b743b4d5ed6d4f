#include "ui/help_win.h"

#include <shellapi.h>

#include "common/platform.h"

namespace help {

const wchar_t kProgramHelpPage[] = L"https://quorle.example/help/";
const wchar_t kViewerHelpPage[] = L"https://quorle.example/help/viewer/";

namespace {

using HtmlHelpProc = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
constexpr UINT kHelpDisplayTopic = 0;
constexpr UINT kHelpInitialize = 0x1C;
constexpr UINT kHelpUninitialize = 0x1D;

// The entry point of the open session, if any.
HtmlHelpProc g_htmlHelp = nullptr;

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

HtmlHelpSession::HtmlHelpSession() {
    wchar_t system[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    module_ = LoadLibraryW((std::wstring(system, n) + L"\\hhctrl.ocx").c_str());
    if (!module_)
        return;
    g_htmlHelp = reinterpret_cast<HtmlHelpProc>(reinterpret_cast<void*>(GetProcAddress(module_, "HtmlHelpW")));
    if (g_htmlHelp)
        g_htmlHelp(nullptr, nullptr, kHelpInitialize, reinterpret_cast<DWORD_PTR>(&cookie_));
}

HtmlHelpSession::~HtmlHelpSession() {
    if (g_htmlHelp)
        g_htmlHelp(nullptr, nullptr, kHelpUninitialize, cookie_);
    g_htmlHelp = nullptr;
    if (module_)
        FreeLibrary(module_);
}

bool OpenHelp(HWND owner, const std::wstring& exe, const wchar_t* page) {
    const std::wstring chm = HelpFileOf(exe);
    if (!chm.empty() && platform::FileExists(chm)) {
        if (g_htmlHelp && g_htmlHelp(owner, chm.c_str(), kHelpDisplayTopic, 0))
            return true;
    }
    return OpenWithShell(owner, nullptr, page, SEE_MASK_FLAG_NO_UI);
}

bool ShowProperties(HWND owner, const std::wstring& path) {
    return OpenWithShell(owner, L"properties", L"\"" + path + L"\"", SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI);
}

} // namespace help
