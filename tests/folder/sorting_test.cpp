// Sorting must survive a name comparison that is not a strict weak order (the system's logical order
// is promised to be none), and must break ties the same way every time.
#include "folder/sorting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "folder/names.h"

namespace {

// Installs a name comparison for one test; the portable one comes back afterwards.
class NameCompareScope {
  public:
    explicit NameCompareScope(folder::NameCompareFn compare) { folder::SetNameCompare(compare); }
    ~NameCompareScope() { folder::SetNameCompare(nullptr); }
    NameCompareScope(const NameCompareScope&) = delete;
    NameCompareScope& operator=(const NameCompareScope&) = delete;
};

int AlwaysLess(const std::wstring&, const std::wstring&) { return -1; }
int AlwaysGreater(const std::wstring&, const std::wstring&) { return 1; }
// Rock, paper, scissors on the last digit: a < b < c < a, and never equal.
int Cyclic(const std::wstring& a, const std::wstring& b) {
    const int x = a.empty() ? 0 : a.back() % 3, y = b.empty() ? 0 : b.back() % 3;
    return (x + 1) % 3 == y ? -1 : 1;
}
// A different answer every time, even for the same pair.
int Coin(const std::wstring&, const std::wstring&) {
    static uint32_t state = 12345;
    state = state * 1103515245u + 12345u;
    return (state >> 16) & 1 ? -1 : 1;
}

std::vector<folder::ThumbItem> Items(size_t count) {
    std::vector<folder::ThumbItem> items(count);
    for (size_t i = 0; i < count; ++i) {
        items[i].name = L"p" + std::to_wstring(i % 700) + L".jpg"; // some names twice
        items[i].path = i % 3 ? L"" : L"sub\\";
        items[i].entry = i;
    }
    return items;
}

bool IsPermutation(const std::vector<folder::ThumbItem>& items) {
    std::vector<bool> seen(items.size(), false);
    for (const folder::ThumbItem& item : items) {
        if (item.entry >= seen.size() || seen[item.entry])
            return false;
        seen[item.entry] = true;
    }
    return true;
}

TEST(SafeSorting, BrokenNameOrdersNeverReachOutsideTheArray) {
    // Under AddressSanitizer an out-of-range read fails the run; elsewhere the permutation check
    // catches elements overwritten from outside.
    for (folder::NameCompareFn compare : {AlwaysLess, AlwaysGreater, Cyclic, Coin}) {
        NameCompareScope scope(compare);
        for (int32_t mode : {folder::kSortNameAscending, folder::kSortNameDescending}) {
            for (folder::LocationKind kind : {folder::kFileSystemFolder, folder::kZipArchive}) {
                std::vector<folder::ThumbItem> items = Items(1000);
                folder::SortItems(items.data(), items.size(), mode, kind);
                EXPECT_TRUE(IsPermutation(items)) << mode << " " << kind;
            }
        }
        folder::ArchiveListing listing;
        for (size_t i = 0; i < 1000; ++i) {
            folder::ArchiveEntry e;
            e.name = std::to_wstring(i);
            e.folder = i % 2 ? L"x\\" : L"";
            listing.entries.push_back(e);
        }
        for (folder::LocationKind kind : {folder::kFileSystemFolder, folder::kZipArchive}) {
            folder::SortListing(listing, kind);
            std::vector<bool> seen(1000, false);
            for (const folder::ArchiveEntry& e : listing.entries)
                seen[std::stoul(e.name)] = true;
            EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 1000);
        }
    }
}

TEST(SafeSorting, TiesComeOutInListingOrder) {
    // Equal keys, starting from a shuffled order (as after an earlier sort): every mode gives the
    // listing order, and mode 1 its exact reverse.
    std::vector<folder::ThumbItem> items(40);
    for (size_t i = 0; i < items.size(); ++i) {
        items[i].entry = (i * 17) % items.size();
        items[i].name = i % 2 ? L"SAME.jpg" : L"same.jpg"; // equal in the folded name order
        items[i].time = 5;
        items[i].size = 7;
    }
    for (int32_t mode = folder::kSortNameAscending; mode <= folder::kSortSizeDescending; ++mode) {
        folder::SortItems(items.data(), items.size(), mode, folder::kFileSystemFolder);
        for (size_t i = 0; i < items.size(); ++i) {
            const size_t listed = mode == folder::kSortNameDescending ? items.size() - 1 - i : i;
            ASSERT_EQ(items[i].entry, listed) << "mode " << mode;
        }
        std::swap(items[3], items[30]);
    }
    // The keys still decide first.
    items[39].size = 1;
    folder::SortItems(items.data(), items.size(), folder::kSortSizeAscending, folder::kFileSystemFolder);
    EXPECT_EQ(items[0].entry, 39u);
    EXPECT_EQ(items[1].entry, 0u);
}

TEST(SafeSorting, EqualListingEntriesKeepTheirOrder) {
    folder::ArchiveListing listing;
    for (const wchar_t* name : {L"b.jpg", L"A.jpg", L"a.jpg", L"B.jpg", L"a.JPG"}) {
        folder::ArchiveEntry e;
        e.name = name;
        listing.entries.push_back(e);
    }
    folder::SortListing(listing, folder::kFileSystemFolder);
    std::vector<std::wstring> order;
    for (const folder::ArchiveEntry& e : listing.entries)
        order.push_back(e.name);
    EXPECT_EQ(order, (std::vector<std::wstring>{L"A.jpg", L"a.jpg", L"a.JPG", L"b.jpg", L"B.jpg"}));
}

} // namespace
