// Shell namespace folders (location kind 1) are listed by ShellSource (folder/location_source.h):
// their file-system children that are not folders and carry one of the filter's extensions, by their
// parsing paths. Here: what else the shell side knows about them.
#pragma once

#include <cstdint>
#include <vector>

#include "folder/listing.h"

namespace folder {

// Whether an item-ID list (its bytes) is the recycle bin's.
bool IsRecycleBin(const std::vector<uint8_t>& idList);

} // namespace folder
