// Texts a pane shows about its items (status bar, caption lines) and the grid arithmetic of the view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "folder/thumb_item.h"

namespace folder {

// Status bar part 4 while a load starts.
constexpr wchar_t kLoadingCountText[] = L"0/0";

// Status bar part 4 of an idle pane: "-" without items, else selected "/" count.
std::wstring SelectionCountText(size_t selected, size_t count);

// Decimal with "," between groups of three digits once it has 4 or more digits.
std::wstring GroupThousands(uint64_t value);

// A byte size as whole KiB rounded up, grouped, with "KB": 1023 gives "1KB".
std::wstring KiBText(uint32_t bytes);

// Caption line 2: width "x" height " (" KiB "KB)".
std::wstring SizeLine(const ThumbItem& item);

// Caption line 3: bit depth, "bit", then the format's marks.
std::wstring BitsLine(const ThumbItem& item, bool autoRotate);

// Caption line 4 from a local time: year-month-day hour:minute:second, all but the year two digits.
std::wstring DateLine(int year, int month, int day, int hour, int minute, int second);

// Maintenance list: the stored box as width "x" height.
std::wstring BoxText(int32_t width, int32_t height);

// Grid arithmetic (all sizes in pixels).
int GridColumns(int clientWidth, int cellWidth);   // at least 1
int GridRows(int clientHeight, int cellHeight);    // visible rows, at least 1
int RowCount(size_t itemCount, int columns);       // rows holding items
// Scroll bar maximum: cell height x rows - 1 (-1 without items).
int ScrollMaximum(int cellHeight, size_t itemCount, int columns);
// A dragged thumb position snapped to the nearer row boundary.
int SnapToRow(int cellHeight, int trackPosition);

} // namespace folder
