// The thumbnail view created in this process inside a plain top-level window and driven with mouse
// messages: grid and scroll arithmetic, the cell pool, and the selection rules.
#include "thumbs/thumb_view_win.h"

#include <gtest/gtest.h>

#include <vector>

#include "folder/pane_location.h"
#include "folder/sorting.h"
#include "tests/harness/win_harness.h"

namespace {

struct FakeHost : thumbs::ViewHost {
    int activations = 0;
    int selectionChanges = 0;
    std::vector<int> commands;
    std::vector<size_t> previews;
    std::vector<POINT> menus;
    void ViewActivate() override { ++activations; }
    void ViewSelectionChanged() override { ++selectionChanges; }
    void ViewCommand(int command, size_t) override { commands.push_back(command); }
    void ViewPreview(size_t item, const RECT&) override { previews.push_back(item); }
    bool ViewCanDrag() override { return false; }
    void ViewDropFiles(HDROP drop) override { DragFinish(drop); }
    void ViewContextMenu(POINT at) override { menus.push_back(at); }
};

class ThumbView : public ::testing::Test {
  protected:
    void SetUp() override {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        ASSERT_TRUE(thumbs::RegisterThumbViewClasses(instance));
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = instance;
        wc.lpszClassName = L"Quorle_view_test_top";
        RegisterClassExW(&wc);
        top_ = CreateWindowExW(0, wc.lpszClassName, L"view", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000, 700,
                               nullptr, nullptr, instance, nullptr);
        ASSERT_NE(top_, nullptr);
        thumbs::ViewCreateArgs args;
        args.parent = top_;
        args.instance = instance;
        args.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        args.settings = &settings_;
        args.host = &host_;
        args.placeholder = L"Error";
        area_ = thumbs::CreateThumbView(args);
        ASSERT_NE(area_, nullptr);
        view_ = thumbs::ThumbViewOf(area_);
        ASSERT_NE(view_, nullptr);
    }
    void TearDown() override { DestroyWindow(top_); }

    void SetItems(size_t count) {
        folder::ThumbItemArray items;
        ASSERT_TRUE(folder::AllocateItems(items, count));
        for (size_t i = 0; i < count; ++i)
            items.items[i].name = L"p" + std::to_wstring(i) + L".jpg";
        thumbs::ViewSetItems(*view_, std::move(items), true);
    }

    // Sizes the area so its client (scroll bar shown) is `columns` cells wide plus a little and
    // `rows` cells high plus half a cell.
    void SizeFor(int columns, int rows) {
        const int cw = thumbs::ViewCellWidth(*view_), ch = thumbs::ViewCellHeight(*view_);
        RECT frame = {0, 0, 0, 0};
        AdjustWindowRectEx(&frame, WS_CHILD, FALSE, WS_EX_STATICEDGE);
        const int extraW = frame.right - frame.left + GetSystemMetrics(SM_CXVSCROLL);
        const int extraH = frame.bottom - frame.top;
        MoveWindow(area_, 0, 0, columns * cw + cw / 3 + extraW, rows * ch + ch / 2 + extraH, TRUE);
        thumbs::ViewLayout(*view_);
    }

    SCROLLINFO Scroll() const {
        SCROLLINFO si = {};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        GetScrollInfo(area_, SB_VERT, &si);
        return si;
    }

    HWND CellOf(size_t index) {
        return static_cast<HWND>(thumbs::ViewItems(*view_).items[index].cellWindow);
    }

    void ClickItem(size_t index, WPARAM keys = 0) {
        HWND cell = CellOf(index);
        ASSERT_NE(cell, nullptr) << "item " << index << " has no cell";
        SendMessageW(cell, WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(5, 5));
        SendMessageW(cell, WM_LBUTTONUP, keys, MAKELPARAM(5, 5));
    }

    std::vector<size_t> SelectedItems() {
        std::vector<size_t> out;
        folder::ThumbItemArray& items = thumbs::ViewItems(*view_);
        for (size_t i = 0; i < thumbs::ViewCount(*view_); ++i)
            if (items.items[i].selected)
                out.push_back(i);
        return out;
    }

