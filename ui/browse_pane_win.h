// A browse pane: the thumbnail view of one location with its status bar.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "folder/pane_location.h"
#include "ui/layout.h"
#include "ui/main_window_win.h"

namespace thumbs {
struct ThumbView;
}

namespace ui {

bool RegisterBrowsePaneClasses(HINSTANCE instance); // with the thumbnail view's classes
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
// The main window's font or the language changed: the view and the status bar take the new font
// (the old one may be deleted once both panes have been restyled) and the status texts are renewed.
void RestylePane(HWND pane);
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
// Runs the load the pane's worker hands over as soon as it comes, waiting at most `boundMs`; other
// queued messages keep their turn. False when none came in time (the message loop runs it later).
bool RunHandedLoad(HWND pane, DWORD boundMs);
// Releases the pane's items and cells (shutdown, after its worker has ended).
void ReleasePaneView(HWND pane);
folder::PaneLocation* PaneLocationOf(HWND pane);
// The thumbnail view of a pane, or null for any other window.
thumbs::ThumbView* PaneViewOf(HWND pane);
// Drops the selected items after their files were deleted or moved, in both panes when they show
// the same location (the other pane only while it is idle). Refused (false) while the pane's own load
// runs.
bool RemoveSelected(MainWindow& w, int pane);
std::wstring PaneLocationText(HWND pane);


} // namespace ui
