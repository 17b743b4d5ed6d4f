#include "thumbs/thumb_cache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/utf16.h"
#include "folder/listing.h"
#include "folder/names.h"
#include "folder/pane_location.h"
#include "tests/fixtures/byte_writer.h"

namespace {

using fixtures::ByteWriter;
using fixtures::TempFolder;
using thumbs::CacheLocation;

constexpr uint64_t kTime = 132000000000000000ull; // some day in 2019

folder::ThumbItem MakeItem(const std::wstring& name, int width, int height, uint8_t shade, uint64_t time = kTime) {
    folder::ThumbItem item;
    image::DecodedImage picture;
    image::SetBitmapHeader(picture, width, height, 24);
    image::AdoptPixels(picture, image::AllocPixelBlock(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24));
    std::memset(picture.pixels, shade, image::Stride(picture) * static_cast<size_t>(height));
    folder::AttachThumbnail(item, picture);
    item.name = name;
    item.time = time;
    item.width = width * 10;
    item.height = height * 10;
    item.size = 1000 + shade;
    item.format = 3;
    item.bitDepth = 24;
    item.markC = 1;
    item.markE = 2;
    item.markI = 1;
    item.markA = 0;
    item.thumbWidth = width;
    item.thumbHeight = height;
    return item;
}

CacheLocation Location(const std::wstring& path, folder::LocationKind kind = folder::kFileSystemFolder, int32_t w = 140, int32_t h = 105,
                       uint64_t time = 0) {
    CacheLocation loc;
    loc.kind = kind;
    loc.path = path;
    loc.boxWidth = w;
    loc.boxHeight = h;
    loc.locationTime = time;
    return loc;
}

thumbs::IndexContents ReadIndex(const std::wstring& cacheFolder) {
    const std::vector<uint8_t> bytes = fixtures::ReadWholeFile(thumbs::IndexPath(cacheFolder));
    thumbs::IndexContents contents;
    EXPECT_TRUE(thumbs::ParseIndex(bytes.data(), bytes.size(), &contents));
    return contents;
}

struct StoredRecord {
    std::wstring name;
    std::wstring folder;
    int32_t locator = 0;
    int32_t size = 0;
    uint64_t time = 0;
    std::vector<uint8_t> bytes; // the whole record
    uint32_t dataBytes = 0;
};

std::vector<StoredRecord> ReadData(const std::wstring& path, uint32_t* headerCount = nullptr) {
    const std::vector<uint8_t> bytes = fixtures::ReadWholeFile(path);
    std::vector<StoredRecord> out;
    if (bytes.size() < 8)
        return out;
    uint32_t magic = 0, count = 0;
    std::memcpy(&magic, bytes.data(), 4);
    std::memcpy(&count, bytes.data() + 4, 4);
    EXPECT_EQ(magic, thumbs::kCacheMagic);
    if (headerCount)
        *headerCount = count;
    thumbs::RecordCursor cursor(bytes.data() + 8, bytes.size() - 8);
    thumbs::CacheRecord r;
    while (cursor.Next(&r)) {
        StoredRecord s;
        s.name = thumbs::RecordName(r);
        s.folder = thumbs::RecordFolder(r);
        s.locator = r.locator;
        s.size = r.size;
        s.time = r.time;
        s.bytes.assign(r.begin, r.begin + r.totalBytes);
        s.dataBytes = r.dataBytes;
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<std::wstring> NamesOf(const std::vector<StoredRecord>& records) {
    std::vector<std::wstring> names;
    for (const StoredRecord& r : records)
        names.push_back(r.name);
    return names;
}

ByteWriter& IndexRecord(ByteWriter& w, uint32_t number, const std::wstring& path, int32_t bw = 140, int32_t bh = 105,
                        uint64_t time = 0) {
    return w.U32LE(number).I32LE(bw).I32LE(bh).U64LE(time).U32LE(static_cast<uint32_t>(path.size() * 2)).Utf16LE(path);
}

TEST(CacheNumbers, FirstGap) {
    struct Case {
        std::vector<uint32_t> used;
        uint32_t next;
    } cases[] = {
        {{}, 10000000},
        {{10000000, 10000001, 10000003}, 10000002},
        {{10000003, 10000000, 10000001}, 10000002},
        {{10000001}, 10000000},
        {{10000000, 10000001, 10000002}, 10000003},
        {{10000000, 10000000, 10000001}, 10000003}, // duplicates in a damaged index never collide
        {{5, 10000000}, 10000002},
    };
    for (const Case& c : cases)
        EXPECT_EQ(thumbs::NextDataNumber(c.used), c.next);
    EXPECT_EQ(thumbs::SlotSize(140, 105), 44100u);
    EXPECT_EQ(thumbs::SlotSize(33, 2), 2u * 100u); // rows padded to 4 bytes
}

TEST(WriteLocation, NewLocationTakesTheFirstFreeNumber) {
    TempFolder cache;
    ByteWriter index;
    index.U32LE(thumbs::kCacheMagic).U32LE(3);
    IndexRecord(index, 10000000, L"C:\\a");
    IndexRecord(index, 10000001, L"C:\\b");
    IndexRecord(index, 10000003, L"C:\\d");
    ASSERT_TRUE(index.SaveTo(thumbs::IndexPath(cache.Path())));

    folder::ThumbItem item = MakeItem(L"x.jpg", 10, 10, 50);
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"C:\\c"), 0, 80, &item, 1));
    const thumbs::IndexContents contents = ReadIndex(cache.Path());
    EXPECT_EQ(contents.declaredCount, 4u);
    ASSERT_EQ(contents.records.size(), 4u);
    EXPECT_EQ(contents.records[3].number, 10000002u);
    EXPECT_EQ(contents.records[3].path, L"C:\\c");
    EXPECT_EQ(NamesOf(ReadData(cache / L"10000002.dat")), std::vector<std::wstring>{L"x.jpg"});

