// The program's menus: 13 popups and a container that links 11 of them, all items owner-drawn with
// the caption on the left and the shortcut text right-aligned. One process-wide set, built before the
// main window exists and rebuilt after a language or shortcut change.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"
#include "ui/menu_states.h"
#include "app/shortcut_table.h"

namespace menus {

enum Popup {
    kFileMenu,          // menu-bar button 5000
    kViewMenu,          // 5001
    kToolsMenu,         // 5002
    kHelpMenu,          // 5003
    kPanesMenu,         // sub-menu 5120
    kExternalToolsMenu, // sub-menu 5229
    kFitAcrossMenu,     // toolbar button 5400
    kPaneContextMenu,
    kTreeContextMenu,
    kTreeTabMenu,
    kSortMenu,          // toolbar button 5800
    kFilterMenu,        // toolbar button 5700
    kFavouritesMenu,
    kPopupCount
};

// The item data of every item of ours (MENUITEMINFOW::dwItemData), alive while the menu is.
struct MenuItemData {
    uint32_t reserved = 0;
    int command = 0;
    unsigned flags = 0;    // kItem* below
    std::wstring modifier; // "Ctrl+" etc.; empty without a shortcut
    std::wstring key;      // key name; empty without a shortcut
    std::wstring caption;  // with its & mnemonic marks
};
constexpr unsigned kItemSeparator = 1;
constexpr unsigned kItemRadio = 2; // one of a group of exclusive choices: checked with a dot
constexpr unsigned kItemSubMenu = 4;

// What the menus are built from; each pointer may be null (no shortcut texts, no tools, no favourites).
// Only read while BuildMenus runs.
struct MenuSources {
    const shortcuts::SlotTable* slots = nullptr;
    const std::array<settings::ExternalTool, 8>* tools = nullptr;
    const std::vector<settings::Favourite>* favourites = nullptr;
};

// Builds the whole set with the current language module; destroys any previous set first.
bool BuildMenus(const MenuSources& sources);
// The 13 popups, then the container; also frees what OwnerDraw attached to other menus.
void DestroyMenus();
// Null when the set is not built or `popup` is out of range.
HMENU PopupMenu(int popup);
HMENU ContainerMenu();
// The popup index of a menu handle of ours, or -1.
int PopupIndexOf(HMENU menu);

// Metrics taken at main-window creation: the menu font (borrowed; it must outlive the menus' use),
// the check-mark column width and the minimum item height. Defaults apply until this is called.
void SetMenuMetrics(HFONT font, int checkWidth, int itemHeight);

// WM_MEASUREITEM / WM_DRAWITEM for ODT_MENU items of ours; false when the item is not ours.
bool MeasureMenuItem(MEASUREITEMSTRUCT* mis);
bool DrawMenuItem(const DRAWITEMSTRUCT* dis);

// Sets enabled/checked of every item of `menu` (one of ours) from the facts (WM_INITMENUPOPUP). The
// folder-tree context menu is left alone: its states belong to the commands' owners.
void ApplyStates(HMENU menu, const MenuFacts& facts);

// Turns every string item and separator of a menu made elsewhere (the folder tree's context menu)
// into an owner-drawn item drawn like ours, keeping id, state and text; shortcut text from the slots
// when the id has one. What it attaches is freed once the menu is gone (checked at the next call and
// at DestroyMenus).
void OwnerDraw(HMENU menu, const shortcuts::SlotTable* slots);

// The item records alive now, ours and those OwnerDraw attached (leak checks).
size_t ItemRecordCount();

} // namespace menus
