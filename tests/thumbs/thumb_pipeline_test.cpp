#include "thumbs/thumb_pipeline.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "folder/listing.h"
#include "folder/pane_location.h"
#include "image/jpeg.h"
#include "tests/fixtures/byte_writer.h"

namespace {

using fixtures::ByteWriter;
using fixtures::TempFolder;

struct Rgb {
    uint8_t r, g, b;
};

// A baseline JPEG of `colour(x, y)` (y = 0 is the top row), with optional Exif orientation and comment.
std::vector<uint8_t> MakeJpeg(int width, int height, const std::function<Rgb(int x, int y)>& colour,
                              int orientation = 0, const std::string& comment = std::string()) {
    const size_t stride = static_cast<size_t>(image::StrideFor(static_cast<uint32_t>(width), 24));
    std::vector<uint8_t> pixels(stride * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pixels.data() + stride * static_cast<size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            row[3 * x] = c.b;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.r;
        }
    }
    std::vector<uint8_t> out(stride * static_cast<size_t>(height) + 65536);
    image::JpegEncoder enc = image::JpegEncoderInit(width, height, 90, out.data(), out.size());
    EXPECT_TRUE(image::EncodeJpeg(enc, pixels.data()));
    out.resize(enc.produced);

    ByteWriter extra;
    if (orientation != 0) {
        // APP1 "Exif": a little-endian TIFF header and one IFD holding tag 274.
        extra.U16BE(0xFFE1).U16BE(34).Ascii("Exif").U8(0).U8(0);
        extra.Ascii("II").U16LE(42).U32LE(8).U16LE(1);
        extra.U16LE(274).U16LE(3).U32LE(1).U16LE(static_cast<uint16_t>(orientation)).U16LE(0).U32LE(0);
    }
    if (!comment.empty())
        extra.U16BE(0xFFFE).U16BE(static_cast<uint16_t>(comment.size() + 2)).Ascii(comment);
    out.insert(out.begin() + 2, extra.Data().begin(), extra.Data().end());
    return out;
}

Rgb Solid(int, int) { return Rgb{200, 100, 50}; }

void SaveJpeg(const std::wstring& path, int width, int height, int orientation = 0, const std::string& comment = "") {
    ASSERT_TRUE(ByteWriter().Bytes(MakeJpeg(width, height, Solid, orientation, comment)).SaveTo(path));
}

// Blue, green, red of a thumbnail pixel; row 0 is the top row.
Rgb PixelAt(const folder::ThumbItem& item, int x, int y) {
    const size_t stride = static_cast<size_t>(image::StrideFor(static_cast<uint32_t>(item.header.width), 24));
    const uint8_t* p = item.pixels + stride * static_cast<size_t>(item.header.height - 1 - y) + 3 * x;
    return Rgb{p[2], p[1], p[0]};
}

bool Near(int a, int b, int tolerance = 12) { return std::abs(a - b) <= tolerance; }

thumbs::ProduceOptions Options(int boxWidth = 140, int boxHeight = 105) {
    thumbs::ProduceOptions options;
    options.settings.boxWidth = boxWidth;
    options.settings.boxHeight = boxHeight;
    options.settings.scaleMethod = image::kScaleAreaLinear;
    return options;
}

