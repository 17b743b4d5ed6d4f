// The first screen of a pane: the listing and the first 15 thumbnails, made afresh, of 200
// twelve-megapixel photographs in a folder, and of the same photographs stored in a ZIP archive (the
// members read into memory instead of mapped from their files). The ratio is printed after the run,
// never asserted: the archive should stay within 1.15 x the folder. The same photographs stored in a
// RAR (the built-in reader kept open for the load, stored members read in place) should stay within
// 1.2 x the ZIP.
#include <benchmark/benchmark.h>

#include "bench/jpeg_baseline.h"
#include "bench/ratio_reporter.h"

#include <cstdio>
#include <string>
#include <vector>

#include "archive/job_progress.h"
#include "archive/zip_writer.h"
#include "common/platform.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/fixtures/rar_writer.h"
#include "thumbs/thumb_pipeline.h"

namespace {

constexpr int kPhotos = 200;
constexpr int kDistinct = 20; // photographs repeat, so making the corpus stays quick
constexpr size_t kFirstScreen = 15;

struct Corpus {
    fixtures::TempFolder root; // removed with everything in it at exit
    std::wstring pictures = root / L"pictures";
    std::wstring zip = root / L"pictures.zip";
    std::wstring rar = root / L"pictures.rar";
    std::wstring cache = root / L"cache";
    bool ok = true;

    Corpus() {
        ok = platform::CreateFolder(pictures) && platform::CreateFolder(cache);
        std::vector<std::vector<uint8_t>> photos;
        std::vector<fixtures::RarMember> members;
        for (int i = 0; ok && i < kDistinct; ++i)
            photos.push_back(bench::MakePhotoJpeg(2000u + static_cast<uint32_t>(i)));
        for (int i = 0; ok && i < kPhotos; ++i) {
            wchar_t name[32];
            std::swprintf(name, 32, L"photo%03d.jpg", i);
            const std::vector<uint8_t>& jpeg = photos[static_cast<size_t>(i % kDistinct)];
            ok = fixtures::ByteWriter().Bytes(jpeg.data(), jpeg.size()).SaveTo(pictures + L"\\" + name);
            fixtures::RarMember m;
            m.name = name;
            m.data = jpeg;
            members.push_back(std::move(m));
        }
        ok = ok && fixtures::WriteStoredRar(root / L"pictures", members).size() == 1;
        archive::SilentProgress progress;
        std::wstring written;
        ok = ok && archive::PackFolderToZip(pictures, zip, archive::ZipMethod::Stored, progress, &written) &&
             written == zip;
    }
};

Corpus& TheCorpus() {
    static Corpus corpus;
    return corpus;
}

enum class Source { Folder, Zip, Rar };

void FirstScreen(benchmark::State& state, Source source) {
    Corpus& corpus = TheCorpus();
    if (!corpus.ok) {
        state.SkipWithError("cannot make the photographs");
        return;
    }
    thumbs::ProduceOptions options;
    options.settings.scaleMethod = image::kScaleAreaLinear;
    options.force = true;
    for (auto _ : state) {
        size_t done = 0;
        thumbs::ThumbHooks hooks;
        hooks.itemDone = [&](size_t, folder::ThumbItem&) { ++done; };
        hooks.keepGoing = [&] { return done < kFirstScreen; };
        const thumbs::ProduceResult r =
            thumbs::ProduceThumbnails(source == Source::Zip   ? corpus.zip
                                      : source == Source::Rar ? corpus.rar
                                                              : corpus.pictures,
                                      corpus.cache, options, hooks);
        if (r.items != static_cast<size_t>(kPhotos) || done < kFirstScreen)
            state.SkipWithError("the first screen was not made");
    }
}

void BM_FolderFirstScreen(benchmark::State& state) { FirstScreen(state, Source::Folder); }
void BM_ArchiveFirstScreen(benchmark::State& state) { FirstScreen(state, Source::Zip); }
void BM_RarFirstScreen(benchmark::State& state) { FirstScreen(state, Source::Rar); }

BENCHMARK(BM_FolderFirstScreen)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ArchiveFirstScreen)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RarFirstScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bench::PrintRatio(reporter, "archive first screen / folder first screen", "BM_ArchiveFirstScreen/real_time",
                      "BM_FolderFirstScreen/real_time", 1.15);
    bench::PrintRatio(reporter, "RAR first screen / ZIP first screen", "BM_RarFirstScreen/real_time",
                      "BM_ArchiveFirstScreen/real_time", 1.2);
    benchmark::Shutdown();
    return 0;
}
