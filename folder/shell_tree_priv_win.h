// What the folder tree's source files share: the tree object, the item records, the worker's
// requests and answers, and the item helpers the window, its worker, its shell-change handling and
// its menus all use. Private to folder/shell_tree_*_win.cpp; the interface is folder/shell_tree_win.h.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/message_worker_win.h"
#include "common/scoped_win.h"
#include "folder/shell_tree_rules.h"
#include "folder/shell_tree_win.h"

namespace shelltree {

constexpr SFGAOF kChildAttributes =
    SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_STREAM | SFGAO_SHARE | SFGAO_GHOSTED | SFGAO_HIDDEN;

struct ItemData {
    int32_t itemClass = folder::kShellItem;
    folder::LocationKind kind = folder::kFileSystemFolder;
    win::IdList idList;
    std::wstring path; // file-system path; empty for virtual folders
    uint32_t attributes = 0;
    bool enumerated = false;
    HTREEITEM item = nullptr;
    uint64_t serial = 0; // the item's lParam
    std::wstring watchPath; // the folder whose changes concern this item's children
    msg::LocationRequest location; // what this item loads as; pane unset
};

// The mode of a request that checks nothing: the worker makes the shell's small-icon list.
constexpr int kPrepareIcons = 2;

// One children check for the worker; it carries its own copy of everything it needs.
struct CheckRequest {
    uint64_t serial = 0;
    uint32_t generation = 0;
    folder::LocationKind kind = folder::kFileSystemFolder;
    int mode = 0; // 1 only add a button, 0 only remove one; kPrepareIcons: no item, no answer
    win::IdList idList;
    std::wstring path;
    folder::ArchiveRules rules;
    bool showHidden = false;
    HWND reply = nullptr;
};

struct CheckResult {
    uint64_t serial = 0;
    uint32_t generation = 0;
    int mode = 0;
    bool hasChildren = false;
};

struct WatchRequest {
    std::wstring path;
    HWND reply = nullptr;
};

struct WatchSet;

struct Tree {
    HWND tree = nullptr;
    HTREEITEM desktop = nullptr;
    HTREEITEM rootsItem = nullptr;
    TreeOptions options;
    TreeHost host;
    ULONG notifyId = 0;
    std::unordered_map<uint64_t, std::unique_ptr<ItemData>> items;
    uint64_t nextSerial = 1;
    HTREEITEM selectedAtPress = nullptr;
    POINT pressPoint = {0, 0};      // client coordinates of the last left press
    POINT rightPressPoint = {0, 0}; // and of the last right press
    int pending = 0;
    bool filled = false; // FillRoots ran for the bound control

    // Wine's shell tells only the process that made a change; there the worker watches the
    // expanded folders itself.
    bool watchFolders = false;

    // Its stop flag is the tree's: set first at teardown, read by checks under way.
    win::MessageWorker worker;
    std::atomic<uint32_t> generation{1};
    WatchSet* watchSet = nullptr; // the worker's own
};

// The one tree of the process, or null outside StartShellTree..StopShellTree.
extern Tree* g_tree;

// ---- shared helpers (shell_tree_win.cpp) ---------------------------------------------------------

folder::ArchiveRules RulesOf(const TreeOptions& o);
SHCONTF EnumFlags(bool showHidden, bool showArchives);
std::wstring PathOfIdList(PCIDLIST_ABSOLUTE pidl);
// The folder of an item-ID list; the desktop itself for the empty list, nothing for none.
bool BindFolder(PCIDLIST_ABSOLUTE pidl, win::ComPtr<IShellFolder>& folderOut);

// ---- items (shell_tree_win.cpp) ------------------------------------------------------------------

ItemData* DataOf(LPARAM param);
ItemData* DataOfItem(HTREEITEM item);
HTREEITEM Next(HTREEITEM item, UINT how);
HTREEITEM FirstChild(HTREEITEM item);
void SetChildrenCount(HTREEITEM item, int count);
bool HasButton(HTREEITEM item);
void RemoveButton(HTREEITEM item);
// Every item of the tree, parents before their children.
std::vector<HTREEITEM> AllItems();
bool SameItem(const ItemData& d, PCIDLIST_ABSOLUTE pidl, const std::wstring& path);
// Whether the item lists the folder `pidl` (file-system `path`) names; the desktop root lists the
// namespace's root and the user's desktop folder.
bool IsFolderOf(const ItemData& d, PCIDLIST_ABSOLUTE pidl, const std::wstring& path);
HTREEITEM FindChild(HTREEITEM parent, PCIDLIST_ABSOLUTE pidl, const std::wstring& path);
// Classifies one child (absolute list, taken) and adds it under `parent`; null when skipped.
HTREEITEM AddShellChild(HTREEITEM parent, win::IdList child, SFGAOF attributes, int32_t itemClass,
                        HTREEITEM insertAfter = TVI_LAST);
void SortChildren(HTREEITEM parent);
// The sibling after which a new child of `parent` keeps the children sorted (TVI_FIRST for none):
// the parent folder's order for shell children, the list order for root folders.
HTREEITEM SortedSlot(HTREEITEM parent, PCIDLIST_ABSOLUTE child, const std::wstring& rootPath);
HTREEITEM AddRootFolderItem(const settings::TreeRoot& root, HTREEITEM insertAfter = TVI_LAST);
bool RootIsShown(const std::wstring& path);
// Adds the children the item's folder has and the tree lacks; true when any was added.
bool AddMissingChildren(ItemData& d);
void Expand(HTREEITEM item);
// Deletes every item `pick` chooses; descendants of a deleted item go with it.
void DeleteItemsWhere(const std::function<bool(const ItemData&)>& pick);
// Loads the item into `pane` unless it shows there already.
void LoadItem(const ItemData& d, int pane);
HTREEITEM TargetOr(HTREEITEM item);

// ---- the worker (shell_tree_worker_win.cpp) ------------------------------------------------------

bool StartWorker(Tree& t);
// Asks the worker whether the item has children (mode 1: only add a button, 0: only remove one).
void PostCheck(ItemData& d, int mode);
// Has the worker make the shell's small-icon list, which the roots need, before the tree is filled.
void PostPrepareIcons();
void Watch(const ItemData& d);
// An empty path ends every watch.
void Unwatch(const std::wstring& path);
// Queued checks go unanswered; the generation moves on.
void CancelChecks();
// Answers the worker posted to the control and nobody will read; their records are freed here.
void DrainReplies(HWND hwnd);

// ---- shell changes (shell_tree_changes_win.cpp) --------------------------------------------------

void OnShellChange(WPARAM wp, LPARAM lp);
// A watched folder's entries changed: its item lists what the folder holds now.
void OnFolderChanged(const std::wstring& path);
void RegisterChanges();
void Deregister();

} // namespace shelltree