    settings::Settings settings_;
    FakeHost host_;
    HWND top_ = nullptr;
    HWND area_ = nullptr;
    thumbs::ThumbView* view_ = nullptr;
};

TEST_F(ThumbView, TenItemsInFourColumnsScrollToThreeRowsLessOnePixel) {
    SetItems(10);
    SizeFor(4, 2);
    ASSERT_EQ(thumbs::ViewColumns(*view_), 4);
    const int ch = thumbs::ViewCellHeight(*view_);
    const SCROLLINFO si = Scroll();
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 3 * ch - 1);
    EXPECT_EQ(static_cast<int>(si.nPage), 2 * ch);
    // Pool: 4 columns x the rows that touch the area (3), but never more than the items.
    EXPECT_EQ(thumbs::ViewPoolSize(*view_), 10u);
}

TEST_F(ThumbView, ThePoolIsBoundedByTheAreaAndFollowsTheScrollPosition) {
    SetItems(100);
    SizeFor(4, 2);
    const int ch = thumbs::ViewCellHeight(*view_);
    EXPECT_EQ(thumbs::ViewPoolSize(*view_), 12u) << "4 columns x 3 partly visible rows";
    EXPECT_NE(CellOf(0), nullptr);
    EXPECT_EQ(CellOf(12), nullptr);

    thumbs::ViewScroll(*view_, SB_BOTTOM);
    // 25 rows, 2 visible: the last page starts at row 23.
    EXPECT_EQ(Scroll().nPos, 25 * ch - 1 - 2 * ch + 1);
    EXPECT_EQ(thumbs::ViewFirstVisible(*view_), 92u);
    EXPECT_EQ(CellOf(0), nullptr) << "items above the first row lose their windows";
    ASSERT_NE(CellOf(99), nullptr);
    EXPECT_EQ(static_cast<size_t>(GetWindowLongPtrW(CellOf(99), GWLP_USERDATA)), 99u);
    EXPECT_EQ(thumbs::ViewPoolSize(*view_), 12u) << "scrolling reuses the pool";

    // A dragged thumb just past half a row snaps to the next row, just before half to this one.
    thumbs::ViewScroll(*view_, SB_THUMBTRACK, 3 * ch + ch / 2 + 1);
    EXPECT_EQ(Scroll().nPos, 4 * ch);
    thumbs::ViewScroll(*view_, SB_THUMBTRACK, 3 * ch + ch / 2 - 1);
    EXPECT_EQ(Scroll().nPos, 3 * ch);
    thumbs::ViewScroll(*view_, SB_LINEUP);
    EXPECT_EQ(Scroll().nPos, 2 * ch);
    EXPECT_EQ(thumbs::ViewFirstVisible(*view_), 8u);
    thumbs::ViewScroll(*view_, SB_TOP);
    EXPECT_EQ(Scroll().nPos, 0);
    thumbs::ViewScroll(*view_, SB_LINEUP);
    EXPECT_EQ(Scroll().nPos, 0) << "never above the top";
}

TEST_F(ThumbView, AnAreaNarrowerThanOneCellStillShowsOneColumn) {
    SetItems(3);
    MoveWindow(area_, 0, 0, 40, 400, TRUE);
    thumbs::ViewLayout(*view_);
    EXPECT_EQ(thumbs::ViewColumns(*view_), 1);
    EXPECT_NE(CellOf(2), nullptr);
}

