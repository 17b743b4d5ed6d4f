#include "archive/zip_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "archive/zip_reader.h"
#include "common/crc32.h"
#include "common/platform.h"
#include "tests/fixtures/byte_writer.h"

namespace {

using archive::PackFailure;
using archive::ZipMethod;
using Bytes = std::vector<uint8_t>;

uint32_t Le(const Bytes& b, size_t at, int width) {
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = v << 8 | b.at(at + static_cast<size_t>(i));
    return v;
}

// One central-directory record of a written archive (which has no comment, so the end record is last).
struct Central {
    std::string name;
    uint32_t method, crc, packed, size, attributes, offset;
};

std::vector<Central> ReadDirectory(const Bytes& zip) {
    std::vector<Central> out;
    const size_t end = zip.size() - 22;
    EXPECT_EQ(Le(zip, end, 4), 0x06054B50u);
    size_t at = Le(zip, end + 16, 4);
    for (uint32_t i = 0; i < Le(zip, end + 10, 2); ++i) {
        const uint32_t nameBytes = Le(zip, at + 28, 2);
        out.push_back({std::string(zip.begin() + static_cast<long>(at) + 46, zip.begin() + static_cast<long>(at + 46 + nameBytes)),
                       Le(zip, at + 10, 2), Le(zip, at + 16, 4), Le(zip, at + 20, 4), Le(zip, at + 24, 4),
                       Le(zip, at + 38, 4), Le(zip, at + 42, 4)});
        at += 46 + nameBytes;
    }
    EXPECT_EQ(at, end) << "the directory ends where the end record starts";
    return out;
}

Bytes Noise(size_t n, uint32_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        // Runs of repeated text among noise, so deflate has matches to find across pieces.
        b[i] = (i / 4096) % 3 == 0 ? static_cast<uint8_t>("quorle "[i % 7]) : static_cast<uint8_t>(seed >> 24);
    }
    return b;
}

Bytes OneShotDeflate(const Bytes& data) {
    z_stream zs = {};
    EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&zs, static_cast<uLong>(data.size())) + 4);
    zs.next_in = const_cast<uint8_t*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// Counts what the job reports and acts on a chosen call.
class Recorder : public archive::JobProgress {
  public:
    void SetRange(uint32_t count) override {
        range = count;
        if (onRange)
            onRange();
    }
    void Step() override { ++steps; }
    bool Cancelled() override { return ++asked == cancelOnCall; }
    uint32_t range = 0, steps = 0, asked = 0, cancelOnCall = 0;
    std::function<void()> onRange;
};

#ifndef _WIN32
std::string Native(const std::wstring& path) {
    std::string p = platform::WideToUtf8(path);
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

#endif

class ZipWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::CreateFolder(src_));
        ASSERT_TRUE(platform::CreateFolder(dest_));
        ASSERT_TRUE(platform::CreateFolder(temp_));
        // Temporary files go to a folder of the test's own, so a leftover is seen.
#ifdef _WIN32
        const wchar_t* old = _wgetenv(L"TMP");
        oldTemp_ = old ? old : L"";
        _wputenv_s(L"TMP", temp_.c_str());
#else
        const char* old = getenv("TMPDIR");
        oldTemp_ = platform::Utf8ToWide(old ? old : "");
        std::string native = platform::WideToUtf8(temp_);
        std::replace(native.begin(), native.end(), '\\', '/'); // the variable is read unmapped
        setenv("TMPDIR", native.c_str(), 1);
