#include "common/path.h"

#include <gtest/gtest.h>

namespace {

TEST(PathCompare, AsciiFoldingAndContainment) {
    EXPECT_TRUE(paths::EqualFold(L"C:\\Photos", L"c:\\PHOTOS"));
    EXPECT_FALSE(paths::EqualFold(L"C:\\Photos", L"C:\\Photos\\"));
    EXPECT_FALSE(paths::EqualFold(L"C:\\É", L"C:\\é")); // non-ASCII letters compare exactly
    struct Case {
        const wchar_t* path;
        const wchar_t* folder;
        bool under;
    } cases[] = {
        {L"C:\\Photos", L"C:\\Photos", true},
        {L"C:\\photos\\2020\\a.jpg", L"C:\\Photos", true},
        {L"C:\\Photos2", L"C:\\Photos", false},
        {L"C:\\Photo", L"C:\\Photos", false},
        {L"C:\\Photos", L"C:\\Photos\\2020", false},
        {L"C:\\x.jpg", L"C:\\", true},  // a drive root already ends in "\"
        {L"C:\\", L"C:\\", true},
        {L"D:\\x.jpg", L"C:\\", false},
        {L"C:\\x", L"", false},         // no folder contains anything
        {L"", L"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(paths::AtOrUnder(c.path, c.folder), c.under);
}

TEST(PathCompare, FoldsExactlyTheAsciiLetters) {
    // Every unit below 0x180 against its upper-case twin: only A-Z may meet a-z.
    for (wchar_t c = 0; c < 0x180; ++c) {
        const bool upper = c >= L'A' && c <= L'Z';
        EXPECT_EQ(paths::FoldAscii(c), upper ? static_cast<wchar_t>(c + 32) : c) << static_cast<int>(c);
    }
    EXPECT_FALSE(paths::EqualFold(L"[", L"{")); // 0x5B and 0x7B differ by the case bit but are not letters
    EXPECT_FALSE(paths::EqualFold(L"@", L"`"));
}

TEST(Paths, FolderOfAndJoin) {
    EXPECT_EQ(paths::Parent(L"C:\\A\\B\\Quorle.exe"), L"C:\\A\\B");
    EXPECT_EQ(paths::Join(L"C:\\A", L"Quorle.ini"), L"C:\\A\\Quorle.ini");
    EXPECT_EQ(paths::Join(L"C:\\", L"Quorle.ini"), L"C:\\Quorle.ini");
}

TEST(Paths, ComponentsOfEdgeShapes) {
    struct Case {
        const wchar_t* path;
        const wchar_t* last;
        const wchar_t* parent;
        const wchar_t* parentFolder;
        const wchar_t* trimmed;
    } cases[] = {
        {L"C:\\A\\b.jpg", L"b.jpg", L"C:\\A", L"C:\\A", L"C:\\A\\b.jpg"},
        {L"C:\\A", L"A", L"C:", L"C:\\", L"C:\\A"},           // a drive keeps its root
        {L"C:\\", L"", L"C:", L"", L"C:"},                     // a root has no parent folder
        {L"C:\\A\\\\", L"", L"C:\\A\\", L"", L"C:\\A"},
        {L"name", L"name", L"name", L"", L"name"},
        {L"\\\\server\\share", L"share", L"\\\\server", L"\\\\server", L"\\\\server\\share"},
        {L"\\", L"", L"", L"", L""},
        {L"", L"", L"", L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(paths::LastComponent(c.path), c.last) << c.path;
        EXPECT_EQ(paths::Parent(c.path), c.parent) << c.path;
        EXPECT_EQ(paths::ParentFolder(c.path), c.parentFolder) << c.path;
        EXPECT_EQ(paths::TrimTrailingSeparators(c.path), c.trimmed) << c.path;
        EXPECT_EQ(paths::EndsWithSeparator(c.path), std::wstring(c.path) != c.trimmed) << c.path;
    }
    EXPECT_EQ(paths::Join(L"", L"a.jpg"), L"a.jpg");
    EXPECT_EQ(paths::Join(L"C:\\A", L""), L"C:\\A\\");
}

} // namespace
