#include "folder/sorting.h"

#include <new>
#include <utility>
#include <vector>

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

// The order of positions 0..count-1 by `less`, ties in position order: a bottom-up merge sort whose
// reads are bounded by the run lengths alone. The system's name order need not be a strict weak
// order, and std::sort may then read past the array; here a bad comparator only gives a strange
// order. Empty when the index arrays cannot be allocated.
template <typename Less>
std::vector<size_t> MergeOrder(size_t count, Less less) {
    std::vector<size_t> order, merged;
    try {
        order.resize(count);
        merged.resize(count);
    } catch (const std::bad_alloc&) {
        return {};
    }
    for (size_t i = 0; i < count; ++i)
        order[i] = i;
    for (size_t width = 1; width < count; width = width > count / 2 ? count : 2 * width) {
        for (size_t lo = 0; lo < count; lo += count - lo > 2 * width ? 2 * width : count - lo) {
            const size_t mid = count - lo > width ? lo + width : count;
            const size_t hi = count - mid > width ? mid + width : count;
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                merged[k++] = less(order[j], order[i]) ? order[j++] : order[i++];
            while (i < mid)
                merged[k++] = order[i++];
            while (j < hi)
                merged[k++] = order[j++];
        }
        order.swap(merged);
    }
    return order;
}

// Moves the elements into `order`; left as they were when the order could not be made.
template <typename T>
void Permute(T* items, size_t count, const std::vector<size_t>& order) {
    if (order.size() != count)
        return;
    std::vector<T> sorted;
    try {
        sorted.reserve(count);
    } catch (const std::bad_alloc&) {
        return;
    }
    for (size_t i : order)
        sorted.push_back(std::move(items[i]));
    for (size_t i = 0; i < count; ++i)
        items[i] = std::move(sorted[i]);
}

} // namespace

int CompareEntries(const ArchiveEntry& a, const ArchiveEntry& b, LocationKind kind) {
    if (IsArchiveKind(kind))
        return CompareInArchive(a.folder, a.name, b.folder, b.name);
    return Sign(CompareNames(a.name, b.name));
}

void SortListing(ArchiveListing& listing, LocationKind kind) {
    std::vector<ArchiveEntry>& entries = listing.entries;
    const std::vector<size_t> order = MergeOrder(
        entries.size(), [&](size_t a, size_t b) { return CompareEntries(entries[a], entries[b], kind) < 0; });
    Permute(entries.data(), entries.size(), order);
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
    const std::vector<size_t> order = MergeOrder(count, [&](size_t a, size_t b) {
        const int c = CompareItems(items[a], items[b], mode, kind);
        if (c != 0)
            return c < 0;
        // Mode 1 stays the exact reverse of mode 0, ties included.
        return mode == kSortNameDescending ? items[b].entry < items[a].entry : items[a].entry < items[b].entry;
    });
    Permute(items, count, order);
}

} // namespace folder