#endif
    }
    void TearDown() override {
        EXPECT_TRUE(Names(temp_).empty()) << "the temporary file is always deleted";
#ifdef _WIN32
        _wputenv_s(L"TMP", oldTemp_.c_str());
#else
        if (oldTemp_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", platform::WideToUtf8(oldTemp_).c_str(), 1);
#endif
    }
    void Put(const std::wstring& relative, const Bytes& data) {
        fixtures::ByteWriter w;
        w.Bytes(data);
        ASSERT_TRUE(w.SaveTo(src_ + L"\\" + relative));
    }
    void Folder(const std::wstring& relative) { ASSERT_TRUE(platform::CreateFolder(src_ + L"\\" + relative)); }
    static std::vector<std::wstring> Names(const std::wstring& folder) {
        std::vector<std::wstring> names;
        platform::ListFolder(folder, L"*", [&](const platform::FolderEntry& e) {
            names.push_back(e.name);
            return true;
        });
        return names;
    }
    // Packs into dest_\out.zip; the written path, or empty after checking that nothing was left.
    std::wstring Pack(ZipMethod method, PackFailure expect = PackFailure::None) {
        std::wstring written;
        PackFailure failure = PackFailure::None;
        const bool ok = archive::PackFolderToZip(src_, dest_ + L"\\out.zip", method, progress_, &written, &failure);
        EXPECT_EQ(failure, expect) << archive::PackFailureText(failure);
        EXPECT_EQ(ok, expect == PackFailure::None);
        if (!ok) {
            EXPECT_TRUE(Names(dest_).empty()) << "a failed job leaves nothing at the destination";
        }
        return written;
    }
    std::vector<Central> Directory(ZipMethod method) {
        const std::wstring path = Pack(method);
        if (path.empty())
            return {};
        const std::vector<Central> entries = ReadDirectory(fixtures::ReadWholeFile(path));
        EXPECT_TRUE(platform::DeleteFileAt(path));
        return entries;
    }

    fixtures::TempFolder root_;
    std::wstring src_ = root_ / L"src", dest_ = root_ / L"dest", temp_ = root_ / L"temp";
    Recorder progress_;
    std::wstring oldTemp_;
};

TEST_F(ZipWriter, EveryByteOfASmallArchiveFollowsTheLayout) {
    Put(L"a.txt", {'h', 'e', 'l', 'l', 'o'});
    Folder(L"docs");
    Put(L"docs\\e", {});
    const platform::FileTime t = 132364224000000000ULL; // 2020-06-15
    for (const wchar_t* file : {L"\\a.txt", L"\\docs\\e"}) {
        platform::File f;
        ASSERT_TRUE(f.Open(src_ + file, platform::OpenMode::ReadWrite) && f.SetLastWriteTime(t));
    }
    uint16_t fileDate, fileTime, folderDate, folderTime;
    platform::FileTime folderUtc;
    ASSERT_TRUE(platform::UtcToDosDateTime(t, &fileDate, &fileTime));
    ASSERT_TRUE(platform::GetLastWriteTime(src_ + L"\\docs", &folderUtc));
    ASSERT_TRUE(platform::UtcToDosDateTime(folderUtc, &folderDate, &folderTime));
    for (ZipMethod method : {ZipMethod::Stored, ZipMethod::Deflated}) {
        const Bytes hello = {'h', 'e', 'l', 'l', 'o'};
        const Bytes data = method == ZipMethod::Stored ? hello : OneShotDeflate(hello);
        const uint16_t m = static_cast<uint16_t>(method);
        const Bytes empty = method == ZipMethod::Stored ? Bytes() : Bytes{0x03, 0x00}; // the empty deflate stream
        struct E { std::string name; uint16_t method, time, date; uint32_t crc; Bytes data; uint32_t size, attr, at; };
        std::vector<E> entries = {{"a.txt", m, fileTime, fileDate, crc::Crc32(hello.data(), 5), data, 5, 0x20, 0},
                                  {"docs/", 0, folderTime, folderDate, 0, {}, 0, 0x10, 0},
                                  {"docs/e", m, fileTime, fileDate, 0, empty, 0, 0x20, 0}};
        fixtures::ByteWriter w;
        for (E& e : entries) {
            e.at = static_cast<uint32_t>(w.Size());
            w.U32LE(0x04034B50).U16LE(20).U16LE(0x0800).U16LE(e.method).U16LE(e.time).U16LE(e.date);
            w.U32LE(e.crc).U32LE(static_cast<uint32_t>(e.data.size())).U32LE(e.size);
            w.U16LE(static_cast<uint16_t>(e.name.size())).U16LE(0).Ascii(e.name).Bytes(e.data);
        }
        const size_t directory = w.Size();
        for (const E& e : entries) {
            w.U32LE(0x02014B50).U16LE(20).U16LE(20).U16LE(0x0800).U16LE(e.method).U16LE(e.time).U16LE(e.date);
            w.U32LE(e.crc).U32LE(static_cast<uint32_t>(e.data.size())).U32LE(e.size);
            w.U16LE(static_cast<uint16_t>(e.name.size())).U16LE(0).U16LE(0).U16LE(0).U16LE(0);
            w.U32LE(e.attr).U32LE(e.at).Ascii(e.name);
        }
        const uint32_t directoryBytes = static_cast<uint32_t>(w.Size() - directory);
        w.U32LE(0x06054B50).U16LE(0).U16LE(0).U16LE(3).U16LE(3);
        w.U32LE(directoryBytes).U32LE(static_cast<uint32_t>(directory)).U16LE(0);
        const std::wstring path = Pack(method);
        const Bytes got = fixtures::ReadWholeFile(path);
        size_t same = 0;
        while (same < got.size() && same < w.Size() && got[same] == w.Data()[same])
            ++same;
        EXPECT_TRUE(same == got.size() && same == w.Size()) << "method " << m << ": first difference at " << same;
        EXPECT_EQ(progress_.range, 5u);
        EXPECT_EQ(progress_.steps, 5u) << "one step per entry, one for the directory, one for the copy";
        ASSERT_TRUE(platform::DeleteFileAt(path));
        progress_.steps = 0;
    }
}

