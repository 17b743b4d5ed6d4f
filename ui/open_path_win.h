// The path a second instance, the command line, a drop or the folder tree hands over.
#pragma once

#include <string>

namespace ui {

// Navigates the active pane there. A folder opens as itself, a file opens the folder that holds it.
// Dropped when the pane already shows that location.
void OpenPath(const std::wstring& path);
// The folder a path opens: itself for a folder (or a path that does not exist), else its folder.
std::wstring NavigationFolder(const std::wstring& path);

} // namespace ui
