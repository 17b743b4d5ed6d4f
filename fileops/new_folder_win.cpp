#include "fileops/new_folder_win.h"

#include <shlobj.h>

#include "app/language_win.h"
#include "app/shortcut_table.h"
#include "common/path.h"

namespace fileops {

namespace {

constexpr UINT kCreateFailed = 30007;

} // namespace

std::wstring NewFolderTitle(const std::wstring& parent) {
    std::wstring name = paths::LastComponent(paths::TrimTrailingSeparators(parent));
    if (name.empty())
        name = parent;
    return name + L" - " + shortcuts::StripMnemonics(lang::Text(5520));
}

Outcome NewFolderIn(const std::wstring& parent, const AskNewName& ask, std::wstring* made) {
    std::wstring typed;
    const NameAnswer answer = ask(&typed);
    if (answer != NameAnswer::kOk)
        return {false, answer == NameAnswer::kNoTemplate ? kCreateFailed : 0u};
    if (typed.empty())
        return {};
    if (!IsPlainName(typed))
        return {false, kCreateFailed};
    const std::wstring path = paths::Join(parent, typed);
    if (!CreateDirectoryW(path.c_str(), nullptr))
        return {false, kCreateFailed};
    SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSHNOWAIT, path.c_str(), nullptr);
    *made = path;
    return {true, 0};
}

} // namespace fileops
