#include "folder/pane_location.h"

#include "common/path.h"
#include "folder/location_source.h"

namespace folder {

bool SetLocation(PaneLocation& loc, LocationKind kind, const std::vector<uint8_t>& idList, const std::wstring& path,
                 bool recycleBin) {
    if (kind < kFileSystemFolder || kind > kPluginArchive)
        return false;
    if (kind != kShellFolder && !platform::PathExists(path))
        return false;
    loc.kind = kind;
    loc.idList = kind == kShellFolder ? idList : std::vector<uint8_t>();
    loc.path = path;
    loc.valid = 1;
    loc.recycleBin = kind == kShellFolder && recycleBin ? 1 : 0;
    loc.archiveTime = 0;
    return true;
}

void ClearLocation(PaneLocation& loc) {
    loc.kind = kFileSystemFolder;
    loc.idList.clear();
    loc.path.clear();
    loc.valid = 0;
    loc.recycleBin = 0;
    loc.archiveTime = 0;
}

bool LocationsEqual(const PaneLocation& a, const PaneLocation& b) {
    if (a.kind != b.kind)
        return false;
    if (a.kind == kShellFolder)
        return a.idList == b.idList;
    return paths::EqualFold(a.path, b.path);
}

std::wstring DisplayName(const PaneLocation& loc) { return SourceFor(loc.kind).DisplayName(loc); }

} // namespace folder
