#include "image/gif.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/image/gif_fixtures.h"

namespace {

using image::DecodedImage;
using image::GifContext;
using testgif::Bytes;
namespace status = image::status;

uint8_t IndexAt(const DecodedImage& img, uint32_t x, uint32_t y) {
    return img.pixels[(img.info.header.height - 1 - y) * image::Stride(img) + x];
}

bool Decode(GifContext& ctx, const Bytes& file, DecodedImage& img) {
    return image::GifDecodeFromMemory(ctx, file.data(), file.size(), img);
}

Bytes Ramp(uint32_t entries) {
    Bytes t;
    for (uint32_t i = 0; i < entries; ++i) {
        t.push_back(static_cast<uint8_t>(i));
        t.push_back(static_cast<uint8_t>(2 * i));
        t.push_back(static_cast<uint8_t>(255 - i));
    }
    return t;
}

// A w x h frame whose pixel (x, y) holds f(x, y).
template <typename F>
testgif::Frame FrameOf(uint16_t w, uint16_t h, F f) {
    testgif::Frame fr;
    fr.width = w;
    fr.height = h;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            fr.indices.push_back(static_cast<uint8_t>(f(x, y)));
    return fr;
}

testgif::File Screen(uint16_t w, uint16_t h, uint32_t global_bits = 8) {
    testgif::File f;
    f.width = w;
    f.height = h;
    f.global_bits = global_bits;
    f.global_table = Ramp(1u << global_bits);
    return f;
}

TEST(GifDecode, FirstImageOfEitherVersion) {
    for (const char* version : {"87a", "89a"}) {
        testgif::File f = Screen(4, 3, 2);
        f.version = version;
        f.frames.push_back(FrameOf(4, 3, [](uint32_t x, uint32_t y) { return (x + y) % 4; }));
        f.frames[0].min_code_size = 2;
        GifContext ctx;
        DecodedImage img;
        ASSERT_TRUE(Decode(ctx, testgif::Make(f), img)) << ctx.src.status;
        EXPECT_EQ(img.info.header.width, 4);
        EXPECT_EQ(img.info.header.height, 3);
        EXPECT_EQ(img.info.header.bit_count, 8);
        EXPECT_EQ(img.source_bits, 2u);
        EXPECT_EQ(img.format, 5u);
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t x = 0; x < 4; ++x)
                EXPECT_EQ(IndexAt(img, x, y), (x + y) % 4);
        EXPECT_EQ(img.info.colors[3].red, 3);
        EXPECT_EQ(img.info.colors[3].green, 6);
        EXPECT_EQ(img.info.colors[3].blue, 252);
        EXPECT_EQ(img.info.colors[4].red, 0); // beyond the file's table
    }
}

TEST(GifDecode, AnimatedFileYieldsItsFirstImage) {
    testgif::File f = Screen(3, 3);
    f.blocks = testgif::Application("NETSCAPE2.0", {1, 0, 0});
    f.frames.push_back(FrameOf(3, 3, [](uint32_t, uint32_t) { return 7; }));
    f.frames.push_back(FrameOf(3, 3, [](uint32_t, uint32_t) { return 9; }));
    GifContext ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(ctx, testgif::Make(f), img));
    EXPECT_EQ(IndexAt(img, 2, 2), 7);
}

TEST(GifDecode, FrameSitsOnTheScreenInItsBackground) {
    testgif::File f = Screen(20, 20);
    f.background = 42;
    testgif::Frame fr = FrameOf(10, 10, [](uint32_t x, uint32_t y) { return 100 + x + 10 * y; });
    fr.left = 5;
    fr.top = 5;
    f.frames.push_back(fr);
    GifContext ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(ctx, testgif::Make(f), img));
    for (uint32_t y = 0; y < 20; ++y) {
        for (uint32_t x = 0; x < 20; ++x) {
            const bool inside = x >= 5 && x < 15 && y >= 5 && y < 15;
            ASSERT_EQ(IndexAt(img, x, y), inside ? 100 + (x - 5) + 10 * (y - 5) : 42) << x << "," << y;
        }
    }
    EXPECT_EQ(ctx.frame_left, 5);
    EXPECT_EQ(ctx.frame_width, 10);
}

TEST(GifDecode, InterlacedRowsComeInFourPasses) {
    // Stream order of a 7-row image: rows 0, 4, 2, 6, 1, 3, 5.
    const uint32_t order[7] = {0, 4, 2, 6, 1, 3, 5};
    for (uint16_t width : {uint16_t(3), uint16_t(1)}) {
        testgif::File f = Screen(width + 2, 7);
        f.background = 200;
        testgif::Frame fr;
        fr.width = width;
        fr.height = 7;
        fr.interlace = true;
        for (uint32_t row : order)
            for (uint16_t x = 0; x < width; ++x)
                fr.indices.push_back(static_cast<uint8_t>(10 * row + x));
        f.frames.push_back(fr);
        GifContext ctx;
        DecodedImage img;
        ASSERT_TRUE(Decode(ctx, testgif::Make(f), img));
        EXPECT_TRUE(ctx.interlaced);
        for (uint32_t y = 0; y < 7; ++y) {
            for (uint16_t x = 0; x < width; ++x)
                EXPECT_EQ(IndexAt(img, x, y), 10 * y + x) << "row " << y;
            EXPECT_EQ(IndexAt(img, width, y), 200); // the right margin
        }
    }
}

