// What a pane can show, and the listing record every location is read into: file-system and shell
// folders as well as archives. Shared by every layer, so it lives at the bottom.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/platform.h"

namespace location {

// Stored as 32 bits in the settings file (favourites) and carried in requests between threads.
enum LocationKind : int32_t {
    kFileSystemFolder = 0,
    kShellFolder = 1,
    kZipArchive = 2,
    kRarArchive = 3,
    kPluginArchive = 4,
};

inline bool IsArchiveKind(LocationKind kind) { return kind >= kZipArchive && kind <= kPluginArchive; }

// A kind read from outside (a file, a message); false for anything the program does not know.
inline bool KindFromInt(int32_t value, LocationKind* kind) {
    if (value < kFileSystemFolder || value > kPluginArchive)
        return false;
    *kind = static_cast<LocationKind>(value);
    return true;
}

struct ArchiveEntry {
    std::wstring name;   // last path component; empty for a folder member of an archive
    std::wstring folder; // archives: path inside with a trailing backslash; shell folders: full parsing path
    // The cache stores these two as 32 bits; nothing else relies on their width.
    uint32_t locator = 0; // ZIP local-header offset, RAR ordinal, plug-in position; 0 for folders
    uint32_t size = 0;    // folders: KiB rounded up; archives and shell folders: as listed
    platform::FileTime time = 0; // UTC
};

// A member path as archives store it into the entry's folder and name: "a/b/c.jpg" -> folder "a\\b\\",
// name "c.jpg". A folder member ("a/b/", or "a/b" with `folder`) has an empty name.
inline void SplitMemberPath(std::wstring path, bool folder, ArchiveEntry* entry) {
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    if (folder && !path.empty() && path.back() != L'\\')
        path += L'\\';
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) {
        entry->folder.clear();
        entry->name = std::move(path);
    } else {
        entry->name = path.substr(slash + 1);
        path.resize(slash + 1);
        entry->folder = std::move(path);
    }
}

struct ArchiveListing {
    std::vector<ArchiveEntry> entries;
    platform::FileTime archiveTime = 0; // last-write time of the archive file; 0 for folders
};

} // namespace location
