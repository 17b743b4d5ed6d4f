// Builds settings files byte by byte: a header, a directory of empty entries, then blocks appended one
// after another with their directory entries patched to point at them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fixtures/byte_writer.h"

namespace settings_fixture {

class SettingsFile {
  public:
    explicit SettingsFile(uint16_t count = 172, uint16_t version = 3560) {
        bytes.U16LE(count).U16LE(version); // entry count, format version
        bytes.Fill(8 * size_t(count));      // every entry {0, 0}: no value
    }

    // {1, value}
    SettingsFile& Inline(int key, uint32_t value) { return Entry(key, 1, value); }
    // {offset, length} of bytes appended at the end
    SettingsFile& Block(int key, const std::vector<uint8_t>& data) {
        uint32_t offset = static_cast<uint32_t>(bytes.Size());
        bytes.Bytes(data);
        return Entry(key, offset, static_cast<uint32_t>(data.size()));
    }
    // UTF-16LE units, no terminator
    SettingsFile& String(int key, const std::wstring& text) {
        uint32_t offset = static_cast<uint32_t>(bytes.Size());
        bytes.Utf16LE(text);
        return Entry(key, offset, static_cast<uint32_t>(bytes.Size() - offset));
    }
    // A raw entry, for references that point where no block is.
    SettingsFile& Entry(int key, uint32_t first, uint32_t second) {
        bytes.PatchU32LE(4 + 8 * size_t(key), first);
        bytes.PatchU32LE(8 + 8 * size_t(key), second);
        return *this;
    }

    bool SaveTo(const std::wstring& path) const { return bytes.SaveTo(path); }

    fixtures::ByteWriter bytes;
};

inline uint32_t Le32At(const std::vector<uint8_t>& b, size_t off) {
    return uint32_t(b.at(off)) | uint32_t(b.at(off + 1)) << 8 | uint32_t(b.at(off + 2)) << 16 |
           uint32_t(b.at(off + 3)) << 24;
}

// Directory entry of `key` in a file read back whole.
inline uint32_t EntryFirst(const std::vector<uint8_t>& file, int key) { return Le32At(file, 4 + 8 * size_t(key)); }
inline uint32_t EntrySecond(const std::vector<uint8_t>& file, int key) { return Le32At(file, 8 + 8 * size_t(key)); }

} // namespace settings_fixture
