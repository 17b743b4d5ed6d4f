// Thumbnail-size JPEG decoding against the library's own 1/8-scale decode of the same file.
//
// The photo is made in memory at start-up: 4000 x 3000, 2 x 2 chroma subsampling, quality 90, with
// gradients, hard edges and grain, so the entropy decoder has the kind of work a camera file gives
// it. Built together with scale_bench.cpp into one binary; the ratios are printed after the run and
// never asserted.
#include <benchmark/benchmark.h>

#include "bench/jpeg_baseline.h"
#include "bench/ratio_reporter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "common/platform.h"
#include "image/jpeg.h"

namespace bench {

const std::vector<uint8_t>& PhotoJpeg() {
    static const std::vector<uint8_t> bytes = MakePhotoJpeg(12345);
    return bytes;
}

// The thumbnail engine's decode: one long-lived context and record, fit size 140.
bool DecodeForThumbnail(image::JpegContext& ctx, image::DecodedImage& img) {
    const std::vector<uint8_t>& photo = PhotoJpeg();
    image::JpegSetFit(ctx, 140);
    return image::JpegDecodeFromMemory(ctx, photo.data(), photo.size(), img);
}

namespace {

void BM_Decode140(benchmark::State& state) {
    image::JpegContext ctx;
    image::DecodedImage img;
    for (auto _ : state) {
        if (!DecodeForThumbnail(ctx, img))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img.pixels);
    }
    state.counters["width"] = img.info.header.width;
}

void BM_Decode140FromFile(benchmark::State& state) {
    const std::wstring path = platform::MakeTempFile();
    {
        platform::File f;
        const std::vector<uint8_t>& photo = PhotoJpeg();
        if (!f.Open(path, platform::OpenMode::CreateAlways) || f.Write(photo.data(), photo.size()) != photo.size()) {
            state.SkipWithError("cannot write the photo");
            return;
        }
    }
    image::JpegContext ctx;
    image::DecodedImage img;
    image::JpegSetFit(ctx, 140);
    for (auto _ : state) {
        if (!image::JpegDecodeFromFile(ctx, path, img))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img.pixels);
    }
    platform::DeleteFileAt(path);
}

// The baseline: the library alone, scale 1/8, RGB rows into one buffer.
void BM_LibraryScale8(benchmark::State& state) {
    const std::vector<uint8_t>& photo = PhotoJpeg();
    std::vector<uint8_t> out;
    for (auto _ : state) {
        DecodeEighthWithLibrary(photo.data(), photo.size(), out);
        benchmark::DoNotOptimize(out.data());
    }
}

BENCHMARK(BM_Decode140)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode140FromFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibraryScale8)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::printf("photo: %zu bytes\n", bench::PhotoJpeg().size());
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bench::PrintRatio(reporter, "decode 140 / library 1/8", "BM_Decode140", "BM_LibraryScale8", 1.10);
    bench::PrintRatio(reporter, "decode 140 from file / library 1/8", "BM_Decode140FromFile", "BM_LibraryScale8", 1.10);
    bench::PrintRatio(reporter, "scale method 0 / decode 140", "BM_ScaleMethod0", "BM_Decode140", 0.10);
    bench::PrintRatio(reporter, "scale method 1 / decode 140", "BM_ScaleMethod1", "BM_Decode140", 0.25);
    bench::PrintRatio(reporter, "scale method 2 / decode 140", "BM_ScaleMethod2", "BM_Decode140", 0.10);
    benchmark::Shutdown();
    return 0;
}
