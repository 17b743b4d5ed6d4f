// The desktop wallpaper's portable half: the layout the dialog presets from the desktop's registry
// values and writes back, and the picture turned and written as a 24-bit bitmap file that replaces the
// wallpaper file only once it is complete. The dialog, the registry and the system call are in
// wallpaper_win.*.
#pragma once

#include <string>

#include "image/decoded_image.h"

namespace wallpaper {

enum class Layout { Centred, Stretched, Tiled };

// Radio buttons of dialog 2200, in layout order.
constexpr int kButtonCentred = 2210;
constexpr int kButtonStretched = 2211;
constexpr int kButtonTiled = 2212;

int ButtonOf(Layout layout);
Layout LayoutOfButton(int button);

// A REG_SZ value read into two characters: `fits` when it held one character and its terminator.
struct OneCharValue {
    bool fits = false;
    wchar_t c = 0;
};
// The preset of the dialog. A value that does not fit (a missing one, or "10") says nothing, and
// the centred layout is preset for it.
Layout PresetLayout(OneCharValue tile, OneCharValue style);

// The one-character texts of "TileWallpaper" and "WallpaperStyle" for a layout.
struct RegistryValues {
    const wchar_t* tile;
    const wchar_t* style;
};
RegistryValues ValuesOf(Layout layout);

// The rotation kind (image::RotateImage) that turns a picture of Exif orientation `orientation`
// upright; 0 for none.
int RotationFor(int orientation);

// Makes `picture` 24 bits, turns it by `orientation` when `turn` is set, writes it to a temporary
// file and puts that in place as `wallpaperPath`. Until the new file is complete the old one stays
// as it was. False on any failure; the temporary files are gone either way.
bool WriteWallpaperFile(image::DecodedImage& picture, int orientation, bool turn, const std::wstring& wallpaperPath);

} // namespace wallpaper
