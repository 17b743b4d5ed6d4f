// The host of the image and archive plug-in modules ("*.spi", "*.sph" DLLs of the common plug-in
// interface). Every operation loads the modules it needs, calls them under the plug-in lock, and unloads
// them before it returns; nothing stays loaded between operations except an ArchiveSession's module,
// which its owner releases. A plug-in's answers are not trusted: sizes, offsets and terminators are
// checked against the memory handles it returned, and a fault inside a plug-in call (access violation,
// division by zero, stack overflow) counts as a failed call; that module is not called again in the
// same operation.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/location.h"
#include "common/platform.h"
#include "common/scoped_win.h"
#include "image/decoded_image.h"
#include "image/plugin_records.h"

namespace plugins {

// What every operation needs: built on the caller's stack.
struct Host {
    win::CriticalSection* lock = nullptr; // the plug-in lock, or none
    std::wstring folder;                  // settings key 60; a missing backslash is added
    std::vector<std::wstring> excluded;   // settings key 102: file names switched off
};

struct PluginFileInfo {
    std::wstring fileName;
    std::wstring description1; // the joined extension patterns ("*.a;*.b")
    std::wstring description2; // the joined format names ("A/B")
};

// The "*.spi" then "*.sph" files of `folder` (a backslash is added when missing), each with the two
// description texts the module reports (empty when it cannot be loaded or reports none).
std::vector<PluginFileInfo> ListPluginFiles(const std::wstring& folder, win::CriticalSection* lock);

// Opens the module's own configuration dialog over `owner`; false when it has none or fails.
bool ShowPluginConfiguration(HWND owner, const std::wstring& folder, const std::wstring& fileName,
                             win::CriticalSection* lock);

// The extensions ("jpg" style, lower case, no dot) accepted by the enabled image plug-ins of `folder`,
// without the ones the program decodes itself.
std::vector<std::wstring> PluginExtensions(const std::wstring& folder, const std::vector<std::wstring>& excluded,
                                           win::CriticalSection* lock);
// The same for any kind in `kindMask` (kImageMask, kArchiveMask or both).
std::vector<std::wstring> PluginExtensionsOfKind(const Host& host, uint32_t kindMask);
// Both kinds at once, in one walk of the folder: each module is loaded once.
struct PluginExtensionLists {
    std::vector<std::wstring> images;
    std::vector<std::wstring> archives;
};
PluginExtensionLists PluginExtensionsByKind(const Host& host);

// Decodes a file through the first image plug-in that accepts it; `out` receives 8 or 24 bits per pixel
// (1 and 4 bits are expanded to 8), format 0. False leaves `out` without pixels.
bool DecodeFile(const Host& host, const std::wstring& path, image::DecodedImage& out);
// The same for a block in memory (an archive member); `name` is what the plug-ins see as its name.
bool DecodeMemory(const Host& host, const std::wstring& name, const uint8_t* data, size_t size,
                  image::DecodedImage& out);

// An archive opened through the archive plug-in that accepts it; the module stays loaded until the
// session ends, and every call into it takes the host's lock.
class ArchiveSession {
  public:
    ArchiveSession() = default;
    ~ArchiveSession();
    ArchiveSession(const ArchiveSession&) = delete;
    ArchiveSession& operator=(const ArchiveSession&) = delete;

    // Lists `path`; false when no archive plug-in accepts it or its list is unusable.
    bool Open(const Host& host, const std::wstring& path, location::ArchiveListing* listing);
    // The bytes of the member at `position` (an entry's locator) in a page block of size + 4 bytes, the
    // spare four zero. False once the module has faulted.
    bool Fetch(uint32_t position, platform::PageBlock* block, uint32_t* size);
    void Close();

  private:
    struct Impl;
    Impl* impl_ = nullptr;
};

// One-shot forms of the above.
bool ListArchive(const Host& host, const std::wstring& path, location::ArchiveListing* listing);
bool FetchMember(const Host& host, const std::wstring& path, uint32_t position, platform::PageBlock* block,
                 uint32_t* size);

} // namespace plugins
