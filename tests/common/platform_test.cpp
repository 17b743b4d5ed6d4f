#include "common/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/fixtures/byte_writer.h"

namespace {

using platform::File;
using platform::OpenMode;

TEST(PlatformFile, OpenModesCreateTruncateAndRefuse) {
    fixtures::TempFolder dir;
    const std::wstring path = dir / L"a.bin";

    File f;
    EXPECT_FALSE(f.Open(path, OpenMode::ReadShared)) << "missing file opened for reading";
    EXPECT_FALSE(f.Open(path, OpenMode::ReadWrite)) << "ReadWrite must not create";
    ASSERT_TRUE(f.Open(path, OpenMode::ReadWriteAlways));
    EXPECT_EQ(f.Write("hello world", 11), 11u);
    f.Close();

    ASSERT_TRUE(f.Open(path, OpenMode::ReadWriteAlways)) << "OPEN_ALWAYS keeps an existing file";
    uint64_t size = 0;
    ASSERT_TRUE(f.Size(&size));
    EXPECT_EQ(size, 11u);
    f.Close();

    ASSERT_TRUE(f.Open(path, OpenMode::CreateAlways));
    ASSERT_TRUE(f.Size(&size));
    EXPECT_EQ(size, 0u) << "CreateAlways truncates";
    f.Close();

    EXPECT_FALSE(f.Open(dir.Path(), OpenMode::ReadShared)) << "a folder is not a file";
}

TEST(PlatformFile, ReadWriteSeekAndSetEnd) {
    fixtures::TempFolder dir;
    const std::wstring path = dir / L"b.bin";
    File f;
    ASSERT_TRUE(f.Open(path, OpenMode::ReadWriteAlways));
    std::vector<uint8_t> data(200000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(f.Write(data.data(), data.size()), data.size());

    ASSERT_TRUE(f.Seek(100));
    uint8_t four[4];
    ASSERT_TRUE(f.ReadExact(four, 4));
    EXPECT_EQ(0, std::memcmp(four, &data[100], 4));

    // A read past the end returns what there is.
    ASSERT_TRUE(f.Seek(data.size() - 3));
    EXPECT_EQ(f.Read(four, 4), 3u);
    EXPECT_FALSE(f.ReadExact(four, 4));

    ASSERT_TRUE(f.Seek(1380));
    ASSERT_TRUE(f.SetEnd());
    uint64_t size = 0;
    ASSERT_TRUE(f.Size(&size));
    EXPECT_EQ(size, 1380u);

    // Moving a handle transfers ownership; the moved-from one is closed.
    File g(std::move(f));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(g.IsOpen());
}

TEST(PlatformFile, LastWriteTimeRoundTrip) {
    fixtures::TempFolder dir;
    const std::wstring path = dir / L"t.bin";
    File f;
    ASSERT_TRUE(f.Open(path, OpenMode::ReadWriteAlways));
    platform::FileTime now = 0;
    ASSERT_TRUE(f.LastWriteTime(&now));
    // After 2020-01-01 (132223104000000000) and before 2200.
    EXPECT_GT(now, 132223104000000000ULL);
    EXPECT_LT(now, 189000000000000000ULL);

    const platform::FileTime stamp = 133000000000000000ULL; // 2022-06-17 12:53:20 UTC
    ASSERT_TRUE(f.SetLastWriteTime(stamp));
    f.Close();
    platform::FileTime back = 0;
    ASSERT_TRUE(platform::GetLastWriteTime(path, &back));
    EXPECT_EQ(back, stamp);

    platform::MappedView view;
    ASSERT_FALSE(view.Open(path)) << "an empty file cannot be mapped";
}

TEST(PlatformMappedView, MapsWholeFileWithItsTime) {
    fixtures::TempFolder dir;
    fixtures::ByteWriter w;
    w.Ascii("\x89PNG\r\n\x1a\n").U32BE(13).Fill(5000, 0xAB);
    const std::wstring path = dir / L"m.png";
    ASSERT_TRUE(w.SaveTo(path));

    platform::MappedView view;
    ASSERT_TRUE(view.Open(path));
    ASSERT_EQ(view.Size(), w.Size());
    EXPECT_EQ(0, std::memcmp(view.Data(), w.Data().data(), w.Size()));
    platform::FileTime t = 0;
    ASSERT_TRUE(platform::GetLastWriteTime(path, &t));
    EXPECT_EQ(view.LastWriteTime(), t);
    view.Close();
    EXPECT_EQ(view.Data(), nullptr);
    EXPECT_FALSE(view.Open(dir / L"missing"));
}

TEST(PlatformPages, ZeroFilledOwnedBlocks) {
    platform::PageBlock block(3 * 4096 + 4);
    ASSERT_TRUE(block);
    for (size_t i = 0; i < block.Size(); ++i)
        ASSERT_EQ(block.Get()[i], 0) << "at " << i;
    block.Get()[block.Size() - 1] = 1; // the last byte is writable

    platform::PageBlock moved = std::move(block);
    EXPECT_FALSE(block);
    uint8_t* raw = moved.Release();
    EXPECT_FALSE(moved);
    platform::PageFree(raw);
    platform::PageFree(nullptr);
    EXPECT_EQ(platform::PageAlloc(0), nullptr);
}

TEST(PlatformFiles, TempFileExistenceCopyAndDelete) {
    const std::wstring tmp = platform::MakeTempFile();
    ASSERT_FALSE(tmp.empty());
    size_t slash = tmp.find_last_of(L"\\/");
    EXPECT_EQ(tmp.substr(slash + 1, 3), L"tmp") << "temporary files carry the prefix tmp";
    EXPECT_TRUE(platform::FileExists(tmp));
    EXPECT_FALSE(platform::FolderExists(tmp));

    fixtures::TempFolder dir;
    EXPECT_TRUE(platform::FolderExists(dir.Path()));
    EXPECT_FALSE(platform::FileExists(dir.Path()));
    EXPECT_TRUE(platform::PathExists(dir.Path()));

    fixtures::ByteWriter w;
    w.Ascii("new contents");
    ASSERT_TRUE(w.SaveTo(tmp));
    const std::wstring target = dir / L"target.txt";
    fixtures::ByteWriter old;
    old.Ascii("old contents that are longer than the new ones");
    ASSERT_TRUE(old.SaveTo(target));
    ASSERT_TRUE(platform::CopyOver(tmp, target));
    EXPECT_EQ(fixtures::ReadWholeFile(target), w.Data()) << "copy-over replaces the whole target";

    EXPECT_TRUE(platform::DeleteFileAt(tmp));
    EXPECT_FALSE(platform::PathExists(tmp));
    EXPECT_FALSE(platform::DeleteFileAt(tmp));

    const std::wstring sub = dir / L"sub";
    EXPECT_TRUE(platform::CreateFolder(sub));
    EXPECT_FALSE(platform::CreateFolder(sub));
    EXPECT_TRUE(platform::RemoveFolder(sub));
}

TEST(PlatformFiles, MoveOverReplacesInOneStep) {
    fixtures::TempFolder dir;
    const std::wstring from = dir / L"new.tmp", to = dir / L"settings.ini";
    File f;
    ASSERT_TRUE(f.Open(from, OpenMode::CreateAlways));
    ASSERT_EQ(f.Write("fresh", 5), 5u);
    EXPECT_TRUE(f.Flush());
    f.Close();
    EXPECT_FALSE(f.Flush()) << "a closed file has nothing to flush";
    // Onto a missing name, then over an existing file (which must not be open).
    ASSERT_TRUE(platform::MoveOver(from, to));
    EXPECT_FALSE(platform::PathExists(from));
    fixtures::ByteWriter second;
    second.Ascii("second");
    ASSERT_TRUE(second.SaveTo(from));
    ASSERT_TRUE(platform::MoveOver(from, to));
    EXPECT_EQ(fixtures::ReadWholeFile(to), second.Data());
    EXPECT_FALSE(platform::PathExists(from));
    EXPECT_FALSE(platform::MoveOver(from, to)) << "nothing to move";
    EXPECT_EQ(fixtures::ReadWholeFile(to), second.Data());

    // MoveNew never replaces: onto a taken name it leaves both files as they were.
    ASSERT_TRUE(second.SaveTo(from));
    EXPECT_FALSE(platform::MoveNew(from, to));
    EXPECT_TRUE(platform::PathExists(from));
    EXPECT_TRUE(platform::MoveNew(from, dir / L"free.ini"));
    EXPECT_FALSE(platform::PathExists(from));
    EXPECT_EQ(fixtures::ReadWholeFile(dir / L"free.ini"), second.Data());
}

TEST(PlatformFiles, NonAsciiNames) {
    fixtures::TempFolder dir;
    const std::wstring path = dir / L"\u00E9t\u00E9 \u65E5\u672C.jpg";
    fixtures::ByteWriter w;
    w.Ascii("x");
    ASSERT_TRUE(w.SaveTo(path));
    EXPECT_TRUE(platform::FileExists(path));
    EXPECT_EQ(fixtures::ReadWholeFile(path).size(), 1u);
}

TEST(PlatformText, CodePageConversions) {
    // UTF-8 round trip, including a character outside the basic plane.
    const std::string utf8 = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";
    const std::wstring wide = platform::Utf8ToWide(utf8);
    EXPECT_EQ(platform::WideToUtf8(wide), utf8);
    EXPECT_EQ(wide.substr(0, 3), L"a\u00E9\u65E5");

    // Malformed UTF-8 becomes U+FFFD instead of vanishing.
    std::wstring bad = platform::Utf8ToWide("x\xC3");
    ASSERT_EQ(bad.size(), 2u);
    EXPECT_EQ(bad[1], L'\uFFFD');

    // The ANSI code page of the test machines is Windows-1252.
    EXPECT_EQ(platform::AnsiToWide("\x80\xE9"), L"\u20AC\u00E9");
    EXPECT_EQ(platform::WideToAnsi(L"\u20AC\u00E9z"), "\x80\xE9z");
    EXPECT_EQ(platform::AnsiToWide(""), L"");
}

} // namespace

namespace {

TEST(PlatformFolders, ListFolderMatchesSuffixesCaseInsensitively) {
    fixtures::TempFolder dir;
    fixtures::ByteWriter w;
    w.Ascii("12345");
    for (const wchar_t* name : {L"a.jpg", L"B.JPG", L"x.png", L"notjpg"})
        ASSERT_TRUE(w.SaveTo(dir / name));
    ASSERT_TRUE(platform::CreateFolder(dir / L"sub.jpg"));

    std::vector<std::wstring> all, jpg;
    bool sawFolder = false;
    ASSERT_TRUE(platform::ListFolder(dir.Path(), L"*.*", [&](const platform::FolderEntry& e) {
        all.push_back(e.name);
        if (e.name == L"sub.jpg")
            sawFolder = (e.attributes & platform::attr::kDirectory) != 0;
        else
            EXPECT_EQ(e.size, 5u) << "size of " << platform::WideToUtf8(e.name);
        EXPECT_NE(e.name, L".");
        EXPECT_NE(e.name, L"..");
        return true;
    }));
    EXPECT_EQ(all.size(), 5u);
    EXPECT_TRUE(sawFolder) << "folders carry the directory attribute";

    ASSERT_TRUE(platform::ListFolder(dir.Path(), L"*.jpg", [&](const platform::FolderEntry& e) {
        jpg.push_back(e.name);
        return true;
    }));
    auto has = [&](const wchar_t* n) { return std::find(jpg.begin(), jpg.end(), n) != jpg.end(); };
    EXPECT_TRUE(has(L"a.jpg"));
    EXPECT_TRUE(has(L"B.JPG"));
    EXPECT_TRUE(has(L"sub.jpg"));
    EXPECT_FALSE(has(L"x.png"));
    EXPECT_FALSE(has(L"notjpg"));

    int visits = 0;
    ASSERT_TRUE(platform::ListFolder(dir.Path(), L"*", [&](const platform::FolderEntry&) { return ++visits < 2; }));
    EXPECT_EQ(visits, 2) << "the visitor stops the search";

    bool called = false;
    EXPECT_TRUE(platform::ListFolder(dir.Path(), L"*.gif", [&](const platform::FolderEntry&) { return called = true; }))
        << "no match is an empty, successful search";
    EXPECT_FALSE(called);
    EXPECT_FALSE(platform::ListFolder(dir / L"missing", L"*", [](const platform::FolderEntry&) { return true; }));
}

} // namespace
