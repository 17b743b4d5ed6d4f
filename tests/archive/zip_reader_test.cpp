#include "archive/zip_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/crc32.h"
#include "tests/archive/zip_fixtures.h"
#include "tests/fixtures/byte_writer.h"

namespace {

using location::ArchiveListing;
using testzip::Bytes;
using testzip::Member;
using testzip::Text;

class ZipReader : public ::testing::Test {
  protected:
    std::wstring Save(const fixtures::ByteWriter& bytes) {
        const std::wstring path = folder_ / (L"a" + std::to_wstring(++saved_) + L".zip");
        EXPECT_TRUE(bytes.SaveTo(path));
        return path;
    }
    std::wstring Save(const Bytes& raw) {
        fixtures::ByteWriter w;
        w.Bytes(raw);
        return Save(w);
    }
    bool List(const fixtures::ByteWriter& bytes, ArchiveListing* listing) {
        return archive::ListZipArchive(Save(bytes), listing);
    }
    archive::ZipEndRecord End(const fixtures::ByteWriter& bytes) {
        platform::File file;
        EXPECT_TRUE(file.Open(Save(bytes), platform::OpenMode::ReadShared));
        return archive::FindEndRecord(file);
    }
    // The member's bytes, or nothing; checks the block's shape on success.
    bool Extract(const std::wstring& path, uint32_t locator, Bytes* out) {
        platform::PageBlock block;
        uint32_t size = 123;
        if (!archive::ExtractZipEntry(path, locator, &block, &size)) {
            EXPECT_FALSE(block);
            EXPECT_EQ(size, 0u);
            return false;
        }
        EXPECT_TRUE(block);
        EXPECT_GE(block.Size(), size_t{size} + 4);
        const uint8_t zeros[4] = {};
        EXPECT_EQ(std::memcmp(block.Get() + size, zeros, 4), 0) << "the spare bytes are zero";
        out->assign(block.Get(), block.Get() + size);
        return true;
    }

    fixtures::TempFolder folder_;
    int saved_ = 0;
};

Member Stored(const std::string& name, const std::string& text) {
    Member m;
    m.name = name;
    m.data = Text(text);
    m.method = 0;
    return m;
}

Member Deflated(const std::string& name, const Bytes& data) {
    Member m;
    m.name = name;
    m.data = data;
    return m;
}

Bytes Pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>((i * 7) ^ (i >> 5));
    return b;
}

// --- finding the end record ---

TEST_F(ZipReader, EndRecordWithoutCommentIsTheLastBytes) {
    testzip::Zip zip = testzip::Make({Stored("a.jpg", "x"), Stored("b.jpg", "y")});
    const archive::ZipEndRecord end = End(zip.bytes);
    EXPECT_EQ(end.count, 2);
    EXPECT_EQ(end.directoryOffset, zip.directoryOffset);
}

TEST_F(ZipReader, EndRecordBeforeACommentIsFoundBySearching) {
    for (size_t length : {size_t{1}, size_t{3}, size_t{200}, size_t{65535}}) {
        testzip::Zip zip = testzip::Make({Stored("a.jpg", "x")}, std::string(length, 'c'));
        const archive::ZipEndRecord end = End(zip.bytes);
        EXPECT_EQ(end.count, 1) << length;
        EXPECT_EQ(end.directoryOffset, zip.directoryOffset) << length;
    }
}

TEST_F(ZipReader, SignatureInTheCommentNearerTheEndWins) {
    // The copy in the comment points at the second directory header only.
    testzip::Zip probe = testzip::Make({Stored("real.jpg", "1"), Stored("fake.jpg", "2")});
    fixtures::ByteWriter fake;
    fake.U32LE(0x06054B50).U16LE(0).U16LE(0).U16LE(1).U16LE(1).U32LE(0).U32LE(probe.directory[1]).U16LE(0);
    const std::string comment = "xx" + std::string(fake.Data().begin(), fake.Data().end()) + "y";
    testzip::Zip zip = testzip::Make({Stored("real.jpg", "1"), Stored("fake.jpg", "2")}, comment);
    ArchiveListing listing;
    ASSERT_TRUE(List(zip.bytes, &listing));
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(listing.entries[0].name, L"fake.jpg");
}

