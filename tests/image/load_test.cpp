#include "image/load.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/decoded_image.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/image/gif_fixtures.h"
#include "tests/image/jpeg_fixtures.h"
#include "tests/image/png_fixtures.h"
#include "tests/image/tiff_fixtures.h"

namespace {

using image::DecodedImage;
using image::ImageFormat;
using image::LoadReport;
namespace status = image::status;

// A stand-in for the plug-in host: answers with a 2 x 1 indexed picture, as plug-ins may.
class FakePlugins : public image::ImagePluginFallback {
  public:
    bool succeed = true;
    int file_calls = 0;
    int memory_calls = 0;
    std::wstring last_name;

    bool DecodeFile(const std::wstring&, DecodedImage& out) override {
        ++file_calls;
        return Produce(out);
    }
    bool DecodeMemory(const uint8_t*, size_t, const std::wstring& name, DecodedImage& out) override {
        ++memory_calls;
        last_name = name;
        return Produce(out);
    }

  private:
    bool Produce(DecodedImage& out) {
        if (!succeed)
            return false;
        image::SetBitmapHeader(out, 2, 1, 8);
        out.info.colors[1] = image::RgbQuad{1, 2, 3, 0};
        platform::PageBlock block = image::AllocPixelBlock(2, 1, 8);
        block.Get()[1] = 1;
        image::AdoptPixels(out, std::move(block));
        return true;
    }
};

// Installs the stand-in for one test and removes it afterwards.
class LoadTest : public ::testing::Test {
  protected:
    void SetUp() override { image::SetImagePluginFallback(&plugins); }
    void TearDown() override { image::SetImagePluginFallback(nullptr); }

    std::wstring Save(const std::wstring& name, const std::vector<uint8_t>& bytes) {
        fixtures::ByteWriter w;
        w.Bytes(bytes);
        EXPECT_TRUE(w.SaveTo(dir / name));
        return dir / name;
    }
    image::LoadOptions WithPlugins() {
        image::LoadOptions o;
        o.plugin_folder = dir.Path();
        return o;
    }

    fixtures::TempFolder dir;
    FakePlugins plugins;
};

// An 8-bit bitmap of 2 x 1 pixels: indices 0 and 1 into a two-entry table.
std::vector<uint8_t> IndexedBmp() {
    fixtures::ByteWriter w;
    w.Ascii("BM").U32LE(0).U32LE(0).U32LE(54 + 8);
    w.U32LE(40).I32LE(2).I32LE(1).U16LE(1).U16LE(8).U32LE(0).U32LE(0).I32LE(0).I32LE(0).U32LE(2).U32LE(0);
    w.U32LE(0x00102030).U32LE(0x00405060);
    w.Bytes({0, 1, 0, 0});
    return w.Data();
}

TEST_F(LoadTest, GreyJpegArrivesWithEqualChannels) {
    testjpeg::Picture p;
    p.kind = testjpeg::Kind::Grey;
    p.width = 20;
    p.height = 10;
    p.sample = [](int x, int, int) { return static_cast<uint8_t>(x * 12); };
    const std::wstring path = Save(L"grey.jpg", testjpeg::Make(p));
    int orientation = 0;
    LoadReport report;
    image::ImagePtr img = image::LoadImageFromFile(path, &orientation, 0, image::LoadOptions(), &report);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->info.header.bit_count, 24);
    EXPECT_EQ(img->source_bits, 8u) << "the source was grey";
    EXPECT_EQ(orientation, 1);
    EXPECT_EQ(report.format, ImageFormat::Jpeg);
    EXPECT_EQ(report.status, status::kOk);
    EXPECT_NE(img->source_time, 0u);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const uint8_t* px = img->pixels + y * image::Stride(*img) + 3 * x;
            ASSERT_EQ(px[0], px[1]);
            ASSERT_EQ(px[1], px[2]);
        }
}

