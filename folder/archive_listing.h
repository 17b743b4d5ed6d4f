// The listing record every location is read into: file-system and shell folders as well as archives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/platform.h"

namespace folder {

struct ArchiveEntry {
    std::wstring name;   // last path component; empty for a folder member of an archive
    std::wstring folder; // archives: path inside with a trailing backslash; shell folders: full parsing path
    uint32_t locator = 0; // ZIP local-header offset, RAR ordinal, plug-in position; 0 for folders
    uint32_t size = 0;    // folders: KiB rounded up; archives and shell folders: as listed
    platform::FileTime time = 0; // UTC
};

struct ArchiveListing {
    std::vector<ArchiveEntry> entries;
    platform::FileTime archiveTime = 0; // last-write time of the archive file; 0 for folders
};

} // namespace folder
