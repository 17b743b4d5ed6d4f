// The popup preview: a picture shown larger over its cell while a key or button is held.
#pragma once

#include <windows.h>

#include <string>

#include "image/load.h"
#include "ui/main_window_win.h"

namespace ui {

HWND CreatePopupPreview(MainWindow& w);
// Opens the preview of the picture in `path` (or, for an archive's item, in `member`) over `cell`
// (screen coordinates).
bool ShowPopupPreview(MainWindow& w, const std::wstring& path, const RECT& cell,
                      image::ArchiveMemberSource* member = nullptr);
void ClosePopupPreview(MainWindow& w);


} // namespace ui
