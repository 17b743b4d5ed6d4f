// Delete, rename, new folder and comment editing against real files, with the real broker answering
// the admissions and the shell doing the work (deleted files land in the test trash, whose
// freedesktop folder XDG_DATA_HOME names under Wine).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/broker_win.h"
#include "app/messages.h"
#include "app/program_state_win.h"
#include "common/path.h"
#include "common/platform.h"
#include "fileops/comment_edit_win.h"
#include "fileops/delete_rename_win.h"
#include "fileops/new_folder_win.h"
#include "image/jpeg.h"
#include "image/png.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/harness/win_harness.h"
#include "tests/image/png_fixtures.h"
#include "tests/thumbs/photo_fixtures.h"

namespace {

using fileops::NameAnswer;
using Bytes = std::vector<uint8_t>;

Bytes FileBytes(const std::wstring& path) { return fixtures::ReadWholeFile(path); }

bool SaveBytes(const std::wstring& path, const Bytes& bytes) {
    platform::File f;
    return f.Open(path, platform::OpenMode::CreateAlways) && f.Write(bytes.data(), bytes.size()) == bytes.size();
}

std::vector<std::wstring> Names(const std::wstring& folder) {
    std::vector<std::wstring> names;
    platform::ListFolder(folder, L"*", [&](const platform::FolderEntry& e) {
        names.push_back(e.name);
        return true;
    });
    std::sort(names.begin(), names.end());
    return names;
}

// The files of the test trash, or none when this run has no private trash.
std::vector<std::wstring> TrashedFiles() {
    std::vector<std::wstring> files;
    const char* home = std::getenv("XDG_DATA_HOME");
    if (!home || !*home)
        return files;
    std::wstring folder = L"Z:" + platform::Utf8ToWide(home) + L"/Trash/files";
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    for (const std::wstring& name : Names(folder))
        files.push_back(paths::Join(folder, name));
    return files;
}

bool InTrash(const Bytes& bytes) {
    for (const std::wstring& f : TrashedFiles())
        if (FileBytes(f) == bytes)
            return true;
    return false;
}

bool TrashAvailable() { return std::getenv("XDG_DATA_HOME") != nullptr; }

// Everything of `before` outside one span is in `after` unchanged, in place: the edit touched one
// record only.
bool OnlyOneSpanDiffers(const Bytes& before, const Bytes& after) {
    size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return prefix + suffix == before.size() || prefix + suffix == after.size();
}

Bytes Pixels(const image::DecodedImage& d) {
    const auto& h = d.info.header;
    const size_t stride = ((static_cast<size_t>(h.width) * h.bit_count + 31) / 32) * 4;
    const size_t rows = static_cast<size_t>(h.height < 0 ? -h.height : h.height);
    return d.pixels ? Bytes(d.pixels, d.pixels + stride * rows) : Bytes();
}

Bytes JpegPixels(const std::wstring& path) {
    image::JpegContext ctx;
    image::DecodedImage d;
    return image::JpegDecodeFromFile(ctx, path, d) ? Pixels(d) : Bytes();
}

Bytes PngPixels(const std::wstring& path) {
    image::PngContext ctx;
    image::DecodedImage d;
    return image::PngDecodeFromFile(ctx, path, d) ? Pixels(d) : Bytes();
}

fileops::AskNewName Answer(const std::wstring& name, int* asked = nullptr) {
    return [name, asked](std::wstring* typed) {
        if (asked)
            ++*asked;
        *typed = name;
        return NameAnswer::kOk;
    };
}

class FileOps : public ::testing::Test {
  protected:
    void SetUp() override {
        static app::Program* program = [] {
            auto* p = new app::Program;
            p->instance = GetModuleHandleW(nullptr);
            app::SetTheProgram(p);
            return p;
        }();
        ASSERT_TRUE(app::StartBrokerThread(&program->routing, broker_));
    }
    void TearDown() override {
        EXPECT_TRUE(broker_.Stop(5000, msg::kBrokerQuit));
        app::TheProgram().routing.broker.store(nullptr);
    }
    fileops::Outcome DeleteInPane(location::LocationKind kind, bool recycleBin, std::vector<std::wstring> paths,
                                  bool finished = true) {
        fileops::PaneDelete d;
        d.kind = kind;
        d.recycleBin = recycleBin;
        d.loadFinished = finished;
        d.paths = std::move(paths);
        return fileops::DeletePaneItems(nullptr, d);
    }

