#include "image/bmp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/byte_cursor.h"
#include "tests/fixtures/byte_writer.h"

namespace {

using image::BmpContext;
using image::DecodedImage;
namespace status = image::status;

struct BmpFile {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t header_size = 40;
    uint32_t clr_used = 0;
    int32_t x_res = 2835;
    int32_t y_res = 2835;
    std::vector<uint32_t> table;   // 0x00RRGGBB
    std::vector<uint32_t> masks;   // red, green, blue (compression 3)
    std::vector<uint8_t> rows;     // pixel data as stored
};

// File header, info header of header_size bytes (masks inside it from byte 40 when it is long
// enough, otherwise right after it), colour table, then the rows.
std::vector<uint8_t> Build(const BmpFile& f) {
    fixtures::ByteWriter w;
    w.Ascii("BM").U32LE(0).U16LE(0).U16LE(0).U32LE(0);
    w.U32LE(f.header_size).I32LE(f.width).I32LE(f.height).U16LE(1).U16LE(f.bits).U32LE(f.compression);
    w.U32LE(0).I32LE(f.x_res).I32LE(f.y_res).U32LE(f.clr_used).U32LE(0);
    size_t header_left = f.header_size > 40 ? f.header_size - 40 : 0;
    if (!f.masks.empty() && header_left >= 12) {
        for (uint32_t m : f.masks)
            w.U32LE(m);
        header_left -= 12;
    }
    w.Fill(header_left);
    if (!f.masks.empty() && f.header_size == 40)
        for (uint32_t m : f.masks)
            w.U32LE(m);
    for (uint32_t c : f.table)
        w.U32LE(c);
    w.PatchU32LE(10, static_cast<uint32_t>(w.Size()));
    w.Bytes(f.rows);
    w.PatchU32LE(2, static_cast<uint32_t>(w.Size()));
    return w.Data();
}

struct Decoded {
    bool ok;
    uint32_t status;
    DecodedImage img;
};

Decoded Decode(const std::vector<uint8_t>& bytes) {
    BmpContext ctx;
    Decoded d{false, 0, DecodedImage()};
    d.ok = image::BmpDecodeFromMemory(ctx, bytes.data(), bytes.size(), d.img);
    d.status = ctx.src.status;
    return d;
}

const uint8_t* Pixel(const DecodedImage& img, int x, int stored_row) {
    return img.pixels + stored_row * image::Stride(img) + x * (img.info.header.bit_count / 8);
}

TEST(BmpRead, TwentyFourBitRowsAreCopiedBottomUp) {
    BmpFile f;
    f.width = 3;
    f.height = 2;
    // 9 bytes of pixels and 3 of padding per row.
    f.rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
    Decoded d = Decode(Build(f));
    ASSERT_TRUE(d.ok) << d.status;
    EXPECT_EQ(d.img.info.header.size, 40u);
    EXPECT_EQ(d.img.info.header.bit_count, 24);
    EXPECT_EQ(d.img.format, 1u);
    EXPECT_EQ(d.img.source_bits, 24u);
    EXPECT_EQ(d.img.info.header.x_pels_per_meter, 2835);
    EXPECT_EQ(std::memcmp(d.img.pixels, f.rows.data(), f.rows.size()), 0);
}

TEST(BmpRead, IndexedDepthsUnpackMostSignificantFirst) {
    {
        BmpFile f;
        f.width = 10;
        f.height = 1;
        f.bits = 1;
        f.table = {0x000000, 0xFFFFFF};
        f.rows = {0xA5, 0x80, 0, 0}; // 1010 0101 10
        Decoded d = Decode(Build(f));
        ASSERT_TRUE(d.ok) << d.status;
        EXPECT_EQ(d.img.info.header.bit_count, 8);
        const uint8_t want[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 0};
        EXPECT_EQ(std::memcmp(d.img.pixels, want, 10), 0);
        EXPECT_EQ(d.img.info.colors[1].red, 255);
        EXPECT_EQ(d.img.source_bits, 1u);
    }
    {
        BmpFile f;
        f.width = 3;
        f.height = 1;
        f.bits = 4;
        f.clr_used = 16;
        for (uint32_t i = 0; i < 16; ++i)
            f.table.push_back(i * 0x010101);
        f.rows = {0x3C, 0x70, 0, 0};
        Decoded d = Decode(Build(f));
        ASSERT_TRUE(d.ok) << d.status;
        const uint8_t want[3] = {3, 12, 7};
        EXPECT_EQ(std::memcmp(d.img.pixels, want, 3), 0);
        EXPECT_EQ(d.img.info.colors[12].green, 12);
    }
}

TEST(BmpRead, OneBitWithoutColoursUsedTakesExactlyTwoEntries) {
    BmpFile f;
    f.width = 8;
    f.height = 1;
    f.bits = 1;
    f.table = {0x102030, 0x405060};
    f.rows = {0x0F, 0, 0, 0};
    const std::vector<uint8_t> bytes = Build(f);
    Decoded d = Decode(bytes);
    ASSERT_TRUE(d.ok) << d.status;
    EXPECT_EQ(d.img.info.colors[0].red, 0x10);
    EXPECT_EQ(d.img.info.colors[1].blue, 0x60);
    EXPECT_EQ(d.img.info.colors[2].red, 0) << "entries beyond the table stay clear";
    // One byte less than the two entries plus the row is a truncated file.
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 1);
    EXPECT_EQ(Decode(cut).status, status::kCannotRead);
}

