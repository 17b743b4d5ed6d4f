// INFO2 (little-endian): a 20-byte header, then 800-byte records:
//   0    260  path before deletion, 8-bit (unused)
//   260  4    record number
//   264  4    drive number (0 = A)
//   268  8    deletion time (FILETIME)
//   276  4    file size (unused)
//   280  520  path before deletion, UTF-16, zero-terminated
// Companion "$I" file: version (u64), size (u64), deletion time (FILETIME), then the path. Version 1
// stores 260 UTF-16 units at offset 24; version 2 (later systems) stores a u32 unit count at 24 and the
// path from 28. Damaged or short bookkeeping leaves the shell's own name and time in place.
#include "folder/recycle_bin.h"

#include <string>

#include "common/path.h"
#include "common/platform.h"
#include "common/utf16.h"

namespace folder {

namespace {

constexpr uint64_t kInfo2Header = 20;
constexpr size_t kInfo2Record = 800;
constexpr size_t kCompanionV1 = 544;
constexpr uint64_t kTwoGiB = uint64_t(1) << 31;
constexpr uint32_t kMaxPathUnits = 32767;

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint64_t Le64(const uint8_t* p) { return Le32(p) | (uint64_t(Le32(p + 4)) << 32); }

// A zero-terminated UTF-16LE string of at most `maxUnits` units.
std::wstring ReadZString(const uint8_t* p, size_t maxUnits) {
    size_t n = 0;
    while (n < maxUnits && (p[2 * n] | p[2 * n + 1]))
        ++n;
    return utf16::FromLE(p, n);
}

std::wstring Stem(const std::wstring& name) {
    size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

void Apply(ArchiveEntry& entry, const std::wstring& originalPath, platform::FileTime deleted) {
    if (originalPath.empty())
        return;
    entry.name = paths::LastComponent(originalPath);
    entry.time = deleted;
}

} // namespace

void CompleteFromInfo2(ArchiveListing& listing) {
    if (listing.entries.empty())
        return;
    const std::wstring& first = listing.entries.front().folder;
    size_t slash = first.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return;
    platform::File file;
    uint64_t size = 0;
    if (!file.Open(first.substr(0, slash + 1) + L"INFO2", platform::OpenMode::ReadShared) ||
        !file.Size(&size) || size <= kInfo2Header || size >= kTwoGiB || !file.Seek(kInfo2Header))
        return;

    uint8_t record[kInfo2Record];
    const uint64_t records = (size - kInfo2Header) / kInfo2Record;
    for (uint64_t r = 0; r < records; ++r) {
        if (!file.ReadExact(record, sizeof record))
            break;
        const uint32_t drive = Le32(record + 264);
        if (drive >= 26)
            continue; // no drive letter: a damaged record
        std::wstring stem = L"D";
        stem += static_cast<wchar_t>(L'a' + drive);
        stem += std::to_wstring(Le32(record + 260));
        const platform::FileTime deleted = Le64(record + 268);
        const std::wstring original = ReadZString(record + 280, 260);
        for (ArchiveEntry& entry : listing.entries)
            if (paths::EqualFold(Stem(entry.name), stem))
                Apply(entry, original, deleted);
    }
}

void CompleteFromCompanionFiles(ArchiveListing& listing) {
    for (ArchiveEntry& entry : listing.entries) {
        std::wstring path = entry.folder;
        size_t slash = path.find_last_of(L'\\');
        size_t at = slash == std::wstring::npos ? 0 : slash + 1;
        if (path.size() < at + 2 || path[at] != L'$' || (path[at + 1] != L'R' && path[at + 1] != L'r'))
            continue;
        path[at + 1] = L'I';

        platform::File file;
        uint8_t head[kCompanionV1];
        if (!file.Open(path, platform::OpenMode::ReadShared))
            continue;
        const size_t got = file.Read(head, sizeof head);
        if (got < 28)
            continue;
        const uint64_t version = Le64(head);
        const platform::FileTime deleted = Le64(head + 16);
        if (version == 2) {
            // Later systems: a counted path of any length (the count includes the terminator).
            uint32_t units = Le32(head + 24);
            if (units == 0 || units > kMaxPathUnits)
                continue;
            std::vector<uint8_t> text(2 * size_t(units));
            if (!file.Seek(28) || !file.ReadExact(text.data(), text.size()))
                continue;
            Apply(entry, ReadZString(text.data(), units), deleted);
        } else if (got == kCompanionV1) {
            Apply(entry, ReadZString(head + 24, 260), deleted);
        }
    }
}

void CompleteRecycleBinListing(ArchiveListing& listing, int versionLevel) {
    if (UsesInfo2(versionLevel))
        CompleteFromInfo2(listing);
    else
        CompleteFromCompanionFiles(listing);
}

} // namespace folder
