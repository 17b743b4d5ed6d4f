// Thumbnail cache files. All integers little-endian; strings UTF-16LE without terminator, lengths in
// bytes.
//
//   index.dat            0  u32 magic 0x01900000
//                        4  u32 record count
//                        8  records: u32 data-file number, i32 box width, i32 box height,
//                           u64 location time, u32 path bytes, path
//   <number>.dat         0  u32 magic 0x01900000
//                        4  u32 record count
//                        8  records: 64-byte header (u64 time, i32 width, height, size, format, bit depth,
//                           mark C, E, I, A, locator, reserved 0, u32 name bytes, folder bytes, data bytes),
//                           then name, folder part, data (a JPEG stream in a zero-filled slot of the
//                           box's 24-bit bitmap size)
//
// Damage: a missing file, a size of 0 or of 2 GiB and more, a short header or a wrong magic make the
// file absent. A record that would end beyond the data, or whose string length is odd, ends the walk;
// the records before it stay usable. Writers put a zero magic in place first and the real header
// last, so a rewrite that stops half-way leaves a file that reads as absent rather than one whose
// records are partly old and partly new. An index whose tail is damaged is cut after its last whole
// record on the next update, so it never grows past its records.
//
// Reading keeps memory and time linear in the records: one walk takes the headers and names and skips
// the slots; each hit then reads its own slot, and only up to the stream's end marker.
#include "thumbs/thumb_cache.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "common/path.h"
#include "common/utf16.h"
#include "folder/names.h"
#include "folder/pane_location.h"

