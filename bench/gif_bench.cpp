// GIF: a 1600 x 1200 picture of 256 colours (gradients, edges and grain) written by giflib,
// decoded by us and by giflib's own reader (every line into one buffer).
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstring>
#include <vector>

#include "image/gif.h"

namespace bench {

namespace {

constexpr int kWidth = 1600, kHeight = 1200;

int Append(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

const std::vector<uint8_t>& PhotoGif() {
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> out;
        int error = 0;
        GifFileType* gif = EGifOpen(&out, Append, &error);
        GifColorType colours[256];
        for (int i = 0; i < 256; ++i)
            colours[i] = GifColorType{static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i),
                                      static_cast<GifByteType>(i * 7)};
        ColorMapObject* map = GifMakeMapObject(256, colours);
        EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map);
        EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
        std::vector<GifPixelType> line(kWidth);
        uint32_t seed = 99;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                seed = seed * 1103515245u + 12345u;
                const int edge = ((x / 120) + (y / 90)) & 1 ? 128 : 0;
                line[x] = static_cast<GifPixelType>(((x * 127 / kWidth) + edge + ((seed >> 20) & 3)) & 255);
            }
            EGifPutLine(gif, line.data(), kWidth);
        }
        EGifCloseFile(gif, &error);
        GifFreeMapObject(map);
        return out;
    }();
    return bytes;
}

struct Reader {
    const std::vector<uint8_t>* data;
    size_t pos;
};

int Read(GifFileType* gif, GifByteType* out, int n) {
    Reader* r = static_cast<Reader*>(gif->UserData);
    const size_t take = std::min(static_cast<size_t>(n), r->data->size() - r->pos);
    std::memcpy(out, r->data->data() + r->pos, take);
    r->pos += take;
    return static_cast<int>(take);
}

void BM_GifOurs(benchmark::State& state) {
    const std::vector<uint8_t>& file = PhotoGif();
    image::GifContext ctx;
    image::DecodedImage img;
    for (auto _ : state) {
        if (!image::GifDecodeFromMemory(ctx, file.data(), file.size(), img))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img.pixels);
    }
}

void BM_GifGiflib(benchmark::State& state) {
    const std::vector<uint8_t>& file = PhotoGif();
    for (auto _ : state) {
        Reader r{&file, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&r, Read, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK)
            state.SkipWithError("giflib failed");
        benchmark::DoNotOptimize(gif);
        DGifCloseFile(gif, &error);
    }
}

BENCHMARK(BM_GifOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifGiflib)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace bench
