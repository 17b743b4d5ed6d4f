// The main window ("Quorle_main_class"): rebar with the menu-bar toolbar and the command toolbar,
// the client window with the tree area and the two browse panes, and the popup preview. One record
// holds the whole window tree; the other ui/*_win.cpp files each own one part of it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/scoped_win.h"
#include "folder/change_watch_win.h"
#include "folder/pane_location.h"
#include "ui/layout.h"
#include "ui/menu_bar_rules.h"
#include "app/shortcut_table.h"
#include "common/location.h"

namespace app {
struct Program;
}

namespace ui {

// Control ids.
constexpr int kIdRebar = 200;
constexpr int kIdMenuBar = 201;
constexpr int kIdCommandBar = 202;
constexpr int kIdSizeBox = 210;
constexpr int kIdClient = 300;
constexpr int kIdTreeArea = 400;
constexpr int kIdTreeTabs = 401;
constexpr int kIdFolderTree = 402;
constexpr int kIdPictureInfo = 403;
constexpr int kIdPane1 = 500;
constexpr int kIdPane2 = 501;
constexpr int kIdThumbArea = 502;
constexpr int kIdPaneStatus = 503;

struct MainWindow {
    HWND hwnd = nullptr;
    win::Font font; // the user-interface font
    int textHeight = 0;
    int itemHeight = 0;
    int digitWidth = 0;
    int checkWidth = 0;
    int buttonHeight = 22;

    HWND tooltip = nullptr;
    HWND rebar = nullptr;
    HWND menuBar = nullptr;
    HWND commandBar = nullptr;
    HWND sizeBox = nullptr;
    win::ImageList commandImages;
    RECT menuButtons[4] = {};
    menubar::State menuBarState;
    int pendingMenu = 0;         // the menu to open when the open one has closed
    POINT menuLoopPointer = {};  // where the pointer was when keyboard-menu mode began

    HWND client = nullptr;
    HWND treeArea = nullptr;
    HWND panes[2] = {nullptr, nullptr};
    HWND popup = nullptr;

    bool active = false;
    HWND workers[2] = {nullptr, nullptr};
    bool commandLineTaken = false;
    folder::ChangeWatch watch;
    // The close sequence of the program that made the window, up to the settings file; runs once.
    std::function<void(MainWindow&)> tearDown;
};

// Registers every window class of the frame; false when one fails.
bool RegisterFrameClasses(HINSTANCE instance);
bool RegisterMainClass(HINSTANCE instance);

// Creates the main window at the saved placement fitted to the work area (not shown yet).
// `tearDown` runs when the window closes or the session ends.
HWND CreateMainWindow(HINSTANCE instance, std::function<void(MainWindow&)> tearDown);
// The record of the main window while it exists.
MainWindow* TheMainWindow();

// Builds the menus again from the program's shortcuts, tools and favourites (also after a change
// of shortcuts or language).
bool BuildProgramMenus(app::Program& p);
// The assignment dialog's edits, confirmed: new keys make a new accelerator table from the slots
// (every slot with a key, in slot order) and new shortcut texts in the menus and, with a main
// window, its tooltips; new mouse assignments go into the settings.
void ApplyShortcutEdits(app::Program& p, MainWindow* w, const shortcuts::Assignments& edits, bool keysChanged,
                        bool mouseChanged);

void UpdateTitle(MainWindow& w);
// The one place commands go: toolbar buttons, accelerators, mouse assignments and menus.
// `byAccelerator`: the command came from a keyboard shortcut.
void DispatchCommand(MainWindow& w, int command, bool byAccelerator = false);
// Commands on both panes, the active one first: reload (load flags 1, or 5 forced) and stop.
void ReloadPanes(MainWindow& w, uintptr_t flags);
void StopPanes(MainWindow& w);
// Reloads the panes whose folder changed while the program was inactive (and after file operations).
void CheckPanes(MainWindow& w);
void ActivatePane(MainWindow& w, int pane);
// Lays out the client window for the current tree and pane settings.
void LayoutClient(MainWindow& w);

// Toolbar and size box (toolbars_win.cpp, size_box_win.cpp).
bool CreateRebar(MainWindow& w);
void UpdateToolbarChecks(MainWindow& w);
void RebuildTooltips(MainWindow& w);
LRESULT OnToolbarNotify(MainWindow& w, NMHDR* hdr);
void RemoveToolbarSubclasses(MainWindow& w);
HWND CreateSizeBox(MainWindow& w, HWND parent, int x, int y);
void OnSizeBoxMeasure(MainWindow& w, MEASUREITEMSTRUCT* mis);
void OnSizeBoxDraw(MainWindow& w, const DRAWITEMSTRUCT* dis);
void OnSizeBoxCloseUp(MainWindow& w);
void RefreshSizeBox(MainWindow& w);

// Client window, tree area and panes (client_window_win.cpp, browse_pane_win.cpp).
HWND CreateClientWindow(MainWindow& w, const RECT& rect);
// Shows the other tab of the tree area.
void SwitchTreeTab(MainWindow& w);
void RemoveTreeSubclasses(MainWindow& w);
HWND CreateBrowsePane(MainWindow& w, int pane, const layout::Rect& rect);
void SetPaneActiveLook(HWND pane, bool active);
HWND PaneFocusTarget(HWND pane);
// Whether the pane shows `path` of `kind` right now.
bool PaneShowsLocation(HWND pane, folder::LocationKind kind, const std::wstring& path);
bool PaneHasLocation(HWND pane);
// Reloads what the pane shows; a pane without a location reports itself cancelled.
void ReloadPane(HWND pane, uintptr_t flags = 1);
// Sort mode 0..5 (applied only while the pane is idle) and picture-type filter 0..5 (reloads the
// pane); both do nothing when unchanged.
void SetPaneSortMode(HWND pane, int mode);
void SetPaneFilter(HWND pane, int filter);
// A scroll code (SB_*) for the pane's view, followed by the end of the scroll.
void ScrollPane(HWND pane, int code);
// The caption, box or border settings changed: the view remakes its cells.
void RelayoutPane(HWND pane);
// Opens the popup preview of the item under the mouse pointer, in whichever pane shows it.
bool PreviewUnderPointer(MainWindow& w);
// What the menus and commands ask of a pane.
struct PaneFacts {
    bool fileSystemFolder = false; // shows a valid file-system folder
    bool idle = true;              // its worker is not producing
    bool mouseBusy = false;        // a gesture or drag is under way in its view
    size_t itemCount = 0;
    size_t selectedCount = 0;
    int sortMode = 0;
    int filter = 0;
    // With exactly one item selected: its path and picture format.
    std::wstring selectedPath;
    int selectedFormat = 0;
};
PaneFacts PaneFactsOf(HWND pane);
// Selects every item, or none when all are selected; only while the pane is idle.
void ToggleSelectAll(HWND pane);
// Stops the pane's production when it shows a location, else releases it.
void StopPane(HWND pane);
// Releases the pane's items and cells (shutdown, after its worker has ended).
void ReleasePaneView(HWND pane);
folder::PaneLocation* PaneLocationOf(HWND pane);
// Drops the selected items after their files were deleted or moved, in both panes when they show
// the same location.
void RemoveSelected(MainWindow& w, int pane);
std::wstring PaneLocationText(HWND pane);

// Popup preview (popup_preview_win.cpp).
HWND CreatePopupPreview(MainWindow& w);
// Opens the preview of the picture in `path` over `cell` (screen coordinates).
bool ShowPopupPreview(MainWindow& w, const std::wstring& path, const RECT& cell);
void ClosePopupPreview(MainWindow& w);

} // namespace ui
