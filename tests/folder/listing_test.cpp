#include "folder/listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/plugin_archives.h"
#include "tests/fixtures/byte_writer.h"
#include "folder/location_source.h"
#include "folder/names.h"
#include "folder/pane_location.h"
#include "folder/sorting.h"

namespace {

using fixtures::ByteWriter;
using fixtures::TempFolder;

void MakeFile(const TempFolder& dir, const std::wstring& name, size_t bytes = 10) {
    ASSERT_TRUE(ByteWriter().Fill(bytes, 0x55).SaveTo(dir / name)) << name;
}

std::vector<std::wstring> Names(const folder::ArchiveListing& listing) {
    std::vector<std::wstring> names;
    for (const folder::ArchiveEntry& e : listing.entries)
        names.push_back(e.name);
    return names;
}

folder::PaneLocation FolderLocation(const std::wstring& path) {
    folder::PaneLocation loc;
    EXPECT_TRUE(folder::SetLocation(loc, folder::kFileSystemFolder, {}, path, false));
    return loc;
}

TEST(SizeInKiB, RoundsUpTheLowThirtyTwoBits) {
    struct Case {
        uint64_t bytes;
        uint32_t kib;
    } cases[] = {
        {0, 0},
        {1, 1},
        {1024, 1},
        {1025, 2},
        {0xFFFFFFFFull, 4194304}, // would wrap to 0 in 32-bit arithmetic
        {5ull << 30, 1048576},    // 5 GiB: only the low 1 GiB counts
    };
    for (const Case& c : cases)
        EXPECT_EQ(folder::SizeInKiB(c.bytes), c.kib) << c.bytes;
}

TEST(ListFolder, TifAndTiffEachListedOnceWithFilter4) {
    TempFolder dir;
    MakeFile(dir, L"a.tif");
    MakeFile(dir, L"b.tiff");
    MakeFile(dir, L"c.jpg");
    folder::PaneLocation loc = FolderLocation(dir.Path());
    folder::ListRequest request;
    request.filter = folder::kFilterTiff;
    folder::ArchiveListing listing;
    ASSERT_TRUE(folder::ListFolder(loc, request, &listing));
    EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"a.tif", L"b.tiff"}));
}

TEST(ListFolder, JpegPassesAreDisjoint) {
    TempFolder dir;
    for (const wchar_t* name : {L"a.jpg", L"b.jpe", L"c.jpeg", L"d.JPEG", L"e.txt", L"f.jpg.txt"})
        MakeFile(dir, name);
    folder::PaneLocation loc = FolderLocation(dir.Path());
    folder::ListRequest request;
    request.filter = folder::kFilterJpeg;
    folder::ArchiveListing listing;
    ASSERT_TRUE(folder::ListFolder(loc, request, &listing));
    EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"a.jpg", L"b.jpe", L"c.jpeg", L"d.JPEG"}));
}

TEST(ListFolder, HiddenMaskDecides) {
    TempFolder dir;
    MakeFile(dir, L"shown.jpg");
    // Natively a leading dot marks a file hidden; Wine reports such files with the hidden attribute too.
    MakeFile(dir, L".secret.jpg");
    folder::PaneLocation loc = FolderLocation(dir.Path());
    folder::ListRequest request;
    folder::ArchiveListing listing;
    request.hiddenMask = platform::attr::kHidden;
    ASSERT_TRUE(folder::ListFolder(loc, request, &listing));
    EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"shown.jpg"}));
    request.hiddenMask = 0;
    ASSERT_TRUE(folder::ListFolder(loc, request, &listing));
    EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L".secret.jpg", L"shown.jpg"}));
}

TEST(ListFolder, EntriesCarrySizeInKiBAndNameOrder) {
    TempFolder dir;
    MakeFile(dir, L"img10.jpg", 2048);
    MakeFile(dir, L"img2.png", 1);
    MakeFile(dir, L"IMG1.gif", 1025);
    ASSERT_TRUE(platform::CreateFolder(dir / L"sub.jpg")); // folders never appear
    folder::PaneLocation loc = FolderLocation(dir.Path());
    folder::ArchiveListing listing;
    ASSERT_TRUE(folder::ListFolder(loc, folder::ListRequest(), &listing));
    ASSERT_EQ(Names(listing), (std::vector<std::wstring>{L"IMG1.gif", L"img2.png", L"img10.jpg"}));
    EXPECT_EQ(listing.entries[0].size, 2u);
    EXPECT_EQ(listing.entries[1].size, 1u);
    EXPECT_EQ(listing.entries[2].size, 2u);
    EXPECT_EQ(listing.entries[0].locator, 0u);
    EXPECT_TRUE(listing.entries[0].folder.empty());
    EXPECT_NE(listing.entries[0].time, 0u);
}