TEST(BmpRead, PaletteFollowsTheHeaderItsSizeFieldDescribes) {
    for (uint32_t header_size : {40u, 52u, 56u, 108u, 124u}) {
        BmpFile f;
        f.width = 4;
        f.height = 2;
        f.bits = 8;
        f.header_size = header_size;
        f.clr_used = 3;
        f.table = {0xFF0000, 0x00FF00, 0x0000FF};
        f.rows = {0, 1, 2, 1, 2, 1, 0, 0};
        Decoded d = Decode(Build(f));
        ASSERT_TRUE(d.ok) << header_size << ": " << d.status;
        EXPECT_EQ(d.img.info.colors[0].red, 255) << header_size;
        EXPECT_EQ(d.img.info.colors[1].green, 255) << header_size;
        EXPECT_EQ(d.img.info.colors[2].blue, 255) << header_size;
        EXPECT_EQ(d.img.info.colors[0].reserved, 0);
        EXPECT_EQ(std::memcmp(d.img.pixels, f.rows.data(), 8), 0);
    }
}

TEST(BmpRead, LongerHeaderStillReadsPixelsFromTheOffset) {
    BmpFile f;
    f.width = 1;
    f.height = 1;
    f.header_size = 124;
    f.rows = {9, 8, 7, 0};
    Decoded d = Decode(Build(f));
    ASSERT_TRUE(d.ok) << d.status;
    EXPECT_EQ(d.img.pixels[0], 9);
    EXPECT_EQ(d.img.pixels[2], 7);
}

struct FieldCase {
    const char* name;
    uint16_t bits;
    uint32_t header_size;
    std::vector<uint32_t> masks; // empty: default masks
    uint32_t pixel;
    uint8_t blue, green, red;
};

