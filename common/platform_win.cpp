// Win32 implementation of the platform layer: the one that ships.
#include "common/platform.h"

#include <windows.h>
#include <shlobj.h>

namespace platform {

namespace {

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

intptr_t FromHandle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
}

FileTime FromFiletime(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::wstring Convert(UINT codePage, const std::string& text) {
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string Convert(UINT codePage, const std::wstring& text) {
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                            nullptr, nullptr);
    return out;
}

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

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
    DWORD access = GENERIC_READ, share = 0, disposition = OPEN_EXISTING;
    switch (mode) {
    case OpenMode::ReadShared: share = FILE_SHARE_READ; break;
    case OpenMode::ReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    case OpenMode::ReadWriteAlways:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
        break;
    case OpenMode::CreateAlways:
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    case OpenMode::CreateNew:
        access = GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
    }
    HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    handle_ = FromHandle(h);
    return handle_ != -1;
}

bool File::IsOpen() const { return handle_ != -1; }

void File::Close() {
    if (handle_ != -1)
        CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

size_t File::Read(void* buffer, size_t bytes) {
    size_t done = 0;
    while (handle_ != -1 && done < bytes) {
        DWORD chunk = static_cast<DWORD>(bytes - done > 0x40000000 ? 0x40000000 : bytes - done);
        DWORD got = 0;
        if (!ReadFile(AsHandle(handle_), static_cast<char*>(buffer) + done, chunk, &got, nullptr) ||
            got == 0)
            break;
        done += got;
    }
    return done;
}

size_t File::Write(const void* buffer, size_t bytes) {
    size_t done = 0;
    while (handle_ != -1 && done < bytes) {
        DWORD chunk = static_cast<DWORD>(bytes - done > 0x40000000 ? 0x40000000 : bytes - done);
        DWORD put = 0;
        if (!WriteFile(AsHandle(handle_), static_cast<const char*>(buffer) + done, chunk, &put,
                       nullptr) ||
            put == 0)
            break;
        done += put;
    }
    return done;
}

bool File::Seek(uint64_t offset) {
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(offset);
    return handle_ != -1 && offset <= static_cast<uint64_t>(INT64_MAX) &&
           SetFilePointerEx(AsHandle(handle_), li, nullptr, FILE_BEGIN);
}

bool File::Size(uint64_t* size) const {
    LARGE_INTEGER li;
    if (handle_ == -1 || !GetFileSizeEx(AsHandle(handle_), &li))
        return false;
    *size = static_cast<uint64_t>(li.QuadPart);
    return true;
}

bool File::LastWriteTime(FileTime* time) const {
    FILETIME ft;
    if (handle_ == -1 || !GetFileTime(AsHandle(handle_), nullptr, nullptr, &ft))
        return false;
    *time = FromFiletime(ft);
    return true;
}

bool File::SetLastWriteTime(FileTime time) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(time);
    ft.dwHighDateTime = static_cast<DWORD>(time >> 32);
    return handle_ != -1 && SetFileTime(AsHandle(handle_), nullptr, nullptr, &ft);
}

bool File::SetEnd() { return handle_ != -1 && SetEndOfFile(AsHandle(handle_)); }

bool File::Flush() { return handle_ != -1 && FlushFileBuffers(AsHandle(handle_)); }

MappedView::~MappedView() { Close(); }

bool MappedView::Open(const std::wstring& path) {
    Close();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    FILETIME ft;
    if (!GetFileSizeEx(file, &size) || size.QuadPart == 0 || size.QuadPart >= (1LL << 32) ||
        !GetFileTime(file, nullptr, nullptr, &ft)) {
        CloseHandle(file);
        return false;
    }
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) {
        CloseHandle(file);
        return false;
    }
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!view) {
        CloseHandle(mapping);
        CloseHandle(file);
        return false;
    }
    data_ = static_cast<const uint8_t*>(view);
    size_ = static_cast<size_t>(size.QuadPart);
    time_ = FromFiletime(ft);
    file_ = reinterpret_cast<intptr_t>(file);
    mapping_ = reinterpret_cast<intptr_t>(mapping);
    return true;
}

void MappedView::Close() {
    if (data_)
        UnmapViewOfFile(data_);
    if (mapping_ != -1)
        CloseHandle(AsHandle(mapping_));
    if (file_ != -1)
        CloseHandle(AsHandle(file_));
    data_ = nullptr;
    size_ = 0;
    time_ = 0;
    file_ = -1;
    mapping_ = -1;
}

void* PageAlloc(size_t bytes) {
    if (bytes == 0)
        return nullptr;
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void PageFree(void* block) {
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}

std::wstring MakeTempFile() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t path[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH || !GetTempFileNameW(folder, L"tmp", 0, path))
        return std::wstring();
    return path;
}

bool FileExists(const std::wstring& path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::wstring& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool CreateFolder(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr) != 0; }

bool RemoveFolder(const std::wstring& path) { return RemoveDirectoryW(path.c_str()) != 0; }

bool DeleteFileAt(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

bool CopyOver(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

bool MoveOver(const std::wstring& from, const std::wstring& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool MoveNew(const std::wstring& from, const std::wstring& to) {
    // Neither replacing nor copying across volumes: either would show a half-made file at `to`.
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool GetLastWriteTime(const std::wstring& path, FileTime* time) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    *time = FromFiletime(data.ftLastWriteTime);
    return true;
}

bool ListFolder(const std::wstring& folder, const std::wstring& pattern,
                const std::function<bool(const FolderEntry&)>& visit) {
    std::wstring search = folder;
    if (!search.empty() && search.back() != L'\\')
        search += L'\\';
    search += pattern;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileExW(search.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        // An existing folder without a match is a successful empty search.
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
    }
    do {
        if ((fd.cFileName[0] == L'.' && fd.cFileName[1] == 0) ||
            (fd.cFileName[0] == L'.' && fd.cFileName[1] == L'.' && fd.cFileName[2] == 0))
            continue;
        FolderEntry entry;
        entry.name = fd.cFileName;
        entry.attributes = fd.dwFileAttributes;
        entry.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        entry.writeTime = FromFiletime(fd.ftLastWriteTime);
        if (!visit(entry))
            break;
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    return true;
}

bool DosDateTimeToUtc(uint16_t date, uint16_t time, FileTime* utc) {
    FILETIME local, ft;
    if (!DosDateTimeToFileTime(date, time, &local) || !LocalFileTimeToFileTime(&local, &ft))
        return false;
    *utc = FromFiletime(ft);
    return true;
}

bool UtcToDosDateTime(FileTime utc, uint16_t* date, uint16_t* time) {
    FILETIME ft, local;
    ft.dwLowDateTime = static_cast<DWORD>(utc);
    ft.dwHighDateTime = static_cast<DWORD>(utc >> 32);
    WORD d = 0, t = 0;
    if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToDosDateTime(&local, &d, &t))
        return false;
    *date = d;
    *time = t;
    return true;
}

void AnnounceFileCreated(const std::wstring& path) {
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW | SHCNF_FLUSHNOWAIT, path.c_str(), nullptr);
}

void AnnounceFolderCreated(const std::wstring& path) {
    SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSHNOWAIT, path.c_str(), nullptr);
}

std::wstring AnsiToWide(const std::string& text) { return Convert(CP_ACP, text); }
std::string WideToAnsi(const std::wstring& text) { return Convert(CP_ACP, text); }
std::wstring Utf8ToWide(const std::string& text) { return Convert(CP_UTF8, text); }
std::string WideToUtf8(const std::wstring& text) { return Convert(CP_UTF8, text); }

} // namespace platform
