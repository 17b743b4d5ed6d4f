#include "image/png.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/load.h"
#include "image/mul_table.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/image/png_fixtures.h"

namespace {

using image::DecodedImage;
using image::PngContext;
using testpng::Bytes;
namespace status = image::status;

// Noise-like samples, so that every predictor of every filter (Paeth's ties included) gets used.
uint16_t Varied(uint32_t x, uint32_t y, uint32_t c, uint8_t depth) {
    uint32_t v = x * 0x9E3779B1u ^ (y + 1) * 0x85EBCA77u ^ (c + 1) * 0xC2B2AE3Du;
    v ^= v >> 15;
    v *= 0x2C1B3C6Du;
    v ^= v >> 12;
    return static_cast<uint16_t>(depth == 16 ? (v * 2657u) & 0xFFFF : v & ((1u << depth) - 1));
}

// Every pixel's colour as the program shows it: 24-bit pixels, or the colour table through 8-bit ones.
struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb PixelAt(const DecodedImage& img, uint32_t x, uint32_t y) {
    const size_t stride = image::Stride(img);
    const uint8_t* row = img.pixels + (img.info.header.height - 1 - y) * stride;
    if (img.info.header.bit_count == 24)
        return Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    const image::RgbQuad& q = img.info.colors[row[x]];
    return Rgb{q.red, q.green, q.blue};
}

uint8_t IndexAt(const DecodedImage& img, uint32_t x, uint32_t y) {
    return img.pixels[(img.info.header.height - 1 - y) * image::Stride(img) + x];
}

bool Decode(const Bytes& file, DecodedImage& out, PngContext& ctx) {
    return image::PngDecodeFromMemory(ctx, file.data(), file.size(), out);
}

// Neither compositing nor gamma: the samples as stored.
struct Plain : PngContext {
    Plain() {
        options.composite = false;
        options.display_gamma = 0;
    }
};

Bytes Palette(uint32_t entries) {
    Bytes p;
    for (uint32_t i = 0; i < entries; ++i) {
        p.push_back(static_cast<uint8_t>(i * 3));
        p.push_back(static_cast<uint8_t>(255 - i));
        p.push_back(static_cast<uint8_t>(i * 7));
    }
    return p;
}

struct Format {
    uint8_t depth;
    uint8_t colour_type;
    uint16_t out_bits;
    uint32_t source_bits;
};

// Every allowed depth and colour type, both interlace methods, all five filters in turn (and sizes
// that leave partial bytes and empty Adam7 passes).
TEST(PngDecode, EveryFormatMatchesItsSamples) {
    const Format formats[] = {
        {1, 0, 8, 1},   {2, 0, 8, 2},   {4, 0, 8, 4},   {8, 0, 8, 8},   {16, 0, 8, 16},
        {1, 3, 8, 1},   {2, 3, 8, 2},   {4, 3, 8, 4},   {8, 3, 8, 8},   {8, 2, 24, 24},
        {16, 2, 24, 48}, {8, 4, 8, 8},  {16, 4, 8, 16}, {8, 6, 24, 24}, {16, 6, 24, 48},
    };
    const uint32_t sizes[][2] = {{13, 11}, {1, 1}, {3, 9}, {33, 2}, {40, 40}};
    for (const Format& f : formats) {
        for (bool interlace : {false, true}) {
            for (const auto& size : sizes) {
                testpng::Picture p;
                p.width = size[0];
                p.height = size[1];
                p.depth = f.depth;
                p.colour_type = f.colour_type;
                p.interlace = interlace;
                p.sample = [&](uint32_t x, uint32_t y, uint32_t c) { return Varied(x, y, c, f.depth); };
                p.filter = [](uint32_t n) { return static_cast<uint8_t>(n % 5); };
                std::vector<Bytes> before;
                if (f.colour_type == 3)
                    before.push_back(testpng::Chunk("PLTE", Palette(1u << f.depth)));
                const Bytes file = testpng::Make(p, before);
                SCOPED_TRACE(testing::Message() << "depth " << int(f.depth) << " type " << int(f.colour_type)
                                                << " interlace " << interlace << " " << p.width << "x" << p.height);
                Plain ctx;
                DecodedImage img;
                ASSERT_TRUE(Decode(file, img, ctx)) << ctx.src.status;
                EXPECT_EQ(img.info.header.bit_count, f.out_bits);
                EXPECT_EQ(img.source_bits, f.source_bits);
                EXPECT_EQ(img.format, 2u);
                EXPECT_EQ(ctx.interlaced, interlace);
                const Bytes pal = Palette(256);
                for (uint32_t y = 0; y < p.height; ++y) {
                    for (uint32_t x = 0; x < p.width; ++x) {
                        auto hi = [&](uint32_t c) {
                            const uint16_t v = p.sample(x, y, c);
                            return static_cast<uint8_t>(f.depth == 16 ? v >> 8 : v);
                        };
                        const Rgb got = PixelAt(img, x, y);
                        Rgb want{};
                        if (f.colour_type == 2 || f.colour_type == 6) {
                            want = Rgb{hi(0), hi(1), hi(2)};
                        } else if (f.colour_type == 3) {
                            const uint8_t i = hi(0);
                            want = Rgb{pal[3 * i], pal[3 * i + 1], pal[3 * i + 2]};
                        } else {
                            const uint8_t step = f.depth >= 8 ? 1 : static_cast<uint8_t>(255 / ((1 << f.depth) - 1));
                            const uint8_t v = static_cast<uint8_t>(hi(0) * step);
                            want = Rgb{v, v, v};
                        }
                        ASSERT_TRUE(got == want) << "pixel " << x << "," << y;
                    }
                }
            }
        }
    }
}

TEST(PngDecode, OneBitGreyHasBlackAndWhiteEntries) {
    testpng::Picture p;
    p.width = 9;
    p.height = 2;
    p.depth = 1;
    p.colour_type = 0;
    p.sample = [](uint32_t x, uint32_t, uint32_t) { return static_cast<uint16_t>(x & 1); };
    Plain ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(testpng::Make(p), img, ctx));
    EXPECT_EQ(img.info.header.bit_count, 8);
    EXPECT_EQ(img.info.colors[0].red, 0);
    EXPECT_EQ(img.info.colors[1].red, 255);
    EXPECT_EQ(img.info.colors[1].blue, 255);
    EXPECT_EQ(img.info.colors[2].red, 0); // only two levels
    EXPECT_EQ(IndexAt(img, 8, 1), 0);
    EXPECT_EQ(IndexAt(img, 7, 0), 1);
}

