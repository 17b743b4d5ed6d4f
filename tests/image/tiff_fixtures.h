// TIFF test files made in code, in either byte order: header, strips, IFD, then the values that do
// not fit in their entries.
#pragma once

#include <cstdint>
#include <vector>

namespace testtiff {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5;

struct Tag {
    uint16_t tag;
    uint16_t type;
    std::vector<uint32_t> values; // SHORT/LONG values, RATIONAL as numerator/denominator pairs,
                                  // BYTE and ASCII one byte each
};

struct File {
    bool big_endian = false;
    std::vector<Tag> tags;     // written in this order
    std::vector<Bytes> strips; // tags 273 and 279 (LONG) are added unless `tags` has them
    bool add_strip_tags = true;
    bool strips_reversed = false; // store the strips in reverse file order
};

Bytes Make(const File& f);

// Tags of a baseline picture: width, height, bits per sample, compression 1, photometric.
std::vector<Tag> Baseline(uint32_t width, uint32_t height, std::vector<uint32_t> bits, uint32_t photometric);

} // namespace testtiff
