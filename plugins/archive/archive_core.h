// The archive plug-in's core over libarchive: what kind of archive a file's head starts, the list of
// its members and one member's bytes. Plain functions over a byte source, so the module's entry points
// (archive_plugin_win.cpp) and the native tests share them.
//
// A member is addressed by its ordinal: the count of headers before it in the archive (folders and
// links included, though only regular files are listed). The interface hands the record's position
// back unchanged, and no format here can seek to a member by byte offset alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugins/shared/plugin_abi.h"

namespace archive_plugin {

enum class ArchiveKind { None, SevenZip, Tar, TarGz, TarXz, Cab };

// The kind of archive `head` (the file's first bytes; the host hands 2 KB) starts, by content: 7z and
// cab by their signatures, tar by a header whose checksum holds, gzip and xz only when what they
// decompress to starts with such a tar header.
ArchiveKind SniffArchive(const uint8_t* head, size_t len);

// The record's method field: "7z", "tar", "tar.gz", "tar.xz", "cab".
const char* MethodName(ArchiveKind kind);

// Random-access bytes: a file from the host's offset, or a memory block.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t Size() const = 0;
    // Reads up to `n` bytes at `offset` (fewer only at the end); false on an error.
    virtual bool ReadAt(uint64_t offset, void* buf, size_t n, size_t* got) = 0;
};

class MemorySource : public Source {
public:
    MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buf, size_t n, size_t* got) override;

private:
    const uint8_t* data_;
    size_t size_;
};

struct Member {
    uint64_t ordinal = 0;
    std::string name;       // as stored, with "/" separators
    bool utf8 = true;       // false: `name` is the archive's own bytes in an unknown code page
    uint64_t size = 0;
    int64_t mtime = 0;      // seconds since 1970-01-01 UTC
};

enum class ArchiveError { Ok, Unknown, Broken, TooLarge, Encrypted, NotFound, Cancelled, SinkFailed };
const char* ArchiveErrorText(ArchiveError error);

// The regular-file members in archive order.
ArchiveError ListMembers(Source& source, std::vector<Member>* members);

// Receives one member's bytes: Begin with its record (false refuses it), then every chunk in order.
class MemberSink {
public:
    virtual ~MemberSink() = default;
    virtual bool Begin(const Member& member) = 0;
    virtual bool Write(const uint8_t* data, size_t n) = 0;
    // Called between chunks with the bytes done so far; true stops the extraction.
    virtual bool Cancelled(uint64_t done, uint64_t total) { return (void)done, (void)total, false; }
};

// Streams the member with that ordinal into `sink`. The bytes delivered must be exactly the size the
// archive declares (a short read is an error, never a short member); members over `max_size` fail.
ArchiveError ExtractMember(Source& source, uint64_t ordinal, uint64_t max_size, MemberSink* sink);

// ExtractMember over one archive kept open between calls. A later ordinal goes on from where the last
// read ended instead of decoding the archive from its start again (in a solid 7z, every member before
// it), so reading every member in order is one pass; an earlier ordinal, another archive or any
// failure starts over. `identity` names the archive as the caller knows it (path, size, time; empty:
// never go on). The archive is let go when its last member has been read. One thread at a time; each
// call's `source` reads the same bytes as the last one's while the identity holds.
class MemberCursor {
public:
    MemberCursor();
    ~MemberCursor();
    MemberCursor(const MemberCursor&) = delete;
    MemberCursor& operator=(const MemberCursor&) = delete;

    ArchiveError Extract(Source& source, const std::string& identity, uint64_t ordinal, uint64_t max_size,
                         MemberSink* sink);
    // Lets go of the open archive and its buffers.
    void Reset();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Splits a stored name into the record's folder (backslashes, trailing "\", or "") and bare name.
// "./" prefixes are dropped; ".." and absolute paths are kept as given: the host judges them.
void SplitMemberPath(const std::string& name, std::string* folder, std::string* file);

// Fills one entry record; false when the folder or the name does not fit its 200-byte field.
bool FillFileInfo(ArchiveKind kind, const Member& member, const std::string& folder, const std::string& file,
                  plugin_abi::FileInfo* record);

// True when `name` can be created as a file directly inside a folder on Windows, and only there: not
// empty, no separator, drive or stream colon, wildcard or control character, not "." or "..", no
// trailing dot or space, and not a device name (CON, NUL, COM1, LPT1, ... with any extension).
bool IsSafeFileName(const std::string& name);

} // namespace archive_plugin