TEST_F(ThumbView, ShiftClicksSelectTheRangeFromAnAnchorThatStays) {
    SetItems(10);
    SizeFor(4, 3);
    // With nothing selected, Shift-click selects only the clicked item, which becomes the anchor.
    ClickItem(6, MK_SHIFT);
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{6}));
    EXPECT_EQ(thumbs::ViewAnchor(*view_), 6u);

    ClickItem(2);
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{2}));
    ClickItem(5, MK_SHIFT);
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{2, 3, 4, 5}));
    EXPECT_EQ(thumbs::ViewSelected(*view_), 4u);
    EXPECT_EQ(thumbs::ViewAnchor(*view_), 2u);
    ClickItem(0, MK_SHIFT);
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{0, 1, 2})) << "exactly the new range";
    EXPECT_EQ(thumbs::ViewSelected(*view_), 3u);
    EXPECT_EQ(thumbs::ViewAnchor(*view_), 2u);

    // A plain click on a selected item keeps the selection and only moves the anchor.
    ClickItem(1);
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{0, 1, 2}));
    EXPECT_EQ(thumbs::ViewAnchor(*view_), 1u);
    ClickItem(8);
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{8}));
    EXPECT_GE(host_.activations, 1);
}

TEST_F(ThumbView, CtrlClicksToggleAndHandTheAnchorToTheFirstSelectedItem) {
    SetItems(10);
    SizeFor(4, 3);
    ClickItem(7);
    ClickItem(3, MK_CONTROL);
    ClickItem(5, MK_CONTROL);
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{3, 5, 7}));
    EXPECT_EQ(thumbs::ViewAnchor(*view_), 5u) << "selecting makes the item the anchor";
    EXPECT_EQ(thumbs::ViewSelected(*view_), 3u);

    // Deselecting an item that is not the anchor leaves the anchor alone.
    ClickItem(7, MK_CONTROL);
    EXPECT_EQ(thumbs::ViewAnchor(*view_), 5u);
    ClickItem(7, MK_CONTROL);
    ClickItem(9, MK_CONTROL);
    // Deselecting the anchor while others stay selected: the first selected in array order.
    ClickItem(9, MK_CONTROL);
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{3, 5, 7}));
    EXPECT_EQ(thumbs::ViewAnchor(*view_), 3u);
    EXPECT_EQ(thumbs::ViewSelected(*view_), 3u);

    // A click on the empty area clears everything.
    const int before = host_.selectionChanges;
    SendMessageW(area_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2000));
    SendMessageW(area_, WM_LBUTTONUP, 0, MAKELPARAM(2, 2000));
    EXPECT_TRUE(SelectedItems().empty());
    EXPECT_EQ(thumbs::ViewSelected(*view_), 0u);
    EXPECT_GT(host_.selectionChanges, before);
}

TEST_F(ThumbView, GesturesRockerAndDoubleClicksRunTheirAssignments) {
    settings_.mouseCommands[11 + 1] = 5400; // left gesture to the right
    SetItems(4);
    SizeFor(4, 1);
    HWND cell = CellOf(1);
    ASSERT_NE(cell, nullptr);
    SendMessageW(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(cell, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(16, 12)); // |dx| + |dy| = 8: not yet
    SendMessageW(cell, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(19, 10));
    SendMessageW(cell, WM_LBUTTONUP, 0, MAKELPARAM(19, 10));
    EXPECT_EQ(host_.commands, (std::vector<int>{5400}));
    EXPECT_TRUE(SelectedItems().empty()) << "a gesture is not a click";

    // Left then right: the rocker command (key 144).
    host_.commands.clear();
    SendMessageW(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(cell, WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, MAKELPARAM(10, 10));
    SendMessageW(cell, WM_RBUTTONUP, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(cell, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(host_.commands, (std::vector<int>{5211}));
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{1})) << "5211 first selects the item under the pointer";

    // Double-click on a picture: key 143 (5212); on the empty area: select all.
    host_.commands.clear();
    SendMessageW(CellOf(3), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_EQ(host_.commands, (std::vector<int>{5212}));
    SendMessageW(area_, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, 1000));
    EXPECT_EQ(thumbs::ViewSelected(*view_), 4u);
    // The middle button (5740) toggles the item under the pointer.
    SendMessageW(CellOf(0), WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(10, 10));
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{1, 2, 3}));

    // The threshold is a 96-dpi length like every one the program keeps: 12 pixels at 144 dpi.
    thumbs::ViewSetLook(*view_, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)), L"Error", 144);
    SizeFor(4, 1);
    host_.commands.clear();
    cell = CellOf(1);
    ASSERT_NE(cell, nullptr);
    SendMessageW(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(cell, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 12));
    EXPECT_FALSE(thumbs::ViewMouseBusy(*view_)) << "12 pixels are not yet a gesture at 144 dpi";
    SendMessageW(cell, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(23, 10));
    EXPECT_TRUE(thumbs::ViewMouseBusy(*view_));
    SendMessageW(cell, WM_LBUTTONUP, 0, MAKELPARAM(23, 10));
    EXPECT_EQ(host_.commands, (std::vector<int>{5400}));
}

