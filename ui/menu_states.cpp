#include "ui/menu_states.h"

#include "ui/commands.h"

namespace menus {

namespace {

// Pane layouts other than "pane 1 only" and "pane 2 only" are laid out as both panes, so exactly one
// of the three layout items is checked whatever the stored value.
int LayoutCommand(int paneLayout) {
    switch (paneLayout) {
    case 0: return cmd::kPane1Only;
    case 1: return cmd::kPane2Only;
    default: return cmd::kBothPanes;
    }
}

} // namespace

CommandState RuleOf(int command, const MenuFacts& f) {
    const bool one = f.selectedCount == 1;
    const bool oneInFolder = one && f.fileSystemFolder;
    CommandState s;
    switch (command) {
    case cmd::kEditComment: s.enabled = oneInFolder && f.renameAdmitted && f.selectedIsPngOrJpeg; break;
    case cmd::kRename: s.enabled = oneInFolder && f.renameAdmitted; break;
    case cmd::kDelete: s.enabled = f.fileSystemFolder && f.selectedCount > 0 && f.deleteAdmitted; break;
    case cmd::kSelectAll:
        // An empty pane has nothing selected, not everything.
        s.checked = f.itemCount > 0 && f.selectedCount >= f.itemCount;
        s.enabled = !f.paneBusy && f.itemCount > 0;
        break;
    case cmd::kPrint: s.enabled = f.itemCount > 0 && f.busyFlagFree && f.printAdmitted; break;
    case cmd::kWallpaper: s.enabled = one; break;
    case cmd::kProperties:
    case cmd::kOpenAssociated: s.enabled = oneInFolder; break;

    case cmd::kToggleTree: s.checked = f.treeHidden; break;
    case cmd::kPane1Only:
    case cmd::kPane2Only:
    case cmd::kBothPanes: s.checked = command == LayoutCommand(f.paneLayout); break;
    case cmd::kPreviewOnClick: s.checked = f.previewOnClick; break;
    case cmd::kCaptions: s.checked = f.captions; break;
    case cmd::kForcedReload: s.enabled = f.cacheEnabled; break;
    case cmd::kToggleHidden: s.checked = f.hiddenShown; break;

    case cmd::kViewerView:
    case cmd::kViewerSlideShow:
    case cmd::kViewerFullScreen:
    case cmd::kStartViewer: s.enabled = f.viewerExists; break;
    case cmd::kReader: s.enabled = f.viewerExists && f.itemCount > 0; break;
    case cmd::kOptions: s.enabled = f.optionsAdmitted; break;
    case cmd::kNoToolsPlaceholder: s.enabled = false; break;
    default:
        if (command >= cmd::kSortFirst && command < cmd::kSortFirst + 6) {
            s.enabled = !f.sortPaneBusy;
            s.checked = command - cmd::kSortFirst == f.sortMode;
        } else if (command >= cmd::kFilterFirst && command < cmd::kFilterFirst + 6) {
            s.checked = command - cmd::kFilterFirst == f.filter;
        }
        break;
    }
    return s;
}

CommandState StateOf(int command, const MenuFacts& facts) {
    CommandState s = RuleOf(command, facts);
    if (!cmd::CarriedOut(command))
        s.enabled = false;
    return s;
}

} // namespace menus