TEST(PngDecode, ImageDataEndingEarlyLeavesBlackRows) {
    testpng::Picture p;
    p.width = 5;
    p.height = 6;
    p.sample = [](uint32_t, uint32_t, uint32_t) { return uint16_t(200); };
    Bytes lines = testpng::Scanlines(p);
    const size_t row = 1 + 5 * 3;
    for (size_t cut : {row * 2, row * 2 + 7}) {
        SCOPED_TRACE(cut);
        const Bytes partial(lines.begin(), lines.begin() + static_cast<long>(cut));
        const Bytes file = testpng::File({testpng::Ihdr(5, 6, 8, 2), testpng::Chunk("IDAT", testpng::Zlib(partial)),
                                          testpng::Chunk("IEND", {})});
        Plain ctx;
        DecodedImage img;
        ASSERT_TRUE(Decode(file, img, ctx)) << ctx.src.status;
        EXPECT_EQ(ctx.src.status, status::kOk);
        EXPECT_TRUE(PixelAt(img, 4, 1) == (Rgb{200, 200, 200}));
        EXPECT_TRUE(PixelAt(img, 0, 2) == (Rgb{0, 0, 0}));
        EXPECT_TRUE(PixelAt(img, 4, 5) == (Rgb{0, 0, 0}));
    }
    // A deflate stream cut in the middle (no stream end at all) is tolerated the same way.
    Bytes z = testpng::Zlib(lines);
    z.resize(z.size() / 2);
    const Bytes file = testpng::File({testpng::Ihdr(5, 6, 8, 2), testpng::Chunk("IDAT", z), testpng::Chunk("IEND", {})});
    Plain ctx;
    DecodedImage img;
    EXPECT_TRUE(Decode(file, img, ctx)) << ctx.src.status;
}

TEST(PngDecode, BadChecksumAfterTheLastRowIsIgnored) {
    testpng::Picture p;
    p.width = 4;
    p.height = 3;
    p.interlace = true;
    p.sample = [](uint32_t x, uint32_t y, uint32_t c) { return static_cast<uint16_t>(x + 5 * y + 20 * c); };
    Bytes z = testpng::Zlib(testpng::Scanlines(p));
    z.back() ^= 0x55; // Adler-32
    const Bytes file = testpng::File({testpng::Ihdr(4, 3, 8, 2, 1), testpng::Chunk("IDAT", z), testpng::Chunk("IEND", {})});
    Plain ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(file, img, ctx)) << ctx.src.status;
    EXPECT_TRUE(PixelAt(img, 3, 2) == (Rgb{13, 33, 53}));
}

