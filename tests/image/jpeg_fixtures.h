// JPEG test files made in code: libjpeg writes the picture, the marker segments around it are
// written byte by byte.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testjpeg {

enum class Kind { Colour, Grey, Cmyk, Ycck };

// One scan of a progressive script: components by index, spectral range, successive approximation.
struct Scan {
    std::vector<int> components;
    int ss = 0, se = 0, ah = 0, al = 0;
};

struct Picture {
    int width = 16;
    int height = 16;
    Kind kind = Kind::Colour;
    bool progressive = false;
    std::vector<Scan> scans; // a progressive script of our own instead of the library's
    bool arithmetic = false;
    int quality = 90;
    bool jfif = true;
    uint8_t density_unit = 0;
    uint16_t x_density = 1;
    uint16_t y_density = 1;
    // Sample c of pixel (x, y), top row first; c indexes R, G, B (or C, M, Y, K, or grey).
    std::function<uint8_t(int x, int y, int c)> sample;
};

std::vector<uint8_t> Make(const Picture& picture);

// Progressive scripts for a three-component picture, each complete:
// DC of all three at full precision, then every component's AC in one scan each;
std::vector<Scan> DcFirstScript();
// luminance DC alone first, then chroma DC, then the AC scans;
std::vector<Scan> LumaFirstScript();
// DC of all three with one bit held back, chroma AC, the DC refinement, then luminance AC.
std::vector<Scan> DcRefinedLaterScript();

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
