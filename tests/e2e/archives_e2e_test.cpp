// Archives in the real program, driven from outside: a ZIP shown as a pane of thumbnails, a whole
// archive extracted from the tree into a folder picked in the folder chooser, with its progress
// window, its cancel and a second job refused meanwhile, and a folder packed into a new ZIP.
#include <gtest/gtest.h>

#include "tests/e2e/quorle_copy.h"
#include "tests/e2e/remote_buffer.h"
#include "tests/e2e/steps.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/zip_reader.h"
#include "common/path.h"
#include "common/platform.h"
#include "tests/archive/zip_fixtures.h"
#include "tests/thumbs/photo_fixtures.h"

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;
using e2e::RemoteBuffer;
using e2e::RemoteStatusText;

constexpr wchar_t kProgressClass[] = L"acv_progress_class";

testzip::Bytes FileBytes(const std::wstring& path) { return fixtures::ReadWholeFile(path); }

// `count` small photographs as stored members under `folder` ("" for the root), named photoN.jpg.
std::vector<testzip::Member> PhotoMembers(const std::string& folder, int count, const fixtures::TempFolder& scratch) {
    std::vector<testzip::Member> members;
    for (int i = 0; i < count; ++i) {
        const std::wstring file = scratch / (L"p" + std::to_wstring(i) + L".jpg");
        EXPECT_TRUE(photos::WriteJpeg(file, i % 2 ? 480 : 640, i % 2 ? 640 : 480, 300 + i));
        testzip::Member m;
        m.name = folder + "photo" + std::to_string(i + 1) + ".jpg";
        m.data = FileBytes(file);
        m.method = i % 2 ? 8 : 0;
        members.push_back(m);
    }
    return members;
}

class ArchivesE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }
    void TearDown() override {
        if (main_) {
            EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        }
        SetCursorPos(0, 0);
    }
    // Starts the copy with `root` as an expanded root folder of the tree.
    void StartWithRoot(const std::wstring& root) {
        e2e::StartWithTreeRoot(copy_, process_, settings::Settings(), root, &main_, &tree_);
    }
    // The root folder's child named `name`, once the tree shows it.
    HTREEITEM Child(RemoteBuffer& remote, const std::wstring& name) { return e2e::RootFolderChild(tree_, remote, name); }
    // Opens the tree menu on `item` and types the mnemonic of one of its commands.
    void MenuCommand(RemoteBuffer& remote, HTREEITEM item, wchar_t mnemonic) {
        e2e::TreeMenuCommand(main_, tree_, process_.Id(), remote, item, mnemonic);
    }
    void AcceptChooserAt(const std::wstring& folder) {
        e2e::AcceptFolderChooser(process_.Id(), folder, L"archive_folder_chooser");
    }

    QuorleCopy copy_;
    harness::Process process_;
    HWND main_ = nullptr;
    HWND tree_ = nullptr;
};

TEST_F(ArchivesE2e, AZipOnTheCommandLineShowsItsPicturesAsThumbnails) {
    fixtures::TempFolder root, scratch;
    std::vector<testzip::Member> members = PhotoMembers("", 2, scratch);
    for (testzip::Member& m : PhotoMembers("2020/", 3, scratch))
        members.push_back(m);
    testzip::Member notes;
    notes.name = "notes.txt";
    notes.data = testzip::Text("not a picture");
    members.push_back(notes);
    const std::wstring zip = root / L"Holiday.zip";
    ASSERT_TRUE(testzip::Make(members).bytes.SaveTo(zip));

    main_ = copy_.Start(process_, L"\"" + zip + L"\"");
    ASSERT_NE(main_, nullptr);
    HWND status = nullptr;
    ASSERT_TRUE(harness::PumpUntil(
        [&] { return (status = GetDlgItem(ChildById(main_, 500), 503)) != nullptr; }, 10000));
    ASSERT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status, 4) == L"0/5"; }, 30000))
        << "the five pictures are the pane's items: " << platform::WideToUtf8(RemoteStatusText(status, 4));
    EXPECT_NE(harness::WindowText(main_).find(L"Holiday.zip"), std::wstring::npos)
        << platform::WideToUtf8(harness::WindowText(main_));

    // Every cell gets its thumbnail from the member's bytes: none keeps the empty cell's colours.
    const std::vector<HWND> cells = e2e::VisibleChildren(main_, L"Quorle_thimg1_class");
    ASSERT_EQ(cells.size(), 5u);
    EXPECT_TRUE(e2e::CellsShowPictures(cells, 30000)) << "some thumbnails never showed";
    harness::PumpFor(300);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"archive_pane", main_).empty());
}

// Everything lies under a top folder named as the archive: it lands in the new folder directly.
TEST_F(ArchivesE2e, ExtractingFromTheTreeMakesANewFolderWithEveryMember) {
    fixtures::TempFolder root, scratch;
    const std::wstring zip = root / L"Photos.zip";
    ASSERT_TRUE(testzip::Make(PhotoMembers("photos/", 4, scratch)).bytes.SaveTo(zip));
    ASSERT_TRUE(CreateDirectoryW((root / L"Photos").c_str(), nullptr)) << "taken: the new folder is Photos+1";
    ASSERT_NO_FATAL_FAILURE(StartWithRoot(root.Path()));
    RemoteBuffer remote(tree_);
    HTREEITEM item = Child(remote, L"Photos.zip");
    ASSERT_NE(item, nullptr) << "the archive is an item of the tree";

    ASSERT_NO_FATAL_FAILURE(MenuCommand(remote, item, L'h'));
    ASSERT_NO_FATAL_FAILURE(AcceptChooserAt(root.Path()));
    const std::wstring made = root / L"Photos+1";
    EXPECT_TRUE(harness::PumpUntil([&] { return e2e::CountFilesBelow(made) == 4; }, 20000)) << e2e::CountFilesBelow(made);
    EXPECT_TRUE(harness::WaitWindowGone(kProgressClass, 10000));
    for (int i = 1; i <= 4; ++i) {
        const std::wstring name = L"photo" + std::to_wstring(i) + L".jpg";
        EXPECT_EQ(FileBytes(made + L"\\" + name), FileBytes(scratch / (L"p" + std::to_wstring(i - 1) + L".jpg")))
            << platform::WideToUtf8(name);
    }
}

