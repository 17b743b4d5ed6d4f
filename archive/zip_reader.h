// Reads ZIP archives as folders of pictures: lists the members and returns one member's bytes in memory.
// Only stored and deflated members are seen; ZIP64 and multi-disk fields are not interpreted, and
// offsets past 2 GiB - 1 are refused. Every failure is a plain false: callers decide what to show.
// No state is kept between calls, so any thread may call at any time.
#pragma once

#include <cstdint>
#include <string>

#include "common/location.h"
#include "common/platform.h"

namespace archive {

// What the end-of-central-directory record says. A count of 0 means "not an archive".
struct ZipEndRecord {
    uint16_t count = 0;          // directory records on this disk, taken for the whole directory
    uint32_t directoryOffset = 0; // from the start of the file
};

// The last record in the file (at most 65,557 bytes from its end) whose signature is found; a comment
// that itself holds the signature nearer the end wins.
ZipEndRecord FindEndRecord(platform::File& file);

// Stored and deflated members in directory order, with the archive file's last-write time. False for a
// missing file, no end record, a broken directory or no readable member: never an empty listing.
bool ListZipArchive(const std::wstring& path, location::ArchiveListing* listing);
bool ListZipArchive(platform::File& file, location::ArchiveListing* listing);

// The member whose local header lies at `locator`, in a page block of size + 4 bytes whose last four
// bytes are zero. False (and `block` left empty) on any damage, including a CRC mismatch. `time`, when
// given, receives the local header's time.
bool ExtractZipEntry(const std::wstring& path, uint32_t locator, platform::PageBlock* block, uint32_t* size);
bool ExtractZipEntry(platform::File& file, uint32_t locator, platform::PageBlock* block, uint32_t* size,
                     platform::FileTime* time = nullptr);

// A stored member read in place: `data` points into `view` (the whole archive mapped) at the member's
// `size` bytes, once their CRC is checked. False for a deflated member, one whose sizes follow its data,
// or any damage; ExtractZipEntry then reads it.
bool ViewStoredZipEntry(const platform::MappedView& view, uint32_t locator, const uint8_t** data, uint32_t* size);

} // namespace archive
