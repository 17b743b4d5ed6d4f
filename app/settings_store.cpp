// Quorle.ini layout (binary despite the name; all integers little-endian):
//
//   offset          size        field
//   0               2           entry count; written as 172
//   2               2           format version; written as 3560
//   4               8 * count   directory: entry k describes key k as {first u32, second u32}
//   4 + 8 * count   rest        value blocks, packed one after another
//
//   first == 0   no value, the key takes its default
//   first == 1   inline: second is the 32-bit value (flags use bit 0)
//   first >= 2   block: first is the absolute file offset, second the length in bytes
//
// Strings are UTF-16LE units without a terminator, string lists are strings each followed by a zero
// unit, byte blocks are raw. An empty value is always written as "no value".
//
// What the reader tolerates, and what it gives:
//   - missing file, fewer than 4 bytes, a directory cut short, size 0 or >= 4 GiB: not loaded, so
//     every key takes its default;
//   - an entry count above 172: only the first 172 entries are read;
//   - a block longer than the value-block area, or one that cannot be read in full (it starts or ends
//     past the end of the file): that key alone takes its default.
// Block offsets are not checked against the directory: a block may overlap it or another block.
//
// The writer reads the old directory (first 172 entries) and the old value-block area into memory and
// closes the old file. It collects the keys this version owns, then, in Finish, appends every old
// block that lies wholly inside the old value-block area and still belongs to a key that was not
// rewritten. Old inline entries of such keys stay as they were. An old entry whose block cannot be
// carried is dropped rather than left pointing into the new file's blocks.
//
// The new file is written whole to "<name>.tmp" beside the old one, flushed, and moved over it in one
// step. A crash, a full disk or a log-off at any point leaves either the old file or the complete new
// one; a leftover temporary file is never read and is removed at the next start.
#include "app/settings_store.h"

#include <algorithm>
#include <new>

#include "common/utf16.h"

