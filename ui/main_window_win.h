// The main window ("Quorle_main_class"): rebar with the menu-bar toolbar and the command toolbar,
// the client window with the tree area and the two browse panes, and the popup preview. One record
// holds the whole window tree; the other ui/*_win.cpp files each own one part of it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/dpi.h"
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
    // The dpi the window is shown at: every 96-dpi length of the frame is scaled by it when used.
    int dpi = 96;
    win::Font font; // the user-interface font, made for `dpi`
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

// Before the window is first shown, once the workers run: reads their ready notices, which opens the
// path named on the command line, and when that is a folder on a local disk lists it at once, so that
// its pictures are being made while the window shows and paints. Any other path is listed from the
// message loop.
void OpenCommandLineFirst(MainWindow& w);

// Builds the menus again from the program's shortcuts, tools and favourites (also after a change
// of shortcuts or language).
bool BuildProgramMenus(app::Program& p);
// The assignment dialog's edits, confirmed: new keys make a new accelerator table from the slots
// (every slot with a key, in slot order) and new shortcut texts in the menus and, with a main
// window, its tooltips; new mouse assignments go into the settings.
void ApplyShortcutEdits(app::Program& p, MainWindow* w, const shortcuts::Assignments& edits, bool keysChanged,
                        bool mouseChanged);

// Loads `language` (when not empty; keeps the current module and returns false when it fails to load,
// after telling the user), stores face/height/weight (settings keys 169, 56, 57), and rebuilds menus,
// toolbars and both panes' views and status bars. The dialog font (key 170) reaches the next dialog.
bool ApplyLanguageAndFont(app::Program& p, MainWindow* w, const std::wstring& language,
                          const std::wstring& face, int height, int weight);
// Makes `folder` the thumbnail cache folder for the running program (settings key 164). Loads already
// under way finish with the folder they started with.
void ApplyCacheFolder(app::Program& p, MainWindow* w, const std::wstring& folder);

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
// A length written at 96 dpi, for this window.
inline int Scaled(const MainWindow& w, int length96) { return dpi::Scale(length96, w.dpi); }

} // namespace ui