    // The same location (any letter case) keeps its record and number.
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"c:\\C"), 0, 80, &item, 1));
    EXPECT_EQ(ReadIndex(cache.Path()).records.size(), 4u);
}

TEST(WriteLocation, FreshCacheLayout) {
    TempFolder temp;
    const std::wstring cacheFolder = temp / L"cache"; // created with the index
    folder::ThumbItem items[3];
    items[0] = MakeItem(L"one.jpg", 1, 1, 200); // a 1 x 1 thumbnail still takes a whole slot
    items[1].name = L"broken.jpg";               // no pixels: no record
    items[2] = MakeItem(L"two.jpg", 140, 79, 30);
    ASSERT_TRUE(thumbs::WriteLocation(cacheFolder, Location(temp.Path()), 0, 80, items, 3));

    const thumbs::IndexContents contents = ReadIndex(cacheFolder);
    ASSERT_EQ(contents.records.size(), 1u);
    EXPECT_EQ(contents.records[0].number, thumbs::kFirstDataNumber);
    EXPECT_EQ(contents.records[0].boxWidth, 140);
    EXPECT_EQ(contents.records[0].boxHeight, 105);
    EXPECT_EQ(contents.records[0].locationTime, 0u);

    uint32_t count = 0;
    const std::vector<StoredRecord> records = ReadData(thumbs::DataFilePath(cacheFolder, 10000000), &count);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(NamesOf(records), (std::vector<std::wstring>{L"one.jpg", L"two.jpg"}));
    const std::vector<uint8_t>& r = records[0].bytes;
    ASSERT_EQ(r.size(), 64u + 14u + 44100u);
    EXPECT_EQ(records[0].dataBytes, 44100u);
    EXPECT_TRUE(records[0].folder.empty());
    uint32_t fields[11];
    std::memcpy(fields, r.data() + 8, sizeof fields);
    EXPECT_EQ(fields[0], 10u);   // width
    EXPECT_EQ(fields[1], 10u);   // height
    EXPECT_EQ(fields[2], 1200u); // size
    EXPECT_EQ(fields[3], 3u);    // format
    EXPECT_EQ(fields[5], 1u);    // mark C
    EXPECT_EQ(fields[6], 2u);    // mark E
    EXPECT_EQ(fields[10], 0u);   // reserved
    EXPECT_EQ(r[78], 0xFF);      // the JPEG stream opens the slot...
    EXPECT_EQ(r[79], 0xD8);
    EXPECT_EQ(r.back(), 0);      // ...and zeros fill the rest
    const std::vector<uint8_t> file = fixtures::ReadWholeFile(thumbs::DataFilePath(cacheFolder, 10000000));
    EXPECT_EQ(file.size(), 8u + records[0].bytes.size() + records[1].bytes.size());
}

