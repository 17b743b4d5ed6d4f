// The thumbnail pipeline over a folder of camera-sized JPEGs: a cold run (every picture decoded,
// fitted and the cache written), a run served from the cache, and the library's plain 1/8-scale
// decode of the same files as the yardstick. The ratios are printed after the run, never asserted:
// cold should reach 0.85 x the plain decode rate, and the cache run be 20 x faster than cold.
#include <benchmark/benchmark.h>

#include "bench/jpeg_baseline.h"
#include "bench/ratio_reporter.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "common/platform.h"
#include "thumbs/thumb_pipeline.h"

namespace {

// 20 files by default; QUORLE_BENCH_FILES=200 gives the full-folder measurement.
const int kFiles = [] {
    const char* n = std::getenv("QUORLE_BENCH_FILES");
    int v = n ? std::atoi(n) : 0;
    return v > 0 ? v : 20;
}();


// The picture folder and the cache folder, made once and removed at exit.
struct Corpus {
    std::wstring base = platform::MakeTempFile();
    std::wstring pictures = base + L".pictures";
    std::wstring cache = base + L".cache";
    std::vector<std::wstring> files;
    bool ok = true;

    Corpus() {
        ok = platform::CreateFolder(pictures);
        for (int i = 0; ok && i < kFiles; ++i) {
            const std::vector<uint8_t> jpeg = bench::MakePhotoJpeg(1000u + static_cast<uint32_t>(i));
            wchar_t name[32];
            std::swprintf(name, 32, L"photo%02d.jpg", i);
            files.push_back(pictures + L"\\" + name);
            platform::File f;
            ok = f.Open(files.back(), platform::OpenMode::CreateAlways) &&
                 f.Write(jpeg.data(), jpeg.size()) == jpeg.size();
        }
    }
    ~Corpus() {
        for (const std::wstring& dir : {pictures, cache}) {
            platform::ListFolder(dir, L"*", [&dir](const platform::FolderEntry& e) {
                platform::DeleteFileAt(dir + L"\\" + e.name);
                return true;
            });
            platform::RemoveFolder(dir);
        }
        platform::DeleteFileAt(base);
    }
    Corpus(const Corpus&) = delete;
    Corpus& operator=(const Corpus&) = delete;
};

Corpus& TheCorpus() {
    static Corpus corpus;
    return corpus;
}

thumbs::ProduceOptions Options(bool force) {
    thumbs::ProduceOptions options;
    options.settings.scaleMethod = image::kScaleAreaLinear;
    options.force = force;
    return options;
}

// The yardstick: map the file, let the library decode it at 1/8 into one buffer.
void BM_PlainDecodeEighth(benchmark::State& state) {
    Corpus& corpus = TheCorpus();
    if (!corpus.ok) {
        state.SkipWithError("cannot write the pictures");
        return;
    }
    std::vector<uint8_t> out;
    for (auto _ : state) {
        for (const std::wstring& path : corpus.files) {
            platform::MappedView view;
            if (!view.Open(path)) {
                state.SkipWithError("cannot map a picture");
                return;
            }
            bench::DecodeEighthWithLibrary(view.Data(), view.Size(), out);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

// Every picture decoded afresh, fitted, and the cache rewritten.
void BM_ColdRun(benchmark::State& state) {
    Corpus& corpus = TheCorpus();
    for (auto _ : state) {
        const thumbs::ProduceResult r = thumbs::ProduceThumbnails(corpus.pictures, corpus.cache, Options(true));
        if (r.decoded != static_cast<size_t>(kFiles) || !r.cacheWritten)
            state.SkipWithError("cold run did not decode and cache every picture");
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

// Every thumbnail from the cache.
void BM_CacheRun(benchmark::State& state) {
    Corpus& corpus = TheCorpus();
    thumbs::ProduceThumbnails(corpus.pictures, corpus.cache, Options(true));
    for (auto _ : state) {
        const thumbs::ProduceResult r = thumbs::ProduceThumbnails(corpus.pictures, corpus.cache, Options(false));
        if (r.fromCache != static_cast<size_t>(kFiles))
            state.SkipWithError("cache run did not take every thumbnail from the cache");
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

BENCHMARK(BM_PlainDecodeEighth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColdRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheRun)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bench::PrintRatio(reporter, "cold run rate / plain 1/8 decode rate", "BM_PlainDecodeEighth", "BM_ColdRun", 0.85);
    bench::PrintRatio(reporter, "cache run speed-up over cold run", "BM_ColdRun", "BM_CacheRun", 20);
    benchmark::Shutdown();
    return 0;
}