    win::MessageWorker broker_;
    fixtures::TempFolder folder_;
};

TEST_F(FileOps, TheTreeGuardRefusesDriveRootsSystemFoldersTheDesktopAndMissingPaths) {
    int asked = 0;
    std::wstring renamed;
    wchar_t desktop[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop)));
    CreateDirectoryW(desktop, nullptr);
    for (const std::wstring& path : {std::wstring(L"C:\\"), std::wstring(L"C:"), std::wstring(desktop),
                                    std::wstring(desktop) + L"\\", folder_ / L"missing"}) {
        EXPECT_EQ(fileops::RenameTreeItem(nullptr, path, false, Answer(L"x", &asked), &renamed).error, 30013u)
            << platform::WideToUtf8(path);
        EXPECT_EQ(fileops::DeleteTreeItem(nullptr, path + L"\\nothing-here").error, 30013u);
        EXPECT_FALSE(fileops::TreeItemOffersChanges(path)) << platform::WideToUtf8(path);
    }
    EXPECT_EQ(asked, 0) << "the name dialog opens only for an admitted item";
    EXPECT_TRUE(platform::FolderExists(desktop));

    const std::wstring system = folder_ / L"system";
    ASSERT_TRUE(CreateDirectoryW(system.c_str(), nullptr));
    ASSERT_TRUE(SetFileAttributesW(system.c_str(), FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(fileops::DeleteTreeItem(nullptr, system).error, 30013u);
    EXPECT_TRUE(platform::FolderExists(system));
    SetFileAttributesW(system.c_str(), FILE_ATTRIBUTE_NORMAL);

    // An ordinary folder is offered, and deleted.
    const std::wstring plain = folder_ / L"plain";
    ASSERT_TRUE(CreateDirectoryW(plain.c_str(), nullptr));
    EXPECT_TRUE(fileops::TreeItemOffersChanges(plain));
    EXPECT_TRUE(fileops::DeleteTreeItem(nullptr, plain).done);
    EXPECT_FALSE(platform::FolderExists(plain));
}

TEST_F(FileOps, TreeRenameKeepsAnArchivesExtensionAndNewFolderNamesTheTypedFolder) {
    const Bytes zip = {'P', 'K', 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(SaveBytes(folder_ / L"album.zip", zip));
    std::wstring now;
    fileops::Outcome o = fileops::RenameTreeItem(nullptr, folder_ / L"album.zip", true, Answer(L"trip"), &now);
    EXPECT_TRUE(o.done);
    EXPECT_EQ(now, folder_ / L"trip.zip");
    EXPECT_EQ(FileBytes(folder_ / L"trip.zip"), zip);
    EXPECT_FALSE(platform::PathExists(folder_ / L"album.zip"));

    // An empty name renames nothing.
    o = fileops::RenameTreeItem(nullptr, folder_ / L"trip.zip", true, Answer(L""), &now);
    EXPECT_FALSE(o.done);
    EXPECT_EQ(o.error, 0u);
    EXPECT_TRUE(platform::PathExists(folder_ / L"trip.zip"));

    std::wstring made;
    o = fileops::NewFolderIn(folder_.Path(), Answer(L"Summer"), &made);
    EXPECT_TRUE(o.done);
    EXPECT_TRUE(platform::FolderExists(folder_ / L"Summer"));
    o = fileops::NewFolderIn(folder_.Path(), Answer(L"Summer"), &made);
    EXPECT_EQ(o.error, 30007u) << "the folder exists already";
    o = fileops::NewFolderIn(
        folder_.Path(), [](std::wstring*) { return NameAnswer::kNoTemplate; }, &made);
    EXPECT_EQ(o.error, 30007u) << "no dialog template";
    o = fileops::NewFolderIn(
        folder_.Path(), [](std::wstring*) { return NameAnswer::kCancel; }, &made);
    EXPECT_FALSE(o.done);
    EXPECT_EQ(o.error, 0u);
    EXPECT_EQ(Names(folder_.Path()), (std::vector<std::wstring>{L"Summer", L"trip.zip"}));
}

TEST_F(FileOps, PaneRenameNeverChangesTheExtensionNorReplacesAFile) {
    const std::wstring photo = folder_ / L"photo.jpg";
    ASSERT_TRUE(photos::WriteJpeg(photo, 64, 48, 1));
    const Bytes bytes = FileBytes(photo);
    std::wstring now;
    EXPECT_TRUE(fileops::RenamePaneItem(nullptr, 0, photo, Answer(L"holiday"), &now).done);
    EXPECT_EQ(now, folder_ / L"holiday.jpg");
    EXPECT_TRUE(fileops::RenamePaneItem(nullptr, 0, now, Answer(L"holiday.png"), &now).done);
    EXPECT_EQ(now, folder_ / L"holiday.png.jpg");
    EXPECT_EQ(FileBytes(now), bytes);

    // An empty name renames nothing; a name that would move the file is never asked of the shell.
    for (const wchar_t* typed : {L"", L"..\\away"}) {
        const fileops::Outcome o = fileops::RenamePaneItem(nullptr, 0, now, Answer(typed), &now);
        EXPECT_FALSE(o.done);
        EXPECT_EQ(o.error, 0u);
    }
    EXPECT_EQ(Names(folder_.Path()), std::vector<std::wstring>{L"holiday.png.jpg"});

    // The other file of the target name stays as it was, and so does the renamed one.
    const std::wstring other = folder_ / L"taken.jpg";
    ASSERT_TRUE(photos::WriteJpeg(other, 32, 32, 2));
    const Bytes otherBytes = FileBytes(other);
    EXPECT_FALSE(fileops::RenamePaneItem(nullptr, 0, now, Answer(L"taken"), &now).done);
    EXPECT_EQ(FileBytes(other), otherBytes);
    EXPECT_EQ(FileBytes(folder_ / L"holiday.png.jpg"), bytes);
}

TEST_F(FileOps, PaneDeleteRecyclesTheSelectionOnlyInAFinishedFolderListing) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < 3; ++i) {
        paths.push_back(folder_ / (L"p" + std::to_wstring(i) + L".jpg"));
        ASSERT_TRUE(photos::WriteJpeg(paths.back(), 40 + i, 30, 10 + static_cast<uint32_t>(i)));
    }
    const Bytes first = FileBytes(paths[0]);
    const std::vector<std::wstring> two = {paths[0], paths[1]};
    for (location::LocationKind kind : {location::kZipArchive, location::kRarArchive, location::kPluginArchive})
        EXPECT_EQ(DeleteInPane(kind, false, two).error, 30013u);
    EXPECT_EQ(DeleteInPane(location::kShellFolder, true, two).error, 30013u) << "recycle bin view";
    EXPECT_EQ(DeleteInPane(location::kFileSystemFolder, false, two, false).error, 30013u) << "load running";
    EXPECT_EQ(Names(folder_.Path()).size(), 3u);

    const fileops::Outcome o = DeleteInPane(location::kFileSystemFolder, false, two);
    EXPECT_TRUE(o.done);
    EXPECT_EQ(Names(folder_.Path()), std::vector<std::wstring>{L"p2.jpg"});
    if (TrashAvailable()) {
        EXPECT_TRUE(InTrash(first)) << "deleted to the recycle bin";
    }
}