TEST_F(ZipWriter, FoldersGoBreadthFirstAndDotFoldersStayOut) {
    for (const wchar_t* f : {L"x", L"y", L"x\\z", L".git", L"y\\.cache"})
        Folder(f);
    Put(L".git\\config", {1});
    Put(L".hidden", {2});
    const std::vector<Central> entries = Directory(ZipMethod::Stored);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, ".hidden") << "the source folder's own files come first";
    std::vector<std::string> folders = {entries[1].name, entries[2].name};
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{"x/", "y/"}));
    EXPECT_EQ(entries[3].name, "x/z/") << "a sub-folder's sub-folders come after all its siblings";
    for (size_t i = 1; i < 4; ++i)
        EXPECT_TRUE(entries[i].attributes == 0x10 && entries[i].size == 0 && entries[i].crc == 0);
}

TEST_F(ZipWriter, DestinationNames) {
    EXPECT_EQ(archive::ZipDestination(L"D:\\out", L"C:\\p\\trip.2015"), L"D:\\out\\trip.zip");
    EXPECT_EQ(archive::ZipDestination(L"D:\\", L"C:\\p\\a.b.c\\"), L"D:\\a.b.zip");
    EXPECT_EQ(archive::ZipDestination(L"D:\\out", L"C:\\photos"), L"D:\\out\\photos.zip");
    EXPECT_EQ(archive::ZipPathFor(L"C:\\p\\trip.2015\\", L""), L"C:\\p\\trip.2015.zip");
    EXPECT_EQ(archive::ZipPathFor(L"C:\\p", L"D:\\a.ZIP"), L"D:\\a.ZIP");
    EXPECT_EQ(archive::ZipPathFor(L"C:\\p", L"D:\\a.txt"), L"D:\\a.zip");
    EXPECT_EQ(archive::ZipPathFor(L"C:\\p", L"D:\\v1.2\\a"), L"D:\\v1.2\\a.zip");
    EXPECT_EQ(archive::ZipPathFor(L"C:\\", L""), L"") << "a root has no name to give";

    const std::wstring trip = root_ / L"trip.2015";
    ASSERT_TRUE(platform::CreateFolder(trip));
    fixtures::ByteWriter one;
    ASSERT_TRUE(one.U8(1).SaveTo(trip + L"\\f"));
    for (const wchar_t* expect : {L"trip.zip", L"trip+1.zip"}) {
        std::wstring written;
        EXPECT_TRUE(archive::PackFolderToZip(trip, archive::ZipDestination(dest_, trip), ZipMethod::Stored,
                                             progress_, &written));
        EXPECT_EQ(written, dest_ + L"\\" + expect);
    }
}

