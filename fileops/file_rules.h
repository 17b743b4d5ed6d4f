// The decisions of the file commands that need no shell: which name a rename produces, whether a pane
// may delete its selection, and where the name dialog goes on the screen. Portable, so every rule is
// tested natively.
#pragma once

#include <cstddef>
#include <string>

#include "common/location.h"

namespace fileops {

// The extension of a file name: from its last "." on ("" when it has none).
std::wstring ExtensionOf(const std::wstring& name);
// The name without that extension: what the rename dialog offers for a file or an archive.
std::wstring StemOf(const std::wstring& name);

// Whether `typed` can name a file in the folder it is typed for. Separators and the other characters
// the file system refuses would turn a rename into a move or fail half-way; "." and ".." name other
// folders.
bool IsPlainName(const std::wstring& typed);

// The new file name of a pane item after the user typed `typed`: the typed name with the old
// extension, so the extension never changes ("photo.jpg" and "holiday.png" give "holiday.png.jpg").
// Empty when nothing is to be renamed: an empty or unusable name, or the name the item already has.
std::wstring RenamedFileName(const std::wstring& oldName, const std::wstring& typed);
// The new path of a tree folder or archive: its parent folder, "\", the typed name and, for an
// archive, the old extension. Empty under the same conditions as above.
std::wstring RenamedTreePath(const std::wstring& oldPath, const std::wstring& typed, bool archive);
// What the rename dialog shows for a tree item: the folder's name, or the archive's without extension.
std::wstring TreeRenameText(const std::wstring& path, bool archive);

// Deleting pane items needs a listed folder of files whose load has finished (the selection cannot
// change under the operation) and a selection; archives and the recycle bin view refuse it.
bool PaneDeleteAllowed(location::LocationKind kind, bool recycleBin, bool loadFinished, size_t selected);

struct Box {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// The rename dialog of a pane item: centred on the item's cell, just below it, or just above it when
// it would leave the work area; kept inside the work area sideways.
Box PlaceUnderCell(const Box& cell, int width, int height, const Box& work);
// The name dialog of a tree item: its left edge at the tree's right edge, its top at the item's,
// moved up when it would leave the work area.
Box PlaceBesideTree(int treeRight, int itemTop, int width, int height, const Box& work);

} // namespace fileops