TEST(FindLocation, StaleAndDirtyAfterABoxChange) {
    TempFolder cache;
    folder::ThumbItem item = MakeItem(L"a.jpg", 10, 10, 1);
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"D:\\pics"), 0, 80, &item, 1));
    struct Case {
        int32_t w, h;
        bool dirty, stale;
    } cases[] = {
        {140, 105, false, false}, {160, 120, true, true}, {120, 90, true, false},
        {160, 90, true, true},    {140, 104, true, false},
    };
    for (const Case& c : cases) {
        const thumbs::FindResult found = thumbs::FindLocation(cache.Path(), Location(L"d:\\PICS", folder::kFileSystemFolder, c.w, c.h));
        EXPECT_TRUE(found.found);
        EXPECT_EQ(found.dirty, c.dirty) << c.w << "x" << c.h;
        EXPECT_EQ(found.stale, c.stale) << c.w << "x" << c.h;
    }
    EXPECT_FALSE(thumbs::FindLocation(cache.Path(), Location(L"D:\\pics2")).found);
    // A data file that vanished is not found.
    ASSERT_TRUE(platform::DeleteFileAt(thumbs::DataFilePath(cache.Path(), 10000000)));
    EXPECT_FALSE(thumbs::FindLocation(cache.Path(), Location(L"D:\\pics")).found);
}

TEST(Index, DamageReadsAsAbsentAndIsRewritten) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t survivors; // whole records kept by the next update
    };
    ByteWriter oneWhole;
    oneWhole.U32LE(thumbs::kCacheMagic).U32LE(3);
    IndexRecord(oneWhole, 10000000, L"C:\\kept");
    oneWhole.U32LE(10000001).U32LE(140).U32LE(105); // cut off inside the second record
    ByteWriter hugePath;
    hugePath.U32LE(thumbs::kCacheMagic).U32LE(1).U32LE(10000000).U32LE(140).U32LE(105).U64LE(0).U32LE(0xFFFFFFF0u);
    ByteWriter oddPath;
    oddPath.U32LE(thumbs::kCacheMagic).U32LE(1).U32LE(10000000).U32LE(140).U32LE(105).U64LE(0).U32LE(3).Fill(3);
    const Case cases[] = {
        {"empty", {}, 0},
        {"short header", {0x00, 0x00, 0x90, 0x01, 0x01, 0x00, 0x00}, 0},
        {"wrong magic", ByteWriter().U32LE(0x01900001).U32LE(0).Data(), 0},
        {"count zero", ByteWriter().U32LE(thumbs::kCacheMagic).U32LE(0).Data(), 0},
        {"damaged tail", oneWhole.Data(), 1},
        {"path beyond the end", hugePath.Data(), 0},
        {"odd path length", oddPath.Data(), 0},
    };
    for (const Case& c : cases) {
        TempFolder cache;
        ASSERT_TRUE(ByteWriter().Bytes(c.bytes).SaveTo(thumbs::IndexPath(cache.Path())));
        EXPECT_FALSE(thumbs::FindLocation(cache.Path(), Location(L"C:\\new")).found) << c.what;
        size_t dropped = 0;
        thumbs::PurgeCache(cache.Path(), &dropped); // must not crash either
        ASSERT_TRUE(ByteWriter().Bytes(c.bytes).SaveTo(thumbs::IndexPath(cache.Path())));

        folder::ThumbItem item = MakeItem(L"a.jpg", 4, 4, 9);
        ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"C:\\new"), 0, 80, &item, 1)) << c.what;
        const thumbs::IndexContents contents = ReadIndex(cache.Path());
        EXPECT_EQ(contents.records.size(), c.survivors + 1) << c.what;
        EXPECT_EQ(contents.declaredCount, c.survivors + 1) << c.what;
        EXPECT_EQ(contents.intactEnd, fixtures::ReadWholeFile(thumbs::IndexPath(cache.Path())).size()) << c.what;
        EXPECT_TRUE(thumbs::FindLocation(cache.Path(), Location(L"C:\\new")).found) << c.what;
    }
}

TEST(Index, RewritesDoNotGrowIt) {
    TempFolder cache;
    folder::ThumbItem item = MakeItem(L"a.jpg", 4, 4, 9);
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"E:\\x"), 0, 80, &item, 1));
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"E:\\y"), 0, 80, &item, 1));
    const size_t size = fixtures::ReadWholeFile(thumbs::IndexPath(cache.Path())).size();
    const size_t data = fixtures::ReadWholeFile(thumbs::DataFilePath(cache.Path(), 10000000)).size();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"E:\\x", folder::kFileSystemFolder, 160, 120), 0, 80, &item, 1));
        ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"E:\\x"), 0, 80, &item, 1));
    }
    EXPECT_EQ(fixtures::ReadWholeFile(thumbs::IndexPath(cache.Path())).size(), size);
    EXPECT_EQ(fixtures::ReadWholeFile(thumbs::DataFilePath(cache.Path(), 10000000)).size(), data);
}

