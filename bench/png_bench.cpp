// Our PNG, GIF and TIFF decoders against libpng, giflib and libtiff on the same files, made in
// memory at start-up. One binary (with gif_bench.cpp and tiff_bench.cpp) so the ratios printed after
// the run come from one run; they are never asserted.
//
// PNG: 2000 x 1500 RGB written by libpng with its default filters and compression, from a picture
// with gradients, edges and grain.
#include <benchmark/benchmark.h>

#include "bench/ratio_reporter.h"
#include <png.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/platform.h"
#include "image/png.h"

namespace bench {

namespace {

constexpr int kWidth = 2000, kHeight = 1500;

void Append(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

void NoFlush(png_structp) {}

const std::vector<uint8_t>& PhotoPng() {
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(png, &out, Append, NoFlush);
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<uint8_t> row(static_cast<size_t>(kWidth) * 3);
        uint32_t seed = 12345;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                seed = seed * 1103515245u + 12345u;
                const int grain = static_cast<int>((seed >> 16) & 15) - 8;
                const bool edge = ((x / 150) + (y / 110)) & 1;
                const int base[3] = {x * 255 / kWidth, y * 255 / kHeight, edge ? 200 : 60};
                for (int c = 0; c < 3; ++c) {
                    const int v = base[c] + grain;
                    row[3 * x + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
                }
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        return out;
    }();
    return bytes;
}

struct Reader {
    const std::vector<uint8_t>* data;
    size_t pos;
};

void Read(png_structp png, png_bytep out, png_size_t n) {
    Reader* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (n > r->data->size() - r->pos)
        png_error(png, "short");
    std::memcpy(out, r->data->data() + r->pos, n);
    r->pos += n;
}

void BM_PngOurs(benchmark::State& state) {
    const std::vector<uint8_t>& file = PhotoPng();
    image::PngContext ctx;
    image::DecodedImage img;
    for (auto _ : state) {
        if (!image::PngDecodeFromMemory(ctx, file.data(), file.size(), img))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img.pixels);
    }
}

// The same work with libpng: every row into a fresh blue-green-red bottom-up block from the page
// allocator, as a decoder delivers it.
void BM_PngLibpng(benchmark::State& state) {
    const std::vector<uint8_t>& file = PhotoPng();
    const size_t stride = (static_cast<size_t>(kWidth) * 3 + 3) & ~size_t(3);
    for (auto _ : state) {
        platform::PageBlock block(stride * kHeight + 4);
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        Reader r{&file, 0};
        if (setjmp(png_jmpbuf(png))) {
            png_destroy_read_struct(&png, &info, nullptr);
            state.SkipWithError("libpng failed");
            break;
        }
        png_set_read_fn(png, &r, Read);
        png_read_info(png, info);
        png_set_bgr(png);
        png_read_update_info(png, info);
        for (int y = 0; y < kHeight; ++y)
            png_read_row(png, block.Get() + static_cast<size_t>(kHeight - 1 - y) * stride, nullptr);
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(block.Get());
    }
}

BENCHMARK(BM_PngOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngLibpng)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::printf("png: %zu bytes\n", bench::PhotoPng().size());
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bench::PrintRatio(reporter, "PNG ours / libpng", "BM_PngOurs", "BM_PngLibpng", 1.3);
    bench::PrintRatio(reporter, "GIF ours / giflib", "BM_GifOurs", "BM_GifGiflib", 1.5);
    bench::PrintRatio(reporter, "TIFF ours / libtiff", "BM_TiffOurs", "BM_TiffLibtiff", 1.5);
    benchmark::Shutdown();
    return 0;
}
