#include "app/plugin_state_win.h"

#include "archive/plugin_archives.h"
#include "image/load.h"

namespace app {

namespace {

class ProgramFallback : public image::ImagePluginFallback {
  public:
    bool DecodeFile(const std::wstring& path, image::DecodedImage& out) override {
        return plugins::DecodeFile(PluginHostNow(), path, out);
    }
    bool DecodeMemory(const uint8_t* data, size_t size, const std::wstring& name, image::DecodedImage& out) override {
        return plugins::DecodeMemory(PluginHostNow(), name, data, size, out);
    }
};

class ProgramArchiveReader : public archive::PluginArchiveReader {
  public:
    bool List(const std::wstring& path, location::ArchiveListing* listing) override {
        return plugins::ListArchive(PluginHostNow(), path, listing);
    }
    bool Fetch(const std::wstring& path, uint32_t position, platform::PageBlock* block, uint32_t* size) override {
        return plugins::FetchMember(PluginHostNow(), path, position, block, size);
    }
    bool WithArchive(const std::wstring& path,
                     const std::function<void(const location::ArchiveListing&, const archive::MemberFetch&)>& use)
        override {
        plugins::ArchiveSession session;
        location::ArchiveListing listing;
        if (!session.Open(PluginHostNow(), path, &listing))
            return false;
        use(listing, [&](const location::ArchiveEntry& entry, platform::PageBlock* block, size_t* length) {
            uint32_t size = 0;
            if (!session.Fetch(entry.locator, block, &size))
                return false;
            *length = size;
            return true;
        });
        return true;
    }
};

} // namespace

plugins::Host PluginHostNow() {
    Program& p = TheProgram();
    plugins::Host host;
    host.lock = &p.pluginLock;
    win::CriticalSectionScope lock(&p.pluginLock);
    host.folder = p.plugins.folder;
    host.excluded = p.plugins.excluded;
    return host;
}

void RebuildPluginLists(Program& p) {
    plugins::Host host;
    host.lock = &p.pluginLock;
    host.folder = p.settings.pluginFolder;
    host.excluded = p.settings.plugins;
    // Asked without holding the lock across: the walk takes it itself.
    plugins::PluginExtensionLists lists = plugins::PluginExtensionsByKind(host);
    win::CriticalSectionScope lock(&p.pluginLock);
    p.plugins.folder = host.folder;
    p.plugins.excluded = host.excluded;
    p.plugins.imageExtensions = std::move(lists.images);
    p.plugins.archiveExtensions = std::move(lists.archives);
}

std::vector<std::wstring> ImagePluginExtensions() {
    Program& p = TheProgram();
    win::CriticalSectionScope lock(&p.pluginLock);
    return p.plugins.imageExtensions;
}

std::vector<std::wstring> ArchivePluginExtensions() {
    Program& p = TheProgram();
    win::CriticalSectionScope lock(&p.pluginLock);
    return p.plugins.archiveExtensions;
}

void InstallPluginHost() {
    static ProgramFallback fallback;
    static ProgramArchiveReader reader;
    image::SetImagePluginFallback(&fallback);
    archive::SetPluginArchiveReader(&reader);
}

} // namespace app
