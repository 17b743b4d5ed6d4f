// Enabled and checked states of the menu items, from the facts the main window gathers.
#include "ui/menu_states.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ui/commands.h"

namespace {

using menus::MenuFacts;

// One selected JPEG in a file-system folder, every admission passing, the viewer present.
MenuFacts Ready() {
    MenuFacts f;
    f.fileSystemFolder = true;
    f.itemCount = 10;
    f.selectedCount = 1;
    f.renameAdmitted = f.deleteAdmitted = f.printAdmitted = f.optionsAdmitted = true;
    f.selectedIsPngOrJpeg = f.viewerExists = true;
    return f;
}

struct Case {
    const char* what;
    int command;
    std::function<void(MenuFacts&)> change;
    bool expected;
};

void None(MenuFacts&) {}
void TwoSelected(MenuFacts& f) { f.selectedCount = 2; }
void NoneSelected(MenuFacts& f) { f.selectedCount = 0; }
void Archive(MenuFacts& f) { f.fileSystemFolder = false; }
void Empty(MenuFacts& f) { f.itemCount = f.selectedCount = 0; }

// The rules alone, as StateOf applies them once a command's owner is built.
TEST(MenuStates, EnabledFollowsTheRules) {
    const std::vector<Case> cases = {
        {"rename: two selected", cmd::kRename, TwoSelected, false},
        {"rename: archive", cmd::kRename, Archive, false},
        {"rename: refused", cmd::kRename, [](MenuFacts& f) { f.renameAdmitted = false; }, false},
        {"comment: a GIF", cmd::kEditComment, [](MenuFacts& f) { f.selectedIsPngOrJpeg = false; }, false},
        {"comment: two selected", cmd::kEditComment, TwoSelected, false},
        {"delete: many selected", cmd::kDelete, [](MenuFacts& f) { f.selectedCount = 7; }, true},
        {"delete: none selected", cmd::kDelete, NoneSelected, false},
        {"delete: refused", cmd::kDelete, [](MenuFacts& f) { f.deleteAdmitted = false; }, false},
        {"select all: busy", cmd::kSelectAll, [](MenuFacts& f) { f.paneBusy = true; }, false},
        {"select all: empty", cmd::kSelectAll, Empty, false},
        {"print: archive", cmd::kPrint, Archive, true},
        {"print: busy flag taken", cmd::kPrint, [](MenuFacts& f) { f.busyFlagFree = false; }, false},
        {"print: empty", cmd::kPrint, Empty, false},
        {"wallpaper: archive", cmd::kWallpaper, Archive, true},
        {"wallpaper: two selected", cmd::kWallpaper, TwoSelected, false},
        {"properties: archive", cmd::kProperties, Archive, false},
        {"properties: none selected", cmd::kProperties, NoneSelected, false},
        {"associated: archive", cmd::kOpenAssociated, Archive, false},
        {"forced reload: cache off", cmd::kForcedReload, [](MenuFacts& f) { f.cacheEnabled = false; }, false},
        {"viewer missing", cmd::kViewerFullScreen, [](MenuFacts& f) { f.viewerExists = false; }, false},
        {"reader: empty pane", cmd::kReader, Empty, false},
        {"options: refused", cmd::kOptions, [](MenuFacts& f) { f.optionsAdmitted = false; }, false},
        {"sort: a pane busy", cmd::kSortFirst + 3, [](MenuFacts& f) { f.sortPaneBusy = true; }, false},
        {"filter: panes busy", cmd::kFilterFirst, [](MenuFacts& f) { f.paneBusy = f.sortPaneBusy = true; }, true},
        {"placeholder of the tools", cmd::kNoToolsPlaceholder, None, false},
        {"no rule: exit, nothing known", cmd::kExit, [](MenuFacts& f) { f = MenuFacts(); }, true},
        {"no rule: favourite, nothing known", cmd::kFavouriteFirst, [](MenuFacts& f) { f = MenuFacts(); }, true},
    };
    for (const Case& c : cases) {
        MenuFacts f = Ready();
        c.change(f);
        EXPECT_EQ(menus::RuleOf(c.command, f).enabled, c.expected) << c.what;
    }
}

TEST(MenuStates, CheckedFollowsTheRules) {
    const std::vector<Case> cases = {
        {"select all: all selected", cmd::kSelectAll, [](MenuFacts& f) { f.selectedCount = 10; }, true},
        {"select all: one short", cmd::kSelectAll, [](MenuFacts& f) { f.selectedCount = 9; }, false},
        {"select all: empty pane", cmd::kSelectAll, Empty, false},
        {"tree hidden", cmd::kToggleTree, [](MenuFacts& f) { f.treeHidden = true; }, true},
        {"preview on click off", cmd::kPreviewOnClick, [](MenuFacts& f) { f.previewOnClick = false; }, false},
        {"hidden files shown", cmd::kToggleHidden, [](MenuFacts& f) { f.hiddenShown = true; }, true},
    };
    for (const Case& c : cases) {
        MenuFacts f = Ready();
        c.change(f);
        EXPECT_EQ(menus::StateOf(c.command, f).checked, c.expected) << c.what;
    }
}

TEST(MenuStates, CommandsNotCarriedOutAreGreyWhateverTheFacts) {
    for (int command = 5000; command < 5900; ++command) {
        const menus::CommandState s = menus::StateOf(command, Ready());
        const bool rule = menus::RuleOf(command, Ready()).enabled;
        EXPECT_EQ(s.enabled, rule && cmd::CarriedOut(command)) << command;
    }
    // A tool item exists only for a defined tool, which runs whatever the pane shows.
    EXPECT_TRUE(menus::StateOf(cmd::kToolFirst + 7, Ready()).enabled);
}

TEST(MenuStates, ExactlyOneChoiceOfEachGroupIsChecked) {
    // Stored layouts outside 0..2 are laid out as both panes.
    const int layouts[][2] = {{0, 5121}, {1, 5122}, {2, 5123}, {7, 5123}, {-1, 5123}};
    for (const auto& l : layouts) {
        MenuFacts f;
        f.paneLayout = l[0];
        for (int id = 5121; id <= 5123; ++id)
            EXPECT_EQ(menus::StateOf(id, f).checked, id == l[1]) << l[0] << " " << id;
    }
    for (int mode = 0; mode < 6; ++mode) {
        MenuFacts f;
        f.sortMode = mode;
        f.filter = 5 - mode;
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(menus::StateOf(cmd::kSortFirst + i, f).checked, i == mode) << mode << " " << i;
            EXPECT_EQ(menus::StateOf(cmd::kFilterFirst + i, f).checked, i == 5 - mode) << mode << " " << i;
        }
    }
    EXPECT_FALSE(menus::StateOf(cmd::kSortFirst + 6, MenuFacts()).checked);
}

} // namespace