TEST_F(ThumbView, RightClicksAndTheMenuKeyAskForTheContextMenu) {
    settings_.mouseCommands[7 + 0] = 5160; // right gesture to the left
    SetItems(4);
    SizeFor(4, 1);
    HWND cell = CellOf(2);
    ASSERT_NE(cell, nullptr);
    SendMessageW(cell, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
    SendMessageW(cell, WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
    ASSERT_EQ(host_.menus.size(), 1u);
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{2})) << "the item under the pointer is selected first";

    // A right gesture runs its command and shows no menu; while it is under way the view is busy.
    SendMessageW(cell, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(30, 10));
    EXPECT_FALSE(thumbs::ViewMouseBusy(*view_)) << "a press alone is no gesture";
    SendMessageW(cell, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(10, 10));
    EXPECT_TRUE(thumbs::ViewMouseBusy(*view_));
    SendMessageW(cell, WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_FALSE(thumbs::ViewMouseBusy(*view_));
    EXPECT_EQ(host_.menus.size(), 1u);
    EXPECT_EQ(host_.commands, (std::vector<int>{5160}));

    // From the keyboard (lParam -1) the menu opens at the area's top-left corner.
    SendMessageW(cell, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(cell), -1);
    ASSERT_EQ(host_.menus.size(), 2u);
    POINT corner = {0, 0};
    ClientToScreen(area_, &corner);
    EXPECT_EQ(host_.menus[1].x, corner.x);
    EXPECT_EQ(host_.menus[1].y, corner.y);
}

TEST_F(ThumbView, CompactingDropsTheSelectedItemsAndClosesTheGaps) {
    SetItems(6);
    SizeFor(4, 2);
    ClickItem(1);
    ClickItem(4, MK_CONTROL);
    thumbs::ViewCompact(*view_);
    ASSERT_EQ(thumbs::ViewCount(*view_), 4u);
    folder::ThumbItemArray& items = thumbs::ViewItems(*view_);
    EXPECT_EQ(items.items[0].name, L"p0.jpg");
    EXPECT_EQ(items.items[1].name, L"p2.jpg");
    EXPECT_EQ(items.items[3].name, L"p5.jpg");
    EXPECT_EQ(thumbs::ViewSelected(*view_), 0u);
    EXPECT_EQ(items.inUse, 4u);
    EXPECT_NE(CellOf(3), nullptr);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(area_, 5))) << "the pool slot past the items is hidden";
}

TEST_F(ThumbView, SortingReordersTheItemsAndTheCellsFollow) {
    SetItems(5);
    SizeFor(4, 2);
    folder::ThumbItemArray& items = thumbs::ViewItems(*view_);
    const int32_t sizes[5] = {30, 10, 50, 20, 40};
    for (size_t i = 0; i < 5; ++i)
        items.items[i].size = sizes[i];
    ClickItem(2);
    thumbs::ViewSort(*view_, folder::kSortSizeDescending, folder::kFileSystemFolder);
    EXPECT_EQ(items.items[0].name, L"p2.jpg");
    EXPECT_EQ(items.items[4].name, L"p1.jpg");
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{0})) << "the selection moves with its item";
    EXPECT_EQ(thumbs::ViewAnchor(*view_), 0u);
    ASSERT_NE(CellOf(4), nullptr);
    EXPECT_EQ(thumbs::ViewItemOfWindow(*view_, CellOf(4)), 4u);
    EXPECT_EQ(thumbs::ViewItemOfWindow(*view_, area_), thumbs::kNoItem);
}

