// JPEG files whose APP1 segment holds an Exif block made in code (IFD0 and an Exif IFD).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testexif {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7,
                   kSLong = 9, kSRational = 10;

struct Tag {
    uint16_t tag;
    uint16_t type;
    std::vector<uint32_t> values; // SHORT/LONG values, RATIONAL as numerator/denominator pairs
    Bytes bytes;                  // BYTE, ASCII and UNDEFINED values
};

Tag Ascii(uint16_t tag, const std::string& text); // with its terminating zero
Tag Rational(uint16_t tag, uint32_t numerator, uint32_t denominator, uint16_t type = kRational);

// The Exif block (TIFF header onwards). The Exif IFD pointer (34665) is added to IFD0 when `exif`
// is not empty; `next_ifd` is written after IFD0's entries.
Bytes Block(bool big_endian, const std::vector<Tag>& ifd0, const std::vector<Tag>& exif, uint32_t next_ifd = 0);
// SOI, the APP1 segment holding `block`, EOI.
Bytes Jpeg(const Bytes& block);

} // namespace testexif