TEST(FitPicture, OrientationSixTurnsTheThumbnail) {
    TempFolder dir;
    // Left half red, right half blue.
    const std::vector<uint8_t> jpeg =
        MakeJpeg(4000, 3000, [](int x, int) { return x < 2000 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; }, 6);
    ASSERT_TRUE(ByteWriter().Bytes(jpeg).SaveTo(dir / L"turned.jpg"));
    TempFolder cache;

    struct Case {
        bool autoRotate;
        int thumbWidth, thumbHeight, width, height;
    } cases[] = {{true, 79, 105, 3000, 4000}, {false, 140, 105, 4000, 3000}};
    for (const Case& c : cases) {
        thumbs::ProduceOptions options = Options();
        options.settings.autoRotate = c.autoRotate;
        options.settings.cacheEnabled = false;
        folder::ThumbItemArray items;
        const thumbs::ProduceResult result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), options, {}, &items);
        ASSERT_EQ(result.items, 1u);
        const folder::ThumbItem& item = items.items[0];
        ASSERT_NE(item.pixels, nullptr);
        EXPECT_EQ(item.thumbWidth, c.thumbWidth);
        EXPECT_EQ(item.thumbHeight, c.thumbHeight);
        EXPECT_EQ(item.header.width, c.thumbWidth);
        EXPECT_EQ(item.header.height, c.thumbHeight);
        EXPECT_EQ(item.width, c.width);
        EXPECT_EQ(item.height, c.height);
        EXPECT_EQ(item.markE, 2);
        EXPECT_EQ(item.state, 1);
        if (c.autoRotate) {
            // A quarter turn clockwise: the left (red) half ends on top.
            const Rgb top = PixelAt(item, 39, 5), bottom = PixelAt(item, 39, 99);
            EXPECT_TRUE(top.r > 200 && top.b < 60) << int(top.r) << " " << int(top.b);
            EXPECT_TRUE(bottom.b > 200 && bottom.r < 60) << int(bottom.r) << " " << int(bottom.b);
        } else {
            const Rgb left = PixelAt(item, 5, 50);
            EXPECT_TRUE(left.r > 200 && left.b < 60);
        }
    }
    EXPECT_FALSE(platform::FileExists(thumbs::IndexPath(cache.Path()))); // cache disabled
}

TEST(FitPicture, SizesInTheBox) {
    struct Case {
        int width, height, method;
        int thumbWidth, thumbHeight;
    } cases[] = {
        {100, 50, image::kScaleAreaLinear, 100, 50},  // fits: not scaled
        {140, 105, image::kScaleAreaLinear, 140, 105}, // exactly the box
        {1000, 2, image::kScaleAreaLinear, 140, 1},    // rounds to 0: one pixel
        {2, 1000, image::kScaleNearest, 1, 105},
        {280, 210, image::kScaleBicubic, 140, 105},
        {300, 100, image::kScaleSystem, 140, 47}, // no system stretch here: area averaging instead
    };
    for (const Case& c : cases) {
        image::DecodedImage picture;
        image::SetBitmapHeader(picture, c.width, c.height, 24);
        image::AdoptPixels(picture, image::AllocPixelBlock(static_cast<uint32_t>(c.width),
                                                           static_cast<uint32_t>(c.height), 24));
        folder::ThumbItem item;
        item.width = c.width;
        item.height = c.height;
        thumbs::ThumbSettings settings;
        settings.scaleMethod = c.method;
        image::Scaler scaler;
        ASSERT_TRUE(thumbs::FitPicture(picture, item, 1, false, settings, scaler)) << c.width << "x" << c.height;
        EXPECT_EQ(image::Width(picture), c.thumbWidth) << c.width << "x" << c.height;
        EXPECT_EQ(image::Height(picture), c.thumbHeight) << c.width << "x" << c.height;
        EXPECT_EQ(item.thumbWidth, c.thumbWidth);
        EXPECT_EQ(item.thumbHeight, c.thumbHeight);
        EXPECT_EQ(item.width, c.width);
    }
}

