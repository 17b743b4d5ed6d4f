// Enabled and checked states of menu items, decided from what the main window knows when a menu
// opens. Portable: the Windows side only applies the result to the menu handles.
#pragma once

#include <cstddef>

namespace menus {

// What the main window knows when a menu opens; filled by the main window.
struct MenuFacts {
    // active pane
    bool fileSystemFolder = false;    // shows a valid file-system folder
    size_t itemCount = 0;
    size_t selectedCount = 0;
    bool paneBusy = false;            // its production is running
    bool busyFlagFree = true;         // the broker's busy flag is free
    bool selectedIsPngOrJpeg = false; // exactly one item selected and it is a PNG or JPEG picture
    bool renameAdmitted = false;      // admission class 1 (test only) for the selected item's path
    bool deleteAdmitted = false;      // admission class 3 (test only) for the active pane
    bool printAdmitted = false;
    bool optionsAdmitted = false;     // admission class 4 (test only)
    bool viewerExists = false;        // companion viewer executable (key 59) exists
    int sortMode = 0;                 // 0..5, of the active pane (checked in the sort menu)
    int filter = 0;                   // 0..5 (checked in the filter menu)
    bool sortPaneBusy = false;        // a pane the sort applies to is busy
    // view switches
    bool treeHidden = false;
    int paneLayout = 2;               // 0 pane 1 only, 1 pane 2 only, 2 both (key 36)
    bool previewOnClick = true;       // key 37
    bool captions = true;             // key 38
    bool cacheEnabled = true;
    bool hiddenShown = false;         // hidden-attribute mask is 0
};

struct CommandState {
    bool enabled = true;
    bool checked = false;
};

// The rules alone, as if every command were carried out. Commands without a rule are enabled.
CommandState RuleOf(int command, const MenuFacts& facts);
// The state of one menu item: its rule, and grey whatever cmd::CarriedOut says this build does not
// carry out.
CommandState StateOf(int command, const MenuFacts& facts);

} // namespace menus