class CommentEdit : public FileOps {};

TEST_F(CommentEdit, AJpegGetsItsCommentWithPixelsAndOtherBytesUnchangedAndTheOldVersionRecycled) {
    const std::wstring path = folder_ / L"beach.jpg";
    ASSERT_TRUE(photos::WriteJpeg(path, 120, 80, 7));
    const Bytes before = FileBytes(path);
    const Bytes pixels = JpegPixels(path);
    ASSERT_FALSE(pixels.empty());

    fileops::CComEditJ editor;
    const std::wstring comment = L"Summer 2020\r\nBy the sea";
    fileops::CommentOutcome o = fileops::ReplaceComment(nullptr, editor, path, comment);
    ASSERT_EQ(o.written, 1);
    EXPECT_EQ(o.error, 0u);
    const Bytes after = FileBytes(path);
    EXPECT_EQ(static_cast<int64_t>(after.size()) - static_cast<int64_t>(before.size()), o.sizeDelta);
    EXPECT_TRUE(OnlyOneSpanDiffers(before, after));
    EXPECT_EQ(JpegPixels(path), pixels);
    std::wstring read;
    EXPECT_TRUE(editor.ReadComment(path, &read));
    EXPECT_EQ(read, comment);
    EXPECT_EQ(Names(folder_.Path()), std::vector<std::wstring>{L"beach.jpg"}) << "no temporary file left";
    if (TrashAvailable()) {
        EXPECT_TRUE(InTrash(before)) << "the old version went to the recycle bin";
    }

    // The same comment again: nothing to do, nothing replaced.
    o = fileops::ReplaceComment(nullptr, editor, path, comment);
    EXPECT_EQ(FileBytes(path), after);
    // Removing it gives the original bytes back.
    o = fileops::ReplaceComment(nullptr, editor, path, L"");
    EXPECT_EQ(o.written, 1);
    EXPECT_EQ(FileBytes(path), before);
}