TEST(DataFile, DamageNeverCrashesAndReadsAsAbsentOrShort) {
    TempFolder dir;
    const std::wstring picture = dir / L"a.jpg";
    ASSERT_TRUE(ByteWriter().Fill(10).SaveTo(picture));
    platform::FileTime fileTime = 0;
    ASSERT_TRUE(platform::GetLastWriteTime(picture, &fileTime));
    TempFolder cache;
    folder::ThumbItem good = MakeItem(L"a.jpg", 8, 8, 100, fileTime);
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(dir.Path()), 0, 80, &good, 1));
    const std::wstring dataPath = thumbs::DataFilePath(cache.Path(), 10000000);
    const std::vector<uint8_t> whole = fixtures::ReadWholeFile(dataPath);

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool records; // ReadLocation reports records
    };
    std::vector<uint8_t> badMagic = whole;
    badMagic[3] = 0x02;
    std::vector<uint8_t> hugeName = whole;
    hugeName[8 + 52] = 0xFF; // name length runs past the end
    hugeName[8 + 55] = 0x7F;
    std::vector<uint8_t> badJpeg = whole;
    std::memset(badJpeg.data() + 8 + 64 + 10, 0x11, 200);
    const Case cases[] = {
        {"empty", {}, false},
        {"header only", std::vector<uint8_t>(whole.begin(), whole.begin() + 8), true},
        {"wrong magic", badMagic, false},
        {"cut in the record", std::vector<uint8_t>(whole.begin(), whole.begin() + 500), true},
        {"name past the end", hugeName, true},
        {"not a JPEG", badJpeg, true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(ByteWriter().Bytes(c.bytes).SaveTo(dataPath));
        thumbs::CacheBlock block;
        EXPECT_EQ(thumbs::ReadLocation(cache.Path(), Location(dir.Path()), 0, 1, &block) > 0, c.records) << c.what;
        folder::ThumbItem item;
        item.name = L"a.jpg";
        item.path = picture;
        image::JpegContext jpeg;
        image::DecodedImage out;
        thumbs::LookupContext lookup;
        EXPECT_FALSE(thumbs::LookupItem(block, lookup, item, jpeg, out)) << c.what;
        EXPECT_EQ(item.width, 0) << c.what;
        // The next write starts the file over.
        ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(dir.Path()), 0, 80, &good, 1));
        EXPECT_EQ(NamesOf(ReadData(dataPath)), std::vector<std::wstring>{L"a.jpg"}) << c.what;
    }
}

TEST(LookupItem, FileSystemRecordsFollowTheFileTime) {
    TempFolder dir;
    const std::wstring picture = dir / L"Photo.JPG";
    ASSERT_TRUE(ByteWriter().Fill(10).SaveTo(picture));
    platform::FileTime fileTime = 0;
    ASSERT_TRUE(platform::GetLastWriteTime(picture, &fileTime));
    TempFolder cache;
    folder::ThumbItem items[2] = {MakeItem(L"other.jpg", 20, 20, 5, fileTime), MakeItem(L"Photo.JPG", 33, 17, 77, fileTime)};
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(dir.Path()), 0, 90, items, 2));

    thumbs::CacheBlock block;
    ASSERT_EQ(thumbs::ReadLocation(cache.Path(), Location(dir.Path()), 0, 2, &block), 2u);
    thumbs::LookupContext lookup;
    lookup.boxWidth = 140;
    lookup.boxHeight = 105;
    folder::ThumbItem item;
    item.name = L"photo.jpg";
    item.path = picture;
    image::JpegContext jpeg;
    image::DecodedImage out;
    ASSERT_TRUE(thumbs::LookupItem(block, lookup, item, jpeg, out));
    EXPECT_EQ(image::Width(out), 33);
    EXPECT_EQ(image::Height(out), 17);
    EXPECT_EQ(image::BitCount(out), 24);
    EXPECT_NEAR(out.pixels[0], 77, 3);
    EXPECT_EQ(item.width, 330);
    EXPECT_EQ(item.height, 170);
    EXPECT_EQ(item.size, 1077);
    EXPECT_EQ(item.markE, 2);
    EXPECT_EQ(item.time, fileTime);

    // Modified since it was cached: a miss.
    {
        platform::File f;
        ASSERT_TRUE(f.Open(picture, platform::OpenMode::ReadWrite));
        ASSERT_TRUE(f.SetLastWriteTime(fileTime + 10000000));
    }
    folder::ThumbItem again;
    again.name = L"Photo.JPG";
    again.path = picture;
    EXPECT_FALSE(thumbs::LookupItem(block, lookup, again, jpeg, out));
}

