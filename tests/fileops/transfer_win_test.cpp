// Items handed to a folder through the real shell and the real archive reader.
#include "fileops/transfer_win.h"

#include <gtest/gtest.h>

#include "common/platform.h"
#include "tests/archive/zip_fixtures.h"
#include "tests/fixtures/byte_writer.h"

namespace {

bool Write(const std::wstring& path, const std::string& text) {
    fixtures::ByteWriter w;
    w.Ascii(text);
    return w.SaveTo(path);
}

std::string Read(const std::wstring& path) {
    const std::vector<uint8_t> bytes = fixtures::ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

fileops::TransferItem Item(const std::wstring& path, const std::wstring& name) {
    fileops::TransferItem i;
    i.path = path;
    i.name = name;
    return i;
}

} // namespace

// Recycled files are stored under made-up names; copied out, each gets the name it had, and a name
// from damaged bookkeeping cannot lead the copy out of the target folder.
TEST(Transfer, RecycledFilesComeBackUnderTheirFormerNames) {
    fixtures::TempFolder bin, target;
    ASSERT_TRUE(Write(bin / L"$RX1A2B3.jpg", "beach"));
    ASSERT_TRUE(Write(bin / L"$RQ9Z8Y7.png", "tower"));
    ASSERT_TRUE(Write(bin / L"$RMMMMMM.jpg", "climber"));
    fileops::Transfer t;
    t.source = fileops::TransferSource::RecycleBin;
    t.move = true; // a drag from the bin only ever copies
    t.items = {Item(bin / L"$RX1A2B3.jpg", L"Beach day.jpg"), Item(bin / L"$RQ9Z8Y7.png", L"tower.png")};
    t.targetFolder = target.Path();
    ASSERT_TRUE(fileops::TransferToFolder(nullptr, t));
    EXPECT_EQ(Read(target / L"Beach day.jpg"), "beach");
    EXPECT_EQ(Read(target / L"tower.png"), "tower");
    EXPECT_TRUE(platform::PathExists(bin / L"$RX1A2B3.jpg"));
    EXPECT_TRUE(platform::PathExists(bin / L"$RQ9Z8Y7.png"));

    t.items = {Item(bin / L"$RMMMMMM.jpg", L"..\\..\\climb.jpg")};
    const fileops::ShellOperation op = fileops::PlanShellTransfer(t, L"m", L"c");
    ASSERT_EQ(op.targets.size(), 1u);
    EXPECT_EQ(op.operation, static_cast<UINT>(FO_COPY));
    EXPECT_EQ(op.targets[0], target / L".._.._climb.jpg") << "the displayed name is one cleaned component";
}

TEST(Transfer, FolderItemsMoveOrCopyIntoTheTarget) {
    fixtures::TempFolder source, target;
    for (const wchar_t* name : {L"a.jpg", L"b.jpg", L"c.jpg"})
        ASSERT_TRUE(Write(source / name, "x"));
    fileops::Transfer t;
    t.items = {Item(source / L"a.jpg", L"a.jpg"), Item(source / L"b.jpg", L"b.jpg")};
    t.targetFolder = target.Path();
    t.move = true;
    ASSERT_TRUE(fileops::TransferToFolder(nullptr, t));
    EXPECT_FALSE(platform::PathExists(source / L"a.jpg"));
    EXPECT_FALSE(platform::PathExists(source / L"b.jpg"));
    EXPECT_TRUE(platform::PathExists(target / L"a.jpg"));
    EXPECT_TRUE(platform::PathExists(target / L"b.jpg"));

    t.items = {Item(source / L"c.jpg", L"c.jpg")};
    t.move = false;
    ASSERT_TRUE(fileops::TransferToFolder(nullptr, t));
    EXPECT_TRUE(platform::PathExists(source / L"c.jpg"));
    EXPECT_TRUE(platform::PathExists(target / L"c.jpg"));

    // A file that vanished in the meantime is a failure, not a success.
    t.items = {Item(source / L"gone.jpg", L"gone.jpg")};
    EXPECT_FALSE(fileops::TransferToFolder(nullptr, t));
}

// Members are written beside whatever is there (never over it) and the archive stays as it was.
TEST(Transfer, ArchiveMembersAreExtractedNeverMoved) {
    fixtures::TempFolder folder, target;
    const testzip::Zip zip = testzip::Make({{"trip/one.jpg", testzip::Text("first member")},
                                            {"two.jpg", testzip::Text("second member"), 0}});
    const std::wstring archive = folder / L"photos.zip";
    ASSERT_TRUE(zip.bytes.SaveTo(archive));
    ASSERT_TRUE(Write(target / L"two.jpg", "already here"));
    fileops::Transfer t;
    t.source = fileops::TransferSource::Archive;
    t.archiveKind = location::kZipArchive;
    t.archivePath = archive;
    t.move = true;
    fileops::TransferItem one = Item(L"trip\\", L"one.jpg");
    one.locator = zip.locators[0];
    fileops::TransferItem two = Item(L"", L"two.jpg");
    two.locator = zip.locators[1];
    t.items = {one, two};
    t.targetFolder = target.Path();
    EXPECT_TRUE(fileops::PlanShellTransfer(t, L"m", L"c").sources.empty());
    ASSERT_TRUE(fileops::TransferToFolder(nullptr, t));
    EXPECT_EQ(Read(target / L"one.jpg"), "first member");
    EXPECT_EQ(Read(target / L"two.jpg"), "already here");
    EXPECT_EQ(Read(target / L"two+1.jpg"), "second member");
    EXPECT_EQ(fixtures::ReadWholeFile(archive), zip.bytes.Data());

    // Nothing written is no success.
    t.items[0].locator = t.items[1].locator = 12345;
    fixtures::TempFolder empty;
    t.targetFolder = empty.Path();
    EXPECT_FALSE(fileops::TransferToFolder(nullptr, t));
}