TEST_F(CommentEdit, APngGetsItsCommentWithPixelsUnchanged) {
    testpng::Picture p;
    p.width = 9;
    p.height = 5;
    p.sample = [](uint32_t x, uint32_t y, uint32_t c) { return static_cast<uint16_t>((x * 29 + y * 7 + c * 50) & 255); };
    const std::wstring path = folder_ / L"chart.png";
    ASSERT_TRUE(SaveBytes(path, testpng::Make(p)));
    const Bytes before = FileBytes(path);
    const Bytes pixels = PngPixels(path);
    ASSERT_FALSE(pixels.empty());

    fileops::CComEditP editor;
    const fileops::CommentOutcome o = fileops::ReplaceComment(nullptr, editor, path, L"Sales, 2024");
    ASSERT_EQ(o.written, 1);
    EXPECT_TRUE(OnlyOneSpanDiffers(before, FileBytes(path)));
    EXPECT_EQ(PngPixels(path), pixels);
    std::wstring read;
    EXPECT_TRUE(editor.ReadComment(path, &read));
    EXPECT_EQ(read, L"Sales, 2024");
}

TEST_F(CommentEdit, ATooLongCommentOrAReadOnlyLockedOrMissingFileLeavesEverythingAsItWas) {
    const std::wstring path = folder_ / L"keep.jpg";
    ASSERT_TRUE(photos::WriteJpeg(path, 50, 40, 3));
    const Bytes before = FileBytes(path);
    fileops::CComEditJ editor;
    auto unchanged = [&](const char* what) {
        EXPECT_EQ(FileBytes(path), before) << what;
        EXPECT_EQ(Names(folder_.Path()), std::vector<std::wstring>{L"keep.jpg"}) << what;
    };

    // The writers keep 4,095 bytes: one more would be cut off silently. CR bytes are not stored.
    const std::wstring longest(fileops::kMaxCommentBytes, L'x');
    EXPECT_TRUE(fileops::CommentFits(longest + L"\r"));
    fileops::CommentOutcome o = fileops::ReplaceComment(nullptr, editor, path, longest + L"x");
    EXPECT_EQ(o.error, 50003u);
    unchanged("too long");

    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    o = fileops::ReplaceComment(nullptr, editor, path, L"new");
    EXPECT_EQ(o.error, 50003u);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    unchanged("read-only");

    {
        win::Handle lock(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        o = fileops::ReplaceComment(nullptr, editor, path, L"new");
        EXPECT_EQ(o.error, 50003u);
    }
    unchanged("locked");

    o = fileops::ReplaceComment(nullptr, editor, folder_ / L"gone.jpg", L"new");
    EXPECT_EQ(o.error, 50003u);
    unchanged("gone");

    // The longest comment that fits is written whole.
    o = fileops::ReplaceComment(nullptr, editor, path, longest);
    EXPECT_EQ(o.written, 1);
    std::wstring read;
    EXPECT_TRUE(editor.ReadComment(path, &read));
    EXPECT_EQ(read, longest);
}

} // namespace
