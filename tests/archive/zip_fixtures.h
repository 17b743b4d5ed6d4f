// ZIP files written byte by byte in their documented layout, for the reader's tests and fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fixtures/byte_writer.h"

namespace testzip {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kNoon = 12 << 11;                        // 12:00:00
constexpr uint16_t kJune15th2020 = (40 << 9) | (6 << 5) | 15; // 2020-06-15

struct Member {
    std::string name;
    Bytes data;
    uint16_t method = 8;        // 0 stored, 8 deflated (by zlib); others are written stored
    uint16_t flags = 0;         // 0x0800 marks a UTF-8 name
    bool descriptor = false;    // zero sizes and CRC in the local header, a data descriptor after the data
    uint32_t crcXor = 0;        // spoils the CRC in both headers
    int64_t sizeDelta = 0;      // added to the uncompressed size in both headers
    uint16_t time = kNoon;
    uint16_t date = kJune15th2020;
};

struct Zip {
    fixtures::ByteWriter bytes;
    std::vector<uint32_t> locators;   // local-header offset of each member
    std::vector<uint32_t> directory;  // offset of each member's central-directory header
    uint32_t directoryOffset = 0;
};

// Members, central directory, end record with `comment`.
Zip Make(const std::vector<Member>& members, const std::string& comment = "");

// Raw deflate (no zlib header), as ZIP stores it.
Bytes Deflate(const Bytes& data);

Bytes Text(const std::string& text);

} // namespace testzip
