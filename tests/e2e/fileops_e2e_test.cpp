// File commands in the real program, with real keyboard and mouse input: Delete on two selected
// pictures recycles them and takes them out of both panes showing the folder, the rename dialog
// renames the picture it opened on, the tree renames an archive and makes a folder, and a comment typed into the comment dialog is stored in the file
// with the picture unchanged.
#include <gtest/gtest.h>

#include "tests/e2e/quorle_copy.h"
#include "tests/e2e/steps.h"
#include "tests/e2e/remote_buffer.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/commands.h"
#include "common/path.h"
#include "common/platform.h"
#include "image/jpeg.h"
#include "tests/thumbs/photo_fixtures.h"

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;
using e2e::RemoteStatusText;

// A click in the middle of `window` with the left button, or the middle one.
void Click(HWND window, bool middle = false) {
    const RECT r = e2e::ScreenRect(window);
    const POINT at = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    e2e::PointerTo(at, 0);
    harness::PumpFor(100);
    e2e::PointerTo(at, middle ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_LEFTDOWN);
    e2e::PointerTo(at, middle ? MOUSEEVENTF_MIDDLEUP : MOUSEEVENTF_LEFTUP);
    harness::PumpFor(300);
}

void Key(WORD key, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
}

void Press(WORD key) {
    Key(key, false);
    Key(key, true);
}

// The picture cells of pane `pane` (0 or 1) that show items, left to right and top to bottom.
std::vector<HWND> Cells(HWND main, int pane) {
    const std::wstring cls = pane == 0 ? L"Quorle_thimg1_class" : L"Quorle_thimg2_class";
    std::vector<HWND> cells;
    for (const harness::ChildInfo& c : harness::Children(main))
        if (c.className == cls && c.visible)
            cells.push_back(c.hwnd);
    std::sort(cells.begin(), cells.end(), [](HWND a, HWND b) {
        const RECT ra = e2e::ScreenRect(a), rb = e2e::ScreenRect(b);
        return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
    });
    return cells;
}

// The first COM segment's text, read from the bytes without the program's reader.
std::string StoredComment(const std::vector<uint8_t>& jpeg) {
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const uint8_t marker = jpeg[at + 1];
        const size_t length = static_cast<size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (marker == 0xDA || length < 2 || at + 2 + length > jpeg.size())
            break;
        if (marker == 0xFE)
            return std::string(jpeg.begin() + static_cast<std::ptrdiff_t>(at + 4),
                               jpeg.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
        at += 2 + length;
    }
    return std::string();
}

std::vector<uint8_t> Pixels(const std::wstring& path) {
    image::JpegContext ctx;
    image::DecodedImage d;
    if (!image::JpegDecodeFromFile(ctx, path, d))
        return {};
    const size_t stride = ((static_cast<size_t>(d.info.header.width) * d.info.header.bit_count + 31) / 32) * 4;
    return std::vector<uint8_t>(d.pixels, d.pixels + stride * static_cast<size_t>(std::abs(d.info.header.height)));
}