namespace thumbs {

namespace {

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t Get64(const uint8_t* p) { return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Put64(std::vector<uint8_t>& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}

void PutHeader(std::vector<uint8_t>& out, uint32_t count) {
    Put32(out, kCacheMagic);
    Put32(out, count);
}

uint32_t ByteLength(const std::wstring& text) { return static_cast<uint32_t>(utf16::UnitCount(text) * 2); }

// A whole cache file of acceptable size read into a page block of size + `spare` bytes.
bool ReadCacheFile(platform::File& file, size_t spare, platform::PageBlock* block, size_t* size) {
    uint64_t bytes = 0;
    if (!file.Size(&bytes) || bytes < kCacheHeaderSize || bytes >= kMaxCacheFileSize)
        return false;
    platform::PageBlock buffer(static_cast<size_t>(bytes) + spare);
    if (!buffer || !file.Seek(0) || !file.ReadExact(buffer.Get(), static_cast<size_t>(bytes)))
        return false;
    if (Get32(buffer.Get()) != kCacheMagic)
        return false;
    *block = std::move(buffer);
    *size = static_cast<size_t>(bytes);
    return true;
}

bool ReadIndexFile(platform::File& file, IndexContents* contents, size_t* fileSize) {
    platform::PageBlock block;
    size_t size = 0;
    if (!ReadCacheFile(file, 0, &block, &size))
        return false;
    *fileSize = size;
    return ParseIndex(block.Get(), size, contents);
}

// The key that pairs records with items: folded name, and the folded folder part when there is one.
std::wstring RecordKey(const std::wstring& name, const std::wstring& folderPart) {
    std::wstring key;
    key.reserve(name.size() + folderPart.size() + 1);
    for (wchar_t c : name)
        key.push_back(paths::FoldAscii(c));
    key.push_back(L'\0');
    for (wchar_t c : folderPart)
        key.push_back(paths::FoldAscii(c));
    return key;
}

// What a record of `kind` stores as its folder part for an item.
const std::wstring& ItemFolderPart(const folder::ThumbItem& item, folder::LocationKind kind) {
    return folder::SourceFor(kind).CacheFolderPart(item);
}

platform::FileTime StoredLocationTime(const CacheLocation& location) {
    return folder::SourceFor(location.kind).CacheTime(location.locationTime);
}

bool WriteAt(platform::File& file, uint64_t offset, const std::vector<uint8_t>& bytes) {
    return file.Seek(offset) && file.Write(bytes.data(), bytes.size()) == bytes.size();
}

struct IndexUpdate {
    uint32_t number = 0;
    int32_t oldBoxWidth = 0; // 0 x 0: no old data file to merge with
    int32_t oldBoxHeight = 0;
};

bool CreateIndex(const std::wstring& cacheFolder, const CacheLocation& location, IndexUpdate* update) {
    if (!platform::FolderExists(cacheFolder))
        platform::CreateFolder(cacheFolder);
    platform::File file;
    if (!file.Open(IndexPath(cacheFolder), platform::OpenMode::CreateAlways))
        return false;
    IndexRecord record;
    record.number = kFirstDataNumber;
    record.boxWidth = location.boxWidth;
    record.boxHeight = location.boxHeight;
    record.locationTime = StoredLocationTime(location);
    record.path = location.path;
    std::vector<uint8_t> bytes;
    PutHeader(bytes, 1);
    AppendIndexRecord(bytes, record);
    if (file.Write(bytes.data(), bytes.size()) != bytes.size())
        return false;
    *update = IndexUpdate{kFirstDataNumber, 0, 0};
    return true;
}

bool UpdateIndex(const std::wstring& cacheFolder, const CacheLocation& location, IndexUpdate* update) {
    platform::File file;
    IndexContents contents;
    size_t fileSize = 0;
    if (!file.Open(IndexPath(cacheFolder), platform::OpenMode::ReadWrite) ||
        !ReadIndexFile(file, &contents, &fileSize) || contents.declaredCount == 0) {
        file.Close();
        return CreateIndex(cacheFolder, location, update);
    }
    const auto match = std::find_if(contents.records.begin(), contents.records.end(), [&](const IndexRecord& r) {
        return paths::EqualFold(r.path, location.path);
    });
    size_t count = contents.records.size();
    if (match != contents.records.end()) {
        std::vector<uint8_t> fields;
        Put32(fields, static_cast<uint32_t>(location.boxWidth));
        Put32(fields, static_cast<uint32_t>(location.boxHeight));
        Put64(fields, StoredLocationTime(location));
        if (!WriteAt(file, match->offset + 4, fields))
            return false;
        *update = IndexUpdate{match->number, match->boxWidth, match->boxHeight};
    } else {
        std::vector<uint32_t> used;
        used.reserve(count);
        for (const IndexRecord& r : contents.records)
            used.push_back(r.number);
        IndexRecord record;
        record.number = NextDataNumber(std::move(used));
        record.boxWidth = location.boxWidth;
        record.boxHeight = location.boxHeight;
        record.locationTime = StoredLocationTime(location);
        record.path = location.path;
        std::vector<uint8_t> bytes;
        AppendIndexRecord(bytes, record);
        // Written over whatever follows the last whole record, so a damaged tail is dropped.
        if (!WriteAt(file, contents.intactEnd, bytes))
            return false;
        contents.intactEnd += bytes.size();
        ++count;
        // A reused number may still name a data file of a purged location: never merge with it.
        *update = IndexUpdate{record.number, 0, 0};
    }
    if (contents.intactEnd != fileSize || count != contents.declaredCount) {
        std::vector<uint8_t> header;
        Put32(header, static_cast<uint32_t>(count));
        if (!file.Seek(contents.intactEnd) || !file.SetEnd() || !WriteAt(file, 4, header))
            return false;
    }
    return true;
}

// Sequential writer of a data file's records, buffered in at most 1 MiB: a write sits beside a pane
// full of thumbnails, so it keeps its own memory small.
class RecordWriter {
  public:
    explicit RecordWriter(platform::File& file) : file_(file) {}
    void Add(const uint8_t* data, size_t size) {
        ++count_;
        if (buffer_.size() + size > kBufferBytes)
            Flush();
        if (size > kBufferBytes) {
            if (ok_ && file_.Write(data, size) != size)
                ok_ = false;
            return;
        }
        buffer_.reserve(kBufferBytes);
        buffer_.insert(buffer_.end(), data, data + size);
    }
    bool Flush() {
        if (!buffer_.empty() && file_.Write(buffer_.data(), buffer_.size()) != buffer_.size())
            ok_ = false;
        buffer_.clear();
        return ok_;
    }
    uint32_t Count() const { return count_; }

  private:
    static constexpr size_t kBufferBytes = 1u << 20;
    platform::File& file_;
    std::vector<uint8_t> buffer_;
    uint32_t count_ = 0;
    bool ok_ = true;
};

// A new record of the item: header, names, then its stream in a zero-filled slot. False (no record)
// when there is no stream or it does not fit the slot.
bool AssembleRecord(const folder::ThumbItem& item, folder::LocationKind kind, const std::vector<uint8_t>& stream,
                    uint32_t slotSize, std::vector<uint8_t>& out) {
    if (stream.empty() || stream.size() > slotSize)
        return false;
    const std::wstring& folderPart = ItemFolderPart(item, kind);
    out.clear();
    Put64(out, item.time);
    for (int32_t v : {item.width, item.height, item.size, item.format, item.bitDepth, item.markC, item.markE,
                      item.markI, item.markA, item.locator, 0})
        Put32(out, static_cast<uint32_t>(v));
    Put32(out, ByteLength(item.name));
    Put32(out, ByteLength(folderPart));
    Put32(out, slotSize);
    utf16::AppendLE(out, item.name);
    utf16::AppendLE(out, folderPart);
    const size_t at = out.size();
    out.resize(at + slotSize, 0);
    std::memcpy(out.data() + at, stream.data(), stream.size());
    return true;
}

// The facts and lengths of a record header; the names follow it at `p`.
void ParseHead(const uint8_t* p, CacheRecord* r) {
    r->time = Get64(p);
    int32_t* facts[] = {&r->width, &r->height, &r->size, &r->format, &r->bitDepth,
                        &r->markC, &r->markE,  &r->markI, &r->markA, &r->locator};
    for (size_t i = 0; i < sizeof(facts) / sizeof(facts[0]); ++i)
        *facts[i] = static_cast<int32_t>(Get32(p + 8 + 4 * i));
    r->nameBytes = Get32(p + 52);
    r->folderBytes = Get32(p + 56);
    r->dataBytes = Get32(p + 60);
    r->name = p + kCacheRecordHeaderSize;
    r->folder = r->name + r->nameBytes;
    r->data = nullptr;
    r->begin = p;
    r->totalBytes = kCacheRecordHeaderSize + static_cast<size_t>(r->nameBytes) + r->folderBytes + r->dataBytes;
}

// The header and names of the record at `offset`, when a whole record of sane lengths fits the file.
bool ReadHead(platform::File& file, uint64_t offset, uint64_t fileSize, std::vector<uint8_t>& head) {
    if (fileSize < offset || fileSize - offset < kCacheRecordHeaderSize)
        return false;
    // Names are short: one read usually takes them with the header.
    const uint64_t guess = std::min<uint64_t>(fileSize - offset, kCacheRecordHeaderSize + 1024);
    head.resize(static_cast<size_t>(guess));
    if (!file.Seek(offset) || !file.ReadExact(head.data(), head.size()))
        return false;
    const uint64_t names = static_cast<uint64_t>(Get32(head.data() + 52)) + Get32(head.data() + 56);
    const uint64_t total = kCacheRecordHeaderSize + names + Get32(head.data() + 60);
    if (total > fileSize - offset || Get32(head.data() + 52) % 2 != 0 || Get32(head.data() + 56) % 2 != 0)
        return false;
    const size_t wanted = static_cast<size_t>(kCacheRecordHeaderSize + names);
    if (wanted > head.size()) {
        const size_t had = head.size();
        head.resize(wanted);
        if (!file.ReadExact(head.data() + had, wanted - had))
            return false;
    }
    head.resize(wanted);
    return true;
}

// The lookup key of a record or an item under `match`: the folded name (kind 0) or folder part (kind 1).
std::wstring FoldedKey(const std::wstring& text) {
    std::wstring key(text);
    for (wchar_t& c : key)
        c = paths::FoldAscii(c);
    return key;
}

void IndexRecords(CacheBlock& cache, folder::RecordMatch match) {
    cache.byKey.clear();
    cache.byLocator.clear();
    for (uint32_t i = 0; i < cache.slots.size(); ++i) {
        const CacheRecord r = cache.Record(i);
        if (match == folder::RecordMatch::Locator)
            cache.byLocator.emplace(r.locator, i);
        else
            cache.byKey.emplace(FoldedKey(match == folder::RecordMatch::NameAndFileTime ? RecordName(r) : RecordFolder(r)), i);
    }
    cache.indexed = true;
    cache.indexedBy = match;
}

// Reads record `i`'s JPEG stream into the block's buffer, with spare zero bytes behind it for a decoder
// that reads a little ahead. The zero fill after the stream's end marker is not read. False when the
// file is gone, damaged, or no longer holds the indexed record at its place.
bool ReadSlot(CacheBlock& cache, size_t i, CacheLock* lock, size_t* streamBytes) {
    constexpr size_t kSpare = 68, kChunk = 16384;
    const CacheBlock::Slot& slot = cache.slots[i];
    const uint32_t dataBytes = Get32(cache.heads.data() + slot.headAt + 60);
    CacheLockGuard guard(lock);
    platform::File file;
    uint64_t fileSize = 0;
    uint8_t header[kCacheHeaderSize];
    std::vector<uint8_t> head;
    if (!file.Open(cache.dataPath, platform::OpenMode::ReadShared) || !file.Size(&fileSize) ||
        fileSize >= kMaxCacheFileSize || fileSize < kCacheHeaderSize || !file.ReadExact(header, sizeof header) ||
        Get32(header) != kCacheMagic || !ReadHead(file, slot.offset, fileSize, head) ||
        head.size() != slot.headBytes || std::memcmp(head.data(), cache.heads.data() + slot.headAt, head.size()) != 0 ||
        !file.Seek(slot.offset + slot.headBytes))
        return false;
    if (cache.buffer.size() < static_cast<size_t>(dataBytes) + kSpare)
        cache.buffer.resize(static_cast<size_t>(dataBytes) + kSpare);
    uint8_t* data = cache.buffer.data();
    size_t got = 0, end = 0; // end: just past the last non-zero byte so far
    while (got < dataBytes) {
        const size_t n = std::min<size_t>(kChunk, dataBytes - got);
        if (!file.ReadExact(data + got, n))
            return false;
        for (size_t k = got + n; k > got; --k)
            if (data[k - 1] != 0) {
                end = k;
                break;
            }
        got += n;
        // A stream that has ended (EOI) followed by zeros: the rest is fill.
        if (end >= 2 && end < got && data[end - 2] == 0xFF && data[end - 1] == 0xD9)
            break;
    }
    std::memset(data + end, 0, kSpare);
    *streamBytes = end;
    return true;
}

} // namespace

bool ParseIndex(const uint8_t* data, size_t size, IndexContents* out) {
    *out = IndexContents();
    if (!data || size < kCacheHeaderSize || Get32(data) != kCacheMagic)
        return false;
    out->declaredCount = Get32(data + 4);
    size_t offset = kCacheHeaderSize;
    out->intactEnd = offset;
    for (uint32_t i = 0; i < out->declaredCount; ++i) {
        if (size - offset < kIndexRecordHeaderSize)
            break;
        const uint8_t* p = data + offset;
        const uint32_t pathBytes = Get32(p + 20);
        if (pathBytes % 2 != 0 || pathBytes > size - offset - kIndexRecordHeaderSize)
            break;
        IndexRecord record;
        record.number = Get32(p);
        record.boxWidth = static_cast<int32_t>(Get32(p + 4));
        record.boxHeight = static_cast<int32_t>(Get32(p + 8));
        record.locationTime = Get64(p + 12);
        record.path = utf16::FromLE(p + kIndexRecordHeaderSize, pathBytes / 2);
        record.offset = offset;
        out->records.push_back(std::move(record));
        offset += kIndexRecordHeaderSize + pathBytes;
        out->intactEnd = offset;
    }
    return true;
}

void AppendIndexRecord(std::vector<uint8_t>& out, const IndexRecord& record) {
    Put32(out, record.number);
    Put32(out, static_cast<uint32_t>(record.boxWidth));
    Put32(out, static_cast<uint32_t>(record.boxHeight));
    Put64(out, record.locationTime);
    Put32(out, ByteLength(record.path));
    utf16::AppendLE(out, record.path);
}

bool RecordCursor::Next(CacheRecord* r) {
    const size_t left = static_cast<size_t>(end_ - cur_);
    if (left < kCacheRecordHeaderSize)
        return false;
    const uint8_t* p = cur_;
    const uint64_t nameBytes = Get32(p + 52), folderBytes = Get32(p + 56), dataBytes = Get32(p + 60);
    const uint64_t total = kCacheRecordHeaderSize + nameBytes + folderBytes + dataBytes;
    if (total > left || nameBytes % 2 != 0 || folderBytes % 2 != 0)
        return false;
    ParseHead(p, r);
    r->data = r->folder + folderBytes;
    cur_ += total;
    return true;
}

CacheRecord CacheBlock::Record(size_t i) const {
    CacheRecord r;
    ParseHead(heads.data() + slots[i].headAt, &r);
    return r;
}

std::wstring RecordName(const CacheRecord& record) { return utf16::FromLE(record.name, record.nameBytes / 2); }

std::wstring RecordFolder(const CacheRecord& record) { return utf16::FromLE(record.folder, record.folderBytes / 2); }

uint32_t SlotSize(int32_t boxWidth, int32_t boxHeight) {
    if (boxWidth <= 0 || boxHeight <= 0)
        return 0;
    const uint64_t stride = (3ull * static_cast<uint64_t>(boxWidth) + 3) & ~3ull;
    const uint64_t bytes = stride * static_cast<uint64_t>(boxHeight);
    return bytes > 0xFFFFFFFFull ? 0 : static_cast<uint32_t>(bytes);
}

std::wstring IndexPath(const std::wstring& cacheFolder) { return cacheFolder + L"\\index.dat"; }

std::wstring DataFilePath(const std::wstring& cacheFolder, uint32_t number) {
    return cacheFolder + L"\\" + std::to_wstring(number) + L".dat";
}

uint32_t NextDataNumber(std::vector<uint32_t> used) {
    std::sort(used.begin(), used.end());
    for (size_t k = 0; k < used.size(); ++k) {
        const uint64_t candidate = static_cast<uint64_t>(kFirstDataNumber) + k;
        if (used[k] > candidate)
            return static_cast<uint32_t>(candidate);
    }
    return static_cast<uint32_t>(kFirstDataNumber + used.size());
}

FindResult FindLocation(const std::wstring& cacheFolder, const CacheLocation& location) {
    FindResult result;
    platform::File file;
    IndexContents contents;
    size_t fileSize = 0;
    if (!file.Open(IndexPath(cacheFolder), platform::OpenMode::ReadShared) ||
        !ReadIndexFile(file, &contents, &fileSize))
        return result;
    for (const IndexRecord& record : contents.records) {
        if (!paths::EqualFold(record.path, location.path))
            continue;
        if (folder::SourceFor(location.kind).CacheFollowsFileTime()) {
            platform::FileTime now = 0;
            if (!platform::GetLastWriteTime(location.path, &now) || now != record.locationTime)
                return result;
        }
        result.dirty = record.boxWidth != location.boxWidth || record.boxHeight != location.boxHeight;
        result.stale = record.boxWidth < location.boxWidth || record.boxHeight < location.boxHeight;
        result.number = record.number;
        result.dataPath = DataFilePath(cacheFolder, record.number);
        result.found = platform::FileExists(result.dataPath);
        return result;
    }
    return result;
}

uint32_t ReadLocation(const std::wstring& cacheFolder, const CacheLocation& location, int32_t filter,
                      size_t itemCount, CacheBlock* out) {
    *out = CacheBlock();
    const FindResult found = FindLocation(cacheFolder, location);
    out->dirty = found.dirty;
    out->stale = found.stale;
    out->boxChanged = found.dirty;
    if (!found.found)
        return 0;
    platform::File file;
    uint64_t fileSize = 0;
    uint8_t header[kCacheHeaderSize];
    if (!file.Open(found.dataPath, platform::OpenMode::ReadShared) || !file.Size(&fileSize) ||
        fileSize < kCacheHeaderSize || fileSize >= kMaxCacheFileSize || !file.ReadExact(header, sizeof header) ||
        Get32(header) != kCacheMagic || Get32(header + 4) == 0)
        return 0;
    // Headers and names only; the slots are skipped. A record that does not fit ends the walk.
    std::vector<uint8_t> head;
    for (uint64_t offset = kCacheHeaderSize; ReadHead(file, offset, fileSize, head);) {
        CacheBlock::Slot slot;
        slot.offset = offset;
        slot.headAt = out->heads.size();
        slot.headBytes = static_cast<uint32_t>(head.size());
        out->heads.insert(out->heads.end(), head.begin(), head.end());
        out->slots.push_back(slot);
        offset += head.size() + Get32(head.data() + 60);
    }
    out->dataPath = found.dataPath;
    out->recordCount = Get32(header + 4);
    if (filter == 0 && out->recordCount > itemCount)
        out->dirty = true;
    return out->recordCount;
}

bool LookupItem(CacheBlock& cache, const LookupContext& context, folder::ThumbItem& item, image::JpegContext& jpeg,
                image::DecodedImage& out) {
    if (cache.slots.empty())
        return false;
    const folder::RecordMatch match = folder::SourceFor(context.kind).CacheMatch();
    if (!cache.indexed || cache.indexedBy != match)
        IndexRecords(cache, match);
    uint32_t index = 0;
    if (match == folder::RecordMatch::Locator) {
        const auto found = cache.byLocator.find(item.locator);
        if (found == cache.byLocator.end())
            return false;
        index = found->second;
    } else {
        const auto found =
            cache.byKey.find(FoldedKey(match == folder::RecordMatch::NameAndFileTime ? item.name : item.path));
        if (found == cache.byKey.end())
            return false;
        index = found->second;
    }
    const CacheRecord hit = cache.Record(index);
    if (match == folder::RecordMatch::NameAndFileTime) {
        platform::FileTime now = 0;
        if (!platform::GetLastWriteTime(item.path, &now) || now != hit.time)
            return false;
    } else if (match == folder::RecordMatch::PathAndTime) {
        platform::FileTime now = item.time;
        if (!context.shellTimeCheck && !platform::GetLastWriteTime(item.path, &now))
            return false;
        if (now != hit.time)
            return false;
    }
    size_t streamBytes = 0;
    if (!ReadSlot(cache, index, context.lock, &streamBytes))
        return false;
    // A record holds a thumbnail no larger than the largest box; anything bigger is damage.
    jpeg.src.limits.max_pixels = 4u * 800u * 800u;
    jpeg.src.limits.max_codec_memory = 64u << 20;
    const bool fit = context.boxWidth > 0 && context.boxHeight > 0;
    jpeg.reduce = fit;
    jpeg.box_width = fit ? static_cast<uint32_t>(context.boxWidth) : 0;
    jpeg.box_height = fit ? static_cast<uint32_t>(context.boxHeight) : 0;
    if (!image::JpegDecodeFromMemory(jpeg, cache.buffer.data(), streamBytes, out) || !out.pixels)
        return false;
    if (out.info.header.bit_count != 24 && !image::ConvertTo24Bit(out))
        return false;
    item.time = hit.time;
    item.width = hit.width;
    item.height = hit.height;
    item.size = hit.size;
    item.format = hit.format;
    item.bitDepth = hit.bitDepth;
    item.markC = hit.markC;
    item.markE = hit.markE;
    item.markI = hit.markI;
    item.markA = hit.markA;
    return true;
}

bool EncodeThumbnail(const folder::ThumbItem& item, int32_t quality, uint8_t* scratch, uint32_t slotSize,
                     std::vector<uint8_t>* stream) {
    stream->clear();
    const image::BitmapInfoHeader& h = item.header;
    if (!item.pixels || !scratch || h.bit_count != 24 || h.width <= 0 || h.height <= 0)
        return false;
    image::JpegEncoder enc = image::JpegEncoderInit(h.width, h.height, quality, scratch, slotSize);
    if (!image::EncodeJpeg(enc, item.pixels) || enc.produced == 0 || enc.produced > slotSize)
        return false;
    stream->assign(scratch, scratch + enc.produced);
    return true;
}

bool WriteLocation(const std::wstring& cacheFolder, const CacheLocation& location, int32_t filter,
                   const folder::ThumbItem* items, const ThumbRecord* records, size_t count) {
    const uint32_t slotSize = SlotSize(location.boxWidth, location.boxHeight);
    if (slotSize == 0)
        return false;
    IndexUpdate update;
    if (!UpdateIndex(cacheFolder, location, &update))
        return false;
    platform::File file;
    if (!file.Open(DataFilePath(cacheFolder, update.number), platform::OpenMode::ReadWriteAlways))
        return false;

    // The old records are read whole only when some may be kept: the file is rewritten in place.
    bool oldNeeded = filter != 0;
    for (size_t i = 0; i < count && !oldNeeded; ++i)
        oldNeeded = items[i].fromCache && records[i].shown;
    platform::PageBlock old;
    size_t oldSize = 0;
    const bool merge = oldNeeded && update.oldBoxWidth == location.boxWidth &&
                       update.oldBoxHeight == location.boxHeight && ReadCacheFile(file, 4, &old, &oldSize);
    std::vector<CacheRecord> oldRecords;
    if (merge) {
        RecordCursor cursor(old.Get() + kCacheHeaderSize, oldSize - kCacheHeaderSize);
        CacheRecord r;
        while (cursor.Next(&r))
            oldRecords.push_back(r);
    }

    const std::vector<uint8_t> invalid(kCacheHeaderSize, 0);
    if (!WriteAt(file, 0, invalid))
        return false;
    RecordWriter writer(file);
    std::vector<uint8_t> record;
    auto addNew = [&](size_t i) {
        if (AssembleRecord(items[i], location.kind, records[i].stream, slotSize, record))
            writer.Add(record.data(), record.size());
    };

    if (!merge) {
        // A shown item from the cache has a stream only when its box changed; without one it loses its
        // record, which happens only when the old file went or changed since it was read.
        for (size_t i = 0; i < count; ++i)
            if (records[i].shown)
                addNew(i);
    } else if (filter == 0) {
        // Every picture is listed: the items decide what the file holds, in pane order.
        std::unordered_map<std::wstring, const CacheRecord*> byKey;
        for (const CacheRecord& r : oldRecords)
            byKey.emplace(RecordKey(RecordName(r), RecordFolder(r)), &r);
        for (size_t i = 0; i < count; ++i) {
            const folder::ThumbItem& item = items[i];
            if (!records[i].shown)
                continue;
            if (item.fromCache) {
                const auto found = byKey.find(RecordKey(item.name, ItemFolderPart(item, location.kind)));
                if (found != byKey.end())
                    writer.Add(found->second->begin, found->second->totalBytes);
                continue;
            }
            addNew(i);
        }
    } else {
        // Only some pictures are listed: records of other pictures pass through untouched.
        std::unordered_map<std::wstring, size_t> byKey;
        for (size_t i = 0; i < count; ++i)
            byKey.emplace(RecordKey(items[i].name, ItemFolderPart(items[i], location.kind)), i);
        for (const CacheRecord& r : oldRecords) {
            const auto found = byKey.find(RecordKey(RecordName(r), RecordFolder(r)));
            if (found != byKey.end() && !items[found->second].fromCache) {
                if (records[found->second].shown)
                    addNew(found->second);
                continue;
            }
            writer.Add(r.begin, r.totalBytes);
        }
    }
    if (!writer.Flush() || !file.SetEnd())
        return false;
    std::vector<uint8_t> header;
    PutHeader(header, writer.Count());
    return WriteAt(file, 0, header);
}

bool WriteLocation(const std::wstring& cacheFolder, const CacheLocation& location, int32_t filter, int32_t quality,
                   const folder::ThumbItem* items, size_t count) {
    const uint32_t slotSize = SlotSize(location.boxWidth, location.boxHeight);
    platform::PageBlock scratch(slotSize);
    if (!scratch)
        return false;
    std::vector<ThumbRecord> records(count);
    for (size_t i = 0; i < count; ++i) {
        records[i].shown = items[i].pixels != nullptr;
        EncodeThumbnail(items[i], quality, scratch.Get(), slotSize, &records[i].stream);
    }
    return WriteLocation(cacheFolder, location, filter, items, records.data(), count);
}

bool RebuildArchiveListing(const std::wstring& cacheFolder, folder::LocationKind kind,
                           const std::wstring& archivePath, folder::ArchiveListing* out) {
    *out = folder::ArchiveListing();
    if (!folder::SourceFor(kind).HoldsMembers())
        return false;
    CacheLocation location;
    location.kind = kind;
    location.path = archivePath;
    CacheBlock block;
    if (ReadLocation(cacheFolder, location, 1, 0, &block) == 0)
        return false;
    if (!platform::GetLastWriteTime(archivePath, &out->archiveTime))
        return false;
    for (size_t i = 0; i < block.slots.size(); ++i) {
        const CacheRecord r = block.Record(i);
        folder::ArchiveEntry entry;
        entry.name = RecordName(r);
        entry.folder = RecordFolder(r);
        entry.locator = static_cast<uint32_t>(r.locator);
        entry.size = static_cast<uint32_t>(r.size);
        entry.time = r.time;
        out->entries.push_back(std::move(entry));
    }
    return !out->entries.empty();
}

std::function<bool(const folder::PaneLocation&, folder::ArchiveListing*)>
CachedListingReader(const std::wstring& cacheFolder, CacheLock* lock) {
    return [cacheFolder, lock](const folder::PaneLocation& location, folder::ArchiveListing* out) {
        if (cacheFolder.empty())
            return false;
        CacheLockGuard guard(lock);
        return RebuildArchiveListing(cacheFolder, location.kind, location.path, out);
    };
}

bool PurgeCache(const std::wstring& cacheFolder, size_t* dropped) {
    if (dropped)
        *dropped = 0;
    platform::File file;
    IndexContents contents;
    size_t fileSize = 0;
    if (!file.Open(IndexPath(cacheFolder), platform::OpenMode::ReadWrite) ||
        !ReadIndexFile(file, &contents, &fileSize))
        return false;
    std::vector<uint8_t> kept;
    std::vector<uint32_t> gone;
    uint32_t keptCount = 0;
    for (const IndexRecord& record : contents.records) {
        if (record.locationTime == folder::kShellCacheTime || platform::PathExists(record.path)) {
            AppendIndexRecord(kept, record);
            ++keptCount;
        } else {
            gone.push_back(record.number);
        }
    }
    const std::vector<uint8_t> invalid(kCacheHeaderSize, 0);
    std::vector<uint8_t> header;
    PutHeader(header, keptCount);
    if (!WriteAt(file, 0, invalid) || !WriteAt(file, kCacheHeaderSize, kept) || !file.SetEnd() ||
        !WriteAt(file, 0, header))
        return false;
    file.Close();
    // Data files go only once the index no longer names them.
    for (uint32_t number : gone)
        platform::DeleteFileAt(DataFilePath(cacheFolder, number));
    if (dropped)
        *dropped = gone.size();
    return true;
}

bool ListCacheEntries(const std::wstring& cacheFolder, std::vector<CacheEntryInfo>* out) {
    out->clear();
    platform::File file;
    IndexContents contents;
    size_t fileSize = 0;
    if (!file.Open(IndexPath(cacheFolder), platform::OpenMode::ReadShared) ||
        !ReadIndexFile(file, &contents, &fileSize))
        return false;
    for (IndexRecord& record : contents.records) {
        CacheEntryInfo info;
        platform::File data;
        uint64_t bytes = 0;
        uint8_t header[kCacheHeaderSize];
        if (data.Open(DataFilePath(cacheFolder, record.number), platform::OpenMode::ReadShared) && data.Size(&bytes) &&
            bytes >= kCacheHeaderSize && bytes < kMaxCacheFileSize && data.ReadExact(header, sizeof header) &&
            Get32(header) == kCacheMagic) {
            info.dataReadable = true;
            info.recordCount = Get32(header + 4);
            info.dataBytes = bytes;
        }
        info.record = std::move(record);
        out->push_back(std::move(info));
    }
    return true;
}

uint32_t DeleteCacheEntries(const std::wstring& cacheFolder, const std::vector<uint32_t>& numbers) {
    std::vector<CacheEntryInfo> entries;
    if (!ListCacheEntries(cacheFolder, &entries))
        return 30008;
    std::vector<uint8_t> remaining;
    uint32_t remainingCount = 0;
    uint32_t failure = 0;
    for (const CacheEntryInfo& entry : entries) {
        if (std::find(numbers.begin(), numbers.end(), entry.record.number) == numbers.end()) {
            AppendIndexRecord(remaining, entry.record);
            ++remainingCount;
            continue;
        }
        const std::wstring data = DataFilePath(cacheFolder, entry.record.number);
        if (platform::FileExists(data) && !platform::DeleteFileAt(data) && failure == 0)
            failure = 30004;
    }
    if (remainingCount == 0) {
        if (!platform::DeleteFileAt(IndexPath(cacheFolder)) && failure == 0)
            failure = 30004;
        return failure;
    }
    const std::wstring temp = platform::MakeTempFile();
    if (temp.empty())
        return failure ? failure : 30003;
    std::vector<uint8_t> bytes;
    PutHeader(bytes, remainingCount);
    bytes.insert(bytes.end(), remaining.begin(), remaining.end());
    bool written = false;
    {
        platform::File out;
        written = out.Open(temp, platform::OpenMode::CreateAlways) && out.Write(bytes.data(), bytes.size()) == bytes.size();
    }
    uint32_t status = failure;
    if (!written)
        status = status ? status : 30002;
    else if (!platform::CopyOver(temp, IndexPath(cacheFolder)))
        status = status ? status : 30008;
    platform::DeleteFileAt(temp);
    return status;
}

} // namespace thumbs
