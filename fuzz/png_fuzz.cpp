// PNG fuzzer. An input that starts with the PNG signature is taken as a file; anything else patches
// one of a few valid PNGs made at start-up (palette with tRNS, interlaced RGBA 16, grey 2-bit with
// gAMA, RGB with text chunks): byte 0 picks the picture, byte 1 the offset, the rest is written
// there. The last byte chooses the options and, with bit 7 set, makes every chunk's CRC right again
// so mutations reach the image data. Decoded pictures are checked for their invariants, and the
// text-chunk walk runs over every input.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "image/png.h"

namespace {

using fuzz::Bytes;
using fuzz::Check;

void PutBE(Bytes& v, uint32_t x) {
    for (int i = 3; i >= 0; --i)
        v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

void AddChunk(Bytes& file, const char* type, const Bytes& data) {
    PutBE(file, static_cast<uint32_t>(data.size()));
    const size_t start = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    PutBE(file, static_cast<uint32_t>(crc32(0, file.data() + start, static_cast<uInt>(4 + data.size()))));
}

Bytes MakeTemplate(uint32_t w, uint32_t h, uint8_t depth, uint8_t type, uint8_t interlace, int extras) {
    static const uint8_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    Bytes file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    PutBE(ihdr, w);
    PutBE(ihdr, h);
    ihdr.insert(ihdr.end(), {depth, type, 0, 0, interlace});
    AddChunk(file, "IHDR", ihdr);
    if (extras == 1) {
        AddChunk(file, "PLTE", Bytes(48, 0x77));
        AddChunk(file, "tRNS", {0, 128, 255});
        AddChunk(file, "bKGD", {3});
    } else if (extras == 2) {
        AddChunk(file, "gAMA", {0, 0, 0xB1, 0x8F});
        AddChunk(file, "tRNS", {0, 2});
    } else if (extras == 3) {
        AddChunk(file, "tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'});
        AddChunk(file, "pHYs", {0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x13, 1});
        AddChunk(file, "tRNS", {0, 1, 0, 2, 0, 3});
    }
    // Adam7 or not, every row of every pass: a filter byte cycling through 0..4 and varied bytes.
    const size_t row = (static_cast<size_t>(w) * kChannels[type] * depth + 7) / 8;
    Bytes raw;
    for (uint32_t y = 0; y < h * (interlace ? 2 : 1); ++y) {
        raw.push_back(static_cast<uint8_t>(y % 5));
        for (size_t x = 0; x < row; ++x)
            raw.push_back(static_cast<uint8_t>(x * 31 + y * 7));
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes z(size);
    compress(z.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    z.resize(size);
    const size_t half = z.size() / 2;
    AddChunk(file, "IDAT", Bytes(z.begin(), z.begin() + static_cast<long>(half)));
    AddChunk(file, "IDAT", Bytes(z.begin() + static_cast<long>(half), z.end()));
    AddChunk(file, "IEND", {});
    return file;
}

const std::vector<Bytes>& Templates() {
    static const std::vector<Bytes> all = {
        MakeTemplate(9, 7, 4, 3, 0, 1), MakeTemplate(5, 6, 16, 6, 1, 0), MakeTemplate(13, 5, 2, 0, 0, 2),
        MakeTemplate(6, 6, 8, 2, 1, 3), MakeTemplate(4, 3, 8, 4, 0, 0),
    };
    return all;
}

// Recomputes the CRC of every whole chunk after the signature.
void FixCrcs(Bytes& file) {
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const uint32_t len = (uint32_t(file[pos]) << 24) | (uint32_t(file[pos + 1]) << 16) |
                             (uint32_t(file[pos + 2]) << 8) | file[pos + 3];
        if (len > file.size() - pos - 12)
            return;
        const uint32_t crc = static_cast<uint32_t>(crc32(0, file.data() + pos + 4, len + 4));
        for (int i = 0; i < 4; ++i)
            file[pos + 8 + len + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        pos += 12 + len;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes input;
    const uint8_t options = size ? data[size - 1] : 0;
    if (size >= 8 && data[0] == 0x89 && data[1] == 'P') {
        input.assign(data, data + size);
    } else {
        // The last byte holds the options.
        input = fuzz::PatchTemplate(Templates(), data, size, size ? size - 1 : 0);
    }
    if (options & 0x80)
        FixCrcs(input);

    image::PngContext ctx;
    ctx.src.limits.max_pixels = 4u << 20;
    ctx.options.composite = options & 1;
    ctx.options.use_file_background = options & 2;
    ctx.options.display_gamma = (options & 4) ? 2200 : 0;
    ctx.options.background = 0x336699;
    image::DecodedImage img;
    if (image::PngDecodeFromMemory(ctx, input.data(), input.size(), img)) {
        const image::BitmapInfoHeader& h = img.info.header;
        Check(img.pixels != nullptr && h.width > 0 && h.height > 0);
        Check(h.bit_count == 8 || h.bit_count == 24);
        Check(static_cast<uint32_t>(h.width) == ctx.width && static_cast<uint32_t>(h.height) == ctx.height);
        Check(ctx.comment_count <= ctx.text_count);
        // Touch every byte of the block: a wrong size shows up under the sanitizers.
        const size_t bytes = image::Stride(img) * static_cast<size_t>(h.height) + 4;
        uint32_t sum = 0;
        for (size_t i = 0; i < bytes; ++i)
            sum += img.pixels[i];
        volatile uint32_t sink = sum;
        (void)sink;
    } else {
        Check(img.pixels == nullptr);
        Check(ctx.src.status != image::status::kOk);
    }
    std::vector<image::PngTextPair> pairs;
    image::ListPngText(ctx, input.data(), input.size(), &pairs);
    Check(pairs.size() <= image::kMaxPngTextPairs);
    return 0;
}
