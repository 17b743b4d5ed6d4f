#include "tests/harness/png_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

uint32_t BE32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

// Walks the chunks, checks every CRC and returns the inflated image data.
std::vector<uint8_t> InflateIdat(const std::vector<uint8_t>& png, uint32_t* w, uint32_t* h) {
    std::vector<uint8_t> idat;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        uint32_t len = BE32(png, at);
        std::string type(png.begin() + at + 4, png.begin() + at + 8);
        uLong crc = crc32(0, png.data() + at + 4, len + 4);
        EXPECT_EQ(crc, BE32(png, at + 8 + len)) << type;
        if (type == "IHDR") {
            *w = BE32(png, at + 8);
            *h = BE32(png, at + 12);
        } else if (type == "IDAT") {
            idat.insert(idat.end(), png.begin() + at + 8, png.begin() + at + 8 + len);
        }
        at += 12 + len;
    }
    EXPECT_EQ(at, png.size()) << "chunks end exactly at the end of the file";
    std::vector<uint8_t> raw(1 << 16);
    uLongf rawSize = raw.size();
    EXPECT_EQ(uncompress(raw.data(), &rawSize, idat.data(), idat.size()), Z_OK);
    raw.resize(rawSize);
    return raw;
}

TEST(PngWriter, PixelsSurviveEncoding) {
    const int w = 3, h = 2;
    std::vector<uint8_t> rgb;
    for (int i = 0; i < w * h; ++i)
        rgb.insert(rgb.end(), {uint8_t(i * 40), uint8_t(255 - i), uint8_t(i)});
    std::vector<uint8_t> png = harness::EncodePngRgb(w, h, rgb);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(png.begin(), png.begin() + 8),
              (std::vector<uint8_t>{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}));
    uint32_t pw = 0, ph = 0;
    std::vector<uint8_t> raw = InflateIdat(png, &pw, &ph);
    EXPECT_EQ(pw, 3u);
    EXPECT_EQ(ph, 2u);
    ASSERT_EQ(raw.size(), size_t(2 * (1 + 9)));
    for (int y = 0; y < h; ++y) {
        EXPECT_EQ(raw[y * 10], 0) << "filter byte";
        EXPECT_EQ(std::vector<uint8_t>(raw.begin() + y * 10 + 1, raw.begin() + y * 10 + 10),
                  std::vector<uint8_t>(rgb.begin() + y * 9, rgb.begin() + y * 9 + 9));
    }
}

TEST(PngWriter, RefusesMismatchedInput) {
    EXPECT_TRUE(harness::EncodePngRgb(0, 1, {}).empty());
    EXPECT_TRUE(harness::EncodePngRgb(2, 2, std::vector<uint8_t>(11)).empty());
}

} // namespace