TEST(ListFolder, NothingToShow) {
    TempFolder dir;
    folder::PaneLocation loc = FolderLocation(dir.Path());
    folder::ArchiveListing listing;
    EXPECT_FALSE(folder::ListFolder(loc, folder::ListRequest(), &listing)); // empty folder
    ASSERT_TRUE(platform::CreateFolder(dir / L"only.jpg"));
    EXPECT_FALSE(folder::ListFolder(loc, folder::ListRequest(), &listing)); // a folder alone counts 0
    MakeFile(dir, L"notes.txt");
    EXPECT_FALSE(folder::ListFolder(loc, folder::ListRequest(), &listing)); // files, but no pictures
    EXPECT_TRUE(listing.entries.empty());
}

TEST(GatherFolder, StopsAtTheCapacityAcrossPasses) {
    TempFolder dir;
    for (const wchar_t* name : {L"a.jpg", L"b.jpg", L"c.png", L"d.gif"})
        MakeFile(dir, name);
    folder::ArchiveListing listing;
    ASSERT_TRUE(folder::GatherFolder(dir.Path(), folder::FilterExtensions(0, {}), 0, 3, &listing));
    EXPECT_EQ(listing.entries.size(), 3u);
    for (const folder::ArchiveEntry& e : listing.entries)
        EXPECT_NE(e.name, L"d.gif"); // the GIF pass comes after the capacity was reached
    EXPECT_EQ(folder::CountFolderFiles(dir.Path()), 4u);
}

TEST(PaneLocation, SetClearAndCompare) {
    TempFolder dir;
    folder::PaneLocation loc;
    ASSERT_TRUE(folder::SetLocation(loc, folder::kFileSystemFolder, {1, 2}, dir.Path(), true));
    EXPECT_EQ(loc.valid, 1);
    EXPECT_TRUE(loc.idList.empty());
    EXPECT_EQ(loc.recycleBin, 0);
    loc.archiveTime = 5;
    // A missing path is refused and the pane keeps what it had.
    EXPECT_FALSE(folder::SetLocation(loc, folder::kZipArchive, {}, dir / L"missing.zip", false));
    EXPECT_EQ(loc.path, dir.Path());
    EXPECT_EQ(loc.archiveTime, 5u);

    folder::PaneLocation upper = loc;
    for (wchar_t& c : upper.path)
        c = static_cast<wchar_t>(c >= L'a' && c <= L'z' ? c - 32 : c);
    EXPECT_TRUE(folder::LocationsEqual(loc, upper));
    upper.kind = folder::kZipArchive;
    EXPECT_FALSE(folder::LocationsEqual(loc, upper));

    folder::PaneLocation shellA, shellB;
    ASSERT_TRUE(folder::SetLocation(shellA, folder::kShellFolder, {1, 2, 3}, L"::{645FF040}", true));
    ASSERT_TRUE(folder::SetLocation(shellB, folder::kShellFolder, {1, 2, 3}, L"other name", false));
    EXPECT_EQ(shellA.recycleBin, 1);
    EXPECT_TRUE(folder::LocationsEqual(shellA, shellB)); // ID lists decide, not paths
    shellB.idList.push_back(4);
    EXPECT_FALSE(folder::LocationsEqual(shellA, shellB));
    EXPECT_EQ(folder::DisplayName(shellA), L"::{645FF040}");

    folder::ClearLocation(shellA);
    EXPECT_EQ(shellA.valid, 0);
    EXPECT_TRUE(shellA.path.empty());
    EXPECT_TRUE(shellA.idList.empty());
}

TEST(PaneLocation, DisplayName) {
    folder::PaneLocation loc;
    loc.path = L"C:\\Pictures\\Holiday";
    EXPECT_EQ(folder::DisplayName(loc), L"Holiday");
    loc.path = L"C:\\";
    EXPECT_EQ(folder::DisplayName(loc), L"C:\\");
    loc.kind = folder::kZipArchive;
    loc.path = L"D:\\a\\b.zip";
    EXPECT_EQ(folder::DisplayName(loc), L"b.zip");
}