TEST(Produce, SecondRunComesFromTheCache) {
    TempFolder dir;
    SaveJpeg(dir / L"img10.jpg", 640, 480, 1, "first");
    SaveJpeg(dir / L"img2.jpg", 100, 50);
    SaveJpeg(dir / L"dot.jpg", 1, 1);
    ASSERT_TRUE(ByteWriter().Ascii("not a picture at all").SaveTo(dir / L"broken.jpg"));
    TempFolder cache;

    folder::ThumbItemArray cold;
    thumbs::ProduceResult result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options(), {}, &cold);
    EXPECT_TRUE(result.listed);
    EXPECT_EQ(result.items, 4u);
    EXPECT_EQ(result.decoded, 3u);
    EXPECT_EQ(result.fromCache, 0u);
    EXPECT_TRUE(result.cacheWritten);
    ASSERT_EQ(cold.items[0].name, L"broken.jpg");
    EXPECT_EQ(cold.items[0].pixels, nullptr);
    EXPECT_EQ(cold.items[0].state, 1); // done with, without a picture
    EXPECT_EQ(cold.items[1].name, L"dot.jpg");
    EXPECT_EQ(cold.items[2].name, L"img2.jpg");
    EXPECT_EQ(cold.items[3].name, L"img10.jpg");
    EXPECT_EQ(cold.items[3].thumbWidth, 140);
    EXPECT_EQ(cold.items[3].markC, 1);
    EXPECT_EQ(cold.items[3].markE, 1);
    EXPECT_EQ(cold.items[2].thumbWidth, 100);
    EXPECT_EQ(cold.items[1].thumbWidth, 1);
    EXPECT_EQ(cold.items[3].path, dir / L"img10.jpg");

    folder::ThumbItemArray warm;
    result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options(), {}, &warm);
    EXPECT_EQ(result.decoded, 0u); // the broken file is tried again, and fails again
    EXPECT_EQ(result.fromCache, 3u);
    EXPECT_FALSE(result.cacheWritten);
    for (size_t i = 1; i < 4; ++i) {
        const folder::ThumbItem& a = cold.items[i];
        const folder::ThumbItem& b = warm.items[i];
        EXPECT_EQ(b.fromCache, 1);
        EXPECT_EQ(b.state, 1);
        EXPECT_EQ(a.time, b.time);
        EXPECT_EQ(a.width, b.width);
        EXPECT_EQ(a.height, b.height);
        EXPECT_EQ(a.size, b.size);
        EXPECT_EQ(a.format, b.format);
        EXPECT_EQ(a.bitDepth, b.bitDepth);
        EXPECT_EQ(a.markC, b.markC);
        EXPECT_EQ(a.markE, b.markE);
        EXPECT_EQ(a.thumbWidth, b.thumbWidth);
        EXPECT_EQ(a.thumbHeight, b.thumbHeight);
        ASSERT_NE(b.pixels, nullptr);
        const Rgb p = PixelAt(b, 0, 0);
        EXPECT_TRUE(Near(p.r, 200) && Near(p.g, 100) && Near(p.b, 50)) << int(p.r) << "," << int(p.g) << "," << int(p.b);
    }
    // The 1 x 1 thumbnail's record fills a whole slot like every other.
    const std::vector<uint8_t> data = fixtures::ReadWholeFile(thumbs::DataFilePath(cache.Path(), 10000000));
    const size_t names = (7 + 8 + 9) * 2;
    EXPECT_EQ(data.size(), 8 + 3 * (64 + 44100) + names);
}

TEST(Produce, ChangedPictureIsDecodedAfreshAndRewritten) {
    TempFolder dir;
    SaveJpeg(dir / L"a.jpg", 300, 200);
    SaveJpeg(dir / L"b.jpg", 300, 200);
    TempFolder cache;
    thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options());

    SaveJpeg(dir / L"b.jpg", 200, 300);
    {
        platform::File f;
        platform::FileTime t = 0;
        ASSERT_TRUE(platform::GetLastWriteTime(dir / L"a.jpg", &t));
        ASSERT_TRUE(f.Open(dir / L"b.jpg", platform::OpenMode::ReadWrite));
        ASSERT_TRUE(f.SetLastWriteTime(t + 50000000));
    }
    folder::ThumbItemArray items;
    thumbs::ProduceResult result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options(), {}, &items);
    EXPECT_EQ(result.fromCache, 1u);
    EXPECT_EQ(result.decoded, 1u);
    EXPECT_TRUE(result.cacheWritten);
    EXPECT_EQ(items.items[1].width, 200);
    EXPECT_EQ(items.items[1].thumbHeight, 105);

    result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options(), {}, &items);
    EXPECT_EQ(result.fromCache, 2u);
    EXPECT_EQ(items.items[1].width, 200);
}

