#include "folder/pane_location.h"

#include "folder/names.h"

namespace folder {

bool SetLocation(PaneLocation& loc, int32_t kind, const std::vector<uint8_t>& idList, const std::wstring& path,
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
    return PathsEqual(a.path, b.path);
}

std::wstring DisplayName(const PaneLocation& loc) {
    if (loc.kind == kShellFolder)
        return loc.path;
    const size_t slash = loc.path.rfind(L'\\');
    // A drive root such as C: with its backslash has nothing after it; it is named by its whole path.
    if (slash == std::wstring::npos || slash + 1 == loc.path.size())
        return loc.path;
    return loc.path.substr(slash + 1);
}

} // namespace folder