namespace settings {

namespace {

constexpr uint64_t kFourGiB = uint64_t(1) << 32;

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void ParseDirectory(const uint8_t* raw, size_t entries, DirEntry* out) {
    for (size_t i = 0; i < entries; ++i) {
        out[i].first = Le32(raw + 8 * i);
        out[i].second = Le32(raw + 8 * i + 4);
    }
}

// The header of a written file: count, version and all kKeyCount entries.
void EncodeHeader(const DirEntry* directory, uint8_t* out) {
    PutLe16(out, kKeyCount);
    PutLe16(out + 2, kFormatVersion);
    for (int k = 0; k < kKeyCount; ++k) {
        PutLe32(out + 4 + 8 * k, directory[k].first);
        PutLe32(out + 8 + 8 * k, directory[k].second);
    }
}

// File size, or 0 when it cannot be queried or does not fit the 32-bit offsets of the format.
uint64_t UsableSize(const platform::File& file) {
    uint64_t size = 0;
    if (!file.Size(&size) || size >= kFourGiB)
        return 0;
    return size;
}

} // namespace

bool SettingsReader::Open(const std::wstring& path) {
    Close();
    if (!file_.Open(path, platform::OpenMode::ReadShared))
        return false;
    uint8_t header[4];
    if (!file_.ReadExact(header, sizeof header)) {
        Close();
        return false;
    }
    version_ = Le16(header + 2);
    int count = std::min<int>(Le16(header), kKeyCount);
    std::vector<uint8_t> raw(8 * size_t(count));
    if (count > 0 && !file_.ReadExact(raw.data(), raw.size())) {
        file_.Close();
        return false;
    }
    uint64_t size = UsableSize(file_);
    uint64_t headerSize = 4 + 8 * uint64_t(count);
    if (size == 0) {
        file_.Close();
        return false;
    }
    directory_.resize(size_t(count));
    ParseDirectory(raw.data(), directory_.size(), directory_.data());
    count_ = count;
    areaSize_ = size > headerSize ? size - headerSize : 0;
    loaded_ = true;
    return true;
}

void SettingsReader::Close() {
    file_.Close();
    directory_.clear();
    count_ = 0;
    version_ = 0;
    loaded_ = false;
    areaSize_ = 0;
}

uint32_t SettingsReader::ReadInline(int key, uint32_t fallback) const {
    if (!loaded_ || key < 0 || key >= count_ || directory_[size_t(key)].first != 1)
        return fallback;
    return directory_[size_t(key)].second;
}

bool SettingsReader::BlockEntry(int key, DirEntry* entry) const {
    if (!loaded_ || key < 0 || key >= count_)
        return false;
    const DirEntry& e = directory_[size_t(key)];
    if (e.first < 2 || e.second > areaSize_)
        return false;
    *entry = e;
    return true;
}

bool SettingsReader::ReadAt(uint32_t offset, void* buffer, uint32_t length) const {
    return file_.Seek(offset) && file_.ReadExact(buffer, length);
}

int SettingsReader::ReadString(int key, std::wstring& out) const {
    out.clear();
    if (!loaded_ || key < 0 || key >= count_)
        return 0;
    DirEntry e;
    if (!BlockEntry(key, &e) || e.second < 2)
        return 1;
    std::vector<uint8_t> bytes(e.second);
    if (ReadAt(e.first, bytes.data(), e.second))
        out = utf16::FromLE(bytes.data(), bytes.size() / 2);
    return 1;
}

uint32_t SettingsReader::ReadBlock(int key, void* buffer, size_t capacity) const {
    DirEntry e;
    if (!BlockEntry(key, &e) || e.second == 0)
        return 0;
    if (!buffer || capacity < e.second)
        return e.second;
    return ReadAt(e.first, buffer, e.second) ? e.second : 0;
}

std::vector<std::wstring> SettingsReader::ReadStringList(int key) const {
    std::vector<std::wstring> list;
    DirEntry e;
    if (!BlockEntry(key, &e) || e.second < 2)
        return list;
    std::vector<uint8_t> bytes(e.second);
    if (!ReadAt(e.first, bytes.data(), e.second))
        return list;
    size_t units = bytes.size() / 2;
    size_t start = 0;
    for (size_t i = 0; i < units; ++i) {
        if (bytes[2 * i] == 0 && bytes[2 * i + 1] == 0) {
            list.push_back(utf16::FromLE(bytes.data() + 2 * start, i - start));
            start = i + 1;
        }
    }
    if (start < units)
        list.push_back(utf16::FromLE(bytes.data() + 2 * start, units - start));
    return list;
}

namespace {

class Disk : public SettingsFiles {
  public:
    bool Create(const std::wstring& path) override {
        return file_.Open(path, platform::OpenMode::CreateAlways);
    }
    bool Write(const void* bytes, size_t length) override { return file_.Write(bytes, length) == length; }
    bool Flush() override { return file_.Flush(); }
    void Close() override { file_.Close(); }
    bool MoveOver(const std::wstring& from, const std::wstring& to) override { return platform::MoveOver(from, to); }
    bool Delete(const std::wstring& path) override { return platform::DeleteFileAt(path); }

