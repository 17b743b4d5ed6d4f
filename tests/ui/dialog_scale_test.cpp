// The windows the program sizes itself at 96, 144 and 192 dpi: the popup preview, the print dialog's
// preview and the cache maintenance list's columns.
#include <gtest/gtest.h>

#include "ui/cache_maintenance.h"
#include "ui/layout.h"
#include "ui/print_layout.h"

namespace {

// The frame of a sizeable popup with a client edge, as the system reports it at each dpi.
struct Frame {
    int dpi, width, height;
};
constexpr Frame kFrames[] = {{96, 20, 20}, {144, 26, 26}, {192, 34, 34}};

TEST(PreviewAtDpi, APictureDecodedForTheScreenGivesTheSameWindowScaled) {
    // Key 46 = 400 and a bound of 700, both at 96 dpi; a 4000 x 2000 photograph decoded to fit the
    // preview's box at each dpi.
    const layout::PreviewGeometry base = layout::ComputePreviewGeometry(400, 200, 400, 700, 0, 0, 96);
    for (const Frame& f : kFrames) {
        const int fit = layout::PreviewFit(400, f.dpi);
        EXPECT_EQ(fit, 400 * f.dpi / 96);
        const int pw = fit, ph = fit / 2;
        const layout::PreviewGeometry g = layout::ComputePreviewGeometry(pw, ph, 400, 700, f.width, f.height, f.dpi);
        SCOPED_TRACE(f.dpi);
        EXPECT_EQ(g.clientWidth, base.clientWidth * f.dpi / 96);
        EXPECT_EQ(g.clientHeight, base.clientHeight * f.dpi / 96);
        EXPECT_EQ(g.minWidth - f.width, base.minWidth * f.dpi / 96);
        EXPECT_EQ(g.minHeight - f.height, base.minHeight * f.dpi / 96);
        EXPECT_EQ(g.maxWidth - f.width, base.maxWidth * f.dpi / 96);
        EXPECT_EQ(g.maxHeight - f.height, base.maxHeight * f.dpi / 96);
    }
}

TEST(PreviewAtDpi, ASmallPictureIsNotEnlargedButItsLimitsScale) {
    // 150 x 100 pixels: shown at its size on every screen; the least size (100 at 96 dpi) grows.
    const layout::PreviewGeometry g = layout::ComputePreviewGeometry(150, 100, 400, 700, 26, 26, 144);
    EXPECT_EQ(g.clientWidth, 150);
    EXPECT_EQ(g.clientHeight, 100);
    EXPECT_EQ(g.minWidth, 26 + 150);
    EXPECT_EQ(g.minHeight, 26 + 100);
    // A portrait picture at 192 dpi: the height takes the scaled least size and bound.
    const layout::PreviewGeometry p = layout::ComputePreviewGeometry(300, 600, 400, 700, 34, 34, 192);
    EXPECT_EQ(p.clientHeight, 600);
    EXPECT_EQ(p.clientWidth, 300);
    EXPECT_EQ(p.minHeight, 34 + 200);
    EXPECT_EQ(p.minWidth, 34 + 100);
    EXPECT_EQ(p.maxHeight, 34 + 1400);
    EXPECT_EQ(p.maxWidth, 34 + 700);
}

TEST(PreviewAtDpi, SizingSnapsToTheScaledLimits) {
    const int fw = 26, fh = 26;
    const layout::PreviewGeometry g = layout::ComputePreviewGeometry(600, 450, 400, 700, fw, fh, 144);
    // A corner dragged smaller than the least size at 144 dpi stops at it: 150 x 113 client.
    const layout::Rect small =
        layout::SizePreview({100, 100, 200, 160}, layout::kEdgeBottomRight, 600, 450, fw, fh, g);
    EXPECT_EQ(small, (layout::Rect{100, 100, 100 + fw + 150, 100 + fh + 113}));
    // One dragged past the bound stops at 1050 x 788.
    const layout::Rect large =
        layout::SizePreview({0, 0, 1500, 1500}, layout::kEdgeBottomRight, 600, 450, fw, fh, g);
    EXPECT_EQ(large, (layout::Rect{0, 0, fw + 1050, fh + 788}));
}

TEST(PrintPreviewAtDpi, MarginsScaleAndTheBoxNeverVanishes) {
    struct Case {
        int dpi, margin, around;
    } cases[] = {{96, 7, 16}, {144, 11, 24}, {192, 14, 32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        const printing::Rect area = printing::PreviewArea(500, 400, c.dpi);
        EXPECT_EQ(area.left, c.margin);
        EXPECT_EQ(area.top, c.margin);
        EXPECT_EQ(area.width, 500 - c.around);
        EXPECT_EQ(area.height, 400 - c.around);
        // The window (box plus a one-pixel edge each side) ends a margin short of the placeholder.
        EXPECT_GE(500 - (area.left + area.width + 2), c.margin - 1);
    }
    const printing::Rect none = printing::PreviewArea(10, 20, 192);
    EXPECT_EQ(none.width, 1);
    EXPECT_EQ(none.height, 1);
}

TEST(CacheListAtDpi, TheLocationColumnTakesWhatTheScaledColumnsLeave) {
    // 85 + 60 + 67 + 67 at 96 dpi; at 144 dpi each is scaled and rounded on its own: 128 + 90 + 101 + 101.
    EXPECT_EQ(cachelist::LocationWidth(600, 17, 96), 600 - 17 - 279);
    EXPECT_EQ(cachelist::LocationWidth(900, 26, 144), 900 - 26 - 420);
    EXPECT_EQ(cachelist::LocationWidth(1200, 34, 192), 1200 - 34 - 558);
    EXPECT_EQ(cachelist::LocationWidth(400, 26, 144), 0);
}

} // namespace
