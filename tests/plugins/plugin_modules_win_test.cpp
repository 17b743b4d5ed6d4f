// The built modules (webp.spi, archive.spi) loaded and called the way a host calls them: the first
// 2 KB for IsSupported, files by ANSI name and offset or memory blocks, results in local-memory
// handles the caller frees, archive records 448 bytes apart up to a zero method.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>
#include <vector>

#include "plugins/shared/plugin_abi.h"
#include "tests/plugins/plugin_fixtures.h"

namespace fx = plugin_fixtures;
namespace spi = plugin_abi;

namespace {

typedef int(__stdcall* Progress)(int, int, LONG_PTR);
typedef int(__stdcall* GetPluginInfoFn)(int, LPSTR, int);
typedef int(__stdcall* IsSupportedFn)(LPCSTR, const void*);
typedef int(__stdcall* GetPictureInfoFn)(LPCSTR, LONG_PTR, unsigned, spi::PictureInfo*);
typedef int(__stdcall* GetPictureFn)(LPCSTR, LONG_PTR, unsigned, HLOCAL*, HLOCAL*, Progress, LONG_PTR);
typedef int(__stdcall* GetArchiveInfoFn)(LPCSTR, LONG_PTR, unsigned, HLOCAL*);
typedef int(__stdcall* GetFileFn)(LPCSTR, LONG_PTR, LPSTR, unsigned, Progress, LONG_PTR);

int __stdcall GoOn(int, int, LONG_PTR) { return 0; }
int __stdcall StopAtOnce(int, int, LONG_PTR) { return 1; }

struct Module {
    HMODULE h;
    explicit Module(const char* name) {
        std::wstring path = L"Z:" QUORLE_PLUGINS_DIR L"/";
        for (const char* p = name; *p; ++p)
            path += static_cast<wchar_t>(*p);
        for (wchar_t& c : path) {
            if (c == L'/')
                c = L'\\';
        }
        h = LoadLibraryW(path.c_str());
    }
    ~Module() {
        if (h)
            FreeLibrary(h);
    }
    template <typename F> F Get(const char* name) const { return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(h, name))); }
};

// The head as the host hands it: the first 2,048 bytes, zero-filled.
std::vector<char> Head(const std::vector<uint8_t>& file) {
    std::vector<char> head(2048, 0);
    std::memcpy(head.data(), file.data(), file.size() < head.size() ? file.size() : head.size());
    return head;
}

std::vector<uint8_t> TakeHandle(HLOCAL h) {
    std::vector<uint8_t> out;
    if (!h)
        return out;
    const void* p = LocalLock(h);
    if (p)
        out.assign(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + LocalSize(h));
    LocalUnlock(h);
    LocalFree(h);
    return out;
}

std::wstring TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring dir = std::wstring(base) + L"quorle-plugin-test-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

void RemoveFolder(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((dir + L"\\" + fd.cFileName).c_str());
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
}

std::string Ansi(const std::wstring& w) {
    std::string s(static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, &s[0], static_cast<int>(s.size()), nullptr, nullptr);
    s.pop_back();
    return s;
}

std::vector<uint8_t> ReadWide(const std::wstring& path) {
    std::vector<uint8_t> out;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return out;
    out.resize(GetFileSize(f, nullptr));
    DWORD got = 0;
    if (!out.empty() && !ReadFile(f, out.data(), static_cast<DWORD>(out.size()), &got, nullptr))
        out.clear();
    CloseHandle(f);
    return out;
}