TEST(GifDecode, CodeStreamEndingEarlyLeavesIndexZero) {
    testgif::File f = Screen(16, 16);
    testgif::Frame fr = FrameOf(16, 16, [](uint32_t x, uint32_t y) { return 1 + (x * 7 + y * 3) % 200; });
    f.frames.push_back(fr);
    Bytes file = testgif::Make(f);
    // Rebuild the image data with only the first 20 bytes of codes, properly terminated.
    const Bytes codes = testgif::Lzw(fr.indices, 8);
    Bytes head(file.begin(), file.begin() + 13 + 768 + 10 + 1);
    const Bytes cut = testgif::SubBlocks(Bytes(codes.begin(), codes.begin() + 20));
    head.insert(head.end(), cut.begin(), cut.end());
    head.push_back(0x3B);
    GifContext ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(ctx, head, img)) << ctx.src.status;
    EXPECT_EQ(IndexAt(img, 0, 0), fr.indices[0]);
    EXPECT_EQ(IndexAt(img, 15, 15), 0);
    EXPECT_EQ(IndexAt(img, 0, 15), 0);
}

TEST(GifDecode, LzwRoundTripsAtEveryCodeSize) {
    // Noise fills the 4,096-entry table (the encoder then clears); runs make long strings; an
    // encoder that clears early exercises clear codes in the middle.
    for (uint32_t min = 2; min <= 8; ++min) {
        for (uint32_t max_codes : {4096u, 300u}) {
            const uint32_t mask = (1u << min) - 1;
            testgif::File f = Screen(97, 61, min);
            testgif::Frame fr = FrameOf(97, 61, [&](uint32_t x, uint32_t y) {
                const uint32_t v = (x * 2654435761u) ^ (y * 40503u);
                return y % 3 == 0 ? (x / 9) & mask : (v >> 7) & mask;
            });
            fr.min_code_size = min;
            f.frames.push_back(fr);
            Bytes file = testgif::Make(f);
            if (max_codes != 4096) {
                // Same file with the early-clearing code stream.
                file.resize(13 + 3 * (1u << min) + 10);
                file.push_back(static_cast<uint8_t>(min));
                const Bytes blocks = testgif::SubBlocks(testgif::Lzw(fr.indices, min, max_codes), 100);
                file.insert(file.end(), blocks.begin(), blocks.end());
                file.push_back(0x3B);
            }
            SCOPED_TRACE(testing::Message() << "min " << min << " max " << max_codes);
            GifContext ctx;
            DecodedImage img;
            ASSERT_TRUE(Decode(ctx, file, img)) << ctx.src.status;
            for (uint32_t y = 0; y < 61; ++y)
                for (uint32_t x = 0; x < 97; ++x)
                    ASSERT_EQ(IndexAt(img, x, y), fr.indices[y * 97 + x]) << x << "," << y;
        }
    }
}

TEST(GifDecode, TransparencyOptions) {
    testgif::File f = Screen(2, 1);
    f.background = 3;
    f.blocks = testgif::GraphicControl(true, 1);
    f.frames.push_back(FrameOf(2, 1, [](uint32_t x, uint32_t) { return x; }));
    struct Case {
        bool composite;
        bool use_file;
        bool local;
        uint8_t r, g, b; // colour of the transparent entry 1
    } cases[] = {
        {false, true, false, 1, 2, 254},  // the entry's own colour
        {true, false, false, 0x11, 0x22, 0x33},
        {true, true, false, 3, 6, 252},   // global entry at the background index
        {true, true, true, 3, 6, 252},    // still the global table's, written into the local one
    };
    for (const Case& c : cases) {
        testgif::File g = f;
        if (c.local) {
            g.frames[0].local_bits = 2;
            g.frames[0].local_table = {9, 9, 9, 8, 8, 8};
        }
        GifContext ctx;
        ctx.options.composite = c.composite;
        ctx.options.use_file_background = c.use_file;
        ctx.options.background = 0x332211;
        DecodedImage img;
        ASSERT_TRUE(Decode(ctx, testgif::Make(g), img));
        EXPECT_TRUE(ctx.transparent);
        EXPECT_EQ(ctx.transparent_index, 1);
        const image::RgbQuad& q = img.info.colors[1];
        EXPECT_EQ(q.red, c.r);
        EXPECT_EQ(q.green, c.g);
        EXPECT_EQ(q.blue, c.b);
        EXPECT_EQ(img.info.colors[0].red, c.local ? 9 : 0);
    }
    // Without a global table the configured colour is used even with the file background wanted.
    testgif::File local_only = f;
    local_only.global_bits = 0;
    local_only.frames[0].local_bits = 1;
    local_only.frames[0].local_table = {9, 9, 9, 8, 8, 8};
    GifContext ctx;
    ctx.options.background = 0x0000FF;
    DecodedImage img;
    ASSERT_TRUE(Decode(ctx, testgif::Make(local_only), img));
    EXPECT_EQ(img.info.colors[1].red, 255);
    EXPECT_EQ(img.info.colors[1].blue, 0);
    EXPECT_EQ(img.source_bits, 1u);
}

