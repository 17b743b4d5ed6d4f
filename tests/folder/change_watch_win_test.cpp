// The change watch on real folders and files: armed on deactivation, checked once on reactivation.
#include "folder/change_watch_win.h"

#include <gtest/gtest.h>

#include "tests/fixtures/byte_writer.h"

namespace {

folder::PaneLocation At(folder::LocationKind kind, const std::wstring& path) {
    folder::PaneLocation loc;
    loc.kind = kind;
    loc.path = path;
    loc.valid = 1;
    return loc;
}

bool Touch(const std::wstring& path) { return fixtures::ByteWriter().Ascii("x").SaveTo(path); }

// The notification reaches the handle a little after the change.
bool CheckSoon(folder::ChangeWatch& watch, int pane, folder::PaneLocation& loc) {
    for (int i = 0; i < 50; ++i) {
        if (WaitForSingleObject(watch.handles[pane].Get(), 0) == WAIT_OBJECT_0)
            break;
        Sleep(20);
    }
    return folder::CheckFolderChanged(watch, pane, loc);
}

TEST(ChangeWatch, AFileAddedWhileInactiveReloadsTheFolderOnce) {
    fixtures::TempFolder dir;
    folder::PaneLocation loc = At(folder::kFileSystemFolder, dir.Path());
    const folder::PaneLocation* panes[2] = {&loc, nullptr};
    folder::ChangeWatch watch;
    folder::WatchFolders(watch, panes);
    ASSERT_TRUE(watch.handles[0]);
    EXPECT_FALSE(watch.handles[1]);
    ASSERT_TRUE(Touch(dir / L"new.jpg"));
    EXPECT_TRUE(CheckSoon(watch, 0, loc));
    EXPECT_FALSE(watch.handles[0]) << "the check closes the handle";
    EXPECT_FALSE(folder::CheckFolderChanged(watch, 0, loc)) << "until the next deactivation";
    EXPECT_TRUE(loc.valid);
}

TEST(ChangeWatch, NoChangeMeansNoReload) {
    fixtures::TempFolder dir;
    folder::PaneLocation loc = At(folder::kFileSystemFolder, dir.Path());
    const folder::PaneLocation* panes[2] = {nullptr, &loc};
    folder::ChangeWatch watch;
    folder::WatchFolders(watch, panes);
    ASSERT_TRUE(watch.handles[1]);
    Sleep(100);
    EXPECT_FALSE(folder::CheckFolderChanged(watch, 1, loc));
    EXPECT_FALSE(watch.handles[1]);
}

TEST(ChangeWatch, AVanishedFolderOrArchiveClearsTheLocation) {
    fixtures::TempFolder dir;
    const std::wstring sub = dir / L"gone";
    ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
    folder::PaneLocation folderLoc = At(folder::kFileSystemFolder, sub);
    folder::PaneLocation zipLoc = At(folder::kZipArchive, dir / L"a.zip");
    ASSERT_TRUE(Touch(zipLoc.path));
    const folder::PaneLocation* panes[2] = {&folderLoc, &zipLoc};
    folder::ChangeWatch watch;
    folder::WatchFolders(watch, panes);
    EXPECT_FALSE(watch.handles[1]) << "archives keep no handle";
    folder::CloseWatch(watch);
    ASSERT_TRUE(RemoveDirectoryW(sub.c_str()));
    ASSERT_TRUE(DeleteFileW(zipLoc.path.c_str()));
    EXPECT_TRUE(folder::CheckFolderChanged(watch, 0, folderLoc));
    EXPECT_FALSE(folderLoc.valid);
    EXPECT_TRUE(folderLoc.path.empty());
    EXPECT_TRUE(folder::CheckFolderChanged(watch, 1, zipLoc));
    EXPECT_FALSE(zipLoc.valid);
    EXPECT_FALSE(folder::CheckFolderChanged(watch, 1, zipLoc)) << "a cleared location is not checked";
}

TEST(ChangeWatch, AFolderDeletedWhileItsHandleIsArmedIsClearedAtTheCheck) {
    fixtures::TempFolder dir;
    const std::wstring sub = dir / L"watched";
    ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
    ASSERT_TRUE(Touch(sub + L"\\a.jpg"));
    folder::PaneLocation loc = At(folder::kFileSystemFolder, sub);
    const folder::PaneLocation* panes[2] = {&loc, nullptr};
    folder::ChangeWatch watch;
    folder::WatchFolders(watch, panes);
    ASSERT_TRUE(watch.handles[0]);
    ASSERT_TRUE(DeleteFileW((sub + L"\\a.jpg").c_str()));
    ASSERT_TRUE(RemoveDirectoryW(sub.c_str()));
    EXPECT_TRUE(folder::CheckFolderChanged(watch, 0, loc));
    EXPECT_FALSE(loc.valid) << "the location is cleared, so the reload empties the pane";
    EXPECT_FALSE(watch.handles[0]);
}

TEST(ChangeWatch, ArchivesCompareTheirWriteTimeAndShellFoldersNeverReload) {
    fixtures::TempFolder dir;
    folder::PaneLocation zip = At(folder::kZipArchive, dir / L"a.zip");
    ASSERT_TRUE(Touch(zip.path));
    ASSERT_TRUE(platform::GetLastWriteTime(zip.path, &zip.archiveTime));
    folder::ChangeWatch watch;
    EXPECT_FALSE(folder::CheckFolderChanged(watch, 0, zip)) << "unchanged";
    platform::File f;
    ASSERT_TRUE(f.Open(zip.path, platform::OpenMode::ReadWrite));
    ASSERT_TRUE(f.SetLastWriteTime(zip.archiveTime + 10000000));
    f.Close();
    EXPECT_TRUE(folder::CheckFolderChanged(watch, 0, zip)) << "touched";
    EXPECT_TRUE(zip.valid);

    folder::PaneLocation shell = At(folder::kShellFolder, dir.Path());
    const folder::PaneLocation* panes[2] = {&shell, nullptr};
    folder::WatchFolders(watch, panes);
    EXPECT_FALSE(watch.handles[0]);
    ASSERT_TRUE(Touch(dir / L"b.jpg"));
    EXPECT_FALSE(folder::CheckFolderChanged(watch, 0, shell));
}

// A pane that leaves its folder for a shell folder or an archive lets go of the folder's handle,
// whether the pane moves on while the program is inactive or at the next deactivation.
TEST(ChangeWatch, PanesShowingNoFolderKeepNoHandle) {
    fixtures::TempFolder dir;
    folder::PaneLocation fs = At(folder::kFileSystemFolder, dir.Path());
    folder::PaneLocation zip = At(folder::kZipArchive, dir / L"a.zip");
    folder::PaneLocation shell = At(folder::kShellFolder, dir.Path());
    ASSERT_TRUE(Touch(zip.path));
    ASSERT_TRUE(platform::GetLastWriteTime(zip.path, &zip.archiveTime));
    folder::ChangeWatch watch;
    const folder::PaneLocation* folders[2] = {&fs, &fs};
    folder::WatchFolders(watch, folders);
    ASSERT_TRUE(watch.handles[0] && watch.handles[1]);
    const folder::PaneLocation* moved[2] = {&zip, &shell};
    folder::WatchFolders(watch, moved);
    EXPECT_FALSE(watch.handles[0]) << "archive";
    EXPECT_FALSE(watch.handles[1]) << "shell folder";

    // A check of a pane showing something else ends a handle left from its folder too.
    folder::WatchFolders(watch, folders);
    EXPECT_FALSE(folder::CheckFolderChanged(watch, 0, zip));
    EXPECT_FALSE(folder::CheckFolderChanged(watch, 1, shell));
    EXPECT_FALSE(watch.handles[0]);
    EXPECT_FALSE(watch.handles[1]);

    folder::WatchFolders(watch, folders);
    folder::PaneLoaded(watch, 0, zip);
    folder::PaneLoaded(watch, 1, shell);
    EXPECT_FALSE(watch.handles[0]);
    EXPECT_FALSE(watch.handles[1]);
}

TEST(ChangeWatch, AFolderLoadedWhileInactiveIsWatchedInsteadOfTheOldOne) {
    fixtures::TempFolder dir;
    const std::wstring a = dir / L"a", b = dir / L"b";
    ASSERT_TRUE(CreateDirectoryW(a.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(b.c_str(), nullptr));
    folder::PaneLocation loc = At(folder::kFileSystemFolder, a);
    const folder::PaneLocation* panes[2] = {&loc, nullptr};
    folder::ChangeWatch watch;
    folder::WatchFolders(watch, panes);
    loc = At(folder::kFileSystemFolder, b);
    folder::PaneLoaded(watch, 0, loc);
    ASSERT_TRUE(watch.handles[0]);
    ASSERT_TRUE(Touch(b + L"\\new.jpg"));
    EXPECT_TRUE(CheckSoon(watch, 0, loc)) << "the handle watches the new folder, not the old";

    // Once active again, a load arms nothing.
    folder::EndWatch(watch);
    folder::PaneLoaded(watch, 0, loc);
    EXPECT_FALSE(watch.handles[0]);
}

} // namespace
