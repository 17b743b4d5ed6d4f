// TIFF: an uncompressed 2000 x 1500 RGB file of 16-row strips written by libtiff into a temporary
// file, read by us (mapped) and by libtiff (strip by strip into one buffer).
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <string>
#include <vector>

#include "common/platform.h"
#include "image/tiff.h"

namespace bench {

namespace {

constexpr uint32_t kWidth = 2000, kHeight = 1500;

struct TempTiff {
    std::wstring path = platform::MakeTempFile();
    TempTiff() { Write(); }
    ~TempTiff() { platform::DeleteFileAt(path); }
    TempTiff(const TempTiff&) = delete;
    TempTiff& operator=(const TempTiff&) = delete;

    void Write() const {
        TIFF* tif = TIFFOpen(platform::WideToUtf8(path).c_str(), "w");
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
        std::vector<uint8_t> row(kWidth * 3);
        for (uint32_t y = 0; y < kHeight; ++y) {
            for (uint32_t x = 0; x < kWidth * 3; ++x)
                row[x] = static_cast<uint8_t>(x * 7 + y);
            TIFFWriteScanline(tif, row.data(), y, 0);
        }
        TIFFClose(tif);
    }
};

const TempTiff& PhotoTiff() {
    static const TempTiff file;
    return file;
}

void BM_TiffOurs(benchmark::State& state) {
    const std::wstring& path = PhotoTiff().path;
    image::TiffContext ctx;
    image::DecodedImage img;
    for (auto _ : state) {
        if (!image::TiffDecodeFromFile(ctx, path, img))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img.pixels);
    }
}

// Like a decoder, each read fills a fresh block from the page allocator.
void BM_TiffLibtiff(benchmark::State& state) {
    const std::string path = platform::WideToUtf8(PhotoTiff().path);
    const size_t bytes = static_cast<size_t>(kWidth) * 3 * kHeight;
    for (auto _ : state) {
        platform::PageBlock buffer(bytes + 4);
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        if (!tif) {
            state.SkipWithError("libtiff failed");
            break;
        }
        uint8_t* at = buffer.Get();
        for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
            const tmsize_t n = TIFFReadEncodedStrip(tif, s, at, -1);
            if (n > 0)
                at += n;
        }
        TIFFClose(tif);
        benchmark::DoNotOptimize(buffer.Get());
    }
}

BENCHMARK(BM_TiffOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffLibtiff)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace bench
