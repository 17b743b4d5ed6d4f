// Listing a shell namespace folder (location kind 1): its file-system children that are not
// folders and carry one of the filter's extensions, by their parsing paths.
#pragma once

#include <cstdint>
#include <vector>

#include "folder/listing.h"

namespace folder {

// The listShell hook of ListRequest. False when the folder cannot be bound or holds nothing.
bool ListShellFolder(PaneLocation& location, const ListRequest& request, ArchiveListing* out);

// Whether an item-ID list (its bytes) is the recycle bin's.
bool IsRecycleBin(const std::vector<uint8_t>& idList);

} // namespace folder
