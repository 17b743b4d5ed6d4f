#include "folder/change_watch_win.h"

namespace folder {

void ChangeNotification::Reset(HANDLE h) {
    if (h_)
        FindCloseChangeNotification(h_);
    h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
}

namespace {

void Arm(ChangeNotification& handle, const PaneLocation* loc) {
    handle.Reset();
    if (!loc || !loc->valid || loc->kind != kFileSystemFolder)
        return;
    handle.Reset(FindFirstChangeNotificationW(loc->path.c_str(), FALSE,
                                              FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE));
}

} // namespace

void WatchFolders(ChangeWatch& watch, const PaneLocation* panes[2]) {
    watch.armed = true;
    for (int i = 0; i < 2; ++i)
        Arm(watch.handles[i], panes[i]);
}

void EndWatch(ChangeWatch& watch) { watch.armed = false; }

void PaneLoaded(ChangeWatch& watch, int pane, const PaneLocation& location) {
    Arm(watch.handles[pane & 1], watch.armed ? &location : nullptr);
}

bool CheckFolderChanged(ChangeWatch& watch, int pane, PaneLocation& location) {
    ChangeNotification& handle = watch.handles[pane & 1];
    if (!location.valid || location.kind != kFileSystemFolder)
        handle.Reset();
    if (!location.valid)
        return false;
    if (location.kind == kFileSystemFolder) {
        // The handle goes first: while it is open a deleted folder may still be found (its removal
        // waits for the last handle), and the reload would then meet a folder that has gone.
        const bool signalled = handle && WaitForSingleObject(handle.Get(), 0) == WAIT_OBJECT_0;
        handle.Reset();
        if (!platform::FolderExists(location.path)) {
            ClearLocation(location);
            return true;
        }
        return signalled;
    }
    if (location.kind == kShellFolder)
        return false;
    if (!platform::FileExists(location.path)) {
        ClearLocation(location);
        return true;
    }
    platform::FileTime time = 0;
    if (!platform::GetLastWriteTime(location.path, &time))
        return false;
    return time != location.archiveTime;
}

void CloseWatch(ChangeWatch& watch) {
    watch.armed = false;
    for (ChangeNotification& h : watch.handles)
        h.Reset();
}

} // namespace folder
