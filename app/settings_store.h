// The keyed binary store behind Quorle.ini: a directory of numbered slots, each empty, an inline
// 32-bit value or a reference to a byte block later in the file. The file layout and the damage the
// reader tolerates are described at the top of settings_store.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/platform.h"

namespace settings {

// Keys 0..171; a file with more directory entries is read as if it had this many.
constexpr int kKeyCount = 172;
// Written into every file; older files below kLegacyMouseVersion keep their mouse codes in keys 32..35.
constexpr uint16_t kFormatVersion = 3560;
constexpr uint16_t kLegacyMouseVersion = 3480;
// Header (count, version) plus the full directory: where the first block of a written file starts.
constexpr uint32_t kWrittenHeaderSize = 4 + 8 * kKeyCount;

// Directory entry. first: 0 no value, 1 inline (second is the value), 2 or more block offset
// (second is its length).
struct DirEntry {
    uint32_t first = 0;
    uint32_t second = 0;
};

class SettingsReader {
  public:
    SettingsReader() = default;
    SettingsReader(const SettingsReader&) = delete;
    SettingsReader& operator=(const SettingsReader&) = delete;

    // False when the file is missing or damaged beyond use; every read then gives its default.
    bool Open(const std::wstring& path);
    void Close();

    bool Loaded() const { return loaded_; }
    // Directory entries in use, after the cap at kKeyCount.
    int EntryCount() const { return count_; }
    // Format version from the header, 0 when not even the header could be read.
    uint16_t FormatVersion() const { return version_; }

    // The inline value of `key`, or `fallback` when the key is absent or not inline.
    uint32_t ReadInline(int key, uint32_t fallback) const;
    // Empties `out`, then fills it from the key's block. Returns 0 when not loaded or the key lies
    // beyond the entry count, else 1 (even when the entry was empty or its block unreadable).
    int ReadString(int key, std::wstring& out) const;
    // 0 for a missing or invalid entry. The block length without reading when `buffer` is null or
    // `capacity` is too small; otherwise the length after reading, or 0 when the read failed.
    uint32_t ReadBlock(int key, void* buffer, size_t capacity) const;
    // The block split at zero units; a last string without a terminator counts as it is.
    std::vector<std::wstring> ReadStringList(int key) const;

  private:
    // The entry of `key` when it refers to a block this file can hold.
    bool BlockEntry(int key, DirEntry* entry) const;
    bool ReadAt(uint32_t offset, void* buffer, uint32_t length) const;

    // Reads move the file position; the store's contents do not change.
    mutable platform::File file_;
    std::vector<DirEntry> directory_;
    int count_ = 0;
    uint16_t version_ = 0;
    bool loaded_ = false;
    uint64_t areaSize_ = 0; // bytes after the directory
};

// The file operations of a rewrite: the temporary file is made, written, flushed and closed, then moved
// over the settings file. The default works on the disk; a test can fail any one step.
class SettingsFiles {
  public:
    virtual ~SettingsFiles() = default;
    // Creates (or empties) `path` and keeps it open for writing.
    virtual bool Create(const std::wstring& path) = 0;
    // All `length` bytes at the end of the open file, or false.
    virtual bool Write(const void* bytes, size_t length) = 0;
    virtual bool Flush() = 0;
    virtual void Close() = 0;
    virtual bool MoveOver(const std::wstring& from, const std::wstring& to) = 0;
    virtual bool Delete(const std::wstring& path) = 0;
};

// The operations on the real disk, through common/platform.
std::unique_ptr<SettingsFiles> MakeDiskFiles();

// The temporary file a rewrite of `path` writes first: beside it, so the final move stays on one volume.
std::wstring SettingsTempPath(const std::wstring& path);
// Deletes the temporary file a rewrite that was cut off (power loss, a killed process) left behind.
void RemoveLeftoverTemp(const std::wstring& path);

// Rewrites a settings file. Keys written here replace their old values; every other key of the old
// file keeps its inline value or has its block carried to the end by Finish. The new file is put
// together beside the old one and replaces it in one step, so whatever fails on the way leaves the old
// file as it was. If the old file or the temporary file cannot be opened, every call does nothing and
// this run's settings are lost.
class SettingsWriter {
  public:
    SettingsWriter() : ownFiles_(MakeDiskFiles()), files_(*ownFiles_) {}
    explicit SettingsWriter(SettingsFiles& files) : files_(files) {}
    ~SettingsWriter();
    SettingsWriter(const SettingsWriter&) = delete;
    SettingsWriter& operator=(const SettingsWriter&) = delete;

    bool Open(const std::wstring& path);
    bool IsOpen() const { return open_; }

    void WriteInline(int key, uint32_t value);
    // Empty strings, lists and blocks are stored as "no value".
    void WriteString(int key, const std::wstring& text);
    void WriteBlock(int key, const void* bytes, size_t length);
    void WriteStringList(int key, const std::vector<std::wstring>& list);
    // Carries the old blocks over, writes the new file and puts it in place of the old one. Returns
    // false when the writer was not open or the file could not be replaced (the old one then stays
    // byte for byte). Called by the destructor if needed.
    bool Finish();

  private:
    bool ValidKey(int key) const { return open_ && key >= 0 && key < kKeyCount; }
    // Reads the directory and value-block area of the file being replaced, when there is one.
    bool ReadOld(const std::wstring& path);
    // Appends a block at the cursor and returns its directory entry ({0, 0} when nothing was stored).
    DirEntry AppendBlock(const uint8_t* bytes, size_t length);
    // Writes the new file into the open temporary file and moves it over the settings file.
    bool Commit();
    void Reset();

    std::unique_ptr<SettingsFiles> ownFiles_;
    SettingsFiles& files_;
    bool open_ = false;
    std::wstring path_;
    std::array<DirEntry, kKeyCount> oldDirectory_{};
    std::array<DirEntry, kKeyCount> directory_{};
    std::unique_ptr<uint8_t[]> oldArea_;
    uint64_t oldAreaSize_ = 0;
    uint64_t oldHeaderSize_ = 0;
    // The new value blocks, in file order, starting at kWrittenHeaderSize; each written on its own.
    std::vector<uint8_t> blocks_;
    std::vector<size_t> blockStarts_;
    uint64_t cursor_ = kWrittenHeaderSize;
};

} // namespace settings
