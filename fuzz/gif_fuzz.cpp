// GIF fuzzer. An input that starts with "GIF" is taken as a file; anything else patches one of a few
// valid GIFs made at start-up (global and local tables, interlaced, transparent, with comment and
// application extensions, a second frame): byte 0 picks the file, byte 1 the offset, the rest is
// written there. The last byte chooses the transparency options.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "image/gif.h"

namespace {

using fuzz::Bytes;
using fuzz::Check;

void Put16(Bytes& v, uint16_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}

// Literal codes only, with a clear code often enough that the code width never grows; then the
// bytes in sub-blocks of 100.
void AddImageData(Bytes& v, const Bytes& indices, uint32_t min) {
    const uint32_t clear = 1u << min, width = min + 1, room = clear - 2;
    Bytes codes;
    uint64_t bits = 0;
    uint32_t count = 0;
    auto put = [&](uint32_t code) {
        bits |= static_cast<uint64_t>(code) << count;
        count += width;
        while (count >= 8) {
            codes.push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    };
    for (size_t i = 0; i < indices.size(); ++i) {
        if (i % room == 0)
            put(clear);
        put(indices[i] & (clear - 1));
    }
    put(clear + 1);
    if (count)
        codes.push_back(static_cast<uint8_t>(bits));
    v.push_back(static_cast<uint8_t>(min));
    for (size_t at = 0; at < codes.size(); at += 100) {
        const size_t n = std::min<size_t>(100, codes.size() - at);
        v.push_back(static_cast<uint8_t>(n));
        v.insert(v.end(), codes.begin() + static_cast<long>(at), codes.begin() + static_cast<long>(at + n));
    }
    v.push_back(0);
}

Bytes MakeTemplate(int kind) {
    const uint16_t w = 12, h = 9;
    Bytes v = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(v, w);
    Put16(v, h);
    const uint32_t bits = kind == 1 ? 2 : 8;
    v.push_back(static_cast<uint8_t>(kind == 2 ? 0 : 0x80 | (bits - 1)));
    v.push_back(3);
    v.push_back(0);
    if (kind != 2)
        for (uint32_t i = 0; i < (3u << bits); ++i)
            v.push_back(static_cast<uint8_t>(i * 13));
    v.insert(v.end(), {0x21, 0xF9, 4, 1, 0, 0, 2, 0});
    v.insert(v.end(), {0x21, 0xFE, 3, 'a', 'b', 'c', 0});
    v.insert(v.end(), {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0});
    for (int frame = 0; frame < 2; ++frame) {
        const uint16_t fw = 8, fh = 7;
        v.push_back(0x2C);
        Put16(v, 2);
        Put16(v, 1);
        Put16(v, fw);
        Put16(v, fh);
        const bool local = kind == 2;
        v.push_back(static_cast<uint8_t>((local ? 0x81 : 0) | (kind == 1 ? 0x40 : 0)));
        if (local)
            for (int i = 0; i < 12; ++i)
                v.push_back(static_cast<uint8_t>(i * 20));
        Bytes indices;
        for (int i = 0; i < fw * fh; ++i)
            indices.push_back(static_cast<uint8_t>(i * 7 + frame));
        AddImageData(v, indices, kind == 2 ? 2 : bits < 2 ? 2 : bits);
    }
    v.push_back(0x3B);
    return v;
}

const std::vector<Bytes>& Templates() {
    static const std::vector<Bytes> all = {MakeTemplate(0), MakeTemplate(1), MakeTemplate(2)};
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes input;
    const uint8_t options = size ? data[size - 1] : 0;
    if (size >= 3 && std::memcmp(data, "GIF", 3) == 0) {
        input.assign(data, data + size);
    } else {
        // The last byte holds the options.
        input = fuzz::PatchTemplate(Templates(), data, size, size ? size - 1 : 0);
    }
    image::GifContext ctx;
    ctx.src.limits.max_pixels = 4u << 20;
    ctx.options.composite = options & 1;
    ctx.options.use_file_background = options & 2;
    image::DecodedImage img;
    if (image::GifDecodeFromMemory(ctx, input.data(), input.size(), img)) {
        const image::BitmapInfoHeader& h = img.info.header;
        Check(img.pixels != nullptr && h.bit_count == 8);
        Check(h.width == ctx.screen_width && h.height == ctx.screen_height);
        Check(ctx.frame_left + ctx.frame_width <= ctx.screen_width);
        Check(ctx.frame_top + ctx.frame_height <= ctx.screen_height);
        Check(img.source_bits >= 1 && img.source_bits <= 8);
    } else {
        Check(img.pixels == nullptr);
        Check(ctx.src.status != image::status::kOk);
    }
    return 0;
}
