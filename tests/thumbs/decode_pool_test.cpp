// The pipeline with its decodes on a pool against the same pipeline on one thread: the items reported
// in the same order, the same cache files byte for byte, a stop that leaves no thread more than the
// item it had in hand, and the caller told each time it is about to wait for a decode.
#include "thumbs/decode_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/platform.h"
#include "folder/listing.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/image/jpeg_fixtures.h"
#include "tests/thumbs/photo_fixtures.h"
#include "thumbs/thumb_pipeline.h"

namespace {

using fixtures::ByteWriter;
using fixtures::TempFolder;

std::vector<uint8_t> Progressive(int width, int height, uint32_t seed) {
    testjpeg::Picture p;
    p.width = width;
    p.height = height;
    p.progressive = true;
    p.quality = 85;
    p.sample = [seed](int x, int y, int c) { return static_cast<uint8_t>((x * (3 + c) + y * 2 + seed * 37) >> 2); };
    return testjpeg::Make(p);
}

// Baseline and progressive photographs (two of them reduced by 8 from their DC scans), an Exif-less
// BMP, a file no decoder reads and a JPEG cut short.
void FillFolder(const TempFolder& dir) {
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(photos::WriteJpeg(dir / (L"b" + std::to_wstring(i) + L".jpg"), 640 + 40 * i, 480, 7u + i));
    ASSERT_TRUE(ByteWriter().Bytes(Progressive(1200, 900, 1)).SaveTo(dir / L"p0.jpg"));
    ASSERT_TRUE(ByteWriter().Bytes(Progressive(1280, 960, 2)).SaveTo(dir / L"p1.jpg"));
    ASSERT_TRUE(ByteWriter().Bytes(Progressive(500, 300, 3)).SaveTo(dir / L"p2.jpg"));
    std::vector<uint8_t> cut = Progressive(1200, 900, 4);
    cut.resize(cut.size() / 3);
    ASSERT_TRUE(ByteWriter().Bytes(cut).SaveTo(dir / L"p3.jpg"));
    ASSERT_TRUE(photos::WriteBmp(dir / L"m.bmp", 300, 200, 9));
    ASSERT_TRUE(ByteWriter().Ascii("not a picture at all").SaveTo(dir / L"x.jpg"));
}

struct Production {
    std::vector<size_t> reported;
    std::vector<std::wstring> names;
    std::vector<int32_t> thumbSizes;
    thumbs::ProduceResult result;
};

Production Produce(const TempFolder& dir, const TempFolder& cache, thumbs::DecodePool* pool, int box, bool force) {
    Production run;
    thumbs::ProduceOptions options;
    options.settings.boxWidth = box;
    options.settings.boxHeight = box * 3 / 4;
    options.settings.scaleMethod = image::kScaleAreaLinear;
    options.force = force;
    thumbs::ThumbHooks hooks;
    hooks.pool = pool;
    hooks.itemDone = [&run](size_t index, folder::ThumbItem& item) {
        run.reported.push_back(index);
        run.names.push_back(item.name);
        run.thumbSizes.push_back(item.pixels ? item.thumbWidth * 1000 + item.thumbHeight : -1);
    };
    run.result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), options, hooks);
    return run;
}

std::map<std::wstring, std::vector<uint8_t>> CacheFiles(const TempFolder& cache) {
    std::map<std::wstring, std::vector<uint8_t>> files;
    platform::ListFolder(cache.Path(), L"*", [&](const platform::FolderEntry& e) {
        files[e.name] = fixtures::ReadWholeFile(cache / e.name);
        return true;
    });
    return files;
}

TEST(DecodePool, TwoThreadsReportInOrderAndWriteTheSameCacheAsOne) {
    TempFolder dir;
    FillFolder(dir);
    TempFolder cacheOne, cacheTwo;
    thumbs::DecodePool pool(2);
    ASSERT_EQ(pool.Threads(), 2u);
    // Fresh, from the cache, and from the cache with a larger box (the second pass replaces each).
    const struct {
        int box;
        bool force;
    } steps[] = {{140, true}, {140, false}, {200, false}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.box);
        const Production one = Produce(dir, cacheOne, nullptr, step.box, step.force);
        const Production two = Produce(dir, cacheTwo, &pool, step.box, step.force);
        ASSERT_EQ(one.result.items, 11u);
        EXPECT_EQ(one.reported, two.reported);
        EXPECT_EQ(one.names, two.names);
        EXPECT_EQ(one.thumbSizes, two.thumbSizes);
        EXPECT_EQ(one.result.decoded, two.result.decoded);
        EXPECT_EQ(one.result.fromCache, two.result.fromCache);
        EXPECT_TRUE(two.result.cacheWritten || !step.force);
        const auto a = CacheFiles(cacheOne), b = CacheFiles(cacheTwo);
        ASSERT_EQ(a.size(), b.size());
        for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
            EXPECT_EQ(i->first, j->first);
            EXPECT_TRUE(i->second == j->second) << "differs: " << platform::WideToUtf8(i->first);
        }
    }
}

