#include "plugins/archive/archive_core.h"

#include <archive.h>
#include <archive_entry.h>
#include <lzma.h>
#include <zlib.h>

#include <cctype>
#include <cstring>
#include <memory>

namespace archive_plugin {
namespace {

constexpr size_t kTarBlock = 512;

// A tar header: the checksum field (octal, at 148) equals the sum of the header's bytes with the field
// itself counted as spaces. An all-zero block (the archive's end) is not a header.
bool IsTarHeader(const uint8_t* h, size_t len) {
    if (len < kTarBlock || h[0] == 0)
        return false;
    uint32_t stored = 0;
    int digits = 0;
    for (int i = 148; i < 156; ++i) {
        const uint8_t c = h[i];
        if (c >= '0' && c <= '7') {
            stored = stored * 8 + (c - '0');
            ++digits;
        } else if (c == ' ' || c == 0) {
            if (digits)
                break;
        } else {
            return false;
        }
    }
    if (!digits)
        return false;
    uint32_t sum = 0;
    for (size_t i = 0; i < kTarBlock; ++i)
        sum += (i >= 148 && i < 156) ? ' ' : h[i];
    return sum == stored;
}

// The first tar block of a gzip stream, decompressed from as much of it as the head holds.
bool GzipStartsTar(const uint8_t* head, size_t len) {
    uint8_t out[kTarBlock];
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        return false;
    z.next_in = const_cast<uint8_t*>(head);
    z.avail_in = static_cast<uInt>(len);
    z.next_out = out;
    z.avail_out = sizeof out;
    int rc = Z_OK;
    while (z.avail_out > 0 && rc == Z_OK)
        rc = inflate(&z, Z_SYNC_FLUSH);
    const bool full = z.avail_out == 0;
    inflateEnd(&z);
    return full && IsTarHeader(out, sizeof out);
}

bool XzStartsTar(const uint8_t* head, size_t len) {
    uint8_t out[kTarBlock];
    lzma_stream z = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&z, uint64_t{64} << 20, 0) != LZMA_OK)
        return false;
    z.next_in = head;
    z.avail_in = len;
    z.next_out = out;
    z.avail_out = sizeof out;
    lzma_ret rc = LZMA_OK;
    while (z.avail_out > 0 && z.avail_in > 0 && rc == LZMA_OK)
        rc = lzma_code(&z, LZMA_RUN);
    const bool full = z.avail_out == 0;
    lzma_end(&z);
    return full && IsTarHeader(out, sizeof out);
}

// libarchive reads through these callbacks, so a file and a memory block are one case.
struct Reader {
    Source* source;
    uint64_t pos = 0;
    uint8_t buf[64 * 1024];
};

la_ssize_t ReadCallback(struct archive* a, void* data, const void** out) {
    Reader* r = static_cast<Reader*>(data);
    size_t got = 0;
    if (!r->source->ReadAt(r->pos, r->buf, sizeof r->buf, &got)) {
        archive_set_error(a, EIO, "read error");
        return -1;
    }
    r->pos += got;
    *out = r->buf;
    return static_cast<la_ssize_t>(got);
}

la_int64_t SeekCallback(struct archive*, void* data, la_int64_t offset, int whence) {
    Reader* r = static_cast<Reader*>(data);
    const int64_t size = static_cast<int64_t>(r->source->Size());
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(r->pos) : size;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END)
        return ARCHIVE_FATAL;
    const int64_t to = base + offset;
    if (to < 0 || to > size)
        return ARCHIVE_FATAL;
    r->pos = static_cast<uint64_t>(to);
    return to;
}

la_int64_t SkipCallback(struct archive*, void* data, la_int64_t request) {
    Reader* r = static_cast<Reader*>(data);
    const uint64_t left = r->source->Size() - r->pos;
    const uint64_t step = request < 0 ? 0 : static_cast<uint64_t>(request) < left ? static_cast<uint64_t>(request) : left;
    r->pos += step;
    return static_cast<la_int64_t>(step);
}