TEST(PngDecode, UnknownCriticalChunkAndFilterSevenAreTolerated) {
    testpng::Picture p;
    p.width = 3;
    p.height = 3;
    p.sample = [](uint32_t x, uint32_t y, uint32_t c) { return static_cast<uint16_t>(10 * x + 3 * y + c); };
    p.filter = [](uint32_t) { return uint8_t(7); };
    const Bytes file = testpng::Make(p, {testpng::Chunk("ABCD", {1, 2, 3}, false)});
    Plain ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(file, img, ctx)) << ctx.src.status;
    EXPECT_TRUE(PixelAt(img, 2, 2) == (Rgb{26, 27, 28}));
}

TEST(PngDecode, SplitImageDataIsJoined) {
    testpng::Picture p;
    p.width = 7;
    p.height = 5;
    p.sample = [](uint32_t x, uint32_t y, uint32_t c) { return static_cast<uint16_t>(x * 30 + y + c); };
    const Bytes z = testpng::Zlib(testpng::Scanlines(p));
    std::vector<Bytes> chunks = {testpng::Ihdr(7, 5, 8, 2)};
    // Pieces of 1, 0 and 5 bytes, then the rest.
    size_t at = 0;
    for (size_t n : {size_t(1), size_t(0), size_t(5), z.size() - 6}) {
        chunks.push_back(testpng::Chunk("IDAT", Bytes(z.begin() + static_cast<long>(at), z.begin() + static_cast<long>(at + n))));
        at += n;
    }
    chunks.push_back(testpng::Chunk("IEND", {}));
    Plain ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(testpng::File(chunks), img, ctx)) << ctx.src.status;
    EXPECT_EQ(ctx.idat_total, z.size());
    EXPECT_TRUE(PixelAt(img, 6, 4) == (Rgb{184, 185, 186}));
}

TEST(PngDecode, AlphaIsFlattenedThroughTheMulTable) {
    // RGBA row: alpha 0, 255, 128 and 1 over the configured background and over bKGD.
    const uint8_t alpha[4] = {0, 255, 128, 1};
    testpng::Picture p;
    p.width = 4;
    p.height = 1;
    p.colour_type = 6;
    p.sample = [&](uint32_t x, uint32_t, uint32_t c) { return c == 3 ? alpha[x] : static_cast<uint16_t>(40 + 50 * c); };
    const uint8_t* m = image::MulTable();
    const Bytes bkgd = testpng::Chunk("bKGD", {0, 9, 0, 99, 0, 199});
    struct Case {
        bool use_file;
        bool with_bkgd;
        uint8_t bg[3];
    } cases[] = {{true, false, {0x12, 0x34, 0x56}}, {true, true, {9, 99, 199}}, {false, true, {0x12, 0x34, 0x56}}};
    for (const Case& c : cases) {
        Plain ctx;
        ctx.options.composite = true;
        ctx.options.use_file_background = c.use_file;
        ctx.options.background = 0x563412;
        DecodedImage img;
        ASSERT_TRUE(Decode(testpng::Make(p, c.with_bkgd ? std::vector<Bytes>{bkgd} : std::vector<Bytes>{}), img, ctx));
        EXPECT_TRUE(ctx.transparent);
        EXPECT_TRUE(PixelAt(img, 0, 0) == (Rgb{c.bg[0], c.bg[1], c.bg[2]}));
        EXPECT_TRUE(PixelAt(img, 1, 0) == (Rgb{40, 90, 140}));
        for (uint32_t x = 2; x < 4; ++x) {
            const uint8_t a = alpha[x];
            auto mix = [&](uint8_t v, uint8_t b) {
                return static_cast<uint8_t>(image::Mul255(m, a, v) + image::Mul255(m, static_cast<uint8_t>(255 - a), b));
            };
            EXPECT_TRUE(PixelAt(img, x, 0) == (Rgb{mix(40, c.bg[0]), mix(90, c.bg[1]), mix(140, c.bg[2])}));
        }
    }
    // Composite off: the colours stay as stored whatever the alpha.
    Plain ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(testpng::Make(p), img, ctx));
    EXPECT_TRUE(PixelAt(img, 0, 0) == (Rgb{40, 90, 140}));
}

