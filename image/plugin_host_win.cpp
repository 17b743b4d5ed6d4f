#include "image/plugin_host_win.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "common/path.h"
#include "image/plugin_guard_win.h"

namespace plugins {

namespace {

using ProgressFn = int(WINAPI*)(int, int, LONG_PTR);
using GetPluginInfoFn = int(WINAPI*)(int, LPSTR, int);
using IsSupportedFn = int(WINAPI*)(LPCSTR, const void*);
using GetPictureFn = int(WINAPI*)(LPCSTR, LONG_PTR, unsigned int, HLOCAL*, HLOCAL*, ProgressFn, LONG_PTR);
using GetArchiveInfoFn = int(WINAPI*)(LPCSTR, LONG_PTR, unsigned int, HLOCAL*);
using GetFileFn = int(WINAPI*)(LPCSTR, LONG_PTR, LPSTR, unsigned int, ProgressFn, LONG_PTR);
using ConfigurationDlgFn = int(WINAPI*)(HWND, int);

#pragma pack(push, 1)
struct PictureInfo {
    int32_t left, top, width, height;
    uint16_t xDensity, yDensity;
    int16_t colorDepth;
    char dummy[2];
    HLOCAL info;
};
#pragma pack(pop)
static_assert(sizeof(PictureInfo) == 32, "the x64 picture-information record is 32 bytes");

// Some 64-bit plug-ins write the information handle two bytes early; a preset that survives in the
// top byte shows it, and such a handle is left alone rather than freed at a wrong address.
constexpr uintptr_t kHandlePreset = 0x7F7F7F7F7F7F7F7FULL;
constexpr uintptr_t kShiftedMask = 0xFF00000000000000ULL;
constexpr uintptr_t kShiftedValue = 0x7F00000000000000ULL;

constexpr unsigned int kFromFile = 0;
constexpr unsigned int kFromMemory = 1;
constexpr unsigned int kToMemory = 0x100;
constexpr int kMaxInfoNumber = 256; // a plug-in that never answers 0 still ends the walk

int WINAPI Progress(int, int, LONG_PTR) { return 0; }

std::wstring WithSlash(const std::wstring& folder) {
    return folder.empty() || paths::EndsWithSeparator(folder) ? folder : folder + L'\\';
}

bool Usable(const Host& host) { return !host.folder.empty() && platform::FolderExists(host.folder); }

bool Excluded(const Host& host, const std::wstring& name) {
    for (const std::wstring& e : host.excluded)
        if (paths::EqualFold(e, name))
            return true;
    return false;
}

// A path the plug-ins can open through the ANSI calls: the short form when the long one has
// characters outside the ANSI code page.
std::string AnsiPath(const std::wstring& path) {
    std::string ansi = platform::WideToAnsi(path);
    if (platform::AnsiToWide(ansi) == path)
        return ansi;
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? platform::WideToAnsi(std::wstring(buffer, n)) : ansi;
}

// The plug-in files of a folder, "*.spi" before "*.sph", each in the order the file system lists them.
std::vector<std::wstring> PluginFiles(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (const wchar_t* ext : {L".spi", L".sph"}) {
        platform::ListFolder(folder, std::wstring(L"*") + ext, [&](const platform::FolderEntry& e) {
            // The system's pattern also matches short names ("x.sphx" is "X~1.SPH").
            if (!(e.attributes & platform::attr::kDirectory) && e.name.size() > 4 &&
                paths::EqualFold(e.name.substr(e.name.size() - 4), ext))
                names.push_back(e.name);
            return true;
        });
    }
    return names;
}

// One loaded module for one operation. A module that faulted is never called again, not even by its
// unload routine: it stays mapped for the rest of the process rather than run code whose state is
// unknown.
class Plugin {
  public:
    Plugin() = default;
    Plugin(Plugin&&) = default;
    Plugin& operator=(Plugin&&) = default;
    bool Load(const std::wstring& folder, const std::wstring& name) {
        const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        module_.Reset(LoadLibraryExW((WithSlash(folder) + name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        SetErrorMode(oldMode);
        if (!module_)
            return false;
        info_ = Export<GetPluginInfoFn>("GetPluginInfo");
        if (!info_)
            return false;
        char version[16] = {};
        int n = 0;
        if (!Call([&] { n = info_(0, version, 8); }))
            return false;
        kind_ = KindFromVersion(version, InfoAnswer(version, 8, n).size());
        return true;
    }
    ~Plugin() {
        if (faulted_)
            module_.Release();
    }

    template <typename Fn>
    Fn Export(const char* name) const {
        return module_ ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_.Get(), name))) : nullptr;
    }
    // Runs a call into the module; false when the module faulted now or before.
    template <typename F>
    bool Call(F&& call) {
        if (faulted_)
            return false;
        if (!Guarded(call))
            faulted_ = true;
        return !faulted_;
    }
    // A GetPluginInfo answer, empty when there is none.
    std::string Info(int number) {
        char buffer[kInfoBufferSize * 2] = {};
        int n = 0;
        if (!info_ || !Call([&] { n = info_(number, buffer, static_cast<int>(kInfoBufferSize)); }))
            return std::string();
        return InfoAnswer(buffer, kInfoBufferSize, n);
    }
    uint32_t Kind() const { return kind_; }
    bool Faulted() const { return faulted_; }
    HMODULE Handle() const { return module_.Get(); }

