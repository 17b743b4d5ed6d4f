// Listing a ZIP of 10,000 members: `quorle-tool zip-list` against `unzip -Z1` on the same file, both
// as whole processes writing to /dev/null, plus the in-process listing that dominates the first.
// Prints the ratio; a measurement, never an assertion.
//
//   zip_list_bench [benchmark flags]     needs python3 (to write the archive) and unzip
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/zip_reader.h"
#include "bench/ratio_reporter.h"
#include "common/platform.h"

namespace {

std::string g_zip;

// Names spread over folders as a photo collection would be; small stored bodies keep the file small
// while the directory holds every one of the 10,000 headers.
const char kMakeZip[] = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", compression=zipfile.ZIP_STORED) as z:
    for i in range(10000):
        z.writestr("Holiday %d/day %02d/IMG_%05d.jpg" % (2000 + i // 1000, i // 100 % 10, i), b"x" * (i % 7))
)";

bool MakeArchive(const std::string& path) {
    const std::string script = path + ".py";
    FILE* f = std::fopen(script.c_str(), "w");
    if (!f)
        return false;
    std::fputs(kMakeZip, f);
    std::fclose(f);
    const bool ok = std::system(("python3 '" + script + "' '" + path + "'").c_str()) == 0;
    std::remove(script.c_str());
    return ok;
}

void RunCommand(benchmark::State& state, const std::string& command) {
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError(("failed: " + command).c_str());
            break;
        }
}

void BM_QuorleToolZipList(benchmark::State& state) {
    RunCommand(state, std::string("'") + QUORLE_TOOL_PATH + "' zip-list '" + g_zip + "' >/dev/null");
}

void BM_UnzipZ1(benchmark::State& state) { RunCommand(state, "unzip -Z1 '" + g_zip + "' >/dev/null"); }

void BM_ListZipArchive(benchmark::State& state) {
    const std::wstring path = platform::Utf8ToWide(g_zip);
    for (auto _ : state) {
        location::ArchiveListing listing;
        if (!archive::ListZipArchive(path, &listing) || listing.entries.size() != 10000) {
            state.SkipWithError("listing failed");
            break;
        }
        benchmark::DoNotOptimize(listing.entries.data());
    }
}

BENCHMARK(BM_QuorleToolZipList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnzipZ1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListZipArchive)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("TMPDIR");
    g_zip = std::string(dir && *dir ? dir : "/tmp") + "/quorle-zip-list-bench.zip";
    if (!MakeArchive(g_zip)) {
        std::fprintf(stderr, "could not write %s with python3\n", g_zip.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bench::PrintRatio(reporter, "zip-list / unzip -Z1 (10,000 members)", "BM_QuorleToolZipList", "BM_UnzipZ1", 1.5);
    std::remove(g_zip.c_str());
    return 0;
}
