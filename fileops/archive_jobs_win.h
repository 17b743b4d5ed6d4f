// The background archive commands of the folder tree: extracting a whole archive into a new folder,
// and packing a folder into a new ZIP. Each asks the broker for the one job, lets the user pick the
// destination and hands the work to a worker thread with a progress window.
#pragma once

#include <windows.h>

#include <string>

#include "common/location.h"

namespace fileops {

// Whether no archive job runs now, so a new one could start.
bool ArchiveJobPossible();

// The archive at `archivePath` (kind 2, 3 or 4) into a new folder below a folder the user picks.
// Nothing happens while another job runs or when the user cancels the chooser.
void ExtractArchiveToFolder(HWND owner, location::LocationKind kind, const std::wstring& archivePath);

// `folder` into a new ZIP in a folder the user picks, deflated or stored.
void PackFolderToZip(HWND owner, const std::wstring& folder, bool deflate);

} // namespace fileops
