#include "archive/rar_module_win.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "archive/extract.h"
#include "common/path.h"

namespace archive {

namespace {

constexpr int kSystemFolderId = 37; // CSIDL_SYSTEM

std::wstring ProgramFolder() {
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? paths::Parent(std::wstring(buffer, n)) : std::wstring();
}

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathW(nullptr, kSystemFolderId, nullptr, 0, buffer)) ? buffer : std::wstring();
}

// The three places, in the order they are tried.
std::vector<std::wstring> Candidates(const std::wstring& pluginFolder) {
    std::vector<std::wstring> places;
    if (!pluginFolder.empty())
        places.push_back(paths::Join(pluginFolder, kRarModuleName));
    for (const std::wstring& folder : {ProgramFolder(), SystemFolder()})
        if (!folder.empty())
            places.push_back(paths::Join(folder, kRarModuleName));
    return places;
}

// The headers are read into a record zeroed whole before each read: besides the reserved area it
// holds input pointers (link target, long names) that the module would otherwise write through.
class Header {
  public:
    Header() : record_(new rarabi::HeaderDataEx) {}
    int Read(RarModule& m, void* handle) {
        std::memset(record_.get(), 0, sizeof *record_);
        return m.readHeader(handle, record_.get());
    }
    const rarabi::HeaderDataEx& operator*() const { return *record_; }
    const rarabi::HeaderDataEx* operator->() const { return record_.get(); }

  private:
    std::unique_ptr<rarabi::HeaderDataEx> record_; // 10 KB: not on a thread's stack
};

// An open archive; closed on every path, as the module asks.
class OpenArchive {
  public:
    OpenArchive(RarModule& m, const std::wstring& path, unsigned mode, RarContext* context) : m_(m) {
        rarabi::OpenArchiveDataEx data;
        std::memset(&data, 0, sizeof data);
        std::wstring name = path;
        data.arcNameW = &name[0];
        data.openMode = mode;
        if (context) {
            data.callback = RarModuleCallback;
            data.userData = reinterpret_cast<intptr_t>(context);
        }
        handle_ = m_.open(&data);
        if (handle_ && data.openResult != 0) {
            m_.close(handle_);
            handle_ = nullptr;
        }
        flags_ = data.flags;
    }
    ~OpenArchive() {
        if (handle_)
            m_.close(handle_);
    }
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;
    void* Handle() const { return handle_; }
    unsigned Flags() const { return flags_; }

  private:
    RarModule& m_;
    void* handle_ = nullptr;
    unsigned flags_ = 0;
};

platform::FileTime DosStampToUtc(unsigned stamp) {
    platform::FileTime utc = 0;
    return platform::DosDateTimeToUtc(static_cast<uint16_t>(stamp >> 16), static_cast<uint16_t>(stamp & 0xFFFF), &utc)
               ? utc
               : 0;
}

// The first volume of the set `path` belongs to.
std::wstring Normalised(RarModule& module, const std::wstring& path, RarProbe* probe) {
    *probe = ProbeRarWithModule(module, path);
    return FirstRarVolume(path, *probe);
}

} // namespace

bool RarModulePresent(const std::wstring& pluginFolder) {
    for (const std::wstring& place : Candidates(pluginFolder))
        if (platform::FileExists(place))
            return true;
    return false;
}

RarModule::~RarModule() {
    if (module_)
        FreeLibrary(module_);
}