// A long extraction shows its progress window; meanwhile the tree offers no second job, and Escape
// on the window stops the extraction between members, keeping what was written.
TEST_F(ArchivesE2e, ALongExtractionShowsProgressRefusesASecondJobAndCancels) {
    fixtures::TempFolder root;
    std::vector<testzip::Member> members;
    for (int i = 0; i < 4000; ++i) {
        testzip::Member m;
        m.name = "many/file" + std::to_string(i) + ".txt";
        m.data = testzip::Bytes(2048, static_cast<uint8_t>(i));
        m.method = 0;
        members.push_back(m);
    }
    ASSERT_TRUE(testzip::Make(members).bytes.SaveTo(root / L"Many.zip"));
    ASSERT_TRUE(CreateDirectoryW((root / L"Trip").c_str(), nullptr));
    ASSERT_NO_FATAL_FAILURE(StartWithRoot(root.Path()));
    RemoteBuffer remote(tree_);
    HTREEITEM item = Child(remote, L"Many.zip");
    ASSERT_NE(item, nullptr);
    ASSERT_NO_FATAL_FAILURE(MenuCommand(remote, item, L'h'));
    ASSERT_NO_FATAL_FAILURE(AcceptChooserAt(root.Path()));

    HWND progress = harness::FindTopWindow(kProgressClass, 10000, process_.Id());
    ASSERT_NE(progress, nullptr) << "no progress window";
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"archive_progress").empty());
    EXPECT_NE(GetDlgItem(progress, 1), nullptr);
    EXPECT_NE(GetDlgItem(progress, 2), nullptr);

    // The pack command on another folder is grey while the job runs: its mnemonic starts nothing.
    HTREEITEM trip = Child(remote, L"Trip");
    ASSERT_NE(trip, nullptr);
    ASSERT_NO_FATAL_FAILURE(MenuCommand(remote, trip, L'l'));
    harness::PumpFor(1000);
    EXPECT_EQ(harness::FindTopWindow(L"#32770", 0, process_.Id()), nullptr) << "a second job was started";
    if (HWND menu = harness::FindTopWindow(L"#32768", 0, process_.Id()))
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);

    PostMessageW(progress, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(harness::PumpUntil([&] { return !IsWindow(progress); }, 20000)) << "the job did not stop";
    const size_t written = e2e::CountFilesBelow(root / L"Many");
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, members.size()) << "Escape stopped nothing";
    std::printf("%zu of %zu members written before the cancel\n", written, members.size());
}

TEST_F(ArchivesE2e, PackingAFolderDeflatedMakesAnArchiveOfEveryFile) {
    fixtures::TempFolder root;
    const std::wstring trip = e2e::WritePhotos(root, L"trip.2015", 3);
    ASSERT_TRUE(CreateDirectoryW((trip + L"\\day2").c_str(), nullptr));
    ASSERT_TRUE(photos::WriteJpeg(trip + L"\\day2\\beach.jpg", 800, 600, 9));
    ASSERT_NO_FATAL_FAILURE(StartWithRoot(root.Path()));
    RemoteBuffer remote(tree_);
    HTREEITEM item = Child(remote, L"trip.2015");
    ASSERT_NE(item, nullptr);
    ASSERT_NO_FATAL_FAILURE(MenuCommand(remote, item, L'l'));
    ASSERT_NO_FATAL_FAILURE(AcceptChooserAt(root.Path()));

    const std::wstring zip = root / L"trip.zip";
    location::ArchiveListing listing;
    ASSERT_TRUE(harness::PumpUntil([&] { return platform::FileExists(zip); }, 20000)) << "no archive";
    EXPECT_TRUE(harness::WaitWindowGone(kProgressClass, 10000));
    ASSERT_TRUE(harness::PumpUntil([&] { return archive::ListZipArchive(zip, &listing); }, 5000));
    std::vector<std::wstring> names;
    for (const location::ArchiveEntry& e : listing.entries)
        if (!e.name.empty())
            names.push_back(e.folder + e.name);
    // The file system decides the order within a folder; the set is what counts.
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"day2\\beach.jpg", L"photo1.jpg", L"photo2.jpg", L"photo3.bmp"}));
    for (const location::ArchiveEntry& e : listing.entries) {
        if (e.name.empty())
            continue;
        platform::PageBlock block;
        uint32_t size = 0;
        ASSERT_TRUE(archive::ExtractZipEntry(zip, e.locator, &block, &size));
        const testzip::Bytes original = FileBytes(paths::Join(trip, e.folder + e.name));
        ASSERT_EQ(size, original.size());
        EXPECT_TRUE(std::equal(original.begin(), original.end(), block.Get()));
    }
}

} // namespace
