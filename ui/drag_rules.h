// What a drag may do, decided from plain facts so the rules are tested without windows: the kind of
// an item drag, which targets accept items or a folder, the cursor each state shows, and when the
// tree scrolls under the pointer.
#pragma once

#include <string>

#include "common/location.h"

namespace dragrules {

// The drag values of the program-wide mouse mode.
enum DragState : int {
    kIdle = 0,
    kMoveItems = 3,
    kCopyItems = 4,
    kTreeFolder = 5,
    kBlocked = 14,
};

// Cursor resources: 107 + state for item drags, and a tree folder over a pane.
constexpr int kCursorBase = 107;
constexpr int kCursorMove = kCursorBase + kMoveItems; // 110
constexpr int kCursorCopy = kCursorBase + kCopyItems; // 111
constexpr int kCursorFolderOverPane = 115;

// The pane an item drag starts from.
struct SourcePane {
    bool valid = false; // shows a listed location
    location::LocationKind kind = location::kFileSystemFolder;
    bool recycleBin = false;
    std::wstring folder; // its path (the archive file for archives)
};

// A left drag from a listed folder (file system or shell, not the recycle bin view) moves; from an
// archive or the recycle bin view it copies, as does every right drag. Refused by the broker: blocked.
DragState ItemDragState(const SourcePane& source, bool leftButton, bool brokerAccepts);

// A tree folder hovered by an item drag.
struct TreeTarget {
    location::LocationKind kind = location::kShellFolder;
    std::wstring path; // empty for virtual folders
    bool brokerAccepts = false;
};
// Items may land there: a file-system folder that is not the source pane's own folder.
bool TreeAcceptsItems(const SourcePane& source, const TreeTarget& target);

// The other pane as a target of an item drag.
struct OtherPane {
    bool bothShown = false; // pane layout 2
    bool valid = false;
    location::LocationKind kind = location::kFileSystemFolder;
    bool sameLocation = false; // shows what the source pane shows
    bool idle = false;
    bool brokerAccepts = false;
};
bool OtherPaneAcceptsItems(const OtherPane& other);

// A tree folder hovered by a folder drag.
struct FolderMove {
    bool mayMove = false;        // the dragged folder passed the guard and its admission
    std::wstring dragged;        // the dragged folder's path
    bool sameItem = false;       // the hovered item is the dragged one
    TreeTarget target;           // brokerAccepts: the broker reports the target free
};
// The folder may go there: a different file-system folder, outside the dragged one, not the folder
// that already holds it (a move onto its own parent changes nothing).
bool TreeAcceptsFolder(const FolderMove& move);

// Which way the tree scrolls when the pointer is at `y` (client): -1 within one item height of the
// top, 1 below the lowest line without scrolling, else 0.
int AutoScrollDirection(int y, int itemHeight, int clientHeight, int hScrollHeight);

} // namespace dragrules
