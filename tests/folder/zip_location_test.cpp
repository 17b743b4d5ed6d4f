// A ZIP archive as a pane's location: its pictures listed flat, root first, in logical order, and
// their bytes read back through the location's source.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folder/listing.h"
#include "folder/location_source.h"
#include "folder/names.h"
#include "folder/pane_location.h"
#include "tests/archive/zip_fixtures.h"

namespace {

std::vector<std::wstring> Paths(const folder::ArchiveListing& listing) {
    std::vector<std::wstring> out;
    for (const folder::ArchiveEntry& e : listing.entries)
        out.push_back(e.folder + e.name);
    return out;
}

class ZipLocation : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<testzip::Member> members;
        for (const char* name : {"trip/10.jpg", "b.jpg", "trip/", "notes.txt", "trip/9.jpg", "a.PNG", "2019/x.gif"}) {
            testzip::Member m;
            m.name = name;
            m.data = testzip::Text(std::string("bytes of ") + name);
            members.push_back(m);
        }
        path_ = dir_ / L"Trip.zip";
        ASSERT_TRUE(testzip::Make(members).bytes.SaveTo(path_));
        ASSERT_TRUE(folder::SetLocation(location_, folder::kZipArchive, {}, path_, false));
    }
    fixtures::TempFolder dir_;
    std::wstring path_;
    folder::PaneLocation location_;
};

TEST_F(ZipLocation, PicturesListedFlatRootFirstInLogicalOrder) {
    folder::ListRequest request;
    request.cacheEnabled = false;
    folder::ArchiveListing listing;
    ASSERT_TRUE(folder::ListFolder(location_, request, &listing));
    EXPECT_EQ(Paths(listing),
              (std::vector<std::wstring>{L"a.PNG", L"b.jpg", L"2019\\x.gif", L"trip\\9.jpg", L"trip\\10.jpg"}));
    EXPECT_NE(location_.archiveTime, 0u) << "the pane keeps the archive's time";

    request.filter = folder::kFilterPng;
    ASSERT_TRUE(folder::ListFolder(location_, request, &listing));
    EXPECT_EQ(Paths(listing), (std::vector<std::wstring>{L"a.PNG"}));
}

TEST_F(ZipLocation, MembersReadThroughTheSource) {
    folder::ListRequest request;
    request.cacheEnabled = false;
    folder::ArchiveListing listing;
    ASSERT_TRUE(folder::ListFolder(location_, request, &listing));
    const folder::LocationSource& source = folder::SourceFor(folder::kZipArchive);
    ASSERT_TRUE(source.HoldsMembers());
    for (const folder::ArchiveEntry& e : listing.entries) {
        folder::LocationMember member(source, path_, e);
        platform::PageBlock block;
        size_t length = 0;
        ASSERT_TRUE(member.ReadMember(&block, &length));
        std::string name = platform::WideToUtf8(e.folder + e.name);
        for (char& c : name)
            if (c == '\\')
                c = '/';
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.Get()), length), "bytes of " + name);
    }
    // A locator that points at no member gives nothing.
    folder::ArchiveEntry bogus = listing.entries.front();
    bogus.locator = 3;
    folder::LocationMember missing(source, path_, bogus);
    platform::PageBlock block;
    size_t length = 0;
    EXPECT_FALSE(missing.ReadMember(&block, &length));
}

} // namespace
