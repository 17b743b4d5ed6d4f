// The three portable scaling methods on a thumbnail-engine input: the 500 x 375 picture that the
// 1/8-scale decode of the 12-megapixel photo gives, fitted into a 140 x 105 box. Linked with
// jpeg_bench.cpp, which makes the photo and prints each method's time as a share of that decode.
#include <benchmark/benchmark.h>

#include <vector>

#include "image/jpeg.h"
#include "image/scale.h"

namespace bench {

// Defined in jpeg_bench.cpp.
bool DecodeForThumbnail(image::JpegContext& ctx, image::DecodedImage& img);

namespace {

void ScaleMethod(benchmark::State& state, int method) {
    image::JpegContext ctx;
    image::DecodedImage img;
    if (!DecodeForThumbnail(ctx, img) || img.info.header.width != 500 || img.info.header.height != 375) {
        state.SkipWithError("the photo did not decode to 500 x 375");
        return;
    }
    const image::PictureSize fit = image::FitToBox(500, 375, 140, 105);
    image::Scaler scaler;
    for (auto _ : state) {
        platform::PageBlock out = image::ScaleImage(scaler, img.pixels, 500, 375, fit.width, fit.height, method, &img.info);
        if (!out)
            state.SkipWithError("scaling failed");
        benchmark::DoNotOptimize(out.Get());
    }
}

void BM_ScaleMethod0(benchmark::State& state) { ScaleMethod(state, image::kScaleAreaLinear); }
void BM_ScaleMethod1(benchmark::State& state) { ScaleMethod(state, image::kScaleBicubic); }
void BM_ScaleMethod2(benchmark::State& state) { ScaleMethod(state, image::kScaleNearest); }

BENCHMARK(BM_ScaleMethod0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScaleMethod1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScaleMethod2)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace bench
