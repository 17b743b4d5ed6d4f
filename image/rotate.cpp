#include <cstring>

#include "image/scale.h"

namespace image {

platform::PageBlock RotateImage(const uint8_t* src, int* width, int* height, int kind, int bits) {
    if (!src || !width || !height || *width <= 0 || *height <= 0 || kind < 1 || kind > 5 ||
        (bits != 8 && bits != 24))
        return platform::PageBlock();
    const int w = *width, h = *height;
    const bool turns = kind == 1 || kind == 3;
    const int ow = turns ? h : w, oh = turns ? w : h;
    const uint32_t ubits = static_cast<uint32_t>(bits);
    platform::PageBlock out = AllocPixelBlock(static_cast<uint32_t>(ow), static_cast<uint32_t>(oh), ubits);
    if (!out)
        return out;
    const size_t px = ubits / 8;
    const size_t ss = static_cast<size_t>(StrideFor(static_cast<uint32_t>(w), ubits));
    const size_t ds = static_cast<size_t>(StrideFor(static_cast<uint32_t>(ow), ubits));
    uint8_t* dst = out.Get();
    switch (kind) {
    case 1: // output row r is source column w-1-r, from storage row 0 upwards
    case 3: // output row r is source column r, from the top storage row downwards
        for (int r = 0; r < oh; ++r) {
            const size_t column = static_cast<size_t>(kind == 1 ? w - 1 - r : r);
            uint8_t* o = dst + r * ds;
            for (int x = 0; x < ow; ++x, o += px) {
                const int row = kind == 1 ? x : h - 1 - x;
                std::memcpy(o, src + row * ss + px * column, px);
            }
        }
        break;
    case 2:
    case 4:
        for (int y = 0; y < h; ++y) {
            const uint8_t* p = src + (kind == 2 ? h - 1 - y : y) * ss + px * static_cast<size_t>(w - 1);
            uint8_t* o = dst + y * ds;
            for (int x = 0; x < w; ++x, o += px, p -= px)
                std::memcpy(o, p, px);
        }
        break;
    case 5:
        for (int y = 0; y < h; ++y)
            std::memcpy(dst + y * ds, src + (h - 1 - y) * ss, static_cast<size_t>(w) * px);
        break;
    }
    *width = ow;
    *height = oh;
    return out;
}

} // namespace image