TEST(BmpRead, BitFieldsTakeShiftAndWidthFromEachMask) {
    const FieldCase cases[] = {
        {"565 white", 16, 40, {0xF800, 0x07E0, 0x001F}, 0xFFFF, 255, 255, 255},
        {"565 red", 16, 40, {0xF800, 0x07E0, 0x001F}, 0xF800, 0, 0, 255},
        {"565 green half", 16, 40, {0xF800, 0x07E0, 0x001F}, 0x0400, 0, 129, 0},
        {"555 default", 16, 40, {}, 0x7C1F, 255, 0, 255},
        {"555 top bit ignored", 16, 40, {}, 0x8000, 0, 0, 0},
        {"32 default", 32, 40, {}, 0x00123456, 0x56, 0x34, 0x12},
        {"32 masks reversed", 32, 40, {0x000000FF, 0x0000FF00, 0x00FF0000}, 0x00123456, 0x12, 0x34, 0x56},
        {"32 masks in v5 header", 32, 124, {0x0000FF00, 0x00FF0000, 0xFF000000}, 0xAABBCCDD, 0xAA, 0xBB, 0xCC},
        {"16 blue on top", 16, 40, {0x001F, 0x07E0, 0xF800}, 0xF800, 255, 0, 0},
        {"16 green only", 16, 108, {0, 0xFFFF, 0}, 0x8080, 0, 128, 0},
    };
    for (const FieldCase& c : cases) {
        BmpFile f;
        f.width = 2;
        f.height = 1;
        f.bits = c.bits;
        f.header_size = c.header_size;
        f.compression = c.masks.empty() ? 0 : 3;
        f.masks = c.masks;
        fixtures::ByteWriter rows;
        for (int i = 0; i < 2; ++i)
            c.bits == 16 ? rows.U16LE(static_cast<uint16_t>(c.pixel)) : rows.U32LE(c.pixel);
        f.rows = rows.Data();
        Decoded d = Decode(Build(f));
        ASSERT_TRUE(d.ok) << c.name << ": " << d.status;
        EXPECT_EQ(d.img.info.header.bit_count, 24) << c.name;
        for (int x = 0; x < 2; ++x) {
            const uint8_t* p = Pixel(d.img, x, 0);
            EXPECT_EQ(p[0], c.blue) << c.name;
            EXPECT_EQ(p[1], c.green) << c.name;
            EXPECT_EQ(p[2], c.red) << c.name;
        }
    }
}

// Every 16-bit value once, in a picture large enough for the table-driven path, against the plain
// per-channel formula.
TEST(BmpRead, SixteenBitSweepMatchesThePlainFormula) {
    const std::vector<std::vector<uint32_t>> mask_sets = {{0xF800, 0x07E0, 0x001F}, {0x000F, 0x0FF0, 0xF000}, {}};
    for (const auto& masks : mask_sets) {
        BmpFile f;
        f.width = 256;
        f.height = 256;
        f.bits = 16;
        f.compression = masks.empty() ? 0 : 3;
        f.masks = masks;
        fixtures::ByteWriter rows;
        for (uint32_t p = 0; p < 65536; ++p)
            rows.U16LE(static_cast<uint16_t>(p));
        f.rows = rows.Data();
        Decoded d = Decode(Build(f));
        ASSERT_TRUE(d.ok) << d.status;
        const std::vector<uint32_t> m = masks.empty() ? std::vector<uint32_t>{0x7C00, 0x03E0, 0x001F} : masks;
        auto expect = [](uint32_t mask, uint32_t p) {
            int shift = 0;
            while (!((mask >> shift) & 1))
                ++shift;
            return static_cast<int>(((p & mask) >> shift) * 255 / (mask >> shift));
        };
        for (uint32_t p = 0; p < 65536; ++p) {
            const uint8_t* px = Pixel(d.img, p % 256, p / 256);
            ASSERT_EQ(px[2], expect(m[0], p)) << std::hex << p;
            ASSERT_EQ(px[1], expect(m[1], p)) << std::hex << p;
            ASSERT_EQ(px[0], expect(m[2], p)) << std::hex << p;
        }
    }
}

TEST(BmpRead, ShortSixteenBitDataLeavesMissingRowsBlack) {
    BmpFile f;
    f.width = 2;
    f.height = 3;
    f.bits = 16;
    f.rows = {0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0x7F}; // one full row and half of the next
    Decoded d = Decode(Build(f));
    ASSERT_TRUE(d.ok) << d.status;
    EXPECT_EQ(Pixel(d.img, 1, 0)[0], 255);
    EXPECT_EQ(Pixel(d.img, 0, 1)[0], 255);
    EXPECT_EQ(Pixel(d.img, 1, 1)[0], 0);
    EXPECT_EQ(Pixel(d.img, 0, 2)[2], 0);
}

TEST(BmpRead, NegativeResolutionBecomesZero) {
    BmpFile f;
    f.x_res = -5;
    f.y_res = 100;
    f.rows = {1, 2, 3, 0};
    Decoded d = Decode(Build(f));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.img.info.header.x_pels_per_meter, 0);
    EXPECT_EQ(d.img.info.header.y_pels_per_meter, 100);
}

