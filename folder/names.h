// Name and path comparison, and which file names each picture-type filter takes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/path.h"

namespace folder {

// Name order of listings and panes: runs of decimal digits compare by their value and sort before any
// other character; everything else compares character by character with ASCII letters folded.
// Negative, zero or positive.
int LogicalCompare(const std::wstring& a, const std::wstring& b);

// The comparison the sorts use. The portable LogicalCompare unless the Windows side installed the
// system's own (UseSystemNameOrder in names_win.cpp) at start-up, before any thread sorts.
using NameCompareFn = int (*)(const std::wstring& a, const std::wstring& b);
void SetNameCompare(NameCompareFn compare); // null restores LogicalCompare
int CompareNames(const std::wstring& a, const std::wstring& b);

// Picture-type filters; the codes equal the ImageFormat codes.
enum TypeFilter : int32_t {
    kFilterAll = 0,
    kFilterBmp = 1,
    kFilterPng = 2,
    kFilterJpeg = 3,
    kFilterTiff = 4,
    kFilterGif = 5,
};

// The extensions a filter searches, with the leading dot, in search order. Filter 0 ends with the
// plug-in extensions (a missing leading dot is added); unknown filters give none.
std::vector<std::wstring> FilterExtensions(int32_t filter, const std::vector<std::wstring>& pluginExtensions);

// True when `name` is longer than `ext` and ends in it with its dot exactly at length - ext length
// (ASCII case-insensitive). Keeps a search for ".tif" from taking "a.tiff", which the system's
// pattern matching returns through the short name.
bool EndsWithExtension(const std::wstring& name, const std::wstring& ext);

// The part of `name` from its last dot, or empty.
std::wstring ExtensionOf(const std::wstring& name);

// Shell folders: the name's extension is one of the filter's extensions.
bool NameMatchesFilter(const std::wstring& name, int32_t filter, const std::vector<std::wstring>& pluginExtensions);

// Archive listings rebuilt from the cache: filter 0 keeps names whose extension maps to a picture format
// or equals a plug-in extension; any other filter keeps names whose extension maps to exactly that
// format.
bool ArchiveNameMatchesFilter(const std::wstring& name, int32_t filter,
                              const std::vector<std::wstring>& pluginExtensions);

} // namespace folder
