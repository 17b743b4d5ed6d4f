// What one browse pane shows: a file-system folder, a shell namespace folder or an archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/platform.h"
#include "folder/archive_listing.h"

namespace folder {

struct PaneLocation {
    LocationKind kind = kFileSystemFolder;
    // Kind 1: the absolute shell item-ID list, kept as its bytes (the shell side clones it into and
    // out of this buffer); empty for the other kinds.
    std::vector<uint8_t> idList;
    std::wstring path; // folder path, shell parsing name, or archive file path
    uint8_t valid = 0;
    uint8_t recycleBin = 0; // kind 1 only
    platform::FileTime archiveTime = 0; // kinds 2 to 4, set when listed
};

// Makes `loc` show a new location. Kind 1 takes the ID list and the recycle-bin flag the shell side
// computed; every other kind is refused (false, `loc` unchanged) when its path does not exist. The
// archive time is cleared either way.
bool SetLocation(PaneLocation& loc, LocationKind kind, const std::vector<uint8_t>& idList, const std::wstring& path,
                 bool recycleBin);
// Forgets the location (its folder or archive vanished).
void ClearLocation(PaneLocation& loc);
// Equal kinds and, for kind 1, equal ID lists, else equal paths (ASCII case folding).
bool LocationsEqual(const PaneLocation& a, const PaneLocation& b);
// The part of the path after its last backslash; the whole path for kind 1.
std::wstring DisplayName(const PaneLocation& loc);

} // namespace folder
