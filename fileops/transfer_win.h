// Items handed to a folder: moved or copied by the shell from a folder, extracted from an archive,
// or copied out of the recycle bin view under the names they had before deletion. The callers
// collect plain records from a pane; nothing here reaches back into the windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/location.h"
#include "fileops/shell_ops_win.h"

namespace fileops {

enum class TransferSource {
    Folder,     // a file-system or shell folder: items are files known by their full paths
    Archive,    // members of the archive at `archivePath`
    RecycleBin, // recycled files: `path` is the stored file, `name` the name it had
};

struct TransferItem {
    std::wstring path;    // the file; for archive members their folder inside the archive
    std::wstring name;    // the name shown in the pane
    uint32_t locator = 0; // archive members only
    uint32_t size = 0;    // archive members only, as listed
};

struct Transfer {
    TransferSource source = TransferSource::Folder;
    location::LocationKind archiveKind = location::kZipArchive;
    std::wstring archivePath;
    std::vector<TransferItem> items; // in pane order
    std::wstring targetFolder;
    bool move = false; // honoured only for folder sources: archives and the bin are only copied from
};

// The shell operation of a folder or recycle-bin transfer; no sources for an archive or nothing to do.
// Recycled files each get their own target: the folder joined with the cleaned displayed name (the
// stored name when the bookkeeping gave nothing usable). Moved files each get the folder joined with
// their own name; copies from a folder name the folder alone.
ShellOperation PlanShellTransfer(const Transfer& t, const std::wstring& moveTitle, const std::wstring& copyTitle);

// Carries the transfer out with `owner` over the shell's dialogs. True when the shell reported
// success, or, for an archive, when at least one member was written.
bool TransferToFolder(HWND owner, const Transfer& t);

} // namespace fileops
