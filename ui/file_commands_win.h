// The file commands of the panes (delete 5020, rename 5030, comment 5011) and of the folder tree
// (new folder 5520, rename 5521, delete 5522): the dialogs are placed here, the work is done in
// fileops/, and the panes follow the change.
#pragma once

#include <windows.h>

#include <string>

#include "common/location.h"
#include "ui/main_window_win.h"

namespace ui {

void DeleteSelectedItems(MainWindow& w);
void RenameFocusedItem(MainWindow& w);
void EditFocusedComment(MainWindow& w);

// Tree items: `path` is the folder or archive, `item` its rectangle on the screen.
bool TreeOffersChanges(const std::wstring& path);
void TreeNewFolder(MainWindow& w, const std::wstring& folder, const RECT& item);
void TreeRename(MainWindow& w, location::LocationKind kind, const std::wstring& path, const RECT& item);
void TreeDelete(MainWindow& w, const std::wstring& path);
// One of the three by its command id.
void RunTreeFileCommand(MainWindow& w, int command, location::LocationKind kind, const std::wstring& path,
                        const RECT& item);

} // namespace ui
