#include "folder/names.h"
#include "common/path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TEST(LogicalCompare, NumbersByValueLettersWithoutCase) {
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        int expected;
    } cases[] = {
        {L"img2.jpg", L"img10.jpg", -1},
        {L"img10.jpg", L"img2.jpg", 1},
        {L"IMG2.JPG", L"img10.jpg", -1},
        {L"Photo.jpg", L"photo.JPG", 0},
        {L"a.jpg", L"b.jpg", -1},
        {L"a", L"ab", -1},
        {L"", L"a", -1},
        {L"", L"", 0},
        {L"x9y", L"x10a", -1},
        {L"2", L"a", -1}, // digits before letters
        {L"b.jpg", L"b10.jpg", 1}, // and before punctuation
        {L"a 1", L"a1", 1},
        {L"a2b3", L"a2b12", -1},
        // Digit runs longer than any machine integer still compare by value.
        {L"n99999999999999999999999", L"n100000000000000000000000", -1},
        {L"n100000000000000000000001", L"n100000000000000000000000", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sign(folder::LogicalCompare(c.a, c.b)), c.expected) << std::wstring(c.a) << L" vs " << c.b;
        EXPECT_EQ(Sign(folder::LogicalCompare(c.b, c.a)), -c.expected) << std::wstring(c.b) << L" vs " << c.a;
    }
}

TEST(LogicalCompare, SortsLikeAPersonCounts) {
    std::vector<std::wstring> names = {L"img10.jpg", L"IMG1.jpg", L"img2.jpg", L"img100.jpg", L"img02b.jpg"};
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return folder::LogicalCompare(a, b) < 0; });
    const std::vector<std::wstring> expected = {L"IMG1.jpg", L"img2.jpg", L"img02b.jpg", L"img10.jpg", L"img100.jpg"};
    EXPECT_EQ(names, expected);
}

TEST(LogicalCompare, InstalledCompareIsUsedAndCanBeRemoved) {
    folder::SetNameCompare([](const std::wstring& a, const std::wstring& b) { return -folder::LogicalCompare(a, b); });
    EXPECT_GT(folder::CompareNames(L"a", L"b"), 0);
    folder::SetNameCompare(nullptr);
    EXPECT_LT(folder::CompareNames(L"a", L"b"), 0);
}

TEST(Paths, FoldOnlyAsciiLetters) {
    EXPECT_TRUE(paths::EqualFold(L"C:\\Photos\\A.JPG", L"c:\\photos\\a.jpg"));
    EXPECT_FALSE(paths::EqualFold(L"C:\\Photos", L"C:\\Photos\\"));
    EXPECT_FALSE(paths::EqualFold(L"\u00C9t\u00E9", L"\u00E9t\u00E9")); // É and é are different characters
    EXPECT_FALSE(paths::EqualFold(L"[", L"{")); // 0x5B and 0x7B differ by the case bit but are not letters
}

TEST(Extensions, DotMustSitWhereTheExtensionStarts) {
    struct Case {
        const wchar_t* name;
        const wchar_t* ext;
        bool expected;
    } cases[] = {
        {L"a.tif", L".tif", true},   {L"a.tiff", L".tif", false}, {L"a.tiff", L".tiff", true},
        {L"a.jpeg", L".jpe", false}, {L"A.JPG", L".jpg", true},   {L".jpg", L".jpg", false},
        {L"ajpg", L".jpg", false},   {L"a.b.png", L".png", true}, {L"a.jpg.bak", L".jpg", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(folder::EndsWithExtension(c.name, c.ext), c.expected) << c.name << L" " << c.ext;
}

TEST(Extensions, FilterTables) {
    const std::vector<std::wstring> all = folder::FilterExtensions(folder::kFilterAll, {L".xyz", L"abc", L""});
    const std::vector<std::wstring> expected = {L".jpg", L".png", L".gif", L".bmp", L".tif",
                                                L".jpe", L".tiff", L".jpeg", L".xyz", L".abc"};
    EXPECT_EQ(all, expected);
    EXPECT_EQ(folder::FilterExtensions(folder::kFilterJpeg, {L".xyz"}),
              (std::vector<std::wstring>{L".jpg", L".jpe", L".jpeg"}));
    EXPECT_EQ(folder::FilterExtensions(folder::kFilterTiff, {}), (std::vector<std::wstring>{L".tif", L".tiff"}));
    EXPECT_TRUE(folder::FilterExtensions(6, {}).empty());
    EXPECT_TRUE(folder::FilterExtensions(-1, {}).empty());
}

TEST(Extensions, ShellAndArchiveFilters) {
    const std::vector<std::wstring> plugins = {L".xyz"};
    struct Case {
        const wchar_t* name;
        int32_t filter;
        bool shell;
        bool archive;
    } cases[] = {
        {L"a.JPG", 0, true, true},   {L"a.jpeg", 3, true, true}, {L"a.png", 3, false, false},
        {L"a.xyz", 0, true, true},   {L"a.XYZ", 0, true, true},  {L"a.xyz", 3, false, false},
        {L"readme.txt", 0, false, false}, {L"noext", 0, false, false}, {L"a.tiff", 4, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(folder::NameMatchesFilter(c.name, c.filter, plugins), c.shell) << c.name;
        EXPECT_EQ(folder::ArchiveNameMatchesFilter(c.name, c.filter, plugins), c.archive) << c.name;
    }
}

} // namespace