TEST(Produce, LargerBoxShowsCachedThumbnailsThenReplacesThem) {
    TempFolder dir;
    SaveJpeg(dir / L"a.jpg", 640, 480);
    SaveJpeg(dir / L"b.jpg", 100, 50);
    TempFolder cache;
    thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options(140, 105));

    struct Seen {
        size_t index;
        uint8_t state;
        int fromCache, thumbWidth, bitmapWidth;
    };
    std::vector<Seen> seen;
    thumbs::ThumbHooks hooks;
    hooks.itemDone = [&](size_t i, folder::ThumbItem& item) {
        seen.push_back(Seen{i, item.state, item.fromCache, item.thumbWidth, item.header.width});
    };
    thumbs::ProduceResult result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options(160, 120), hooks);
    EXPECT_EQ(result.fromCache, 2u);
    EXPECT_EQ(result.decoded, 2u);
    EXPECT_TRUE(result.cacheWritten);
    ASSERT_EQ(seen.size(), 4u);
    // First pass: the old thumbnails, drawn at the new fit of the full picture, not yet final.
    EXPECT_EQ(seen[0].state, 0);
    EXPECT_EQ(seen[0].fromCache, 1);
    EXPECT_EQ(seen[0].thumbWidth, 160);
    EXPECT_EQ(seen[0].bitmapWidth, 140);
    EXPECT_EQ(seen[1].thumbWidth, 100);
    // Second pass: made for the new box.
    EXPECT_EQ(seen[2].index, 0u);
    EXPECT_EQ(seen[2].state, 1);
    EXPECT_EQ(seen[2].bitmapWidth, 160);
    EXPECT_EQ(seen[3].state, 1);

    const thumbs::FindResult found =
        thumbs::FindLocation(cache.Path(), thumbs::CacheLocation{folder::kFileSystemFolder, dir.Path(), 160, 120, 0});
    EXPECT_TRUE(found.found);
    EXPECT_FALSE(found.dirty);
    seen.clear();
    result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options(160, 120), hooks);
    EXPECT_EQ(result.fromCache, 2u);
    EXPECT_EQ(result.decoded, 0u);
    EXPECT_EQ(seen.size(), 2u);
}

TEST(Produce, HandedOverThumbnailsStillReachTheCacheAfterABoxChange) {
    TempFolder dir;
    SaveJpeg(dir / L"a.jpg", 640, 480);
    SaveJpeg(dir / L"b.jpg", 100, 50);
    TempFolder cache;
    thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options(160, 120));

    // A smaller box: the cached thumbnails are shown refitted and the file is rewritten for the box,
    // though the pane took every pixel block as soon as it was done.
    folder::ThumbItemArray pane;
    ASSERT_TRUE(folder::AllocateItems(pane, 2));
    thumbs::ThumbHooks hooks;
    hooks.itemDone = [&pane](size_t i, folder::ThumbItem& item) { thumbs::HandOverThumbnail(item, pane.items[i]); };
    folder::ThumbItemArray items;
    thumbs::ProduceResult result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options(140, 105), hooks, &items);
    EXPECT_EQ(result.fromCache, 2u);
    EXPECT_EQ(result.decoded, 0u);
    EXPECT_TRUE(result.cacheWritten);
    EXPECT_EQ(items.items[0].pixels, nullptr);
    ASSERT_NE(pane.items[0].pixels, nullptr);
    EXPECT_EQ(pane.items[0].header.width, 140);

    folder::ThumbItemArray again;
    result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options(140, 105), {}, &again);
    EXPECT_EQ(result.fromCache, 2u);
    EXPECT_EQ(result.decoded, 0u);
    EXPECT_EQ(again.items[0].header.width, 140);
    EXPECT_EQ(again.items[1].header.width, 100);
}

