// The main window's arithmetic: pane rectangles for the three layouts, the title, fitting a window
// into a work area, the popup preview's size, limits, sizing and position, and the size box texts.
// Pure functions, so the rules are tested without windows.
#pragma once

#include <cstdint>
#include <string>

#include "common/dpi.h"

namespace layout {

// A rectangle as edges, like RECT.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

inline Rect FromSize(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }
inline bool operator==(const Rect& a, const Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Settings key 36.
constexpr int kLayoutPane1 = 0;
constexpr int kLayoutPane2 = 1;
constexpr int kLayoutBoth = 2;

struct PaneRects {
    Rect pane[2];
    bool visible[2] = {false, false};
};


// "<1> " or "<2> ", then the location text when the active pane shows a location, else "Quorle".
std::wstring TitleText(int activePane, bool hasLocation, const std::wstring& locationText);

// Moves a rectangle into `work` along one axis: a start at or after the work area's start is pulled
// back so the end stays inside; a start before it is set to it.
void FitAxis(int& start, int& end, int workStart, int workEnd);
// Initial placement: the size is cut to the work area's, then both axes are fitted.
Rect PlaceInWorkArea(Rect window, const Rect& work);
// Fits both axes without changing the size.
Rect MoveIntoWorkArea(Rect window, const Rect& work);

// Rounded a x b / c, halves up (c > 0, a x b >= 0).
int MulDivRound(int a, int b, int c);

// Popup preview size and sizing limits for a picture of pw x ph.
struct PreviewGeometry {
    int clientWidth = 0;
    int clientHeight = 0;
    int minWidth = 0; // window sizes, frame included
    int minHeight = 0;
    int maxWidth = 0;
    int maxHeight = 0;
};
// `previewSize` (key 46), `screenBound` and the 100-pixel least size are 96-dpi lengths scaled to
// `screenDpi`; the frame sizes are those of the window at that dpi. The picture's own pixels still cap the
// client: a small picture is shown at its size, never enlarged.
PreviewGeometry ComputePreviewGeometry(int pw, int ph, int previewSize, int screenBound, int frameWidth,
                                       int frameHeight, int screenDpi = 96);
// The box a picture is decoded to fit for the preview at `screenDpi`: key 46 in the window's pixels.
int PreviewFit(int previewSize, int screenDpi);

// WM_SIZING edges (WMSZ_* values).
enum SizingEdge : int {
    kEdgeLeft = 1,
    kEdgeRight = 2,
    kEdgeTop = 3,
    kEdgeTopLeft = 4,
    kEdgeTopRight = 5,
    kEdgeBottom = 6,
    kEdgeBottomLeft = 7,
    kEdgeBottomRight = 8,
};
// The proposed window rectangle corrected so the client keeps the picture's proportions.
Rect SizePreview(Rect proposed, int edge, int pw, int ph, int frameWidth, int frameHeight, const PreviewGeometry& g);

// Where the preview of size w x h opens over a cell: centred on it, not above `clientTop`, not left
// of `minLeft`, then moved into the work area.
Rect PlacePreview(const Rect& cell, int w, int h, int clientTop, int minLeft, const Rect& work);

// "140x105".
std::wstring SizeText(int width, int height);
// Button height of both toolbars for a font of text height t (measured at `dpi`).
int ButtonHeight(int textHeight, int dpi = dpi::kBase);
// Width of the size box; the text and system widths are measured at `dpi`.
int SizeBoxWidth(int widestTextWidth, int digitWidth, int scrollBarWidth, int dpi = dpi::kBase);

// A preset as the preset dialog stores it: both sides clamped to 32..800, or 0 x 0 when either is 0.
struct Size {
    int width = 0;
    int height = 0;
};
Size NormalisePreset(int width, int height);

// --- The main window at a screen's dpi ---
// Lengths written here are at 96 dpi; text widths and heights passed in are measured with the font
// made for the window's dpi, so they have already grown with it.

// The panes inside a client window of w x h beside a tree area (unless hidden) whose width is stored
// in 96-dpi units (settings key 8).
PaneRects ComputePaneRects(int w, int h, int treeWidth96, bool treeHidden, int paneLayout, int dpi);
// Width of the tab control and the lists of a tree area `areaWidth` wide.
int TreeInnerWidth(int areaWidth, int dpi);

// A browse pane's status bar: the right edges of its six parts (the last one -1, to the end).
struct StatusTextWidths {
    int reload = 0;
    int stop = 0;
    int widestSort = 0;
    int widestFilter = 0;
    int digit = 0;
};
void StatusPartEdges(const StatusTextWidths& t, int dpi, int edges[6]);

// A menu-bar button around a caption `textWidth` wide.
int MenuBarButtonWidth(int textWidth, int dpi);
// Owner-drawn menu items: the height of a text line and the check-mark column.
int MenuItemHeight(int textHeight, int dpi);
int MenuCheckColumn(int checkMarkWidth, int dpi);

// The main window's saved placement (keys 2..5): the position is a point on the screen and stays
// as it is (it picks the monitor); the size is in 96-dpi units.
Rect WindowAt(const Rect& saved, int dpi);
// The window's size at `dpi` as it is stored.
Size StoredWindowSize(int width, int height, int dpi);

} // namespace layout
