#include "ui/print_layout.h"

#include <gtest/gtest.h>

namespace {

using printing::DeviceMetrics;
using printing::Margins;
using printing::StoredMargins;

// US Letter at 300 dpi with a quarter-inch unprintable border on every side.
DeviceMetrics Letter300() {
    DeviceMetrics m;
    m.dpiX = m.dpiY = 300;
    m.paperWidth = 2550;
    m.paperHeight = 3300;
    m.offsetX = m.offsetY = 75;
    m.printableWidth = 2400;
    m.printableHeight = 3150;
    return m;
}

TEST(PrintMargins, AreClampedToThePrintableAreaAndWrittenBack) {
    const DeviceMetrics m = Letter300();
    // Zero margins lie in the unprintable border: they become the border, and so do the stored values.
    StoredMargins stored{0, 0, 0, 0};
    Margins d = printing::DeviceMargins(m, &stored);
    EXPECT_EQ(d.left, 75);
    EXPECT_EQ(d.right, 75);
    EXPECT_EQ(d.top, 75);
    EXPECT_EQ(d.bottom, 75);
    EXPECT_EQ(stored, (StoredMargins{635, 635, 635, 635}));
    EXPECT_EQ(stored, printing::MinimumMargins(m));

    // An inch (2540) is 300 pixels and stays as it is; the order is left, right, top, bottom.
    stored = {2540, 1270, 5080, 2540};
    d = printing::DeviceMargins(m, &stored);
    EXPECT_EQ(d.left, 300);
    EXPECT_EQ(d.right, 150);
    EXPECT_EQ(d.top, 600);
    EXPECT_EQ(d.bottom, 300);
    EXPECT_EQ(stored, (StoredMargins{2540, 1270, 5080, 2540}));

    // Margins wider than the paper leave one printable pixel, and absurd values neither overflow nor
    // go negative.
    stored = {100000, 100000, INT32_MAX, INT32_MIN};
    d = printing::DeviceMargins(m, &stored);
    EXPECT_EQ(d.left, 75 + 2400 - 1);
    EXPECT_EQ(d.right, 2550 - d.left - 1);
    EXPECT_EQ(d.top, 75 + 3150 - 1);
    EXPECT_EQ(d.bottom, 3300 - d.top - 1);
    EXPECT_EQ(stored[0], 20947); // 2474 px back in hundredths of a millimetre
    EXPECT_GT(stored[3], 0);
}

TEST(PrintPaper, FitsIntoThePreviewCentredAlongTheSpareDirection) {
    // A tall preview: the paper spans its width and is centred vertically.
    printing::PaperFit p = printing::FitPaper(300, 400, 2550, 3300);
    EXPECT_DOUBLE_EQ(p.scale, 300.0 / 2550);
    EXPECT_EQ(p.left, 0);
    EXPECT_EQ(p.width, 300);
    EXPECT_EQ(p.height, 388);
    EXPECT_EQ(p.top, 6);
    // A wide preview: the paper spans its height and is centred horizontally.
    p = printing::FitPaper(500, 400, 2550, 3300);
    EXPECT_DOUBLE_EQ(p.scale, 400.0 / 3300);
    EXPECT_EQ(p.top, 0);
    EXPECT_EQ(p.height, 400);
    EXPECT_EQ(p.width, 309);
    EXPECT_EQ(p.left, 95);
    // Degenerate sizes give a usable fit instead of a division by zero.
    p = printing::FitPaper(0, 0, 0, 0);
    EXPECT_GT(p.scale, 0.0);
    EXPECT_GE(p.width, 1);
}

TEST(PrintGrid, CellsPitchesRowsAndPages) {
    const DeviceMetrics m = Letter300();
    StoredMargins stored{};
    const Margins margins = printing::DeviceMargins(m, &stored);
    const printing::Grid g = printing::ComputeGrid(m, margins, 4, 40);
    // Usable width 2400: gap 2400 / 32, four cells in what is left, 3:4 boxes.
    EXPECT_EQ(g.gap, 75);
    EXPECT_EQ(g.cellWidth, 581);
    EXPECT_EQ(g.cellHeight, 435);
    EXPECT_EQ(g.columnPitch, 25 + 581);
    // Row pitch 40 + 20 + 435 = 495; 3150 / 495 gives 6 rows and 180 left, spread as 30 a row.
    EXPECT_EQ(g.rowsPerPage, 6);
    EXPECT_EQ(g.rowPitch, 525);
    EXPECT_LE(g.rowPitch * g.rowsPerPage, 3150);
    EXPECT_LE((g.columns - 1) * g.columnPitch + g.cellWidth, 2400);
    EXPECT_EQ(printing::PageCount(g, 25), 2u);
    EXPECT_EQ(printing::PageCount(g, 24), 1u);
    EXPECT_EQ(printing::PageCount(g, 0), 0u);

    // The last page holds the rest; a page past the end holds nothing.
    EXPECT_EQ(printing::ItemsOfPage(g, 25, 2).first, 24u);
    EXPECT_EQ(printing::ItemsOfPage(g, 25, 2).count, 1u);
    EXPECT_EQ(printing::ItemsOfPage(g, 25, 3).count, 0u);
    EXPECT_EQ(printing::ItemsOfPage(g, 25, 0).count, 0u);

    // A row taller than the page still gives one row per page.
    Margins tall = margins;
    tall.top = tall.bottom = 1600;
    EXPECT_EQ(printing::ComputeGrid(m, tall, 2, 40).rowsPerPage, 1);

    EXPECT_EQ(printing::ClampColumns(1), 2);
    EXPECT_EQ(printing::ClampColumns(-7), 2);
    EXPECT_EQ(printing::ClampColumns(12), 12);
    EXPECT_EQ(printing::ClampColumns(13), 12);
    EXPECT_EQ(printing::ComputeGrid(m, margins, 99, 40).columns, 12);
}

TEST(PrintGrid, PicturesFitTheirCellKeepingProportions) {
    // Into the 581 x 435 cell: a portrait picture is bounded by the height, a wide one by the width.
    printing::Size s = printing::FitInCell(600, 800, 581, 435);
    EXPECT_EQ(s.height, 435);
    EXPECT_EQ(s.width, 326);
    s = printing::FitInCell(1600, 900, 581, 435);
    EXPECT_EQ(s.width, 581);
    EXPECT_EQ(s.height, 327);
    // A hair line still gets a pixel; an empty header does not divide by zero.
    s = printing::FitInCell(100000, 1, 581, 435);
    EXPECT_EQ(s.height, 1);
    s = printing::FitInCell(0, 0, 581, 435);
    EXPECT_GE(s.width, 1);
    EXPECT_GE(s.height, 1);
    const printing::Size preview = printing::Scaled({581, 327}, 300.0 / 2550);
    EXPECT_EQ(preview.width, 68);
    EXPECT_EQ(preview.height, 38);
    EXPECT_EQ(printing::Scaled({1, 1}, 0.01).width, 1);
}

TEST(PrintGrid, ItemsArePlacedLeftToRightThenDown) {
    const DeviceMetrics m = Letter300();
    StoredMargins stored = printing::MinimumMargins(m);
    const Margins margins = printing::DeviceMargins(m, &stored);
    const printing::Grid g = printing::ComputeGrid(m, margins, 4, 40);
    // With the least margins the first cell starts at the printable area's corner.
    printing::Placement p = printing::PlaceItem(g, margins, 0, {g.cellWidth, g.cellHeight});
    EXPECT_EQ(p.picture.left - m.offsetX, 0);
    EXPECT_EQ(p.picture.top - m.offsetY, 0);
    // The sixth item: second row, second column; a narrower picture is centred in its cell and the
    // name sits under the cell at a quarter line.
    p = printing::PlaceItem(g, margins, 5, {326, 435});
    EXPECT_EQ(p.picture.left, 75 + 606 + (581 - 326) / 2);
    EXPECT_EQ(p.picture.top, 75 + 525);
    EXPECT_EQ(p.name.left, 75 + 606);
    EXPECT_EQ(p.name.width, 581);
    EXPECT_EQ(p.name.top, 75 + 525 + 435 + 10);
    EXPECT_EQ(p.name.height, 40);
}

TEST(PrintPages, RangesPrintOnlyPagesThatHoldItems) {
    const DeviceMetrics m = Letter300();
    StoredMargins stored{};
    const printing::Grid g = printing::ComputeGrid(m, printing::DeviceMargins(m, &stored), 4, 40);
    using R = std::vector<printing::PageRange>;
    EXPECT_EQ(printing::PagesToPrint(R{{2, 2}}, g, 25), (std::vector<uint32_t>{2}));
    EXPECT_EQ(printing::PagesToPrint(R{{1, 9}}, g, 25), (std::vector<uint32_t>{1, 2}));
    EXPECT_TRUE(printing::PagesToPrint(R{{3, 5}}, g, 25).empty());
    EXPECT_EQ(printing::PagesToPrint(R{{2, 2}, {1, 1}}, g, 25), (std::vector<uint32_t>{2, 1}));
    EXPECT_EQ(printing::PagesToPrint(R{{0, UINT32_MAX}}, g, 25), (std::vector<uint32_t>{1, 2}));
    EXPECT_TRUE(printing::PagesToPrint(R{{1, 1}}, g, 0).empty());
}

} // namespace
