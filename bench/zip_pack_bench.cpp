// Packing a folder of photographs into a ZIP: deflated against `zip -9 -r -q` and stored against
// `cp -r` on the same folder, in one run; then the peak memory of `quorle-tool zip-create` packing a
// folder with one 200 MB file, stored and deflated. The figures are printed, never asserted: packing
// should reach 1.1 x zip -9 deflated and 1.5 x cp -r stored, in under 64 MiB.
//
//   zip_pack_bench [benchmark options]   QUORLE_PACK_PHOTOS=N photographs (default 200, 1600 x 1200)
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/zip_writer.h"
#include "bench/jpeg_baseline.h"
#include "bench/ratio_reporter.h"
#include "common/platform.h"

namespace {

const int kPhotos = [] {
    const char* n = std::getenv("QUORLE_PACK_PHOTOS");
    const int v = n ? std::atoi(n) : 0;
    return v > 0 ? v : 200;
}();

// For the shell: forward slashes.
std::string Native(const std::wstring& path) {
    std::string p = platform::WideToUtf8(path);
    for (char& c : p)
        if (c == '\\')
            c = '/';
    return p;
}

bool Save(const std::wstring& path, const uint8_t* data, size_t size) {
    platform::File f;
    return f.Open(path, platform::OpenMode::CreateAlways) && f.Write(data, size) == size;
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

// A work folder with "photos" in it, removed at exit.
struct Corpus {
    std::wstring stamp = platform::MakeTempFile();
    std::wstring base = stamp + L".pack";
    std::wstring photos = base + L"\\photos";
    std::wstring out = base + L"\\out";
    uint64_t bytes = 0;
    bool ok = true;

    Corpus() {
        ok = platform::CreateFolder(base) && platform::CreateFolder(photos) && platform::CreateFolder(out);
        for (int i = 0; ok && i < kPhotos; ++i) {
            const std::vector<uint8_t> jpeg = bench::MakePhotoJpeg(static_cast<uint32_t>(i), 1600, 1200);
            ok = Save(photos + L"\\IMG_" + std::to_wstring(1000 + i) + L".jpg", jpeg.data(), jpeg.size());
            bytes += jpeg.size();
        }
        std::printf("%d photographs of 1600 x 1200, %.1f MB\n", kPhotos, static_cast<double>(bytes) / 1e6);
    }
    ~Corpus() {
        Shell("rm -rf '" + Native(base) + "'");
        platform::DeleteFileAt(stamp);
    }
    void ClearOut() const { Shell("rm -rf '" + Native(out) + "'/*"); }
};

Corpus& Photos() {
    static Corpus corpus;
    return corpus;
}

void Pack(benchmark::State& state, archive::ZipMethod method) {
    Corpus& c = Photos();
    archive::SilentProgress progress;
    for (auto _ : state) {
        std::wstring written;
        if (!c.ok || !archive::PackFolderToZip(c.photos, c.out + L"\\p.zip", method, progress, &written)) {
            state.SkipWithError("packing failed");
            break;
        }
        state.PauseTiming();
        c.ClearOut();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.bytes));
}

void Command(benchmark::State& state, const std::string& command) {
    Corpus& c = Photos();
    for (auto _ : state) {
        if (!c.ok || Shell("cd '" + Native(c.base) + "' && " + command) != 0) {
            state.SkipWithError("command failed");
            break;
        }
        state.PauseTiming();
        c.ClearOut();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.bytes));
}

void BM_PackDeflated(benchmark::State& state) { Pack(state, archive::ZipMethod::Deflated); }
void BM_Zip9(benchmark::State& state) { Command(state, "zip -9 -r -q out/z.zip photos"); }
void BM_PackStored(benchmark::State& state) { Pack(state, archive::ZipMethod::Stored); }
void BM_CopyFolder(benchmark::State& state) { Command(state, "cp -r photos out/copy"); }

BENCHMARK(BM_PackDeflated)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Zip9)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PackStored)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_CopyFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Peak resident memory in KiB of one quorle-tool run, or 0 when it failed.
long ToolPeakKb(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 0;
    return usage.ru_maxrss;
}

void ReportMemory() {
    const std::wstring stamp = platform::MakeTempFile();
    const std::wstring base = stamp + L".big";
    const std::wstring folder = base + L"\\in";
    if (!platform::CreateFolder(base) || !platform::CreateFolder(folder))
        return;
    // 200 MB of photographs one after another: what a large film-like file gives deflate.
    {
        platform::File f;
        std::vector<uint8_t> photo = bench::MakePhotoJpeg(1, 1600, 1200);
        bool ok = f.Open(folder + L"\\big.bin", platform::OpenMode::CreateAlways);
        for (size_t written = 0; ok && written < 200000000; written += photo.size()) {
            ok = f.Write(photo.data(), photo.size()) == photo.size();
            photo[written % photo.size()] ^= 0x5A; // no two copies alike
        }
    }
    for (const char* method : {"", "--deflate"}) {
        std::vector<std::string> args = {QUORLE_TOOL, "zip-create", Native(folder), Native(base + L"\\big.zip")};
        if (*method)
            args.push_back(method);
        const long kb = ToolPeakKb(args);
        std::printf("peak memory packing 200 MB %-10s %7.1f MiB  (target < 64)\n", *method ? "deflated" : "stored",
                    static_cast<double>(kb) / 1024.0);
        Shell("rm -f '" + Native(base) + "'/big*.zip");
    }
    Shell("rm -rf '" + Native(base) + "'");
    platform::DeleteFileAt(stamp);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bench::PrintRatio(reporter, "pack deflated / zip -9 -r -q", "BM_PackDeflated/iterations:3/real_time",
                      "BM_Zip9/iterations:3/real_time", 1.10);
    bench::PrintRatio(reporter, "pack stored / cp -r", "BM_PackStored/iterations:10/real_time",
                      "BM_CopyFolder/iterations:10/real_time", 1.50);
    ReportMemory();
    return 0;
}
