// RAR archives in the real program: a RAR 5 volume set of photographs shown as a pane of
// thumbnails from a later volume, and extracted from the tree into a folder named after the set;
// once through the built-in reader and once with the module's test double beside the program.
#include <gtest/gtest.h>

#include "tests/e2e/quorle_copy.h"
#include "tests/e2e/remote_buffer.h"
#include "tests/e2e/steps.h"

#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "common/path.h"
#include "common/platform.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/fixtures/rar_writer.h"
#include "tests/thumbs/photo_fixtures.h"

#ifndef QUORLE_MODULE_DOUBLE
#error "QUORLE_MODULE_DOUBLE must name the folder of the module's test double"
#endif

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;
using e2e::RemoteBuffer;
using e2e::RemoteStatusText;

constexpr wchar_t kProgressClass[] = L"acv_progress_class";
constexpr int kPhotos = 4;

class RarE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }
    void TearDown() override {
        if (main_) {
            EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        }
        SetCursorPos(0, 0);
    }

    // photos.part1.rar ... : kPhotos photographs under "photos\", split over volumes of 20 KB.
    std::vector<std::wstring> WriteSet(const fixtures::TempFolder& root, const fixtures::TempFolder& scratch) {
        std::vector<fixtures::RarMember> members;
        for (int i = 0; i < kPhotos; ++i) {
            const std::wstring file = scratch / (L"p" + std::to_wstring(i) + L".jpg");
            EXPECT_TRUE(photos::WriteJpeg(file, i % 2 ? 480 : 640, i % 2 ? 640 : 480, 500 + i));
            fixtures::RarMember m;
            m.name = L"photos\\photo" + std::to_wstring(i + 1) + L".jpg";
            m.data = fixtures::ReadWholeFile(file);
            members.push_back(m);
        }
        fixtures::RarSetOptions o;
        o.rar5 = true;
        o.volumeData = 20000;
        const std::vector<std::wstring> set = fixtures::WriteStoredRar(root / L"photos", members, o);
        EXPECT_GE(set.size(), 3u);
        return set;
    }

    void UseModuleDouble() {
        const std::wstring source = paths::Join(platform::Utf8ToWide(QUORLE_MODULE_DOUBLE), L"unrar64.dll");
        ASSERT_TRUE(CopyFileW(source.c_str(), (copy_.Folder() + L"\\unrar64.dll").c_str(), FALSE));
    }

    // The pane shows every photograph of the set opened at its second volume, each with a thumbnail.
    void PaneShowsThumbnails(const std::wstring& volume, const wchar_t* shot) {
        main_ = copy_.Start(process_, L"\"" + volume + L"\"");
        ASSERT_NE(main_, nullptr);
        HWND status = nullptr;
        ASSERT_TRUE(harness::PumpUntil(
            [&] { return (status = GetDlgItem(ChildById(main_, 500), 503)) != nullptr; }, 10000));
        const std::wstring expected = L"0/" + std::to_wstring(kPhotos);
        ASSERT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status, 4) == expected; }, 30000))
            << platform::WideToUtf8(RemoteStatusText(status, 4));
        const std::vector<HWND> cells = e2e::VisibleChildren(main_, L"Quorle_thimg1_class");
        ASSERT_EQ(cells.size(), static_cast<size_t>(kPhotos));
        // No cell keeps the empty cell's colours.
        EXPECT_TRUE(e2e::CellsShowPictures(cells, 30000)) << "some thumbnails never showed";
        harness::PumpFor(300);
        EXPECT_FALSE(harness::SaveNamedScreenshot(shot, main_).empty());
        EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        main_ = nullptr;
    }

    // Command 5550 on the tree item of the set's last volume, the chooser accepted at `root`.
    void ExtractFromTree(const std::wstring& root, const std::wstring& itemName) {
        ASSERT_NO_FATAL_FAILURE(e2e::StartWithTreeRoot(copy_, process_, settings::Settings(), root, &main_, &tree_));
        RemoteBuffer remote(tree_);
        HTREEITEM item = e2e::RootFolderChild(tree_, remote, itemName);
        ASSERT_NE(item, nullptr) << "the volume is an item of the tree";
        ASSERT_NO_FATAL_FAILURE(e2e::TreeMenuCommand(main_, tree_, process_.Id(), remote, item, L'h'));
        ASSERT_NO_FATAL_FAILURE(e2e::AcceptFolderChooser(process_.Id(), root));
    }

    void RunBoth(bool module, const wchar_t* shot) {
        fixtures::TempFolder root, scratch;
        const std::vector<std::wstring> set = WriteSet(root, scratch);
        ASSERT_GE(set.size(), 3u);
        if (module) {
            ASSERT_NO_FATAL_FAILURE(UseModuleDouble());
        }
        ASSERT_NO_FATAL_FAILURE(PaneShowsThumbnails(set[1], shot));
        ASSERT_NO_FATAL_FAILURE(ExtractFromTree(root.Path(), paths::LastComponent(set.back())));
        // The set's own top folder "photos" supplies the level: photos\photoN.jpg, no photos\photos.
        const std::wstring made = root / L"photos";
        const bool extracted = harness::PumpUntil([&] { return e2e::CountFilesBelow(made) == kPhotos; }, 20000);
        std::wstring found;
        platform::ListFolder(root.Path(), L"*", [&](const platform::FolderEntry& e) {
            found += e.name + L" ";
            return true;
        });
        EXPECT_TRUE(extracted) << e2e::CountFilesBelow(made) << " files; the folder holds " << platform::WideToUtf8(found);
        EXPECT_TRUE(harness::WaitWindowGone(kProgressClass, 10000));
        for (int i = 0; i < kPhotos; ++i)
            EXPECT_EQ(fixtures::ReadWholeFile(made + L"\\photo" + std::to_wstring(i + 1) + L".jpg"),
                      fixtures::ReadWholeFile(scratch / (L"p" + std::to_wstring(i) + L".jpg")));
    }

    QuorleCopy copy_;
    harness::Process process_;
    HWND main_ = nullptr;
    HWND tree_ = nullptr;
};

TEST_F(RarE2e, AVolumeSetShowsThumbnailsAndExtractsWithTheBuiltInReader) { RunBoth(false, L"rar_pane_builtin"); }

TEST_F(RarE2e, AVolumeSetShowsThumbnailsAndExtractsWithTheModule) { RunBoth(true, L"rar_pane_module"); }

} // namespace
