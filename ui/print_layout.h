// The contact sheet's arithmetic: margins, the paper in the preview, the grid, pages and the size of
// each picture in its cell. The printed page and the preview both come from these numbers.
//
// Lengths are printer device pixels unless said otherwise; stored margins are hundredths of a
// millimetre (2540 to the inch).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace printing {

constexpr double kUnitsPerInch = 2540.0;
constexpr int kMinColumns = 2;
constexpr int kMaxColumns = 12;

// What the printer reports (GetDeviceCaps), normalised by Normalised().
struct DeviceMetrics {
    int dpiX = 2, dpiY = 2;               // LOGPIXELSX/Y, at least 2
    int paperWidth = 1, paperHeight = 1;  // PHYSICALWIDTH/HEIGHT, at least 1
    int offsetX = 0, offsetY = 0;         // PHYSICALOFFSETX/Y: where the printable area starts
    int printableWidth = 1, printableHeight = 1; // HORZRES/VERTRES, at least 1
};
DeviceMetrics Normalised(DeviceMetrics m);

struct Margins {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Stored margins in the settings' order: left, right, top, bottom (keys 139..142).
using StoredMargins = std::array<int32_t, 4>;

// The stored margins in device pixels, clamped to the printable area; `stored` receives the clamped
// values converted back.
Margins DeviceMargins(const DeviceMetrics& m, StoredMargins* stored);

// The printer's unprintable borders in hundredths of a millimetre, in the settings' order: the least
// margins the page-setup dialog offers.
StoredMargins MinimumMargins(const DeviceMetrics& m);

// The paper fitted into the preview, centred along the direction with room to spare.
struct PaperFit {
    int left = 0, top = 0, width = 1, height = 1;
    double scale = 1.0;
};
PaperFit FitPaper(int previewWidth, int previewHeight, int paperWidth, int paperHeight);

struct Grid {
    int columns = kMinColumns;
    int gap = 0;
    int cellWidth = 1, cellHeight = 1; // the picture box of a cell
    int textHeight = 0;                // the name line under it
    int columnPitch = 1, rowPitch = 1;
    int rowsPerPage = 1;
    size_t PerPage() const { return static_cast<size_t>(rowsPerPage) * static_cast<size_t>(columns); }
};
Grid ComputeGrid(const DeviceMetrics& m, const Margins& margins, int columns, int textHeight);
size_t PageCount(const Grid& g, size_t itemCount);

// Columns typed by the user: up to 1 gives 2, above 12 gives 12.
int ClampColumns(int value);

struct Size {
    int width = 1, height = 1;
};
// A picture fitted into the cell, keeping its proportions; each side at least 1.
Size FitInCell(int imageWidth, int imageHeight, int cellWidth, int cellHeight);
// A device size at the preview's scale; each side at least 1.
Size Scaled(Size device, double scale);

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
};
// The on-screen preview's box in the print dialog at the dialog's `screenDpi`: a 7-pixel margin (96-dpi
// lengths, scaled) around it, left of the placeholder control at `placeholderLeft` and within a
// client `clientHeight` high; each side at least 1. The preview window is this plus its edge.
Rect PreviewArea(int placeholderLeft, int clientHeight, int screenDpi);

// Where the `slot`-th drawn item of a page goes, relative to the paper's corner: its picture (at the
// fitted size, centred in the cell) and its name's line.
struct Placement {
    Rect picture;
    Rect name;
};
Placement PlaceItem(const Grid& g, const Margins& margins, size_t slot, Size fitted);

// A page range as the print dialog returns it (1-based, inclusive).
struct PageRange {
    uint32_t from = 1, to = 1;
};
// The pages of the ranges that hold items, in the order asked; pages past the last are left out.
std::vector<uint32_t> PagesToPrint(const std::vector<PageRange>& ranges, const Grid& g, size_t itemCount);

// Items [first, first + count) of the item list for page `page` (1-based).
struct PageItems {
    size_t first = 0, count = 0;
};
PageItems ItemsOfPage(const Grid& g, size_t itemCount, uint32_t page);

} // namespace printing