TEST_F(ZipReader, FilesThatAreNotArchivesListAsNothing) {
    ArchiveListing listing;
    EXPECT_FALSE(archive::ListZipArchive(folder_ / L"missing.zip", &listing));
    EXPECT_FALSE(archive::ListZipArchive(Save(Bytes{}), &listing));
    EXPECT_FALSE(archive::ListZipArchive(Save(Text("PK\x05\x06")), &listing)) << "shorter than a record";
    EXPECT_FALSE(archive::ListZipArchive(Save(Pattern(100000)), &listing));
    testzip::Zip empty = testzip::Make({});
    EXPECT_EQ(End(empty.bytes).count, 0);
    EXPECT_FALSE(List(empty.bytes, &listing)) << "an empty archive is no listing";
    EXPECT_TRUE(listing.entries.empty());
}

// --- listing ---

TEST_F(ZipReader, ListsNamesFoldersSizesTimesAndLocators) {
    testzip::Zip zip = testzip::Make({Deflated("a/b/c.jpg", Pattern(5000)), Stored("c.jpg", "hi"),
                                      Stored("a/b/", ""), Stored("x\\y.png", "z")});
    const std::wstring path = Save(zip.bytes);
    ArchiveListing listing;
    ASSERT_TRUE(archive::ListZipArchive(path, &listing));
    ASSERT_EQ(listing.entries.size(), 4u);
    const wchar_t* names[] = {L"c.jpg", L"c.jpg", L"", L"y.png"};
    const wchar_t* folders[] = {L"a\\b\\", L"", L"a\\b\\", L"x\\"};
    const uint32_t sizes[] = {5000, 2, 0, 1};
    platform::FileTime noon = 0;
    ASSERT_TRUE(platform::DosDateTimeToUtc(testzip::kJune15th2020, testzip::kNoon, &noon));
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(listing.entries[i].name, names[i]) << i;
        EXPECT_EQ(listing.entries[i].folder, folders[i]) << i;
        EXPECT_EQ(listing.entries[i].size, sizes[i]) << i;
        EXPECT_EQ(listing.entries[i].locator, zip.locators[i]) << i;
        EXPECT_EQ(listing.entries[i].time, noon) << i;
    }
    platform::FileTime fileTime = 0;
    ASSERT_TRUE(platform::GetLastWriteTime(path, &fileTime));
    EXPECT_EQ(listing.archiveTime, fileTime);
}

TEST_F(ZipReader, DosTimesAreLocalTimeTurnedIntoUtc) {
    platform::FileTime noon = 0;
    ASSERT_TRUE(platform::DosDateTimeToUtc(testzip::kJune15th2020, testzip::kNoon, &noon));
    // 2020-06-15 12:00:00 UTC; any time zone is within 14 hours of it.
    const platform::FileTime utcNoon = (1592222400ull + 11644473600ull) * 10000000ull;
    const platform::FileTime fourteenHours = 14ull * 3600 * 10000000ull;
    EXPECT_LE(noon, utcNoon + fourteenHours);
    EXPECT_GE(noon, utcNoon - fourteenHours);
    platform::FileTime twoSecondsLater = 0;
    ASSERT_TRUE(platform::DosDateTimeToUtc(testzip::kJune15th2020, testzip::kNoon | 1, &twoSecondsLater));
    EXPECT_EQ(twoSecondsLater - noon, 20000000u);
    platform::FileTime none = 0;
    EXPECT_FALSE(platform::DosDateTimeToUtc((40 << 9) | (0 << 5) | 1, 0, &none)) << "month 0";
    EXPECT_FALSE(platform::DosDateTimeToUtc((40 << 9) | (13 << 5) | 1, 0, &none)) << "month 13";
    EXPECT_FALSE(platform::DosDateTimeToUtc(testzip::kJune15th2020, 60 << 5, &none)) << "minute 60";
}

