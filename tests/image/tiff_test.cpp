#include "image/tiff.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/image/tiff_fixtures.h"

namespace {

using image::DecodedImage;
using image::TiffContext;
using testtiff::Bytes;
using testtiff::Tag;
namespace status = image::status;

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb PixelAt(const DecodedImage& img, uint32_t x, uint32_t y) {
    const uint8_t* row = img.pixels + (img.info.header.height - 1 - y) * image::Stride(img);
    if (img.info.header.bit_count == 24)
        return Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    const image::RgbQuad& q = img.info.colors[row[x]];
    return Rgb{q.red, q.green, q.blue};
}

bool Decode(TiffContext& ctx, const Bytes& file, DecodedImage& img) {
    return image::TiffDecodeFromMemory(ctx, file.data(), file.size(), img);
}

testtiff::File Picture(uint32_t w, uint32_t h, std::vector<uint32_t> bits, uint32_t photometric, Bytes pixels,
                       bool big = false) {
    testtiff::File f;
    f.big_endian = big;
    f.tags = testtiff::Baseline(w, h, bits, photometric);
    f.strips.push_back(pixels);
    return f;
}

TEST(TiffDecode, GreyAndBilevelRamps) {
    struct Case {
        uint32_t photometric, bits;
        Bytes row;              // one file row of 4 pixels
        uint8_t want[4];        // grey level of each pixel
    } cases[] = {
        {0, 1, {0x50}, {255, 0, 255, 0}}, // white is zero: 0 bits are white
        {1, 1, {0x50}, {0, 255, 0, 255}},
        {0, 4, {0x0F, 0x81}, {255, 0, 119, 238}},
        {1, 4, {0x0F, 0x81}, {0, 255, 136, 17}},
        {0, 8, {0, 1, 128, 255}, {255, 254, 127, 0}},
        {1, 8, {0, 1, 128, 255}, {0, 1, 128, 255}},
    };
    for (bool big : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "photometric " << c.photometric << " bits " << c.bits << " big " << big);
            Bytes two_rows = c.row;
            two_rows.insert(two_rows.end(), c.row.begin(), c.row.end());
            TiffContext ctx;
            DecodedImage img;
            ASSERT_TRUE(Decode(ctx, testtiff::Make(Picture(4, 2, {c.bits}, c.photometric, two_rows, big)), img))
                << ctx.src.status;
            EXPECT_EQ(img.info.header.bit_count, 8);
            EXPECT_EQ(img.source_bits, c.bits);
            EXPECT_EQ(img.format, 4u);
            for (uint32_t x = 0; x < 4; ++x) {
                EXPECT_TRUE(PixelAt(img, x, 0) == (Rgb{c.want[x], c.want[x], c.want[x]})) << x;
                EXPECT_TRUE(PixelAt(img, x, 1) == PixelAt(img, x, 0));
            }
        }
    }
}

TEST(TiffDecode, PaletteTakesTheHighBytesOfTheColourMap) {
    // 4-bit palette: 16 reds, then 16 greens, then 16 blues.
    std::vector<uint32_t> map;
    for (int c = 0; c < 3; ++c)
        for (uint32_t i = 0; i < 16; ++i)
            map.push_back((i * 16 + c) << 8 | 0xFF);
    for (bool big : {false, true}) {
        testtiff::File f = Picture(3, 1, {4}, 3, {0x1F, 0x20}, big);
        f.tags.push_back(Tag{320, testtiff::kShort, map});
        TiffContext ctx;
        DecodedImage img;
        ASSERT_TRUE(Decode(ctx, testtiff::Make(f), img)) << ctx.src.status;
        EXPECT_TRUE(PixelAt(img, 0, 0) == (Rgb{16, 17, 18}));
        EXPECT_TRUE(PixelAt(img, 1, 0) == (Rgb{240, 241, 242}));
        EXPECT_TRUE(PixelAt(img, 2, 0) == (Rgb{32, 33, 34}));
    }
}

