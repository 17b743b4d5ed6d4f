#include "tests/thumbs/photo_fixtures.h"

#include "image/bmp.h"
#include "image/jpeg.h"
#include "tests/fixtures/byte_writer.h"

namespace photos {

namespace {

size_t Stride(int width) { return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3); }

} // namespace

std::vector<uint8_t> GradientNoise(int width, int height, uint32_t seed) {
    std::vector<uint8_t> pixels(Stride(width) * static_cast<size_t>(height) + 4);
    uint32_t state = seed * 2654435761u + 1;
    const int phase = static_cast<int>(seed % 7) * 37;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pixels.data() + Stride(width) * static_cast<size_t>(y);
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 27) - 16;
            const int r = (x * 255 / width + phase) % 256, g = (y * 255 / height + 2 * phase) % 256;
            const int b = ((x + y) * 255 / (width + height) + 3 * phase) % 256;
            const int bgr[3] = {b, g, r};
            for (int c = 0; c < 3; ++c) {
                const int v = bgr[c] + noise;
                row[x * 3 + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return pixels;
}

bool WriteJpeg(const std::wstring& path, int width, int height, uint32_t seed) {
    const std::vector<uint8_t> pixels = GradientNoise(width, height, seed);
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 3 + 65536);
    image::JpegEncoder enc = image::JpegEncoderInit(width, height, 85, out.data(), out.size());
    if (!image::EncodeJpeg(enc, pixels.data()))
        return false;
    out.resize(enc.produced);
    fixtures::ByteWriter w;
    w.Bytes(out);
    return w.SaveTo(path);
}

bool WriteBmp(const std::wstring& path, int width, int height, uint32_t seed) {
    const std::vector<uint8_t> pixels = GradientNoise(width, height, seed);
    image::BmpWriter writer;
    writer.width = static_cast<uint32_t>(width);
    writer.height = static_cast<uint32_t>(height);
    return image::WriteBmp(writer, path, nullptr, pixels.data());
}

} // namespace photos
