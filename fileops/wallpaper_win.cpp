#include "fileops/wallpaper_win.h"

#include "app/decode_options.h"
#include "app/language_win.h"
#include "common/path.h"
#include "fileops/wallpaper.h"
#include "folder/location_source.h"
#include "image/load.h"

namespace wallpaper {

namespace {

constexpr UINT kTemplate = 2200;
const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
const wchar_t kTileValue[] = L"TileWallpaper";
const wchar_t kStyleValue[] = L"WallpaperStyle";
const wchar_t kFileName[] = L"save_wp.bmp";

// Room for one character and its terminator: a longer value does not fit and says nothing.
OneCharValue ReadOneChar(HKEY key, const wchar_t* name) {
    wchar_t buffer[2] = {};
    DWORD type = 0, bytes = sizeof buffer;
    OneCharValue v;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) == ERROR_SUCCESS &&
        type == REG_SZ && bytes == sizeof buffer && buffer[1] == 0 && buffer[0] != 0) {
        v.fits = true;
        v.c = buffer[0];
    }
    return v;
}

Layout ReadLayout() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return Layout::Centred;
    const Layout preset = PresetLayout(ReadOneChar(key, kTileValue), ReadOneChar(key, kStyleValue));
    RegCloseKey(key);
    return preset;
}

void WriteOneChar(HKEY key, const wchar_t* name, const wchar_t* text) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 2 * sizeof(wchar_t));
}

void WriteLayout(Layout layout) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    const RegistryValues values = ValuesOf(layout);
    WriteOneChar(key, kTileValue, values.tile);
    WriteOneChar(key, kStyleValue, values.style);
    RegCloseKey(key);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CheckRadioButton(dialog, kButtonCentred, kButtonTiled, ButtonOf(ReadLayout()));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            int chosen = kButtonCentred;
            for (int button = kButtonCentred; button <= kButtonTiled; ++button)
                if (IsDlgButtonChecked(dialog, button) == BST_CHECKED)
                    chosen = button;
            WriteLayout(LayoutOfButton(chosen));
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

image::ImagePtr Decode(const Source& source, const settings::Settings& s, int* orientation) {
    const image::LoadOptions options = settings::DecodeOptionsOf(s);
    if (!location::IsArchiveKind(source.kind))
        return image::LoadImageFromFile(source.path, orientation, 0, options);
    folder::LocationMember member(folder::SourceFor(source.kind), source.path, source.entry);
    return image::LoadImageFromArchiveMember(member, orientation, 0, options);
}

} // namespace

Outcome SetDesktopWallpaper(HWND owner, const Source& source, const settings::Settings& s,
                            const std::wstring& settingsPath) {
    const INT_PTR answer = lang::DialogBoxFromModule(kTemplate, owner, DialogProc, 0);
    if (answer != IDOK)
        return answer == -1 ? Outcome::Failed : Outcome::Cancelled;
    int orientation = 1;
    image::ImagePtr picture = Decode(source, s, &orientation);
    if (!picture || !picture->pixels)
        return Outcome::Failed;
    const std::wstring file = paths::Join(paths::Parent(settingsPath), kFileName);
    if (!WriteWallpaperFile(*picture, orientation, s.exifOrientation, file))
        return Outcome::Failed;
    picture.reset();
    return SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(file.c_str()),
                                 SPIF_UPDATEINIFILE | SPIF_SENDCHANGE)
               ? Outcome::Done
               : Outcome::Failed;
}

} // namespace wallpaper