// An empty file keeps the job's method: stored it has no data, deflated it has the two-byte empty
// deflate stream (no bytes at all would be no stream, and unzip rejects that).
TEST_F(ZipWriter, EmptyFilesCarryTheMethodAndTheLeastData) {
    Put(L"empty", {});
    for (ZipMethod method : {ZipMethod::Stored, ZipMethod::Deflated}) {
        const bool deflated = method == ZipMethod::Deflated;
        const std::wstring path = Pack(method);
        const Bytes zip = fixtures::ReadWholeFile(path);
        ASSERT_EQ(zip.size(), 30u + 5 + (deflated ? 2 : 0) + 46 + 5 + 22);
        EXPECT_EQ(Le(zip, 8, 2), static_cast<uint32_t>(method));
        EXPECT_EQ(Le(zip, 14, 4) | Le(zip, 22, 4), 0u) << "CRC and size";
        EXPECT_EQ(Le(zip, 18, 4), deflated ? 2u : 0u) << "compressed size";
        if (deflated) {
            EXPECT_EQ(Le(zip, 35, 2), 0x0003u);
        }
        platform::PageBlock block;
        uint32_t size = 1;
        EXPECT_TRUE(archive::ExtractZipEntry(path, 0, &block, &size));
        EXPECT_EQ(size, 0u);
        ASSERT_TRUE(platform::DeleteFileAt(path));
    }
}

TEST_F(ZipWriter, StoredAndDeflatedHoldTheSameFilesAndDeflateDoesNotDependOnPieces) {
    const Bytes big = Noise((5u << 19) + 3, 7); // two and a half pieces
    Folder(L"sub");
    Put(L"big.bin", big);
    Put(L"sub\\text.txt", Noise(10000, 1));
    Put(L"sub\\one", {9});
    location::ArchiveListing listed[2];
    for (int i = 0; i < 2; ++i) {
        const ZipMethod method = i ? ZipMethod::Deflated : ZipMethod::Stored;
        const std::wstring path = Pack(method);
        ASSERT_TRUE(archive::ListZipArchive(path, &listed[i]));
        const Bytes zip = fixtures::ReadWholeFile(path);
        for (const Central& c : ReadDirectory(zip)) {
            EXPECT_EQ(c.method, c.size ? static_cast<uint32_t>(method) : 0u) << c.name;
            if (c.name.back() == '/')
                continue;
            platform::PageBlock block;
            uint32_t size = 0;
            ASSERT_TRUE(archive::ExtractZipEntry(path, c.offset, &block, &size)) << c.name;
            std::wstring disk = platform::Utf8ToWide(c.name);
            std::replace(disk.begin(), disk.end(), L'/', L'\\');
            EXPECT_EQ(Bytes(block.Get(), block.Get() + size), fixtures::ReadWholeFile(src_ + L"\\" + disk)) << c.name;
            if (c.name == "big.bin" && method == ZipMethod::Deflated) {
                const size_t data = c.offset + 30 + c.name.size();
                EXPECT_EQ(Bytes(zip.begin() + static_cast<long>(data), zip.begin() + static_cast<long>(data + c.packed)),
                          OneShotDeflate(big));
            }
        }
        ASSERT_TRUE(platform::DeleteFileAt(path));
    }
    ASSERT_EQ(listed[0].entries.size(), listed[1].entries.size());
    for (size_t i = 0; i < listed[0].entries.size(); ++i) {
        const location::ArchiveEntry &a = listed[0].entries[i], &b = listed[1].entries[i];
        EXPECT_TRUE(a.name == b.name && a.folder == b.folder && a.size == b.size && a.time == b.time) << i;
        EXPECT_EQ(a.locator == b.locator, i == 0) << "only the first entry precedes any compressed data";
    }
}