TEST_F(LoadTest, JpegReportsOrientationFactsAndHonoursTheFitSize) {
    testjpeg::Picture p;
    p.width = 800;
    p.height = 600;
    p.progressive = true;
    std::vector<uint8_t> file = testjpeg::InsertAfterSoi(testjpeg::Make(p), testjpeg::CommentSegment("c"));
    file = testjpeg::InsertAfterSoi(file, testjpeg::ExifSegment(6));
    const std::wstring path = Save(L"photo.jpg", file);
    int orientation = 0;
    LoadReport report;
    image::ImagePtr img = image::LoadImageFromFile(path, &orientation, 75, image::LoadOptions(), &report);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->info.header.width, 100);
    EXPECT_EQ(img->info.header.height, 75);
    EXPECT_EQ(orientation, 6);
    auto fact = [&](const char* key) {
        for (const image::DecoderFact& f : report.facts)
            if (std::strcmp(f.key, key) == 0)
                return static_cast<int>(f.value);
        return -1;
    };
    EXPECT_EQ(fact("progressive"), 1);
    EXPECT_EQ(fact("exif"), 1);
    EXPECT_EQ(fact("comments"), 1);
    EXPECT_EQ(fact("stored_width"), 800);
}

TEST_F(LoadTest, IndexedPicturesAreConvertedThroughTheirTable) {
    image::ImagePtr img = image::LoadImageFromFile(Save(L"a.bmp", IndexedBmp()), nullptr, 0);
    ASSERT_TRUE(img);
    ASSERT_EQ(img->info.header.bit_count, 24);
    const uint8_t want[6] = {0x30, 0x20, 0x10, 0x60, 0x50, 0x40};
    EXPECT_EQ(std::memcmp(img->pixels, want, 6), 0);
    EXPECT_EQ(img->format, 1u);
}

