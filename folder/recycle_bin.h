// The recycle bin's own bookkeeping: gives the entries of a recycle-bin listing the names they had
// before deletion and their deletion times.
//
// Two layouts exist. Older systems (before 6.0) keep one "INFO2" file beside the recycled files, which
// are named D<drive letter><record number><extension>. Newer systems keep, for each recycled file
// "$R....ext", a companion "$I....ext" holding the original path.
#pragma once

#include "folder/archive_listing.h"

namespace folder {

// Which bookkeeping a system version level (0..5, see the start-up's OS class) uses.
inline bool UsesInfo2(int versionLevel) { return versionLevel <= 1; }

// Rewrites name and time of the listing's entries in place; each entry's folder field holds the full
// path of the recycled file. Entries without a readable record keep their names and times.
void CompleteRecycleBinListing(ArchiveListing& listing, int versionLevel);

void CompleteFromInfo2(ArchiveListing& listing);
void CompleteFromCompanionFiles(ArchiveListing& listing);

} // namespace folder