size_t FilesIn(const std::wstring& dir) {
    size_t n = 0;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        n += (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    return n;
}

TEST(PluginModules, IdentifyThemselvesAndTheirPatterns) {
    const struct {
        const char* module;
        const char* version;
        const char* first_pattern;
    } cases[] = {{"webp.spi", "00IN", "*.webp"}, {"archive.spi", "00AM", "*.7z"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.module);
        Module m(c.module);
        ASSERT_NE(m.h, nullptr);
        auto info = m.Get<GetPluginInfoFn>("GetPluginInfo");
        ASSERT_NE(info, nullptr);
        ASSERT_NE(m.Get<IsSupportedFn>("IsSupported"), nullptr);
        char buf[260];
        EXPECT_EQ(info(0, buf, 8), 4);
        EXPECT_STREQ(buf, c.version);
        EXPECT_GT(info(1, buf, sizeof buf), 0);
        EXPECT_EQ(info(2, buf, sizeof buf), static_cast<int>(std::strlen(c.first_pattern)));
        EXPECT_STREQ(buf, c.first_pattern);
        // Counting up until 0, as hosts do, ends; a short buffer gets a terminated prefix.
        int n = 2;
        while (n < 100 && info(n, buf, sizeof buf) > 0)
            ++n;
        EXPECT_LT(n, 100);
        EXPECT_EQ(n % 2, 0);
        std::memset(buf, 'x', sizeof buf);
        EXPECT_EQ(info(1, buf, 5), 4);
        EXPECT_EQ(buf[4], '\0');
    }
}

TEST(WebpModule, DecodesFilesAndMemoryLikeDwebp) {
    Module m("webp.spi");
    ASSERT_NE(m.h, nullptr);
    auto is_supported = m.Get<IsSupportedFn>("IsSupported");
    auto picture_info = m.Get<GetPictureInfoFn>("GetPictureInfo");
    auto picture = m.Get<GetPictureFn>("GetPicture");
    ASSERT_TRUE(is_supported && picture_info && picture);
    for (const fx::WebpCase& c : fx::kWebpCases) {
        SCOPED_TRACE(c.name);
        const std::string path = fx::Path(std::string(c.name) + ".webp");
        const std::vector<uint8_t> file = fx::Read(std::string(c.name) + ".webp");
        const fx::Bitmap want = fx::ReferenceBitmap(std::string(c.name) + ".pam");
        ASSERT_FALSE(want.bits.empty());
        EXPECT_NE(is_supported(path.c_str(), Head(file).data()), 0);

        spi::PictureInfo pi;
        std::memset(&pi, 0x7F, sizeof pi);
        ASSERT_EQ(picture_info(path.c_str(), 0, 0, &pi), 0);
        EXPECT_EQ(pi.width, want.width);
        EXPECT_EQ(pi.height, want.height);
        EXPECT_EQ(pi.color_depth, 24);
        EXPECT_EQ(pi.info_handle, 0u);

        for (int memory = 0; memory < 2; ++memory) {
            HLOCAL hinfo = nullptr, hbits = nullptr;
            const int rc = memory ? picture(reinterpret_cast<LPCSTR>(file.data()), static_cast<LONG_PTR>(file.size()), 1,
                                            &hinfo, &hbits, GoOn, 0)
                                  : picture(path.c_str(), 0, 0, &hinfo, &hbits, GoOn, 0);
            ASSERT_EQ(rc, 0) << "memory " << memory;
            const std::vector<uint8_t> header = TakeHandle(hinfo);
            const std::vector<uint8_t> bits = TakeHandle(hbits);
            ASSERT_GE(header.size(), sizeof(BITMAPINFOHEADER));
            BITMAPINFOHEADER bih;
            std::memcpy(&bih, header.data(), sizeof bih);
            EXPECT_EQ(bih.biSize, 40u);
            EXPECT_EQ(bih.biWidth, want.width);
            EXPECT_EQ(bih.biHeight, want.height);
            EXPECT_EQ(bih.biBitCount, 24);
            EXPECT_EQ(bih.biCompression, static_cast<DWORD>(BI_RGB));
            EXPECT_TRUE(bits == want.bits) << "memory " << memory;
        }
    }
}

TEST(WebpModule, TruncatedForeignAndCancelledFailWithoutHandles) {
    Module m("webp.spi");
    auto is_supported = m.Get<IsSupportedFn>("IsSupported");
    auto picture = m.Get<GetPictureFn>("GetPicture");
    ASSERT_TRUE(is_supported && picture);
    const struct {
        const char* file;
        Progress progress;
    } cases[] = {{"truncated.webp", GoOn}, {"photo1.jpg", GoOn}, {"lossy_odd.webp", StopAtOnce}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        HLOCAL hinfo = reinterpret_cast<HLOCAL>(1), hbits = reinterpret_cast<HLOCAL>(1);
        EXPECT_NE(picture(fx::Path(c.file).c_str(), 0, 0, &hinfo, &hbits, c.progress, 0), 0);
        EXPECT_EQ(hinfo, nullptr);
        EXPECT_EQ(hbits, nullptr);
    }
    EXPECT_EQ(is_supported("x.jpg", Head(fx::Read("photo1.jpg")).data()), 0);
    // A missing file, and an offset past the end.
    HLOCAL hinfo = nullptr, hbits = nullptr;
    EXPECT_NE(picture(fx::Path("missing.webp").c_str(), 0, 0, &hinfo, &hbits, GoOn, 0), 0);
    EXPECT_NE(picture(fx::Path("lossy_odd.webp").c_str(), 1 << 20, 0, &hinfo, &hbits, GoOn, 0), 0);
    EXPECT_EQ(hinfo, nullptr);
}

std::vector<spi::FileInfo> Records(HLOCAL h) {
    std::vector<spi::FileInfo> out;
    const std::vector<uint8_t> bytes = TakeHandle(h);
    for (size_t at = 0; at + 1 <= bytes.size(); at += sizeof(spi::FileInfo)) {
        if (bytes[at] == 0)
            return out;
        if (bytes.size() - at < sizeof(spi::FileInfo))
            break;
        spi::FileInfo r;
        std::memcpy(&r, bytes.data() + at, sizeof r);
        out.push_back(r);
    }
    ADD_FAILURE() << "entry list without its terminating record";
    return out;
}

TEST(ArchiveModule, ListsAndFetchesPhotographsToMemoryAndToAFolder) {
    Module m("archive.spi");
    auto is_supported = m.Get<IsSupportedFn>("IsSupported");
    auto archive_info = m.Get<GetArchiveInfoFn>("GetArchiveInfo");
    auto get_file = m.Get<GetFileFn>("GetFile");
    ASSERT_TRUE(is_supported && archive_info && get_file);
    const std::wstring dest = TempFolder();
    for (const char* name : fx::kPhotoArchives) {
        SCOPED_TRACE(name);
        const std::string path = fx::Path(name);
        EXPECT_NE(is_supported(path.c_str(), Head(fx::Read(name)).data()), 0);
        HLOCAL list = nullptr;
        ASSERT_EQ(archive_info(path.c_str(), 0, 0, &list), 0);
        const std::vector<spi::FileInfo> records = Records(list);
        ASSERT_EQ(records.size(), std::size(fx::kPhotos));
        for (const spi::FileInfo& r : records) {
            SCOPED_TRACE(r.filename);
            const fx::Photo* photo = nullptr;
            for (const fx::Photo& p : fx::kPhotos) {
                if (std::strcmp(r.filename, p.file) == 0 && std::strcmp(r.path, p.folder) == 0)
                    photo = &p;
            }
            ASSERT_NE(photo, nullptr) << r.path;
            const std::vector<uint8_t> original = fx::Read(photo->original);
            EXPECT_EQ(r.filesize, original.size());

            HLOCAL data = nullptr;
            ASSERT_EQ(get_file(path.c_str(), static_cast<LONG_PTR>(r.position), reinterpret_cast<LPSTR>(&data), 0x100,
                               GoOn, 0),
                      0);
            EXPECT_TRUE(TakeHandle(data) == original);

            std::string folder = Ansi(dest);
            ASSERT_EQ(get_file(path.c_str(), static_cast<LONG_PTR>(r.position), &folder[0], 0, GoOn, 0), 0);
            std::wstring written = dest + L"\\";
            for (const char* p = r.filename; *p; ++p)
                written += static_cast<wchar_t>(*p);
            EXPECT_TRUE(ReadWide(written) == original);
            DeleteFileW(written.c_str());
        }
    }
    EXPECT_EQ(FilesIn(dest), 0u);
    RemoveFolder(dest);
}

// The module keeps the archive it last read open at the next member; an archive replaced on disk
// between two fetches (another size, time and content under the same name) is read afresh.
TEST(ArchiveModule, AnArchiveReplacedBetweenFetchesIsReadAfresh) {
    Module m("archive.spi");
    auto archive_info = m.Get<GetArchiveInfoFn>("GetArchiveInfo");
    auto get_file = m.Get<GetFileFn>("GetFile");
    ASSERT_TRUE(archive_info && get_file);
    const std::wstring dest = TempFolder();
    const std::wstring file = dest + L"\\photos.arc";
    const std::string path = Ansi(file);
    auto fetch = [&](const spi::FileInfo& r) {
        HLOCAL data = nullptr;
        EXPECT_EQ(get_file(path.c_str(), static_cast<LONG_PTR>(r.position), reinterpret_cast<LPSTR>(&data), 0x100,
                           GoOn, 0),
                  0);
        return data ? TakeHandle(data) : std::vector<uint8_t>();
    };
    auto original = [](const spi::FileInfo& r) {
        for (const fx::Photo& p : fx::kPhotos) {
            if (std::strcmp(r.filename, p.file) == 0)
                return fx::Read(p.original);
        }
        return std::vector<uint8_t>();
    };
    auto replace = [&](const char* name) {
        const std::string source = fx::Path(name);
        const std::wstring from(source.begin(), source.end());
        EXPECT_TRUE(CopyFileW(from.c_str(), file.c_str(), FALSE));
        HLOCAL list = nullptr;
        EXPECT_EQ(archive_info(path.c_str(), 0, 0, &list), 0);
        std::vector<spi::FileInfo> records = Records(list);
        std::sort(records.begin(), records.end(),
                  [](const spi::FileInfo& a, const spi::FileInfo& b) { return a.position < b.position; });
        return records;
    };
    const std::pair<const char*, const char*> swaps[] = {
        {"photos.7z", "photos.cab"}, {"photos.cab", "photos.tar.gz"}, {"photos.tar.gz", "photos.7z"}};
    for (const auto& swap : swaps) {
        SCOPED_TRACE(std::string(swap.first) + " then " + swap.second);
        // The first member of one archive leaves the module open at the next; the other archive's last
        // member comes after that position, so only the file's change can tell the module to start over.
        const std::vector<spi::FileInfo> before = replace(swap.first);
        ASSERT_EQ(before.size(), std::size(fx::kPhotos));
        EXPECT_TRUE(fetch(before.front()) == original(before.front()));
        const std::vector<spi::FileInfo> after = replace(swap.second);
        ASSERT_EQ(after.size(), std::size(fx::kPhotos));
        ASSERT_GT(after.back().position, before.front().position);
        EXPECT_TRUE(fetch(after.back()) == original(after.back()));
    }
    DeleteFileW(file.c_str());
    RemoveFolder(dest);
}

TEST(ArchiveModule, NeverWritesOutsideTheFolderNorLeavesPartFiles) {
    Module m("archive.spi");
    auto archive_info = m.Get<GetArchiveInfoFn>("GetArchiveInfo");
    auto get_file = m.Get<GetFileFn>("GetFile");
    ASSERT_TRUE(archive_info && get_file);
    const std::wstring dest = TempFolder();
    const std::wstring inner = dest + L"\\inner";
    CreateDirectoryW(inner.c_str(), nullptr);
    std::string target = Ansi(inner);
    const std::string awkward = fx::Path("awkward.tar");

    HLOCAL list = nullptr;
    ASSERT_EQ(archive_info(awkward.c_str(), 0, 0, &list), 0);
    const std::vector<spi::FileInfo> records = Records(list);
    // Names over 199 bytes are left out; "..\" and "\abs\" are reported as given.
    ASSERT_EQ(records.size(), 5u);
    EXPECT_STREQ(records[0].path, "..\\");
    EXPECT_STREQ(records[1].path, "\\abs\\");

    // "../escape.txt" lands as escape.txt inside the folder, never beside it.
    ASSERT_EQ(get_file(awkward.c_str(), static_cast<LONG_PTR>(records[0].position), &target[0], 0, GoOn, 0), 0);
    EXPECT_EQ(ReadWide(inner + L"\\escape.txt").size(), 2u);
    EXPECT_EQ(FilesIn(dest), 0u);
    // A device name is refused.
    EXPECT_NE(get_file(awkward.c_str(), static_cast<LONG_PTR>(records[2].position), &target[0], 0, GoOn, 0), 0);

    // A cancelled or failed fetch leaves the file already there whole and no temporary file behind.
    const std::string photos = fx::Path("photos.tar");
    HLOCAL plist = nullptr;
    ASSERT_EQ(archive_info(photos.c_str(), 0, 0, &plist), 0);
    const std::vector<spi::FileInfo> photo_records = Records(plist);
    ASSERT_FALSE(photo_records.empty());
    std::wstring existing = inner + L"\\";
    for (const char* p = photo_records[0].filename; *p; ++p)
        existing += static_cast<wchar_t>(*p);
    HANDLE f = CreateFileW(existing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, "old", 3, &written, nullptr);
    CloseHandle(f);
    EXPECT_EQ(get_file(photos.c_str(), static_cast<LONG_PTR>(photo_records[0].position), &target[0], 0, StopAtOnce, 0),
              spi::kCancelled);
    EXPECT_EQ(get_file(photos.c_str(), 999, &target[0], 0, GoOn, 0), spi::kWriteError);
    EXPECT_EQ(ReadWide(existing).size(), 3u);
    EXPECT_EQ(FilesIn(inner), 2u);  // escape.txt and the untouched file

    // Input forms the plug-in cannot honour are refused, with a null list.
    list = reinterpret_cast<HLOCAL>(1);
    EXPECT_NE(archive_info(photos.c_str(), 128, 0, &list), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_NE(archive_info(fx::Path("photo1.jpg").c_str(), 0, 0, &list), 0);
    EXPECT_EQ(list, nullptr);

    DeleteFileW(existing.c_str());
    DeleteFileW((inner + L"\\escape.txt").c_str());
    RemoveDirectoryW(inner.c_str());
    RemoveFolder(dest);
}

TEST(ArchiveModule, ListsAnArchiveHandedOverInMemory) {
    Module m("archive.spi");
    auto archive_info = m.Get<GetArchiveInfoFn>("GetArchiveInfo");
    ASSERT_NE(archive_info, nullptr);
    const std::vector<uint8_t> file = fx::Read("photos.7z");
    HLOCAL list = nullptr;
    ASSERT_EQ(archive_info(reinterpret_cast<LPCSTR>(file.data()), static_cast<LONG_PTR>(file.size()), 1, &list), 0);
    EXPECT_EQ(Records(list).size(), std::size(fx::kPhotos));
}

} // namespace
