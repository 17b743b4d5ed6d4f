// The archive plug-in module (7z, tar, tar.gz, tar.xz, cab): the interface's exports over
// archive_core. A member's position is its ordinal in the archive. The one thing kept between calls is
// the archive a member was last read from, open at the next member: a host asks for a pane's members one
// after another, and each would otherwise decode the archive from its start again. Any thread may call.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugins/archive/archive_core.h"
#include "plugins/shared/plugin_abi.h"
#include "plugins/shared/plugin_io_win.h"

using namespace archive_plugin;
namespace spi = plugin_abi;

namespace {

const char* const kInfo[] = {
    "00AM",
    "7z, tar and cab plug-in 1.0 for Quorle (libarchive 3.6.2)",
    "*.7z", "7z archive",
    "*.tar", "tar archive",
    "*.tar.gz;*.tgz", "tar archive, gzip-compressed",
    "*.tar.xz;*.txz", "tar archive, xz-compressed",
    "*.cab", "Cabinet archive",
};

// A member handed over in memory must fit one local-memory block the host can size.
constexpr uint64_t kMaxMemoryMember = uint64_t{1} << 31;
constexpr uint64_t kMaxFileMember = uint64_t{1} << 40;

class FileSource : public Source {
public:
    explicit FileSource(const char* ansi_name) {
        path_ = plugin_io::WideFromAnsi(ansi_name);
        if (path_.empty())
            return;
        file_ = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size;
        if (file_ != INVALID_HANDLE_VALUE && GetFileSizeEx(file_, &size))
            size_ = static_cast<uint64_t>(size.QuadPart);
    }
    ~FileSource() override {
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool Opened() const { return file_ != INVALID_HANDLE_VALUE; }
    // The file as a cursor may go on reading it: which file (volume and index, else its path), its size
    // and when it was last written. Empty when that cannot be told.
    std::string Identity() const {
        BY_HANDLE_FILE_INFORMATION info;
        if (!Opened() || !GetFileInformationByHandle(file_, &info))
            return {};
        char text[96];
        std::snprintf(text, sizeof text, "%08lx:%08lx%08lx:%llu:%08lx%08lx|", info.dwVolumeSerialNumber,
                      info.nFileIndexHigh, info.nFileIndexLow, static_cast<unsigned long long>(size_),
                      info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
        std::string id = text;
        for (wchar_t c : path_) {
            id += static_cast<char>(c & 0xFF);
            id += static_cast<char>(c >> 8);
        }
        return id;
    }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buf, size_t n, size_t* got) override {
        *got = 0;
        if (offset > size_)
            return false;
        if (n > size_ - offset)
            n = static_cast<size_t>(size_ - offset);
        while (*got < n) {
            OVERLAPPED at = {};
            const uint64_t where = offset + *got;
            at.Offset = static_cast<DWORD>(where);
            at.OffsetHigh = static_cast<DWORD>(where >> 32);
            const size_t want = n - *got;
            DWORD read = 0;
            if (!ReadFile(file_, static_cast<uint8_t*>(buf) + *got, want > (1u << 30) ? (1u << 30) : static_cast<DWORD>(want),
                          &read, &at) ||
                read == 0)
                return false;
            *got += read;
        }
        return true;
    }

private:
    std::wstring path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    uint64_t size_ = 0;
};

int ResultOf(ArchiveError error) {
    switch (error) {
    case ArchiveError::Ok: return spi::kOk;
    case ArchiveError::Unknown: return spi::kUnknownFormat;
    case ArchiveError::Broken:
    case ArchiveError::Encrypted:
    case ArchiveError::NotFound: return spi::kBrokenData;
    case ArchiveError::TooLarge: return spi::kNoMemory;
    case ArchiveError::Cancelled: return spi::kCancelled;
    case ArchiveError::SinkFailed: return spi::kWriteError;
    }
    return spi::kInternalError;
}

// The archive's name in the ANSI code page, as the interface carries names.
std::string AnsiName(const Member& member) {
    if (!member.utf8)
        return member.name;
    const int wn = MultiByteToWideChar(CP_UTF8, 0, member.name.c_str(), -1, nullptr, 0);
    if (wn <= 1)
        return member.name;
    std::wstring wide(static_cast<size_t>(wn), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, member.name.c_str(), -1, &wide[0], wn);
    const int an = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (an <= 1)
        return member.name;
    std::string ansi(static_cast<size_t>(an), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &ansi[0], an, nullptr, nullptr);
    ansi.resize(static_cast<size_t>(an) - 1);
    return ansi;
}

// The archive a call names: a file from offset 0, or a memory block. A nonzero file offset (a
// 128-byte header before the archive) is refused: positions are ordinals, and GetFile could not tell
// an offset added to them from a later member.
std::unique_ptr<Source> OpenInput(LPCSTR buf, LONG_PTR len, unsigned int flag, int* result) {
    *result = spi::kOk;
    if (!buf) {
        *result = spi::kReadError;
        return nullptr;
    }
    if ((flag & spi::kInputMask) == spi::kInputMemory) {
        if (len <= 0) {
            *result = spi::kUnknownFormat;
            return nullptr;
        }
        return std::make_unique<MemorySource>(buf, static_cast<size_t>(len));
    }
    if ((flag & spi::kInputMask) != spi::kInputFile || len != 0) {
        *result = spi::kUnknownFormat;
        return nullptr;
    }
    auto file = std::make_unique<FileSource>(buf);
    if (!file->Opened()) {
        *result = spi::kReadError;
        return nullptr;
    }
    return file;
}

ArchiveKind KindOf(Source& source) {
    uint8_t head[2048] = {};
    size_t got = 0;
    return source.ReadAt(0, head, sizeof head, &got) ? SniffArchive(head, sizeof head) : ArchiveKind::None;
}

// The listing as entry records, ending with an all-zero record. Members whose names do not fit the
// record's fields are left out (a cut name would fetch under the wrong name).
int BuildRecords(Source& source, std::vector<spi::FileInfo>* records) {
    std::vector<Member> members;
    const ArchiveError error = ListMembers(source, &members);
    if (error != ArchiveError::Ok)
        return ResultOf(error);
    const ArchiveKind kind = KindOf(source);
    records->clear();
    records->reserve(members.size() + 1);
    for (const Member& m : members) {
        std::string folder, file;
        SplitMemberPath(AnsiName(m), &folder, &file);
        spi::FileInfo record;
        if (FillFileInfo(kind, m, folder, file, &record))
            records->push_back(record);
    }
    records->push_back(spi::FileInfo{});
    return spi::kOk;
}

class MemorySink : public MemberSink {
public:
    MemorySink(plugin_io::ProgressCallback progress, LONG_PTR data) : progress_(progress), data_(data) {}
    ~MemorySink() override {
        if (bytes_)
            LocalUnlock(handle_);
        if (handle_)
            LocalFree(handle_);
    }
    MemorySink(const MemorySink&) = delete;
    MemorySink& operator=(const MemorySink&) = delete;