TEST(LookupItem, ShellAndArchiveKeys) {
    TempFolder cache;
    folder::ThumbItem shellItem = MakeItem(L"s.jpg", 6, 6, 10, 777);
    shellItem.path = L"C:\\$Recycle.Bin\\S-1\\$Rabc.jpg";
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"::{bin}", folder::kShellFolder), 0, 80, &shellItem, 1));
    EXPECT_EQ(ReadIndex(cache.Path()).records[0].locationTime, folder::kShellCacheTime);
    thumbs::CacheBlock block;
    ASSERT_EQ(thumbs::ReadLocation(cache.Path(), Location(L"::{bin}", folder::kShellFolder), 0, 1, &block), 1u);
    thumbs::LookupContext lookup;
    lookup.kind = folder::kShellFolder;
    lookup.shellTimeCheck = true;
    folder::ThumbItem probe;
    probe.path = L"c:\\$RECYCLE.BIN\\S-1\\$Rabc.jpg";
    probe.time = 777;
    image::JpegContext jpeg;
    image::DecodedImage out;
    EXPECT_TRUE(thumbs::LookupItem(block, lookup, probe, jpeg, out));
    probe.time = 778; // listed time differs
    EXPECT_FALSE(thumbs::LookupItem(block, lookup, probe, jpeg, out));

    TempFolder dir;
    const std::wstring archive = dir / L"a.zip";
    ASSERT_TRUE(ByteWriter().Fill(30).SaveTo(archive));
    platform::FileTime archiveTime = 0;
    ASSERT_TRUE(platform::GetLastWriteTime(archive, &archiveTime));
    folder::ThumbItem members[2] = {MakeItem(L"m.jpg", 5, 5, 1), MakeItem(L"m.jpg", 7, 7, 2)};
    members[0].locator = 100;
    members[0].path = L"a\\";
    members[1].locator = 200;
    members[1].path = L"b\\";
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(archive, folder::kZipArchive, 140, 105, archiveTime), 0, 80, members, 2));
    ASSERT_EQ(thumbs::ReadLocation(cache.Path(), Location(archive, folder::kZipArchive), 0, 2, &block), 2u);
    lookup.kind = folder::kZipArchive;
    folder::ThumbItem member;
    member.locator = 200;
    ASSERT_TRUE(thumbs::LookupItem(block, lookup, member, jpeg, out));
    EXPECT_EQ(image::Width(out), 7);
    member.locator = 300;
    EXPECT_FALSE(thumbs::LookupItem(block, lookup, member, jpeg, out));
}

// Pictures on disk with cached thumbnails of distinct shades, for lookups by name and file time.
struct CachedFolder {
    TempFolder dir;
    TempFolder cache;
    std::vector<std::wstring> names;
    platform::FileTime time = 0;

    // Writes the records of `shades` (name i gets shade i) in the order given; names repeat freely.
    bool Write(const std::vector<std::pair<std::wstring, uint8_t>>& records) {
        std::vector<folder::ThumbItem> items;
        for (const auto& r : records) {
            if (!platform::FileExists(dir / r.first) && !ByteWriter().Fill(4).SaveTo(dir / r.first))
                return false;
            platform::GetLastWriteTime(dir / r.first, &time);
            items.push_back(MakeItem(r.first, 8, 6, r.second, time));
        }
        return thumbs::WriteLocation(cache.Path(), Location(dir.Path()), 0, 95, items.data(), items.size());
    }
    // The shade of the thumbnail looked up for `name` (listed as such, stored as `file`), or -1 on a miss.
    int Shade(thumbs::CacheBlock& block, const std::wstring& name, std::wstring file = std::wstring()) {
        folder::ThumbItem item;
        item.name = name;
        item.path = dir / (file.empty() ? name : file);
        thumbs::LookupContext lookup;
        image::JpegContext jpeg;
        image::DecodedImage out;
        return thumbs::LookupItem(block, lookup, item, jpeg, out) ? out.pixels[0] : -1;
    }
};