TEST(PngDecode, GreyAlphaUsesTheBackgroundsRed) {
    testpng::Picture p;
    p.width = 2;
    p.height = 1;
    p.colour_type = 4;
    p.sample = [](uint32_t x, uint32_t, uint32_t c) { return c == 1 ? uint16_t(x ? 255 : 0) : uint16_t(77); };
    Plain ctx;
    ctx.options.composite = true;
    ctx.options.background = 0x0000C8; // red 200
    DecodedImage img;
    ASSERT_TRUE(Decode(testpng::Make(p), img, ctx));
    EXPECT_EQ(IndexAt(img, 0, 0), 200);
    EXPECT_EQ(IndexAt(img, 1, 0), 77);
}

TEST(PngDecode, TransparencyChunks) {
    const uint8_t* m = image::MulTable();
    // Palette with alpha for entries 0 and 1 only (the rest are opaque).
    testpng::Picture pal;
    pal.width = 3;
    pal.height = 1;
    pal.colour_type = 3;
    pal.sample = [](uint32_t x, uint32_t, uint32_t) { return static_cast<uint16_t>(x); };
    const std::vector<Bytes> chunks = {testpng::Chunk("PLTE", {10, 20, 30, 40, 50, 60, 70, 80, 90}),
                                       testpng::Chunk("tRNS", {0, 100})};
    {
        Plain ctx;
        DecodedImage img;
        ASSERT_TRUE(Decode(testpng::Make(pal, chunks), img, ctx));
        EXPECT_TRUE(ctx.transparent);
        EXPECT_TRUE(PixelAt(img, 0, 0) == (Rgb{10, 20, 30})); // composite off: palette unchanged
    }
    {
        Plain ctx;
        ctx.options.composite = true;
        DecodedImage img;
        ASSERT_TRUE(Decode(testpng::Make(pal, chunks), img, ctx));
        EXPECT_TRUE(PixelAt(img, 0, 0) == (Rgb{255, 255, 255}));
        const auto mix = [&](uint8_t v) {
            return static_cast<uint8_t>(image::Mul255(m, 100, v) + image::Mul255(m, 155, 255));
        };
        EXPECT_TRUE(PixelAt(img, 1, 0) == (Rgb{mix(40), mix(50), mix(60)}));
        EXPECT_TRUE(PixelAt(img, 2, 0) == (Rgb{70, 80, 90}));
    }
    // tRNS longer than the palette, before PLTE, or with a bad CRC is ignored.
    for (const std::vector<Bytes>& bad :
         {std::vector<Bytes>{chunks[0], testpng::Chunk("tRNS", {0, 0, 0, 0})},
          std::vector<Bytes>{testpng::Chunk("tRNS", {0}), chunks[0]},
          std::vector<Bytes>{chunks[0], testpng::Chunk("tRNS", {0}, false)}}) {
        Plain ctx;
        ctx.options.composite = true;
        DecodedImage img;
        ASSERT_TRUE(Decode(testpng::Make(pal, bad), img, ctx));
        EXPECT_FALSE(ctx.transparent);
        EXPECT_TRUE(PixelAt(img, 0, 0) == (Rgb{10, 20, 30}));
    }

    // RGB key at depth 16 compares the high bytes only.
    testpng::Picture rgb;
    rgb.width = 3;
    rgb.height = 1;
    rgb.depth = 16;
    rgb.colour_type = 2;
    const uint16_t px[3][3] = {{0x1234, 0x5678, 0x9ABC}, {0x12FF, 0x5600, 0x9A00}, {0x1234, 0x5678, 0x9BBC}};
    rgb.sample = [&](uint32_t x, uint32_t, uint32_t c) { return px[x][c]; };
    {
        Plain ctx;
        ctx.options.composite = true;
        ctx.options.background = 0x030201;
        DecodedImage img;
        ASSERT_TRUE(Decode(testpng::Make(rgb, {testpng::Chunk("tRNS", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC})}), img, ctx));
        EXPECT_TRUE(PixelAt(img, 0, 0) == (Rgb{1, 2, 3}));
        EXPECT_TRUE(PixelAt(img, 1, 0) == (Rgb{1, 2, 3}));
        EXPECT_TRUE(PixelAt(img, 2, 0) == (Rgb{0x12, 0x56, 0x9B}));
    }
    // Grey key: that colour-table entry shows the background.
    testpng::Picture grey;
    grey.width = 2;
    grey.height = 1;
    grey.depth = 4;
    grey.colour_type = 0;
    grey.sample = [](uint32_t x, uint32_t, uint32_t) { return static_cast<uint16_t>(x ? 5 : 6); };
    Plain ctx;
    ctx.options.composite = true;
    ctx.options.background = 0x0000FF;
    DecodedImage img;
    ASSERT_TRUE(Decode(testpng::Make(grey, {testpng::Chunk("tRNS", {0, 5})}), img, ctx));
    EXPECT_TRUE(PixelAt(img, 1, 0) == (Rgb{255, 0, 0}));
    EXPECT_TRUE(PixelAt(img, 0, 0) == (Rgb{102, 102, 102}));
}