TEST(TiffDecode, SixteenBitTwinsInBothByteOrdersMatch) {
    // Samples stored in each file's own byte order; the high byte of each is used.
    const uint16_t samples[2][3] = {{0x1234, 0xABCD, 0x00FF}, {0xFF00, 0x8001, 0x7FFE}};
    DecodedImage pictures[2];
    for (int big = 0; big < 2; ++big) {
        Bytes data;
        for (const auto& px : samples)
            for (uint16_t s : px) {
                const uint8_t hi = static_cast<uint8_t>(s >> 8), lo = static_cast<uint8_t>(s);
                data.push_back(big ? hi : lo);
                data.push_back(big ? lo : hi);
            }
        TiffContext ctx;
        ASSERT_TRUE(Decode(ctx, testtiff::Make(Picture(2, 1, {16, 16, 16}, 2, data, big)), pictures[big]))
            << ctx.src.status;
        EXPECT_EQ(pictures[big].source_bits, 48u);
    }
    EXPECT_TRUE(PixelAt(pictures[0], 0, 0) == (Rgb{0x12, 0xAB, 0x00}));
    EXPECT_TRUE(PixelAt(pictures[0], 1, 0) == (Rgb{0xFF, 0x80, 0x7F}));
    EXPECT_EQ(std::memcmp(pictures[0].pixels, pictures[1].pixels, image::Stride(pictures[0])), 0);
}

TEST(TiffDecode, StripsAreJoinedInArrayOrder) {
    // 8-bit RGB, 3 x 3; strips cut across rows and stored in reverse file order.
    Bytes all;
    for (uint8_t i = 0; i < 27; ++i)
        all.push_back(static_cast<uint8_t>(i * 9));
    for (bool reversed : {false, true}) {
        testtiff::File f;
        f.tags = testtiff::Baseline(3, 3, {8, 8, 8}, 2);
        f.strips = {Bytes(all.begin(), all.begin() + 5), Bytes(all.begin() + 5, all.begin() + 20),
                    Bytes(all.begin() + 20, all.end())};
        f.strips_reversed = reversed;
        TiffContext ctx;
        DecodedImage img;
        ASSERT_TRUE(Decode(ctx, testtiff::Make(f), img)) << ctx.src.status;
        EXPECT_EQ(ctx.strip_count, 3u);
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t x = 0; x < 3; ++x) {
                const uint8_t* p = &all[(y * 3 + x) * 3];
                EXPECT_TRUE(PixelAt(img, x, y) == (Rgb{p[0], p[1], p[2]})) << x << "," << y;
            }
    }
    // SHORT arrays of two entries sit inside their entries.
    testtiff::File f;
    f.tags = testtiff::Baseline(3, 3, {8, 8, 8}, 2);
    f.strips = {Bytes(all.begin(), all.begin() + 9), Bytes(all.begin() + 9, all.end())};
    f.tags.push_back(Tag{273, testtiff::kShort, {8, 17}});
    f.tags.push_back(Tag{279, testtiff::kShort, {9, 18}});
    TiffContext ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(ctx, testtiff::Make(f), img)) << ctx.src.status;
    EXPECT_TRUE(PixelAt(img, 2, 2) == (Rgb{all[24], all[25], all[26]}));
}

TEST(TiffDecode, RowsWithoutDataStayBlack) {
    TiffContext ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(ctx, testtiff::Make(Picture(2, 3, {8}, 1, {50, 60, 70})), img));
    EXPECT_TRUE(PixelAt(img, 1, 0) == (Rgb{60, 60, 60}));
    EXPECT_TRUE(PixelAt(img, 0, 1) == (Rgb{70, 70, 70}));
    EXPECT_TRUE(PixelAt(img, 1, 1) == (Rgb{0, 0, 0}));
    EXPECT_TRUE(PixelAt(img, 1, 2) == (Rgb{0, 0, 0}));
}

