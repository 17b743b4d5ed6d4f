#include "folder/location_source.h"

#include "archive/plugin_archives.h"
#include "archive/rar_access.h"
#include "archive/zip_reader.h"
#include "common/path.h"
#include "folder/listing.h"
#include "folder/names.h"

namespace folder {

std::wstring LocationSource::DisplayName(const PaneLocation& location) const {
    // A drive root such as C: with its backslash has nothing after it; it is named by its whole path.
    const std::wstring name = paths::LastComponent(location.path);
    return name.empty() ? location.path : name;
}

bool ArchiveSource::List(PaneLocation& location, const ListRequest& request, ArchiveListing* out) const {
    bool listed = false;
    if (request.cacheEnabled && !request.forced && request.cachedListing &&
        request.cachedListing(location, out)) {
        FilterArchiveListing(*out, request.filter, request.pluginExtensions);
        listed = !out->entries.empty();
    }
    if (!listed) {
        *out = ArchiveListing();
        if (!ReadListing(location, out))
            return false;
        FilterArchiveListing(*out, request.filter, request.pluginExtensions);
    }
    location.archiveTime = out->archiveTime;
    return !out->entries.empty();
}

void ArchiveSource::PrepareItem(const std::wstring&, const ArchiveEntry& entry, ThumbItem& item) const {
    item.name = entry.name;
    item.path = entry.folder;
    item.locator = static_cast<int32_t>(entry.locator);
    item.time = entry.time;
}

namespace {

class FileSystemFolderSource : public LocationSource {
  public:
    bool List(PaneLocation& location, const ListRequest& request, ArchiveListing* out) const override {
        const size_t capacity = CountFolderFiles(location.path);
        if (capacity == 0)
            return false;
        out->entries.reserve(capacity);
        GatherFolder(location.path, FilterExtensions(request.filter, request.pluginExtensions), request.hiddenMask,
                     capacity, out);
        return !out->entries.empty();
    }
    void PrepareItem(const std::wstring& locationPath, const ArchiveEntry& entry, ThumbItem& item) const override {
        item.name = entry.name;
        item.path = paths::Join(locationPath, entry.name);
        item.locator = 0;
    }
    bool KeepsListedTime(bool) const override { return false; }
    RecordMatch CacheMatch() const override { return RecordMatch::NameAndFileTime; }
    platform::FileTime CacheTime(platform::FileTime) const override { return 0; }
    const std::wstring& CacheFolderPart(const ThumbItem&) const override {
        static const std::wstring kNone;
        return kNone;
    }
};

} // namespace

const LocationSource& FolderSource() {
    static const FileSystemFolderSource source;
    return source;
}

void ShellSource::PrepareItem(const std::wstring&, const ArchiveEntry& entry, ThumbItem& item) const {
    item.name = entry.name;
    item.path = entry.folder;
    item.time = entry.time;
    item.locator = 0;
}

const LocationSource& ShellFolderSource() {
    static const ShellSource source;
    return source;
}

namespace {

// The second try for an archive its own reader cannot read: a plug-in's listing makes it kind 4, so
// its members are fetched through the plug-ins from then on.
bool ListThroughPlugins(PaneLocation& location, ArchiveListing* out) {
    *out = ArchiveListing();
    if (!archive::ListWithPlugins(location.path, out))
        return false;
    location.kind = kPluginArchive;
    return true;
}

class ZipSource : public ArchiveSource {
  public:
    bool ReadMember(const std::wstring& locationPath, const ArchiveEntry& entry, platform::PageBlock* block,
                    size_t* length) const override {
        uint32_t size = 0;
        if (!archive::ExtractZipEntry(locationPath, entry.locator, block, &size))
            return false;
        *length = size;
        return true;
    }

    // Stored members, most pictures in archives, are decoded straight from the mapped archive.
    bool ViewMember(const std::wstring& locationPath, const ArchiveEntry& entry, platform::MappedView* view,
                    const uint8_t** data, size_t* length) const override {
        uint32_t size = 0;
        if (!view->Open(locationPath) || !archive::ViewStoredZipEntry(*view, entry.locator, data, &size))
            return false;
        *length = size;
        return true;
    }

  protected:
    bool ReadListing(PaneLocation& location, ArchiveListing* out) const override {
        return archive::ListZipArchive(location.path, out) || ListThroughPlugins(location, out);
    }
};

// RAR archives through the external module when present, else the built-in reader; members are
// found by their ordinal. A pane's load reads through one kept reader instead (RarLoadSource).
class RarSource : public ArchiveSource {
  public:
    bool ReadMember(const std::wstring& locationPath, const ArchiveEntry& entry, platform::PageBlock* block,
                    size_t* length) const override {
        uint32_t size = 0;
        if (!archive::FetchRar(locationPath, entry.locator, block, &size))
            return false;
        *length = size;
        return true;
    }

    std::unique_ptr<LocationSource> ForLoad(const std::wstring& locationPath) const override;

  protected:
    bool ReadListing(PaneLocation& location, ArchiveListing* out) const override {
        return archive::ListRar(location.path, out) || ListThroughPlugins(location, out);
    }
};

// Archives of the archive plug-ins; members are found by the position the plug-in listed.
class PluginSource : public ArchiveSource {
  public:
    bool ReadMember(const std::wstring& locationPath, const ArchiveEntry& entry, platform::PageBlock* block,
                    size_t* length) const override {
        uint32_t size = 0;
        if (!archive::FetchWithPlugins(locationPath, entry.locator, block, &size))
            return false;
        *length = size;
        return true;
    }

  protected:
    bool ReadListing(PaneLocation& location, ArchiveListing* out) const override {
        return ListThroughPlugins(location, out);
    }
};

// One load's members through one reader kept open on the set.
class RarLoadSource : public RarSource {
  public:
    explicit RarLoadSource(const std::wstring& path) : load_(path), path_(path) {}
    bool ReadMember(const std::wstring& locationPath, const ArchiveEntry& entry, platform::PageBlock* block,
                    size_t* length) const override {
        if (locationPath != path_)
            return RarSource::ReadMember(locationPath, entry, block, length);
        uint32_t size = 0;
        if (!load_.Fetch(entry.locator, block, &size))
            return false;
        *length = size;
        return true;
    }
    // Stored members, most pictures in archives, are decoded straight from the mapped volume.
    bool ViewMember(const std::wstring& locationPath, const ArchiveEntry& entry, platform::MappedView* view,
                    const uint8_t** data, size_t* length) const override {
        uint32_t size = 0;
        // The size the reader listed, as a second check that the headers' record is this member's.
        if (locationPath != path_ || !load_.View(entry.locator, view, data, &size) || size != entry.size) {
            view->Close();
            return false;
        }
        *length = size;
        return true;
    }
    std::unique_ptr<LocationSource> ForLoad(const std::wstring&) const override { return nullptr; }

  private:
    mutable archive::RarLoad load_; // fetches take turns inside
    std::wstring path_;
};

std::unique_ptr<LocationSource> RarSource::ForLoad(const std::wstring& locationPath) const {
    return std::make_unique<RarLoadSource>(locationPath);
}

} // namespace

const LocationSource& SourceFor(LocationKind kind) {
    static const ArchiveSource noReader;
    static const PluginSource plugin;
    static const ZipSource zip;
    static const RarSource rar;
    switch (kind) {
    case kFileSystemFolder: return FolderSource();
    case kShellFolder: return ShellFolderSource();
    case kZipArchive: return zip;
    case kRarArchive: return rar;
    case kPluginArchive: return plugin;
    }
    return noReader;
}

} // namespace folder