TEST(PngDecode, GammaMapsTableAndPixels) {
    // File gamma 0.5 on a display of 1.0: exponent 2.
    const Bytes gama = testpng::Chunk("gAMA", {0, 0, 0xC3, 0x50});
    testpng::Picture grey;
    grey.width = 1;
    grey.height = 1;
    grey.colour_type = 0;
    grey.sample = [](uint32_t, uint32_t, uint32_t) { return uint16_t(128); };
    testpng::Picture rgb = grey;
    rgb.colour_type = 2;
    for (const testpng::Picture& p : {grey, rgb}) {
        Plain ctx;
        ctx.options.display_gamma = 1000;
        DecodedImage img;
        ASSERT_TRUE(Decode(testpng::Make(p, {gama}), img, ctx));
        EXPECT_TRUE(PixelAt(img, 0, 0) == (Rgb{64, 64, 64})); // nearest((128/255)^2 x 255) = 64
        if (p.colour_type == 0) {
            EXPECT_EQ(img.info.colors[255].red, 255);
            EXPECT_EQ(img.info.colors[1].red, 0);
        }
        ctx.options.display_gamma = 0;
        ASSERT_TRUE(Decode(testpng::Make(p, {gama}), img, ctx));
        EXPECT_TRUE(PixelAt(img, 0, 0) == (Rgb{128, 128, 128}));
    }
    // gAMA after PLTE, a second gAMA, and gAMA 0 are ignored.
    testpng::Picture pal = grey;
    pal.colour_type = 3;
    pal.sample = [](uint32_t, uint32_t, uint32_t) { return uint16_t(0); };
    const Bytes plte = testpng::Chunk("PLTE", {128, 128, 128});
    for (const std::vector<Bytes>& chunks : {std::vector<Bytes>{plte, gama},
                                             std::vector<Bytes>{testpng::Chunk("gAMA", {0, 1, 0x86, 0xA0}), gama, plte},
                                             std::vector<Bytes>{testpng::Chunk("gAMA", {0, 0, 0, 0}), plte}}) {
        Plain ctx;
        ctx.options.display_gamma = 1000;
        DecodedImage img;
        ASSERT_TRUE(Decode(testpng::Make(pal, chunks), img, ctx));
        EXPECT_TRUE(PixelAt(img, 0, 0) == (Rgb{128, 128, 128}));
    }
}

TEST(PngDecode, ResolutionAndTextCounts) {
    testpng::Picture p;
    p.width = 1;
    p.height = 1;
    p.sample = [](uint32_t, uint32_t, uint32_t) { return uint16_t(1); };
    Bytes comment_data = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0};
    comment_data.resize(comment_data.size() + 100, 'x'); // a 100-byte comment
    const Bytes keyword80(81, 'k'); // no zero within the keyword's 80 bytes
    const std::vector<Bytes> chunks = {
        testpng::Chunk("pHYs", {0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x14, 1}),
        testpng::Chunk("tEXt", comment_data),
        testpng::Chunk("tEXt", {'T', 'i', 't', 'l', 'e', 0, 'a'}),
        testpng::Chunk("tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0}),
        testpng::Chunk("tEXt", {0, 'x'}),
        testpng::Chunk("tEXt", keyword80),
        testpng::Chunk("tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'b'}, false),
    };
    Plain ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(testpng::Make(p, chunks), img, ctx));
    EXPECT_EQ(img.info.header.x_pels_per_meter, 2835);
    EXPECT_EQ(img.info.header.y_pels_per_meter, 2836);
    EXPECT_EQ(ctx.text_count, 3u);
    EXPECT_EQ(ctx.comment_count, 2u);

    // Unit 0 (aspect ratio only) gives no resolution.
    ASSERT_TRUE(Decode(testpng::Make(p, {testpng::Chunk("pHYs", {0, 0, 0, 2, 0, 0, 0, 1, 0})}), img, ctx));
    EXPECT_EQ(img.info.header.x_pels_per_meter, 0);
}

struct FailCase {
    const char* name;
    Bytes file;
    uint32_t status;
};

