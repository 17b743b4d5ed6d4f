// The popup preview of the real program: opened with Space over a cell whose thumbnail could not be
// made, turned by the picture's orientation whatever its bit depth, and a click on it running the
// command assigned to it in the active pane.
#include "tests/e2e/quorle_copy.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/commands.h"
#include "common/scoped_win.h"
#include "tests/image/jpeg_fixtures.h"
#include "tests/thumbs/photo_fixtures.h"

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;
using e2e::RemoteStatusText;

class PreviewE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }
    void TearDown() override {
        if (main_) {
            EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        }
        SetCursorPos(0, 0);
    }
    // Starts the copy on `folder` and waits until pane 1 is idle with `count` items.
    void Start(const std::wstring& folder, const std::wstring& count) {
        main_ = copy_.Start(process_, L"\"" + folder + L"\"");
        ASSERT_NE(main_, nullptr);
        HWND status = nullptr;
        ASSERT_TRUE(harness::PumpUntil(
            [&] { return (status = GetDlgItem(ChildById(main_, 500), 503)) != nullptr; }, 10000));
        ASSERT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status, 4) == count; }, 60000))
            << RemoteStatusText(status, 4);
        harness::PumpFor(300);
    }
    std::vector<HWND> Cells() {
        std::vector<HWND> cells;
        for (const harness::ChildInfo& c : harness::Children(main_))
            if (c.className == L"Quorle_thimg1_class" && c.visible)
                cells.push_back(c.hwnd);
        return cells;
    }
    HWND VisiblePreview() {
        HWND preview = harness::FindTopWindow(L"Quorle_popprv_class", 0, process_.Id());
        return preview && IsWindowVisible(preview) ? preview : nullptr;
    }

    QuorleCopy copy_;
    harness::Process process_;
    HWND main_ = nullptr;
};

// The screen colour at the centre of a window.
COLORREF CentrePixel(HWND hwnd) {
    const RECT r = e2e::ScreenRect(hwnd);
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ReleaseDC(nullptr, screen);
    return c;
}

// A picture the thumbnail worker could not open has no thumbnail; Space over its cell decodes the
// file, turned upright by its orientation. The picture is a greyscale JPEG (8 bits a pixel).
TEST_F(PreviewE2e, SpaceOverACellWithoutThumbnailPreviewsThePictureFromItsFile) {
    fixtures::TempFolder root;
    const std::wstring folder = root / L"Grey";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    testjpeg::Picture grey;
    grey.width = 320;
    grey.height = 160;
    grey.kind = testjpeg::Kind::Grey;
    grey.sample = [](int x, int y, int) { return static_cast<uint8_t>((x + 2 * y) & 0xFF); };
    const std::wstring turned = folder + L"\\a_turned.jpg";
    const std::vector<uint8_t> jpeg = testjpeg::InsertAfterSoi(testjpeg::Make(grey), testjpeg::ExifSegment(6));
    ASSERT_TRUE(fixtures::ByteWriter().Bytes(jpeg).SaveTo(turned));
    ASSERT_TRUE(photos::WriteJpeg(folder + L"\\b_plain.jpg", 320, 240, 5));
    settings::Settings s;
    s.previewSize = 400;
    ASSERT_TRUE(copy_.WriteSettings(s));
    {
        // Held open without sharing while the pane is made: its thumbnail fails. The worker goes
        // through the items in order, so once the second one shows, the first one is done.
        win::Handle held(CreateFileW(turned.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(held.Get(), nullptr);
        ASSERT_NO_FATAL_FAILURE(Start(folder, L"0/2"));
        const std::vector<HWND> cells = Cells();
        ASSERT_EQ(cells.size(), 2u);
        HWND plain = GetWindowLongPtrW(cells[0], GWLP_USERDATA) == 1 ? cells[0] : cells[1];
        ASSERT_TRUE(harness::PumpUntil(
            [&] {
                const COLORREF c = CentrePixel(plain);
                return c != 0xD4CCCCu && c != 0xA49C9Cu;
            },
            30000))
            << "the second thumbnail never showed";
    }
    HWND cell = nullptr;
    for (HWND c : Cells())
        if (GetWindowLongPtrW(c, GWLP_USERDATA) == 0)
            cell = c;
    ASSERT_NE(cell, nullptr);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"preview_no_thumbnail", main_).empty());

    // The pointer is over the cell once the display says so.
    const RECT r = e2e::ScreenRect(cell);
    const POINT centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ASSERT_TRUE(harness::PumpUntil(
        [&] {
            SetCursorPos(centre.x, centre.y);
            POINT at = {};
            GetCursorPos(&at);
            return WindowFromPoint(at) == cell;
        },
        5000));
    // The preview closes when it loses activation; a late activation of the main window on a loaded
    // machine would take it away at once. So the main window is active first, and Space is pressed
    // again (a bounded number of times) if the preview was taken away before it was seen.
    SetForegroundWindow(main_);
    harness::PumpUntil([&] { return GetForegroundWindow() == main_; }, 3000);
    harness::PumpFor(200);
    HWND preview = nullptr;
    for (int attempt = 0; attempt < 3 && !preview; ++attempt) {
        PostMessageW(main_, WM_COMMAND, MAKEWPARAM(cmd::kPreviewUnderPointer, 1), 0); // Space
        harness::PumpUntil([&] { return (preview = VisiblePreview()) != nullptr; }, 5000);
    }
    ASSERT_NE(preview, nullptr) << "Space over the cell opened no preview";
    RECT client = {};
    GetClientRect(preview, &client);
    EXPECT_GT(client.bottom, client.right) << "the landscape picture is shown turned to portrait";
    EXPECT_NEAR(client.bottom, 2 * client.right, 4);
    harness::PumpFor(300);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"preview_grey_turned").empty());
}

// Cells show the item whose index they keep; the lowest one shown tells how far the pane scrolled.
size_t FirstShownItem(const std::vector<HWND>& cells) {
    size_t first = static_cast<size_t>(-1);
    for (HWND c : cells)
        first = std::min(first, static_cast<size_t>(GetWindowLongPtrW(c, GWLP_USERDATA)));
    return first;
}

TEST_F(PreviewE2e, AClickOnThePreviewAssignedAScrollCommandScrollsTheActivePane) {
    fixtures::TempFolder root;
    const std::wstring folder = root / L"Many";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    for (int i = 0; i < 60; ++i)
        ASSERT_TRUE(photos::WriteJpeg(folder + L"\\p" + std::to_wstring(100 + i) + L".jpg", 160, 120, 7 + i));
    settings::Settings s;
    s.windowWidth = 800;
    s.windowHeight = 600;
    s.previewClick = cmd::kScrollFirst + 3; // page down
    ASSERT_TRUE(copy_.WriteSettings(s));
    ASSERT_NO_FATAL_FAILURE(Start(folder, L"0/60"));
    const std::vector<HWND> cells = Cells();
    ASSERT_FALSE(cells.empty());
    ASSERT_LT(cells.size(), 60u) << "the pane must have somewhere to scroll";
    ASSERT_EQ(FirstShownItem(cells), 0u);

    PostMessageW(cells[0], WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    PostMessageW(cells[0], WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    HWND preview = nullptr;
    ASSERT_TRUE(harness::PumpUntil([&] { return (preview = VisiblePreview()) != nullptr; }, 10000));
    PostMessageW(preview, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(preview, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(harness::PumpUntil([&] { return FirstShownItem(Cells()) > 0; }, 10000))
        << "the pane did not scroll";
}

} // namespace
