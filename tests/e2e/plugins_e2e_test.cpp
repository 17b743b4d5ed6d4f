// Plug-ins in the real program, on a fresh start: the program's own plug-ins folder beside the copy is
// taken without any setting, a folder of pictures only a plug-in reads shows thumbnails, and an archive
// only a plug-in reads opens as a pane and is extracted from the tree (command 5550). Once with the
// test doubles, and once with the plug-ins the project ships (WebP pictures, a 7z archive), when they
// were built.
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

#ifndef QUORLE_PLUGIN_DOUBLES
#error "QUORLE_PLUGIN_DOUBLES must name the folder of the plug-in test doubles"
#endif
#ifndef QUORLE_PLUGIN_SAMPLES
#error "QUORLE_PLUGIN_SAMPLES must name the folder of the WebP and 7z samples"
#endif

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;
using e2e::RemoteBuffer;
using e2e::RemoteStatusText;

constexpr wchar_t kProgressClass[] = L"acv_progress_class";

std::vector<std::wstring> FilesOf(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<std::wstring> names;
    platform::ListFolder(folder, pattern, [&](const platform::FolderEntry& e) {
        if (!(e.attributes & platform::attr::kDirectory))
            names.push_back(e.name);
        return true;
    });
    return names;
}

// A picture of the image double's format: a 160 x 120 pattern, padded past the head the host reads.
fixtures::ByteWriter DoublePicture() {
    fixtures::ByteWriter b;
    b.Bytes({'Q', 'I', 'M', 'G'}).U16LE(160).U16LE(120).U8(24).U8(0);
    while (b.Data().size() < 4096)
        b.U8(0);
    return b;
}

// An archive of the archive double's format holding `count` pictures of the image double.
fixtures::ByteWriter DoubleArchive(int count) {
    const std::vector<uint8_t> picture = DoublePicture().Data();
    fixtures::ByteWriter b;
    b.Bytes({'Q', 'A', 'R', 'C', 'n', static_cast<uint8_t>(count)});
    for (int i = 0; i < count; ++i) {
        const std::string name = "shots/pic" + std::to_string(i + 1) + ".qim";
        b.U8(static_cast<uint8_t>(name.size())).Bytes(name.data(), name.size());
        b.U32LE(static_cast<uint32_t>(picture.size())).Bytes(picture);
    }
    return b;
}

class PluginsE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }
    void TearDown() override {
        if (main_) {
            EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        }
        SetCursorPos(0, 0);
    }

    std::wstring PluginFolder() const { return copy_.Folder() + L"\\plugins"; }

    void InstallPlugin(const std::wstring& source) {
        CreateDirectoryW(PluginFolder().c_str(), nullptr);
        const std::wstring target = PluginFolder() + L"\\" + paths::LastComponent(source);
        ASSERT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE)) << platform::WideToUtf8(source);
    }

    // The pane opened at `path` by the command line shows `count` items, each with a thumbnail.
    void PaneShowsThumbnails(const std::wstring& path, size_t count, const wchar_t* shot) {
        main_ = copy_.Start(process_, L"\"" + path + L"\"");
        ASSERT_NE(main_, nullptr);
        HWND status = nullptr;
        ASSERT_TRUE(harness::PumpUntil(
            [&] { return (status = GetDlgItem(ChildById(main_, 500), 503)) != nullptr; }, 10000));
        const std::wstring expected = L"0/" + std::to_wstring(count);
        ASSERT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status, 4) == expected; }, 30000))
            << platform::WideToUtf8(RemoteStatusText(status, 4));
        const std::vector<HWND> cells = e2e::VisibleChildren(main_, L"Quorle_thimg1_class");
        ASSERT_EQ(cells.size(), count);
        // No cell keeps the empty cell's colours.
        EXPECT_TRUE(e2e::CellsShowPictures(cells, 30000)) << "some thumbnails never showed";
        harness::PumpFor(300);
        EXPECT_FALSE(harness::SaveNamedScreenshot(shot, main_).empty());
        EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        main_ = nullptr;
    }

    // Command 5550 on the tree item `itemName` under the root folder `root`, the chooser accepted at
    // `root`. The settings name the copy's plug-ins folder, as the first start stored it.
    void ExtractFromTree(const std::wstring& root, const std::wstring& itemName) {
        settings::Settings s;
        s.pluginFolder = PluginFolder() + L"\\";
        HWND tree = nullptr;
        ASSERT_NO_FATAL_FAILURE(e2e::StartWithTreeRoot(copy_, process_, s, root, &main_, &tree));
        RemoteBuffer remote(tree);
        HTREEITEM item = e2e::RootFolderChild(tree, remote, itemName);
        ASSERT_NE(item, nullptr) << "the archive is an item of the tree";
        ASSERT_NO_FATAL_FAILURE(e2e::TreeMenuCommand(main_, tree, process_.Id(), remote, item, L'h'));
        ASSERT_NO_FATAL_FAILURE(e2e::AcceptFolderChooser(process_.Id(), root));
    }

    // The archive at `archive` (under `root`) opens as a pane of `count` thumbnails and extracts into
    // `made` with every member.
    void ArchiveOpensAndExtracts(const std::wstring& root, const std::wstring& archive, size_t count,
                                 const std::wstring& made, const wchar_t* shot) {
        ASSERT_NO_FATAL_FAILURE(PaneShowsThumbnails(archive, count, shot));
        ASSERT_NO_FATAL_FAILURE(ExtractFromTree(root, paths::LastComponent(archive)));
        EXPECT_TRUE(harness::PumpUntil([&] { return e2e::CountFilesBelow(made) == count; }, 30000))
            << e2e::CountFilesBelow(made) << " files in " << platform::WideToUtf8(made);
        EXPECT_TRUE(harness::WaitWindowGone(kProgressClass, 10000));
    }

    QuorleCopy copy_;
    harness::Process process_;
    HWND main_ = nullptr;
};

