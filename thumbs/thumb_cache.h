// The on-disk thumbnail cache: "index.dat" maps location paths to numbered data files, each holding one
// JPEG thumbnail record per picture of its location (layout in thumb_cache.cpp).
//
// Locking: the caller holds the process-wide cache lock around FindLocation + ReadLocation, around
// WriteLocation, and around RebuildArchiveListing, PurgeCache and the maintenance functions, so two
// threads never read and write the cache files at the same time. LookupItem is called without it on
// the caller's private CacheBlock and takes the lock it is given only to read a hit's slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/platform.h"
#include "folder/archive_listing.h"
#include "folder/location_source.h"
#include "folder/pane_location.h"
#include "folder/thumb_item.h"
#include "image/decoded_image.h"
#include "image/jpeg.h"

namespace thumbs {

// The process-wide cache lock; a critical section on Windows.
class CacheLock {
  public:
    virtual ~CacheLock() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

// Holds a lock, if there is one, for its scope.
class CacheLockGuard {
  public:
    explicit CacheLockGuard(CacheLock* lock) : lock_(lock) {
        if (lock_)
            lock_->Lock();
    }
    ~CacheLockGuard() {
        if (lock_)
            lock_->Unlock();
    }
    CacheLockGuard(const CacheLockGuard&) = delete;
    CacheLockGuard& operator=(const CacheLockGuard&) = delete;

  private:
    CacheLock* lock_;
};

constexpr uint32_t kCacheMagic = 0x01900000;
constexpr uint32_t kFirstDataNumber = 10000000;
constexpr size_t kCacheHeaderSize = 8;
constexpr size_t kIndexRecordHeaderSize = 24;
constexpr size_t kCacheRecordHeaderSize = 64;
// Cache files of this size or more are ignored (and rewritten).
constexpr uint64_t kMaxCacheFileSize = 0x80000000ull;

// One location of the index.
struct IndexRecord {
    uint32_t number = 0; // data file number
    int32_t boxWidth = 0;
    int32_t boxHeight = 0;
    platform::FileTime locationTime = 0; // archives: archive time; folders 0; shell folders 1
    std::wstring path;
    size_t offset = 0; // of the record in the file
};

struct IndexContents {
    uint32_t declaredCount = 0;
    std::vector<IndexRecord> records; // whole records, at most declaredCount
    size_t intactEnd = 0;             // offset just past the last whole record
};

// Parses index.dat. False for a short header or a wrong magic. Records are read up to the declared
// count; one that does not fit ends the walk (records before it stay).
bool ParseIndex(const uint8_t* data, size_t size, IndexContents* out);
void AppendIndexRecord(std::vector<uint8_t>& out, const IndexRecord& record);

// One record of a data file, pointing into the block it was read from.
struct CacheRecord {
    platform::FileTime time = 0;
    int32_t width = 0, height = 0, size = 0, format = 0, bitDepth = 0;
    int32_t markC = 0, markE = 0, markI = 0, markA = 0;
    int32_t locator = 0;
    const uint8_t* name = nullptr;
    uint32_t nameBytes = 0;
    const uint8_t* folder = nullptr;
    uint32_t folderBytes = 0;
    const uint8_t* data = nullptr;
    uint32_t dataBytes = 0;
    const uint8_t* begin = nullptr; // the whole record
    size_t totalBytes = 0;
};

// Walks the records of a data file's body (what follows the 8-byte header).
class RecordCursor {
  public:
    RecordCursor(const uint8_t* records, size_t size) : cur_(records), end_(records + size) {}
    // False at the end, and at a record that would end beyond the data or has an odd string length.
    bool Next(CacheRecord* record);

  private:
    const uint8_t* cur_;
    const uint8_t* end_;
};

std::wstring RecordName(const CacheRecord& record);
std::wstring RecordFolder(const CacheRecord& record);

// Bytes of a 24-bit bitmap of the box: every record's data slot has this size (140 x 105: 44,100).
uint32_t SlotSize(int32_t boxWidth, int32_t boxHeight);
std::wstring IndexPath(const std::wstring& cacheFolder);
std::wstring DataFilePath(const std::wstring& cacheFolder, uint32_t number);
// The first free number: 10000000 + k for the smallest k whose k-th smallest used number exceeds it.
uint32_t NextDataNumber(std::vector<uint32_t> used);

struct CacheLocation {
    folder::LocationKind kind = folder::kFileSystemFolder;
    std::wstring path;
    int32_t boxWidth = 140;
    int32_t boxHeight = 105;
    platform::FileTime locationTime = 0; // archives: the listed archive time
};

struct FindResult {
    bool found = false;
    uint32_t number = 0;
    std::wstring dataPath;
    bool dirty = false; // the stored box differs from the current one
    bool stale = false; // the stored box is smaller in width or height
};

// Index lookup. An archive's entry counts only while the archive's last-write time equals the stored one.
FindResult FindLocation(const std::wstring& cacheFolder, const CacheLocation& location);

// A location's data file with its records indexed; private to the worker that read it. Only the
// records' headers and names are held: a hit reads its record's slot from the file again, under the
// lock, and takes it only while the record there is still the one indexed (the other pane's worker
// may have rewritten the file in between).
struct CacheBlock {
    std::wstring dataPath;
    uint32_t recordCount = 0; // from the header
    bool stale = false;
    bool dirty = false;
    bool boxChanged = false; // the stored box differs: the next write will not reuse the old records

