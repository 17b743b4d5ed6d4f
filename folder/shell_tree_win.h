// The shell folder tree: the desktop root and the root-folders item in the tree-view control of the
// tree area, filled lazily on expansion, kept in step with the shell's change notifications, and
// the source of the panes' navigation when the user picks an item.
//
// One tree exists per process. Its worker thread (message-only window "shell_msg_class") decides
// whether folder items have children, so a slow or absent folder never blocks the window; it answers
// to the tree-view control itself, which the tree subclasses (messages in app/messages.h). All tree
// structure is changed on the user-interface thread only.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/messages.h"
#include "app/settings.h"
#include "folder/pane_location.h"
#include "folder/shell_tree_rules.h"

namespace shelltree {


// How the tree reaches the rest of the program. The program's host sends requests to the broker and
// asks the panes; tests put their own in.
struct TreeHost {
    // The pane a plain selection loads (0 or 1).
    std::function<int()> activePane;
    // Whether pane `pane` shows `location` (kind, item-ID list for kind 1, path) right now.
    std::function<bool(int pane, const msg::LocationRequest& location)> paneShows;
    // Takes a location request for loading.
    std::function<void(std::unique_ptr<msg::LocationRequest>)> navigate;
    // The archives switch was changed from the tree's menu (settings key 7).
    std::function<void(bool)> showArchivesChanged;
    // Gives a context menu the program's look before it opens (owner-drawn items); may be empty.
    std::function<void(HMENU)> decorateMenu;
    // The archive commands (extract, pack stored, pack deflated) on an item's location; without it
    // they stay grey. `archiveJobPossible` tells whether no such job runs now.
    std::function<void(int command, folder::LocationKind kind, const std::wstring& path)> archiveJob;
    std::function<bool()> archiveJobPossible;
    // The file commands (new folder, rename, delete) on an item's location; `item` is its rectangle on
    // the screen, for placing the name dialog. Without it they stay grey. `offersChanges` tells
    // whether rename and delete may be offered for a path (the guard and the broker's admission).
    std::function<void(int command, folder::LocationKind kind, const std::wstring& path, const RECT& item)> fileCommand;
    std::function<bool(const std::wstring& path)> offersChanges;
};

struct TreeOptions {
    std::wstring rootFoldersCaption;
    bool expandDesktop = true;
    bool expandRootFolders = true;
    bool showHidden = false;
    bool showArchives = true;
    bool rarAvailable = true;
    // The root-folder list (settings keys 101 and 104); it is the settings' own list, edited in place.
    // Null hides the root-folders item.
    std::vector<settings::TreeRoot>* roots = nullptr;
    std::vector<std::wstring> pluginExtensions;
};

// Start-up: creates the tree object and starts its worker thread. False when the thread could not
// be started; the tree then works without children checks (every folder keeps its button).
bool StartShellTree();
// Teardown: stops the worker (WM_CLOSE, at most 500 ms, then terminated), empties the tree and
// deregisters the change notification. Safe to call more than once.
void StopShellTree();
// The tree-view control the roots were created in, or null.
HWND ShellTreeWindow();

// Binds `treeView`, inserts the roots, expands the ones asked for and registers for shell changes.
// The program hands in its host and options (app/program_win.h); tests hand in their own.
bool CreateRoots(HWND treeView, const TreeOptions& options, TreeHost host);
// The same in two steps. BindRoots only binds the control; FillRoots inserts and expands the roots
// (the shell's icons and the desktop's enumeration: a few hundred milliseconds), once for a bound
// control: later calls return at once. The program binds while its windows are made and fills once
// the first screen of thumbnails is out, which would otherwise wait for it.
bool BindRoots(HWND treeView, const TreeOptions& options, TreeHost host);
bool FillRoots();
// Whether FillRoots ran for the bound control. Once it has and the worker has answered the children
// checks of the items it inserted, the control carries the window property kFilledProperty (any
// non-null value), which other processes can read: end-to-end tests wait for it before they act.
bool RootsFilled();
constexpr wchar_t kFilledProperty[] = L"Quorle_tree_filled";

// WM_NOTIFY from the tree-view control, forwarded by its parent; `handled` tells whether the
// result is the tree's answer.
LRESULT OnTreeNotify(const NMHDR* hdr, bool* handled);
// WM_CONTEXTMENU over the tree (screen position, or -1, -1 from the keyboard): popup 8, whose
// commands the tree carries out on the item under the pointer (else the selected item).
void ShowTreeMenu(HWND owner, POINT screen);
// The layouts of popups 8 and 9 (0 marks a separator). The menus the tree shows are built from them,
// and so are the program's copies in its menu set.
const std::vector<int>& TreeMenuLayout();
const std::vector<int>& InfoMenuLayout();
// Popup 8 for `item` (null: the selected item), with its states; the caller destroys it.
HMENU BuildTreeMenu(HTREEITEM item);
// Popup 9, its one command grey without a chooser; the caller destroys it.
HMENU BuildInfoMenu(bool chooserAvailable);
// WM_CONTEXTMENU over the second tab's list: popup 9, whose one command opens the information-item
// chooser through `chooseItems`; without one the command is grey.
void ShowInfoMenu(HWND owner, POINT screen, const std::function<void()>& chooseItems);
// Runs one command of popup 8 on `item` (null: the selected item). False when it does not apply.
bool RunTreeCommand(int command, HTREEITEM item = nullptr);
// Whether a popup-8 command applies to `item` (null: the selected item) and, for switches, its state.
bool TreeCommandEnabled(int command, HTREEITEM item = nullptr, bool* checked = nullptr);

// Switches. Each re-walks the expanded items, so the tree shows exactly what it would have shown.
void SetShowHidden(bool show);
void SetShowArchives(bool show);
// New plug-in archive extensions (the image plug-in host, after loading its archive plug-ins).
void SetArchiveExtensions(const std::vector<std::wstring>& extensions);

// What counts as an archive now (the RAR module's presence, the plug-ins' extensions), for
// classifying paths outside the tree.
folder::ArchiveRules ArchiveRulesNow();

// A pane's location changed: the marks are drawn again.
void ShellTreePaneChanged(int pane);

// Queries on the selected item.
int SelectedKind(); // 1 when nothing is selected
// The root-folder path of a selected root folder, else empty.
std::wstring SelectedRootFolder();
// The file-system path of the selected item; false for virtual folders and the two roots.
bool SelectedPath(std::wstring* path);

// Loads the item's location into `pane` (a tree folder dropped on a pane).
void LoadTreeItem(HTREEITEM item, int pane);

// A location request for kind 1 carrying the shell's item-ID list as bytes.
std::unique_ptr<msg::LocationRequest> MakeShellLocationRequest(PCIDLIST_ABSOLUTE idList, const std::wstring& text,
                                                               int pane);

// Whether two item-ID lists (their bytes) name one shell folder. The shell compares them: one
// folder may be reached through lists of different bytes. Bytes that are no list name nothing.
bool SameShellFolder(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
// Whether a pane showing `shown` shows the location `wanted` names: shell folders by their lists
// as above, the other kinds by their paths (ASCII case folding).
bool LocationShows(const folder::PaneLocation& shown, const msg::LocationRequest& wanted);

// What tests look at.
struct ItemFacts {
    int itemClass = -1;
    int kind = -1;
    bool hasButton = false; // children count 1
    bool enumerated = false;
    std::wstring text;
    std::wstring path;
};
bool ItemFactsOf(HTREEITEM item, ItemFacts* facts);
HTREEITEM DesktopRoot();
HTREEITEM RootFoldersItem();
// Children checks posted to the worker and not answered yet.
int PendingChecks();

} // namespace shelltree