TEST_F(ZipReader, LongNamesAreCutAndTheNextHeaderIsStillFound) {
    const std::string longName = "dir/" + std::string(400, 'n') + ".jpg";
    testzip::Zip zip = testzip::Make({Stored(longName, "1"), Stored("next.jpg", "2")});
    ArchiveListing listing;
    ASSERT_TRUE(List(zip.bytes, &listing));
    ASSERT_EQ(listing.entries.size(), 2u);
    EXPECT_EQ(listing.entries[0].folder, L"dir\\");
    EXPECT_EQ(listing.entries[0].name, std::wstring(255, L'n')) << "259 bytes kept, the folder among them";
    EXPECT_EQ(listing.entries[1].name, L"next.jpg");
    EXPECT_EQ(listing.entries[1].locator, zip.locators[1]);
}

TEST_F(ZipReader, OnlyStoredAndDeflatedMembersAreListed) {
    Member bzip = Stored("b.jpg", "b");
    bzip.method = 12;
    Member lzma = Stored("l.jpg", "l");
    lzma.method = 14;
    ArchiveListing listing;
    EXPECT_FALSE(List(testzip::Make({bzip, lzma}).bytes, &listing)) << "nothing, not an empty listing";
    ASSERT_TRUE(List(testzip::Make({bzip, Stored("s.jpg", "s"), lzma}).bytes, &listing));
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(listing.entries[0].name, L"s.jpg");
}

TEST_F(ZipReader, NamesFollowTheirCodePage) {
    Member utf8 = Stored("caf\xC3\xA9.jpg", "1");
    utf8.flags = 0x0800;
    Member ansi = Stored("caf\xE9.jpg", "2");
    Member control = Stored("a\x01\tb.jpg", "3");
    ArchiveListing listing;
    ASSERT_TRUE(List(testzip::Make({utf8, ansi, control}).bytes, &listing));
    ASSERT_EQ(listing.entries.size(), 3u);
    EXPECT_EQ(listing.entries[0].name, L"caf\u00E9.jpg");
    EXPECT_EQ(listing.entries[1].name, platform::AnsiToWide("caf\xE9.jpg"));
    EXPECT_EQ(listing.entries[2].name, L"a\x01\tb.jpg") << "kept as they are";
}

TEST_F(ZipReader, ABrokenDirectoryListsNothing) {
    testzip::Zip zip = testzip::Make({Stored("a.jpg", "1"), Stored("b.jpg", "2")});
    zip.bytes.PatchU32LE(zip.directory[1], 0x02014B51);
    ArchiveListing listing;
    EXPECT_FALSE(List(zip.bytes, &listing)) << "even though the first header was good";

    testzip::Zip pastEnd = testzip::Make({Stored("a.jpg", "1")});
    pastEnd.bytes.PatchU32LE(pastEnd.bytes.Size() - 6, 0x7FFFFF00);
    EXPECT_FALSE(List(pastEnd.bytes, &listing)) << "directory beyond the file";

    testzip::Zip tooMany = testzip::Make({Stored("a.jpg", "1")});
    tooMany.bytes.PatchU16LE(tooMany.bytes.Size() - 14, 2);
    EXPECT_FALSE(List(tooMany.bytes, &listing)) << "count larger than the directory";
}

// --- extraction ---

TEST_F(ZipReader, ExtractsStoredAndDeflatedMembers) {
    const Bytes big = Pattern(300000);
    Member withTime = Stored("t.txt", "timed");
    withTime.time = testzip::kNoon | (30 << 5);
    testzip::Zip zip = testzip::Make({Deflated("big.bmp", big), Stored("s.txt", "stored text"), withTime});
    const std::wstring path = Save(zip.bytes);
    Bytes out;
    ASSERT_TRUE(Extract(path, zip.locators[0], &out));
    EXPECT_EQ(out, big);
    ASSERT_TRUE(Extract(path, zip.locators[1], &out));
    EXPECT_EQ(out, Text("stored text"));

    platform::File file;
    ASSERT_TRUE(file.Open(path, platform::OpenMode::ReadShared));
    platform::PageBlock block;
    uint32_t size = 0;
    platform::FileTime time = 0, expected = 0;
    ASSERT_TRUE(archive::ExtractZipEntry(file, zip.locators[2], &block, &size, &time));
    ASSERT_TRUE(platform::DosDateTimeToUtc(testzip::kJune15th2020, withTime.time, &expected));
    EXPECT_EQ(time, expected);
    EXPECT_EQ(Bytes(block.Get(), block.Get() + size), Text("timed"));
}

