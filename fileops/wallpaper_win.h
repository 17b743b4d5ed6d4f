// Command 5050: the selected picture as the desktop wallpaper, laid out as chosen in dialog 2200.
#pragma once

#include <windows.h>

#include <string>

#include "app/settings.h"
#include "common/location.h"

namespace wallpaper {

// The picture: a file, or a member of the archive at `path`.
struct Source {
    location::LocationKind kind = location::kFileSystemFolder;
    std::wstring path;            // the file, or the archive
    location::ArchiveEntry entry; // archives only
};

enum class Outcome { Done, Cancelled, Failed };

// Shows the dialog, writes the layout to the desktop's registry values on OK, then decodes the
// picture, writes "save_wp.bmp" beside the settings file and hands it to the system. The caller shows
// error 30005 for Failed.
Outcome SetDesktopWallpaper(HWND owner, const Source& source, const settings::Settings& s,
                            const std::wstring& settingsPath);

} // namespace wallpaper