TEST_F(LoadTest, PluginsAreTheFallbackOnlyWithAnExistingFolder) {
    const std::wstring seven = Save(L"seven.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0});
    LoadReport report;
    EXPECT_FALSE(image::LoadImageFromFile(seven, nullptr, 0, image::LoadOptions(), &report));
    EXPECT_EQ(report.format, ImageFormat::Unreadable);
    EXPECT_EQ(plugins.file_calls, 0) << "no plug-in folder set";

    image::LoadOptions missing;
    missing.plugin_folder = dir / L"nope";
    EXPECT_FALSE(image::LoadImageFromFile(seven, nullptr, 0, missing));
    EXPECT_EQ(plugins.file_calls, 0);

    image::ImagePtr img = image::LoadImageFromFile(seven, nullptr, 0, WithPlugins(), &report);
    ASSERT_TRUE(img);
    EXPECT_EQ(plugins.file_calls, 1);
    EXPECT_TRUE(report.from_plugin);
    EXPECT_EQ(img->info.header.bit_count, 24) << "plug-in pictures are converted too";
    EXPECT_EQ(img->pixels[3 + 2], 3);

    plugins.succeed = false;
    EXPECT_FALSE(image::LoadImageFromFile(seven, nullptr, 0, WithPlugins()));
    EXPECT_FALSE(image::LoadImageFromFile(dir / L"missing.jpg", nullptr, 0, WithPlugins()));
    EXPECT_EQ(plugins.file_calls, 2) << "a missing file never reaches the plug-ins";
}

TEST_F(LoadTest, FailedBuiltInDecodeFallsBackAndKeepsItsStatus) {
    // A top-down bitmap: the built-in reader refuses it, a plug-in may not.
    std::vector<uint8_t> bmp = IndexedBmp();
    bmp[22] = 0xFF;
    bmp[23] = 0xFF;
    bmp[24] = 0xFF;
    bmp[25] = 0xFF;
    const std::wstring path = Save(L"topdown.bmp", bmp);
    LoadReport report;
    EXPECT_TRUE(image::LoadImageFromFile(path, nullptr, 0, WithPlugins(), &report));
    EXPECT_EQ(report.status, status::kBadFormat);
    EXPECT_EQ(report.format, ImageFormat::Bmp);
    EXPECT_TRUE(report.from_plugin);

    // PNG data behind a .jpg name goes by its signature; without a PNG decoder the plug-ins get it.
    fixtures::ByteWriter png;
    png.Bytes({0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}).U32BE(13).Ascii("IHDR").Fill(17);
    const std::wstring fake = Save(L"really.jpg", png.Data());
    EXPECT_TRUE(image::LoadImageFromFile(fake, nullptr, 0, WithPlugins(), &report));
    EXPECT_EQ(report.format, ImageFormat::Png);
}

// A raised cancel flag stops every row-by-row decoder at its next band: the load fails, leaves no
// picture and does not hand the file to the plug-ins (which could not be stopped).
TEST_F(LoadTest, ACancelledLoadFailsWithoutAPictureOrPlugins) {
    testjpeg::Picture progressive;
    progressive.width = 64;
    progressive.height = 48;
    progressive.progressive = true;
    testjpeg::Picture baseline = progressive;
    baseline.progressive = false;
    testpng::Picture png;
    png.width = 40;
    png.height = 40;
    png.sample = [](uint32_t x, uint32_t y, uint32_t c) { return static_cast<uint16_t>((x * 5 + y * 3 + c) & 255); };
    testpng::Picture interlaced = png;
    interlaced.interlace = true;
    testgif::File gif;
    gif.width = 4;
    gif.height = 4;
    gif.global_bits = 1;
    gif.global_table = {0, 0, 0, 255, 255, 255};
    testgif::Frame frame;
    frame.width = 4;
    frame.height = 4;
    frame.indices = testgif::Bytes(16, 1);
    frame.min_code_size = 2;
    gif.frames.push_back(frame);
    testtiff::File tiff;
    tiff.tags = testtiff::Baseline(4, 2, {8, 8, 8}, 2);
    tiff.strips.push_back(testtiff::Bytes(4 * 2 * 3, 200));
    const struct {
        const wchar_t* name;
        std::vector<uint8_t> bytes;
        uint32_t fit;
    } pictures[] = {
        {L"progressive.jpg", testjpeg::Make(progressive), 0},
        {L"reduced.jpg", testjpeg::Make(progressive), 8},
        {L"baseline.jpg", testjpeg::Make(baseline), 0},
        {L"plain.png", testpng::Make(png), 0},
        {L"interlaced.png", testpng::Make(interlaced), 0},
        {L"frame.gif", testgif::Make(gif), 0},
        {L"strip.tif", testtiff::Make(tiff), 0},
    };
    std::atomic<bool> cancel{false};
    image::LoadOptions options = WithPlugins();
    options.cancel = &cancel;
    for (const auto& p : pictures) {
        SCOPED_TRACE(testing::Message() << p.name);
        const std::wstring path = Save(p.name, p.bytes);
        cancel.store(false);
        LoadReport report;
        image::ImagePtr whole = image::LoadImageFromFile(path, nullptr, p.fit, options, &report);
        ASSERT_TRUE(whole);
        EXPECT_FALSE(report.from_plugin) << "the built-in decoder reads it while nobody cancels";

        cancel.store(true);
        LoadReport cancelled;
        EXPECT_FALSE(image::LoadImageFromFile(path, nullptr, p.fit, options, &cancelled));
        EXPECT_EQ(cancelled.status, status::kCannotRead);
        EXPECT_FALSE(cancelled.from_plugin);
        EXPECT_EQ(plugins.file_calls, 0);
    }
}

// Hands out one block, like the archive layer does for the current member.
class FakeMember : public image::ArchiveMemberSource {
  public:
    explicit FakeMember(std::vector<uint8_t> bytes, bool available = true)
        : bytes_(std::move(bytes)), available_(available) {}
    bool ReadMember(platform::PageBlock* block, size_t* length) override {
        ++reads;
        if (!available_)
            return false;
        platform::PageBlock b(bytes_.size() + 4);
        if (!b)
            return false;
        if (!bytes_.empty())
            std::memcpy(b.Get(), bytes_.data(), bytes_.size());
        *block = std::move(b);
        *length = bytes_.size();
        return true;
    }
    std::wstring MemberName() const override { return L"dir\\member.jpg"; }
    int reads = 0;

  private:
    std::vector<uint8_t> bytes_;
    bool available_;
};

TEST_F(LoadTest, ArchiveMembersDecodeFromMemory) {
    testjpeg::Picture p;
    p.width = 64;
    p.height = 32;
    FakeMember jpeg(testjpeg::InsertAfterSoi(testjpeg::Make(p), testjpeg::ExifSegment(8)));
    int orientation = 0;
    image::ImagePtr img = image::LoadImageFromArchiveMember(jpeg, &orientation, 0);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->info.header.width, 64);
    EXPECT_EQ(img->source_time, 0u) << "no file time for memory";
    EXPECT_EQ(orientation, 8);

    FakeMember bmp(IndexedBmp());
    img = image::LoadImageFromArchiveMember(bmp, nullptr, 0);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->info.header.bit_count, 24);

    FakeMember tiny({0xFF, 0xD8, 0xFF});
    LoadReport report;
    EXPECT_FALSE(image::LoadImageFromArchiveMember(tiny, nullptr, 0, image::LoadOptions(), &report));
    EXPECT_EQ(report.format, ImageFormat::Unreadable);
    EXPECT_TRUE(image::LoadImageFromArchiveMember(tiny, nullptr, 0, WithPlugins()));
    EXPECT_EQ(plugins.memory_calls, 1);
    EXPECT_EQ(plugins.last_name, L"dir\\member.jpg");

    FakeMember gone({}, false);
    EXPECT_FALSE(image::LoadImageFromArchiveMember(gone, nullptr, 0, WithPlugins()));
    EXPECT_EQ(plugins.memory_calls, 1) << "nothing to decode, nothing for the plug-ins";
}

