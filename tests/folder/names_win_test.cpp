// The portable name order against the system's StrCmpLogicalW.
#include <gtest/gtest.h>

#include <string>

#include "folder/names.h"
#include "folder/names_win.h"
#include "folder/sorting.h"

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TEST(SystemNameOrder, PortableOrderAgrees) {
    const wchar_t* names[] = {L"img2.jpg", L"img10.jpg", L"IMG2.JPG", L"img02b.jpg", L"a.jpg", L"B.jpg",
                              L"b10", L"b9", L"photo 1.png", L"photo 12.png", L"x2y3", L"x2y12",
                              L"", L"a", L"ab", L"2", L"z", L"b.jpg", L"b-2", L"b_3", L"a 1"};
    for (const wchar_t* a : names)
        for (const wchar_t* b : names)
            EXPECT_EQ(Sign(folder::LogicalCompare(a, b)), Sign(folder::SystemLogicalCompare(a, b)))
                << std::wstring(a) << L" vs " << b;
}

TEST(SystemNameOrder, InstalledForSorting) {
    folder::UseSystemNameOrder();
    folder::ArchiveListing listing;
    for (const wchar_t* name : {L"img10.jpg", L"img2.jpg", L"img1.jpg"}) {
        folder::ArchiveEntry e;
        e.name = name;
        listing.entries.push_back(e);
    }
    folder::SortListing(listing, folder::kFileSystemFolder);
    EXPECT_EQ(listing.entries[0].name, L"img1.jpg");
    EXPECT_EQ(listing.entries[1].name, L"img2.jpg");
    EXPECT_EQ(listing.entries[2].name, L"img10.jpg");
    folder::SetNameCompare(nullptr);
}

} // namespace
