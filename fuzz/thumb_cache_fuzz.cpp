// Thumbnail-cache fuzzer. The first byte picks the file the rest of the input becomes:
//   0  index.dat: parsed, searched, purged, then updated (which must leave a valid index)
//   1  a data file of an archive location: indexed, records looked up (their JPEGs decoded), the
//      listing rebuilt, then merged by a filtered write (which must leave a valid data file)
// The parsers also run on the raw bytes either way.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/platform.h"
#include "folder/archive_listing.h"
#include "folder/thumb_item.h"
#include "fuzz/fuzz_support.h"
#include "image/decoded_image.h"
#include "image/jpeg.h"
#include "thumbs/thumb_cache.h"

namespace {

using fuzz::Check;

bool Save(const std::wstring& path, const uint8_t* data, size_t size, bool withHeader) {
    platform::File f;
    if (!f.Open(path, platform::OpenMode::CreateAlways))
        return false;
    if (withHeader) {
        // Magic and a count, so the input starts at the records.
        const uint8_t header[8] = {0x00, 0x00, 0x90, 0x01, 0x10, 0x00, 0x00, 0x00};
        if (f.Write(header, sizeof header) != sizeof header)
            return false;
    }
    return size == 0 || f.Write(data, size) == size;
}

folder::ThumbItem SmallItem(const std::wstring& name, int32_t locator) {
    folder::ThumbItem item;
    image::DecodedImage picture;
    image::SetBitmapHeader(picture, 3, 2, 24);
    image::AdoptPixels(picture, image::AllocPixelBlock(3, 2, 24));
    folder::AttachThumbnail(item, picture);
    item.name = name;
    item.locator = locator;
    return item;
}

struct World {
    std::wstring base = platform::MakeTempFile();
    std::wstring indexCache = base + L".index";
    std::wstring dataCache = base + L".data";
    std::wstring archive = base + L".zip";
    thumbs::CacheLocation archiveLocation;

    World() {
        platform::CreateFolder(indexCache);
        platform::CreateFolder(dataCache);
        const uint8_t zip[4] = {'P', 'K', 5, 6};
        Save(archive, zip, sizeof zip, false);
        archiveLocation.kind = folder::kZipArchive;
        archiveLocation.path = archive;
        platform::GetLastWriteTime(archive, &archiveLocation.locationTime);
        folder::ThumbItem item = SmallItem(L"seed.jpg", 1);
        thumbs::WriteLocation(dataCache, archiveLocation, 0, 80, &item, 1);
    }
    ~World() {
        for (const std::wstring& dir : {indexCache, dataCache}) {
            platform::ListFolder(dir, L"*", [&dir](const platform::FolderEntry& e) {
                platform::DeleteFileAt(dir + L"\\" + e.name);
                return true;
            });
            platform::RemoveFolder(dir);
        }
        platform::DeleteFileAt(archive);
        platform::DeleteFileAt(base);
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;
};

void CheckParsers(const uint8_t* data, size_t size) {
    thumbs::IndexContents contents;
    if (thumbs::ParseIndex(data, size, &contents)) {
        Check(contents.records.size() <= contents.declaredCount);
        Check(contents.intactEnd <= size);
        for (const thumbs::IndexRecord& r : contents.records)
            Check(r.offset + thumbs::kIndexRecordHeaderSize <= contents.intactEnd);
    }
    thumbs::RecordCursor cursor(data, size);
    thumbs::CacheRecord record;
    size_t walked = 0;
    while (cursor.Next(&record)) {
        walked += record.totalBytes;
        Check(record.data + record.dataBytes <= data + size);
    }
    Check(walked <= size);
}

void FuzzIndex(World& world, const uint8_t* data, size_t size) {
    const std::wstring index = thumbs::IndexPath(world.indexCache);
    Save(index, data, size, false);
    thumbs::CacheLocation location;
    location.path = L"C:\\fuzz";
    thumbs::FindLocation(world.indexCache, location);
    thumbs::PurgeCache(world.indexCache);
    Save(index, data, size, false);
    folder::ThumbItem item = SmallItem(L"a.jpg", 0);
    Check(thumbs::WriteLocation(world.indexCache, location, 0, 80, &item, 1));
    const thumbs::FindResult found = thumbs::FindLocation(world.indexCache, location);
    Check(found.found && !found.dirty && !found.stale);
    std::vector<thumbs::CacheEntryInfo> entries;
    Check(thumbs::ListCacheEntries(world.indexCache, &entries));
    platform::DeleteFileAt(found.dataPath);
}

void FuzzData(World& world, const uint8_t* data, size_t size) {
    const std::wstring dataPath = thumbs::DataFilePath(world.dataCache, thumbs::kFirstDataNumber);
    Save(dataPath, data, size, true);
    thumbs::CacheBlock block;
    const uint32_t count = thumbs::ReadLocation(world.dataCache, world.archiveLocation, 0, 4, &block);
    std::vector<int32_t> locators;
    Check(count > 0 || block.slots.empty());
    for (size_t i = 0; i < block.slots.size() && locators.size() < 8; ++i) {
        const thumbs::CacheRecord record = block.Record(i);
        Check(block.slots[i].offset + record.totalBytes <= size + 8);
        locators.push_back(record.locator);
    }
    thumbs::LookupContext lookup;
    lookup.kind = folder::kZipArchive;
    lookup.boxWidth = 140;
    lookup.boxHeight = 105;
    image::JpegContext jpeg;
    for (int32_t locator : locators) {
        folder::ThumbItem item;
        item.locator = locator;
        image::DecodedImage out;
        if (thumbs::LookupItem(block, lookup, item, jpeg, out)) {
            Check(out.pixels != nullptr && image::BitCount(out) == 24);
            Check(image::Width(out) > 0 && image::Height(out) > 0);
        }
    }
    folder::ArchiveListing listing;
    if (thumbs::RebuildArchiveListing(world.dataCache, folder::kZipArchive, world.archive, &listing))
        Check(!listing.entries.empty());

    // A filtered write keeps every old record it does not replace; the result must parse whole.
    std::vector<folder::ThumbItem> items;
    for (size_t i = 0; i < listing.entries.size() && i < 4; ++i) {
        items.push_back(SmallItem(listing.entries[i].name, static_cast<int32_t>(listing.entries[i].locator)));
        items.back().path = listing.entries[i].folder;
        items.back().fromCache = static_cast<int32_t>(i % 2);
    }
    Check(thumbs::WriteLocation(world.dataCache, world.archiveLocation, 3, 80, items.data(), items.size()));
    thumbs::CacheBlock after;
    const uint32_t written = thumbs::ReadLocation(world.dataCache, world.archiveLocation, 1, 0, &after);
    Check(after.slots.size() == written);
    platform::MappedView view;
    if (written > 0) {
        Check(view.Open(dataPath));
        size_t walked = 0;
        uint32_t records = 0;
        thumbs::RecordCursor cursor(view.Data() + 8, view.Size() - 8);
        thumbs::CacheRecord record;
        while (cursor.Next(&record)) {
            walked += record.totalBytes;
            ++records;
        }
        Check(records == written);
        Check(walked == view.Size() - 8);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    const uint8_t mode = size > 0 ? data[0] : 0;
    const uint8_t* body = size > 0 ? data + 1 : data;
    const size_t length = size > 0 ? size - 1 : 0;
    CheckParsers(body, length);
    if (mode % 2 == 0)
        FuzzIndex(world, body, length);
    else
        FuzzData(world, body, length);
    return 0;
}
