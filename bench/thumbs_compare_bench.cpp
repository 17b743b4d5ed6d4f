// The thumbnail pipeline (quorle-tool thumbs) against GraphicsMagick's `gm mogrify -thumbnail` and
// `vipsthumbnail` on the same folders of 12-megapixel photographs, baseline and progressive, on one
// thread and on all, in one run; plus the PSNR of each progressive file's reduced decode against its
// whole decode. Prints a table of milliseconds per picture and the ratios; nothing is asserted.
// scripts/bench-thumbs.sh installs the other programs and runs it:
//   thumbs_compare_bench QUORLE_TOOL [FILES]      (default 20 files per folder)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/jpeg_baseline.h"
#include "common/platform.h"
#include "image/jpeg.h"
#include "tests/image/jpeg_dc_compare.h"
#include "thumbs/decode_pool.h"

namespace {

std::string Narrow(const std::wstring& s) { return platform::WideToUtf8(s); }

struct Folders {
    std::string root;
    std::string baseline, progressive;
};

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    platform::File f;
    return f.Open(platform::Utf8ToWide(path), platform::OpenMode::CreateAlways) && f.Write(bytes.data(), bytes.size()) == bytes.size();
}

bool MakeFolders(Folders& f, int files) {
    f.root = Narrow(platform::MakeTempFile()) + ".thumbs";
    f.baseline = f.root + "/baseline";
    f.progressive = f.root + "/progressive";
    if (std::system(("mkdir -p '" + f.baseline + "' '" + f.progressive + "'").c_str()) != 0)
        return false;
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/photo%03d.jpg", i);
        const uint32_t seed = 1000u + static_cast<uint32_t>(i);
        if (!WriteFile(f.baseline + name, bench::MakePhotoJpeg(seed)) ||
            !WriteFile(f.progressive + name, bench::MakePhotoJpeg(seed, bench::kPhotoWidth, bench::kPhotoHeight, true)))
            return false;
    }
    return true;
}

// Seconds of one shell command (its output dropped); negative when it failed.
double Time(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int rc = std::system((command + " >/dev/null 2>&1").c_str());
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return rc == 0 ? s : -1;
}

// The best of `rounds` runs, after `prepare` each time.
double Best(const std::string& prepare, const std::string& command, int rounds) {
    double best = -1;
    for (int r = 0; r < rounds; ++r) {
        if (!prepare.empty())
            std::system((prepare + " >/dev/null 2>&1").c_str());
        const double s = Time(command);
        if (s < 0)
            return -1;
        if (best < 0 || s < best)
            best = s;
    }
    return best;
}

struct Row {
    std::string name;
    double baseline = -1, progressive = -1; // seconds for the folder
};

void PrintRow(const Row& row, int files) {
    auto ms = [files](double s) { return s < 0 ? -1.0 : 1000 * s / files; };
    std::printf("%-34s %12.1f %12.1f\n", row.name.c_str(), ms(row.baseline), ms(row.progressive));
}

