// Windows bitmap reader (uncompressed bottom-up 1, 4, 8, 16, 24 and 32 bits, bit-field masks) and
// writer (8 and 24 bits).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/decoded_image.h"
#include "image/load.h"

namespace image {

struct BmpContext {
    DecodeSource src;
    BitmapInfoHeader header{}; // the file's info header as read (its first 40 bytes)
};

bool BmpDecodeFromMemory(BmpContext& ctx, const uint8_t* data, size_t length, DecodedImage& out);
bool BmpDecodeFromFile(BmpContext& ctx, const std::wstring& path, DecodedImage& out);

// Registry entry of the format (see load.h).
bool BmpLoad(const DecodeInput& in, const DecodeRequest& request, DecodedImage& out, LoadReport& report);

struct BmpWriter {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bit_count = 24; // 24, or 8 with a colour table
    int32_t x_pels_per_meter = 0;
    int32_t y_pels_per_meter = 0;
    uint32_t status = status::kOk;
};

// Fills a writer from a picture's header.
BmpWriter BmpWriterFor(const DecodedImage& img);

// Writes a bottom-up block (stride x height bytes) as a bitmap file. `table` (256 entries) is needed
// for 8-bit pictures. Fails with 50001 when there are no pixels or the size does not fit in 32 bits,
// with 50005 when the file cannot be created or written; a partly written file is removed.
bool WriteBmp(BmpWriter& writer, const std::wstring& path, const RgbQuad* table, const uint8_t* pixels);

} // namespace image
