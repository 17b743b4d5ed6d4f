// TIFF: baseline, uncompressed, stripped files of either byte order, first IFD only; bi-level,
// grey, palette and RGB pixels. Everything else is refused so the image plug-ins get a chance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/decoded_image.h"
#include "image/load.h"

namespace image {

struct TiffContext {
    DecodeSource src;

    bool big_endian = false;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bits_per_sample = 1;
    uint32_t bits_count = 0; // count of tag 258
    uint32_t compression = 1;
    uint32_t photometric = 4; // not a value we accept: the tag is required
    uint32_t strip_count = 0; // entries of the strip offset and byte count arrays
    uint32_t x_resolution_at = 0; // offsets of the rationals
    uint32_t y_resolution_at = 0;
    uint32_t resolution_unit = 2;
    uint32_t colour_map_at = 0;
    uint16_t out_bits = 0;
    uint32_t out_stride = 0;

    // Fact left for the thumbnail engine.
    bool description = false; // tag 270 present
};

// Both clear the fields above first.
bool TiffDecodeFromMemory(TiffContext& ctx, const uint8_t* data, size_t length, DecodedImage& out);
bool TiffDecodeFromFile(TiffContext& ctx, const std::wstring& path, DecodedImage& out);

// Registry entry of the format (see load.h): fact description.
bool TiffLoad(const DecodeInput& in, const DecodeRequest& request, DecodedImage& out, LoadReport& report);

} // namespace image