bool RarModule::Load(const std::wstring& pluginFolder) {
    if (module_)
        return true;
    for (const std::wstring& place : Candidates(pluginFolder)) {
        if (!platform::FileExists(place))
            continue;
        HMODULE m = LoadLibraryExW(place.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!m)
            continue;
        open = reinterpret_cast<rarabi::OpenArchiveExFn>(reinterpret_cast<void*>(GetProcAddress(m, "RAROpenArchiveEx")));
        close = reinterpret_cast<rarabi::CloseArchiveFn>(reinterpret_cast<void*>(GetProcAddress(m, "RARCloseArchive")));
        readHeader = reinterpret_cast<rarabi::ReadHeaderExFn>(reinterpret_cast<void*>(GetProcAddress(m, "RARReadHeaderEx")));
        process = reinterpret_cast<rarabi::ProcessFileWFn>(reinterpret_cast<void*>(GetProcAddress(m, "RARProcessFileW")));
        if (open && close && readHeader && process) {
            module_ = m;
            return true;
        }
        open = nullptr;
        close = nullptr;
        readHeader = nullptr;
        process = nullptr;
        FreeLibrary(m);
    }
    return false;
}

int RarModuleCallback(unsigned msg, intptr_t userData, intptr_t p1, intptr_t p2) {
    RarContext* c = reinterpret_cast<RarContext*>(userData);
    if (!c)
        return -1;
    switch (msg) {
    case rarabi::kProcessData: {
        if (!c->collect)
            return 0;
        const size_t length = static_cast<size_t>(p2);
        if (p2 < 0 || length > static_cast<size_t>(c->end - c->pos))
            return -1;
        std::memcpy(c->pos, reinterpret_cast<const void*>(p1), length);
        c->pos += length;
        return 0;
    }
    case rarabi::kChangeVolumeW:
        // A missing volume ends the operation; the user is never asked to find it.
        return p2 == rarabi::kVolAsk ? -1 : 0;
    case rarabi::kChangeVolume:
        return p2 == rarabi::kVolAsk ? -1 : 0;
    case rarabi::kNeedPasswordW: {
        if (c->cancelled || p2 <= 0 || !p1)
            return -1;
        if (!c->asked) {
            c->asked = true;
            std::wstring typed = c->password;
            if (!c->ask || !c->ask(c->owner, &typed)) {
                c->cancelled = true;
                return -1;
            }
            c->password = typed;
        }
        const size_t room = static_cast<size_t>(p2) - 1;
        const size_t n = std::min(room, c->password.size());
        wchar_t* buffer = reinterpret_cast<wchar_t*>(p1);
        std::memcpy(buffer, c->password.data(), n * sizeof(wchar_t));
        buffer[n] = 0;
        return 1;
    }
    case rarabi::kNeedPassword:
        // The wide request came first; without an answer to it there is none here either.
        return -1;
    default:
        return 0;
    }
}

RarProbe ProbeRarWithModule(RarModule& module, const std::wstring& path) {
    if (!module.Loaded())
        return kRarNotVolume;
    OpenArchive archive(module, path, rarabi::kOmList, nullptr);
    return archive.Handle() ? ProbeFromFlags(archive.Flags()) : kRarNotVolume;
}

bool ListRarWithModule(RarModule& module, const std::wstring& path, RarContext& context,
                       location::ArchiveListing* listing) {
    if (!module.Loaded())
        return false;
    RarProbe probe = kRarNotVolume;
    const std::wstring first = Normalised(module, path, &probe);
    context.collect = false;
    Header header;
    size_t count = 0;
    {
        OpenArchive archive(module, first, rarabi::kOmList, &context);
        if (!archive.Handle())
            return false;
        while (header.Read(module, archive.Handle()) == 0) {
            if (module.process(archive.Handle(), rarabi::kSkip, nullptr, nullptr) != 0)
                return false;
            ++count;
        }
    }
    if (count == 0 || context.cancelled)
        return false;
    location::ArchiveListing out;
    out.entries.reserve(count);
    platform::GetLastWriteTime(path, &out.archiveTime);
    OpenArchive archive(module, first, rarabi::kOmList, &context);
    if (!archive.Handle())
        return false;
    while (out.entries.size() < count && header.Read(module, archive.Handle()) == 0) {
        location::ArchiveEntry e;
        location::SplitMemberPath(header->fileNameW, (header->flags & rarabi::kDirectory) != 0, &e);
        e.locator = static_cast<uint32_t>(out.entries.size());
        e.size = header->unpSize;
        e.time = DosStampToUtc(header->fileTime);
        if (module.process(archive.Handle(), rarabi::kSkip, nullptr, nullptr) != 0)
            return false;
        out.entries.push_back(std::move(e));
    }
    *listing = std::move(out);
    return true;
}