TEST(LookupItem, EachItemFindsItsOwnRecordAmongMany) {
    CachedFolder f;
    std::vector<std::pair<std::wstring, uint8_t>> records;
    for (int i = 0; i < 120; ++i)
        records.emplace_back(L"p" + std::to_wstring(i) + L".jpg", static_cast<uint8_t>(i * 2));
    records.emplace_back(L"P7.JPG", 250); // a second record of p7.jpg: the first one counts
    ASSERT_TRUE(f.Write(records));
    thumbs::CacheBlock block;
    ASSERT_EQ(thumbs::ReadLocation(f.cache.Path(), Location(f.dir.Path()), 0, 121, &block), 121u);
    // Backwards, so no lookup can lean on the one before it.
    for (int i = 119; i >= 0; --i)
        EXPECT_NEAR(f.Shade(block, L"P" + std::to_wstring(i) + L".JPG", L"p" + std::to_wstring(i) + L".jpg"), i * 2, 3) << i;
    EXPECT_NEAR(f.Shade(block, L"p7.jpg"), 14, 3);
    EXPECT_EQ(f.Shade(block, L"p120.jpg"), -1);
    EXPECT_EQ(f.Shade(block, L"p1.jpg.jpg"), -1);
    // A reopen holds the records' heads, not a second copy of every slot: a large folder's warm
    // reopen would otherwise cost the whole data file on top of the pane's thumbnails.
    const size_t fileBytes =
        fixtures::ReadWholeFile(thumbs::DataFilePath(f.cache.Path(), thumbs::kFirstDataNumber)).size();
    EXPECT_LT(block.heads.size() + block.buffer.capacity(), fileBytes / 10);
}

TEST(LookupItem, ADataFileRewrittenSinceTheReadNeverGivesAnotherRecord) {
    CachedFolder f;
    ASSERT_TRUE(f.Write({{L"a.jpg", 40}, {L"b.jpg", 160}}));
    thumbs::CacheBlock block;
    ASSERT_EQ(thumbs::ReadLocation(f.cache.Path(), Location(f.dir.Path()), 0, 2, &block), 2u);
    EXPECT_NEAR(f.Shade(block, L"b.jpg"), 160, 3);

    // The other pane wrote the same records again: they are still the ones indexed.
    ASSERT_TRUE(f.Write({{L"a.jpg", 40}, {L"b.jpg", 160}}));
    EXPECT_NEAR(f.Shade(block, L"a.jpg"), 40, 3);
    // Now in another order: b's record sits where a's was, and a's lies past b's.
    ASSERT_TRUE(f.Write({{L"b.jpg", 160}, {L"a.jpg", 40}}));
    EXPECT_EQ(f.Shade(block, L"a.jpg"), -1);
    EXPECT_EQ(f.Shade(block, L"b.jpg"), -1);
    // Cut short, then gone.
    const std::wstring dataPath = thumbs::DataFilePath(f.cache.Path(), thumbs::kFirstDataNumber);
    const std::vector<uint8_t> whole = fixtures::ReadWholeFile(dataPath);
    ASSERT_TRUE(f.Write({{L"a.jpg", 40}, {L"b.jpg", 160}}));
    ASSERT_TRUE(ByteWriter().Bytes(std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2)).SaveTo(dataPath));
    EXPECT_EQ(f.Shade(block, L"b.jpg"), -1);
    ASSERT_TRUE(platform::DeleteFileAt(dataPath));
    EXPECT_EQ(f.Shade(block, L"a.jpg"), -1);
}