TEST(TiffDecode, ResolutionAndDescription) {
    struct Case {
        std::vector<Tag> tags;
        int32_t x, y;
    } cases[] = {
        {{Tag{282, testtiff::kRational, {72, 1}}, Tag{283, testtiff::kRational, {300, 2}}}, 2835, 5906},
        {{Tag{282, testtiff::kRational, {100, 1}}, Tag{283, testtiff::kRational, {50, 1}}, Tag{296, testtiff::kShort, {3}}},
         10000, 5000},
        {{Tag{282, testtiff::kRational, {72, 1}}, Tag{283, testtiff::kRational, {72, 1}}, Tag{296, testtiff::kShort, {1}}}, 0, 0},
        {{Tag{282, testtiff::kRational, {72, 0}}, Tag{283, testtiff::kRational, {72, 1}}}, 0, 0},
        {{Tag{282, testtiff::kRational, {72, 1}}}, 0, 0},
    };
    for (const Case& c : cases) {
        testtiff::File f = Picture(1, 1, {8}, 1, {0});
        f.tags.insert(f.tags.end(), c.tags.begin(), c.tags.end());
        TiffContext ctx;
        DecodedImage img;
        ASSERT_TRUE(Decode(ctx, testtiff::Make(f), img));
        EXPECT_EQ(img.info.header.x_pels_per_meter, c.x);
        EXPECT_EQ(img.info.header.y_pels_per_meter, c.y);
        EXPECT_FALSE(ctx.description);
    }
    testtiff::File f = Picture(1, 1, {8}, 1, {0});
    f.tags.push_back(Tag{270, testtiff::kAscii, {'h', 'i', 0}});
    TiffContext ctx;
    DecodedImage img;
    ASSERT_TRUE(Decode(ctx, testtiff::Make(f), img));
    EXPECT_TRUE(ctx.description);
}

