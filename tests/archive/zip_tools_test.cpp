// Archives written by real tools (zip, Python's zipfile) must list and extract exactly as unzip sees
// them. Native only: the tools run through the shell.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/extract.h"
#include "archive/zip_reader.h"
#include "common/path.h"
#include "tests/fixtures/byte_writer.h"

#ifndef _WIN32
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#endif

namespace {

#ifdef _WIN32

TEST(ZipTools, RoundTrips) { GTEST_SKIP() << "zip, unzip and python3 run natively only"; }

#else

using Bytes = std::vector<uint8_t>;

std::string Utf8(const std::wstring& text) { return platform::WideToUtf8(text); }

// A path as the shell spells it.
std::string Native(std::wstring path) {
    for (wchar_t& c : path)
        c = c == L'\\' ? L'/' : c;
    return Utf8(path);
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs `command` through the shell; false unless it exits with 0.
bool Shell(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = popen(("export LC_ALL=C.UTF-8; " + command).c_str(), "r");
    if (!pipe)
        return false;
    std::string out;
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = pclose(pipe);
    if (output)
        *output = std::move(out);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Have(const char* tool) { return Shell(std::string("command -v ") + tool + " >/dev/null 2>&1"); }

Bytes Pseudorandom(size_t n, uint32_t seed) {
    Bytes b(n);
    for (uint8_t& v : b) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<uint8_t>(seed >> 24);
    }
    return b;
}

void Put(const std::wstring& path, const Bytes& data) {
    fixtures::ByteWriter w;
    w.Bytes(data);
    ASSERT_TRUE(w.SaveTo(path));
}

// Files (with their bytes) and folders (ending in "/") below `root`.
void Walk(const std::wstring& root, const std::wstring& rel, std::map<std::wstring, Bytes>* out) {
    platform::ListFolder(paths::Join(root, rel), L"*", [&](const platform::FolderEntry& e) {
        const std::wstring path = rel.empty() ? e.name : rel + L"/" + e.name;
        if (e.attributes & platform::attr::kDirectory) {
            (*out)[path + L"/"] = {};
            Walk(root, path, out);
        } else {
            (*out)[path] = fixtures::ReadWholeFile(paths::Join(root, path));
        }
        return true;
    });
}

std::map<std::wstring, Bytes> Tree(const std::wstring& root) {
    std::map<std::wstring, Bytes> out;
    Walk(root, L"", &out);
    return out;
}

const char kPythonZip[] = R"(
import os, sys, zipfile
out, method, src = sys.argv[1], sys.argv[2], sys.argv[3]
kind = zipfile.ZIP_DEFLATED if method == "deflated" else zipfile.ZIP_STORED
with zipfile.ZipFile(out, "w", compression=kind) as z:
    for root, dirs, files in os.walk(src):
        dirs.sort()
        for name in sorted(dirs) + sorted(files):
            path = os.path.join(root, name)
            z.write(path, os.path.relpath(path, src))
)";

class ZipTools : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!Have("zip") || !Have("unzip") || !Have("python3"))
            GTEST_SKIP() << "zip, unzip or python3 is missing";
        // A tree named like the archives, so extraction drops its top level.
        const std::wstring photos = tmp_ / L"src\\Photos";
        for (const wchar_t* folder : {L"src", L"src\\Photos", L"src\\Photos\\sub", L"src\\Photos\\sub\\deep",
                                      L"src\\Photos\\empty folder"})
            ASSERT_TRUE(platform::CreateFolder(tmp_ / folder));
        Put(photos + L"\\a.jpg", Pseudorandom(70000, 1));
        Put(photos + L"\\empty.dat", {});
        std::string text;
        for (int i = 0; i < 4000; ++i)
            text += "line " + std::to_string(i % 37) + " of a very compressible text\n";
        Put(photos + L"\\sub\\deep\\b.txt", Bytes(text.begin(), text.end()));
        Put(photos + L"\\sub\\c.bin", Pseudorandom(3000, 2));
        // Python marks UTF-8 names as such; zip does not, so only its archives get them.
        ASSERT_TRUE(platform::CreateFolder(tmp_ / L"py"));
        ASSERT_TRUE(platform::CreateFolder(tmp_ / L"py\\写真"));
        Put(tmp_ / L"py\\\x00DCn\x00EF" L"c\x00F8" L"d\x00E9 \x5199\x771F.jpg", Pseudorandom(5000, 3));
        Put(tmp_ / L"py\\写真\\root+sub.txt", Bytes(text.begin(), text.begin() + 900));
        Put(tmp_ / L"py\\readme.txt", Bytes{'h', 'i'});
        ASSERT_TRUE(fixtures::ByteWriter().Ascii(kPythonZip).SaveTo(tmp_ / L"zip.py"));
    }

    std::string In(const std::wstring& folder) { return "cd " + Quote(Native(tmp_ / folder)) + " && "; }

    // Everything our reader and our extraction see must match what unzip lists, prints and unpacks.
    void ExpectSameAsUnzip(const std::wstring& zip, const std::wstring& topFolder) {
        SCOPED_TRACE(Utf8(zip));
        location::ArchiveListing listing;
        ASSERT_TRUE(archive::ListZipArchive(zip, &listing));
        std::set<std::wstring> ours;
        for (const location::ArchiveEntry& e : listing.entries) {
            std::wstring path = e.folder + e.name;
            for (wchar_t& c : path)
                c = c == L'\\' ? L'/' : c;
            ours.insert(path);
            if (e.name.empty())
                continue;
            platform::PageBlock block;
            uint32_t size = 0;
            std::string expected;
            ASSERT_TRUE(archive::ExtractZipEntry(zip, e.locator, &block, &size)) << Utf8(path);
            ASSERT_TRUE(Shell("unzip -p " + Quote(Native(zip)) + " " + Quote(Utf8(path)), &expected));
            EXPECT_EQ(std::string(block.Get(), block.Get() + size), expected) << Utf8(path);
        }
        std::string names;
        ASSERT_TRUE(Shell("unzip -Z1 " + Quote(Native(zip)), &names));
        std::set<std::wstring> theirs;
        for (size_t start = 0, end; start < names.size(); start = end + 1) {
            end = names.find('\n', start);
            theirs.insert(platform::Utf8ToWide(names.substr(start, end - start)));
        }
        EXPECT_EQ(ours, theirs);

        const std::wstring out = tmp_ / (L"out" + std::to_wstring(++checked_));
        const std::wstring ref = tmp_ / (L"ref" + std::to_wstring(checked_));
        ASSERT_TRUE(platform::CreateFolder(out));
        ASSERT_TRUE(Shell("unzip -q " + Quote(Native(zip)) + " -d " + Quote(Native(ref))));
        archive::SilentProgress silent;
        std::wstring created;
        ASSERT_TRUE(archive::ExtractZipToFolder(zip, out, silent, &created));
        const std::wstring refRoot = topFolder.empty() ? ref : paths::Join(ref, topFolder);
        EXPECT_FALSE(Tree(refRoot).empty());
        EXPECT_EQ(Tree(created), Tree(refRoot));
        // unzip dates from the DOS fields or the exact UTC extra field; ours from DOS: same 2 seconds.
        for (const auto& item : Tree(refRoot)) {
            platform::FileTime a = 0, b = 0;
            if (item.first.back() == L'/')
                continue;
            ASSERT_TRUE(platform::GetLastWriteTime(paths::Join(created, item.first), &a));
            ASSERT_TRUE(platform::GetLastWriteTime(paths::Join(refRoot, item.first), &b));
            EXPECT_LE((a > b ? a - b : b - a), 20000000u) << Utf8(item.first);
        }
    }

    fixtures::TempFolder tmp_;
    int checked_ = 0;
};

