// The thumbnail size box on the command toolbar: an owner-drawn combo box of box-size presets.
#pragma once

#include <windows.h>

#include "ui/main_window_win.h"

namespace ui {

HWND CreateSizeBox(MainWindow& w, HWND parent, int x, int y);
void OnSizeBoxMeasure(MainWindow& w, MEASUREITEMSTRUCT* mis);
void OnSizeBoxDraw(MainWindow& w, const DRAWITEMSTRUCT* dis);
void OnSizeBoxCloseUp(MainWindow& w);
void RefreshSizeBox(MainWindow& w);


} // namespace ui
