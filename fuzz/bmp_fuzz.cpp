// BMP fuzzer. An input that starts with "BM" is taken as a file; anything else patches one of a few
// valid bitmaps made at start-up (1, 4, 8 bits with a version-5 header, 16 bits with masks, 24 and
// 32 bits): byte 0 picks the bitmap, byte 1 the offset, the rest is written there. A decoded picture
// is written back with WriteBmp and must read back to the same pixels and colour table.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/platform.h"
#include "fuzz/fuzz_support.h"
#include "image/bmp.h"

namespace {

using fuzz::Check;

void Put(std::vector<uint8_t>& v, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        v.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> MakeTemplate(uint16_t bits, uint32_t header_size, uint32_t compression) {
    const int w = 7, h = 3;
    const uint32_t table = bits <= 8 ? (1u << bits) : 0;
    const uint32_t stride = ((w * bits + 31) / 32) * 4;
    const uint32_t offset = 14 + header_size + (compression == 3 && header_size == 40 ? 12 : 0) + 4 * table;
    std::vector<uint8_t> v = {'B', 'M'};
    Put(v, offset + stride * h, 4);
    Put(v, 0, 4);
    Put(v, offset, 4);
    Put(v, header_size, 4);
    Put(v, w, 4);
    Put(v, h, 4);
    Put(v, 1, 2);
    Put(v, bits, 2);
    Put(v, compression, 4);
    for (int i = 0; i < 5; ++i)
        Put(v, i == 1 || i == 2 ? 2835 : 0, 4);
    if (compression == 3) {
        Put(v, 0xF800, 4);
        Put(v, 0x07E0, 4);
        Put(v, 0x001F, 4);
    }
    while (v.size() < 14 + header_size)
        v.push_back(0);
    for (uint32_t i = 0; i < table; ++i)
        Put(v, i * 0x00010203u, 4);
    for (uint32_t i = 0; i < stride * h; ++i)
        v.push_back(static_cast<uint8_t>(i * 37));
    return v;
}

const std::vector<std::vector<uint8_t>>& Templates() {
    static const std::vector<std::vector<uint8_t>> all = {
        MakeTemplate(1, 124, 0), MakeTemplate(4, 40, 0), MakeTemplate(8, 124, 0),
        MakeTemplate(16, 40, 3), MakeTemplate(16, 108, 3), MakeTemplate(24, 40, 0), MakeTemplate(32, 40, 0),
    };
    return all;
}

struct TempFile {
    std::wstring path = platform::MakeTempFile();
    ~TempFile() { platform::DeleteFileAt(path); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempFile out;
    std::vector<uint8_t> input;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        input.assign(data, data + size);
    } else {
        input = fuzz::PatchTemplate(Templates(), data, size, size);
    }
    image::BmpContext ctx;
    ctx.src.limits.max_pixels = 16u << 20;
    image::DecodedImage img;
    if (!image::BmpDecodeFromMemory(ctx, input.data(), input.size(), img)) {
        Check(img.pixels == nullptr);
        Check(ctx.src.status != image::status::kOk);
        return 0;
    }
    const image::BitmapInfoHeader& h = img.info.header;
    Check(img.pixels != nullptr && h.width > 0 && h.height > 0);
    Check(h.bit_count == 8 || h.bit_count == 24);
    Check(h.x_pels_per_meter >= 0 && h.y_pels_per_meter >= 0);
    const size_t bytes = image::Stride(img) * static_cast<size_t>(h.height);
    if (out.path.empty())
        return 0;
    image::BmpWriter writer = image::BmpWriterFor(img);
    if (!image::WriteBmp(writer, out.path, img.info.colors, img.pixels))
        return 0;
    image::BmpContext again;
    image::DecodedImage back;
    Check(image::BmpDecodeFromFile(again, out.path, back));
    Check(back.info.header.width == h.width && back.info.header.height == h.height);
    Check(back.info.header.bit_count == h.bit_count);
    Check(std::memcmp(back.pixels, img.pixels, bytes) == 0);
    if (h.bit_count == 8)
        Check(std::memcmp(back.info.colors, img.info.colors, sizeof(img.info.colors)) == 0);
    return 0;
}