TEST_F(ThumbView, ResultsFindTheirItemAfterSortingAndRemoval) {
    SetItems(6);
    SizeFor(4, 2);
    folder::ThumbItemArray& items = thumbs::ViewItems(*view_);
    for (size_t i = 0; i < 6; ++i)
        items.items[i].size = static_cast<int32_t>(i);
    thumbs::ViewSort(*view_, folder::kSortSizeDescending, folder::kFileSystemFolder);
    ClickItem(1); // p4.jpg
    thumbs::ViewCompact(*view_);
    ClickItem(0); // p5.jpg, selected while its result arrives

    // The worker names each result by its listing position; facts, name and picture go together.
    for (size_t entry = 0; entry < 6; ++entry) {
        folder::ThumbItem result;
        result.name = L"p" + std::to_wstring(entry) + L".jpg";
        result.width = 100 + static_cast<int32_t>(entry);
        result.size = static_cast<int32_t>(entry);
        result.state = 1;
        EXPECT_EQ(thumbs::ViewApplyResult(*view_, entry, result), entry != 4) << entry;
    }
    ASSERT_EQ(thumbs::ViewCount(*view_), 5u);
    const wchar_t* const order[5] = {L"p5.jpg", L"p3.jpg", L"p2.jpg", L"p1.jpg", L"p0.jpg"};
    for (size_t i = 0; i < 5; ++i) {
        const folder::ThumbItem& item = items.items[i];
        EXPECT_EQ(item.name, order[i]) << i;
        EXPECT_EQ(L"p" + std::to_wstring(item.width - 100) + L".jpg", item.name) << "facts under their own name";
        EXPECT_EQ(item.state, 1);
        EXPECT_EQ(item.cellWindow, CellOf(i)) << "the cells stay with their places";
    }
    EXPECT_EQ(SelectedItems(), (std::vector<size_t>{0}));
    EXPECT_EQ(items.items[0].entry, 5u) << "the identity survives the result";

    // Sorting again by listing position keeps finding them; a new item array starts afresh.
    thumbs::ViewSort(*view_, folder::kSortNameAscending, folder::kFileSystemFolder);
    folder::ThumbItem late;
    late.width = 777;
    EXPECT_TRUE(thumbs::ViewApplyResult(*view_, 5, late));
    EXPECT_EQ(items.items[4].width, 777);
    SetItems(2);
    EXPECT_FALSE(thumbs::ViewApplyResult(*view_, 2, late));
    thumbs::ViewRelease(*view_);
    EXPECT_FALSE(thumbs::ViewApplyResult(*view_, 0, late));
}

TEST(FitAcross, SizesTheBoxForNCellsAcrossWithinTheLimits) {
    struct Case {
        int grid, n, edge, width, height;
    } cases[] = {
        {700, 3, 0, 233, 174},   // 699 / 4
        {700, 3, 2, 231, 173},   // the border comes off each cell
        {1700, 2, 0, 800, 600},  // the width is clamped first
        {100, 20, 0, 32, 32},    // 3 x 32 < 128
        {200, 4, 0, 50, 37},     // 150 / 4
        {168, 4, 0, 42, 32},     // 3 x 42 = 126 < 128
        {172, 4, 0, 43, 32},     // 3 x 43 = 129: 129 / 4
        {1400, 1, 0, 800, 600},
        {0, 2, 2, 32, 32},
    };
    for (const Case& c : cases) {
        const thumbs::BoxSize box = thumbs::FitAcrossBox(c.grid, c.n, c.edge);
        EXPECT_EQ(box.width, c.width) << c.grid << " / " << c.n;
        EXPECT_EQ(box.height, c.height) << c.grid << " / " << c.n;
    }
}

} // namespace