TEST(PixelBlock, SizeRuleAndThirtyTwoBitLimit) {
    size_t bytes = 0;
    ASSERT_TRUE(image::PixelBlockSize(1, 1, 24, &bytes));
    EXPECT_EQ(bytes, 8u);
    ASSERT_TRUE(image::PixelBlockSize(3, 2, 24, &bytes));
    EXPECT_EQ(bytes, 28u) << "12-byte rows plus 4 spare bytes";
    ASSERT_TRUE(image::PixelBlockSize(5, 3, 8, &bytes));
    EXPECT_EQ(bytes, 28u);
    ASSERT_TRUE(image::PixelBlockSize(4, 1073741822u, 8, &bytes));
    EXPECT_EQ(bytes, 4294967292u);
    EXPECT_FALSE(image::PixelBlockSize(4, 1073741823u, 8, &bytes));
    EXPECT_FALSE(image::PixelBlockSize(0x10000, 0x10000, 8, &bytes));
    EXPECT_FALSE(image::PixelBlockSize(0xFFFFFFFFu, 0xFFFFFFFFu, 24, &bytes));
    EXPECT_FALSE(image::PixelBlockSize(0, 5, 24, &bytes));
    EXPECT_FALSE(image::AllocPixelBlock(0x7FFFFFFF, 0x7FFFFFFF, 24));
}

TEST(ConvertTo24Bit, BuildsBlueGreenRedThroughTheTable) {
    DecodedImage img;
    image::SetBitmapHeader(img, 5, 2, 8);
    for (int i = 0; i < 256; ++i)
        img.info.colors[i] = image::RgbQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7, 0};
    platform::PageBlock block = image::AllocPixelBlock(5, 2, 8);
    for (int i = 0; i < 16; ++i)
        block.Get()[i] = static_cast<uint8_t>(i * 10);
    image::AdoptPixels(img, std::move(block));
    ASSERT_TRUE(image::ConvertTo24Bit(img));
    EXPECT_EQ(img.info.header.bit_count, 24);
    ASSERT_EQ(image::Stride(img), 16u);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint8_t index = static_cast<uint8_t>((y * 8 + x) * 10);
            const uint8_t* px = img.pixels + y * 16 + 3 * x;
            EXPECT_EQ(px[0], index);
            EXPECT_EQ(px[1], 255 - index);
            EXPECT_EQ(px[2], 7);
        }
    EXPECT_EQ(img.pixels[15], 0) << "padding";

    DecodedImage empty;
    image::SetBitmapHeader(empty, 5, 2, 8);
    EXPECT_FALSE(image::ConvertTo24Bit(empty));
}

TEST(DecodedImageRecord, MovesItsBlockAndMatchesTheBitmapInfoLayout) {
    DecodedImage a;
    image::SetBitmapHeader(a, 1, 1, 24);
    image::AdoptPixels(a, image::AllocPixelBlock(1, 1, 24));
    uint8_t* block = a.pixels;
    DecodedImage b(std::move(a));
    EXPECT_EQ(a.pixels, nullptr);
    EXPECT_EQ(b.pixels, block);
    DecodedImage c;
    c = std::move(b);
    EXPECT_EQ(c.pixels, block);
    uint8_t* taken = image::ReleasePixels(c);
    EXPECT_EQ(taken, block);
    platform::PageFree(taken);
    // What GDI reads: the header size at offset 0 and the first colour entry at offset 40.
    image::SetGreyRamp(c);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&c);
    EXPECT_EQ(raw[0], 40);
    EXPECT_EQ(raw[40 + 4 * 9], 9);
}

} // namespace
