#include "app/broker.h"

#include "common/path.h"

namespace broker {

namespace {

bool Busy(const BrokerState& s, int pane) { return s.panes[static_cast<size_t>(pane & 1)].busy != 0; }

bool UnderActiveFolder(const BrokerState& s, const std::wstring& path) {
    return s.job && paths::AtOrUnder(path, ActiveFolder(*s.job));
}

// Class 2: a busy pane showing something inside the folder, or the job touching it.
bool FolderInUse(const BrokerState& s, const std::wstring& path) {
    for (const PaneState& p : s.panes) {
        if (!p.busy || !p.hasLocation || p.kind == location::kShellFolder)
            continue;
        if (p.kind == location::kFileSystemFolder ? paths::AtOrUnder(p.folder, path) : paths::EqualFold(p.folder, path))
            return true;
    }
    if (!s.job)
        return false;
    return paths::AtOrUnder(s.job->firstFolder, path) || paths::AtOrUnder(s.job->secondFolder, path) ||
           UnderActiveFolder(s, path);
}

// Class 3 and the pane question of PATH_IN_FILEOP share the shell-folder rule.
bool ShowsShellFolder(const BrokerState& s, int pane) {
    const PaneState& p = s.panes[static_cast<size_t>(pane & 1)];
    return p.hasLocation && p.kind == location::kShellFolder;
}

const std::wstring& PaneFolder(const BrokerState& s, int pane) {
    static const std::wstring kNone;
    const PaneState& p = s.panes[static_cast<size_t>(pane & 1)];
    return p.hasLocation ? p.folder : kNone;
}

bool Admitted(const BrokerState& s, uint32_t code, const std::wstring& path) {
    const int pane = static_cast<int>(code & kCodePaneBit);
    switch (code & kCodeClassMask) {
    case kClassPath:
        return !Busy(s, pane) && !UnderActiveFolder(s, path);
    case kClassFolder:
        return !FolderInUse(s, path);
    case kClassPane:
        return !Busy(s, pane) && !ShowsShellFolder(s, pane) && !UnderActiveFolder(s, PaneFolder(s, pane));
    case kClassProgram:
        return !Busy(s, 0) && !Busy(s, 1) && !s.job;
    default:
        // No operation uses the other classes; admitting an unknown one would let it run unchecked.
        return false;
    }
}

} // namespace

const std::wstring& ActiveFolder(const FileOpJob& job) { return job.mode == 0 ? job.secondFolder : job.firstFolder; }

uint32_t StartJob(BrokerState& s, int pane, uint32_t word, location::LocationKind kind, const std::wstring& folder) {
    PaneState& p = s.panes[static_cast<size_t>(pane & 1)];
    if (++s.lastLoad == 0)
        s.lastLoad = 1;
    p.load = s.lastLoad;
    p.busy = word;
    p.hasLocation = true;
    p.kind = kind;
    p.folder = folder;
    return p.load;
}

bool JobDone(BrokerState& s, int pane, uint32_t load) {
    PaneState& p = s.panes[static_cast<size_t>(pane & 1)];
    if (load == 0)
        return true;
    if (load != p.load)
        return false;
    p.busy = 0;
    return true;
}

uint32_t CurrentLoad(const BrokerState& s, int pane) { return s.panes[static_cast<size_t>(pane & 1)].load; }

int Acquire(BrokerState& s, uint32_t code, const std::wstring* path) {
    if (code == 0) {
        s.lock = 0;
        return 0;
    }
    if (path)
        s.lastPath = *path;
    s.lastCode = code;
    if (!Admitted(s, code, s.lastPath)) {
        s.lock = 0;
        return 0;
    }
    if (!(code & kCodeTestOnly))
        s.lock = code;
    return 1;
}

int BusyFlag(BrokerState& s, uint32_t op) {
    switch (op) {
    case 1:
        if (s.busyFlag)
            return 0;
        s.busyFlag = true;
        return 1;
    case 2:
        return s.busyFlag ? 0 : 1;
    default:
        s.busyFlag = false;
        return 0;
    }
}

int PathInFileOp(const BrokerState& s, const std::wstring* path, int pane) {
    if (!s.job)
        return 1;
    if (path)
        return UnderActiveFolder(s, *path) ? 0 : 1;
    if (Busy(s, pane) || ShowsShellFolder(s, pane))
        return 0;
    const std::wstring& folder = PaneFolder(s, pane);
    if (paths::AtOrUnder(folder, s.job->firstFolder) || paths::AtOrUnder(folder, s.job->secondFolder))
        return 0;
    return 1;
}

int PathFree(const BrokerState& s, const std::wstring& path) {
    for (const PaneState& p : s.panes)
        if (p.busy && p.hasLocation && paths::EqualFold(p.folder, path))
            return 0;
    return UnderActiveFolder(s, path) ? 0 : 1;
}

int PaneIdle(const BrokerState& s, int pane) {
    if (pane == 2)
        return !Busy(s, 0) && !Busy(s, 1) ? 1 : 0;
    return Busy(s, pane) ? 0 : 1;
}

} // namespace broker