class FileOpsE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }
    void TearDown() override {
        if (main_) {
            EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        }
        SetCursorPos(0, 0);
    }
    HWND Status(int pane) { return GetDlgItem(ChildById(main_, 500 + pane), 503); }
    bool WaitCount(int pane, const std::wstring& text, DWORD timeoutMs = 30000) {
        return harness::PumpUntil([&] { return RemoteStatusText(Status(pane), 4) == text; }, timeoutMs);
    }
    // A click that selects, until the pane's count says so: a loaded Wine has been seen to lose the
    // first click on a window that was not yet in front.
    // Keys go to the window in front, and a test running beside this one may have brought its own
    // window forward: the program is put in front first, and a key that changed nothing is pressed
    // again (at most 3 times).
    void PressInFront(WORD key) {
        SetForegroundWindow(main_);
        harness::PumpFor(100);
        Press(key);
    }
    bool PressUntilCount(WORD key, const std::wstring& text) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            PressInFront(key);
            if (WaitCount(0, text, 8000))
                return true;
        }
        return false;
    }
    bool ClickUntilCount(HWND cell, bool middle, const std::wstring& text) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            Click(cell, middle);
            if (WaitCount(0, text, 8000))
                return true;
        }
        return false;
    }
    // Starts with `folder` in pane 1 and, with `both`, in pane 2 as well; pane 1 is active after.
    void Start(const std::wstring& folder, size_t count, bool both) {
        settings::Settings s;
        s.clickOpensPreview = false; // clicks only select
        ASSERT_TRUE(copy_.WriteSettings(s));
        main_ = copy_.Start(process_, L"\"" + folder + L"\"");
        ASSERT_NE(main_, nullptr);
        const std::wstring idle = L"0/" + std::to_wstring(count);
        ASSERT_TRUE(WaitCount(0, idle)) << platform::WideToUtf8(RemoteStatusText(Status(0), 4));
        if (both) {
            SendMessageW(main_, WM_COMMAND, cmd::kOtherPane, 0);
            harness::SendCopyData(main_, folder);
            ASSERT_TRUE(WaitCount(1, idle)) << platform::WideToUtf8(RemoteStatusText(Status(1), 4));
        }
        SetForegroundWindow(main_);
        harness::PumpFor(300);
    }

    QuorleCopy copy_;
    harness::Process process_;
    HWND main_ = nullptr;
};

TEST_F(FileOpsE2e, DeleteOnTwoSelectedPicturesRecyclesThemAndTakesThemOutOfBothPanes) {
    fixtures::TempFolder root;
    const std::wstring folder = root / L"trip";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    for (int i = 1; i <= 4; ++i)
        ASSERT_TRUE(photos::WriteJpeg(folder + L"\\photo" + std::to_wstring(i) + L".jpg", 320, 240, 40 + i));
    ASSERT_NO_FATAL_FAILURE(Start(folder, 4, true));

    std::vector<HWND> cells = Cells(main_, 0);
    ASSERT_EQ(cells.size(), 4u);
    ASSERT_TRUE(ClickUntilCount(cells[0], false, L"1/4")) << platform::WideToUtf8(RemoteStatusText(Status(0), 4));
    // The middle button toggles the item under the pointer (its default assignment), as Ctrl with a
    // click does.
    ASSERT_TRUE(ClickUntilCount(cells[2], true, L"2/4")) << platform::WideToUtf8(RemoteStatusText(Status(0), 4)) << " "
                                      << platform::WideToUtf8(harness::SaveNamedScreenshot(L"delete_selection"));
    // A second Delete after the first took effect finds nothing selected and does nothing.
    EXPECT_TRUE(PressUntilCount(VK_DELETE, L"0/2")) << platform::WideToUtf8(RemoteStatusText(Status(0), 4));
    EXPECT_TRUE(WaitCount(1, L"0/2")) << "the other pane shows the folder too";
    EXPECT_EQ(Cells(main_, 1).size(), 2u);
    EXPECT_FALSE(platform::PathExists(folder + L"\\photo1.jpg"));
    EXPECT_FALSE(platform::PathExists(folder + L"\\photo3.jpg"));
    EXPECT_TRUE(platform::PathExists(folder + L"\\photo2.jpg"));
    EXPECT_TRUE(platform::PathExists(folder + L"\\photo4.jpg"));
    // The test trash (XDG_DATA_HOME) records where each deleted file came from.
    if (const char* home = std::getenv("XDG_DATA_HOME")) {
        std::wstring info = L"Z:" + platform::Utf8ToWide(home) + L"\\Trash\\info";
        std::replace(info.begin(), info.end(), L'/', L'\\');
        int found = 0;
        platform::ListFolder(info, L"*.trashinfo", [&](const platform::FolderEntry& e) {
            const std::vector<uint8_t> text = fixtures::ReadWholeFile(paths::Join(info, e.name));
            const std::string s(text.begin(), text.end());
            const std::string trip = platform::WideToUtf8(paths::LastComponent(root.Path())) + "/trip/photo";
            for (const char* name : {"1.jpg", "3.jpg"})
                if (s.find(trip + name) != std::string::npos)
                    ++found;
            return true;
        });
        EXPECT_EQ(found, 2) << "both pictures are in the recycle bin";
    }
}

