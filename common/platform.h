// The thin operating-system layer of the portable core.
//
// Everything the core needs from the OS goes through here: files, read-only mapped views, page blocks,
// temporary files, existence tests, copy/delete, file times and code-page conversions. The shipping
// implementation is platform_win.cpp; platform_posix.cpp exists only so the core can be tested,
// fuzzed and measured natively.
//
// Paths are std::wstring in Windows form. The POSIX side reads '\' as '/', so core code may always
// join paths with backslashes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// 100-ns intervals since 1601-01-01 UTC, the unit of a Windows FILETIME.
using FileTime = uint64_t;

enum class OpenMode {
    ReadShared,      // existing file, read access, others may read
    ReadWrite,       // existing file, read and write, no sharing
    ReadWriteAlways, // open or create (OPEN_ALWAYS), read and write, no sharing
    CreateAlways,    // create or truncate, write access, no sharing
    CreateNew,       // create a file that must not exist yet, write access, no sharing
};

// An open file; closed by the destructor. Move-only.
class File {
  public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    bool Open(const std::wstring& path, OpenMode mode);
    bool IsOpen() const;
    void Close();

    // Return the number of bytes actually transferred (0 on failure).
    size_t Read(void* buffer, size_t bytes);
    size_t Write(const void* buffer, size_t bytes);
    // Reads exactly `bytes` or fails.
    bool ReadExact(void* buffer, size_t bytes) { return Read(buffer, bytes) == bytes; }

    bool Seek(uint64_t offset);
    bool Size(uint64_t* size) const;
    bool LastWriteTime(FileTime* time) const;
    bool SetLastWriteTime(FileTime time);
    // Cuts (or extends) the file at the current position.
    bool SetEnd();
    // Pushes written bytes through the system's cache to the disk.
    bool Flush();

  private:
    // The POSIX copy hands both descriptors to the kernel.
    friend bool CopyOver(const std::wstring& from, const std::wstring& to);
    intptr_t handle_ = -1; // HANDLE on Windows, file descriptor on POSIX
};

// A read-only view of a whole file. Empty files and files of 4 GiB or more are refused.
class MappedView {
  public:
    MappedView() = default;
    ~MappedView();
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    bool Open(const std::wstring& path);
    void Close();
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    FileTime LastWriteTime() const { return time_; }

  private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    FileTime time_ = 0;
    intptr_t file_ = -1;
    intptr_t mapping_ = -1; // file mapping handle; unused natively
};

// Page blocks: large zero-filled buffers straight from the OS page allocator
// (VirtualAlloc/VirtualFree on Windows, mmap natively). Picture pixels and member blocks live here.
void* PageAlloc(size_t bytes);
void PageFree(void* block);

// Owner of one page block.
class PageBlock {
  public:
    PageBlock() = default;
    explicit PageBlock(size_t bytes) : data_(static_cast<uint8_t*>(PageAlloc(bytes))), size_(data_ ? bytes : 0) {}
    ~PageBlock() { PageFree(data_); }
    PageBlock(const PageBlock&) = delete;
    PageBlock& operator=(const PageBlock&) = delete;
    PageBlock(PageBlock&& other) noexcept : data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    PageBlock& operator=(PageBlock&& other) noexcept;

    uint8_t* Get() const { return data_; }
    size_t Size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }
    // Hands the block to the caller, who frees it with PageFree.
    uint8_t* Release();

  private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// Creates an empty file with prefix "tmp" in the user's temporary folder and returns its path,
// or an empty string. The caller deletes it.
std::wstring MakeTempFile();

bool FileExists(const std::wstring& path);   // exists and is not a folder
bool FolderExists(const std::wstring& path); // exists and is a folder
bool PathExists(const std::wstring& path);
bool CreateFolder(const std::wstring& path);
bool RemoveFolder(const std::wstring& path); // empty folders only
bool DeleteFileAt(const std::wstring& path);
// Copies `from` over `to`, replacing it; `to` takes the last-write time of `from`.
bool CopyOver(const std::wstring& from, const std::wstring& to);
// Renames `from` to `to` in one step, replacing `to`, and returns once the change is on disk. Both
// lie in the same folder; at every moment `to` is either the old file or the complete new one.
bool MoveOver(const std::wstring& from, const std::wstring& to);
// Renames `from` to `to` in one step when `to` does not exist and both lie on one volume; false
// otherwise (nothing changes), so the caller can copy instead.
bool MoveNew(const std::wstring& from, const std::wstring& to);
bool GetLastWriteTime(const std::wstring& path, FileTime* time);
// A DOS date and time (archive members) read as local time and converted to UTC with the current
// time-zone rules. False for a date or time no calendar has (month 0, minute 60 ...).
bool DosDateTimeToUtc(uint16_t date, uint16_t time, FileTime* utc);
// The reverse, for writing archives: `utc` in local time as a DOS date and time (two-second steps,
// rounded down). False outside the years 1980 to 2107, which the DOS format cannot hold.
bool UtcToDosDateTime(FileTime utc, uint16_t* date, uint16_t* time);

// Tell the shell (Explorer windows, the desktop) that a file or a folder was created; it does not
// wait for them to catch up. Nothing natively.
void AnnounceFileCreated(const std::wstring& path);
void AnnounceFolderCreated(const std::wstring& path);

// File attribute bits, with the values of the Windows FILE_ATTRIBUTE_* flags.
namespace attr {
constexpr uint32_t kReadOnly = 0x1;
constexpr uint32_t kHidden = 0x2;
constexpr uint32_t kSystem = 0x4;
constexpr uint32_t kDirectory = 0x10;
constexpr uint32_t kArchive = 0x20;
} // namespace attr

struct FolderEntry {
    std::wstring name;     // last path component
    uint32_t attributes;   // attr:: bits; natively, names starting with '.' count as hidden
    uint64_t size;         // bytes
    FileTime writeTime;
};

// Calls `visit` for each entry of `folder` matching `pattern` ("*" or "*.*" for all, or "*" followed by
// a suffix such as "*.jpg", compared case-insensitively), never for "." and "..". Windows matches the
// pattern with FindFirstFileW, which also tests short 8.3 names, so callers check long names
// themselves. `visit` returns false to stop. Returns false when the folder cannot be searched.
bool ListFolder(const std::wstring& folder, const std::wstring& pattern,
                const std::function<bool(const FolderEntry&)>& visit);

// Code-page conversions. "ANSI" is the system's ANSI code page on Windows and Windows-1252 natively.
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

} // namespace platform