TEST_F(ZipReader, EmptyMembersExtractToEmptyBlocks) {
    testzip::Zip zip = testzip::Make({Stored("empty.jpg", ""), Deflated("empty2.jpg", {})});
    const std::wstring path = Save(zip.bytes);
    Bytes out = {1};
    ASSERT_TRUE(Extract(path, zip.locators[0], &out));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(Extract(path, zip.locators[1], &out));
    EXPECT_TRUE(out.empty());
}

TEST_F(ZipReader, DataDescriptorMembersTakeTheirSizesFromTheDirectory) {
    Member deflated = Deflated("d.jpg", Pattern(7000));
    deflated.descriptor = true;
    Member stored = Stored("s.jpg", "descriptor");
    stored.descriptor = true;
    testzip::Zip zip = testzip::Make({deflated, stored}, "with a comment");
    const std::wstring path = Save(zip.bytes);
    Bytes out;
    ASSERT_TRUE(Extract(path, zip.locators[0], &out));
    EXPECT_EQ(out, Pattern(7000));
    ASSERT_TRUE(Extract(path, zip.locators[1], &out));
    EXPECT_EQ(out, Text("descriptor"));

    // No directory header for the member: nothing.
    testzip::Zip orphan = testzip::Make({deflated});
    orphan.bytes.PatchU32LE(orphan.directory[0] + 42, 1);
    EXPECT_FALSE(Extract(Save(orphan.bytes), 0, &out));
}

TEST_F(ZipReader, DamagedMembersExtractToNothing) {
    Member badCrc = Deflated("crc.jpg", Pattern(2000));
    badCrc.crcXor = 1;
    Member badStoredCrc = Stored("crc2.jpg", "abc");
    badStoredCrc.crcXor = 0x80000000;
    Member otherMethod = Stored("m.jpg", "abc");
    otherMethod.method = 12;
    testzip::Zip zip = testzip::Make({badCrc, badStoredCrc, otherMethod, Stored("ok.jpg", "fine")});
    const std::wstring path = Save(zip.bytes);
    Bytes out;
    EXPECT_FALSE(Extract(path, zip.locators[0], &out)) << "deflated, CRC mismatch";
    EXPECT_FALSE(Extract(path, zip.locators[1], &out)) << "stored, CRC mismatch";
    EXPECT_FALSE(Extract(path, zip.locators[2], &out)) << "method 12";
    EXPECT_FALSE(Extract(path, zip.locators[3] + 1, &out)) << "not a local header";
    EXPECT_FALSE(Extract(path, static_cast<uint32_t>(zip.bytes.Size()) - 10, &out)) << "header cut by the end";
    EXPECT_FALSE(Extract(path, 0x90000000u, &out)) << "beyond a signed 32-bit position";
    EXPECT_FALSE(Extract(folder_ / L"missing.zip", 0, &out));
    EXPECT_TRUE(Extract(path, zip.locators[3], &out));
}

