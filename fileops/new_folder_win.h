// A new folder inside a tree folder, named in the name dialog.
#pragma once

#include <windows.h>

#include <string>

#include "fileops/delete_rename_win.h"

namespace fileops {

// Creates the folder named through `ask` inside `parent` and tells the shell, so the tree shows it.
// Cancel or an empty name does nothing; a failure or a missing dialog template gives 30007. `made`
// gets the new folder's path.
Outcome NewFolderIn(const std::wstring& parent, const AskNewName& ask, std::wstring* made);

// The dialog's title: the folder's own name, " - " and the command's name.
std::wstring NewFolderTitle(const std::wstring& parent);

} // namespace fileops