struct ArchiveCloser {
    void operator()(struct archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<struct archive, ArchiveCloser>;

// Opens the source for the formats this plug-in claims, and only when its head is one of them.
ArchiveError Open(Source& source, Reader* reader, ArchivePtr* out) {
    uint8_t head[2048] = {};
    size_t got = 0;
    if (!source.ReadAt(0, head, sizeof head, &got))
        return ArchiveError::Broken;
    const ArchiveKind kind = SniffArchive(head, sizeof head);
    if (kind == ArchiveKind::None)
        return ArchiveError::Unknown;
    ArchivePtr a(archive_read_new());
    if (!a)
        return ArchiveError::TooLarge;
    switch (kind) {
    case ArchiveKind::SevenZip: archive_read_support_format_7zip(a.get()); break;
    case ArchiveKind::Cab: archive_read_support_format_cab(a.get()); break;
    default:
        archive_read_support_format_tar(a.get());
        archive_read_support_filter_gzip(a.get());
        archive_read_support_filter_xz(a.get());
        // Names in a tar are bytes; today's tools write UTF-8. Names that are not fall back to raw bytes.
        archive_read_set_format_option(a.get(), "tar", "hdrcharset", "UTF-8");
        break;
    }
    reader->source = &source;
    reader->pos = 0;
    archive_read_set_callback_data(a.get(), reader);
    archive_read_set_read_callback(a.get(), ReadCallback);
    archive_read_set_seek_callback(a.get(), SeekCallback);
    archive_read_set_skip_callback(a.get(), SkipCallback);
    if (archive_read_open1(a.get()) != ARCHIVE_OK)
        return ArchiveError::Broken;
    *out = std::move(a);
    return ArchiveError::Ok;
}

bool IsListed(struct archive_entry* e) {
    return archive_entry_filetype(e) == AE_IFREG && archive_entry_hardlink(e) == nullptr;
}

Member MemberOf(struct archive_entry* e, uint64_t ordinal) {
    Member m;
    m.ordinal = ordinal;
    if (const char* utf8 = archive_entry_pathname_utf8(e)) {
        m.name = utf8;
    } else if (const char* raw = archive_entry_pathname(e)) {
        m.name = raw;
        m.utf8 = false;
    }
    m.size = archive_entry_size_is_set(e) && archive_entry_size(e) > 0 ? static_cast<uint64_t>(archive_entry_size(e)) : 0;
    m.mtime = archive_entry_mtime_is_set(e) ? archive_entry_mtime(e) : 0;
    return m;
}

// Next header, or null at the end; `error` tells a damaged archive from its end.
struct archive_entry* Next(struct archive* a, ArchiveError* error) {
    struct archive_entry* e = nullptr;
    const int rc = archive_read_next_header(a, &e);
    if (rc == ARCHIVE_OK || rc == ARCHIVE_WARN)
        return e;
    *error = rc == ARCHIVE_EOF ? ArchiveError::Ok : ArchiveError::Broken;
    return nullptr;
}

} // namespace

ArchiveKind SniffArchive(const uint8_t* head, size_t len) {
    static const uint8_t k7z[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
    static const uint8_t kXz[] = {0xFD, '7', 'z', 'X', 'Z', 0};
    if (!head)
        return ArchiveKind::None;
    if (len >= 8 && std::memcmp(head, k7z, sizeof k7z) == 0 && head[6] == 0)
        return ArchiveKind::SevenZip;
    // CFHEADER: "MSCF", a reserved zero u32, ..., version 1.3 at offset 24.
    if (len >= 36 && std::memcmp(head, "MSCF\0\0\0\0", 8) == 0 && head[24] == 3 && head[25] == 1)
        return ArchiveKind::Cab;
    if (len >= 18 && head[0] == 0x1F && head[1] == 0x8B && head[2] == 8)
        return GzipStartsTar(head, len) ? ArchiveKind::TarGz : ArchiveKind::None;
    if (len >= 12 && std::memcmp(head, kXz, sizeof kXz) == 0)
        return XzStartsTar(head, len) ? ArchiveKind::TarXz : ArchiveKind::None;
    return IsTarHeader(head, len) ? ArchiveKind::Tar : ArchiveKind::None;
}

const char* MethodName(ArchiveKind kind) {
    switch (kind) {
    case ArchiveKind::SevenZip: return "7z";
    case ArchiveKind::Tar: return "tar";
    case ArchiveKind::TarGz: return "tar.gz";
    case ArchiveKind::TarXz: return "tar.xz";
    case ArchiveKind::Cab: return "cab";
    case ArchiveKind::None: break;
    }
    return "";
}

bool MemorySource::ReadAt(uint64_t offset, void* buf, size_t n, size_t* got) {
    *got = 0;
    if (offset > size_)
        return false;
    const size_t left = size_ - static_cast<size_t>(offset);
    *got = n < left ? n : left;
    if (*got)
        std::memcpy(buf, data_ + offset, *got);
    return true;
}

const char* ArchiveErrorText(ArchiveError error) {
    switch (error) {
    case ArchiveError::Ok: return "ok";
    case ArchiveError::Unknown: return "not a 7z, tar or cab archive";
    case ArchiveError::Broken: return "damaged archive";
    case ArchiveError::TooLarge: return "member too large";
    case ArchiveError::Encrypted: return "encrypted member";
    case ArchiveError::NotFound: return "no such member";
    case ArchiveError::Cancelled: return "cancelled";
    case ArchiveError::SinkFailed: return "the member could not be stored";
    }
    return "unknown error";
}

ArchiveError ListMembers(Source& source, std::vector<Member>* members) {
    members->clear();
    auto reader = std::make_unique<Reader>();
    ArchivePtr a;
    ArchiveError error = Open(source, reader.get(), &a);
    if (error != ArchiveError::Ok)
        return error;
    uint64_t ordinal = 0;
    for (struct archive_entry* e; (e = Next(a.get(), &error)) != nullptr; ++ordinal) {
        if (IsListed(e))
            members->push_back(MemberOf(e, ordinal));
    }
    // A listing that breaks off after some members still shows them, like a damaged ZIP's directory
    // cannot: the members read so far are whole headers.
    if (error != ArchiveError::Ok && members->empty())
        return error;
    return ArchiveError::Ok;
}

namespace {

// The entry `e` (ordinal `ordinal`) streamed into `sink`, its data read to the end on success.
ArchiveError ReadEntry(struct archive* a, struct archive_entry* e, uint64_t ordinal, uint64_t max_size,
                       MemberSink* sink) {
    if (!IsListed(e))
        return ArchiveError::NotFound;
    if (archive_entry_is_data_encrypted(e))
        return ArchiveError::Encrypted;
    const Member member = MemberOf(e, ordinal);
    const bool size_known = archive_entry_size_is_set(e) != 0;
    if (member.size > max_size)
        return ArchiveError::TooLarge;
    if (!sink->Begin(member))
        return ArchiveError::SinkFailed;
    uint8_t buf[64 * 1024];
    uint64_t done = 0;
    for (;;) {
        // Never ask for more than is left of a member of known size (libarchive's readers have lost
        // a last block that way).
        size_t want = sizeof buf;
        if (size_known && member.size - done < want)
            want = static_cast<size_t>(member.size - done);
        if (size_known && want == 0)
            break;
        const la_ssize_t got = archive_read_data(a, buf, want);
        if (got < 0)
            return archive_entry_is_data_encrypted(e) ? ArchiveError::Encrypted : ArchiveError::Broken;
        if (got == 0)
            break;
        done += static_cast<uint64_t>(got);
        if (done > max_size)
            return ArchiveError::TooLarge;
        if (!sink->Write(buf, static_cast<size_t>(got)))
            return ArchiveError::SinkFailed;
        if (sink->Cancelled(done, size_known ? member.size : done))
            return ArchiveError::Cancelled;
    }
    return !size_known || done == member.size ? ArchiveError::Ok : ArchiveError::Broken;
}

} // namespace

ArchiveError ExtractMember(Source& source, uint64_t ordinal, uint64_t max_size, MemberSink* sink) {
    auto reader = std::make_unique<Reader>();
    ArchivePtr a;
    ArchiveError error = Open(source, reader.get(), &a);
    if (error != ArchiveError::Ok)
        return error;
    struct archive_entry* e = nullptr;
    for (uint64_t i = 0;; ++i) {
        e = Next(a.get(), &error);
        if (!e)
            return error == ArchiveError::Ok ? ArchiveError::NotFound : error;
        if (i == ordinal)
            break;
    }
    return ReadEntry(a.get(), e, ordinal, max_size, sink);
}

struct MemberCursor::State {
    std::unique_ptr<Reader> reader;
    ArchivePtr archive;
    std::string identity;
    uint64_t next = 0;                        // the ordinal of `pending`
    struct archive_entry* pending = nullptr;  // the next header, read ahead
};

MemberCursor::MemberCursor() : state_(std::make_unique<State>()) {}

MemberCursor::~MemberCursor() = default;

void MemberCursor::Reset() {
    State& s = *state_;
    s.pending = nullptr;
    s.archive.reset();  // before the reader it reads through
    s.reader.reset();
    s.identity.clear();
    s.next = 0;
}

ArchiveError MemberCursor::Extract(Source& source, const std::string& identity, uint64_t ordinal,
                                   uint64_t max_size, MemberSink* sink) {
    State& s = *state_;
    if (!s.archive || !s.pending || identity.empty() || identity != s.identity || ordinal < s.next) {
        Reset();
        s.reader = std::make_unique<Reader>();
        ArchiveError error = Open(source, s.reader.get(), &s.archive);
        if (error == ArchiveError::Ok && !(s.pending = Next(s.archive.get(), &error)))
            error = error == ArchiveError::Ok ? ArchiveError::NotFound : error;
        if (error != ArchiveError::Ok) {
            Reset();
            return error;
        }
        s.identity = identity;
    }
    // Reads go through this call's source from the position the last call's left off.
    s.reader->source = &source;
    ArchiveError error = ArchiveError::Ok;
    struct archive_entry* e = s.pending;
    for (uint64_t i = s.next; i < ordinal; ++i) {
        if (!(e = Next(s.archive.get(), &error))) {
            Reset();
            return error == ArchiveError::Ok ? ArchiveError::NotFound : error;
        }
    }
    const ArchiveError read = ReadEntry(s.archive.get(), e, ordinal, max_size, sink);
    // The next header is read now, so that after the last member the archive is let go at once.
    ArchiveError ahead = ArchiveError::Ok;
    if (read == ArchiveError::Ok && !identity.empty() && (s.pending = Next(s.archive.get(), &ahead)) != nullptr)
        s.next = ordinal + 1;
    else
        Reset();
    return read;
}

void SplitMemberPath(const std::string& name, std::string* folder, std::string* file) {
    std::string n = name;
    for (char& c : n) {
        if (c == '/')
            c = '\\';
    }
    while (n.compare(0, 2, ".\\") == 0)
        n.erase(0, 2);
    const size_t slash = n.find_last_of('\\');
    if (slash == std::string::npos) {
        folder->clear();
        *file = n;
    } else {
        *folder = n.substr(0, slash + 1);
        *file = n.substr(slash + 1);
    }
}

bool FillFileInfo(ArchiveKind kind, const Member& member, const std::string& folder, const std::string& file,
                  plugin_abi::FileInfo* record) {
    if (folder.size() >= sizeof record->path || file.empty() || file.size() >= sizeof record->filename)
        return false;
    std::memset(record, 0, sizeof *record);
    std::strncpy(reinterpret_cast<char*>(record->method), MethodName(kind), sizeof record->method - 1);
    record->position = member.ordinal;
    // No format here tells a member's packed size (7z and cab pack several into one stream).
    record->compsize = member.size;
    record->filesize = member.size;
    record->timestamp = member.mtime > 0 ? static_cast<uint64_t>(member.mtime) : 0;
    std::memcpy(record->path, folder.data(), folder.size());
    std::memcpy(record->filename, file.data(), file.size());
    return true;
}

bool IsSafeFileName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
        return false;
    for (unsigned char c : name) {
        if (c < 32 || std::strchr("<>:\"/\\|?*", c))
            return false;
    }
    // Device names are devices in every folder, whatever follows the first dot.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& c : stem)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* d : kDevices) {
        if (stem == d)
            return false;
    }
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
        stem[3] >= '0' && stem[3] <= '9')
        return false;
    return true;
}

} // namespace archive_plugin