TEST(GifDecode, ColourBitsAndExtensionFacts) {
    testgif::File f = Screen(2, 2, 8);
    f.blocks = testgif::Comment("made in a test");
    const Bytes plain_text = {0x21, 0x01, 12, 0, 0, 0, 0, 2, 0, 2, 0, 1, 1, 0, 0, 2, 'h', 'i', 0};
    f.blocks.insert(f.blocks.end(), plain_text.begin(), plain_text.end());
    testgif::Frame fr = FrameOf(2, 2, [](uint32_t x, uint32_t) { return x; });
    fr.local_bits = 1;
    fr.local_table = {1, 2, 3, 4, 5, 6};
    f.frames.push_back(fr);
    GifContext ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(ctx, testgif::Make(f), img)) << ctx.src.status;
    EXPECT_EQ(img.source_bits, 8u);
    EXPECT_TRUE(ctx.comment);
    EXPECT_FALSE(ctx.transparent);
    EXPECT_EQ(img.info.colors[1].red, 4); // the local table is the active one
}

TEST(GifDecode, DamageGivesItsStatus) {
    testgif::File good = Screen(4, 4, 2);
    good.frames.push_back(FrameOf(4, 4, [](uint32_t x, uint32_t) { return x; }));
    good.frames[0].min_code_size = 2;
    const Bytes file = testgif::Make(good);
    const size_t image_at = 13 + 12; // the 2C byte
    auto edited = [&](size_t at, uint8_t value) {
        Bytes b = file;
        b[at] = value;
        return b;
    };
    testgif::File outside = good;
    outside.frames[0].left = 1;
    testgif::File no_table = good;
    no_table.global_bits = 0;
    testgif::File trailer_first = good;
    trailer_first.blocks = {0x3B};
    testgif::File bad_label = good;
    bad_label.blocks = {0x21, 0x99, 0};
    testgif::File no_image = good;
    no_image.frames.clear();
    no_image.trailer = false;
    Bytes no_data(file.begin(), file.begin() + static_cast<long>(image_at + 11));
    no_data.push_back(0);
    Bytes runs_past(file.begin(), file.begin() + static_cast<long>(image_at + 11));
    runs_past.push_back(40);
    runs_past.push_back(1);

    struct Case {
        const char* name;
        Bytes data;
        uint32_t status;
    } cases[] = {
        {"not GIF", edited(0, 'J'), status::kNotFormat},
        {"version 88a", edited(4, '8'), status::kNotFormat},
        {"12 bytes", Bytes(file.begin(), file.begin() + 12), status::kNotFormat},
        {"zero width", edited(6, 0), status::kBadFormat},
        {"global table cut", Bytes(file.begin(), file.begin() + 20), status::kNotFormat},
        {"frame outside", testgif::Make(outside), status::kNotFormat},
        {"no colour table", testgif::Make(no_table), status::kNotFormat},
        {"code size 1", edited(image_at + 10, 1), status::kNotFormat},
        {"code size 9", edited(image_at + 10, 9), status::kNotFormat},
        {"trailer first", testgif::Make(trailer_first), status::kNotFormat},
        {"unknown block", edited(image_at, 0x2D), status::kCannotRead},
        {"unknown extension", testgif::Make(bad_label), status::kCannotRead},
        {"no image", testgif::Make(no_image), status::kNotFormat},
        {"no image data", no_data, status::kNotFormat},
        {"sub-block past the end", runs_past, status::kNotFormat},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GifContext ctx;
        DecodedImage img;
        EXPECT_FALSE(Decode(ctx, c.data, img));
        EXPECT_EQ(ctx.src.status, c.status);
        EXPECT_EQ(img.pixels, nullptr);
    }
    // Every prefix either decodes or fails with a status; none reads beyond its end.
    for (size_t n = 0; n < file.size(); ++n) {
        const Bytes part(file.begin(), file.begin() + static_cast<long>(n));
        GifContext ctx;
        DecodedImage img;
        if (!Decode(ctx, part, img)) {
            EXPECT_NE(ctx.src.status, status::kOk);
        }
    }
}

} // namespace
