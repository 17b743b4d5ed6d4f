// RAR archives in the real program: a RAR 5 volume set of photographs shown as a pane of
// thumbnails from a later volume, and extracted from the tree into a folder named after the set;
// once through the built-in reader and once with the module's test double beside the program.
#include <gtest/gtest.h>

#include "tests/e2e/quorle_copy.h"
#include "tests/e2e/remote_buffer.h"

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
using e2e::ChildNamed;
using e2e::kMainClass;
using e2e::NextItem;
using e2e::QuorleCopy;
using e2e::RemoteBuffer;
using e2e::RemoteStatusText;

constexpr wchar_t kProgressClass[] = L"acv_progress_class";
constexpr int kChooserTreeId = 14145;
constexpr int kPhotos = 4;

size_t CountFiles(const std::wstring& folder) {
    size_t n = 0;
    platform::ListFolder(folder, L"*", [&](const platform::FolderEntry& e) {
        if (e.attributes & platform::attr::kDirectory)
            n += CountFiles(paths::Join(folder, e.name));
        else
            ++n;
        return true;
    });
    return n;
}

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
        std::vector<HWND> cells;
        for (const harness::ChildInfo& c : harness::Children(main_))
            if (c.className == L"Quorle_thimg1_class" && c.visible)
                cells.push_back(c.hwnd);
        ASSERT_EQ(cells.size(), static_cast<size_t>(kPhotos));
        auto centre = [](HWND cell) {
            const RECT r = e2e::ScreenRect(cell);
            HDC screen = GetDC(nullptr);
            const COLORREF c = GetPixel(screen, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
            ReleaseDC(nullptr, screen);
            return c;
        };
        // No cell keeps the empty cell's colours.
        EXPECT_TRUE(harness::PumpUntil(
            [&] {
                for (HWND cell : cells) {
                    const COLORREF c = centre(cell);
                    if (c == 0xD4CCCCu || c == 0xA49C9Cu)
                        return false;
                }
                return true;
            },
            30000))
            << "some thumbnails never showed";
        harness::PumpFor(300);
        EXPECT_FALSE(harness::SaveNamedScreenshot(shot, main_).empty());
        EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        main_ = nullptr;
    }

    // Command 5550 on the tree item of the set's last volume, the chooser accepted at `root`.
    void ExtractFromTree(const std::wstring& root, const std::wstring& itemName) {
        settings::Settings s;
        s.treeRoots = {{root, 1}};
        ASSERT_TRUE(copy_.WriteSettings(s));
        main_ = copy_.Start(process_);
        ASSERT_NE(main_, nullptr);
        ASSERT_TRUE(harness::PumpUntil([&] { return (tree_ = ChildById(main_, 402)) != nullptr; }, 10000));
        ASSERT_TRUE(harness::PumpUntil([&] { return SendMessageW(tree_, TVM_GETCOUNT, 0, 0) >= 2; }, 10000));
        harness::PumpFor(1500);
        RemoteBuffer remote(tree_);
        HTREEITEM item = nullptr;
        harness::PumpUntil(
            [&] {
                HTREEITEM roots = NextItem(tree_, NextItem(tree_, nullptr, TVGN_ROOT), TVGN_NEXT);
                return (item = ChildNamed(tree_, remote, NextItem(tree_, roots, TVGN_CHILD), itemName)) != nullptr;
            },
            10000);
        ASSERT_NE(item, nullptr) << "the volume is an item of the tree";
        SetForegroundWindow(main_);
        const RECT r = remote.ItemRect(tree_, item, true);
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        PostMessageW(tree_, WM_RBUTTONDOWN, MK_RBUTTON, at);
        PostMessageW(tree_, WM_RBUTTONUP, 0, at);
        HWND menu = harness::FindTopWindow(L"#32768", 5000, process_.Id());
        ASSERT_NE(menu, nullptr) << "no tree menu";
        harness::PumpFor(300);
        PostMessageW(menu, WM_CHAR, L'h', 1);

        HWND chooser = harness::FindShownDialog(10000, process_.Id());
        ASSERT_NE(chooser, nullptr) << "no folder chooser";
        HWND tree = ChildById(chooser, kChooserTreeId);
        ASSERT_NE(tree, nullptr);
        RemoteBuffer chooserRemote(tree);
        auto settled = [&] {
            HTREEITEM caret = NextItem(tree, nullptr, TVGN_CARET);
            return caret && chooserRemote.ItemText(tree, caret) == paths::LastComponent(root);
        };
        if (!harness::PumpUntil(settled, 8000)) {
            std::wstring path = root;
            e2e::RemoteSend(chooser, BFFM_SETSELECTIONW, TRUE, &path[0], (path.size() + 1) * sizeof(wchar_t));
            ASSERT_TRUE(harness::PumpUntil(settled, 10000)) << "the chooser did not open at the archive's folder";
        }
        harness::PumpFor(500);
        PostMessageW(GetDlgItem(chooser, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(harness::PumpUntil([&] { return !IsWindow(chooser); }, 10000));
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
        const bool extracted = harness::PumpUntil([&] { return CountFiles(made) == kPhotos; }, 20000);
        std::wstring found;
        platform::ListFolder(root.Path(), L"*", [&](const platform::FolderEntry& e) {
            found += e.name + L" ";
            return true;
        });
        EXPECT_TRUE(extracted) << CountFiles(made) << " files; the folder holds " << platform::WideToUtf8(found);
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