TEST(Produce, APictureReadButNotFittedIsCountedNotPassedOff) {
    TempFolder dir;
    SaveJpeg(dir / L"big.jpg", 640, 480);
    SaveJpeg(dir / L"small.jpg", 100, 50);
    TempFolder cache;
    // The system stretch standing in for one that runs out of memory.
    image::Scaler scaler;
    int dc = 0;
    scaler.dc = &dc;
    scaler.system_stretch = [](image::Scaler&, const uint8_t*, int, int, int, int, const image::BitmapInfo*) {
        return platform::PageBlock();
    };
    thumbs::ThumbHooks hooks;
    hooks.scaler = &scaler;
    thumbs::ProduceOptions options = Options();
    options.settings.scaleMethod = image::kScaleSystem;
    folder::ThumbItemArray job;
    ASSERT_TRUE(folder::AllocateItems(job, 2));
    folder::PaneLocation location;
    folder::ArchiveListing listing;
    ASSERT_TRUE(folder::SetLocation(location, folder::kFileSystemFolder, {}, dir.Path(), false));
    ASSERT_TRUE(folder::ListFolder(location, folder::ListRequest(), &listing));
    thumbs::ThumbJob request;
    request.path = location.path;
    request.listing = &listing;
    request.items = job.items.data();
    request.count = 2;
    const thumbs::ThumbOutcome outcome = thumbs::ProcessThumbJob(cache.Path(), request, options.settings, hooks);
    EXPECT_EQ(outcome.decoded, 2u);
    EXPECT_EQ(outcome.unmade, 1u) << "the picture that needed scaling";
    EXPECT_EQ(job.items[0].pixels, nullptr);
    EXPECT_NE(job.items[1].pixels, nullptr) << "no scaling, no failure";
}

TEST(Produce, CancelStopsAfterTheItemInHandWithoutWriting) {
    TempFolder dir;
    for (const wchar_t* name : {L"1.jpg", L"2.jpg", L"3.jpg", L"4.jpg"})
        SaveJpeg(dir / name, 50, 50);
    TempFolder cache;
    int asked = 0;
    thumbs::ThumbHooks hooks;
    hooks.keepGoing = [&asked] { return ++asked < 2; };
    folder::ThumbItemArray items;
    const thumbs::ProduceResult result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options(), hooks, &items);
    EXPECT_EQ(result.decoded, 2u);
    EXPECT_FALSE(result.cacheWritten);
    EXPECT_NE(items.items[1].pixels, nullptr);
    EXPECT_EQ(items.items[2].pixels, nullptr);
    EXPECT_EQ(items.items[2].state, 0);
    EXPECT_FALSE(platform::FileExists(thumbs::IndexPath(cache.Path())));
}

TEST(Produce, ForcedRefreshIgnoresAndRewritesTheCache) {
    TempFolder dir;
    SaveJpeg(dir / L"a.jpg", 50, 50);
    TempFolder cache;
    thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options());
    thumbs::ProduceOptions options = Options();
    options.force = true;
    const thumbs::ProduceResult result = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), options);
    EXPECT_EQ(result.decoded, 1u);
    EXPECT_EQ(result.fromCache, 0u);
    EXPECT_TRUE(result.cacheWritten);

    options.settings.cacheEnabled = false; // a disabled cache is never written, forced or not
    const thumbs::ProduceResult off = thumbs::ProduceThumbnails(dir.Path(), cache.Path(), options);
    EXPECT_FALSE(off.cacheWritten);
    EXPECT_FALSE(off.cacheWriteFailed);
}

TEST(Produce, MissingOrEmptyFolder) {
    TempFolder dir;
    TempFolder cache;
    EXPECT_FALSE(thumbs::ProduceThumbnails(dir / L"missing", cache.Path(), Options()).listed);
    EXPECT_FALSE(thumbs::ProduceThumbnails(dir.Path(), cache.Path(), Options()).listed);
}

