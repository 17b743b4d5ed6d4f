// The real program shown a folder of photographs: the panes fill with thumbnails and captions, the
// cache is written on the first start and read on the second, and a second instance's folder
// argument navigates the first.
#include "tests/e2e/quorle_copy.h"
#include "tests/e2e/steps.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>

#include "tests/thumbs/photo_fixtures.h"
#include "thumbs/thumb_cache.h"

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;
using e2e::RemoteStatusText;
using e2e::WritePhotos;

class ThumbnailsE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }
};

HWND PaneStatus(HWND main, int pane) { return GetDlgItem(ChildById(main, 500 + pane), 503); }

// The screen colour at the centre of a window.
COLORREF CentrePixel(HWND hwnd) {
    RECT r = e2e::ScreenRect(hwnd);
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, (r.left + r.right) / 2, r.top + 40);
    ReleaseDC(nullptr, screen);
    return c;
}

bool Activate(HWND main, bool active) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(main, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0, SMTO_ABORTIFHUNG, 10000, &answer) != 0;
}

platform::FileTime WriteTime(const std::wstring& path) {
    platform::FileTime t = 0;
    platform::GetLastWriteTime(path, &t);
    return t;
}


TEST_F(ThumbnailsE2e, APhotoFolderFillsThePaneAndTheSecondStartReadsTheCache) {
    QuorleCopy copy;
    settings::Settings s;
    s.windowLeft = 40;
    s.windowTop = 30;
    s.windowWidth = 1180;
    s.windowHeight = 720;
    s.captionBitDepth = true;
    s.previewSize = 480;
    ASSERT_TRUE(copy.WriteSettings(s));
    fixtures::TempFolder root;
    const std::wstring photos = WritePhotos(root, L"Holiday photos", 6);
    const std::wstring dataFile = thumbs::DataFilePath(copy.Folder() + L"\\cache", thumbs::kFirstDataNumber);

    platform::FileTime written = 0;
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start == 0 ? "first start" : "second start");
        harness::Process quorle;
        HWND main = copy.Start(quorle, L"\"" + photos + L"\"");
        ASSERT_NE(main, nullptr);
        HWND status = nullptr;
        // The window is found while it still makes its children.
        ASSERT_TRUE(harness::PumpUntil([&] { return (status = PaneStatus(main, 0)) != nullptr; }, 10000));
        EXPECT_TRUE(harness::PumpUntil([&] { return harness::WindowText(main) == L"<1> Holiday photos"; }, 30000))
            << harness::WindowText(main);
        // Idle with six items and none selected.
        EXPECT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status, 4) == L"0/6"; }, 60000))
            << RemoteStatusText(status, 4);
        EXPECT_EQ(RemoteStatusText(status, 5), L"Holiday photos");
        harness::PumpFor(500);

        const std::vector<HWND> cells = e2e::VisibleChildren(main, L"Quorle_thimg1_class");
        EXPECT_EQ(cells.size(), 6u);
        EXPECT_EQ(e2e::VisibleChildren(main, L"Quorle_thtxt1_class").size(), 6u);
        for (HWND cell : cells) {
            const COLORREF c = CentrePixel(cell);
            EXPECT_NE(c, 0xD4CCCCu) << "a cell shows only its background";
            EXPECT_NE(c, 0xA49C9Cu);
        }
        EXPECT_TRUE(e2e::VisibleChildren(main, L"Quorle_thimg2_class").empty()) << "pane 2 shows nothing";
        EXPECT_FALSE(harness::SaveNamedScreenshot(start == 0 ? L"thumbnails_first_start" : L"thumbnails_from_cache",
                                                  main)
                         .empty());

        ASSERT_TRUE(platform::FileExists(dataFile));
        if (start == 0) {
            written = WriteTime(dataFile);
            // A click on a picture selects it and opens the popup preview over it.
            ASSERT_FALSE(cells.empty());
            PostMessageW(cells[0], WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
            PostMessageW(cells[0], WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
            EXPECT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status, 4) == L"1/6"; }, 10000));
            HWND preview = nullptr;
            EXPECT_TRUE(harness::PumpUntil(
                [&] {
                    preview = harness::FindTopWindow(L"Quorle_popprv_class", 0, quorle.Id());
                    return preview && IsWindowVisible(preview);
                },
                10000));
            harness::PumpFor(500);
            EXPECT_FALSE(harness::SaveNamedScreenshot(L"thumbnails_preview").empty());
        }
        else
            EXPECT_EQ(WriteTime(dataFile), written) << "everything came from the cache, nothing was rewritten";
        EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
    }
}

