// The folder change watch: while the program is inactive, each file-system pane has a change
// notification armed on its folder; on reactivation each pane is checked once and reloaded when
// its folder or archive changed. Everything runs on the user-interface thread.
#pragma once

#include <windows.h>

#include "folder/pane_location.h"

namespace folder {

// A change-notification handle, closed with FindCloseChangeNotification.
class ChangeNotification {
  public:
    ChangeNotification() = default;
    ~ChangeNotification() { Reset(); }
    ChangeNotification(const ChangeNotification&) = delete;
    ChangeNotification& operator=(const ChangeNotification&) = delete;
    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Reset(HANDLE h = nullptr);

  private:
    HANDLE h_ = nullptr;
};

struct ChangeWatch {
    ChangeNotification handles[2];
};

// On deactivation: arms a notification (file names and last-write times, no subtree) on the
// folder of each pane that shows a valid file-system folder; other panes keep no handle.
void WatchFolders(ChangeWatch& watch, const PaneLocation* panes[2]);

// Whether the pane must be reloaded. A vanished folder or archive clears the location (true).
// Folders: true exactly when the armed handle was signalled; the handle is closed either way.
// Shell folders: never. Archives: true when the file's last-write time differs from the listed one.
bool CheckFolderChanged(ChangeWatch& watch, int pane, PaneLocation& location);

// Closes both handles (shutdown).
void CloseWatch(ChangeWatch& watch);

} // namespace folder
