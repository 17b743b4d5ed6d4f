#include "folder/sorting.h"

#include <algorithm>

#include "folder/names.h"
#include "folder/pane_location.h"

namespace folder {

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

template <typename T>
int Order(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// The archive rule shared by listings and items: empty folder part first, then folder part, then name.
int CompareInArchive(const std::wstring& folderA, const std::wstring& nameA, const std::wstring& folderB,
                     const std::wstring& nameB) {
    if (folderA.empty() != folderB.empty())
        return folderA.empty() ? -1 : 1;
    if (!folderA.empty()) {
        const int byFolder = Sign(CompareNames(folderA, folderB));
        if (byFolder != 0)
            return byFolder;
    }
    return Sign(CompareNames(nameA, nameB));
}

int CompareByName(const ThumbItem& a, const ThumbItem& b, LocationKind kind) {
    if (IsArchiveKind(kind))
        return CompareInArchive(a.path, a.name, b.path, b.name);
    return Sign(CompareNames(a.name, b.name));
}

} // namespace

int CompareEntries(const ArchiveEntry& a, const ArchiveEntry& b, LocationKind kind) {
    if (IsArchiveKind(kind))
        return CompareInArchive(a.folder, a.name, b.folder, b.name);
    return Sign(CompareNames(a.name, b.name));
}

void SortListing(ArchiveListing& listing, LocationKind kind) {
    std::sort(listing.entries.begin(), listing.entries.end(),
              [kind](const ArchiveEntry& a, const ArchiveEntry& b) { return CompareEntries(a, b, kind) < 0; });
}

int CompareItems(const ThumbItem& a, const ThumbItem& b, int32_t mode, LocationKind kind) {
    switch (mode) {
    case kSortNameDescending: return CompareByName(b, a, kind);
    case kSortDateAscending: return Order(a.time, b.time);
    case kSortDateDescending: return Order(b.time, a.time);
    // Compared, not subtracted: a difference of two sizes can overflow 32 bits.
    case kSortSizeAscending: return Order(a.size, b.size);
    case kSortSizeDescending: return Order(b.size, a.size);
    default: return CompareByName(a, b, kind);
    }
}

void SortItems(ThumbItem* items, size_t count, int32_t mode, LocationKind kind) {
    if (!items || count < 2)
        return;
    std::sort(items, items + count,
              [mode, kind](const ThumbItem& a, const ThumbItem& b) { return CompareItems(a, b, mode, kind) < 0; });
}

} // namespace folder