struct RejectCase {
    const char* name;
    BmpFile file;
    uint32_t status;
};

TEST(BmpRead, RejectsWhatItDoesNotReadWithTheRightStatus) {
    auto base = [] {
        BmpFile f;
        f.width = 4;
        f.height = 1;
        f.bits = 8;
        f.table = {0, 0xFFFFFF};
        f.clr_used = 2;
        f.rows = {0, 1, 0, 1};
        return f;
    };
    std::vector<RejectCase> cases;
    {
        RejectCase c{"top-down", base(), status::kBadFormat};
        c.file.height = -1;
        cases.push_back(c);
    }
    {
        RejectCase c{"zero width", base(), status::kBadFormat};
        c.file.width = 0;
        cases.push_back(c);
    }
    {
        RejectCase c{"RLE8", base(), status::kBadFormat};
        c.file.compression = 1;
        cases.push_back(c);
    }
    {
        RejectCase c{"2 bits", base(), status::kBadFormat};
        c.file.bits = 2;
        cases.push_back(c);
    }
    {
        RejectCase c{"bit fields on 24 bits", base(), status::kBadFormat};
        c.file.bits = 24;
        c.file.compression = 3;
        cases.push_back(c);
    }
    {
        RejectCase c{"OS/2 1.x header", base(), status::kBadFormat};
        c.file.header_size = 12;
        cases.push_back(c);
    }
    {
        RejectCase c{"rows cut short", base(), status::kCannotRead};
        c.file.rows.pop_back();
        cases.push_back(c);
    }
    {
        RejectCase c{"huge colour count", base(), status::kCannotRead};
        c.file.clr_used = 0x40000000;
        cases.push_back(c);
    }
    {
        RejectCase c{"24-bit block beyond 32 bits", base(), status::kBadFormat};
        c.file.bits = 24;
        c.file.width = 40000;
        c.file.height = 40000;
        cases.push_back(c);
    }
    {
        RejectCase c{"16-bit block beyond 32 bits", base(), status::kBadFormat};
        c.file.bits = 16;
        c.file.width = 0x7FFFFFFF;
        c.file.height = 0x7FFFFFFF;
        cases.push_back(c);
    }
    {
        RejectCase c{"8-bit block beyond 32 bits", base(), status::kBadFormat};
        c.file.width = 70000;
        c.file.height = 70000;
        cases.push_back(c);
    }
    for (const RejectCase& c : cases) {
        Decoded d = Decode(Build(c.file));
        EXPECT_FALSE(d.ok) << c.name;
        EXPECT_EQ(d.status, c.status) << c.name;
        EXPECT_EQ(d.img.pixels, nullptr) << c.name;
    }
}

TEST(BmpRead, BrokenFileFramesFailWith50004) {
    BmpFile f;
    f.rows = {1, 2, 3, 0};
    const std::vector<uint8_t> good = Build(f);
    ASSERT_EQ(good.size(), 58u);
    EXPECT_EQ(Decode(std::vector<uint8_t>(good.begin(), good.begin() + 53)).status, status::kCannotRead);
    std::vector<uint8_t> far = good;
    far[10] = 58; // pixel offset at the very end
    EXPECT_EQ(Decode(far).status, status::kCannotRead);
    std::vector<uint8_t> wrapped = good;
    wrapped[10] = wrapped[11] = wrapped[12] = wrapped[13] = 0xFF;
    EXPECT_EQ(Decode(wrapped).status, status::kCannotRead);
    std::vector<uint8_t> huge_header = good;
    huge_header[14] = huge_header[15] = huge_header[16] = 0xFF;
    huge_header[17] = 0x7F;
    EXPECT_EQ(Decode(huge_header).status, status::kCannotRead);
}

