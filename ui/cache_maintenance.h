// The rows of the cache maintenance dialog: what each column of an index entry says. Pure functions,
// so the rules are tested without windows.
#pragma once

#include <string>

#include "thumbs/thumb_cache.h"

namespace cachelist {

// Column widths in pixels at 96 dpi, scaled to the dialog's dpi; the location column takes what is
// left of the list's client width (both widths measured at that dpi).
constexpr int kNumberWidth = 85;
constexpr int kBoxWidth = 60;
constexpr int kCountWidth = 67;
constexpr int kSizeWidth = 67;
int LocationWidth(int clientWidth, int scrollBarWidth, int screenDpi = 96);

struct RowTexts {
    std::wstring number;   // the data file's number
    std::wstring location; // the location path
    std::wstring box;      // width "x" height
    std::wstring count;    // records of the data file, grouped; empty when it cannot be read
    std::wstring size;     // the data file's size in KiB rounded down, grouped; empty when unreadable
};
RowTexts RowTextsOf(const thumbs::CacheEntryInfo& entry);

} // namespace cachelist
