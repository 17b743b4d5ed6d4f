// GIF: the first image of an 87a or 89a file, placed on its logical screen as an 8-bit picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/decoded_image.h"
#include "image/load.h"

namespace image {

struct GifContext {
    DecodeSource src;
    // Set by the caller before decoding (the display gamma is not used).
    BackgroundOptions options;

    uint16_t screen_width = 0;
    uint16_t screen_height = 0;
    uint32_t colour_bits = 0; // of the largest colour table met, 1..8
    uint8_t background_index = 0;
    bool has_global = false;
    bool has_local = false;
    uint8_t global_table[768] = {}; // red, green, blue triples, zero beyond the file's entries
    uint8_t local_table[768] = {};
    uint16_t frame_left = 0;
    uint16_t frame_top = 0;
    uint16_t frame_width = 0;
    uint16_t frame_height = 0;

    // Facts left for the thumbnail engine.
    bool interlaced = false;   // of the first image
    bool transparent = false;  // a graphic control extension with the transparency bit came first
    uint8_t transparent_index = 0;
    bool comment = false;      // a comment extension was met
};

// Both clear the per-picture state and facts first.
bool GifDecodeFromMemory(GifContext& ctx, const uint8_t* data, size_t length, DecodedImage& out);
bool GifDecodeFromFile(GifContext& ctx, const std::wstring& path, DecodedImage& out);

// Registry entry of the format (see load.h): options from the request; facts interlaced,
// transparent and comments.
bool GifLoad(const DecodeInput& in, const DecodeRequest& request, DecodedImage& out, LoadReport& report);

} // namespace image
