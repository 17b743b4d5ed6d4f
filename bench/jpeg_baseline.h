// What the JPEG benchmarks share: the photographs they decode, made in memory, and their yardstick,
// the library alone decoding at 1/8 scale, RGB rows into one buffer, as its own tools do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace bench {

constexpr int kPhotoWidth = 4000;
constexpr int kPhotoHeight = 3000;

// A camera-like JPEG, by default 12 megapixels (4000 x 3000, 2 x 2 chroma subsampling, quality 90): gradients,
// texture, hard-edged blocks and grain, different for each seed, so the entropy decoder has the kind
// of work a camera file gives it.
// `progressive` writes it with the library's default progressive script, as most savers do.
inline std::vector<uint8_t> MakePhotoJpeg(uint32_t seed, int width = kPhotoWidth, int height = kPhotoHeight,
                                          bool progressive = false) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    const int shift = static_cast<int>(seed % 97);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = static_cast<int>((seed >> 24) & 31) - 16;
            const bool block = ((x / 350) + (y / 280) + shift) % 5 == 0;
            int r = y < height / 2 ? 90 + y / 20 : 120 + ((x * 7 + y * 3 + shift) % 97);
            int g = y < height / 2 ? 140 + y / 25 : 100 + ((x * 3) % 71);
            int b = y < height / 2 ? 230 - y / 30 : 60 + ((y * 5 + shift) % 53);
            if (block) {
                r = 230;
                g = 40 + (x % 16);
                b = 30;
            }
            const int v[3] = {r + grain, g + grain, b + grain};
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = static_cast<uint8_t>(v[c] < 0 ? 0 : (v[c] > 255 ? 255 : v[c]));
        }
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}


inline void DecodeEighthWithLibrary(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    jpeg_start_decompress(&cinfo);
    const size_t stride = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    out.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

} // namespace bench
