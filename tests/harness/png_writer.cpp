#include "tests/harness/png_writer.h"

#include <zlib.h>

#include "common/platform.h"

namespace harness {

namespace {

void PutU32BE(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
    PutU32BE(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
    PutU32BE(out, static_cast<uint32_t>(crc));
}

} // namespace

std::vector<uint8_t> EncodePngRgb(int width, int height, const std::vector<uint8_t>& rgb) {
    std::vector<uint8_t> out;
    if (width <= 0 || height <= 0 || rgb.size() != static_cast<size_t>(width) * height * 3)
        return out;
    const size_t stride = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> raw;
    raw.reserve((stride + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0); // filter: none
        raw.insert(raw.end(), rgb.begin() + y * stride, rgb.begin() + (y + 1) * stride);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
        return out;
    packed.resize(packedSize);

    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    out.assign(signature, signature + 8);
    std::vector<uint8_t> ihdr;
    PutU32BE(ihdr, static_cast<uint32_t>(width));
    PutU32BE(ihdr, static_cast<uint32_t>(height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, deflate, no filter choice, no interlace
    PutChunk(out, "IHDR", ihdr);
    PutChunk(out, "IDAT", packed);
    PutChunk(out, "IEND", {});
    return out;
}

bool WritePngRgb(const std::wstring& path, int width, int height, const std::vector<uint8_t>& rgb) {
    std::vector<uint8_t> png = EncodePngRgb(width, height, rgb);
    platform::File f;
    return !png.empty() && f.Open(path, platform::OpenMode::CreateAlways) &&
           f.Write(png.data(), png.size()) == png.size();
}

} // namespace harness
