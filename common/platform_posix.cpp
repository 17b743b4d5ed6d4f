// POSIX implementation of the platform layer, for native tests, fuzzing and tools only.
#include "common/platform.h"

#include <cerrno>
#include <cwctype>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform {

namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr uint64_t kEpochDelta = 11644473600ULL;

std::string NativePath(const std::wstring& path) {
    std::wstring p = path;
    for (wchar_t& c : p)
        if (c == L'\\')
            c = L'/';
    return WideToUtf8(p);
}

FileTime FromTimespec(const struct timespec& ts) {
    if (ts.tv_sec < 0)
        return 0;
    return (static_cast<uint64_t>(ts.tv_sec) + kEpochDelta) * 10000000ULL +
           static_cast<uint64_t>(ts.tv_nsec) / 100;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Windows-1252 code points for bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

bool File::Open(const std::wstring& path, OpenMode mode) {
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case OpenMode::ReadShared: flags |= O_RDONLY; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::ReadWriteAlways: flags |= O_RDWR | O_CREAT; break;
    case OpenMode::CreateAlways: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case OpenMode::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
    }
    int fd = ::open(NativePath(path).c_str(), flags, 0644);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

bool File::IsOpen() const { return handle_ >= 0; }

void File::Close() {
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
    handle_ = -1;
}

size_t File::Read(void* buffer, size_t bytes) {
    if (handle_ < 0)
        return 0;
    size_t done = 0;
    while (done < bytes) {
        ssize_t n = ::read(static_cast<int>(handle_), static_cast<char*>(buffer) + done, bytes - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

size_t File::Write(const void* buffer, size_t bytes) {
    if (handle_ < 0)
        return 0;
    size_t done = 0;
    while (done < bytes) {
        ssize_t n =
            ::write(static_cast<int>(handle_), static_cast<const char*>(buffer) + done, bytes - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

bool File::Seek(uint64_t offset) {
    return handle_ >= 0 && offset <= static_cast<uint64_t>(INT64_MAX) &&
           lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool File::Size(uint64_t* size) const {
    struct stat st;
    if (handle_ < 0 || fstat(static_cast<int>(handle_), &st) != 0)
        return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool File::LastWriteTime(FileTime* time) const {
    struct stat st;
    if (handle_ < 0 || fstat(static_cast<int>(handle_), &st) != 0)
        return false;
    *time = FromTimespec(st.st_mtim);
    return true;
}

bool File::SetLastWriteTime(FileTime time) {
    if (handle_ < 0 || time < kEpochDelta * 10000000ULL)
        return false;
    uint64_t unix100 = time - kEpochDelta * 10000000ULL;
    struct timespec ts[2];
    ts[0].tv_sec = 0;
    ts[0].tv_nsec = UTIME_OMIT;
    ts[1].tv_sec = static_cast<time_t>(unix100 / 10000000ULL);
    ts[1].tv_nsec = static_cast<long>((unix100 % 10000000ULL) * 100);
    return futimens(static_cast<int>(handle_), ts) == 0;
}

bool File::Flush() { return handle_ >= 0 && fsync(static_cast<int>(handle_)) == 0; }

bool File::SetEnd() {
    if (handle_ < 0)
        return false;
    off_t pos = lseek(static_cast<int>(handle_), 0, SEEK_CUR);
    return pos >= 0 && ftruncate(static_cast<int>(handle_), pos) == 0;
}

MappedView::~MappedView() { Close(); }

bool MappedView::Open(const std::wstring& path) {
    Close();
    int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0 ||
        static_cast<uint64_t>(st.st_size) >= (1ULL << 32)) {
        ::close(fd);
        return false;
    }
    void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    data_ = static_cast<const uint8_t*>(p);
    size_ = static_cast<size_t>(st.st_size);
    time_ = FromTimespec(st.st_mtim);
    file_ = fd;
    return true;
}

void MappedView::Close() {
    if (data_)
        munmap(const_cast<uint8_t*>(data_), size_);
    if (file_ >= 0)
        ::close(static_cast<int>(file_));
    data_ = nullptr;
    size_ = 0;
    time_ = 0;
    file_ = -1;
    mapping_ = -1;
}

// The block's length is kept in a header page so PageFree needs only the pointer, like VirtualFree.
namespace {
constexpr size_t kPageHeader = 4096;
}

void* PageAlloc(size_t bytes) {
    if (bytes == 0 || bytes > SIZE_MAX - 2 * kPageHeader)
        return nullptr;
    size_t total = bytes + kPageHeader;
    void* p = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    *static_cast<size_t*>(p) = total;
    return static_cast<uint8_t*>(p) + kPageHeader;
}

void PageFree(void* block) {
    if (!block)
        return;
    uint8_t* base = static_cast<uint8_t*>(block) - kPageHeader;
    munmap(base, *reinterpret_cast<size_t*>(base));
}

std::wstring MakeTempFile() {
    const char* dir = getenv("TMPDIR");
    std::string templ = std::string(dir && *dir ? dir : "/tmp") + "/tmpXXXXXX";
    int fd = mkstemp(templ.data());
    if (fd < 0)
        return std::wstring();
    ::close(fd);
    return Utf8ToWide(templ);
}

bool FileExists(const std::wstring& path) {
    struct stat st;
    return stat(NativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FolderExists(const std::wstring& path) {
    struct stat st;
    return stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::wstring& path) {
    struct stat st;
    return stat(NativePath(path).c_str(), &st) == 0;
}

bool CreateFolder(const std::wstring& path) { return mkdir(NativePath(path).c_str(), 0755) == 0; }

bool RemoveFolder(const std::wstring& path) { return rmdir(NativePath(path).c_str()) == 0; }

bool DeleteFileAt(const std::wstring& path) { return unlink(NativePath(path).c_str()) == 0; }

bool MoveOver(const std::wstring& from, const std::wstring& to) {
    return rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

namespace {

// The kernel copies without the data passing through this process, as CopyFileW does. 1 copied, 0
// failed, -1 when it cannot here (another file system, an old kernel) and nothing was copied.
int KernelCopy(int in, int out) {
    for (bool first = true;; first = false) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
        if (n == 0)
            return 1;
        if (n < 0)
            return first && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) ? -1 : 0;
    }
}

} // namespace

bool CopyOver(const std::wstring& from, const std::wstring& to) {
    File in, out;
    if (!in.Open(from, OpenMode::ReadShared) || !out.Open(to, OpenMode::CreateAlways))
        return false;
    const int kernel = KernelCopy(static_cast<int>(in.handle_), static_cast<int>(out.handle_));
    if (kernel == 0)
        return false;
    if (kernel < 0) {
        char buffer[65536];
        for (;;) {
            size_t n = in.Read(buffer, sizeof buffer);
            if (n == 0)
                break;
            if (out.Write(buffer, n) != n)
                return false;
        }
    }
    // CopyFileW carries the time along; extraction relies on that to date its members. Times this
    // side cannot hold (before 1970) are left as they fall.
    FileTime time = 0;
    if (in.LastWriteTime(&time))
        out.SetLastWriteTime(time);
    return true;
}

bool MoveNew(const std::wstring& from, const std::wstring& to) {
    // A hard link fails on an existing name and across file systems, where rename would replace.
    const std::string source = NativePath(from);
    if (link(source.c_str(), NativePath(to).c_str()) != 0)
        return false;
    unlink(source.c_str());
    return true;
}

bool GetLastWriteTime(const std::wstring& path, FileTime* time) {
    struct stat st;
    if (stat(NativePath(path).c_str(), &st) != 0)
        return false;
    *time = FromTimespec(st.st_mtim);
    return true;
}

namespace {

bool MatchesPattern(const std::wstring& name, const std::wstring& pattern) {
    if (pattern == L"*" || pattern == L"*.*")
        return true;
    if (pattern.empty() || pattern[0] != L'*')
        return name == pattern;
    const size_t n = pattern.size() - 1;
    if (name.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::towlower(name[name.size() - n + i]) != std::towlower(pattern[1 + i]))
            return false;
    return true;
}

} // namespace

bool ListFolder(const std::wstring& folder, const std::wstring& pattern,
                const std::function<bool(const FolderEntry&)>& visit) {
    const std::string base = NativePath(folder);
    DIR* dir = opendir(base.c_str());
    if (!dir)
        return false;
    while (struct dirent* d = readdir(dir)) {
        if (!std::strcmp(d->d_name, ".") || !std::strcmp(d->d_name, ".."))
            continue;
        FolderEntry entry;
        entry.name = Utf8ToWide(d->d_name);
        if (!MatchesPattern(entry.name, pattern))
            continue;
        struct stat st;
        if (stat((base + "/" + d->d_name).c_str(), &st) != 0)
            continue;
        entry.attributes = S_ISDIR(st.st_mode) ? attr::kDirectory : attr::kArchive;
        if (d->d_name[0] == '.')
            entry.attributes |= attr::kHidden;
        entry.size = static_cast<uint64_t>(st.st_size);
        entry.writeTime = FromTimespec(st.st_mtim);
        if (!visit(entry))
            break;
    }
    closedir(dir);
    return true;
}

bool DosDateTimeToUtc(uint16_t date, uint16_t time, FileTime* utc) {
    struct tm t = {};
    t.tm_year = 80 + (date >> 9);
    t.tm_mon = ((date >> 5) & 15) - 1;
    t.tm_mday = date & 31;
    t.tm_hour = time >> 11;
    t.tm_min = (time >> 5) & 63;
    t.tm_sec = (time & 31) * 2;
    t.tm_isdst = -1;
    // mktime would roll month 13 or minute 60 over silently; the Windows conversion refuses them.
    if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59)
        return false;
    const time_t seconds = mktime(&t);
    if (seconds == static_cast<time_t>(-1))
        return false;
    struct timespec ts = {};
    ts.tv_sec = seconds;
    *utc = FromTimespec(ts);
    return true;
}

bool UtcToDosDateTime(FileTime utc, uint16_t* date, uint16_t* time) {
    if (utc < kEpochDelta * 10000000ULL)
        return false;
    const time_t seconds = static_cast<time_t>(utc / 10000000ULL - kEpochDelta);
    struct tm t = {};
    if (!localtime_r(&seconds, &t))
        return false;
    const int year = t.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return false;
    *date = static_cast<uint16_t>(((year - 1980) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
    *time = static_cast<uint16_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
    return true;
}

void AnnounceFileCreated(const std::wstring&) {}
void AnnounceFolderCreated(const std::wstring&) {}

std::wstring AnsiToWide(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (unsigned char c : text)
        out.push_back(c >= 0x80 && c < 0xA0 ? static_cast<wchar_t>(kCp1252High[c - 0x80]) : c);
    return out;
}

std::string WideToAnsi(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        uint32_t c = static_cast<uint32_t>(wc);
        char mapped = '?';
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            mapped = static_cast<char>(c);
        } else {
            for (int i = 0; i < 32; ++i)
                if (kCp1252High[i] == c)
                    mapped = static_cast<char>(0x80 + i);
        }
        out.push_back(mapped);
    }
    return out;
}

std::wstring Utf8ToWide(const std::string& text) {
    std::wstring out;
    size_t i = 0, n = text.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if (c >= 0xC2 && c < 0xE0) {
            len = 2;
        } else if (c >= 0xE0 && c < 0xF0) {
            len = 3;
        } else if (c >= 0xF0 && c < 0xF5) {
            len = 4;
        }
        if (len > 1) {
            bool ok = i + len <= n;
            uint32_t v = c & (0xFF >> (len + 1));
            for (size_t k = 1; ok && k < len; ++k) {
                unsigned char cc = static_cast<unsigned char>(text[i + k]);
                ok = (cc & 0xC0) == 0x80;
                v = (v << 6) | (cc & 0x3F);
            }
            bool overlong = (len == 3 && v < 0x800) || (len == 4 && (v < 0x10000 || v > 0x10FFFF));
            bool surrogate = v >= 0xD800 && v < 0xE000;
            if (ok && !overlong && !surrogate) {
                cp = v;
            } else {
                len = 1;
            }
        }
        out.push_back(static_cast<wchar_t>(cp));
        i += len;
    }
    return out;
}

std::string WideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        uint32_t c = static_cast<uint32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
            c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

} // namespace platform
