// The picture-information list (list box 403 on the tree area's second tab): the Exif items of a
// JPEG or the text pairs of a PNG, for the anchor item of a single selection.
#pragma once

#include "folder/thumb_item.h"
#include "ui/main_window_win.h"

namespace ui {

// Fills the list for `item`, or empties it for none. An item already shown is not read again.
void ShowPictureInfo(MainWindow& w, const folder::ThumbItem* item);

// The item chooser (dialog 2600): which Exif items the list shows (settings key 105). On OK the
// flags are stored and the list is rebuilt for the item it shows; true then.
bool ChoosePictureInfoItems(MainWindow& w, HWND owner);

// The chooser's dialog procedure; lParam of WM_INITDIALOG points to the 62 flags it edits, which
// change only on OK.
INT_PTR CALLBACK PictureInfoItemsProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);

} // namespace ui
