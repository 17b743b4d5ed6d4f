// Unpacking archives onto disk: a whole ZIP into a new folder, or chosen members of any archive into
// an existing one. Member names come from the archive and are not trusted: every path written is
// rebuilt from cleaned components, so nothing lands outside the target folder whatever the archive
// says ("..", drives, roots, streams, device names).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/job_progress.h"
#include "common/location.h"
#include "common/platform.h"

namespace archive {

// One path component as Windows would store it without surprises: control characters and
// <>:"|?* become "_", trailing dots and spaces go, and a device name (CON, aux.jpg, LPT1.txt ...)
// gets a leading "_". Empty when nothing is left ("", ".", "..", " . ").
std::wstring CleanPathComponent(const std::wstring& component);

// `path` (separated by "\" or "/") rebuilt from its cleaned components joined with "\"; empty
// components, roots and drives fall away, so the result is always relative and never climbs.
// Empty when nothing is left.
std::wstring CleanRelativePath(const std::wstring& path);

// Writes `size` bytes to a temporary file, dates it `time` (0 leaves it undated), then renames it to a
// new `target` on the same volume or copies it over `target`, and announces the target to the shell. The temporary file is deleted in every case, and a
// target that did not exist before is not left half written.
bool WriteFileViaTemp(const std::wstring& target, const uint8_t* data, size_t size, platform::FileTime time);

// The new folder an archive unpacks into and where each listed member goes below it.
struct ExtractionPlan {
    std::wstring root;                 // the folder created
    std::vector<std::wstring> targets; // per listed entry: the file to write, empty when none
};

// Creates the folder `base` (cleaned; "+1", "+2" ... when taken) below `targetFolder` and every
// folder the members need. When every member lies under one top folder named `base`, that level is
// dropped. Targets are built from cleaned components, so none lies outside the root.
bool PlanExtraction(const std::vector<location::ArchiveEntry>& entries, const std::wstring& base,
                    const std::wstring& targetFolder, ExtractionPlan* plan);

// Extracts every member of the ZIP at `archivePath` into a new folder below `targetFolder` named after
// the archive ("Photos.zip" -> "Photos", or "Photos+1" when taken). When every member lies under one
// top folder of that same name, that level is dropped. Members that cannot be extracted or written
// are passed over; `progress` is asked to stop between members. True when the folder was created and
// the members were gone through (even when stopped); `createdFolder` then holds its path.
bool ExtractZipToFolder(const std::wstring& archivePath, const std::wstring& targetFolder, JobProgress& progress,
                        std::wstring* createdFolder);

// Fetches a member's bytes from whichever archive it belongs to: a page block of at least `*size`
// bytes. False when the member cannot be had.
using MemberFetch = std::function<bool(const location::ArchiveEntry&, platform::PageBlock*, size_t*)>;

// Extracts the listed `entries` of the archive at `archivePath` into a new folder below `targetFolder`,
// placed as ExtractZipToFolder places them, each member's bytes coming from `fetch` (a member is
// fetched once, however often the list names its locator). Members that cannot be fetched or written
// are passed over; `progress` is asked to stop between members. Returns how many files were written;
// `createdFolder` receives the new folder (empty when none could be made).
size_t ExtractListedToFolder(const std::wstring& archivePath, const std::vector<location::ArchiveEntry>& entries,
                             const std::wstring& targetFolder, JobProgress& progress, const MemberFetch& fetch,
                             std::wstring* createdFolder);

// Copies `members` into `targetFolder`, each under its own (cleaned) name without its folder inside the
// archive, at a free name ("x.jpg", then "x+1.jpg" ...) so nothing is replaced. Member times are not
// applied. Returns how many files were written; members that cannot be fetched or written are
// passed over.
size_t CopyMembersToFolder(const std::wstring& targetFolder, const std::vector<location::ArchiveEntry>& members,
                           const MemberFetch& fetch);

} // namespace archive