folder::ThumbItem Item(const wchar_t* name, const wchar_t* path = L"", int32_t size = 0, uint64_t time = 0) {
    folder::ThumbItem item;
    item.name = name;
    item.path = path;
    item.size = size;
    item.time = time;
    return item;
}

std::vector<std::wstring> Order(const std::vector<folder::ThumbItem>& items) {
    std::vector<std::wstring> out;
    for (const folder::ThumbItem& i : items)
        out.push_back(i.path + i.name);
    return out;
}

TEST(SortItems, NameModesAreExactReverses) {
    std::vector<folder::ThumbItem> items;
    items.push_back(Item(L"img10.jpg"));
    items.push_back(Item(L"img2.jpg"));
    items.push_back(Item(L"Img1.jpg"));
    folder::SortItems(items.data(), items.size(), folder::kSortNameAscending, folder::kFileSystemFolder);
    EXPECT_EQ(Order(items), (std::vector<std::wstring>{L"Img1.jpg", L"img2.jpg", L"img10.jpg"}));
    folder::SortItems(items.data(), items.size(), folder::kSortNameDescending, folder::kFileSystemFolder);
    EXPECT_EQ(Order(items), (std::vector<std::wstring>{L"img10.jpg", L"img2.jpg", L"Img1.jpg"}));
}

TEST(SortItems, ArchiveRootMembersFirstThenByFolder) {
    std::vector<folder::ThumbItem> items;
    items.push_back(Item(L"a.jpg", L"sub10\\"));
    items.push_back(Item(L"z.jpg"));
    items.push_back(Item(L"b.jpg", L"sub2\\"));
    items.push_back(Item(L"a.jpg", L"sub2\\"));
    items.push_back(Item(L"b.jpg"));
    folder::SortItems(items.data(), items.size(), folder::kSortNameAscending, folder::kZipArchive);
    EXPECT_EQ(Order(items), (std::vector<std::wstring>{L"b.jpg", L"z.jpg", L"sub2\\a.jpg", L"sub2\\b.jpg",
                                                       L"sub10\\a.jpg"}));
    folder::SortItems(items.data(), items.size(), folder::kSortNameDescending, folder::kZipArchive);
    EXPECT_EQ(Order(items), (std::vector<std::wstring>{L"sub10\\a.jpg", L"sub2\\b.jpg", L"sub2\\a.jpg", L"z.jpg",
                                                       L"b.jpg"}));
}

TEST(SortItems, DateAndSizeModes) {
    std::vector<folder::ThumbItem> items;
    items.push_back(Item(L"mid", L"", 50, 200));
    items.push_back(Item(L"big", L"", 0x7FFFFFFF, 300));
    items.push_back(Item(L"neg", L"", -2147483647 - 1, 100)); // a difference would overflow here
    folder::SortItems(items.data(), items.size(), folder::kSortDateAscending, folder::kFileSystemFolder);
    EXPECT_EQ(Order(items), (std::vector<std::wstring>{L"neg", L"mid", L"big"}));
    folder::SortItems(items.data(), items.size(), folder::kSortDateDescending, folder::kFileSystemFolder);
    EXPECT_EQ(Order(items), (std::vector<std::wstring>{L"big", L"mid", L"neg"}));
    folder::SortItems(items.data(), items.size(), folder::kSortSizeAscending, folder::kFileSystemFolder);
    EXPECT_EQ(Order(items), (std::vector<std::wstring>{L"neg", L"mid", L"big"}));
    folder::SortItems(items.data(), items.size(), folder::kSortSizeDescending, folder::kFileSystemFolder);
    EXPECT_EQ(Order(items), (std::vector<std::wstring>{L"big", L"mid", L"neg"}));
}

TEST(SortListing, ArchiveEntriesGroupByFolder) {
    folder::ArchiveListing listing;
    for (const auto& p : std::vector<std::pair<const wchar_t*, const wchar_t*>>{
             {L"x\\", L"2.jpg"}, {L"", L"b.jpg"}, {L"x\\", L"10.jpg"}, {L"", L"a.jpg"}, {L"A\\", L"z.jpg"}}) {
        folder::ArchiveEntry e;
        e.folder = p.first;
        e.name = p.second;
        listing.entries.push_back(e);
    }
    folder::SortListing(listing, folder::kZipArchive);
    std::vector<std::wstring> order;
    for (const folder::ArchiveEntry& e : listing.entries)
        order.push_back(e.folder + e.name);
    EXPECT_EQ(order, (std::vector<std::wstring>{L"a.jpg", L"b.jpg", L"A\\z.jpg", L"x\\2.jpg", L"x\\10.jpg"}));
}

