// The folder layer's names for the shared location records.
#pragma once

#include "common/location.h"

namespace folder {

using location::ArchiveEntry;
using location::ArchiveListing;
using location::IsArchiveKind;
using location::KindFromInt;
using location::LocationKind;
using location::kFileSystemFolder;
using location::kPluginArchive;
using location::kRarArchive;
using location::kShellFolder;
using location::kZipArchive;

} // namespace folder
