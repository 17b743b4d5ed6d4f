// The main window ("Quorle_main_class"): rebar with the menu-bar toolbar and the command toolbar,
// the client window with the tree area and the two browse panes, and the popup preview. One record
// holds the whole window tree; the other ui/*_win.cpp files each own one part of it.
#pragma once

#include <windows.h>

#include <string>

#include "common/scoped_win.h"
#include "ui/layout.h"

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

// Commands this window carries out itself.
constexpr int kCmdExit = 5060;
constexpr int kCmdToggleTree = 5110;
constexpr int kCmdPane1Only = 5121;
constexpr int kCmdPane2Only = 5122;
constexpr int kCmdBothPanes = 5123;
constexpr int kCmdCaptions = 5130;
constexpr int kCmdPreviewOnClick = 5180;
constexpr int kCmdOtherPane = 5720;

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

    HWND client = nullptr;
    HWND treeArea = nullptr;
    HWND panes[2] = {nullptr, nullptr};
    HWND popup = nullptr;

    bool active = false;
    HWND workers[2] = {nullptr, nullptr};
    bool commandLineTaken = false;
};

// Registers every window class of the frame; false when one fails.
bool RegisterFrameClasses(HINSTANCE instance);
bool RegisterMainClass(HINSTANCE instance);

// Creates the main window at the saved placement fitted to the work area (not shown yet).
HWND CreateMainWindow(HINSTANCE instance);
// The record of the main window while it exists.
MainWindow* TheMainWindow();

void UpdateTitle(MainWindow& w);
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
void RemoveTreeSubclasses(MainWindow& w);
HWND CreateBrowsePane(MainWindow& w, int pane, const layout::Rect& rect);
void SetPaneActiveLook(HWND pane, bool active);
HWND PaneFocusTarget(HWND pane);
// Whether the pane shows `path` of `kind` right now.
bool PaneShowsLocation(HWND pane, int kind, const std::wstring& path);
bool PaneHasLocation(HWND pane);
// Reloads what the pane shows (load flags 1); a pane without a location reports itself idle.
void ReloadPane(HWND pane);
std::wstring PaneLocationText(HWND pane);

// Popup preview (popup_preview_win.cpp).
HWND CreatePopupPreview(MainWindow& w);
// Opens the preview of the picture in `path` over `cell` (screen coordinates).
bool ShowPopupPreview(MainWindow& w, const std::wstring& path, const RECT& cell);
void ClosePopupPreview(MainWindow& w);

} // namespace ui
