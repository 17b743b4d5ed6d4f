#include "folder/recycle_bin.h"

#include <gtest/gtest.h>

#include "tests/fixtures/byte_writer.h"

namespace {

using folder::ArchiveEntry;
using folder::ArchiveListing;

constexpr platform::FileTime kDeleted = 133100000000000000ULL;
constexpr platform::FileTime kShellTime = 130000000000000000ULL;

ArchiveEntry Recycled(const fixtures::TempFolder& dir, const std::wstring& name) {
    ArchiveEntry e;
    e.name = name;
    e.folder = dir / name;
    e.time = kShellTime;
    return e;
}

// One INFO2 record: number, drive, deletion time and the UTF-16 original path.
void Info2Record(fixtures::ByteWriter& w, uint32_t number, uint32_t drive, platform::FileTime time,
                 const std::wstring& path) {
    const size_t start = w.Size();
    w.Fill(260, 'x').U32LE(number).U32LE(drive).U64LE(time).U32LE(1234);
    w.Utf16LE(path).U16LE(0);
    w.Fill(start + 800 - w.Size());
}

TEST(RecycleBinInfo2, RecordsGiveOriginalNamesAndDeletionTimes) {
    fixtures::TempFolder dir;
    fixtures::ByteWriter info;
    info.Fill(20, 0);
    Info2Record(info, 12, 2, kDeleted, L"C:\\photos\\cat.jpg");
    Info2Record(info, 3, 3, kDeleted + 1, L"D:\\dog.png");
    Info2Record(info, 4, 2, kDeleted + 2, L"nobackslash.gif");
    info.Fill(100, 0); // a cut final record is skipped
    ASSERT_TRUE(info.SaveTo(dir / L"INFO2"));

    ArchiveListing listing;
    listing.entries = {Recycled(dir, L"Dc12.jpg"), Recycled(dir, L"DD3.PNG"), Recycled(dir, L"dc4.gif"),
                       Recycled(dir, L"Dc1.jpg"), Recycled(dir, L"Dc123.jpg")};
    folder::CompleteRecycleBinListing(listing, 1);
    EXPECT_EQ(listing.entries[0].name, L"cat.jpg");
    EXPECT_EQ(listing.entries[0].time, kDeleted);
    EXPECT_EQ(listing.entries[1].name, L"dog.png") << "stems compare with ASCII case folding";
    EXPECT_EQ(listing.entries[2].name, L"nobackslash.gif") << "a path without a folder is the name";
    EXPECT_EQ(listing.entries[3].name, L"Dc1.jpg") << "no record: unchanged";
    EXPECT_EQ(listing.entries[3].time, kShellTime);
    EXPECT_EQ(listing.entries[4].name, L"Dc123.jpg") << "Dc12 must not match Dc123";
    EXPECT_EQ(listing.entries[0].folder, dir / L"Dc12.jpg") << "decoding keeps the recycled file's path";
}

TEST(RecycleBinInfo2, MissingOrDamagedFileChangesNothing) {
    fixtures::TempFolder dir;
    ArchiveListing listing;
    listing.entries = {Recycled(dir, L"Dc12.jpg")};
    folder::CompleteFromInfo2(listing);
    EXPECT_EQ(listing.entries[0].name, L"Dc12.jpg");

    fixtures::ByteWriter info;
    info.Fill(20, 0);
    Info2Record(info, 12, 0xFFFFFFFF, kDeleted, L"C:\\x.jpg"); // no such drive
    ASSERT_TRUE(info.SaveTo(dir / L"INFO2"));
    folder::CompleteFromInfo2(listing);
    EXPECT_EQ(listing.entries[0].name, L"Dc12.jpg");
    EXPECT_EQ(listing.entries[0].time, kShellTime);

    // A record whose UTF-16 path fills all 260 units without a terminator stays within the record.
    fixtures::ByteWriter full;
    full.Fill(20, 0).Fill(260, 'x').U32LE(12).U32LE(2).U64LE(kDeleted).U32LE(0);
    for (int i = 0; i < 260; ++i)
        full.U16LE(L'a');
    ASSERT_TRUE(full.SaveTo(dir / L"INFO2"));
    folder::CompleteFromInfo2(listing);
    EXPECT_EQ(listing.entries[0].name, std::wstring(260, L'a'));
}

TEST(RecycleBinCompanions, VersionOneAndTwoFilesGiveNames) {
    fixtures::TempFolder dir;
    fixtures::ByteWriter v1;
    v1.U64LE(1).U64LE(5000).U64LE(kDeleted).Utf16LE(L"C:\\Users\\me\\Pictures\\beach.jpg").U16LE(0);
    v1.Fill(544 - v1.Size());
    ASSERT_TRUE(v1.SaveTo(dir / L"$IAB12CD.jpg"));

    const std::wstring longPath = L"C:\\" + std::wstring(300, L'p') + L"\\sunset.png";
    fixtures::ByteWriter v2;
    v2.U64LE(2).U64LE(5000).U64LE(kDeleted + 7).U32LE(static_cast<uint32_t>(longPath.size() + 1));
    v2.Utf16LE(longPath).U16LE(0);
    ASSERT_TRUE(v2.SaveTo(dir / L"$IXY.png"));

    fixtures::ByteWriter shortV1;
    shortV1.U64LE(1).U64LE(1).U64LE(kDeleted).Utf16LE(L"C:\\short.jpg").U16LE(0);
    ASSERT_TRUE(shortV1.SaveTo(dir / L"$ISHORT.jpg"));

    ArchiveListing listing;
    listing.entries = {Recycled(dir, L"$RAB12CD.jpg"), Recycled(dir, L"$RXY.png"), Recycled(dir, L"$RSHORT.jpg"),
                       Recycled(dir, L"$RNONE.jpg"), Recycled(dir, L"desktop.ini")};
    folder::CompleteRecycleBinListing(listing, 5);
    EXPECT_EQ(listing.entries[0].name, L"beach.jpg");
    EXPECT_EQ(listing.entries[0].time, kDeleted);
    EXPECT_EQ(listing.entries[1].name, L"sunset.png") << "later systems count the path's units";
    EXPECT_EQ(listing.entries[1].time, kDeleted + 7);
    EXPECT_EQ(listing.entries[2].name, L"$RSHORT.jpg") << "a version-1 file under 544 bytes is unreadable";
    EXPECT_EQ(listing.entries[3].name, L"$RNONE.jpg");
    EXPECT_EQ(listing.entries[4].name, L"desktop.ini");
    EXPECT_EQ(listing.entries[0].folder, dir / L"$RAB12CD.jpg") << "the R is put back";
}

TEST(RecycleBinCompanions, HostileCountsAreRefused) {
    fixtures::TempFolder dir;
    fixtures::ByteWriter huge;
    huge.U64LE(2).U64LE(0).U64LE(kDeleted).U32LE(0xFFFFFFFF).Utf16LE(L"C:\\a.jpg");
    ASSERT_TRUE(huge.SaveTo(dir / L"$IA.jpg"));
    fixtures::ByteWriter past;
    past.U64LE(2).U64LE(0).U64LE(kDeleted).U32LE(100).Utf16LE(L"C:\\b.jpg");
    ASSERT_TRUE(past.SaveTo(dir / L"$IB.jpg"));
    ArchiveListing listing;
    listing.entries = {Recycled(dir, L"$RA.jpg"), Recycled(dir, L"$RB.jpg")};
    folder::CompleteFromCompanionFiles(listing);
    EXPECT_EQ(listing.entries[0].name, L"$RA.jpg");
    EXPECT_EQ(listing.entries[1].name, L"$RB.jpg") << "a count past the end of the file";
}

} // namespace
