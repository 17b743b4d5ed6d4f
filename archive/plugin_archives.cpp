#include "archive/plugin_archives.h"

#include <atomic>

namespace archive {

namespace {
std::atomic<PluginArchiveReader*> g_reader{nullptr};
} // namespace

void SetPluginArchiveReader(PluginArchiveReader* reader) { g_reader.store(reader); }

bool ListWithPlugins(const std::wstring& path, location::ArchiveListing* listing) {
    PluginArchiveReader* reader = g_reader.load();
    return reader && reader->List(path, listing) && !listing->entries.empty();
}

bool FetchWithPlugins(const std::wstring& path, uint32_t position, platform::PageBlock* block, uint32_t* size) {
    PluginArchiveReader* reader = g_reader.load();
    return reader && reader->Fetch(path, position, block, size);
}

bool ExtractWithPlugins(const std::wstring& path, const std::wstring& targetFolder, JobProgress& progress,
                        std::wstring* createdFolder) {
    if (createdFolder)
        createdFolder->clear();
    PluginArchiveReader* reader = g_reader.load();
    size_t written = 0;
    if (!reader || !reader->WithArchive(path, [&](const location::ArchiveListing& listing, const MemberFetch& fetch) {
            written = ExtractListedToFolder(path, listing.entries, targetFolder, progress, fetch, createdFolder);
        }))
        return false;
    return written > 0;
}

} // namespace archive