TEST_F(ZipTools, ZipStoredDeflatedAndWithDataDescriptors) {
    const std::string src = In(L"src");
    ASSERT_TRUE(platform::CreateFolder(tmp_ / L"stored"));
    ASSERT_TRUE(Shell(src + "zip -q -r -0 ../stored/Photos.zip Photos"));
    ASSERT_TRUE(platform::CreateFolder(tmp_ / L"deflated"));
    ASSERT_TRUE(Shell(src + "zip -q -r -9 ../deflated/Photos.zip Photos"));
    ASSERT_TRUE(platform::CreateFolder(tmp_ / L"descriptors"));
    ASSERT_TRUE(Shell(src + "zip -q -r -fd ../descriptors/Photos.zip Photos"));
    // Written to a pipe, zip cannot seek back: every member gets a data descriptor.
    ASSERT_TRUE(platform::CreateFolder(tmp_ / L"streamed"));
    ASSERT_TRUE(Shell(src + "zip -q -r - Photos | cat > ../streamed/Photos.zip"));
    ExpectSameAsUnzip(tmp_ / L"stored\\Photos.zip", L"Photos");
    ExpectSameAsUnzip(tmp_ / L"deflated\\Photos.zip", L"Photos");
    ExpectSameAsUnzip(tmp_ / L"descriptors\\Photos.zip", L"Photos");
    ExpectSameAsUnzip(tmp_ / L"streamed\\Photos.zip", L"Photos");
}

TEST_F(ZipTools, StreamedStandardInputWithAndWithoutZip64LocalFields) {
    const std::string src = In(L"src");
    ASSERT_TRUE(Shell(src + "cat Photos/a.jpg | zip -q - - | cat > ../stdin.zip"));
    ASSERT_TRUE(Shell(src + "cat Photos/sub/deep/b.txt | zip -q -fz- - - | cat > ../stdin32.zip"));
    ExpectSameAsUnzip(tmp_ / L"stdin.zip", L"");
    ExpectSameAsUnzip(tmp_ / L"stdin32.zip", L"");
}

TEST_F(ZipTools, PythonStoredAndDeflatedWithUtf8Names) {
    for (const char* method : {"stored", "deflated"}) {
        const std::string zip = Native(tmp_ / (platform::Utf8ToWide(method) + L".zip"));
        ASSERT_TRUE(Shell("python3 " + Quote(Native(tmp_ / L"zip.py")) + " " + Quote(zip) + " " + method + " " +
                          Quote(Native(tmp_ / L"py"))));
        ExpectSameAsUnzip(platform::Utf8ToWide(zip), L"");
    }
}

#endif

} // namespace