TEST(WriteLocation, FilteredPanesKeepOtherTypesRecords) {
    TempFolder cache;
    const CacheLocation loc = Location(L"F:\\mixed");
    {
        folder::ThumbItem all[3] = {MakeItem(L"a.jpg", 9, 9, 10), MakeItem(L"b.png", 9, 9, 20), MakeItem(L"c.jpg", 9, 9, 40)};
        ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), loc, 0, 80, all, 3));
    }
    const std::wstring dataPath = thumbs::DataFilePath(cache.Path(), 10000000);
    const std::vector<StoredRecord> before = ReadData(dataPath);
    ASSERT_EQ(before.size(), 3u);

    // JPEG filter: a.jpg decoded afresh, c.jpg from the cache, d.jpg new.
    folder::ThumbItem jpegs[3] = {MakeItem(L"a.jpg", 9, 9, 30), MakeItem(L"c.jpg", 9, 9, 40), MakeItem(L"d.jpg", 9, 9, 50)};
    jpegs[0].size = 5555;
    jpegs[1].fromCache = 1;
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), loc, folder::kFilterJpeg, 80, jpegs, 3));
    std::vector<StoredRecord> after = ReadData(dataPath);
    ASSERT_EQ(NamesOf(after), (std::vector<std::wstring>{L"a.jpg", L"b.png", L"c.jpg"}));
    EXPECT_EQ(after[0].size, 5555);           // replaced
    EXPECT_EQ(after[1].bytes, before[1].bytes); // the PNG's record is untouched
    EXPECT_EQ(after[2].bytes, before[2].bytes);

    // A picture of the filter's type that now fails to decode loses its record; the others stay.
    folder::ThumbItem failed;
    failed.name = L"A.JPG";
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), loc, folder::kFilterJpeg, 80, &failed, 1));
    after = ReadData(dataPath);
    EXPECT_EQ(NamesOf(after), (std::vector<std::wstring>{L"b.png", L"c.jpg"}));

    // Unfiltered: the items decide; records of pictures no longer listed go.
    folder::ThumbItem onlyB = MakeItem(L"b.png", 9, 9, 20);
    onlyB.fromCache = 1;
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), loc, folder::kFilterAll, 80, &onlyB, 1));
    after = ReadData(dataPath);
    ASSERT_EQ(NamesOf(after), std::vector<std::wstring>{L"b.png"});
    EXPECT_EQ(after[0].bytes, before[1].bytes);

    // A box change writes the file afresh, whatever the filter.
    folder::ThumbItem fresh = MakeItem(L"z.jpg", 9, 9, 60);
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"F:\\mixed", folder::kFileSystemFolder, 160, 120), folder::kFilterJpeg, 80,
                                      &fresh, 1));
    after = ReadData(dataPath);
    ASSERT_EQ(NamesOf(after), std::vector<std::wstring>{L"z.jpg"});
    EXPECT_EQ(after[0].dataBytes, thumbs::SlotSize(160, 120));
}

TEST(RebuildArchiveListing, OnlyWhileTheArchiveTimeMatches) {
    TempFolder dir;
    const std::wstring archive = dir / L"photos.zip";
    ASSERT_TRUE(ByteWriter().Fill(64).SaveTo(archive));
    platform::FileTime archiveTime = 0;
    ASSERT_TRUE(platform::GetLastWriteTime(archive, &archiveTime));
    TempFolder cache;
    folder::ThumbItem members[3] = {MakeItem(L"b.jpg", 4, 4, 1, 11), MakeItem(L"a.png", 4, 4, 2, 22),
                                    MakeItem(L"root.jpg", 4, 4, 3, 33)};
    members[0].path = L"sub\\";
    members[0].locator = 10;
    members[1].path = L"sub\\";
    members[1].locator = 20;
    members[2].locator = 30;
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(archive, folder::kZipArchive, 140, 105, archiveTime), 0, 80, members, 3));

    folder::ArchiveListing listing;
    ASSERT_TRUE(thumbs::RebuildArchiveListing(cache.Path(), folder::kZipArchive, archive, &listing));
    EXPECT_EQ(listing.archiveTime, archiveTime);
    ASSERT_EQ(listing.entries.size(), 3u);
    EXPECT_EQ(listing.entries[0].name, L"b.jpg");
    EXPECT_EQ(listing.entries[0].folder, L"sub\\");
    EXPECT_EQ(listing.entries[0].locator, 10u);
    EXPECT_EQ(listing.entries[0].size, 1001u);
    EXPECT_EQ(listing.entries[0].time, 11u);

    // Through the pane's listing: filtered and in archive order.
    folder::PaneLocation pane;
    ASSERT_TRUE(folder::SetLocation(pane, folder::kZipArchive, {}, archive, false));
    // An archive its reader cannot open, counting the attempts.
    struct UnreadableArchive : folder::ArchiveSource {
        mutable int reads = 0;
        bool ReadListing(folder::PaneLocation&, folder::ArchiveListing*) const override {
            ++reads;
            return false;
        }
    } source;
    const int& archiveReads = source.reads;
    folder::ListRequest request;
    request.cachedListing = thumbs::CachedListingReader(cache.Path(), nullptr);
    request.source = &source;
    request.filter = folder::kFilterJpeg;
    ASSERT_TRUE(folder::ListFolder(pane, request, &listing));
    EXPECT_EQ(archiveReads, 0);
    ASSERT_EQ(listing.entries.size(), 2u);
    EXPECT_EQ(listing.entries[0].name, L"root.jpg");
    EXPECT_EQ(listing.entries[1].name, L"b.jpg");
    EXPECT_EQ(pane.archiveTime, archiveTime);

    request.forced = true; // a forced load never uses the cache
    EXPECT_FALSE(folder::ListFolder(pane, request, &listing));
    EXPECT_EQ(archiveReads, 1);
    request.forced = false;

    // The archive changed since: the cache gives nothing and the archive is read.
    {
        platform::File f;
        ASSERT_TRUE(f.Open(archive, platform::OpenMode::ReadWrite));
        ASSERT_TRUE(f.SetLastWriteTime(archiveTime + 20000000));
    }
    EXPECT_FALSE(thumbs::RebuildArchiveListing(cache.Path(), folder::kZipArchive, archive, &listing));
    EXPECT_FALSE(folder::ListFolder(pane, request, &listing));
    EXPECT_EQ(archiveReads, 2);
}

