#include "fileops/shell_ops_win.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "common/path.h"
#include "common/platform.h"
#include "folder/shell_tree_rules.h"

namespace fileops {

std::wstring DoubleTerminatedList(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& p : paths) {
        list += p;
        list.push_back(L'\0');
    }
    list.push_back(L'\0');
    return list;
}

bool RunShellOperation(HWND owner, const ShellOperation& op) {
    if (op.sources.empty())
        return false;
    const std::wstring from = DoubleTerminatedList(op.sources);
    const std::wstring to = op.targets.empty() ? std::wstring() : DoubleTerminatedList(op.targets);
    SHFILEOPSTRUCTW s = {};
    s.hwnd = owner;
    s.wFunc = op.operation;
    s.pFrom = from.c_str();
    s.pTo = op.targets.empty() ? nullptr : to.c_str();
    s.fFlags = op.flags;
    if (op.targets.size() > 1)
        s.fFlags |= FOF_MULTIDESTFILES;
    if (!op.progressTitle.empty()) {
        s.fFlags |= FOF_SIMPLEPROGRESS;
        s.lpszProgressTitle = op.progressTitle.c_str();
    }
    return SHFileOperationW(&s) == 0 && !s.fAnyOperationsAborted;
}

bool PassesTreeGuard(const std::wstring& path) {
    if (path.empty() || !platform::PathExists(path) || folder::IsDriveRoot(path))
        return false;
    if (PathIsSystemFolderW(path.c_str(), 0))
        return false;
    // "Desktop\" names the desktop as well as "Desktop" does.
    wchar_t desktop[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop)) &&
        lstrcmpiW(paths::TrimTrailingSeparators(desktop).c_str(), paths::TrimTrailingSeparators(path).c_str()) == 0)
        return false;
    return true;
}

} // namespace fileops