    bool Begin(const Member& member) override {
        size_ = static_cast<size_t>(member.size);
        handle_ = LocalAlloc(LMEM_MOVEABLE, size_ ? size_ : 1);
        bytes_ = handle_ ? static_cast<uint8_t*>(LocalLock(handle_)) : nullptr;
        return bytes_ != nullptr;
    }
    bool Write(const uint8_t* data, size_t n) override {
        if (n > size_ - done_)
            return false;
        std::memcpy(bytes_ + done_, data, n);
        done_ += n;
        return true;
    }
    bool Cancelled(uint64_t done, uint64_t total) override {
        return plugin_io::Cancelled(progress_, Permille(done, total), 1000, data_);
    }
    // Hands the block to the host: only a complete member leaves the plug-in.
    HLOCAL Release() {
        if (done_ != size_)
            return nullptr;
        LocalUnlock(handle_);
        bytes_ = nullptr;
        HLOCAL h = handle_;
        handle_ = nullptr;
        return h;
    }
    static int Permille(uint64_t done, uint64_t total) {
        return total ? static_cast<int>(done * 1000 / total > 1000 ? 1000 : done * 1000 / total) : 1000;
    }

private:
    plugin_io::ProgressCallback progress_;
    LONG_PTR data_;
    HLOCAL handle_ = nullptr;
    uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
    size_t done_ = 0;
};

// Writes the member beside its final name (its bare name in `folder`) and renames it over only when it
// is complete, so a failed or cancelled extraction never leaves half a file or destroys one already
// there. A name that cannot be created as it stands is refused (`Refused`), never cleaned.
class FileSink : public MemberSink {
public:
    FileSink(std::wstring folder, plugin_io::ProgressCallback progress, LONG_PTR data)
        : folder_(std::move(folder)), progress_(progress), data_(data) {}
    ~FileSink() override {
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
        if (!temp_.empty())
            DeleteFileW(temp_.c_str());
    }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool Begin(const Member& member) override {
        std::string folder, file;
        SplitMemberPath(AnsiName(member), &folder, &file);
        if (!IsSafeFileName(file)) {
            refused_ = true;
            return false;
        }
        final_ = folder_ + plugin_io::WideFromAnsi(file.c_str());
        mtime_ = member.mtime;
        wchar_t temp[MAX_PATH + 16];
        if (!GetTempFileNameW(folder_.c_str(), L"qar", 0, temp))
            return false;
        temp_ = temp;
        file_ = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        return file_ != INVALID_HANDLE_VALUE;
    }
    bool Write(const uint8_t* data, size_t n) override {
        DWORD written = 0;
        return WriteFile(file_, data, static_cast<DWORD>(n), &written, nullptr) && written == n;
    }
    bool Cancelled(uint64_t done, uint64_t total) override {
        return plugin_io::Cancelled(progress_, MemorySink::Permille(done, total), 1000, data_);
    }
    bool Commit() {
        if (mtime_ > 0) {
            const uint64_t ticks = (static_cast<uint64_t>(mtime_) + 11644473600ull) * 10000000ull;
            FILETIME ft = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
            SetFileTime(file_, nullptr, nullptr, &ft);
        }
        const bool closed = CloseHandle(file_) != 0;
        file_ = INVALID_HANDLE_VALUE;
        if (!closed || !MoveFileExW(temp_.c_str(), final_.c_str(), MOVEFILE_REPLACE_EXISTING))
            return false;
        temp_.clear();
        return true;
    }

