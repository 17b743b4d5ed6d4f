// The thumbnail view of one pane: the grid area ("Quorle_thbs1_class" / "Quorle_thbs2_class"), a
// pool of picture cells ("Quorle_thimgN_class") each holding a text cell ("Quorle_thtxtN_class").
// Only the cells that fit the visible area exist; scrolling reassigns them to items. The view owns
// the pane's items and their selection; everything that reaches beyond the view (activation, the
// status bar, commands, the preview) goes to its host.
//
// Cell windows keep the index of the item they show in GWLP_USERDATA; an item keeps its two
// windows in cellWindow / textWindow.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <string>

#include "app/settings.h"
#include "folder/archive_listing.h"
#include "folder/thumb_item.h"

namespace thumbs {

constexpr size_t kNoItem = static_cast<size_t>(-1);

// What the view asks of the pane around it.
class ViewHost {
  public:
    virtual ~ViewHost() = default;
    virtual void ViewActivate() = 0;
    // The selection or the anchor changed.
    virtual void ViewSelectionChanged() = 0;
    // A bound command the view does not carry out itself; `item` is the item under the pointer.
    virtual void ViewCommand(int command, size_t item) = 0;
    // A click asks for the popup preview of `item`, whose picture cell covers `cell` (screen).
    virtual void ViewPreview(size_t item, const RECT& cell) = 0;
    // A drag may start from the pane (the broker is asked); false blocks it.
    virtual bool ViewCanDrag() = 0;
    // The pointer left the threshold with the selection pressed: the pane's drag of its selected items
    // starts (true) or is refused (false: the press ends blocked).
    virtual bool ViewBeginDrag(bool /*leftButton*/) { return false; }
    // Files dropped on the area.
    virtual void ViewDropFiles(HDROP drop) = 0;
    // The context menu at `screen`: after a right click (the item under it already selected) or from
    // the keyboard (the area's top-left corner).
    virtual void ViewContextMenu(POINT screen) = 0;
};

struct ViewCreateArgs {
    HWND parent = nullptr;
    int pane = 0;
    int id = 502;
    HINSTANCE instance = nullptr;
    HFONT font = nullptr;                        // the pane font, borrowed: see ViewSetLook
    int dpi = 96;                                 // the screen's dpi the font was made for
    const settings::Settings* settings = nullptr; // read at every layout and paint
    ViewHost* host = nullptr;
    std::wstring placeholder; // drawn in cells whose picture could not be made
};

struct ThumbView;

bool RegisterThumbViewClasses(HINSTANCE instance);
// Creates the grid area; the view record lives until the window goes.
HWND CreateThumbView(const ViewCreateArgs& args);
ThumbView* ThumbViewOf(HWND area);

// Takes a new item array (all in use) in listing order, recomputing the geometry from the settings;
// each item's entry becomes its listing position. `resetScroll` starts at the top, otherwise the first
// visible item is kept. The caller lays the view out.
void ViewSetItems(ThumbView& v, folder::ThumbItemArray&& items, bool resetScroll);
// Destroys the cells, frees every item and resets the scroll bar.
void ViewRelease(ThumbView& v);
// Recomputes columns and rows for the client size (the current one for 0 x 0), grows the pool and
// shows the rows from the first visible item.
void ViewLayout(ThumbView& v, int width = 0, int height = 0);
// Box, border or caption settings changed: cell sizes and text cells are remade and laid out.
void ViewGeometryChanged(ThumbView& v);
// A new pane font (borrowed: the caller keeps it alive until the next call or the window's end) and
// placeholder text, after a change of font or language; the cells are remade for the new text height.
void ViewSetLook(ThumbView& v, HFONT font, const std::wstring& placeholder, int dpi);
// A WM_VSCROLL code (SB_LINEUP ... SB_ENDSCROLL); `track` is the thumb position for the thumb codes.
void ViewScroll(ThumbView& v, int code, int track = 0);
void ViewSelectAll(ThumbView& v, bool select);
void ViewSetActive(ThumbView& v, bool active);
// Repaints the cells of one item, if it has any.
void ViewRepaintItem(ThumbView& v, size_t index);
// Moves a worker's result into the item listed at `entry`, wherever sorting has put it, and repaints
// it; false (nothing changes) when that item has been removed.
bool ViewApplyResult(ThumbView& v, size_t entry, folder::ThumbItem& result);
// Whether every item with a cell on the screen is finished (and there is at least one such cell).
bool ViewScreenComplete(const ThumbView& v);
// Repaints the cells of the items that still have no thumbnail.
void ViewRepaintMissing(ThumbView& v);
// Frees the selected items and closes the gaps (after their files were deleted or moved).
void ViewCompact(ThumbView& v);
// Sorts the items by mode and lays the view out again at its first visible row.
void ViewSort(ThumbView& v, int mode, folder::LocationKind kind);

// The thumbnail box that fits n cells across a grid `gridWidth` wide, each cell `edgeWidth` wider
// than its box (the cell border): width clamped to 32..800, height three quarters of it, with the
// extremes 32 and 800.
struct BoxSize {
    int width = 0;
    int height = 0;
};
BoxSize FitAcrossBox(int gridWidth, int n, int edgeWidth);

// The item a picture or text cell of this view shows, or kNoItem for any other window.
size_t ViewItemOfWindow(ThumbView& v, HWND hwnd);
// A gesture or a drag is under way (a button is held past the gesture threshold): commands from
// the keyboard wait until it ends.
bool ViewMouseBusy(const ThumbView& v);

folder::ThumbItemArray& ViewItems(ThumbView& v);
size_t ViewCount(const ThumbView& v);
size_t ViewSelected(const ThumbView& v);
size_t ViewAnchor(const ThumbView& v); // kNoItem when there is none
size_t ViewFirstVisible(const ThumbView& v);
int ViewCellWidth(const ThumbView& v);
int ViewCellHeight(const ThumbView& v);
int ViewColumns(const ThumbView& v);
size_t ViewPoolSize(const ThumbView& v);

} // namespace thumbs