// Archive members from memory, so the test sees when each decode starts.
struct CountingArchive : folder::ArchiveSource {
    std::vector<uint8_t> bytes;
    const std::atomic<bool>* stop = nullptr;
    mutable std::atomic<int> reads{0};
    mutable std::atomic<int> readsAfterStop{0};
    bool ReadMember(const std::wstring&, const folder::ArchiveEntry&, platform::PageBlock* block,
                    size_t* length) const override {
        ++reads;
        if (stop->load())
            ++readsAfterStop;
        *block = platform::PageBlock(bytes.size() + 4);
        std::memcpy(block->Get(), bytes.data(), bytes.size());
        *length = bytes.size();
        return true;
    }
};

TEST(DecodePool, AStopLeavesEachThreadAtMostTheItemInHand) {
    for (bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit (stop flag)" : "new request");
        std::atomic<bool> stop{false};
        CountingArchive source;
        source.bytes = Progressive(1200, 900, 5);
        source.stop = &stop;
        folder::ArchiveListing listing;
        for (uint32_t i = 0; i < 24; ++i) {
            folder::ArchiveEntry e;
            e.name = std::to_wstring(i) + L".jpg";
            e.locator = i + 1;
            listing.entries.push_back(e);
        }
        folder::ThumbItemArray items;
        ASSERT_TRUE(folder::AllocateItems(items, listing.entries.size()));
        thumbs::ThumbJob job;
        job.kind = folder::kZipArchive;
        job.source = &source;
        job.path = L"photos.zip";
        job.listing = &listing;
        job.items = items.items.data();
        job.count = listing.entries.size();
        thumbs::ThumbSettings settings;
        settings.scaleMethod = image::kScaleNearest;
        settings.load.cancel = &stop;
        thumbs::DecodePool pool(2);
        std::vector<size_t> reported;
        int asked = 0;
        thumbs::ThumbHooks hooks;
        hooks.pool = &pool;
        hooks.itemDone = [&reported](size_t index, folder::ThumbItem&) { reported.push_back(index); };
        hooks.keepGoing = [&] {
            if (++asked < 3)
                return true;
            if (quit)
                stop.store(true);
            return false;
        };
        const thumbs::ThumbOutcome outcome = thumbs::ProcessThumbJob(std::wstring(), job, settings, hooks);
        EXPECT_FALSE(outcome.finished);
        EXPECT_EQ(reported, (std::vector<size_t>{0, 1, 2}));
        // Never more handed out than the window of twice the threads beyond the item reported.
        EXPECT_LE(source.reads.load(), 3 + 4);
        // After the stop no decode starts; the ones already under way are one per thread at most.
        EXPECT_LE(source.readsAfterStop.load(), 2);
        for (size_t i = 3; i < items.items.size(); ++i)
            EXPECT_EQ(items.items[i].state, 0) << i;
    }
}

// The worker sends what it has made whenever it is about to wait, so a thumbnail is never held back
// behind the next decode. Here every decode holds on (5 s at most) until the caller has said so while
// that item was the next to report; even items need a decode, odd ones were ready at once (cached).
TEST(DecodePool, TheCallerSaysWhenItIsAboutToWaitForADecode) {
    thumbs::DecodePool two(2);
    for (thumbs::DecodePool* pool : {static_cast<thumbs::DecodePool*>(nullptr), &two}) {
        SCOPED_TRACE(pool ? "two threads" : "no pool");
        std::mutex mutex;
        std::condition_variable said;
        int consumed = 0;
        int announced = -1;
        std::vector<int> waits;
        std::atomic<int> heldTooLong{0};
        thumbs::OrderedSteps steps;
        steps.prepare = [](size_t i) { return i % 2 == 0; };
        steps.produce = [&](size_t i, image::Scaler&) {
            if (!pool)
                return;
            std::unique_lock<std::mutex> lock(mutex);
            if (!said.wait_for(lock, std::chrono::seconds(5), [&] { return announced >= static_cast<int>(i); }))
                ++heldTooLong;
        };
        steps.consume = [&](size_t) {
            std::lock_guard<std::mutex> lock(mutex);
            ++consumed;
            return true;
        };
        steps.waiting = [&] {
            std::lock_guard<std::mutex> lock(mutex);
            waits.push_back(consumed);
            announced = consumed;
            said.notify_all();
        };
        std::atomic<bool> cancel{false};
        image::Scaler scaler;
        EXPECT_TRUE(thumbs::RunInOrder(pool, 7, 4, steps, cancel, nullptr, scaler));
        EXPECT_EQ(waits, (std::vector<int>{0, 2, 4, 6}));
        EXPECT_EQ(heldTooLong.load(), 0);
    }
}

} // namespace