TEST(TiffDecode, RefusedVariantsAndDamage) {
    auto with = [](std::vector<Tag> extra, std::vector<uint32_t> bits = {8}, uint32_t photometric = 1) {
        testtiff::File f = Picture(2, 2, bits, photometric, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
        for (const Tag& t : extra) {
            bool replaced = false;
            for (Tag& old : f.tags)
                if (old.tag == t.tag) {
                    old = t;
                    replaced = true;
                }
            if (!replaced)
                f.tags.push_back(t);
        }
        return testtiff::Make(f);
    };
    testtiff::File no_photometric = Picture(2, 2, {8}, 1, {1, 2, 3, 4});
    no_photometric.tags.pop_back();
    testtiff::File byte_counts = Picture(2, 2, {8}, 1, {1, 2, 3, 4});
    byte_counts.tags.push_back(Tag{279, testtiff::kByte, {4}});
    testtiff::File no_counts = Picture(2, 2, {8}, 1, {1, 2, 3, 4});
    no_counts.add_strip_tags = false;
    no_counts.tags.push_back(Tag{273, testtiff::kLong, {8}});
    Bytes good = with({});
    Bytes bad_magic = good;
    bad_magic[2] = 43;
    Bytes ifd_outside = good;
    ifd_outside[4] = 0xF0;
    Bytes mixed_order = good;
    mixed_order[1] = 'M';

    struct Case {
        const char* name;
        Bytes file;
        uint32_t status;
    } cases[] = {
        {"PackBits", with({Tag{259, testtiff::kShort, {32773}}}), status::kBadFormat},
        {"LZW", with({Tag{259, testtiff::kShort, {5}}}), status::kBadFormat},
        {"no photometric", testtiff::Make(no_photometric), status::kBadFormat},
        {"photometric 5", with({Tag{262, testtiff::kShort, {5}}}), status::kBadFormat},
        {"2-bit grey", with({}, {2}), status::kBadFormat},
        {"16-bit grey", with({}, {16}), status::kBadFormat},
        {"RGB with one bits value", with({}, {8}, 2), status::kBadFormat},
        {"RGB 8, 8, 16", with({}, {8, 8, 16}, 2), status::kBadFormat},
        {"RGB 4-bit", with({}, {4, 4, 4}, 2), status::kBadFormat},
        {"palette without map", with({}, {8}, 3), status::kBadFormat},
        {"planar 2", with({Tag{284, testtiff::kShort, {2}}}), status::kBadFormat},
        {"tiled", with({Tag{322, testtiff::kShort, {16}}}), status::kBadFormat},
        {"tile offsets", with({Tag{324, testtiff::kLong, {8}}}), status::kBadFormat},
        {"extra samples", with({Tag{338, testtiff::kShort, {2}}}), status::kBadFormat},
        {"fill order 2", with({Tag{266, testtiff::kShort, {2}}}), status::kBadFormat},
        {"grey with 2 samples", with({Tag{277, testtiff::kShort, {2}}}), status::kBadFormat},
        {"RGB with 4 samples", with({Tag{277, testtiff::kShort, {4}}}, {8, 8, 8}, 2), status::kBadFormat},
        {"width too big", with({Tag{256, testtiff::kLong, {0x80000000u}}}), status::kBadFormat},
        {"block over 32 bits", with({Tag{256, testtiff::kLong, {0x10000}}, Tag{257, testtiff::kLong, {0x10000}}}),
         status::kBadFormat},
        {"not TIFF", Bytes{'P', 'K', 3, 4, 0, 0, 0, 0}, status::kNotFormat},
        {"7 bytes", Bytes(good.begin(), good.begin() + 7), status::kNotFormat},
        {"magic 43", bad_magic, status::kNotFormat},
        {"IFD outside", ifd_outside, status::kNotFormat},
        {"mixed byte order", mixed_order, status::kNotFormat},
        {"width as ASCII", with({Tag{256, testtiff::kAscii, {'2', 0}}}), status::kNotFormat},
        {"width 0", with({Tag{256, testtiff::kShort, {0}}}), status::kNotFormat},
        {"strip counts as BYTE", testtiff::Make(byte_counts), status::kNotFormat},
        {"no strip counts", testtiff::Make(no_counts), status::kNotFormat},
        {"count mismatch", with({Tag{279, testtiff::kLong, {4, 4}}}), status::kNotFormat},
        {"strip outside", with({Tag{273, testtiff::kLong, {0xFFFF}}}), status::kCannotRead},
        {"colour map outside", with({Tag{320, testtiff::kShort, {0, 0, 0}}}, {8}, 3), status::kCannotRead},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffContext ctx;
        DecodedImage img;
        EXPECT_FALSE(Decode(ctx, c.file, img));
        EXPECT_EQ(ctx.src.status, c.status);
        EXPECT_EQ(img.pixels, nullptr);
    }

    // A doubled strip tag, and arrays whose values lie outside the data.
    testtiff::File doubled = Picture(2, 2, {8}, 1, {1, 2, 3, 4});
    doubled.add_strip_tags = false;
    doubled.tags.push_back(Tag{273, testtiff::kLong, {8}});
    doubled.tags.push_back(Tag{279, testtiff::kLong, {4}});
    testtiff::File extra_counts = doubled;
    doubled.tags.push_back(Tag{273, testtiff::kLong, {8}});
    extra_counts.tags.push_back(Tag{279, testtiff::kLong, {4}});
    for (const Bytes& file : {testtiff::Make(doubled), testtiff::Make(extra_counts)}) {
        TiffContext ctx;
        DecodedImage img;
        EXPECT_FALSE(Decode(ctx, file, img));
        EXPECT_EQ(ctx.src.status, status::kNotFormat);
    }
    Bytes far_array = with({Tag{273, testtiff::kLong, {8, 9, 10}}, Tag{279, testtiff::kLong, {1, 1, 1}}});
    // Point the offsets array past the end of the data.
    for (size_t at = 10; at + 12 <= far_array.size(); at += 2) {
        if (far_array[at] == 0x11 && far_array[at + 1] == 0x01 && far_array[at + 2] == 4) {
            far_array[at + 8] = 0xFF;
            far_array[at + 9] = 0xFF;
            break;
        }
    }
    TiffContext ctx;
    DecodedImage img;
    EXPECT_FALSE(Decode(ctx, far_array, img));
    EXPECT_EQ(ctx.src.status, status::kNotFormat);
    // Every prefix either decodes or fails with a status.
    for (size_t n = 0; n < good.size(); ++n) {
        TiffContext c;
        DecodedImage i;
        if (!image::TiffDecodeFromMemory(c, good.data(), n, i)) {
            EXPECT_NE(c.src.status, status::kOk);
        }
    }
}

} // namespace