TEST(ThumbItemArray, AllocatesZeroedItemsAndFreesPixels) {
    folder::ThumbItemArray array;
    ASSERT_TRUE(folder::AllocateItems(array, 3));
    EXPECT_EQ(array.items.size(), 3u);
    EXPECT_EQ(array.inUse, 3u);
    EXPECT_EQ(array.items[2].state, 0);
    EXPECT_EQ(array.items[2].pixels, nullptr);
    image::DecodedImage picture;
    image::SetBitmapHeader(picture, 2, 2, 24);
    image::AdoptPixels(picture, image::AllocPixelBlock(2, 2, 24));
    folder::AttachThumbnail(array.items[1], picture);
    EXPECT_EQ(picture.pixels, nullptr);
    EXPECT_NE(array.items[1].pixels, nullptr);
    EXPECT_EQ(array.items[1].header.width, 2);
    folder::ThumbItem moved = std::move(array.items[1]);
    EXPECT_EQ(array.items[1].pixels, nullptr);
    EXPECT_NE(moved.pixels, nullptr);
    folder::ReleaseItems(array);
    EXPECT_TRUE(array.items.empty());
    EXPECT_EQ(array.inUse, 0u);
}

} // namespace

namespace {

// A plug-in archive reader that knows one archive of two pictures and a text file.
class FakePluginReader : public archive::PluginArchiveReader {
  public:
    explicit FakePluginReader(std::wstring path) : path_(std::move(path)) {}
    bool List(const std::wstring& path, location::ArchiveListing* listing) override {
        if (path != path_)
            return false;
        listing->entries = {Entry(L"b.qim", 20), Entry(L"notes.txt", 30), Entry(L"a.JPG", 10)};
        listing->archiveTime = 77;
        return true;
    }
    bool Fetch(const std::wstring& path, uint32_t position, platform::PageBlock* block, uint32_t* size) override {
        if (path != path_ || position != 10)
            return false;
        *block = platform::PageBlock(8);
        *size = 4;
        return true;
    }
    bool WithArchive(const std::wstring&,
                     const std::function<void(const location::ArchiveListing&, const archive::MemberFetch&)>&) override {
        return false;
    }

  private:
    static location::ArchiveEntry Entry(const wchar_t* name, uint32_t locator) {
        location::ArchiveEntry e;
        e.name = name;
        e.locator = locator;
        return e;
    }
    std::wstring path_;
};

// An archive its own reader cannot read is listed by the plug-ins and becomes kind 4; members then
// come through the plug-ins, and the pane's filter takes the image plug-ins' extensions.
TEST(ListFolder, PluginsListWhatTheOwnReadersCannot) {
    TempFolder dir;
    const std::wstring path = dir / L"odd.zip";
    ASSERT_TRUE(ByteWriter().Fill(3000, 0x41).SaveTo(path));
    FakePluginReader reader(path);
    archive::SetPluginArchiveReader(&reader);
    folder::PaneLocation loc;
    ASSERT_TRUE(folder::SetLocation(loc, folder::kZipArchive, {}, path, false));
    folder::ListRequest request;
    request.cacheEnabled = false;
    request.pluginExtensions = {L"qim"};
    folder::ArchiveListing listing;
    ASSERT_TRUE(folder::ListFolder(loc, request, &listing));
    EXPECT_EQ(loc.kind, folder::kPluginArchive);
    EXPECT_EQ(loc.archiveTime, 77u);
    EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"a.JPG", L"b.qim"}));
    platform::PageBlock block;
    size_t length = 0;
    EXPECT_TRUE(folder::SourceFor(loc.kind).ReadMember(path, listing.entries[0], &block, &length));
    EXPECT_EQ(length, 4u);
    EXPECT_FALSE(folder::SourceFor(loc.kind).ReadMember(path, listing.entries[1], &block, &length));

    archive::SetPluginArchiveReader(nullptr);
    ASSERT_TRUE(folder::SetLocation(loc, folder::kPluginArchive, {}, path, false));
    EXPECT_FALSE(folder::ListFolder(loc, request, &listing)) << "no reader, nothing listed";
}

} // namespace