TEST(ProcessThumbJob, ArchiveMembersThroughTheReader) {
    TempFolder dir;
    const std::wstring archive = dir / L"photos.zip";
    ASSERT_TRUE(ByteWriter().Fill(16).SaveTo(archive));
    platform::FileTime archiveTime = 0;
    ASSERT_TRUE(platform::GetLastWriteTime(archive, &archiveTime));
    std::map<uint32_t, std::vector<uint8_t>> members = {
        {100, MakeJpeg(300, 150, Solid)},
        {200, MakeJpeg(60, 80, Solid, 8)},
    };
    folder::ArchiveListing listing;
    listing.archiveTime = archiveTime;
    for (const auto& m : members) {
        folder::ArchiveEntry e;
        e.name = m.first == 100 ? L"root.jpg" : L"turned.jpg";
        e.folder = m.first == 100 ? L"" : L"sub\\";
        e.locator = m.first;
        e.time = 1000 + m.first;
        listing.entries.push_back(e);
    }
    // An archive whose members come from memory, counting its reads.
    struct MemoryArchive : folder::ArchiveSource {
        std::map<uint32_t, std::vector<uint8_t>>* members = nullptr;
        mutable int reads = 0;
        bool ReadMember(const std::wstring&, const folder::ArchiveEntry& entry, platform::PageBlock* block,
                        size_t* length) const override {
            ++reads;
            const std::vector<uint8_t>& bytes = (*members)[entry.locator];
            *block = platform::PageBlock(bytes.size() + 4);
            std::memcpy(block->Get(), bytes.data(), bytes.size());
            *length = bytes.size();
            return true;
        }
    } source;
    source.members = &members;
    const int& reads = source.reads;
    // As the Windows worker does: every finished thumbnail goes to the pane, the job keeps no pixels.
    folder::ThumbItemArray items, pane;
    ASSERT_TRUE(folder::AllocateItems(items, 2));
    ASSERT_TRUE(folder::AllocateItems(pane, 2));
    thumbs::ThumbHooks hooks;
    hooks.itemDone = [&pane](size_t index, folder::ThumbItem& item) { thumbs::HandOverThumbnail(item, pane.items[index]); };
    thumbs::ThumbJob job;
    job.kind = folder::kZipArchive;
    job.source = &source;
    job.path = archive;
    job.locationTime = archiveTime;
    job.listing = &listing;
    job.items = items.items.data();
    job.count = 2;
    thumbs::ThumbSettings settings;
    settings.scaleMethod = image::kScaleNearest;
    TempFolder cache;

    thumbs::ThumbOutcome outcome = thumbs::ProcessThumbJob(cache.Path(), job, settings, hooks);
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.decoded, 2u);
    EXPECT_TRUE(outcome.writeCache);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(items.items[0].locator, 100);
    EXPECT_EQ(items.items[0].time, 1100u); // archive members keep their listed time
    EXPECT_EQ(items.items[0].thumbWidth, 140);
    EXPECT_EQ(items.items[0].thumbHeight, 70);
    EXPECT_EQ(items.items[1].path, L"sub\\");
    EXPECT_EQ(items.items[1].width, 80); // orientation 8: turned a quarter counter-clockwise
    EXPECT_EQ(items.items[1].height, 60);
    EXPECT_EQ(items.items[1].thumbWidth, 80);
    EXPECT_EQ(items.items[1].thumbHeight, 60);
    EXPECT_EQ(items.items[1].pixels, nullptr);
    ASSERT_NE(pane.items[1].pixels, nullptr);
    EXPECT_EQ(pane.items[1].thumbWidth, 80);
    ASSERT_TRUE(thumbs::WriteThumbCache(cache.Path(), job, settings, outcome, nullptr));

    folder::ThumbItemArray again;
    ASSERT_TRUE(folder::AllocateItems(again, 2));
    job.items = again.items.data();
    outcome = thumbs::ProcessThumbJob(cache.Path(), job, settings, hooks);
    EXPECT_EQ(outcome.fromCache, 2u) << "the records were written from the streams, not the pixels";
    EXPECT_EQ(reads, 2);
    EXPECT_FALSE(outcome.writeCache);
    EXPECT_EQ(again.items[1].width, 80);
    EXPECT_EQ(pane.items[1].header.width, 80);
    EXPECT_EQ(pane.items[1].header.height, 60);
}

} // namespace