  private:
    platform::File file_;
};

} // namespace

std::unique_ptr<SettingsFiles> MakeDiskFiles() { return std::make_unique<Disk>(); }

std::wstring SettingsTempPath(const std::wstring& path) { return path + L".tmp"; }

void RemoveLeftoverTemp(const std::wstring& path) {
    const std::wstring temp = SettingsTempPath(path);
    if (platform::FileExists(temp))
        platform::DeleteFileAt(temp);
}

SettingsWriter::~SettingsWriter() {
    if (open_)
        Finish();
}

void SettingsWriter::Reset() {
    open_ = false;
    oldDirectory_ = {};
    directory_ = {};
    oldArea_.reset();
    oldAreaSize_ = 0;
    oldHeaderSize_ = 0;
    blocks_.clear();
    blockStarts_.clear();
    cursor_ = kWrittenHeaderSize;
}

bool SettingsWriter::ReadOld(const std::wstring& path) {
    if (!platform::FileExists(path))
        return true;
    platform::File file;
    // Not shared: a file another program holds open is left alone.
    if (!file.Open(path, platform::OpenMode::ReadWrite))
        return false;
    uint8_t header[4];
    if (!file.ReadExact(header, sizeof header))
        return true;
    uint16_t oldCount = Le16(header);
    size_t kept = std::min<size_t>(oldCount, kKeyCount);
    std::vector<uint8_t> raw(8 * kept);
    if (kept > 0 && !file.ReadExact(raw.data(), raw.size()))
        return true;
    ParseDirectory(raw.data(), kept, oldDirectory_.data());
    for (DirEntry& e : oldDirectory_)
        if (e.first == 0)
            e.second = 0;
    // The old area starts after the whole old directory, including entries beyond the cap.
    oldHeaderSize_ = 4 + 8 * uint64_t(oldCount);
    uint64_t size = UsableSize(file);
    if (size > oldHeaderSize_) {
        uint64_t areaSize = size - oldHeaderSize_;
        std::unique_ptr<uint8_t[]> area(new (std::nothrow) uint8_t[size_t(areaSize)]);
        if (area && file.Seek(oldHeaderSize_) && file.ReadExact(area.get(), size_t(areaSize))) {
            oldArea_ = std::move(area);
            oldAreaSize_ = areaSize;
        }
    }
    return true;
}

bool SettingsWriter::Open(const std::wstring& path) {
    if (open_)
        Finish();
    Reset();
    if (!ReadOld(path)) {
        Reset();
        return false;
    }
    directory_ = oldDirectory_;
    if (!files_.Create(SettingsTempPath(path))) {
        Reset();
        return false;
    }
    path_ = path;
    open_ = true;
    return true;
}

DirEntry SettingsWriter::AppendBlock(const uint8_t* bytes, size_t length) {
    if (length == 0 || length >= kFourGiB || cursor_ + length >= kFourGiB)
        return {};
    blockStarts_.push_back(blocks_.size());
    blocks_.insert(blocks_.end(), bytes, bytes + length);
    DirEntry entry{static_cast<uint32_t>(cursor_), static_cast<uint32_t>(length)};
    cursor_ += length;
    return entry;
}

void SettingsWriter::WriteInline(int key, uint32_t value) {
    if (!ValidKey(key))
        return;
    directory_[size_t(key)] = {1, value};
    oldDirectory_[size_t(key)] = {};
}

void SettingsWriter::WriteBlock(int key, const void* bytes, size_t length) {
    if (!ValidKey(key))
        return;
    directory_[size_t(key)] = bytes ? AppendBlock(static_cast<const uint8_t*>(bytes), length) : DirEntry{};
    oldDirectory_[size_t(key)] = {};
}

void SettingsWriter::WriteString(int key, const std::wstring& text) {
    std::vector<uint8_t> bytes;
    utf16::AppendLE(bytes, text);
    WriteBlock(key, bytes.data(), bytes.size());
}

void SettingsWriter::WriteStringList(int key, const std::vector<std::wstring>& list) {
    std::vector<uint8_t> bytes;
    for (const std::wstring& s : list) {
        utf16::AppendLE(bytes, s);
        bytes.push_back(0);
        bytes.push_back(0);
    }
    WriteBlock(key, bytes.data(), bytes.size());
}

bool SettingsWriter::Commit() {
    uint8_t head[kWrittenHeaderSize];
    EncodeHeader(directory_.data(), head);
    bool ok = files_.Write(head, sizeof head);
    for (size_t i = 0; ok && i < blockStarts_.size(); ++i) {
        const size_t from = blockStarts_[i];
        const size_t to = i + 1 < blockStarts_.size() ? blockStarts_[i + 1] : blocks_.size();
        ok = files_.Write(blocks_.data() + from, to - from);
    }
    // The data must be on the disk before the name points at it, or a crash could leave a named hole.
    ok = ok && files_.Flush();
    files_.Close();
    const std::wstring temp = SettingsTempPath(path_);
    ok = ok && files_.MoveOver(temp, path_);
    if (!ok)
        files_.Delete(temp);
    return ok;
}

bool SettingsWriter::Finish() {
    if (!open_)
        return false;
    for (int k = 0; k < kKeyCount; ++k) {
        const DirEntry& old = oldDirectory_[size_t(k)];
        if (old.first < 2)
            continue;
        bool inside = oldArea_ && old.first >= oldHeaderSize_ && old.second <= oldAreaSize_ &&
                      old.first - oldHeaderSize_ <= oldAreaSize_ - old.second;
        directory_[size_t(k)] = inside && old.second > 0
                                    ? AppendBlock(oldArea_.get() + (old.first - oldHeaderSize_), old.second)
                                    : DirEntry{};
    }
    const bool ok = Commit();
    Reset();
    return ok;
}

} // namespace settings
