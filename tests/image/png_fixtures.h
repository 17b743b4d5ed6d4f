// PNG test files made in code: chunks written byte by byte with zlib's CRC, image data filtered here
// and compressed with zlib's compress.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testpng {

using Bytes = std::vector<uint8_t>;

// One chunk: length, type, data, CRC (spoiled when `good_crc` is false).
Bytes Chunk(const std::string& type, const Bytes& data, bool good_crc = true);
Bytes Ihdr(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour_type, uint8_t interlace = 0,
           uint8_t compression = 0, uint8_t filter = 0);
// Signature followed by the chunks in order.
Bytes File(const std::vector<Bytes>& chunks);
Bytes Zlib(const Bytes& raw);

struct Picture {
    uint32_t width = 4;
    uint32_t height = 4;
    uint8_t depth = 8;
    uint8_t colour_type = 2;
    bool interlace = false;
    // Sample c of pixel (x, y), top row first, at the picture's depth.
    std::function<uint16_t(uint32_t x, uint32_t y, uint32_t c)> sample;
    // Filter type of the n-th scanline written (in stream order, passes included); bytes above 4 are
    // written as given with the row unfiltered.
    std::function<uint8_t(uint32_t n)> filter;
};

uint32_t Channels(uint8_t colour_type);
// The filtered scanlines of all passes, ready for compression.
Bytes Scanlines(const Picture& p);
// Signature, IHDR, `before` chunks, one IDAT, IEND.
Bytes Make(const Picture& p, const std::vector<Bytes>& before = {});

} // namespace testpng