    bool Refused() const { return refused_; }

private:
    bool refused_ = false;
    std::wstring folder_, final_, temp_;
    plugin_io::ProgressCallback progress_;
    LONG_PTR data_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    int64_t mtime_ = 0;
};

// One cursor for the module, as a host reads one archive's members at a time. A call that finds it in
// use by another thread reads on its own from the archive's start.
std::mutex g_cursor_lock;
MemberCursor g_cursor;

ArchiveError ExtractFromFile(FileSource& source, uint64_t ordinal, uint64_t max_size, MemberSink* sink) {
    std::unique_lock<std::mutex> lock(g_cursor_lock, std::try_to_lock);
    if (!lock.owns_lock())
        return ExtractMember(source, ordinal, max_size, sink);
    return g_cursor.Extract(source, source.Identity(), ordinal, max_size, sink);
}

int GetFileToDisk(FileSource& source, uint64_t ordinal, const char* dest, plugin_io::ProgressCallback progress,
                  LONG_PTR data) {
    std::wstring folder = plugin_io::WideFromAnsi(dest);
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return spi::kWriteError;
    if (folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    FileSink sink(folder, progress, data);
    const ArchiveError error = ExtractFromFile(source, ordinal, kMaxFileMember, &sink);
    // A member with no name to write under (refused, or no member at that position) is a write error.
    if (sink.Refused() || error == ArchiveError::NotFound)
        return spi::kWriteError;
    if (error != ArchiveError::Ok)
        return ResultOf(error);
    return sink.Commit() ? spi::kOk : spi::kWriteError;
}

} // namespace

extern "C" {

int __stdcall GetPluginInfo(int infono, LPSTR buf, int buflen) {
    return spi::CopyPluginInfo(kInfo, static_cast<int>(sizeof kInfo / sizeof kInfo[0]), infono, buf, buflen);
}

int __stdcall IsSupported(LPCSTR, const void* dw) {
    // The 64-bit interface hands the first 2 KB; values that fit in 16 bits are old file handles.
    if (reinterpret_cast<uintptr_t>(dw) <= 0xFFFF)
        return 0;
    return SniffArchive(static_cast<const uint8_t*>(dw), 2048) != ArchiveKind::None ? 1 : 0;
}

int __stdcall GetArchiveInfo(LPCSTR buf, LONG_PTR len, unsigned int flag, HLOCAL* lphInf) {
    if (!lphInf)
        return spi::kInternalError;
    *lphInf = nullptr;
    int result = spi::kOk;
    std::unique_ptr<Source> source = OpenInput(buf, len, flag, &result);
    if (!source)
        return result;
    std::vector<spi::FileInfo> records;
    result = BuildRecords(*source, &records);
    if (result != spi::kOk)
        return result;
    HLOCAL handle = plugin_io::LocalCopy(records.data(), records.size() * sizeof(spi::FileInfo));
    if (!handle)
        return spi::kNoMemory;
    *lphInf = handle;
    return spi::kOk;
}

int __stdcall GetFileInfo(LPCSTR buf, LONG_PTR len, LPCSTR filename, unsigned int flag, spi::FileInfo* lpInfo) {
    if (!lpInfo || !filename)
        return spi::kInternalError;
    int result = spi::kOk;
    std::unique_ptr<Source> source = OpenInput(buf, len, flag & spi::kInputMask, &result);
    if (!source)
        return result;
    std::vector<spi::FileInfo> records;
    result = BuildRecords(*source, &records);
    if (result != spi::kOk)
        return result;
    // The name asked for may be the whole path or the bare name, with either separator.
    std::string wanted = filename;
    for (char& c : wanted) {
        if (c == '/')
            c = '\\';
    }
    const bool any_case = (flag & 0x80) != 0;
    for (const spi::FileInfo& r : records) {
        if (!r.method[0])
            break;
        const std::string full = std::string(r.path) + r.filename;
        const bool hit = any_case ? (lstrcmpiA(full.c_str(), wanted.c_str()) == 0 || lstrcmpiA(r.filename, wanted.c_str()) == 0)
                                  : (full == wanted || wanted == r.filename);
        if (hit) {
            *lpInfo = r;
            return spi::kOk;
        }
    }
    return spi::kBrokenData;
}

int __stdcall GetFile(LPCSTR src, LONG_PTR len, LPSTR dest, unsigned int flag, plugin_io::ProgressCallback progress,
                      LONG_PTR lData) {
    if (!src || !dest || len < 0)
        return spi::kInternalError;
    // Positions are ordinals: a memory block advanced by one addresses nothing.
    if ((flag & spi::kInputMask) != spi::kInputFile)
        return spi::kNotImplemented;
    FileSource source(src);
    if (!source.Opened())
        return spi::kReadError;
    const uint64_t ordinal = static_cast<uint64_t>(len);
    if (plugin_io::Cancelled(progress, 0, 1000, lData))
        return spi::kCancelled;
    int result;
    if ((flag & spi::kOutputMask) == spi::kOutputMemory) {
        HLOCAL* out = reinterpret_cast<HLOCAL*>(dest);
        *out = nullptr;
        MemorySink sink(progress, lData);
        const ArchiveError error = ExtractFromFile(source, ordinal, kMaxMemoryMember, &sink);
        result = ResultOf(error);
        if (error == ArchiveError::Ok) {
            *out = sink.Release();
            result = *out ? spi::kOk : spi::kBrokenData;
        }
    } else if ((flag & spi::kOutputMask) == spi::kOutputFile) {
        result = GetFileToDisk(source, ordinal, dest, progress, lData);
    } else {
        return spi::kNotImplemented;
    }
    if (result == spi::kOk)
        plugin_io::Cancelled(progress, 1000, 1000, lData);  // complete: a late stop changes nothing
    return result;
}

int __stdcall ConfigurationDlg(HWND parent, int function) {
    if (function != 0 && function != 1)
        return spi::kNotImplemented;
    MessageBoxA(parent, kInfo[1], "Archive plug-in", MB_OK | MB_ICONINFORMATION);
    return spi::kOk;
}

} // extern "C"
