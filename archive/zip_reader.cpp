#include "archive/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/zip_format.h"
#include "common/byte_cursor.h"
#include "common/crc32.h"

namespace archive {

namespace {

using platform::File;
using namespace zipformat;

// The end record plus the longest comment it can carry.
constexpr uint64_t kEndSearchSpan = kEndSize + 65535;
// The search window stops here before the end of the file: a record found by searching is followed
// by at least one comment byte (one without a comment is found by the first, direct look).
constexpr uint64_t kEndSearchTail = 19;
constexpr size_t kMaxNameBytes = 259;
constexpr size_t kMaxNameChars = 259;
// Positions travel as signed 32-bit values.
constexpr uint64_t kMaxPosition = 0x7FFFFFFF;
// Deflate cannot expand by more than about 1032:1, so a larger claim is damage: refused before the
// output block is allocated, which keeps a few bytes of header from asking for gigabytes.
constexpr uint64_t kMaxDeflateRatio = 1032;

bool ReadAt(File& file, uint64_t pos, void* buffer, size_t bytes) {
    return file.Seek(pos) && file.ReadExact(buffer, bytes);
}

// Reads the central directory through one window of the file: a directory of thousands of headers
// costs a few large reads instead of two seeks and two reads per member.
class DirectoryReader {
  public:
    explicit DirectoryReader(File& file) : file_(file), window_(kWindow) {}

    bool ReadAt(uint64_t pos, void* buffer, size_t bytes) {
        if (pos < start_ || pos - start_ > filled_ || bytes > filled_ - (pos - start_)) {
            if (bytes > kWindow)
                return archive::ReadAt(file_, pos, buffer, bytes);
            start_ = pos;
            filled_ = file_.Seek(pos) ? file_.Read(window_.data(), kWindow) : 0;
            if (bytes > filled_)
                return false;
        }
        std::memcpy(buffer, window_.data() + (pos - start_), bytes);
        return true;
    }

