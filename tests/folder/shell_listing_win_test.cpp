// Shell namespace folders listed through the shell: a real folder reached by its item-ID list.
#include "folder/shell_listing_win.h"
#include "folder/location_source.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>

#include "tests/fixtures/byte_writer.h"

namespace {

std::vector<uint8_t> IdListOf(const std::wstring& path) {
    PIDLIST_ABSOLUTE pidl = nullptr;
    std::vector<uint8_t> bytes;
    if (SUCCEEDED(SHParseDisplayName(path.c_str(), nullptr, &pidl, 0, nullptr)) && pidl) {
        const auto* p = reinterpret_cast<const uint8_t*>(pidl);
        bytes.assign(p, p + ILGetSize(pidl));
        CoTaskMemFree(pidl);
    }
    return bytes;
}

std::vector<std::wstring> Names(const folder::ArchiveListing& listing) {
    std::vector<std::wstring> names;
    for (const folder::ArchiveEntry& e : listing.entries)
        names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

class ShellListing : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        for (const wchar_t* name : {L"a.jpg", L"b.png", L"c.txt", L"d.tif", L"e.tiff", L"h.gif"})
            ASSERT_TRUE(fixtures::ByteWriter().Ascii("x").SaveTo(dir_ / name));
        ASSERT_TRUE(CreateDirectoryW((dir_ / L"sub.jpg").c_str(), nullptr));
        SetFileAttributesW((dir_ / L"h.gif").c_str(), FILE_ATTRIBUTE_HIDDEN);
        location_.kind = folder::kShellFolder;
        location_.idList = IdListOf(dir_.Path());
        location_.path = dir_.Path();
        location_.valid = 1;
        ASSERT_FALSE(location_.idList.empty());
    }
    void TearDown() override { CoUninitialize(); }

    std::vector<std::wstring> List(int32_t filter, uint32_t hiddenMask) {
        folder::ListRequest request;
        request.filter = filter;
        request.hiddenMask = hiddenMask;
        folder::ArchiveListing listing;
        folder::ShellFolderSource().List(location_, request, &listing);
        for (const folder::ArchiveEntry& e : listing.entries)
            EXPECT_EQ(e.folder, dir_ / e.name) << "the folder field holds the parsing path";
        return Names(listing);
    }

    fixtures::TempFolder dir_;
    folder::PaneLocation location_;
};

TEST_F(ShellListing, TakesTheFilesOfTheFiltersExtensionsButNoFolders) {
    struct Case {
        int32_t filter;
        uint32_t mask;
        std::vector<std::wstring> names;
    } cases[] = {
        {0, 2, {L"a.jpg", L"b.png", L"d.tif", L"e.tiff"}},
        {0, 0, {L"a.jpg", L"b.png", L"d.tif", L"e.tiff", L"h.gif"}},
        {4, 2, {L"d.tif", L"e.tiff"}},
        {2, 2, {L"b.png"}},
        {5, 2, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(List(c.filter, c.mask), c.names) << "filter " << c.filter << " mask " << c.mask;
}

TEST_F(ShellListing, OnlyTheRecycleBinsListIsTheRecycleBin) {
    EXPECT_FALSE(folder::IsRecycleBin(location_.idList));
    EXPECT_FALSE(folder::IsRecycleBin({}));
    PIDLIST_ABSOLUTE bin = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetFolderLocation(nullptr, CSIDL_BITBUCKET, nullptr, 0, &bin)));
    const auto* p = reinterpret_cast<const uint8_t*>(bin);
    EXPECT_TRUE(folder::IsRecycleBin(std::vector<uint8_t>(p, p + ILGetSize(bin))));
    CoTaskMemFree(bin);
}

} // namespace
