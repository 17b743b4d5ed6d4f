#include "fileops/file_rules.h"

#include "common/path.h"

namespace fileops {

std::wstring ExtensionOf(const std::wstring& name) {
    const size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot);
}

std::wstring StemOf(const std::wstring& name) {
    const size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

bool IsPlainName(const std::wstring& typed) {
    if (typed.empty() || typed == L"." || typed == L"..")
        return false;
    for (wchar_t c : typed)
        if (c < 0x20 || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos)
            return false;
    return true;
}

std::wstring RenamedFileName(const std::wstring& oldName, const std::wstring& typed) {
    if (!IsPlainName(typed))
        return std::wstring();
    const std::wstring name = typed + ExtensionOf(oldName);
    return name == oldName ? std::wstring() : name;
}

std::wstring RenamedTreePath(const std::wstring& oldPath, const std::wstring& typed, bool archive) {
    const std::wstring oldName = paths::LastComponent(oldPath);
    if (!IsPlainName(typed) || oldName.empty() || oldName.size() == oldPath.size())
        return std::wstring();
    const std::wstring name = archive ? typed + ExtensionOf(oldName) : typed;
    if (name == oldName)
        return std::wstring();
    return paths::Join(paths::Parent(oldPath), name);
}

std::wstring TreeRenameText(const std::wstring& path, bool archive) {
    const std::wstring name = paths::LastComponent(path);
    return archive ? StemOf(name) : name;
}

bool PaneDeleteAllowed(location::LocationKind kind, bool recycleBin, bool loadFinished, size_t selected) {
    const bool listedFolder = kind == location::kFileSystemFolder || (kind == location::kShellFolder && !recycleBin);
    return listedFolder && loadFinished && selected > 0;
}

namespace {

// Moves [start, start + size) into [low, high) as far as it fits; a dialog larger than the area keeps
// its low edge (its caption, its left side) reachable.
int Clamp(int start, int size, int low, int high) {
    if (start + size > high)
        start = high - size;
    return start < low ? low : start;
}

} // namespace

Box PlaceUnderCell(const Box& cell, int width, int height, const Box& work) {
    const int x = Clamp(cell.left + (cell.Width() - width) / 2, width, work.left, work.right);
    int y = cell.bottom;
    if (y + height > work.bottom)
        y = cell.top - height;
    y = Clamp(y, height, work.top, work.bottom);
    return {x, y, x + width, y + height};
}

Box PlaceBesideTree(int treeRight, int itemTop, int width, int height, const Box& work) {
    const int y = Clamp(itemTop, height, work.top, work.bottom);
    return {treeRight, y, treeRight + width, y + height};
}

} // namespace fileops