TEST_F(PluginsE2e, DoublesShowPicturesAndArchivesOnAFreshStart) {
    const std::wstring doubles = platform::Utf8ToWide(QUORLE_PLUGIN_DOUBLES);
    ASSERT_NO_FATAL_FAILURE(InstallPlugin(doubles + L"\\qimage.sph"));
    ASSERT_NO_FATAL_FAILURE(InstallPlugin(doubles + L"\\qarchive.sph"));
    fixtures::TempFolder root;
    const std::wstring pictures = root / L"pictures";
    ASSERT_TRUE(platform::CreateFolder(pictures));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(DoublePicture().SaveTo(pictures + L"\\shot" + std::to_wstring(i) + L".qim"));
    // The empty settings file of the copy: nothing chosen, so the plug-ins beside the program serve.
    ASSERT_NO_FATAL_FAILURE(PaneShowsThumbnails(pictures, 3, L"plugin_pane_doubles"));
    EXPECT_EQ(copy_.ReadSettings().pluginFolder, PluginFolder() + L"\\") << "the first start keeps the folder";

    const std::wstring archive = root / L"Trip.qarc";
    ASSERT_TRUE(DoubleArchive(4).SaveTo(archive));
    ArchiveOpensAndExtracts(root.Path(), archive, 4, root / L"Trip", L"plugin_archive_doubles");
}

// The project's own plug-ins: WebP photographs and a 7z archive of photographs made with cwebp and
// 7z when the build found them.
TEST_F(PluginsE2e, ShippedPluginsShowWebpAndOpen7z) {
    const std::wstring shipped = harness::OutputFolder() + L"\\plugins";
    std::vector<std::wstring> modules = FilesOf(shipped, L"*.spi");
    for (const std::wstring& m : FilesOf(shipped, L"*.sph"))
        modules.push_back(m);
    const std::wstring samples = platform::Utf8ToWide(QUORLE_PLUGIN_SAMPLES);
    const std::vector<std::wstring> webp = FilesOf(samples + L"\\webp", L"*.webp");
    if (modules.empty() || webp.empty() || !platform::FileExists(samples + L"\\photos.7z"))
        GTEST_SKIP() << "the shipped plug-ins or their samples were not built";
    for (const std::wstring& m : modules)
        ASSERT_NO_FATAL_FAILURE(InstallPlugin(shipped + L"\\" + m));
    fixtures::TempFolder root;
    const std::wstring pictures = root / L"webp";
    ASSERT_TRUE(platform::CreateFolder(pictures));
    for (const std::wstring& name : webp)
        ASSERT_TRUE(CopyFileW((samples + L"\\webp\\" + name).c_str(), (pictures + L"\\" + name).c_str(), FALSE));
    ASSERT_NO_FATAL_FAILURE(PaneShowsThumbnails(pictures, webp.size(), L"plugin_pane_webp"));

    const std::wstring archive = root / L"photos.7z";
    ASSERT_TRUE(CopyFileW((samples + L"\\photos.7z").c_str(), archive.c_str(), FALSE));
    const size_t photos = FilesOf(samples + L"\\jpeg", L"*.jpg").size();
    ArchiveOpensAndExtracts(root.Path(), archive, photos, root / L"photos", L"plugin_archive_7z");
}

} // namespace
