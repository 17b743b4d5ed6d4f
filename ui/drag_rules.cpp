#include "ui/drag_rules.h"

#include "common/path.h"

namespace dragrules {

DragState ItemDragState(const SourcePane& source, bool leftButton, bool brokerAccepts) {
    if (!brokerAccepts || !source.valid)
        return kBlocked;
    const bool folder = (source.kind == location::kFileSystemFolder || source.kind == location::kShellFolder) &&
                        !source.recycleBin;
    return leftButton && folder ? kMoveItems : kCopyItems;
}

bool TreeAcceptsItems(const SourcePane& source, const TreeTarget& target) {
    if (target.kind != location::kFileSystemFolder || target.path.empty() || !target.brokerAccepts)
        return false;
    // Only a folder pane has a folder of its own to compare with; an archive's path is a file.
    const std::wstring own = paths::TrimTrailingSeparators(source.folder);
    return !paths::EqualFold(paths::TrimTrailingSeparators(target.path), own);
}

bool OtherPaneAcceptsItems(const OtherPane& other) {
    return other.bothShown && other.valid && other.kind == location::kFileSystemFolder && !other.sameLocation &&
           other.idle && other.brokerAccepts;
}

bool TreeAcceptsFolder(const FolderMove& move) {
    const TreeTarget& t = move.target;
    if (!move.mayMove || move.sameItem || t.kind != location::kFileSystemFolder || t.path.empty() ||
        !t.brokerAccepts || move.dragged.empty())
        return false;
    const std::wstring target = paths::TrimTrailingSeparators(t.path);
    const std::wstring dragged = paths::TrimTrailingSeparators(move.dragged);
    if (paths::AtOrUnder(target, dragged))
        return false;
    return !paths::EqualFold(paths::ParentFolder(dragged), t.path) &&
           !paths::EqualFold(paths::TrimTrailingSeparators(paths::ParentFolder(dragged)), target);
}

int AutoScrollDirection(int y, int itemHeight, int clientHeight, int hScrollHeight) {
    if (itemHeight <= 0)
        return 0;
    if (y < itemHeight)
        return -1;
    if (y > clientHeight - itemHeight - hScrollHeight)
        return 1;
    return 0;
}

} // namespace dragrules
