#include "ui/print_layout.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "common/dpi.h"

namespace printing {

namespace {

// Truncates towards zero like the integer conversion, but saturates instead of overflowing on
// absurd stored values.
int ToInt(double v) {
    if (!(v > INT_MIN))
        return INT_MIN;
    if (!(v < INT_MAX))
        return INT_MAX;
    return static_cast<int>(v);
}

int ToDevice(int32_t stored, int dpi) { return ToInt(stored * (dpi / kUnitsPerInch) + 0.5); }
int32_t ToStored(int device, int dpi) { return ToInt(device * kUnitsPerInch / dpi + 0.5); }

} // namespace

DeviceMetrics Normalised(DeviceMetrics m) {
    m.dpiX = std::max(m.dpiX, 2);
    m.dpiY = std::max(m.dpiY, 2);
    m.paperWidth = std::max(m.paperWidth, 1);
    m.paperHeight = std::max(m.paperHeight, 1);
    m.printableWidth = std::max(m.printableWidth, 1);
    m.printableHeight = std::max(m.printableHeight, 1);
    return m;
}

Margins DeviceMargins(const DeviceMetrics& raw, StoredMargins* stored) {
    const DeviceMetrics m = Normalised(raw);
    StoredMargins& s = *stored;
    Margins d;
    d.left = ToDevice(s[0], m.dpiX);
    d.right = ToDevice(s[1], m.dpiX);
    d.top = ToDevice(s[2], m.dpiY);
    d.bottom = ToDevice(s[3], m.dpiY);
    d.left = std::min(std::max(d.left, m.offsetX), m.offsetX + m.printableWidth - 1);
    d.right = std::min(std::max(d.right, m.paperWidth - m.printableWidth - m.offsetX), m.paperWidth - d.left - 1);
    d.top = std::min(std::max(d.top, m.offsetY), m.offsetY + m.printableHeight - 1);
    d.bottom =
        std::min(std::max(d.bottom, m.paperHeight - m.printableHeight - m.offsetY), m.paperHeight - d.top - 1);
    s = {ToStored(d.left, m.dpiX), ToStored(d.right, m.dpiX), ToStored(d.top, m.dpiY), ToStored(d.bottom, m.dpiY)};
    return d;
}

StoredMargins MinimumMargins(const DeviceMetrics& raw) {
    const DeviceMetrics m = Normalised(raw);
    return {ToStored(m.offsetX, m.dpiX), ToStored(m.paperWidth - m.printableWidth - m.offsetX, m.dpiX),
            ToStored(m.offsetY, m.dpiY), ToStored(m.paperHeight - m.printableHeight - m.offsetY, m.dpiY)};
}

PaperFit FitPaper(int previewWidth, int previewHeight, int paperWidth, int paperHeight) {
    previewWidth = std::max(previewWidth, 1);
    previewHeight = std::max(previewHeight, 1);
    paperWidth = std::max(paperWidth, 1);
    paperHeight = std::max(paperHeight, 1);
    const double e = static_cast<double>(previewHeight) / paperHeight;
    const double f = static_cast<double>(previewWidth) / paperWidth;
    PaperFit p;
    if (e > f) {
        p.scale = f;
        p.width = previewWidth;
        p.height = ToInt(paperHeight * f + 0.5);
        p.top = (previewHeight - p.height) >> 1;
    } else {
        p.scale = e;
        p.height = previewHeight;
        p.width = ToInt(paperWidth * e + 0.5);
        p.left = (previewWidth - p.width) >> 1;
    }
    return p;
}

int ClampColumns(int value) { return std::min(std::max(value, kMinColumns), kMaxColumns); }

Grid ComputeGrid(const DeviceMetrics& raw, const Margins& margins, int columns, int textHeight) {
    const DeviceMetrics m = Normalised(raw);
    Grid g;
    g.columns = ClampColumns(columns);
    g.textHeight = std::max(textHeight, 0);
    const int usableWidth = std::max(m.paperWidth - (margins.left + margins.right), 1);
    g.gap = usableWidth >> 5;
    g.cellWidth = std::max((usableWidth - g.gap) / g.columns, 1);
    g.cellHeight = std::max((g.cellWidth * 3) >> 2, 1);
    g.columnPitch = g.gap / (g.columns - 1) + g.cellWidth;
    g.rowPitch = std::max(g.textHeight + g.textHeight / 2 + g.cellHeight, 1);
    const int usableHeight = m.paperHeight - margins.bottom - margins.top;
    g.rowsPerPage = std::max(usableHeight / g.rowPitch, 1);
    // The leftover is spread over the rows; a single row taller than the page keeps its own pitch.
    const int leftover = usableHeight - g.rowPitch * g.rowsPerPage;
    if (leftover > 0)
        g.rowPitch += leftover / g.rowsPerPage;
    return g;
}

size_t PageCount(const Grid& g, size_t itemCount) {
    const size_t per = g.PerPage();
    return per ? (itemCount + per - 1) / per : 0;
}

Size FitInCell(int imageWidth, int imageHeight, int cellWidth, int cellHeight) {
    const double w = std::max(imageWidth, 1), h = std::max(imageHeight, 1);
    const double cw = std::max(cellWidth, 1), ch = std::max(cellHeight, 1);
    Size s;
    if (ch / h > cw / w) {
        s.width = static_cast<int>(cw);
        s.height = ToInt(h * (cw / w) + 0.5);
    } else {
        s.height = static_cast<int>(ch);
        s.width = ToInt(w * (ch / h) + 0.5);
    }
    s.width = std::max(s.width, 1);
    s.height = std::max(s.height, 1);
    return s;
}

Size Scaled(Size device, double scale) {
    return {std::max(ToInt(device.width * scale + 0.5), 1), std::max(ToInt(device.height * scale + 0.5), 1)};
}

Placement PlaceItem(const Grid& g, const Margins& margins, size_t slot, Size fitted) {
    const int column = static_cast<int>(slot % static_cast<size_t>(g.columns));
    const int row = static_cast<int>(slot / static_cast<size_t>(g.columns));
    const int cellLeft = margins.left + column * g.columnPitch;
    const int rowTop = margins.top + row * g.rowPitch;
    Placement p;
    p.picture = {cellLeft + ((g.cellWidth - fitted.width) >> 1), rowTop + ((g.cellHeight - fitted.height) >> 1),
                 fitted.width, fitted.height};
    p.name = {cellLeft, rowTop + g.cellHeight + g.textHeight / 4, g.cellWidth, g.textHeight};
    return p;
}

std::vector<uint32_t> PagesToPrint(const std::vector<PageRange>& ranges, const Grid& g, size_t itemCount) {
    std::vector<uint32_t> pages;
    const size_t per = g.PerPage();
    for (const PageRange& r : ranges)
        for (uint32_t j = std::max<uint32_t>(r.from, 1); j <= r.to && (j - 1) * per < itemCount; ++j)
            pages.push_back(j);
    return pages;
}

PageItems ItemsOfPage(const Grid& g, size_t itemCount, uint32_t page) {
    const size_t per = g.PerPage();
    PageItems items;
    if (page < 1 || (page - 1) * per >= itemCount)
        return items;
    items.first = (page - 1) * per;
    items.count = std::min(per, itemCount - items.first);
    return items;
}

Rect PreviewArea(int placeholderLeft, int clientHeight, int screenDpi) {
    const int margin = dpi::Scale(7, screenDpi);
    // The two margins and the window's edge: 16 at 96 dpi, the edge staying one pixel a side.
    const int around = dpi::Scale(16, screenDpi);
    return {margin, margin, std::max(placeholderLeft - around, 1), std::max(clientHeight - around, 1)};
}

} // namespace printing