// A folder on a local disk named on the command line is listed and laid out before the window first
// shows, at the stored size; a window that then opens maximised must lay it out again for its size.
TEST_F(ThumbnailsE2e, AFolderOpenedInAMaximisedWindowFillsTheWholePane) {
    QuorleCopy copy;
    settings::Settings s;
    s.windowLeft = 40;
    s.windowTop = 30;
    s.windowWidth = 500;
    s.windowHeight = 380;
    s.windowMaximised = true;
    ASSERT_TRUE(copy.WriteSettings(s));
    fixtures::TempFolder root;
    const int count = 30;
    const std::wstring photos = WritePhotos(root, L"Many photos", count);
    harness::Process quorle;
    HWND main = copy.Start(quorle, L"\"" + photos + L"\"");
    ASSERT_NE(main, nullptr);
    HWND status = nullptr;
    ASSERT_TRUE(harness::PumpUntil([&] { return (status = PaneStatus(main, 0)) != nullptr; }, 10000));
    EXPECT_TRUE(harness::PumpUntil([&] { return IsZoomed(main) != 0; }, 10000));
    EXPECT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status, 4) == L"0/30"; }, 60000))
        << RemoteStatusText(status, 4);
    harness::PumpFor(300);

    RECT area = {};
    ASSERT_TRUE(GetClientRect(GetDlgItem(ChildById(main, 500), 502), &area));
    const std::vector<HWND> cells = e2e::VisibleChildren(main, L"Quorle_thimg1_class");
    ASSERT_FALSE(cells.empty());
    const RECT cell = e2e::ScreenRect(cells[0]);
    const int cellWidth = cell.right - cell.left, cellHeight = cell.bottom - cell.top;
    ASSERT_GT(cellWidth, 0);
    ASSERT_GT(cellHeight, 0);
    const size_t columns = static_cast<size_t>(std::max(1, static_cast<int>(area.right) / cellWidth));
    const size_t rows = static_cast<size_t>((area.bottom + cellHeight - 1) / cellHeight);
    EXPECT_EQ(cells.size(), std::min<size_t>(count, columns * rows))
        << "area " << area.right << " x " << area.bottom << ", cell " << cellWidth << " x " << cellHeight;
    EXPECT_GT(cells.size(), 4u) << "no more cells than the stored size held";
    for (HWND c : cells)
        EXPECT_NE(CentrePixel(c), 0xD4CCCCu) << "a cell shows only its background";
    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
}

TEST_F(ThumbnailsE2e, ASecondInstancesFolderOpensInTheFirstOnesActivePane) {
    QuorleCopy copy;
    fixtures::TempFolder root;
    const std::wstring first = WritePhotos(root, L"First", 2);
    const std::wstring second = WritePhotos(root, L"Second", 3);
    harness::Process quorle;
    HWND main = copy.Start(quorle, L"\"" + first + L"\"");
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return harness::WindowText(main) == L"<1> First"; }, 30000));

    harness::Process handoff;
    ASSERT_TRUE(handoff.Start(copy.Exe(), L"\"" + second + L"\"", copy.Folder()));
    DWORD code = 1;
    ASSERT_TRUE(handoff.Wait(30000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(harness::PumpUntil([&] { return harness::WindowText(main) == L"<1> Second"; }, 30000))
        << harness::WindowText(main);
    EXPECT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(PaneStatus(main, 0), 4) == L"0/3"; }, 60000));

    // A file opens the folder that holds it; the same folder again changes nothing.
    EXPECT_EQ(harness::SendCopyData(main, first + L"\\photo1.jpg"), 1);
    EXPECT_TRUE(harness::PumpUntil([&] { return harness::WindowText(main) == L"<1> First"; }, 30000));
    EXPECT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(PaneStatus(main, 0), 4) == L"0/2"; }, 60000));
    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
}

TEST_F(ThumbnailsE2e, ChangesMadeWhileInactiveReloadTheFolderOnReactivation) {
    QuorleCopy copy;
    fixtures::TempFolder root;
    const std::wstring photos = WritePhotos(root, L"Watched", 2);
    harness::Process quorle;
    HWND main = copy.Start(quorle, L"\"" + photos + L"\"");
    ASSERT_NE(main, nullptr);
    HWND status = nullptr;
    ASSERT_TRUE(harness::PumpUntil([&] { return (status = PaneStatus(main, 0)) != nullptr; }, 10000));
    ASSERT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status, 4) == L"0/2"; }, 60000));

    // Another program adds a picture while Quorle is in the background. The activation messages
    // are sent, so the watch is armed before the file is written. Windows of tests running beside
    // this one may activate Quorle in between and spend the watch, so the round may be repeated
    // (rewriting the same file).
    bool reloaded = false;
    for (int round = 0; round < 3 && !reloaded; ++round) {
        ASSERT_TRUE(Activate(main, false));
        ASSERT_TRUE(photos::WriteJpeg(photos + L"\\added.jpg", 320, 240, 7 + round));
        harness::PumpFor(500);
        ASSERT_TRUE(Activate(main, true));
        reloaded = harness::PumpUntil([&] { return RemoteStatusText(status, 4) == L"0/3"; }, 10000);
    }
    EXPECT_TRUE(reloaded) << RemoteStatusText(status, 4);

    // The shown folder is deleted: the pane empties.
    ASSERT_TRUE(Activate(main, false));
    for (const wchar_t* name : {L"photo1.jpg", L"photo2.jpg", L"added.jpg"})
        DeleteFileW((photos + L"\\" + name).c_str());
    ASSERT_TRUE(RemoveDirectoryW(photos.c_str()));
    ASSERT_TRUE(Activate(main, true));
    EXPECT_TRUE(harness::PumpUntil([&] { return harness::WindowText(main) == L"<1> Quorle"; }, 30000))
        << harness::WindowText(main);
    EXPECT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status, 4) == L"-"; }, 30000));
    EXPECT_TRUE(e2e::VisibleChildren(main, L"Quorle_thimg1_class").empty());
    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
}

} // namespace