// Stored members are read in place from the mapped archive; everything else, and any damage, is left
// to the copying read.
TEST_F(ZipReader, StoredMembersAreViewedInPlace) {
    Member descriptor = Stored("d.jpg", "after");
    descriptor.descriptor = true;
    Member badCrc = Stored("c.jpg", "abc");
    badCrc.crcXor = 1;
    testzip::Zip zip = testzip::Make(
        {Stored("s.jpg", "in place"), Deflated("z.jpg", Pattern(3000)), descriptor, badCrc, Stored("e.jpg", "")});
    platform::MappedView view;
    ASSERT_TRUE(view.Open(Save(zip.bytes)));
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(archive::ViewStoredZipEntry(view, zip.locators[0], &data, &size));
    EXPECT_EQ(Bytes(data, data + size), Text("in place"));
    EXPECT_TRUE(data > view.Data() && data + size <= view.Data() + view.Size());
    EXPECT_FALSE(archive::ViewStoredZipEntry(view, zip.locators[1], &data, &size)) << "deflated";
    EXPECT_FALSE(archive::ViewStoredZipEntry(view, zip.locators[2], &data, &size)) << "sizes after the data";
    EXPECT_FALSE(archive::ViewStoredZipEntry(view, zip.locators[3], &data, &size)) << "CRC mismatch";
    EXPECT_EQ(data, nullptr);
    ASSERT_TRUE(archive::ViewStoredZipEntry(view, zip.locators[4], &data, &size));
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(archive::ViewStoredZipEntry(view, static_cast<uint32_t>(view.Size()) - 10, &data, &size));

    // A size that runs past the end of the file.
    testzip::Zip cut = testzip::Make({Stored("s.jpg", "in place")});
    cut.bytes.PatchU32LE(cut.locators[0] + 22, 1u << 20);
    platform::MappedView cutView;
    ASSERT_TRUE(cutView.Open(Save(cut.bytes)));
    EXPECT_FALSE(archive::ViewStoredZipEntry(cutView, 0, &data, &size));
}

TEST_F(ZipReader, TruncatedArchivesFail) {
    testzip::Zip zip = testzip::Make({Deflated("d.jpg", Pattern(20000)), Stored("s.jpg", std::string(5000, 's'))});
    for (size_t keep : {size_t{zip.locators[1]} - 100, size_t{zip.locators[1]} + 1000}) {
        fixtures::ByteWriter cut;
        cut.Bytes(zip.bytes.Data().data(), keep);
        const std::wstring path = Save(cut);
        ArchiveListing listing;
        EXPECT_FALSE(archive::ListZipArchive(path, &listing)) << keep;
        Bytes out;
        EXPECT_FALSE(Extract(path, zip.locators[keep < zip.locators[1] ? 0 : 1], &out)) << keep;
    }
}

TEST_F(ZipReader, AShortInflateNeverPassesForTheMember) {
    // The headers claim five more bytes than the stream holds, and a CRC over the data followed by
    // five zeros: the zero-filled block would match it.
    Member m = Deflated("short.jpg", Text("hello, world"));
    m.sizeDelta = 5;
    Bytes padded = Text("hello, world");
    padded.resize(padded.size() + 5);
    m.crcXor = crc::Crc32(m.data.data(), m.data.size()) ^ crc::Crc32(padded.data(), padded.size());
    testzip::Zip zip = testzip::Make({m});
    Bytes out;
    EXPECT_FALSE(Extract(Save(zip.bytes), 0, &out));

    // A stream that overruns its claimed size does not pass either.
    Member longer = Deflated("long.jpg", Pattern(1000));
    longer.sizeDelta = -10;
    EXPECT_FALSE(Extract(Save(testzip::Make({longer}).bytes), 0, &out));
}

TEST_F(ZipReader, ImplausibleSizesAreRefusedWithoutAllocating) {
    Member huge = Stored("huge.jpg", "abc");
    huge.sizeDelta = 0xFFFFFFF0ll - 3;
    Member hugeDeflated = Deflated("huge2.jpg", Text("abc"));
    hugeDeflated.sizeDelta = 0xFFFFFFF0ll - 3;
    testzip::Zip zip = testzip::Make({huge, hugeDeflated});
    const std::wstring path = Save(zip.bytes);
    Bytes out;
    EXPECT_FALSE(Extract(path, zip.locators[0], &out));
    EXPECT_FALSE(Extract(path, zip.locators[1], &out));
}

} // namespace