TEST_F(ZipWriter, AnyFailureLeavesNothingBehind) {
    Folder(L"d");
    Put(L"d\\a", Noise(3u << 20, 2));
    Put(L"b", {1});
    Put(L"c", {2});
    // Entries b and c (either order), d/, d/a in three pieces: cancel after the first entry, between
    // the pieces of the large file, and after the last entry.
    for (uint32_t call : {1u, 4u, 6u}) {
        progress_.asked = 0;
        progress_.cancelOnCall = call;
        Pack(ZipMethod::Deflated, PackFailure::Cancelled);
    }
    progress_.cancelOnCall = 0;
    // A file that vanishes between listing and packing.
    progress_.onRange = [this] { platform::DeleteFileAt(src_ + L"\\c"); };
    Pack(ZipMethod::Stored, PackFailure::FileUnreadable);
    progress_.onRange = nullptr;
    // A folder that vanishes between listing and packing.
    Folder(L"gone");
    progress_.onRange = [this] { platform::RemoveFolder(src_ + L"\\gone"); };
    Pack(ZipMethod::Stored, PackFailure::FolderUnreadable);
    progress_.onRange = nullptr;

    // A locked file: opened without sharing on Windows, without permission elsewhere.
    Put(L"c", {2});
#ifdef _WIN32
    platform::File lock;
    ASSERT_TRUE(lock.Open(src_ + L"\\c", platform::OpenMode::ReadWrite));
    Pack(ZipMethod::Stored, PackFailure::FileUnreadable);
    lock.Close();
#else
    const std::string locked = Native(src_ + L"\\c");
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    if (geteuid() != 0) // root reads it anyway
        Pack(ZipMethod::Stored, PackFailure::FileUnreadable);
    ASSERT_EQ(chmod(locked.c_str(), 0644), 0);
#endif

    // 4 GiB cannot be described without ZIP64 (a sparse file: nothing is read before the refusal).
    {
        platform::File huge;
        ASSERT_TRUE(huge.Open(src_ + L"\\huge", platform::OpenMode::CreateAlways));
        ASSERT_TRUE(huge.Seek(uint64_t{1} << 32) && huge.SetEnd());
    }
    Pack(ZipMethod::Stored, PackFailure::FileTooLarge);
    ASSERT_TRUE(platform::DeleteFileAt(src_ + L"\\huge"));
    Pack(ZipMethod::Stored);
}

TEST_F(ZipWriter, NamesUpTo260Utf8BytesAndNothingElseFails) {
    const std::wstring folder(43, L'\u5B57'); // 129 bytes in UTF-8
    Folder(folder);
    Put(folder + L"\\" + folder + L"a", {1}); // "folder/" + 130 bytes: 260
    EXPECT_EQ(Directory(ZipMethod::Stored).size(), 2u);
    Put(folder + L"\\" + folder + L"ab", {1});
    Pack(ZipMethod::Stored, PackFailure::NameTooLong);

    const std::wstring empty = root_ / L"empty";
    ASSERT_TRUE(platform::CreateFolder(empty));
    std::wstring written;
    PackFailure failure = PackFailure::None;
    EXPECT_FALSE(archive::PackFolderToZip(empty, L"", ZipMethod::Stored, progress_, &written, &failure));
    EXPECT_EQ(failure, PackFailure::NothingToPack);
    EXPECT_FALSE(archive::PackFolderToZip(root_ / L"missing", L"", ZipMethod::Stored, progress_, &written, &failure));
    EXPECT_EQ(failure, PackFailure::NoSourceFolder);
}

#ifndef _WIN32
// Other readers accept what we write: Info-ZIP's unzip and Python's zipfile, names in UTF-8.
TEST_F(ZipWriter, OtherReadersAcceptOurArchives) {
    if (std::system("command -v unzip >/dev/null 2>&1 && command -v python3 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "unzip or python3 missing";
    Folder(L"Gr\u00FC\u00DFe");
    Put(L"Gr\u00FC\u00DFe\\\u00E9t\u00E9.txt", Noise(70000, 3));
    Put(L"\u5199\u771F.jpg", Noise(1u << 20, 4));
    std::string names = "'Gr\\u00fc\\u00dfe/', 'Gr\\u00fc\\u00dfe/\\u00e9t\\u00e9.txt', '\\u5199\\u771f.jpg'";
    for (int round = 0; round < 4; ++round) {
        const ZipMethod method = round % 2 ? ZipMethod::Deflated : ZipMethod::Stored;
        if (round == 2) {
            Put(L"empty", {});
            names += ", 'empty'";
        }
        const std::wstring written = Pack(method);
        ASSERT_FALSE(written.empty());
        const std::string path = Native(written);
        EXPECT_EQ(std::system(("unzip -tqq '" + path + "'").c_str()), 0) << round;
        const std::string py = "python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                               "sys.exit(z.testzip() is not None or sorted(z.namelist()) != sorted([" +
                               names + "]))\" '" + path + "'";
        EXPECT_EQ(std::system(py.c_str()), 0) << round;
        ASSERT_TRUE(platform::DeleteFileAt(written));
    }
}
#endif

} // namespace
