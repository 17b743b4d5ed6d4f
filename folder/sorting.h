// Orders of listings and of a pane's items.
#pragma once

#include <cstddef>
#include <cstdint>

#include "folder/archive_listing.h"
#include "folder/thumb_item.h"

namespace folder {

enum SortMode : int32_t {
    kSortNameAscending = 0,
    kSortNameDescending = 1,
    kSortDateAscending = 2, // oldest first
    kSortDateDescending = 3,
    kSortSizeAscending = 4,
    kSortSizeDescending = 5,
};

// Listing order. Folders (kinds 0 and 1): by name. Archives: members without a folder part first,
// then by folder part, ties by name. Entries that compare equal keep the order they came in.
int CompareEntries(const ArchiveEntry& a, const ArchiveEntry& b, LocationKind kind);
void SortListing(ArchiveListing& listing, LocationKind kind);

// Pane order. Mode 0 follows the listing order (for archives the path plays the folder part); mode 1 is
// its exact reverse, so archive items with an empty path go last. Modes 2 to 5 have no secondary key.
// SortItems breaks every tie by the items' listing position (ThumbItem::entry), so equal items come out
// in listing order (mode 1: reversed) whatever order they were in.
//
// Neither sort relies on the comparison being a strict weak order (the system's name order is not
// promised to be one): an inconsistent one gives some order, never a read outside the array.
int CompareItems(const ThumbItem& a, const ThumbItem& b, int32_t mode, LocationKind kind);
void SortItems(ThumbItem* items, size_t count, int32_t mode, LocationKind kind);

} // namespace folder
