#include "fileops/external_programs_win.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include "app/commands.h"
#include "app/language_win.h"
#include "app/program_state_win.h"
#include "common/path.h"
#include "common/platform.h"
#include "common/scoped_win.h"

namespace external {

namespace {

constexpr UINT kLaunchFailed = 30006;
constexpr UINT kChooseViewerTitle = 20420;

void LaunchOrComplain(HWND errorOwner, const std::wstring& file, const std::wstring& parameters) {
    if (!Launch(file, parameters))
        lang::ShowError(errorOwner, kLaunchFailed);
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR raw = nullptr;
    std::wstring path;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &raw)) && raw)
        path = raw;
    CoTaskMemFree(raw);
    return path;
}

} // namespace

bool Launch(const std::wstring& file, const std::wstring& parameters, const wchar_t* verb) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = verb;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.nShow = SW_SHOW;
    return ShellExecuteExW(&info) != FALSE;
}

bool IsExecutable(const std::wstring& path) {
    DWORD type = 0;
    return GetBinaryTypeW(path.c_str(), &type) != FALSE;
}

void RunViewer(HWND errorOwner, const std::wstring& viewerPath, int command, const PaneView& pane) {
    if (viewerPath.empty() || !platform::FileExists(viewerPath))
        return;
    std::wstring parameters;
    switch (command) {
    case cmd::kViewerView: parameters = ViewerParameters(ViewerSwitch::View, pane); break;
    case cmd::kViewerSlideShow: parameters = ViewerParameters(ViewerSwitch::SlideShow, pane); break;
    case cmd::kViewerFullScreen: parameters = ViewerParameters(ViewerSwitch::FullScreen, pane); break;
    case cmd::kReader:
        if (!ReaderParameters(pane, &parameters))
            return;
        break;
    default: return;
    }
    LaunchOrComplain(errorOwner, viewerPath, parameters);
}

void StartViewer(HWND errorOwner, const std::wstring& viewerPath) {
    if (!viewerPath.empty() && platform::FileExists(viewerPath))
        LaunchOrComplain(errorOwner, viewerPath, L"/o");
}

void RunTool(HWND errorOwner, const settings::ExternalTool& tool, const PaneView& pane) {
    if (tool.path.empty())
        return;
    // A document or script is opened as it is: its program would not know what to do with the text.
    const std::wstring parameters = IsExecutable(tool.path) ? ToolParameters(tool.path, tool.parameters, pane)
                                                            : std::wstring();
    LaunchOrComplain(errorOwner, tool.path, parameters);
}

void OpenWithDefault(HWND errorOwner, const PaneView& pane) {
    const bool listedFolder = pane.kind == location::kFileSystemFolder ||
                              (pane.kind == location::kShellFolder && !pane.recycleBin);
    if (!listedFolder || pane.selected.size() != 1)
        return;
    LaunchOrComplain(errorOwner, pane.selected.front().path, std::wstring());
}

std::wstring FollowShortcut(const std::wstring& path) {
    SHFILEINFOW info = {};
    info.dwAttributes = SFGAO_LINK;
    if (!SHGetFileInfoW(path.c_str(), 0, &info, sizeof info, SHGFI_ATTRIBUTES) || !(info.dwAttributes & SFGAO_LINK))
        return path;
    win::ComPtr<IShellLinkW> link;
    win::ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.Out()))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out()))) ||
        FAILED(file->Load(path.c_str(), STGM_READ)))
        return path;
    wchar_t target[MAX_PATH] = {};
    if (link->GetPath(target, MAX_PATH, nullptr, SLGP_UNCPRIORITY) != S_OK || !target[0])
        return path;
    return target;
}

std::wstring SendToShortcutPath() {
    const std::wstring folder = KnownFolder(FOLDERID_SendTo);
    if (folder.empty())
        return std::wstring();
    std::wstring name = paths::LastComponent(app::ExecutablePath());
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos)
        name.resize(dot);
    return paths::Join(folder, name + L".lnk");
}

bool SendToShortcutExists() {
    const std::wstring path = SendToShortcutPath();
    return !path.empty() && platform::FileExists(path);
}

bool SetSendToShortcut(bool present) {
    const std::wstring path = SendToShortcutPath();
    if (path.empty())
        return false;
    if (!present)
        return !platform::FileExists(path) || platform::DeleteFileAt(path);
    const std::wstring self = app::ExecutablePath();
    win::ComPtr<IShellLinkW> link;
    win::ComPtr<IPersistFile> file;
    return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                      reinterpret_cast<void**>(link.Out()))) &&
           SUCCEEDED(link->SetPath(self.c_str())) && SUCCEEDED(link->SetIconLocation(self.c_str(), 0)) &&
           SUCCEEDED(link->SetShowCmd(SW_SHOWNORMAL)) &&
           SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out()))) &&
           SUCCEEDED(file->Save(path.c_str(), TRUE));
}

bool ChooseViewer(HWND owner, HWND pathField) {
    const int length = GetWindowTextLengthW(pathField);
    std::wstring typed(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(pathField, &typed[0], length + 1);
    typed.resize(static_cast<size_t>(length));
    std::wstring start = paths::Parent(typed);
    if (typed.find(L'\\') == std::wstring::npos || !platform::FolderExists(start))
        start = KnownFolder(FOLDERID_ProgramFiles);
    const std::wstring title = lang::Text(kChooseViewerTitle);
    static const wchar_t kFilter[] = L"Drova.exe\0Drova.exe\0DrovaEx.exe\0DrovaEx.exe\0";
    wchar_t chosen[MAX_PATH] = {};
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = chosen;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR; // 0x100C
    if (!GetOpenFileNameW(&ofn))
        return false;
    SetWindowTextW(pathField, chosen);
    return true;
}

} // namespace external
