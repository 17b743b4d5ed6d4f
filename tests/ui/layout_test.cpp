#include "ui/layout.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace layout {

std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

} // namespace layout

namespace {

using layout::FromSize;
using layout::Rect;

TEST(PaneRects, BothPanesSplitTheSpaceBesideTheTree) {
    layout::PaneRects r = layout::ComputePaneRects(1000, 600, 170, false, layout::kLayoutBoth, 96);
    EXPECT_EQ(r.pane[0], FromSize(170, 0, 414, 600)) << r.pane[0];
    EXPECT_EQ(r.pane[1], FromSize(586, 0, 414, 600)) << r.pane[1];
    EXPECT_TRUE(r.visible[0]);
    EXPECT_TRUE(r.visible[1]);
}

TEST(PaneRects, SinglePaneLayoutsStackBothOnTheSameRectangle) {
    struct Case {
        bool treeHidden;
        int layout;
        Rect expected;
        int shown;
    } cases[] = {
        {true, layout::kLayoutPane1, FromSize(0, 0, 1000, 600), 0},
        {false, layout::kLayoutPane1, FromSize(170, 0, 830, 600), 0},
        {true, layout::kLayoutPane2, FromSize(0, 0, 1000, 600), 1},
        {false, layout::kLayoutPane2, FromSize(170, 0, 830, 600), 1},
    };
    for (const Case& c : cases) {
        layout::PaneRects r = layout::ComputePaneRects(1000, 600, 170, c.treeHidden, c.layout, 96);
        EXPECT_EQ(r.pane[0], c.expected) << "layout " << c.layout;
        EXPECT_EQ(r.pane[1], c.expected) << "layout " << c.layout;
        EXPECT_EQ(r.visible[c.shown], true);
        EXPECT_EQ(r.visible[1 - c.shown], false);
    }
}

TEST(PaneRects, OddWidthsRoundDownAndLeaveTheGapInTheMiddle) {
    // (1001 - 0) / 2 - 1 = 499: pane 2 is right-aligned.
    layout::PaneRects r = layout::ComputePaneRects(1001, 10, 170, true, layout::kLayoutBoth, 96);
    EXPECT_EQ(r.pane[0], FromSize(0, 0, 499, 10));
    EXPECT_EQ(r.pane[1], FromSize(502, 0, 499, 10));
}

TEST(Title, NamesTheActivePaneAndItsLocation) {
    EXPECT_EQ(layout::TitleText(1, false, L""), L"<2> Quorle");
    EXPECT_EQ(layout::TitleText(0, false, L"C:\\ignored"), L"<1> Quorle");
    EXPECT_EQ(layout::TitleText(0, true, L"C:\\Photos"), L"<1> C:\\Photos");
    EXPECT_EQ(layout::TitleText(1, true, L"D:\\a.zip"), L"<2> D:\\a.zip");
}

TEST(Placement, IsPulledBackIntoTheWorkArea) {
    const Rect work = {0, 0, 1280, 770};
    struct Case {
        Rect saved;
        Rect expected;
    } cases[] = {
        {FromSize(200, 100, 800, 600), FromSize(200, 100, 800, 600)},    // fits: unchanged
        {FromSize(900, 500, 800, 600), FromSize(480, 170, 800, 600)},    // off right and bottom
        {FromSize(-300, -50, 800, 600), FromSize(0, 0, 800, 600)},       // off left and top
        {FromSize(100, 100, 2000, 1000), FromSize(0, 0, 1280, 770)},     // larger than the area: cut
        {FromSize(1279, 769, 10, 10), FromSize(1270, 760, 10, 10)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(layout::PlaceInWorkArea(c.saved, work), c.expected) << c.saved;
}

TEST(Placement, FollowsAWorkAreaThatDoesNotStartAtZero) {
    const Rect work = {1280, 40, 2560, 1024}; // a second monitor with a top task bar
    EXPECT_EQ(layout::PlaceInWorkArea(FromSize(200, 10, 800, 600), work), FromSize(1280, 40, 800, 600));
    EXPECT_EQ(layout::PlaceInWorkArea(FromSize(2400, 900, 800, 600), work), FromSize(1760, 424, 800, 600));
}

TEST(MulDivRound, RoundsHalvesUp) {
    EXPECT_EQ(layout::MulDivRound(600, 3000, 4000), 450);
    EXPECT_EQ(layout::MulDivRound(1, 1, 2), 1);   // 0.5 -> 1
    EXPECT_EQ(layout::MulDivRound(1, 1, 3), 0);   // 0.33 -> 0
    EXPECT_EQ(layout::MulDivRound(2, 1, 3), 1);   // 0.67 -> 1
    EXPECT_EQ(layout::MulDivRound(5, 3, 2), 8);   // 7.5 -> 8
    EXPECT_EQ(layout::MulDivRound(7, 7, 0), 0);
    EXPECT_EQ(layout::MulDivRound(100000, 100000, 100000), 100000); // no 32-bit overflow
}

TEST(PreviewGeometry, LandscapeFitsTheWidth) {
    layout::PreviewGeometry g = layout::ComputePreviewGeometry(4000, 3000, 600, 700, 10, 12);
    EXPECT_EQ(g.clientWidth, 600);
    EXPECT_EQ(g.clientHeight, 450);
    EXPECT_EQ(g.minWidth, 110);
    EXPECT_EQ(g.minHeight, 12 + 75);
    EXPECT_EQ(g.maxWidth, 710);
    EXPECT_EQ(g.maxHeight, 12 + 525);
}

TEST(PreviewGeometry, PortraitAndSquareFitTheHeight) {
    layout::PreviewGeometry portrait = layout::ComputePreviewGeometry(3000, 4000, 600, 700, 10, 12);
    EXPECT_EQ(portrait.clientHeight, 600);
    EXPECT_EQ(portrait.clientWidth, 450);
    EXPECT_EQ(portrait.minHeight, 112);
    EXPECT_EQ(portrait.minWidth, 10 + 75);
    EXPECT_EQ(portrait.maxHeight, 712);
    EXPECT_EQ(portrait.maxWidth, 10 + 525);
    layout::PreviewGeometry square = layout::ComputePreviewGeometry(500, 500, 600, 700, 0, 0);
    EXPECT_EQ(square.clientWidth, 500); // a small picture is not enlarged
    EXPECT_EQ(square.clientHeight, 500);
}

TEST(PreviewGeometry, SmallPicturesKeepTheirSizeAndDegenerateOnesGiveNothing) {
    layout::PreviewGeometry g = layout::ComputePreviewGeometry(300, 101, 600, 700, 0, 0);
    EXPECT_EQ(g.clientWidth, 300);
    EXPECT_EQ(g.clientHeight, 101);
    layout::PreviewGeometry none = layout::ComputePreviewGeometry(0, 100, 600, 700, 10, 10);
    EXPECT_EQ(none.clientWidth, 0);
    EXPECT_EQ(none.maxWidth, 0);
}

class PreviewSizing : public ::testing::Test {
  protected:
    // A 400 x 300 picture, frame 10 x 10, screen bound 600.
    const int pw = 400, ph = 300, fw = 10, fh = 10;
    layout::PreviewGeometry g = layout::ComputePreviewGeometry(400, 300, 400, 600, 10, 10);
    Rect Size(Rect proposed, int edge) { return layout::SizePreview(proposed, edge, pw, ph, fw, fh, g); }
};

TEST_F(PreviewSizing, SideEdgesKeepTheProportionsAndTheVerticalCentre) {
    // Right edge dragged to a 210-wide window: client 200 x 150, centred on the old centre (160).
    Rect r = Size({100, 5, 310, 315}, layout::kEdgeRight);
    EXPECT_EQ(r, (Rect{100, 80, 310, 240})) << r;
    // Left edge dragged too far: clamped to the maximum width, the right edge stays.
    r = Size({-1000, 5, 310, 315}, layout::kEdgeLeft);
    EXPECT_EQ(r.right, 310);
    EXPECT_EQ(r.Width(), g.maxWidth);
    EXPECT_EQ(r.Height(), g.maxHeight);
}

TEST_F(PreviewSizing, TopAndBottomEdgesKeepTheHorizontalCentre) {
    // Bottom edge to a 160-high window: client 150 high, so 200 wide, centred on x = 200.
    Rect r = Size({0, 0, 400, 160}, layout::kEdgeBottom);
    EXPECT_EQ(r, (Rect{95, 0, 305, 160})) << r;
    // Top edge dragged below the minimum: clamped, the bottom stays.
    r = Size({0, 150, 400, 160}, layout::kEdgeTop);
    EXPECT_EQ(r.bottom, 160);
    EXPECT_EQ(r.Height(), g.minHeight);
    EXPECT_EQ(r.Width(), g.minWidth);
}

TEST_F(PreviewSizing, CornersSnapToTheLimitsOrFollowTheHeight) {
    Rect small = Size({0, 0, 50, 40}, layout::kEdgeBottomRight);
    EXPECT_EQ(small, (Rect{0, 0, g.minWidth, g.minHeight}));
    Rect big = Size({0, 0, 50, 2000}, layout::kEdgeTopLeft);
    EXPECT_EQ(big, (Rect{50 - g.maxWidth, 2000 - g.maxHeight, 50, 2000}));
    // Within the limits only the horizontal edge of the corner moves: height 160 -> width 210.
    Rect mid = Size({100, 100, 150, 260}, layout::kEdgeBottomLeft);
    EXPECT_EQ(mid, (Rect{150 - 210, 100, 150, 260}));
}

TEST(PreviewPlacement, CentresOnTheCellInsideTheLimits) {
    const Rect work = {0, 0, 1280, 770};
    // Centred on a 140 x 105 cell at (500, 300): a 300 x 200 window.
    EXPECT_EQ(layout::PlacePreview(FromSize(500, 300, 140, 105), 300, 200, 50, 170, work),
              FromSize(420, 253, 300, 200));
    // Not above the client area's top and not left of the tree area.
    EXPECT_EQ(layout::PlacePreview(FromSize(180, 60, 140, 105), 300, 200, 50, 170, work),
              FromSize(170, 50, 300, 200));
    // Then pulled back into the work area.
    EXPECT_EQ(layout::PlacePreview(FromSize(1200, 700, 140, 105), 300, 200, 50, 170, work),
              FromSize(980, 570, 300, 200));
}

TEST(SizeBox, TextsAndWidth) {
    EXPECT_EQ(layout::SizeText(140, 105), L"140x105");
    EXPECT_EQ(layout::SizeText(800, 32), L"800x32");
    EXPECT_EQ(layout::SizeBoxWidth(90, 8, 17), 90 + 17 + 10);
    EXPECT_EQ(layout::SizeBoxWidth(40, 8, 17), 56 + 17 + 10); // seven digits are the minimum
    EXPECT_EQ(layout::ButtonHeight(12), 22);
    EXPECT_EQ(layout::ButtonHeight(16), 25);
}

TEST(SizeBox, PresetsAreClampedOrCleared) {
    struct Case {
        int w, h, ew, eh;
    } cases[] = {{140, 105, 140, 105}, {20, 1000, 32, 800}, {0, 100, 0, 0}, {100, 0, 0, 0}, {-5, 50, 32, 50}};
    for (const Case& c : cases) {
        layout::Size s = layout::NormalisePreset(c.w, c.h);
        EXPECT_EQ(s.width, c.ew) << c.w << "x" << c.h;
        EXPECT_EQ(s.height, c.eh) << c.w << "x" << c.h;
    }
}

} // namespace

namespace {

// The frame at 144 and 192 dpi against 96 dpi: the text measures handed in are what a font made
// for that dpi measures (1.5 or 2 times the 96-dpi ones); the program's own lengths must follow.
struct FrameAt {
    int dpi;
    layout::PaneRects panes;
    int treeInner;
    int edges[6];
    int button;
    int sizeBox;
    int menuButton;
    int menuItem;
};

FrameAt MeasureFrame(int dpi, int clientWidth, int clientHeight, int paneLayout) {
    auto m = [dpi](int v96) { return v96 * dpi / 96; }; // what the font measures
    FrameAt f{};
    f.dpi = dpi;
    f.panes = layout::ComputePaneRects(clientWidth, clientHeight, 170, false, paneLayout, dpi);
    f.treeInner = layout::TreeInnerWidth(dpi::Scale(170, dpi), dpi);
    layout::StatusTextWidths t;
    t.reload = m(40);
    t.stop = m(28);
    t.widestSort = m(84);
    t.widestFilter = m(62);
    t.digit = m(6);
    layout::StatusPartEdges(t, dpi, f.edges);
    f.button = layout::ButtonHeight(m(16), dpi);
    f.sizeBox = layout::SizeBoxWidth(m(50), m(6), m(18), dpi);
    f.menuButton = layout::MenuBarButtonWidth(m(30), dpi);
    f.menuItem = layout::MenuItemHeight(m(16), dpi);
    return f;
}

// Each 96-dpi length is rounded once at 144 dpi: at most half a pixel from 1.5 times.
void ExpectScaled(int at96, int at, int dpi, const char* what) {
    EXPECT_LE(std::abs(2 * 96 * at - 2 * dpi * at96), 96) << what << ": " << at96 << " -> " << at << " at " << dpi;
}

TEST(FrameAtDpi, LayoutAt144And192DpiIsThe96DpiLayoutScaled) {
    for (int paneLayout : {layout::kLayoutPane1, layout::kLayoutPane2, layout::kLayoutBoth}) {
        const FrameAt base = MeasureFrame(96, 1000, 600, paneLayout);
        EXPECT_EQ(base.panes.pane[0].left, 170);
        for (int d : {144, 192}) {
            const FrameAt f = MeasureFrame(d, 1000 * d / 96, 600 * d / 96, paneLayout);
            for (int i = 0; i < 2; ++i) {
                EXPECT_EQ(f.panes.visible[i], base.panes.visible[i]);
                ExpectScaled(base.panes.pane[i].left, f.panes.pane[i].left, d, "pane left");
                ExpectScaled(base.panes.pane[i].right, f.panes.pane[i].right, d, "pane right");
                ExpectScaled(base.panes.pane[i].bottom, f.panes.pane[i].bottom, d, "pane bottom");
            }
            ExpectScaled(base.treeInner, f.treeInner, d, "tree tabs");
            for (int i = 0; i < 5; ++i)
                ExpectScaled(base.edges[i], f.edges[i], d, "status part");
            EXPECT_EQ(f.edges[5], -1);
            ExpectScaled(base.button, f.button, d, "toolbar button");
            ExpectScaled(base.sizeBox, f.sizeBox, d, "size box");
            ExpectScaled(base.menuButton, f.menuButton, d, "menu-bar button");
            ExpectScaled(base.menuItem, f.menuItem, d, "menu item");
        }
    }
    // The numbers of the window's layout at 96 dpi, and exactly 1.5 times them at 144.
    const FrameAt at144 = MeasureFrame(144, 1500, 900, layout::kLayoutBoth);
    EXPECT_EQ(at144.panes.pane[0], FromSize(255, 0, 621, 900)) << at144.panes.pane[0];
    EXPECT_EQ(at144.panes.pane[1], FromSize(879, 0, 621, 900)) << at144.panes.pane[1];
}

TEST(FrameAtDpi, SavedWindowSizeAndTreeWidthStayIn96DpiUnits) {
    const Rect saved = FromSize(-8, 40, 800, 600);
    EXPECT_EQ(layout::WindowAt(saved, 96), saved);
    // The position picks the monitor and is not scaled; the size is.
    EXPECT_EQ(layout::WindowAt(saved, 144), FromSize(-8, 40, 1200, 900));
    EXPECT_EQ(layout::WindowAt(saved, 192), FromSize(-8, 40, 1600, 1200));
    for (int d : {96, 120, 144, 192}) {
        const Rect shown = layout::WindowAt(saved, d);
        const layout::Size stored = layout::StoredWindowSize(shown.Width(), shown.Height(), d);
        EXPECT_EQ(stored.width, 800) << d;
        EXPECT_EQ(stored.height, 600) << d;
        EXPECT_EQ(dpi::Unscale(dpi::Scale(170, d), d), 170) << d;
    }
    // A size the user dragged to at 144 dpi comes back within a pixel after a store and a restore.
    const layout::Size odd = layout::StoredWindowSize(1201, 899, 144);
    const Rect again = layout::WindowAt(FromSize(0, 0, odd.width, odd.height), 144);
    EXPECT_LE(std::abs(again.Width() - 1201), 1);
    EXPECT_LE(std::abs(again.Height() - 899), 1);
}

} // namespace
