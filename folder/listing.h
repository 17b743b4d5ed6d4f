// Turning a pane's location into its filtered, name-sorted listing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "folder/archive_listing.h"
#include "folder/pane_location.h"

namespace folder {

// The listing's size field of a file-system entry: KiB rounded up from the low 32 bits of the size.
// Computed in 64 bits, so sizes just below 4 GiB give 4,194,304 instead of wrapping to 0.
uint32_t SizeInKiB(uint64_t bytes);

// Files (not folders) of `folder`, hidden ones included: the capacity of its listing.
size_t CountFolderFiles(const std::wstring& folder);

// The extension passes of a file-system folder: for each extension in order, the non-folder entries
// whose attributes share no bit with `hiddenMask` and whose name carries that extension at its last
// dot. Stops for good once `capacity` entries are gathered. Appends to `out`; false when the folder
// cannot be searched.
bool GatherFolder(const std::wstring& folder, const std::vector<std::wstring>& extensions, uint32_t hiddenMask,
                  size_t capacity, ArchiveListing* out);

// Drops entries the pane's filter does not show (archive listings rebuilt from the cache).
void FilterArchiveListing(ArchiveListing& listing, int32_t filter, const std::vector<std::wstring>& pluginExtensions);

class LocationSource;

struct ListRequest {
    int32_t filter = 0;          // TypeFilter of the pane
    uint32_t hiddenMask = 2;     // settings key 6
    std::vector<std::wstring> pluginExtensions;
    bool cacheEnabled = true;    // settings key 44
    bool forced = false;         // the refresh must not use the thumbnail cache
    int systemLevel = 5;         // the start-up's OS class; picks the recycle bin's bookkeeping
    // An archive's listing as the thumbnail cache stored it, while the archive is unchanged (the
    // cache layer provides it); false when there is none.
    std::function<bool(const PaneLocation& location, ArchiveListing* out)> cachedListing;
    // Who lists the location; null: the implementation of its kind.
    const LocationSource* source = nullptr;
};

// The pane's listing, filtered and sorted; false (and `out` empty) when the location yields nothing.
// Archives are first rebuilt from the thumbnail cache when it is enabled and the load is not forced;
// the listing's archive time goes into `location`.
bool ListFolder(PaneLocation& location, const ListRequest& request, ArchiveListing* out);

} // namespace folder
