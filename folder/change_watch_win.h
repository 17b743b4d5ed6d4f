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
    bool armed = false; // from deactivation until reactivation
};

// On deactivation: arms a notification (file names and last-write times, no subtree) on the
// folder of each pane that shows a valid file-system folder; the other panes' handles are closed.
void WatchFolders(ChangeWatch& watch, const PaneLocation* panes[2]);
// On reactivation, before the panes are checked: later loads arm nothing.
void EndWatch(ChangeWatch& watch);

// Whether the pane must be reloaded. A vanished folder or archive clears the location (true).
// Folders: true exactly when the armed handle was signalled. Shell folders: never. Archives: true
// when the file's last-write time differs from the listed one. The pane's handle is closed always.
bool CheckFolderChanged(ChangeWatch& watch, int pane, PaneLocation& location);

// The pane loaded `location`. Its handle on the old folder is closed: that folder's signal would
// reload a pane that no longer shows it, while changes to the new one went unseen. While the watch
// is armed, a file-system folder gets a handle of its own.
void PaneLoaded(ChangeWatch& watch, int pane, const PaneLocation& location);

// Closes both handles (shutdown).
void CloseWatch(ChangeWatch& watch);

} // namespace folder
