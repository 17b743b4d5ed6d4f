#include "folder/listing.h"

#include <algorithm>

#include "folder/names.h"
#include "folder/sorting.h"
#include "folder/location_source.h"

namespace folder {

uint32_t SizeInKiB(uint64_t bytes) {
    const uint64_t low = bytes & 0xFFFFFFFFu;
    return static_cast<uint32_t>((low + 1023) >> 10);
}

size_t CountFolderFiles(const std::wstring& folder) {
    size_t count = 0;
    platform::ListFolder(folder, L"*.*", [&count](const platform::FolderEntry& entry) {
        if (!(entry.attributes & platform::attr::kDirectory))
            ++count;
        return true;
    });
    return count;
}

bool GatherFolder(const std::wstring& folder, const std::vector<std::wstring>& extensions, uint32_t hiddenMask,
                  size_t capacity, ArchiveListing* out) {
    bool searched = true;
    for (const std::wstring& ext : extensions) {
        if (out->entries.size() >= capacity)
            break;
        const bool ok = platform::ListFolder(folder, L"*" + ext, [&](const platform::FolderEntry& entry) {
            if (entry.attributes & platform::attr::kDirectory)
                return true;
            if (entry.attributes & hiddenMask)
                return true;
            if (!EndsWithExtension(entry.name, ext))
                return true;
            ArchiveEntry e;
            e.name = entry.name;
            e.size = SizeInKiB(entry.size);
            e.time = entry.writeTime;
            out->entries.push_back(std::move(e));
            return out->entries.size() < capacity;
        });
        searched = searched && ok;
    }
    return searched;
}

void FilterArchiveListing(ArchiveListing& listing, int32_t filter, const std::vector<std::wstring>& pluginExtensions) {
    auto& entries = listing.entries;
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const ArchiveEntry& e) {
                                     return !ArchiveNameMatchesFilter(e.name, filter, pluginExtensions);
                                 }),
                  entries.end());
}

bool ListFolder(PaneLocation& location, const ListRequest& request, ArchiveListing* out) {
    *out = ArchiveListing();
    const LocationSource& source = request.source ? *request.source : SourceFor(location.kind);
    if (!source.List(location, request, out) || out->entries.empty()) {
        *out = ArchiveListing();
        return false;
    }
    SortListing(*out, location.kind);
    return true;
}

} // namespace folder
