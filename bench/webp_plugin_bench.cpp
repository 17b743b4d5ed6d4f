// WebP thumbnails of 100 photographs: the WebP plug-in's decode (the core its GetPicture runs) plus the
// program's area-averaging box filter, against libwebp's own scaled decode (what `dwebp -scale` runs)
// to twice the thumbnail size plus the same box filter. The ratio is printed after the run, never
// asserted; the target is within 1.3. The photographs (1600 × 1200, cwebp -q 80) are made once with
// cwebp and removed at exit. QUORLE_BENCH_FILES changes the count.
#include <benchmark/benchmark.h>

#include "bench/jpeg_baseline.h"
#include "bench/ratio_reporter.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <webp/decode.h>

#include "image/scale.h"
#include "plugins/webp/webp_core.h"

namespace {

const int kFiles = [] {
    const char* n = std::getenv("QUORLE_BENCH_FILES");
    const int v = n ? std::atoi(n) : 0;
    return v > 0 ? v : 100;
}();
constexpr int kWidth = 1600, kHeight = 1200, kBoxWidth = 140, kBoxHeight = 105;

struct Corpus {
    std::vector<std::vector<uint8_t>> files;
    bool ok = true;

    Corpus() {
        char dir[] = "/tmp/quorle-webp-bench-XXXXXX";
        if (!mkdtemp(dir)) {
            ok = false;
            return;
        }
        const std::string base = dir;
        for (int i = 0; ok && i < kFiles; ++i) {
            const std::vector<uint8_t> jpeg = bench::MakePhotoJpeg(500u + static_cast<uint32_t>(i), kWidth, kHeight);
            const std::string jpg = base + "/photo.jpg", webp = base + "/photo.webp";
            std::ofstream(jpg, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()),
                                                        static_cast<std::streamsize>(jpeg.size()));
            const std::string command = "cwebp -quiet -q 80 '" + jpg + "' -o '" + webp + "'";
            ok = std::system(command.c_str()) == 0;
            std::ifstream in(webp, std::ios::binary);
            files.emplace_back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            ok = ok && !files.back().empty();
            std::remove(jpg.c_str());
            std::remove(webp.c_str());
        }
        std::remove(base.c_str());
    }
};

const Corpus& TheCorpus() {
    static Corpus corpus;
    return corpus;
}

// The program's box filter from a bottom-up 24-bit block to the fitted thumbnail size.
bool BoxFilter(image::Scaler& scaler, const uint8_t* bits, int w, int h) {
    const image::PictureSize fit = image::FitToBox(w, h, kBoxWidth, kBoxHeight);
    platform::PageBlock thumb =
        image::ScaleImage(scaler, bits, w, h, fit.width, fit.height, image::kScaleAreaLinear, nullptr);
    return static_cast<bool>(thumb);
}

void BM_PluginDecodeAndBox(benchmark::State& state) {
    const Corpus& corpus = TheCorpus();
    if (!corpus.ok) {
        state.SkipWithError("cwebp could not make the photographs");
        return;
    }
    image::Scaler scaler;
    for (auto _ : state) {
        for (const std::vector<uint8_t>& file : corpus.files) {
            webp_plugin::WebpInfo info;
            if (webp_plugin::WebpReadInfo(file.data(), file.size(), &info) != webp_plugin::WebpError::Ok) {
                state.SkipWithError("not decoded");
                return;
            }
            std::vector<uint8_t> bits(webp_plugin::WebpDibSize(info));
            if (webp_plugin::WebpDecodeInto(file.data(), file.size(), bits.data(), bits.size()) !=
                    webp_plugin::WebpError::Ok ||
                !BoxFilter(scaler, bits.data(), info.width, info.height)) {
                state.SkipWithError("not decoded");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(corpus.files.size()));
}

void BM_ScaledDecodeAndBox(benchmark::State& state) {
    const Corpus& corpus = TheCorpus();
    if (!corpus.ok) {
        state.SkipWithError("cwebp could not make the photographs");
        return;
    }
    image::Scaler scaler;
    const image::PictureSize fit = image::FitToBox(kWidth, kHeight, kBoxWidth, kBoxHeight);
    const int sw = fit.width * 2, sh = fit.height * 2;
    const size_t stride = (static_cast<size_t>(sw) * 3 + 3) & ~size_t{3};
    std::vector<uint8_t> bits(stride * sh);
    for (auto _ : state) {
        for (const std::vector<uint8_t>& file : corpus.files) {
            // dwebp -scale: the decoder's own rescaler, here into bottom-up BGR rows.
            WebPDecoderConfig config;
            WebPInitDecoderConfig(&config);
            config.options.use_scaling = 1;
            config.options.scaled_width = sw;
            config.options.scaled_height = sh;
            config.options.flip = 1;
            config.output.colorspace = MODE_BGR;
            config.output.is_external_memory = 1;
            config.output.u.RGBA.rgba = bits.data();
            config.output.u.RGBA.stride = static_cast<int>(stride);
            config.output.u.RGBA.size = bits.size();
            if (WebPDecode(file.data(), file.size(), &config) != VP8_STATUS_OK ||
                !BoxFilter(scaler, bits.data(), sw, sh)) {
                state.SkipWithError("not decoded");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(corpus.files.size()));
}

BENCHMARK(BM_PluginDecodeAndBox)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ScaledDecodeAndBox)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bench::PrintRatio(reporter, "plug-in decode + box / dwebp -scale + box", "BM_PluginDecodeAndBox/min_time:2.000",
                      "BM_ScaledDecodeAndBox/min_time:2.000", 1.3);
    benchmark::Shutdown();
    return 0;
}