TEST_F(FileOpsE2e, TheRenameDialogOpensUnderThePictureAndKeepsItsExtension) {
    fixtures::TempFolder root;
    const std::wstring folder = root / L"pics";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(photos::WriteJpeg(folder + L"\\photo.jpg", 400, 300, 5));
    ASSERT_NO_FATAL_FAILURE(Start(folder, 1, false));
    std::vector<HWND> cells = Cells(main_, 0);
    ASSERT_EQ(cells.size(), 1u);
    ASSERT_TRUE(ClickUntilCount(cells[0], false, L"1/1")) << platform::WideToUtf8(RemoteStatusText(Status(0), 4));
    // The picture is selected again before a repeated key, in case the window that took the key
    // took the click too.
    HWND dialog = nullptr;
    for (int attempt = 0; attempt < 3 && !dialog; ++attempt) {
        if (attempt > 0) {
            ASSERT_TRUE(ClickUntilCount(cells[0], false, L"1/1"));
        }
        PressInFront('N');
        dialog = harness::FindShownDialog(5000, process_.Id());
    }
    ASSERT_NE(dialog, nullptr) << "no rename dialog";
    harness::PumpFor(300);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"rename_dialog").empty());
    EXPECT_EQ(harness::WindowText(dialog), L"Rename");
    HWND edit = GetDlgItem(dialog, 2120);
    EXPECT_EQ(harness::WindowText(edit), L"photo") << "the name without its extension";
    const RECT cell = e2e::ScreenRect(cells[0]), box = e2e::ScreenRect(dialog);
    EXPECT_TRUE(box.top >= cell.bottom || box.bottom <= cell.top) << "beside the cell, not over it";

    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"holiday.png"));
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(harness::PumpUntil([&] { return platform::PathExists(folder + L"\\holiday.png.jpg"); }, 10000));
    EXPECT_FALSE(platform::PathExists(folder + L"\\photo.jpg"));
}

TEST_F(FileOpsE2e, ACommentTypedInTheDialogIsStoredInTheFileAndThePictureStaysTheSame) {
    fixtures::TempFolder root;
    const std::wstring folder = root / L"notes";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring path = folder + L"\\sunset.jpg";
    ASSERT_TRUE(photos::WriteJpeg(path, 640, 480, 9));
    const std::vector<uint8_t> pixels = Pixels(path);
    ASSERT_FALSE(pixels.empty());
    // Both versions are kept for a reader that is not ours (comment_pillow_check, after this test).
    const std::wstring before = harness::ScreenshotFolder() + L"\\comment_before.jpg";
    const std::wstring after = harness::ScreenshotFolder() + L"\\comment_after.jpg";
    DeleteFileW(after.c_str());
    ASSERT_TRUE(CopyFileW(path.c_str(), before.c_str(), FALSE));
    ASSERT_NO_FATAL_FAILURE(Start(folder, 1, false));
    std::vector<HWND> cells = Cells(main_, 0);
    ASSERT_EQ(cells.size(), 1u);
    ASSERT_TRUE(ClickUntilCount(cells[0], false, L"1/1")) << platform::WideToUtf8(RemoteStatusText(Status(0), 4));
    PostMessageW(main_, WM_COMMAND, cmd::kEditComment, 0);

    HWND dialog = harness::FindShownDialog(10000, process_.Id());
    ASSERT_NE(dialog, nullptr) << "no comment dialog";
    HWND edit = GetDlgItem(dialog, 2010);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(harness::WindowText(edit), L"") << "the picture has no comment yet";
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Evening at the lake\r\nJuly"));
    harness::PumpFor(200);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"comment_dialog").empty());
    PostMessageW(GetDlgItem(dialog, 2020), BM_CLICK, 0, 0);
    ASSERT_TRUE(harness::PumpUntil([&] { return !IsWindow(dialog); }, 10000));

    // Stored with LF line ends, read from the bytes directly.
    EXPECT_EQ(StoredComment(fixtures::ReadWholeFile(path)), "Evening at the lake\nJuly");
    EXPECT_EQ(Pixels(path), pixels);
    EXPECT_EQ(platform::FolderExists(folder), true);
    size_t files = 0;
    platform::ListFolder(folder, L"*", [&](const platform::FolderEntry&) {
        ++files;
        return true;
    });
    EXPECT_EQ(files, 1u) << "no temporary or old file left beside the picture";
    EXPECT_TRUE(CopyFileW(path.c_str(), after.c_str(), FALSE));
}