TEST(PngDecode, DamageGivesItsStatus) {
    const Bytes ihdr = testpng::Ihdr(2, 2, 8, 0);
    const Bytes rows = {0, 1, 2, 0, 3, 4};
    const Bytes idat = testpng::Chunk("IDAT", testpng::Zlib(rows));
    const Bytes iend = testpng::Chunk("IEND", {});
    const Bytes text = testpng::Chunk("tEXt", {'a', 0, 'b'});
    auto with = [](std::vector<Bytes> chunks) { return testpng::File(chunks); };
    Bytes bad_sig = with({ihdr, idat, iend});
    bad_sig[3] = 'X';
    Bytes short_file = with({ihdr});
    short_file.pop_back();
    Bytes top_bit = testpng::Chunk("zzZz", {});
    top_bit[0] = 0x80;
    Bytes past_end = testpng::Chunk("zzZz", {1, 2, 3});
    past_end[3] = 50;
    const Bytes z = testpng::Zlib(rows);
    const Bytes garbage = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes ihdr12 = [] {
        Bytes c = testpng::Chunk("IHDR", {0, 0, 0, 2, 0, 0, 0, 2, 8, 0, 0, 0});
        return c;
    }();
    Bytes ihdr_bad_crc = ihdr;
    ihdr_bad_crc.back() ^= 1;

    const FailCase cases[] = {
        {"signature", bad_sig, status::kNotFormat},
        {"shorter than IHDR", short_file, status::kNotFormat},
        {"IHDR of 12 bytes", with({ihdr12, idat, iend}), status::kPngFirstLength},
        {"first chunk not IHDR", with({testpng::Chunk("IHDX", Bytes(13, 1)), idat, iend}), status::kPngFirstNotIhdr},
        {"IHDR CRC", with({ihdr_bad_crc, idat, iend}), status::kPngCrc},
        {"zero width", with({testpng::Ihdr(0, 2, 8, 0), idat, iend}), status::kBadFormat},
        {"width 2^31", with({testpng::Ihdr(0x80000000u, 1, 8, 0), idat, iend}), status::kBadFormat},
        {"block over 32 bits", with({testpng::Ihdr(0x7FFFFFFF, 0x7FFFFFFF, 8, 2), idat, iend}), status::kBadFormat},
        {"compression 1", with({testpng::Ihdr(2, 2, 8, 0, 0, 1), idat, iend}), status::kPngCompression},
        {"filter method 1", with({testpng::Ihdr(2, 2, 8, 0, 0, 0, 1), idat, iend}), status::kPngFilter},
        {"interlace 2", with({testpng::Ihdr(2, 2, 8, 0, 2), idat, iend}), status::kPngInterlace},
        {"depth 3", with({testpng::Ihdr(2, 2, 3, 0), idat, iend}), status::kPngBitDepth},
        {"RGB at depth 4", with({testpng::Ihdr(2, 2, 4, 2), idat, iend}), status::kPngColourType},
        {"palette at depth 16", with({testpng::Ihdr(2, 2, 16, 3), idat, iend}), status::kPngColourType},
        {"colour type 5", with({testpng::Ihdr(2, 2, 8, 5), idat, iend}), status::kPngColourType},
        {"second IHDR", with({ihdr, ihdr, idat, iend}), status::kPngOrder},
        {"two IDAT runs", with({ihdr, testpng::Chunk("IDAT", Bytes(z.begin(), z.begin() + 3)), text,
                                testpng::Chunk("IDAT", Bytes(z.begin() + 3, z.end())), iend}),
         status::kPngOrder},
        {"PLTE after IDAT", with({testpng::Ihdr(2, 2, 8, 3), testpng::Chunk("PLTE", {1, 2, 3}), idat,
                                  testpng::Chunk("PLTE", {1, 2, 3}), iend}),
         status::kPngOrder},
        {"second PLTE", with({testpng::Ihdr(2, 2, 8, 3), testpng::Chunk("PLTE", {1, 2, 3}),
                              testpng::Chunk("PLTE", {1, 2, 3}), idat, iend}),
         status::kPngOrder},
        {"PLTE CRC", with({testpng::Ihdr(2, 2, 8, 3), testpng::Chunk("PLTE", {1, 2, 3}, false), idat, iend}),
         status::kPngCrc},
        {"no PLTE for palette", with({testpng::Ihdr(2, 2, 8, 3), idat, iend}), status::kPngMissing},
        {"no IDAT", with({ihdr, text, iend}), status::kPngMissing},
        {"first IDAT CRC", with({ihdr, testpng::Chunk("IDAT", z, false), iend}), status::kPngCrc},
        {"later IDAT CRC", with({ihdr, testpng::Chunk("IDAT", Bytes(z.begin(), z.begin() + 3)),
                                 testpng::Chunk("IDAT", Bytes(z.begin() + 3, z.end()), false), iend}),
         status::kPngIdat},
        {"IEND CRC", with({ihdr, idat, testpng::Chunk("IEND", {}, false)}), status::kPngCrc},
        {"length top bit", with({ihdr, top_bit, idat, iend}), status::kPngChunkLength},
        {"chunk past the end", with({ihdr, idat, past_end}), status::kNotFormat},
        {"no IEND", with({ihdr, idat}), status::kNotFormat},
        {"corrupt deflate", with({ihdr, testpng::Chunk("IDAT", garbage), iend}), status::kPngInflate},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.name);
        Plain ctx;
        DecodedImage img;
        EXPECT_FALSE(Decode(c.file, img, ctx));
        EXPECT_EQ(ctx.src.status, c.status);
        EXPECT_EQ(img.pixels, nullptr);
    }
    // A later IDAT cut off by the end of the data breaks the run.
    Bytes cut = with({ihdr, testpng::Chunk("IDAT", Bytes(z.begin(), z.begin() + 3)),
                      testpng::Chunk("IDAT", Bytes(z.begin() + 3, z.end()))});
    cut.resize(cut.size() - 2);
    Plain ctx;
    DecodedImage img;
    EXPECT_FALSE(Decode(cut, img, ctx));
    EXPECT_EQ(ctx.src.status, status::kPngIdat);
}

