// Archives read through the archive plug-ins (kind 4, and the second try for ZIP and RAR files the
// built-in readers cannot read). The Windows side installs the reader at start-up; without one (natively,
// or with no plug-in folder) nothing is read this way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/extract.h"
#include "archive/job_progress.h"
#include "common/location.h"
#include "common/platform.h"

namespace archive {

class PluginArchiveReader {
  public:
    virtual ~PluginArchiveReader() = default;
    virtual bool List(const std::wstring& path, location::ArchiveListing* listing) = 0;
    // A page block of size + 4 bytes, the spare four zero.
    virtual bool Fetch(const std::wstring& path, uint32_t position, platform::PageBlock* block, uint32_t* size) = 0;
    // Lists the archive once and hands `use` its listing and a fetch that reads from that one opening.
    // False when the archive cannot be listed.
    virtual bool WithArchive(const std::wstring& path,
                             const std::function<void(const location::ArchiveListing&, const MemberFetch&)>& use) = 0;
};

// Installs the reader (null removes it); it must outlive every archive operation.
void SetPluginArchiveReader(PluginArchiveReader* reader);

bool ListWithPlugins(const std::wstring& path, location::ArchiveListing* listing);
bool FetchWithPlugins(const std::wstring& path, uint32_t position, platform::PageBlock* block, uint32_t* size);
// The whole archive into a new folder below `targetFolder`, as ExtractListedToFolder places members.
// True when at least one member was written.
bool ExtractWithPlugins(const std::wstring& path, const std::wstring& targetFolder, JobProgress& progress,
                        std::wstring* createdFolder);

} // namespace archive
