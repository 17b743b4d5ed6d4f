// JPEG test files made in code: libjpeg writes the picture, the marker segments around it are
// written byte by byte.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testjpeg {

enum class Kind { Colour, Grey, Cmyk, Ycck };

struct Picture {
    int width = 16;
    int height = 16;
    Kind kind = Kind::Colour;
    bool progressive = false;
    int quality = 90;
    bool jfif = true;
    uint8_t density_unit = 0;
    uint16_t x_density = 1;
    uint16_t y_density = 1;
    // Sample c of pixel (x, y), top row first; c indexes R, G, B (or C, M, Y, K, or grey).
    std::function<uint8_t(int x, int y, int c)> sample;
};

std::vector<uint8_t> Make(const Picture& picture);

// An APP1 Exif segment (marker included) whose IFD0 holds `orientation` (tag 274), or no entries
// when orientation is 0.
std::vector<uint8_t> ExifSegment(int orientation, bool little_endian = true);
// A COM segment (marker included).
std::vector<uint8_t> CommentSegment(const std::string& text);
// Inserts `segment` right after the SOI marker.
std::vector<uint8_t> InsertAfterSoi(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& segment);
// Offset of the first byte after the SOS segment header (the entropy-coded data).
size_t ScanDataOffset(const std::vector<uint8_t>& jpeg);

} // namespace testjpeg