TEST(PngDecode, EveryTruncationFailsCleanly) {
    testpng::Picture p;
    p.width = 6;
    p.height = 5;
    p.colour_type = 3;
    p.interlace = true;
    p.sample = [](uint32_t x, uint32_t y, uint32_t) { return static_cast<uint16_t>(x + y); };
    const Bytes file = testpng::Make(p, {testpng::Chunk("PLTE", Palette(16)), testpng::Chunk("tRNS", {1, 2})});
    for (size_t n = 0; n < file.size(); ++n) {
        PngContext ctx;
        DecodedImage img;
        EXPECT_FALSE(image::PngDecodeFromMemory(ctx, file.data(), n, img)) << n;
        EXPECT_NE(ctx.src.status, status::kOk);
    }
}

class PngCommentTest : public testing::Test {
  protected:
    Bytes Picture(const std::vector<Bytes>& before) {
        testpng::Picture p;
        p.width = 2;
        p.height = 2;
        p.sample = [](uint32_t x, uint32_t y, uint32_t c) { return static_cast<uint16_t>(x + y + c); };
        return testpng::Make(p, before);
    }
    fixtures::TempFolder folder;
};

TEST_F(PngCommentTest, InsertReplaceRemoveAndReadBack) {
    const std::wstring src = folder / L"a.png";
    const std::wstring dst = folder / L"b.png";
    const Bytes title = testpng::Chunk("tEXt", {'T', 'i', 't', 'l', 'e', 0, 't'});
    ASSERT_TRUE(fixtures::ByteWriter().Bytes(Picture({title})).SaveTo(src));
    PngContext ctx;
    std::wstring text = L"unchanged";
    ASSERT_TRUE(image::ReadPngComment(ctx, src, &text));
    EXPECT_EQ(text, L"unchanged");

    image::CommentChange change;
    EXPECT_EQ(image::WritePngComment(ctx, src, dst, L"", &change), 0);
    ASSERT_EQ(image::WritePngComment(ctx, src, dst, L"line one\r\nline two\n", &change), 1);
    EXPECT_EQ(change.kind, 1);
    const Bytes written = fixtures::ReadWholeFile(dst);
    EXPECT_EQ(change.size_delta, static_cast<int64_t>(written.size()) - static_cast<int64_t>(Picture({title}).size()));
    ASSERT_TRUE(image::ReadPngComment(ctx, dst, &text));
    EXPECT_EQ(text, L"line one\r\nline two\r\n");
    DecodedImage img;
    ASSERT_TRUE(image::PngDecodeFromFile(ctx, dst, img)) << ctx.src.status;
    EXPECT_EQ(ctx.comment_count, 1u);
    EXPECT_EQ(ctx.text_count, 2u);

    std::vector<image::PngTextPair> pairs;
    ASSERT_TRUE(image::ListPngTextFile(ctx, dst, &pairs));
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].keyword, L"Title");
    EXPECT_EQ(pairs[0].text, L"t");
    EXPECT_EQ(pairs[1].keyword, L"Comment");
    EXPECT_EQ(pairs[1].text, L"line one\nline two\n");

    // Replace in place, then remove.
    ASSERT_EQ(image::ReplacePngComment(ctx, dst, L"short", &change), 1);
    EXPECT_EQ(change.kind, 0);
    ASSERT_TRUE(image::ReadPngComment(ctx, dst, &text));
    EXPECT_EQ(text, L"short");
    ASSERT_EQ(image::ReplacePngComment(ctx, dst, L"", &change), 1);
    EXPECT_EQ(change.kind, -1);
    EXPECT_EQ(fixtures::ReadWholeFile(dst), Picture({title}));
}