  private:
    static constexpr size_t kWindow = 64 * 1024;
    File& file_;
    std::vector<uint8_t> window_;
    uint64_t start_ = 0;
    size_t filled_ = 0;
};

ZipEndRecord ParseEndRecord(const uint8_t* record) {
    bytes::ByteCursor c(record, kEndSize);
    ZipEndRecord end;
    if (c.U32LE() != kEndSignature)
        return end;
    c.Skip(4);
    end.count = c.U16LE();
    c.Skip(6);
    end.directoryOffset = c.U32LE();
    return end;
}

platform::FileTime MemberTime(uint16_t date, uint16_t time) {
    platform::FileTime utc = 0;
    return platform::DosDateTimeToUtc(date, time, &utc) ? utc : 0;
}

// The fields of a central-directory header that the reader uses.
struct DirectoryHeader {
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t time = 0;
    uint16_t date = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t size = 0;
    uint16_t nameLength = 0;
    uint32_t localOffset = 0;
    uint64_t next = 0; // position of the following header
};

bool ReadDirectoryHeader(DirectoryReader& reader, uint64_t pos, DirectoryHeader* h) {
    uint8_t raw[kDirectorySize];
    if (!reader.ReadAt(pos, raw, sizeof raw))
        return false;
    bytes::ByteCursor c(raw, sizeof raw);
    if (c.U32LE() != kDirectorySignature)
        return false;
    c.Skip(4);
    h->flags = c.U16LE();
    h->method = c.U16LE();
    h->time = c.U16LE();
    h->date = c.U16LE();
    h->crc = c.U32LE();
    h->compressedSize = c.U32LE();
    h->size = c.U32LE();
    h->nameLength = c.U16LE();
    const uint16_t extraLength = c.U16LE();
    const uint16_t commentLength = c.U16LE();
    c.Skip(8);
    h->localOffset = c.U32LE();
    h->next = pos + kDirectorySize + h->nameLength + extraLength + commentLength;
    return c.Ok();
}


bool ReadMemberName(DirectoryReader& reader, uint64_t pos, const DirectoryHeader& h, std::wstring* name) {
    std::string raw(std::min<size_t>(h.nameLength, kMaxNameBytes), '\0');
    if (!raw.empty() && !reader.ReadAt(pos, &raw[0], raw.size()))
        return false;
    // The name is handled as a terminated string: a NUL inside it ends it.
    raw.resize(std::strlen(raw.c_str()));
    *name = (h.flags & kFlagUtf8) ? platform::Utf8ToWide(raw) : platform::AnsiToWide(raw);
    if (name->size() > kMaxNameChars)
        name->resize(kMaxNameChars);
    return true;
}

// A member written with a data descriptor has zero sizes in its local header; the directory has them.
bool SizesFromDirectory(File& file, uint32_t locator, uint32_t* crc, uint32_t* compressedSize, uint32_t* size) {
    const ZipEndRecord end = FindEndRecord(file);
    if (end.directoryOffset > kMaxPosition)
        return false;
    DirectoryReader reader(file);
    uint64_t pos = end.directoryOffset;
    for (uint32_t i = 0; i < end.count; ++i) {
        DirectoryHeader h;
        if (!ReadDirectoryHeader(reader, pos, &h))
            return false;
        if (h.localOffset == locator) {
            *crc = h.crc;
            *compressedSize = h.compressedSize;
            *size = h.size;
            return true;
        }
        pos = h.next;
    }
    return false;
}

bool Inflate(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize) {
    z_stream zs = {};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return false;
    zs.next_in = const_cast<uint8_t*>(in);
    zs.avail_in = inSize;
    zs.next_out = out;
    zs.avail_out = outSize;
    const int result = inflate(&zs, Z_NO_FLUSH);
    const uLong produced = zs.total_out;
    inflateEnd(&zs);
    // A stream that ends early leaves zeros behind it; those must never pass for the member.
    return (result == Z_OK || result == Z_STREAM_END) && produced == outSize;
}

} // namespace

ZipEndRecord FindEndRecord(File& file) {
    uint64_t fileSize = 0;
    if (!file.Size(&fileSize) || fileSize < kEndSize)
        return {};
    uint8_t record[kEndSize];
    if (!ReadAt(file, fileSize - kEndSize, record, sizeof record))
        return {};
    if (bytes::LoadU32LE(record) == kEndSignature)
        return ParseEndRecord(record);

    // A file shorter than the whole span is searched from its first byte.
    const uint64_t start = fileSize > kEndSearchSpan ? fileSize - kEndSearchSpan : 0;
    std::vector<uint8_t> window(static_cast<size_t>(fileSize - kEndSearchTail - start));
    if (!ReadAt(file, start, window.data(), window.size()))
        return {};
    for (size_t i = window.size(); i >= 4; --i) {
        const uint8_t* p = &window[i - 4];
        if (p[0] == 0x50 && p[1] == 0x4B && p[2] == 0x05 && p[3] == 0x06) {
            if (!ReadAt(file, start + i - 4, record, sizeof record))
                return {};
            return ParseEndRecord(record);
        }
    }
    return {};
}

bool ListZipArchive(File& file, location::ArchiveListing* listing) {
    const ZipEndRecord end = FindEndRecord(file);
    if (end.count == 0 || end.directoryOffset > kMaxPosition)
        return false;
    location::ArchiveListing out;
    if (!file.LastWriteTime(&out.archiveTime))
        return false;
    out.entries.reserve(end.count);
    DirectoryReader reader(file);
    uint64_t pos = end.directoryOffset;
    for (uint32_t i = 0; i < end.count; ++i) {
        DirectoryHeader h;
        if (!ReadDirectoryHeader(reader, pos, &h))
            return false;
        if (h.method == kMethodStored || h.method == kMethodDeflate) {
            location::ArchiveEntry entry;
            std::wstring path;
            if (!ReadMemberName(reader, pos + kDirectorySize, h, &path))
                return false;
            location::SplitMemberPath(std::move(path), false, &entry);
            entry.locator = h.localOffset;
            entry.size = h.size;
            entry.time = MemberTime(h.date, h.time);
            out.entries.push_back(std::move(entry));
        }
        pos = h.next;
    }
    if (out.entries.empty())
        return false;
    *listing = std::move(out);
    return true;
}

bool ListZipArchive(const std::wstring& path, location::ArchiveListing* listing) {
    File file;
    return file.Open(path, platform::OpenMode::ReadShared) && ListZipArchive(file, listing);
}

bool ExtractZipEntry(File& file, uint32_t locator, platform::PageBlock* block, uint32_t* size,
                     platform::FileTime* time) {
    *block = platform::PageBlock();
    *size = 0;
    uint8_t raw[kLocalSize];
    if (locator > kMaxPosition || !ReadAt(file, locator, raw, sizeof raw))
        return false;
    bytes::ByteCursor c(raw, sizeof raw);
    if (c.U32LE() != kLocalSignature)
        return false;
    c.Skip(2);
    const uint16_t flags = c.U16LE();
    const uint16_t method = c.U16LE();
    const uint16_t dosTime = c.U16LE();
    const uint16_t dosDate = c.U16LE();
    uint32_t crc = c.U32LE();
    uint32_t compressedSize = c.U32LE();
    uint32_t memberSize = c.U32LE();
    const uint16_t nameLength = c.U16LE();
    const uint16_t extraLength = c.U16LE();
    if (time)
        *time = MemberTime(dosDate, dosTime);
    if (flags & kFlagDataDescriptor) {
        if (!SizesFromDirectory(file, locator, &crc, &compressedSize, &memberSize))
            return false;
    }
    const uint64_t data = uint64_t{locator} + kLocalSize + nameLength + extraLength;
    uint64_t fileSize = 0;
    if (!file.Size(&fileSize) || data > fileSize)
        return false;
    const uint64_t left = fileSize - data;

    platform::PageBlock out;
    if (method == kMethodStored) {
        if (memberSize > left)
            return false;
        out = platform::PageBlock(size_t{memberSize} + 4);
        if (!out || (memberSize > 0 && !ReadAt(file, data, out.Get(), memberSize)))
            return false;
    } else if (method == kMethodDeflate) {
        if (compressedSize > left || memberSize > (uint64_t{compressedSize} + 1) * kMaxDeflateRatio)
            return false;
        out = platform::PageBlock(size_t{memberSize} + 4);
        platform::PageBlock in(size_t{compressedSize} + 4);
        if (!out || !in || !ReadAt(file, data, in.Get(), compressedSize))
            return false;
        if (!Inflate(in.Get(), compressedSize, out.Get(), memberSize))
            return false;
    } else {
        return false;
    }
    if (crc::Crc32(out.Get(), memberSize) != crc)
        return false;
    *block = std::move(out);
    *size = memberSize;
    return true;
}

bool ViewStoredZipEntry(const platform::MappedView& view, uint32_t locator, const uint8_t** data, uint32_t* size) {
    *data = nullptr;
    *size = 0;
    if (!view.Data() || locator > kMaxPosition || locator > view.Size() || view.Size() - locator < kLocalSize)
        return false;
    bytes::ByteCursor c(view.Data() + locator, kLocalSize);
    if (c.U32LE() != kLocalSignature)
        return false;
    c.Skip(2);
    const uint16_t flags = c.U16LE();
    const uint16_t method = c.U16LE();
    c.Skip(4);
    const uint32_t crc = c.U32LE();
    c.Skip(4);
    const uint32_t memberSize = c.U32LE();
    const uint16_t nameLength = c.U16LE();
    const uint16_t extraLength = c.U16LE();
    // Sizes after the data are found through the directory: the copying path does that.
    if (method != kMethodStored || (flags & kFlagDataDescriptor))
        return false;
    const uint64_t start = uint64_t{locator} + kLocalSize + nameLength + extraLength;
    if (start > view.Size() || memberSize > view.Size() - start)
        return false;
    const uint8_t* bytes = view.Data() + start;
    if (crc::Crc32(bytes, memberSize) != crc)
        return false;
    *data = bytes;
    *size = memberSize;
    return true;
}

bool ExtractZipEntry(const std::wstring& path, uint32_t locator, platform::PageBlock* block, uint32_t* size) {
    *block = platform::PageBlock();
    *size = 0;
    File file;
    return file.Open(path, platform::OpenMode::ReadShared) && ExtractZipEntry(file, locator, block, size);
}

} // namespace archive
