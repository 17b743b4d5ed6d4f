// The shell's folder chooser, starting at a given folder.
#pragma once

#include <windows.h>

#include <string>

namespace fileops {

// Shows the chooser over `owner` with `title`, opened at `initial` (when not empty). True with the
// chosen folder's path; false when cancelled or when the choice has no file-system path.
bool ChooseFolder(HWND owner, const std::wstring& title, const std::wstring& initial, std::wstring* chosen);

} // namespace fileops