TEST(BmpRead, FromFileRecordsSizeAndTimeAndSkipsMissingFiles) {
    fixtures::TempFolder dir;
    BmpFile f;
    f.rows = {1, 2, 3, 0};
    fixtures::ByteWriter w;
    w.Bytes(Build(f));
    ASSERT_TRUE(w.SaveTo(dir / L"a.bmp"));
    BmpContext ctx;
    DecodedImage img;
    ASSERT_TRUE(image::BmpDecodeFromFile(ctx, dir / L"a.bmp", img));
    EXPECT_EQ(img.source_size, 58u);
    EXPECT_NE(img.source_time, 0u);
    EXPECT_FALSE(image::BmpDecodeFromFile(ctx, dir / L"none.bmp", img));
    EXPECT_EQ(ctx.src.status, status::kCannotRead);
    EXPECT_EQ(img.pixels, nullptr) << "a failed decode leaves no block behind";
}

TEST(BmpWrite, TwentyFourBitLayoutAndRoundTrip) {
    fixtures::TempFolder dir;
    image::BmpWriter w;
    w.width = 3;
    w.height = 2;
    w.x_pels_per_meter = 3780;
    w.y_pels_per_meter = 3780;
    const std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
    ASSERT_TRUE(image::WriteBmp(w, dir / L"out.bmp", nullptr, pixels.data()));
    const std::vector<uint8_t> file = fixtures::ReadWholeFile(dir / L"out.bmp");
    ASSERT_EQ(file.size(), 54u + 24u) << "rows of 12 bytes";
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(bytes::LoadU32LE(&file[2]), 78u);
    EXPECT_EQ(bytes::LoadU32LE(&file[10]), 54u) << "pixel offset";
    EXPECT_EQ(bytes::LoadU32LE(&file[14]), 40u);
    EXPECT_EQ(bytes::LoadU32LE(&file[22]), 2u) << "positive height: bottom-up";
    EXPECT_EQ(bytes::LoadU16LE(&file[28]), 24);
    EXPECT_EQ(bytes::LoadU32LE(&file[38]), 3780u);
    EXPECT_EQ(bytes::LoadU32LE(&file[46]), 0u) << "no colours used for 24 bits";
    EXPECT_EQ(std::memcmp(&file[54], pixels.data(), 24), 0);

    Decoded d = Decode(file);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(std::memcmp(d.img.pixels, pixels.data(), 24), 0);
}

TEST(BmpWrite, EightBitCarriesItsTable) {
    fixtures::TempFolder dir;
    image::BmpWriter w;
    w.width = 2;
    w.height = 1;
    w.bit_count = 8;
    image::RgbQuad table[256] = {};
    table[1] = image::RgbQuad{10, 20, 30, 0};
    const uint8_t pixels[4] = {1, 0, 0, 0};
    ASSERT_TRUE(image::WriteBmp(w, dir / L"p.bmp", table, pixels));
    const std::vector<uint8_t> file = fixtures::ReadWholeFile(dir / L"p.bmp");
    ASSERT_EQ(file.size(), 54u + 1024u + 4u);
    EXPECT_EQ(bytes::LoadU32LE(&file[10]), 1078u);
    EXPECT_EQ(bytes::LoadU32LE(&file[46]), 256u);
    Decoded d = Decode(file);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.img.pixels[0], 1);
    EXPECT_EQ(d.img.info.colors[1].red, 30);
}

TEST(BmpWrite, FailuresLeaveNoFile) {
    fixtures::TempFolder dir;
    const uint8_t pixels[4] = {};
    image::BmpWriter w;
    w.width = 1;
    w.height = 1;
    EXPECT_FALSE(image::WriteBmp(w, dir / L"missing\\sub\\x.bmp", nullptr, pixels));
    EXPECT_EQ(w.status, status::kWriteFailed);
    EXPECT_FALSE(image::WriteBmp(w, dir / L"x.bmp", nullptr, nullptr));
    EXPECT_EQ(w.status, status::kNoMemory);
    w.width = 0x7FFFFFFF;
    w.height = 0x7FFFFFFF;
    EXPECT_FALSE(image::WriteBmp(w, dir / L"x.bmp", nullptr, pixels));
    EXPECT_EQ(w.status, status::kNoMemory);
    EXPECT_FALSE(platform::FileExists(dir / L"x.bmp"));
}

} // namespace