  private:
    win::Module module_;
    GetPluginInfoFn info_ = nullptr;
    uint32_t kind_ = kNotUsable;
    bool faulted_ = false;
};

// A memory handle a module returned, read and released inside the guard: a forged handle faults
// there instead of in the program.
template <typename Use>
bool TakeHandle(Plugin& plugin, HLOCAL handle, Use&& use) {
    if (!handle)
        return false;
    bool ok = false;
    const bool clean = plugin.Call([&] {
        const SIZE_T size = LocalSize(handle);
        const void* data = size ? LocalLock(handle) : nullptr;
        if (data) {
            ok = use(static_cast<const uint8_t*>(data), static_cast<size_t>(size));
            LocalUnlock(handle);
        }
        LocalFree(handle);
    });
    return clean && ok;
}

// The first 2,176 bytes of a file (with its time); false for a file that cannot be read or is shorter.
bool ReadHead(const std::wstring& path, std::vector<uint8_t>* head, uint64_t* size, platform::FileTime* time) {
    platform::File file;
    if (!file.Open(path, platform::OpenMode::ReadShared) || !file.Size(size) || *size < kHeadSize)
        return false;
    head->assign(kHeadSize, 0);
    if (!file.ReadExact(head->data(), kHeadSize))
        return false;
    if (time && !file.LastWriteTime(time))
        *time = 0;
    return true;
}

// The first plug-in of `wanted` kind that accepts the head at offset 0 or after a 128-byte header.
bool FindPlugin(const Host& host, const std::string& name, const std::vector<uint8_t>& head, uint32_t wanted,
                Plugin* found, size_t* headOffset) {
    for (const std::wstring& file : PluginFiles(host.folder)) {
        if (Excluded(host, file))
            continue;
        Plugin plugin;
        if (!plugin.Load(host.folder, file) || plugin.Kind() != wanted)
            continue;
        auto isSupported = plugin.Export<IsSupportedFn>("IsSupported");
        const bool complete = wanted == kImagePlugin
                                  ? plugin.Export<GetPictureFn>("GetPicture") != nullptr
                                  : plugin.Export<GetArchiveInfoFn>("GetArchiveInfo") && plugin.Export<GetFileFn>("GetFile");
        if (!isSupported || !complete)
            continue;
        for (size_t offset : {size_t(0), kHeaderSkip}) {
            int accepted = 0;
            if (plugin.Call([&] { accepted = isSupported(name.c_str(), head.data() + offset); }) && accepted) {
                *found = std::move(plugin);
                *headOffset = offset;
                return true;
            }
        }
    }
    return false;
}

bool DecodeWith(Plugin& plugin, LPCSTR buffer, LONG_PTR length, unsigned int flag, image::DecodedImage& out) {
    int32_t depth = 0;
    if (auto pictureInfo = plugin.Export<int(WINAPI*)(LPCSTR, LONG_PTR, unsigned int, PictureInfo*)>("GetPictureInfo")) {
        PictureInfo info;
        std::memset(&info, 0, sizeof info);
        info.info = reinterpret_cast<HLOCAL>(kHandlePreset);
        int result = -1;
        if (plugin.Call([&] { result = pictureInfo(buffer, length, flag, &info); }) && result == 0) {
            depth = info.colorDepth;
            const uintptr_t handle = reinterpret_cast<uintptr_t>(info.info);
            if (handle && (handle & kShiftedMask) != kShiftedValue)
                plugin.Call([&] { LocalFree(info.info); });
        }
    }
    auto getPicture = plugin.Export<GetPictureFn>("GetPicture");
    HLOCAL infoHandle = nullptr, bitsHandle = nullptr;
    int result = -1;
    if (!plugin.Call([&] { result = getPicture(buffer, length, flag, &infoHandle, &bitsHandle, Progress, 0); }))
        return false;
    std::vector<uint8_t> info;
    const bool gotInfo = TakeHandle(plugin, infoHandle, [&](const uint8_t* data, size_t size) {
        info.assign(data, data + std::min(size, kMaxBitmapInfo));
        return true;
    });
    bool ok = false;
    const bool gotBits = TakeHandle(plugin, bitsHandle, [&](const uint8_t* data, size_t size) {
        ok = result == 0 && gotInfo && size < (uint64_t(1) << 32) &&
             ConvertPluginBitmap(info.data(), info.size(), data, size, depth, out);
        return ok;
    });
    return gotBits && ok;
}

} // namespace

std::vector<PluginFileInfo> ListPluginFiles(const std::wstring& folder, win::CriticalSection* lock) {
    std::vector<PluginFileInfo> files;
    if (folder.empty() || !platform::FolderExists(folder))
        return files;
    const std::wstring slashed = WithSlash(folder);
    for (const std::wstring& name : PluginFiles(slashed)) {
        PluginFileInfo file;
        file.fileName = name;
        win::CriticalSectionScope scope(lock);
        Plugin plugin;
        if (plugin.Load(slashed, name)) {
            std::string patterns = plugin.Info(2), names = plugin.Info(3);
            if (!patterns.empty() && !names.empty()) {
                for (int n = 4; n < kMaxInfoNumber; n += 2) {
                    const std::string p = plugin.Info(n);
                    const std::string d = p.empty() ? std::string() : plugin.Info(n + 1);
                    if (p.empty() || d.empty() || patterns.size() + 1 + p.size() >= kInfoBufferSize ||
                        names.size() + 1 + d.size() >= kInfoBufferSize)
                        break;
                    patterns += ";" + p;
                    names += "/" + d;
                }
                file.description1 = platform::AnsiToWide(patterns);
                file.description2 = platform::AnsiToWide(names);
            }
        }
        files.push_back(std::move(file));
    }
    return files;
}

bool ShowPluginConfiguration(HWND owner, const std::wstring& folder, const std::wstring& fileName,
                             win::CriticalSection* lock) {
    if (folder.empty() || !platform::FolderExists(folder))
        return false;
    win::CriticalSectionScope scope(lock);
    Plugin plugin;
    if (!plugin.Load(folder, fileName))
        return false;
    auto configure = plugin.Export<ConfigurationDlgFn>("ConfigurationDlg");
    int result = -1;
    return configure && plugin.Call([&] { result = configure(owner, 1); }) && result == 0;
}

namespace {

// Every enabled module of the folder loaded once, under the lock; `add` gets its kind and each
// pattern list it reports.
template <typename Add>
void ForEachPluginPattern(const Host& host, Add add) {
    if (!Usable(host))
        return;
    win::CriticalSectionScope scope(host.lock);
    for (const std::wstring& name : PluginFiles(host.folder)) {
        if (Excluded(host, name))
            continue;
        Plugin plugin;
        if (!plugin.Load(host.folder, name) || plugin.Kind() == 0)
            continue;
        for (int n = 2; n < kMaxInfoNumber; n += 2) {
            const std::string patterns = plugin.Info(n);
            if (patterns.empty())
                break;
            add(plugin.Kind(), platform::AnsiToWide(patterns));
        }
    }
}

} // namespace

std::vector<std::wstring> PluginExtensionsOfKind(const Host& host, uint32_t kindMask) {
    std::vector<std::wstring> extensions;
    ForEachPluginPattern(host, [&](uint32_t kind, const std::wstring& patterns) {
        if (kind & kindMask)
            AddPatternExtensions(patterns, &extensions);
    });
    return extensions;
}

PluginExtensionLists PluginExtensionsByKind(const Host& host) {
    PluginExtensionLists lists;
    ForEachPluginPattern(host, [&](uint32_t kind, const std::wstring& patterns) {
        AddPatternExtensions(patterns, kind & kImageMask ? &lists.images : &lists.archives);
    });
    return lists;
}

std::vector<std::wstring> PluginExtensions(const std::wstring& folder, const std::vector<std::wstring>& excluded,
                                           win::CriticalSection* lock) {
    Host host;
    host.lock = lock;
    host.folder = folder;
    host.excluded = excluded;
    return PluginExtensionsOfKind(host, kImageMask);
}

bool DecodeFile(const Host& host, const std::wstring& path, image::DecodedImage& out) {
    image::FreePixels(out);
    std::vector<uint8_t> head;
    uint64_t size = 0;
    platform::FileTime time = 0;
    if (!Usable(host) || !ReadHead(path, &head, &size, &time))
        return false;
    const std::string name = AnsiPath(path);
    win::CriticalSectionScope scope(host.lock);
    Plugin plugin;
    size_t offset = 0;
    if (!FindPlugin(host, name, head, kImagePlugin, &plugin, &offset) ||
        !DecodeWith(plugin, name.c_str(), static_cast<LONG_PTR>(offset), kFromFile, out)) {
        image::FreePixels(out);
        return false;
    }
    out.source_size = size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
    out.source_time = time;
    return true;
}

bool DecodeMemory(const Host& host, const std::wstring& name, const uint8_t* data, size_t size,
                  image::DecodedImage& out) {
    image::FreePixels(out);
    if (!data || size == 0 || !Usable(host))
        return false;
    // A short block is shown zero-padded, as a file's head would be.
    std::vector<uint8_t> head(kHeadSize, 0);
    std::memcpy(head.data(), data, std::min(size, kHeadSize));
    const std::string ansiName = platform::WideToAnsi(name);
    win::CriticalSectionScope scope(host.lock);
    Plugin plugin;
    size_t offset = 0;
    if (!FindPlugin(host, ansiName, head, kImagePlugin, &plugin, &offset) || size <= offset ||
        !DecodeWith(plugin, reinterpret_cast<LPCSTR>(data + offset), static_cast<LONG_PTR>(size - offset),
                    kFromMemory, out)) {
        image::FreePixels(out);
        return false;
    }
    out.source_size = size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
    out.source_time = 0;
    return true;
}

// ---- Archives -----------------------------------------------------------------------------------

struct ArchiveSession::Impl {
    win::CriticalSection* lock = nullptr;
    Plugin plugin;
    std::string name;
    size_t offset = 0;
    std::vector<EntrySize> sizes;
};

ArchiveSession::~ArchiveSession() { Close(); }

void ArchiveSession::Close() {
    if (!impl_)
        return;
    // The module's unload runs under the lock too.
    win::CriticalSection* lock = impl_->lock;
    win::CriticalSectionScope scope(lock);
    delete impl_;
    impl_ = nullptr;
}

bool ArchiveSession::Open(const Host& host, const std::wstring& path, location::ArchiveListing* listing) {
    Close();
    *listing = location::ArchiveListing();
    std::vector<uint8_t> head;
    uint64_t size = 0;
    platform::FileTime time = 0;
    if (!Usable(host) || !ReadHead(path, &head, &size, &time))
        return false;
    auto impl = std::make_unique<Impl>();
    impl->lock = host.lock;
    impl->name = AnsiPath(path);
    win::CriticalSectionScope scope(host.lock);
    if (!FindPlugin(host, impl->name, head, kArchivePlugin, &impl->plugin, &impl->offset))
        return false;
    auto getArchiveInfo = impl->plugin.Export<GetArchiveInfoFn>("GetArchiveInfo");
    HLOCAL entries = nullptr;
    int result = -1;
    if (!impl->plugin.Call([&] {
            result = getArchiveInfo(impl->name.c_str(), static_cast<LONG_PTR>(impl->offset), kFromFile, &entries);
        }))
        return false;
    // Some plug-ins answer an error code with a good list: the handle decides.
    (void)result;
    if (!TakeHandle(impl->plugin, entries, [&](const uint8_t* data, size_t bytes) {
            return ParseEntryList(data, bytes, listing, &impl->sizes);
        })) {
        *listing = location::ArchiveListing();
        return false;
    }
    listing->archiveTime = time;
    impl_ = impl.release();
    return true;
}

namespace {

// GetFile into memory; `expected` is the listed size (0: unknown, the handle's size counts).
bool FetchFrom(Plugin& plugin, const std::string& name, uint64_t at, uint64_t expected, platform::PageBlock* block,
               uint32_t* size) {
    auto getFile = plugin.Export<GetFileFn>("GetFile");
    if (!getFile || at > static_cast<uint64_t>(INTPTR_MAX))
        return false;
    HLOCAL member = nullptr;
    int result = -1;
    if (!plugin.Call([&] {
            result = getFile(name.c_str(), static_cast<LONG_PTR>(at), reinterpret_cast<LPSTR>(&member),
                             kFromFile | kToMemory, Progress, 0);
        }))
        return false;
    if (result != 0) {
        // A handle handed back with a failure is still the plug-in's to give up.
        TakeHandle(plugin, member, [](const uint8_t*, size_t) { return false; });
        return false;
    }
    return TakeHandle(plugin, member, [&](const uint8_t* data, size_t bytes) {
        if (expected > bytes || bytes >= UINT32_MAX - 4)
            return false;
        const size_t length = expected ? static_cast<size_t>(expected) : bytes;
        platform::PageBlock copy(length + 4);
        if (!copy.Get())
            return false;
        std::memcpy(copy.Get(), data, length);
        std::memset(copy.Get() + length, 0, 4);
        *block = std::move(copy);
        *size = static_cast<uint32_t>(length);
        return true;
    });
}

} // namespace

bool ArchiveSession::Fetch(uint32_t position, platform::PageBlock* block, uint32_t* size) {
    if (!impl_)
        return false;
    uint64_t expected = 0;
    for (const EntrySize& e : impl_->sizes)
        if (e.position == position) {
            expected = e.fileSize;
            break;
        }
    win::CriticalSectionScope scope(impl_->lock);
    return FetchFrom(impl_->plugin, impl_->name, impl_->offset + uint64_t(position), expected, block, size);
}

bool ListArchive(const Host& host, const std::wstring& path, location::ArchiveListing* listing) {
    ArchiveSession session;
    return session.Open(host, path, listing);
}

bool FetchMember(const Host& host, const std::wstring& path, uint32_t position, platform::PageBlock* block,
                 uint32_t* size) {
    std::vector<uint8_t> head;
    uint64_t fileSize = 0;
    if (!Usable(host) || !ReadHead(path, &head, &fileSize, nullptr))
        return false;
    const std::string name = AnsiPath(path);
    win::CriticalSectionScope scope(host.lock);
    Plugin plugin;
    size_t offset = 0;
    return FindPlugin(host, name, head, kArchivePlugin, &plugin, &offset) &&
           FetchFrom(plugin, name, offset + uint64_t(position), 0, block, size);
}

} // namespace plugins
