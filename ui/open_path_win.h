// The path a second instance, the command line, a drop or the folder tree hands over.
#pragma once

#include <string>

namespace ui {

// Navigates the active pane there. A folder opens as itself, an archive as a folder of its members,
// any other file opens the folder that holds it; a shortcut file stands for its target. Dropped when
// the pane already shows that location.
void OpenPath(const std::wstring& path);

} // namespace ui
