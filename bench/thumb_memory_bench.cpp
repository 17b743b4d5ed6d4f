// Memory of one production as the program runs it: a worker fills private items, hands each finished
// thumbnail to the pane and writes the cache at the end. The pane is modelled by an array that keeps
// what it is handed. Prints the peak resident memory above idle against the pane's own thumbnail
// bytes; the budget is those bytes plus 32 MiB. A measurement, never an assertion.
//
//   thumb_memory_bench [--warm] [FILES [BOX_WIDTH BOX_HEIGHT]]    default 1000 pictures, 400 x 300 box
//
// --warm measures the reopen instead: a first production makes the cache, then the one measured
// takes every thumbnail from it (with its time).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/jpeg_baseline.h"
#include "common/platform.h"
#include "folder/listing.h"
#include "folder/pane_location.h"
#include "thumbs/thumb_pipeline.h"

namespace {

// Kilobytes of a /proc/self/status line.
size_t StatusKb(const char* key) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    size_t kb = 0;
    const size_t keyLength = std::strlen(key);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, keyLength) == 0)
            kb = std::strtoull(line + keyLength, nullptr, 10);
    std::fclose(f);
    return kb;
}

// Starts the peak (VmHWM) over from the current resident size.
bool ResetPeak() {
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f)
        return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

size_t PixelBytes(const folder::ThumbItem& item) {
    const size_t stride = (static_cast<size_t>(item.header.width) * 3 + 3) & ~static_cast<size_t>(3);
    return item.pixels ? stride * static_cast<size_t>(item.header.height) : 0;
}

void RemoveAll(const std::wstring& dir) {
    platform::ListFolder(dir, L"*", [&dir](const platform::FolderEntry& e) {
        platform::DeleteFileAt(dir + L"\\" + e.name);
        return true;
    });
    platform::RemoveFolder(dir);
}

double MiB(size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

} // namespace

int main(int argc, char** argv) {
    const bool warm = argc > 1 && std::strcmp(argv[1], "--warm") == 0;
    if (warm) {
        --argc;
        ++argv;
    }
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000;
    thumbs::ThumbSettings settings;
    settings.boxWidth = argc > 3 ? std::atoi(argv[2]) : 400;
    settings.boxHeight = argc > 3 ? std::atoi(argv[3]) : 300;
    settings.scaleMethod = image::kScaleAreaLinear;
    if (files <= 0) {
        std::fprintf(stderr, "usage: thumb_memory_bench [FILES [BOX_WIDTH BOX_HEIGHT]]\n");
        return 1;
    }

    const std::wstring base = platform::MakeTempFile();
    const std::wstring pictures = base + L".pictures", cache = base + L".cache";
    bool ok = platform::CreateFolder(pictures);
    {
        std::vector<std::vector<uint8_t>> originals;
        for (uint32_t seed = 1; seed <= 8; ++seed)
            originals.push_back(bench::MakePhotoJpeg(seed, 800, 600));
        for (int i = 0; ok && i < files; ++i) {
            const std::vector<uint8_t>& bytes = originals[static_cast<size_t>(i) % originals.size()];
            platform::File f;
            ok = f.Open(pictures + L"\\p" + std::to_wstring(100000 + i) + L".jpg", platform::OpenMode::CreateAlways) &&
                 f.Write(bytes.data(), bytes.size()) == bytes.size();
        }
    }

    folder::PaneLocation location;
    folder::ArchiveListing listing;
    folder::ThumbItemArray privateItems, pane;
    ok = ok && folder::SetLocation(location, folder::kFileSystemFolder, {}, pictures, false) &&
         folder::ListFolder(location, folder::ListRequest(), &listing) &&
         folder::AllocateItems(privateItems, listing.entries.size()) && folder::AllocateItems(pane, listing.entries.size());
    if (ok && warm) {
        thumbs::ThumbJob first;
        first.kind = location.kind;
        first.path = location.path;
        first.listing = &listing;
        first.items = privateItems.items.data();
        first.count = privateItems.items.size();
        const thumbs::ThumbOutcome made = thumbs::ProcessThumbJob(cache, first, settings, thumbs::ThumbHooks());
        ok = made.writeCache && thumbs::WriteThumbCache(cache, first, settings, made, nullptr) &&
             folder::AllocateItems(privateItems, listing.entries.size());
    }
    if (!ok || !ResetPeak()) {
        std::fprintf(stderr, "cannot prepare the pictures or reset the peak\n");
        return 1;
    }
    const size_t idleKb = StatusKb("VmRSS:");

    thumbs::ThumbJob job;
    job.kind = location.kind;
    job.path = location.path;
    job.listing = &listing;
    job.items = privateItems.items.data();
    job.count = privateItems.items.size();
    thumbs::ThumbHooks hooks;
    hooks.itemDone = [&pane](size_t index, folder::ThumbItem& item) {
        thumbs::HandOverThumbnail(item, pane.items[index]);
    };
    const auto start = std::chrono::steady_clock::now();
    const thumbs::ThumbOutcome outcome = thumbs::ProcessThumbJob(cache, job, settings, hooks);
    const bool written = outcome.writeCache && thumbs::WriteThumbCache(cache, job, settings, outcome, nullptr);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const size_t peakKb = StatusKb("VmHWM:");

    size_t paneBytes = 0, shown = 0, streamBytes = 0;
    for (const thumbs::ThumbRecord& record : outcome.records)
        streamBytes += record.stream.size();
    for (const folder::ThumbItem& item : pane.items) {
        paneBytes += PixelBytes(item);
        shown += item.pixels ? 1 : 0;
    }
    // What the pane's blocks occupy: natively each page block also carries a header page.
    const size_t beforeFreeKb = StatusKb("VmRSS:");
    for (folder::ThumbItem& item : pane.items)
        folder::FreeThumbnail(item);
    const size_t afterFreeKb = StatusKb("VmRSS:");
    const size_t paneResident = beforeFreeKb > afterFreeKb ? (beforeFreeKb - afterFreeKb) * 1024 : 0;
    const size_t peak = peakKb > idleKb ? (peakKb - idleKb) * 1024 : 0;
    std::printf("pictures            %d (%zu shown, %zu decoded, %zu from the cache, cache %s)\n", files, shown,
                outcome.decoded, outcome.fromCache, written ? "written" : "not written");
    std::printf("seconds             %8.3f\n", seconds);
    std::printf("box                 %d x %d\n", settings.boxWidth, settings.boxHeight);
    std::printf("pane thumbnails     %8.1f MiB pixels, %.1f MiB resident\n", MiB(paneBytes), MiB(paneResident));
    std::printf("cache streams       %8.1f MiB\n", MiB(streamBytes));
    std::printf("peak above idle     %8.1f MiB\n", MiB(peak));
    std::printf("excess over pane    %8.1f MiB  (budget 32 MiB)\n", MiB(peak) - MiB(paneResident));

    folder::ReleaseItems(pane);
    folder::ReleaseItems(privateItems);
    RemoveAll(pictures);
    RemoveAll(cache);
    platform::DeleteFileAt(base);
    return 0;
}