    // The whole records of the file, in file order; `heads` holds each one's header and names.
    struct Slot {
        uint64_t offset = 0; // of the record in the file
        size_t headAt = 0;   // in `heads`
        uint32_t headBytes = 0;
    };
    std::vector<Slot> slots;
    std::vector<uint8_t> heads;
    // The record's facts and names (pointing into `heads`); no data pointer.
    CacheRecord Record(size_t i) const;

    // Made by the first lookup, for the key its location kind matches by; the first record of a key wins.
    bool indexed = false;
    folder::RecordMatch indexedBy = folder::RecordMatch::NameAndFileTime;
    std::unordered_map<std::wstring, uint32_t> byKey;
    std::unordered_map<int32_t, uint32_t> byLocator;
    std::vector<uint8_t> buffer; // the slot of the last hit
};

// Find, then index the data file's records. Gives the record count, 0 when nothing usable (then `out`
// holds no records). With filter 0, more records than items marks the cache dirty (pictures were removed).
uint32_t ReadLocation(const std::wstring& cacheFolder, const CacheLocation& location, int32_t filter,
                      size_t itemCount, CacheBlock* out);

struct LookupContext {
    folder::LocationKind kind = folder::kFileSystemFolder;
    bool shellTimeCheck = false; // kind 1: compare the listed time instead of the file's
    int32_t boxWidth = 0;
    int32_t boxHeight = 0;
    CacheLock* lock = nullptr; // held while a record's slot is read from the data file
};

// Finds the item's record and decodes its thumbnail into `out` (24 bits). On a hit the item takes the
// record's time and facts. Kind 0 needs the item's path and name, kind 1 its path (and listed time),
// archives its locator. A record whose source changed is a miss, as is one the file no longer holds.
bool LookupItem(CacheBlock& cache, const LookupContext& context, folder::ThumbItem& item, image::JpegContext& jpeg,
                image::DecodedImage& out);

// One item's part in a cache write. A fresh thumbnail is compressed as soon as it is made, so that its
// pixels can go to the pane at once; the record's zero fill is added when it is written.
struct ThumbRecord {
    bool shown = false;          // the item got a thumbnail, fresh or from its old record
    std::vector<uint8_t> stream; // the JPEG stream; empty when not compressed (or it failed)
};

// Compresses the item's 24-bit thumbnail for a box whose slot `scratch` (slotSize bytes) is. False when
// the item has no usable bitmap or the stream does not fit the slot.
bool EncodeThumbnail(const folder::ThumbItem& item, int32_t quality, uint8_t* scratch, uint32_t slotSize,
                     std::vector<uint8_t>* stream);

// Updates the index, then rewrites the location's data file from the pane's items (merging with the
// old records as the pane's filter requires). False when the index or the data file cannot be written.
// An item from the cache that is shown keeps its old record; a fresh one gets a record from its stream.
bool WriteLocation(const std::wstring& cacheFolder, const CacheLocation& location, int32_t filter,
                   const folder::ThumbItem* items, const ThumbRecord* records, size_t count);
// The same with every item's record compressed from its pixels first.
bool WriteLocation(const std::wstring& cacheFolder, const CacheLocation& location, int32_t filter, int32_t quality,
                   const folder::ThumbItem* items, size_t count);

// An archive's listing from its data file, while the archive's time still matches the index.
bool RebuildArchiveListing(const std::wstring& cacheFolder, folder::LocationKind kind,
                           const std::wstring& archivePath, folder::ArchiveListing* out);
// The same under the lock, in the form the pane's listing asks for it.
std::function<bool(const folder::PaneLocation&, folder::ArchiveListing*)>
CachedListingReader(const std::wstring& cacheFolder, CacheLock* lock);

// Drops index records of locations that no longer exist (shell folders are always kept) and deletes
// their data files. False when there is no usable index.
bool PurgeCache(const std::wstring& cacheFolder, size_t* dropped = nullptr);

// The maintenance list: every index record with its data file's record count and size.
struct CacheEntryInfo {
    IndexRecord record;
    bool dataReadable = false;
    uint32_t recordCount = 0;
    uint64_t dataBytes = 0;
};
// False when the index cannot be read or its header is bad (message 30008).
bool ListCacheEntries(const std::wstring& cacheFolder, std::vector<CacheEntryInfo>* out);

// Deletes the entries with the given data-file numbers and their data files. Gives 0, or the string
// id of the first failure: 30004 a file could not be deleted, 30003 no temporary name, 30002 the
// temporary file could not be written, 30008 the index could not be read or replaced.
uint32_t DeleteCacheEntries(const std::wstring& cacheFolder, const std::vector<uint32_t>& numbers);

} // namespace thumbs