TEST_F(PngCommentTest, ListStopsAtSixteenAndFailsOnBrokenChunks) {
    std::vector<Bytes> texts;
    for (int i = 0; i < 20; ++i)
        texts.push_back(testpng::Chunk("tEXt", {static_cast<uint8_t>('a' + i), 0, 0x1B, 'v'}));
    const Bytes file = Picture(texts);
    PngContext ctx;
    std::vector<image::PngTextPair> pairs;
    ASSERT_TRUE(image::ListPngText(ctx, file.data(), file.size(), &pairs));
    ASSERT_EQ(pairs.size(), 16u);
    EXPECT_EQ(pairs[15].keyword, L"p");
    EXPECT_EQ(pairs[15].text, L"v");

    Bytes broken = Picture({texts[0]});
    broken.resize(broken.size() - 3);
    EXPECT_FALSE(image::ListPngText(ctx, broken.data(), broken.size(), &pairs));
    EXPECT_EQ(ctx.src.status, status::kCannotRead);
    EXPECT_EQ(pairs.size(), 1u);

    // A comment rewrite of a file whose walk breaks fails without writing anything.
    const std::wstring src = folder / L"broken.png";
    const std::wstring dst = folder / L"out.png";
    ASSERT_TRUE(fixtures::ByteWriter().Bytes(broken).SaveTo(src));
    EXPECT_EQ(image::WritePngComment(ctx, src, dst, L"x", nullptr), -1);
    EXPECT_EQ(ctx.src.status, status::kWriteFailed);
    EXPECT_TRUE(fixtures::ReadWholeFile(dst).empty());
}

} // namespace

namespace {

uint32_t Fact(const image::LoadReport& report, const std::string& key) {
    for (const image::DecoderFact& f : report.facts)
        if (key == f.key)
            return f.value;
    return 0xFFFFFFFFu;
}

// The whole-picture entry point dispatches by signature to the new decoders, hands on the options
// and always delivers 24 bits.
TEST(PngLoad, EntryPointUsesTheDecoderAndItsOptions) {
    fixtures::TempFolder folder;
    testpng::Picture p;
    p.width = 3;
    p.height = 2;
    p.colour_type = 3;
    p.interlace = true;
    p.sample = [](uint32_t x, uint32_t, uint32_t) { return static_cast<uint16_t>(x); };
    const Bytes file = testpng::Make(p, {testpng::Chunk("PLTE", {10, 20, 30, 40, 50, 60, 70, 80, 90}),
                                         testpng::Chunk("tRNS", {0}),
                                         testpng::Chunk("tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'})});
    const std::wstring path = folder / L"really.jpg";
    ASSERT_TRUE(fixtures::ByteWriter().Bytes(file).SaveTo(path));
    image::LoadOptions options;
    options.background.background = 0x0000FF;
    image::LoadReport report;
    image::ImagePtr img = image::LoadImageFromFile(path, nullptr, 0, options, &report);
    ASSERT_TRUE(img);
    EXPECT_EQ(report.format, image::ImageFormat::Png);
    EXPECT_EQ(img->info.header.bit_count, 24);
    EXPECT_EQ(img->format, 2u);
    EXPECT_TRUE(PixelAt(*img, 0, 0) == (Rgb{255, 0, 0})); // entry 0 is fully transparent
    EXPECT_TRUE(PixelAt(*img, 1, 1) == (Rgb{40, 50, 60}));
    EXPECT_EQ(Fact(report, "interlaced"), 1u);
    EXPECT_EQ(Fact(report, "transparent"), 1u);
    EXPECT_EQ(Fact(report, "texts"), 1u);
    EXPECT_EQ(Fact(report, "comments"), 1u);

    options.background.composite = false;
    img = image::LoadImageFromFile(path, nullptr, 0, options, &report);
    ASSERT_TRUE(img);
    EXPECT_TRUE(PixelAt(*img, 0, 0) == (Rgb{10, 20, 30}));
}

} // namespace
