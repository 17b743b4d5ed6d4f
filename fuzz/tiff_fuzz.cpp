// TIFF fuzzer. An input that starts with "II" or "MM" is taken as a file; anything else patches one
// of a few valid TIFFs made at start-up (both byte orders; 1-bit white-is-zero, 4-bit palette, 8-bit
// RGB in three strips, 16-bit RGB with resolution): byte 0 picks the file, byte 1 the offset, the
// rest is written there.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "image/tiff.h"

namespace {

using fuzz::Bytes;
using fuzz::Check;

Bytes MakeTemplate(bool big, uint32_t photometric, uint32_t bits, bool rgb) {
    const uint32_t w = 7, h = 5;
    fuzz::OrderedWriter t{big, {}};
    t.v = {static_cast<uint8_t>(big ? 'M' : 'I'), static_cast<uint8_t>(big ? 'M' : 'I')};
    t.U16(42);
    t.U32(8);
    const uint32_t row = rgb ? w * 3 * bits / 8 : (w * bits + 7) / 8;
    const uint32_t entries = 12;
    const uint32_t data_at = 8 + 2 + entries * 12 + 4;
    const uint32_t map_at = data_at;              // colour map or the bits array
    const uint32_t map_bytes = photometric == 3 ? 6u << bits : 6;
    const uint32_t res_at = map_at + map_bytes;   // two rationals
    const uint32_t strips_at = res_at + 16;       // offsets and counts arrays of 3
    const uint32_t pixels_at = strips_at + 24;
    const uint32_t total = row * h;
    t.U16(entries);
    t.Entry(256, 3, 1, w);
    t.Entry(257, 4, 1, h);
    if (rgb)
        t.Entry(258, 3, 3, map_at);
    else
        t.Entry(258, 3, 1, bits);
    t.Entry(259, 3, 1, 1);
    t.Entry(262, 3, 1, photometric);
    t.Entry(270, 2, 4, 0x00616263);
    t.Entry(273, 4, 3, strips_at);
    t.Entry(279, 4, 3, strips_at + 12);
    t.Entry(282, 5, 1, res_at);
    t.Entry(283, 5, 1, res_at + 8);
    t.Entry(296, 3, 1, 3);
    t.Entry(photometric == 3 ? 320 : 277, 3, photometric == 3 ? 3u << bits : 1, photometric == 3 ? map_at : (rgb ? 3 : 1));
    t.U32(0);
    if (photometric == 3) {
        for (uint32_t i = 0; i < (3u << bits); ++i)
            t.U16(i * 4099);
    } else {
        for (int i = 0; i < 3; ++i)
            t.U16(bits);
    }
    t.U32(300);
    t.U32(1);
    t.U32(150);
    t.U32(1);
    // Three strips stored in reverse order.
    const uint32_t a = total / 3, b = total / 3;
    const uint32_t c = total - a - b;
    t.U32(pixels_at + b + c);
    t.U32(pixels_at + c);
    t.U32(pixels_at);
    t.U32(a);
    t.U32(b);
    t.U32(c);
    Bytes pixels(total);
    for (uint32_t i = 0; i < total; ++i)
        pixels[i] = static_cast<uint8_t>(i * 29);
    t.v.insert(t.v.end(), pixels.begin() + a + b, pixels.end());
    t.v.insert(t.v.end(), pixels.begin() + a, pixels.begin() + a + b);
    t.v.insert(t.v.end(), pixels.begin(), pixels.begin() + a);
    return t.v;
}

const std::vector<Bytes>& Templates() {
    static const std::vector<Bytes> all = {
        MakeTemplate(false, 0, 1, false), MakeTemplate(true, 3, 4, false), MakeTemplate(false, 2, 8, true),
        MakeTemplate(true, 2, 16, true), MakeTemplate(true, 1, 8, false),
    };
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes input;
    if (size >= 2 && ((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'))) {
        input.assign(data, data + size);
    } else {
        input = fuzz::PatchTemplate(Templates(), data, size, size);
    }
    image::TiffContext ctx;
    ctx.src.limits.max_pixels = 4u << 20;
    image::DecodedImage img;
    if (image::TiffDecodeFromMemory(ctx, input.data(), input.size(), img)) {
        const image::BitmapInfoHeader& h = img.info.header;
        Check(img.pixels != nullptr && (h.bit_count == 8 || h.bit_count == 24));
        Check(static_cast<uint32_t>(h.width) == ctx.width && static_cast<uint32_t>(h.height) == ctx.height);
        Check(h.x_pels_per_meter >= 0 && h.y_pels_per_meter >= 0);
    } else {
        Check(img.pixels == nullptr);
        Check(ctx.src.status != image::status::kOk);
    }
    return 0;
}
