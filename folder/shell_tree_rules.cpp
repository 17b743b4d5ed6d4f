#include "folder/shell_tree_rules.h"

#include "common/path.h"
#include "common/platform.h"

namespace folder {

namespace {

// The extension of the last path component only: a dot in a folder name is no extension.
std::wstring ExtensionOfPath(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    const size_t start = slash == std::wstring::npos ? 0 : slash + 1;
    const size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot < start)
        return std::wstring();
    return path.substr(dot);
}

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

} // namespace

LocationKind ArchiveKindOf(const std::wstring& path, const ArchiveRules& rules) {
    const std::wstring ext = ExtensionOfPath(path);
    if (ext.size() < 2)
        return kFileSystemFolder;
    if (paths::EqualFold(ext, L".zip"))
        return kZipArchive;
    // Without the RAR module a plug-in may still claim ".rar".
    if (paths::EqualFold(ext, L".rar") && rules.rarAvailable)
        return kRarArchive;
    for (const std::wstring& entry : rules.pluginExtensions) {
        if (entry.empty())
            continue;
        const std::wstring dotted = entry[0] == L'.' ? entry : L"." + entry;
        if (paths::EqualFold(ext, dotted))
            return kPluginArchive;
    }
    return kFileSystemFolder;
}

PaneTarget ClassifyPanePath(const std::wstring& path, const ArchiveRules& rules) {
    PaneTarget target;
    target.path = path;
    // "C:\pics\" and "C:\pics" are one location; a drive root keeps its backslash.
    while (target.path.size() > 3 && (target.path.back() == L'\\' || target.path.back() == L'/'))
        target.path.pop_back();
    if (platform::FolderExists(target.path) || !platform::FileExists(target.path))
        return target;
    const LocationKind kind = ArchiveKindOf(target.path, rules);
    if (kind != kFileSystemFolder) {
        target.kind = kind;
        return target;
    }
    const std::wstring folder = paths::ParentFolder(target.path);
    if (!folder.empty())
        target.path = folder;
    return target;
}

int32_t ClassifyChild(uint32_t attributes, const std::wstring& fileSystemPath, const ArchiveRules& rules) {
    const bool isFolder = (attributes & shellattr::kFolder) != 0;
    if (!(attributes & shellattr::kFileSystem))
        return isFolder ? kShellFolder : kSkipChild;
    if (!isFolder) {
        if (!rules.showArchives)
            return kSkipChild;
        const LocationKind kind = ArchiveKindOf(fileSystemPath, rules);
        return kind != kFileSystemFolder ? kind : kSkipChild;
    }
    if (attributes & shellattr::kStream) {
        // A container file the shell browses: only ZIP files are ours to show.
        if (!rules.showArchives)
            return kSkipChild;
        return paths::EqualFold(ExtensionOfPath(fileSystemPath), L".zip") ? kZipArchive : kSkipChild;
    }
    return kFileSystemFolder;
}

bool IsDriveRoot(const std::wstring& path) {
    if (path.size() == 2 || path.size() == 3) {
        if (!IsLetter(path[0]) || path[1] != L':')
            return false;
        return path.size() == 2 || path[2] == L'\\';
    }
    // A UNC share root: \\server\share with an optional trailing backslash.
    if (path.size() < 5 || path[0] != L'\\' || path[1] != L'\\')
        return false;
    const size_t serverEnd = path.find(L'\\', 2);
    if (serverEnd == std::wstring::npos || serverEnd == 2 || serverEnd + 1 >= path.size())
        return false;
    const size_t shareEnd = path.find(L'\\', serverEnd + 1);
    return shareEnd == std::wstring::npos || shareEnd + 1 == path.size();
}

RowMark MarkForRow(bool inPane0, bool inPane1, int rowHeight) {
    RowMark mark;
    if (!inPane0 && !inPane1)
        return mark;
    mark.marked = true;
    const int band = rowHeight > 1 ? (rowHeight - 1) / 2 : 0;
    if (inPane0 && inPane1) {
        mark.text = kMarkTextBoth;
        mark.bandCount = 2;
        mark.bands[0] = {0, band, kMarkBandPane0};
        mark.bands[1] = {rowHeight - band, band, kMarkBandPane1};
        return mark;
    }
    mark.text = inPane0 ? kMarkTextPane0 : kMarkTextPane1;
    mark.bandCount = 1;
    mark.bands[0] = {(rowHeight - band) / 2, band, inPane0 ? kMarkBandPane0 : kMarkBandPane1};
    return mark;
}

bool MarkColoursText(bool isDropTarget, bool anyDropTarget, bool isSelected, bool treeHasFocus) {
    if (isDropTarget)
        return false;
    return anyDropTarget || !(isSelected && treeHasFocus);
}

size_t SortedInsertPosition(size_t count, const std::function<int(size_t)>& compareWith) {
    size_t low = 0, high = count;
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        if (compareWith(mid) < 0)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

int FindRootFolder(const std::vector<settings::TreeRoot>& roots, const std::wstring& path) {
    for (size_t i = 0; i < roots.size(); ++i)
        if (paths::EqualFold(roots[i].path, path))
            return static_cast<int>(i);
    return -1;
}

bool AddRootFolder(std::vector<settings::TreeRoot>& roots, const std::wstring& path) {
    if (path.empty() || FindRootFolder(roots, path) >= 0)
        return false;
    roots.push_back({path, 0});
    return true;
}

bool RemoveRootFolder(std::vector<settings::TreeRoot>& roots, const std::wstring& path) {
    const int at = FindRootFolder(roots, path);
    if (at < 0)
        return false;
    roots.erase(roots.begin() + at);
    return true;
}

bool SetRootExpandAtStart(std::vector<settings::TreeRoot>& roots, const std::wstring& path, bool expand) {
    const int at = FindRootFolder(roots, path);
    if (at < 0)
        return false;
    uint8_t& flags = roots[static_cast<size_t>(at)].flags;
    flags = expand ? static_cast<uint8_t>(flags | kRootExpandAtStart) : static_cast<uint8_t>(flags & ~kRootExpandAtStart);
    return true;
}

} // namespace folder