TEST(PurgeCache, DropsVanishedLocationsOnly) {
    TempFolder dir;
    ASSERT_TRUE(platform::CreateFolder(dir / L"kept"));
    ASSERT_TRUE(platform::CreateFolder(dir / L"gone"));
    TempFolder cache;
    folder::ThumbItem item = MakeItem(L"a.jpg", 4, 4, 9);
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(dir / L"kept"), 0, 80, &item, 1));
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(dir / L"gone"), 0, 80, &item, 1));
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"::{no such path}", folder::kShellFolder), 0, 80, &item, 1));
    ASSERT_TRUE(platform::RemoveFolder(dir / L"gone"));

    size_t dropped = 0;
    ASSERT_TRUE(thumbs::PurgeCache(cache.Path(), &dropped));
    EXPECT_EQ(dropped, 1u);
    const thumbs::IndexContents contents = ReadIndex(cache.Path());
    ASSERT_EQ(contents.records.size(), 2u);
    EXPECT_EQ(contents.declaredCount, 2u);
    EXPECT_EQ(contents.records[0].number, 10000000u);
    EXPECT_EQ(contents.records[1].number, 10000002u);
    EXPECT_FALSE(platform::FileExists(thumbs::DataFilePath(cache.Path(), 10000001)));
    EXPECT_TRUE(platform::FileExists(thumbs::DataFilePath(cache.Path(), 10000002)));
    // The freed number is the next one handed out.
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(dir / L"new"), 0, 80, &item, 1));
    EXPECT_EQ(ReadIndex(cache.Path()).records.back().number, 10000001u);
}

TEST(Maintenance, ListsAndDeletesEntries) {
    TempFolder cache;
    folder::ThumbItem items[2] = {MakeItem(L"a.jpg", 4, 4, 9), MakeItem(L"b.jpg", 4, 4, 9)};
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"G:\\one"), 0, 80, items, 2));
    ASSERT_TRUE(thumbs::WriteLocation(cache.Path(), Location(L"G:\\two"), 0, 80, items, 1));
    std::vector<thumbs::CacheEntryInfo> entries;
    ASSERT_TRUE(thumbs::ListCacheEntries(cache.Path(), &entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].dataReadable);
    EXPECT_EQ(entries[0].recordCount, 2u);
    EXPECT_EQ(entries[1].recordCount, 1u);

    EXPECT_EQ(thumbs::DeleteCacheEntries(cache.Path(), {10000000}), 0u);
    ASSERT_TRUE(thumbs::ListCacheEntries(cache.Path(), &entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].record.path, L"G:\\two");
    EXPECT_FALSE(platform::FileExists(thumbs::DataFilePath(cache.Path(), 10000000)));

    EXPECT_EQ(thumbs::DeleteCacheEntries(cache.Path(), {10000001}), 0u);
    EXPECT_FALSE(platform::FileExists(thumbs::IndexPath(cache.Path())));
    EXPECT_FALSE(thumbs::ListCacheEntries(cache.Path(), &entries));
}

} // namespace