// The tree's name dialog opens beside the tree; an archive keeps its extension.
TEST_F(FileOpsE2e, TheTreeRenamesAnArchiveKeepingItsExtensionAndMakesANewFolder) {
    fixtures::TempFolder root;
    const std::vector<uint8_t> emptyZip = {'P', 'K', 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    {
        platform::File f;
        ASSERT_TRUE(f.Open(root / L"album.zip", platform::OpenMode::CreateAlways));
        ASSERT_EQ(f.Write(emptyZip.data(), emptyZip.size()), emptyZip.size());
    }
    ASSERT_TRUE(CreateDirectoryW((root / L"trip").c_str(), nullptr));
    settings::Settings s;
    s.treeRoots = {{root.Path(), 1}};
    ASSERT_TRUE(copy_.WriteSettings(s));
    main_ = copy_.Start(process_);
    ASSERT_NE(main_, nullptr);
    HWND tree = nullptr;
    ASSERT_TRUE(harness::PumpUntil([&] { return (tree = ChildById(main_, 402)) != nullptr; }, 10000));
    e2e::RemoteBuffer remote(tree);
    auto child = [&](const std::wstring& name) {
        HTREEITEM item = nullptr;
        harness::PumpUntil(
            [&] {
                HTREEITEM roots = e2e::NextItem(tree, e2e::NextItem(tree, nullptr, TVGN_ROOT), TVGN_NEXT);
                item = e2e::ChildNamed(tree, remote, e2e::NextItem(tree, roots, TVGN_CHILD), name);
                return item != nullptr;
            },
            10000);
        return item;
    };
    // The tree menu on `item`, one command chosen by its mnemonic; the name dialog it opens.
    auto nameDialog = [&](HTREEITEM item, wchar_t mnemonic) -> HWND {
        SetForegroundWindow(main_);
        const RECT r = remote.ItemRect(tree, item, true);
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        PostMessageW(tree, WM_RBUTTONDOWN, MK_RBUTTON, at);
        PostMessageW(tree, WM_RBUTTONUP, 0, at);
        HWND menu = harness::FindTopWindow(L"#32768", 5000, process_.Id());
        if (!menu)
            return nullptr;
        harness::PumpFor(300);
        PostMessageW(menu, WM_CHAR, mnemonic, 1);
        return harness::FindShownDialog(10000, process_.Id());
    };

    HTREEITEM album = child(L"album.zip");
    ASSERT_NE(album, nullptr);
    HWND dialog = nameDialog(album, L'r');
    ASSERT_NE(dialog, nullptr) << "no rename dialog";
    HWND edit = GetDlgItem(dialog, 2120);
    EXPECT_EQ(harness::WindowText(edit), L"album");
    EXPECT_LE(std::abs(e2e::ScreenRect(dialog).left - e2e::ScreenRect(ChildById(main_, 400)).right), 2)
        << "at the tree's right edge";
    harness::PumpFor(200);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"tree_rename_dialog").empty());
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"holiday"));
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(harness::PumpUntil([&] { return platform::FileExists(root / L"holiday.zip"); }, 10000));
    EXPECT_FALSE(platform::PathExists(root / L"album.zip"));
    EXPECT_EQ(fixtures::ReadWholeFile(root / L"holiday.zip"), emptyZip);
    ASSERT_TRUE(harness::PumpUntil([&] { return !IsWindow(dialog); }, 10000));

    HTREEITEM trip = child(L"trip");
    ASSERT_NE(trip, nullptr);
    dialog = nameDialog(trip, L'f');
    ASSERT_NE(dialog, nullptr) << "no new-folder dialog";
    EXPECT_EQ(harness::WindowText(dialog), L"trip - New folder");
    SendMessageW(GetDlgItem(dialog, 2120), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Summer"));
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(harness::PumpUntil([&] { return platform::FolderExists(root / L"trip\\Summer"); }, 10000));
}

} // namespace