bool FetchRarWithModule(RarModule& module, const std::wstring& path, uint32_t ordinal, RarContext& context,
                        platform::PageBlock* block, uint32_t* size) {
    *block = platform::PageBlock();
    if (!module.Loaded())
        return false;
    RarProbe probe = kRarNotVolume;
    // The ordinals count from the first volume, where the listing started.
    const std::wstring first = Normalised(module, path, &probe);
    context.collect = true;
    OpenArchive archive(module, first, rarabi::kOmExtract, &context);
    if (!archive.Handle())
        return false;
    Header header;
    for (uint32_t i = 0;; ++i) {
        if (header.Read(module, archive.Handle()) != 0)
            return false;
        if (i < ordinal) {
            if (module.process(archive.Handle(), rarabi::kSkip, nullptr, nullptr) != 0)
                return false;
            continue;
        }
        if (header->unpSizeHigh != 0 || (header->flags & rarabi::kDirectory))
            return false;
        platform::PageBlock data(static_cast<size_t>(header->unpSize) + 4);
        if (!data)
            return false;
        context.out = context.pos = data.Get();
        context.end = data.Get() + header->unpSize;
        const int result = module.process(archive.Handle(), rarabi::kTest, nullptr, nullptr);
        // Bytes short of the declared size are a failure too, not a block with a zero tail.
        const bool whole = result == 0 && context.pos == context.end && !context.cancelled;
        context.out = context.pos = context.end = nullptr;
        if (!whole)
            return false;
        *size = header->unpSize;
        *block = std::move(data);
        return true;
    }
}

bool ExtractRarWithModule(RarModule& module, const std::wstring& path, const std::wstring& targetFolder,
                          JobProgress& progress, RarContext& context, std::wstring* createdFolder) {
    if (createdFolder)
        createdFolder->clear();
    if (!module.Loaded())
        return false;
    RarProbe probe = kRarNotVolume;
    const std::wstring first = Normalised(module, path, &probe);
    location::ArchiveListing listing;
    if (!ListRarWithModule(module, first, context, &listing))
        return false;
    context.collect = false;
    OpenArchive archive(module, first, rarabi::kOmExtract, &context);
    if (!archive.Handle())
        return false;
    // Each member is written to a target built here from cleaned components (the module is told the
    // whole name), so nothing lands outside the new folder whatever the archive's names say.
    ExtractionPlan plan;
    if (!PlanExtraction(listing.entries, RarBaseName(path, probe), targetFolder, &plan))
        return false;
    if (createdFolder)
        *createdFolder = plan.root;
    context.busy = true;
    progress.SetRange(static_cast<uint32_t>(plan.targets.size()) + 1);
    progress.Step();
    Header header;
    int result = 0;
    for (size_t i = 0; i < plan.targets.size(); ++i) {
        if ((result = header.Read(module, archive.Handle())) != 0)
            break;
        location::ArchiveEntry seen;
        location::SplitMemberPath(header->fileNameW, (header->flags & rarabi::kDirectory) != 0, &seen);
        const bool same = seen.name == listing.entries[i].name && seen.folder == listing.entries[i].folder;
        std::wstring target = same ? plan.targets[i] : std::wstring();
        if (target.empty()) {
            result = module.process(archive.Handle(), rarabi::kSkip, nullptr, nullptr);
        } else {
            result = module.process(archive.Handle(), rarabi::kExtract, nullptr, &target[0]);
            if (result == 0)
                platform::AnnounceFileCreated(target);
            else
                platform::DeleteFileAt(target); // whatever the module left of it
        }
        progress.Step();
        if (result != 0 || progress.Cancelled())
            break;
    }
    context.busy = false;
    return result == 0 && !context.cancelled;
}

} // namespace archive
