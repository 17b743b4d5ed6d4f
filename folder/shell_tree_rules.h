// The decisions of the shell folder tree that need no shell: how a child of a folder is classified,
// which rows the panes' marks colour, where a new child goes among its sorted siblings, and the edits
// of the root-folder list. The Windows side (shell_tree_win.cpp) asks the shell for the facts and
// lets these functions decide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/settings.h"
#include "folder/archive_listing.h"

namespace folder {

// The shell's attribute bits the tree asks for, with the values of the SFGAO_* flags.
namespace shellattr {
constexpr uint32_t kShare = 0x00020000;
constexpr uint32_t kGhosted = 0x00008000;
constexpr uint32_t kHidden = 0x00080000;
constexpr uint32_t kStream = 0x00400000;
constexpr uint32_t kFolder = 0x20000000;
constexpr uint32_t kFileSystem = 0x40000000;
constexpr uint32_t kHasSubfolder = 0x80000000;
} // namespace shellattr

// Data class of a tree item.
enum TreeItemClass : int32_t {
    kRootFoldersItem = 0,
    kDesktopRoot = 1,
    kRootFolder = 2,
    kShellItem = 3,
};

// What decides which files count as archives.
struct ArchiveRules {
    bool showArchives = true;  // archives are tree items at all
    bool rarAvailable = true; // a RAR reader: the built-in one always, the module when present
    // Plug-in archive extensions, compared whole with the part of a name from its last dot.
    std::vector<std::wstring> pluginExtensions;
};

// Location kind of an archive file by its name: 2 ZIP, 3 RAR (only with the module), 4 plug-in
// archive; kFileSystemFolder when it is no archive. Does not look at `showArchives`.
LocationKind ArchiveKindOf(const std::wstring& path, const ArchiveRules& rules);

// Where a pane pointed at a path goes: an existing folder is shown as itself (kind 0), an archive by
// its extension as an archive location, any other existing file as the folder that holds it (a bare
// drive such as "C:" gets its backslash); a path that does not exist stays as it is (kind 0), so the
// pane can refuse it.
struct PaneTarget {
    LocationKind kind = kFileSystemFolder;
    std::wstring path;
};
PaneTarget ClassifyPanePath(const std::wstring& path, const ArchiveRules& rules);

// Result of classifying one child of a folder.
constexpr int32_t kSkipChild = -1;
// The location kind the child becomes a tree item of, or kSkipChild. `fileSystemPath` is the
// child's path when it has one. With archives switched off every archive is skipped, the shell's
// ZIP folders included, so that the switch really removes them.
int32_t ClassifyChild(uint32_t attributes, const std::wstring& fileSystemPath, const ArchiveRules& rules);
// Folders (kinds 0 and 1) get an expand button and a children check; archives get neither.
inline bool KindHasChildren(LocationKind kind) { return kind == kFileSystemFolder || kind == kShellFolder; }

// A folder whose children need no enumeration to be believed: a drive root ("C:\", "C:",
// "\\server\share") is never touched, since asking a slow or absent drive would block.
bool IsDriveRoot(const std::wstring& path);

// Custom draw of a row that a pane shows. Colours are COLORREF values (0x00BBGGRR).
struct MarkBand {
    int top = 0; // relative to the row's top
    int height = 0;
    uint32_t colour = 0;
};
struct RowMark {
    bool marked = false;
    uint32_t text = 0;
    uint32_t background = 0xFFFFFF;
    int bandCount = 0;
    MarkBand bands[2];
};
constexpr uint32_t kMarkTextBoth = 0x300090;
constexpr uint32_t kMarkTextPane0 = 0xCC4400;
constexpr uint32_t kMarkTextPane1 = 0x008000;
constexpr uint32_t kMarkBandPane0 = 0xFFF0D8;
constexpr uint32_t kMarkBandPane1 = 0xE0FFD0;
RowMark MarkForRow(bool inPane0, bool inPane1, int rowHeight);
// The mark's text colour stays off the row the user is acting on: the drop target, or, when there
// is none, the focused selection.
bool MarkColoursText(bool isDropTarget, bool anyDropTarget, bool isSelected, bool treeHasFocus);

// Where a new item goes among `count` sorted siblings: the first position whose sibling sorts
// after it (`compareWith(i)` < 0 means the new item sorts before sibling i). Equal items go after.
size_t SortedInsertPosition(size_t count, const std::function<int(size_t)>& compareWith);

// Root-folder list (settings keys 101 and 104). Bit 0 of an entry's flags: expand it at start.
constexpr uint8_t kRootExpandAtStart = 1;
// Index of `path` in the list (same length, ASCII case folded), or -1.
int FindRootFolder(const std::vector<settings::TreeRoot>& roots, const std::wstring& path);
// Appends `path` unless it is already listed or empty; true when it was appended.
bool AddRootFolder(std::vector<settings::TreeRoot>& roots, const std::wstring& path);
// Removes the entry of `path`; true when there was one.
bool RemoveRootFolder(std::vector<settings::TreeRoot>& roots, const std::wstring& path);
// Sets or clears the expand-at-start flag of `path`; false when it is not listed.
bool SetRootExpandAtStart(std::vector<settings::TreeRoot>& roots, const std::wstring& path, bool expand);

} // namespace folder