void PrintRatio(const char* label, double a, double b, double target) {
    if (a > 0 && b > 0)
        std::printf("%-58s %6.3f%s\n", label, a / b,
                    target > 0 ? ("  (target " + std::to_string(target).substr(0, 4) + ")").c_str() : "");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: thumbs_compare_bench QUORLE_TOOL [FILES]\n");
        return 1;
    }
    const std::string tool = argv[1];
    const int files = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const int rounds = 3;
    Folders f;
    if (!MakeFolders(f, files)) {
        std::fprintf(stderr, "cannot write the photographs\n");
        return 1;
    }
    const size_t all = thumbs::DefaultDecodeThreads();
    std::printf("files=%d per folder, 4000 x 3000, box 140 x 105, all threads=%zu, best of %d\n", files, all, rounds);

    const std::string cache = f.root + "/cache", out = f.root + "/out";
    const std::string clean = "rm -rf '" + cache + "' '" + out + "' && mkdir -p '" + cache + "' '" + out + "'";
    auto quorle = [&](const std::string& dir, const std::string& extra) {
        return Best(clean, "'" + tool + "' thumbs '" + dir + "' '" + cache + "' --box 140 105 --force " + extra, rounds);
    };
    auto gm = [&](const std::string& dir, size_t threads) {
        // gm puts each input's path, as given, under the output folder: give it bare names.
        return Best(clean, "cd '" + dir + "' && OMP_NUM_THREADS=" + std::to_string(threads) +
                               " gm mogrify -output-directory '" + out + "' -size 280x210 -thumbnail 140x105 *.jpg",
                    rounds);
    };
    auto vips = [&](const std::string& dir, size_t threads) {
        return Best(clean, "VIPS_CONCURRENCY=" + std::to_string(threads) + " vipsthumbnail -s 140x105 -o '" + out +
                               "/%s.jpg[Q=80]' '" + dir + "'/*.jpg",
                    rounds);
    };
    std::vector<Row> rows;
    rows.push_back({"quorle before (1 thread, whole)", quorle(f.baseline, "--threads 1 --whole"),
                    quorle(f.progressive, "--threads 1 --whole")});
    rows.push_back({"quorle 1 thread", quorle(f.baseline, "--threads 1"), quorle(f.progressive, "--threads 1")});
    rows.push_back({"quorle all threads", quorle(f.baseline, "--threads " + std::to_string(all)),
                    quorle(f.progressive, "--threads " + std::to_string(all))});
    rows.push_back({"gm -thumbnail 1 thread", gm(f.baseline, 1), gm(f.progressive, 1)});
    rows.push_back({"gm -thumbnail all threads", gm(f.baseline, all), gm(f.progressive, all)});
    rows.push_back({"vipsthumbnail 1 thread", vips(f.baseline, 1), vips(f.progressive, 1)});
    rows.push_back({"vipsthumbnail all threads", vips(f.baseline, all), vips(f.progressive, all)});

    std::printf("\n%-34s %12s %12s\n", "ms per picture", "baseline", "progressive");
    for (const Row& row : rows)
        PrintRow(row, files);
    std::printf("\n");
    const Row &before = rows[0], &one = rows[1], &allRow = rows[2];
    PrintRatio("progressive, 1 thread / before", one.progressive, before.progressive, 0.40);
    PrintRatio("baseline, all threads / before (1 thread)", allRow.baseline, before.baseline, 0.58);
    PrintRatio("progressive, all threads / before (1 thread)", allRow.progressive, before.progressive, 0);
    PrintRatio("baseline 1 thread / gm 1 thread", one.baseline, rows[3].baseline, 0);
    PrintRatio("progressive 1 thread / gm 1 thread", one.progressive, rows[3].progressive, 0);
    PrintRatio("baseline all / gm all", allRow.baseline, rows[4].baseline, 0);
    PrintRatio("progressive all / gm all", allRow.progressive, rows[4].progressive, 0);
    PrintRatio("baseline 1 thread / vipsthumbnail 1 thread", one.baseline, rows[5].baseline, 0);
    PrintRatio("progressive 1 thread / vipsthumbnail 1 thread", one.progressive, rows[5].progressive, 0);
    PrintRatio("baseline all / vipsthumbnail all", allRow.baseline, rows[6].baseline, 0);
    PrintRatio("progressive all / vipsthumbnail all", allRow.progressive, rows[6].progressive, 0);

    // The reduced decode of each progressive file against its whole decode at the same scale.
    double worst = 99;
    int reduced = 0;
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/photo%03d.jpg", i);
        const std::wstring path = platform::Utf8ToWide(f.progressive + name);
        image::JpegContext a, b;
        a.allow_dc_only = false;
        image::JpegSetFit(a, 140);
        image::JpegSetFit(b, 140);
        image::DecodedImage whole, part;
        if (!image::JpegDecodeFromFile(a, path, whole) || !image::JpegDecodeFromFile(b, path, part))
            continue;
        reduced += b.dc_only ? 1 : 0;
        const double db = testjpeg::Psnr(whole, part);
        worst = db < worst ? db : worst;
    }
    std::printf("\nprogressive files decoded from their kept scans: %d of %d; lowest PSNR against the whole "
                "decode: %.1f dB (99 = identical)\n",
                reduced, files, worst);
    std::system(("rm -rf '" + f.root + "'").c_str());
    platform::DeleteFileAt(platform::Utf8ToWide(f.root.substr(0, f.root.size() - 7)));
    return 0;
}
