#include "folder/listing.h"

#include <algorithm>

#include "folder/names.h"
#include "folder/sorting.h"
#include "thumbs/thumb_cache.h"

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

namespace {

bool ListFileSystemFolder(const PaneLocation& location, const ListRequest& request, ArchiveListing* out) {
    const size_t capacity = CountFolderFiles(location.path);
    if (capacity == 0)
        return false;
    out->entries.reserve(capacity);
    GatherFolder(location.path, FilterExtensions(request.filter, request.pluginExtensions), request.hiddenMask,
                 capacity, out);
    return !out->entries.empty();
}

bool ListArchiveFromCache(const PaneLocation& location, const ListRequest& request, ArchiveListing* out) {
    if (!request.cacheEnabled || request.forced || request.cacheFolder.empty())
        return false;
    if (request.cacheLock)
        request.cacheLock->Lock();
    const bool rebuilt = thumbs::RebuildArchiveListing(request.cacheFolder, location.kind, location.path, out);
    if (request.cacheLock)
        request.cacheLock->Unlock();
    if (!rebuilt)
        return false;
    FilterArchiveListing(*out, request.filter, request.pluginExtensions);
    return !out->entries.empty();
}

} // namespace

bool ListFolder(PaneLocation& location, const ListRequest& request, ArchiveListing* out) {
    *out = ArchiveListing();
    bool listed = false;
    if (location.kind == kFileSystemFolder) {
        listed = ListFileSystemFolder(location, request, out);
    } else if (location.kind == kShellFolder) {
        listed = request.listShell && request.listShell(location, request, out);
    } else if (IsArchiveKind(location.kind)) {
        listed = ListArchiveFromCache(location, request, out);
        if (!listed) {
            *out = ArchiveListing();
            listed = request.listArchive && request.listArchive(location, request, out);
        }
        if (listed)
            location.archiveTime = out->archiveTime;
    }
    if (!listed || out->entries.empty()) {
        *out = ArchiveListing();
        return false;
    }
    SortListing(*out, location.kind);
    return true;
}

} // namespace folder
