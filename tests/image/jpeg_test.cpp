#include "image/jpeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/fixtures/byte_writer.h"
#include "tests/image/jpeg_fixtures.h"

namespace {

using image::DecodedImage;
using image::JpegContext;
using testjpeg::Kind;
using testjpeg::Picture;
namespace status = image::status;

struct Result {
    bool ok = false;
    DecodedImage img;
};

Result Decode(JpegContext& ctx, const std::vector<uint8_t>& bytes, uint32_t fit = 0) {
    Result r;
    image::JpegSetFit(ctx, fit);
    r.ok = image::JpegDecodeFromMemory(ctx, bytes.data(), bytes.size(), r.img);
    return r;
}

const uint8_t* StoredRow(const DecodedImage& img, int row) { return img.pixels + row * image::Stride(img); }

// A 4000 x 3000 photo-sized picture, made once: a smooth gradient encodes fast and small.
const std::vector<uint8_t>& BigJpeg() {
    static const std::vector<uint8_t> bytes = [] {
        Picture p;
        p.width = 4000;
        p.height = 3000;
        p.quality = 40;
        p.sample = [](int x, int y, int c) { return static_cast<uint8_t>(c == 0 ? x / 16 : (c == 1 ? y / 12 : 128)); };
        return testjpeg::Make(p);
    }();
    return bytes;
}

TEST(JpegDecode, FitSizeChoosesTheLibraryScale) {
    const struct {
        uint32_t fit;
        int width, height;
    } cases[] = {{256, 500, 375}, {1000, 2000, 1500}, {2500, 4000, 3000}, {0, 4000, 3000},
                 {140, 500, 375}, {375, 500, 375}, {400, 1000, 750}, {1500, 2000, 1500}, {4000, 4000, 3000}};
    for (const auto& c : cases) {
        JpegContext ctx;
        Result r = Decode(ctx, BigJpeg(), c.fit);
        ASSERT_TRUE(r.ok) << c.fit;
        EXPECT_EQ(r.img.info.header.width, c.width) << "fit " << c.fit;
        EXPECT_EQ(r.img.info.header.height, c.height) << "fit " << c.fit;
        EXPECT_EQ(ctx.stored_width, 4000u);
        EXPECT_EQ(ctx.stored_height, 3000u);
        EXPECT_EQ(r.img.info.header.bit_count, 24);
        EXPECT_EQ(r.img.format, 3u);
        EXPECT_EQ(r.img.source_bits, 24u);
        EXPECT_EQ(r.img.source_size, BigJpeg().size());
    }
}

TEST(JpegDecode, ColourRowsAreBlueFirstAndBottomUp) {
    Picture p;
    p.width = 16;
    p.height = 16;
    p.quality = 100;
    // Top half red, bottom half blue.
    p.sample = [](int, int y, int c) { return static_cast<uint8_t>((y < 8 ? c == 0 : c == 2) ? 255 : 0); };
    JpegContext ctx;
    Result r = Decode(ctx, testjpeg::Make(p));
    ASSERT_TRUE(r.ok);
    const uint8_t* bottom = StoredRow(r.img, 0);
    const uint8_t* top = StoredRow(r.img, 15);
    EXPECT_GE(bottom[0], 250) << "blue byte first";
    EXPECT_LE(bottom[2], 5);
    EXPECT_GE(top[2], 250) << "red byte last";
    EXPECT_LE(top[0], 5);
    EXPECT_FALSE(ctx.grey);
}

TEST(JpegDecode, GreyGivesAnEightBitPictureWithTheRamp) {
    Picture p;
    p.kind = Kind::Grey;
    p.width = 9;
    p.height = 3;
    p.quality = 100;
    p.sample = [](int x, int, int) { return static_cast<uint8_t>(x * 30); };
    JpegContext ctx;
    Result r = Decode(ctx, testjpeg::Make(p));
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(ctx.grey);
    EXPECT_EQ(r.img.info.header.bit_count, 8);
    EXPECT_EQ(r.img.source_bits, 8u);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(r.img.info.colors[i].red, i);
        ASSERT_EQ(r.img.info.colors[i].green, i);
        ASSERT_EQ(r.img.info.colors[i].blue, i);
    }
    EXPECT_NEAR(StoredRow(r.img, 0)[8], 240, 3);
}

TEST(JpegDecode, InkValuesGoThroughTheTruncatingProduct) {
    const struct {
        Kind kind;
        uint8_t c, m, y, k;
        uint8_t blue, green, red;
        int tolerance;
    } cases[] = {
        {Kind::Cmyk, 255, 255, 255, 255, 255, 255, 255, 0},
        {Kind::Ycck, 255, 255, 255, 255, 255, 255, 255, 1},
        {Kind::Cmyk, 255, 128, 0, 255, 0, 128, 255, 2},
        {Kind::Cmyk, 255, 255, 255, 128, 128, 128, 128, 2},
        {Kind::Cmyk, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Picture p;
        p.kind = c.kind;
        p.width = 8;
        p.height = 8;
        p.quality = 100;
        const uint8_t ink[4] = {c.c, c.m, c.y, c.k};
        p.sample = [&](int, int, int ch) { return ink[ch]; };
        JpegContext ctx;
        Result r = Decode(ctx, testjpeg::Make(p));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.img.info.header.bit_count, 24);
        const uint8_t* px = StoredRow(r.img, 3) + 3 * 4;
        EXPECT_NEAR(px[0], c.blue, c.tolerance) << int(c.c) << "," << int(c.m) << "," << int(c.y) << "," << int(c.k);
        EXPECT_NEAR(px[1], c.green, c.tolerance);
        EXPECT_NEAR(px[2], c.red, c.tolerance);
    }
}

TEST(JpegDecode, ExifOrientationAndMarks) {
    const std::vector<uint8_t> plain = testjpeg::Make(Picture());
    const struct {
        const char* name;
        std::vector<uint8_t> segments;
        uint32_t orientation;
        bool exif;
        uint32_t mark;
    } cases[] = {
        {"no exif", {}, 1, false, 0},
        {"6", testjpeg::ExifSegment(6), 6, true, 2},
        {"6 big-endian", testjpeg::ExifSegment(6, false), 6, true, 2},
        {"8", testjpeg::ExifSegment(8), 8, true, 2},
        {"3", testjpeg::ExifSegment(3), 3, true, 2},
        {"1", testjpeg::ExifSegment(1), 1, true, 1},
        {"2 mirrored", testjpeg::ExifSegment(2), 1, true, 1},
        {"9 invalid", testjpeg::ExifSegment(9), 1, true, 1},
        {"no tag", testjpeg::ExifSegment(0), 1, true, 1},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> file = c.segments.empty() ? plain : testjpeg::InsertAfterSoi(plain, c.segments);
        JpegContext ctx;
        Result r = Decode(ctx, file);
        ASSERT_TRUE(r.ok) << c.name;
        EXPECT_EQ(ctx.orientation, c.orientation) << c.name;
        EXPECT_EQ(ctx.exif, c.exif) << c.name;
        EXPECT_EQ(image::JpegExifMark(ctx), c.mark) << c.name;
    }
    // The last Exif segment before the scan decides.
    std::vector<uint8_t> two = testjpeg::InsertAfterSoi(plain, testjpeg::ExifSegment(3));
    two = testjpeg::InsertAfterSoi(two, testjpeg::ExifSegment(6));
    JpegContext ctx;
    ASSERT_TRUE(Decode(ctx, two).ok);
    EXPECT_EQ(ctx.orientation, 3u);
}

TEST(JpegDecode, CountsCommentsAndResetsFactsBetweenPictures) {
    std::vector<uint8_t> file = testjpeg::Make(Picture());
    file = testjpeg::InsertAfterSoi(file, testjpeg::CommentSegment("one"));
    file = testjpeg::InsertAfterSoi(file, testjpeg::CommentSegment("two"));
    file = testjpeg::InsertAfterSoi(file, testjpeg::ExifSegment(6));
    JpegContext ctx;
    ASSERT_TRUE(Decode(ctx, file).ok);
    EXPECT_EQ(ctx.comment_count, 2u);
    EXPECT_EQ(ctx.orientation, 6u);
    ASSERT_TRUE(Decode(ctx, testjpeg::Make(Picture())).ok);
    EXPECT_EQ(ctx.comment_count, 0u);
    EXPECT_EQ(ctx.orientation, 1u);
    EXPECT_FALSE(ctx.exif);
}

TEST(JpegDecode, ProgressiveFlag) {
    Picture p;
    p.width = 64;
    p.height = 48;
    p.progressive = true;
    JpegContext ctx;
    ASSERT_TRUE(Decode(ctx, testjpeg::Make(p)).ok);
    EXPECT_TRUE(ctx.progressive);
    p.progressive = false;
    ASSERT_TRUE(Decode(ctx, testjpeg::Make(p)).ok);
    EXPECT_FALSE(ctx.progressive);
}

TEST(JpegDecode, DensityBecomesResolution) {
    const struct {
        uint8_t unit;
        uint16_t x, y;
        int32_t ppm_x, ppm_y;
    } cases[] = {{1, 72, 300, 2835, 11811}, {2, 100, 40, 10000, 4000}, {0, 1, 1, 0, 0}, {3, 72, 72, 0, 0}};
    for (const auto& c : cases) {
        Picture p;
        p.density_unit = c.unit;
        p.x_density = c.x;
        p.y_density = c.y;
        JpegContext ctx;
        Result r = Decode(ctx, testjpeg::Make(p));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.img.info.header.x_pels_per_meter, c.ppm_x) << int(c.unit);
        EXPECT_EQ(r.img.info.header.y_pels_per_meter, c.ppm_y) << int(c.unit);
    }
}

TEST(JpegDecode, TruncatedScanStillGivesTheFullSize) {
    for (bool progressive : {false, true}) {
        Picture p;
        p.width = 320;
        p.height = 240;
        p.progressive = progressive;
        const std::vector<uint8_t> file = testjpeg::Make(p);
        const size_t scan = testjpeg::ScanDataOffset(file);
        ASSERT_LT(scan, file.size());
        for (size_t keep : {scan + 1, scan + (file.size() - scan) / 2, file.size() - 2}) {
            const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<ptrdiff_t>(keep));
            JpegContext ctx;
            Result r = Decode(ctx, cut);
            ASSERT_TRUE(r.ok) << keep;
            EXPECT_EQ(r.img.info.header.width, 320);
            EXPECT_EQ(r.img.info.header.height, 240);
        }
    }
}

TEST(JpegDecode, BrokenDataFailsCleanly) {
    const std::vector<uint8_t> good = testjpeg::Make(Picture());
    const size_t scan = testjpeg::ScanDataOffset(good);
    std::vector<std::vector<uint8_t>> bad = {
        {0xFF, 0xD8},
        {0xFF, 0xD8, 0xFF, 0xD9},
        std::vector<uint8_t>(good.begin(), good.begin() + 20),             // headers only
        std::vector<uint8_t>(good.begin(), good.begin() + static_cast<ptrdiff_t>(scan) - 30),
        std::vector<uint8_t>(1000, 0xFF),
    };
    std::vector<uint8_t> no_soi = good;
    no_soi[1] = 0x00;
    bad.push_back(no_soi);
    for (size_t i = 0; i < bad.size(); ++i) {
        JpegContext ctx;
        Result r = Decode(ctx, bad[i]);
        EXPECT_FALSE(r.ok) << i;
        EXPECT_EQ(ctx.src.status, status::kBadFormat) << i;
        EXPECT_EQ(r.img.pixels, nullptr) << i;
    }
    JpegContext ctx;
    DecodedImage img;
    EXPECT_FALSE(image::JpegDecodeFromMemory(ctx, nullptr, 0, img));
    EXPECT_EQ(ctx.src.status, status::kCannotRead);
    // Every byte of the headers flipped in turn: decodes or fails, never more.
    for (size_t at = 2; at < scan + 8 && at < good.size(); ++at) {
        std::vector<uint8_t> flipped = good;
        flipped[at] ^= 0xA5;
        Result r = Decode(ctx, flipped, at % 3 == 0 ? 4 : 0);
        if (r.ok) {
            EXPECT_NE(r.img.pixels, nullptr);
        }
    }
}

TEST(JpegDecode, LimitsRefuseOversizedPictures) {
    JpegContext ctx;
    ctx.src.limits.max_pixels = 1000000;
    EXPECT_FALSE(Decode(ctx, BigJpeg()).ok);
    EXPECT_EQ(ctx.src.status, status::kBadFormat);
    EXPECT_TRUE(Decode(ctx, BigJpeg(), 256).ok) << "the reduced size is what counts";
    Picture p;
    p.width = 64;
    p.height = 64;
    p.progressive = true;
    JpegContext scans;
    scans.src.limits.max_jpeg_scans = 3;
    EXPECT_FALSE(Decode(scans, testjpeg::Make(p)).ok) << "simple progression has 10 scans";
}

TEST(JpegDecode, CallerRecordIsReusedAndClearedOnFailure) {
    JpegContext ctx;
    DecodedImage img;
    const std::vector<uint8_t> good = testjpeg::Make(Picture());
    ASSERT_TRUE(image::JpegDecodeFromMemory(ctx, good.data(), good.size(), img));
    ASSERT_TRUE(image::JpegDecodeFromMemory(ctx, good.data(), good.size(), img));
    const uint8_t junk[16] = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x01};
    EXPECT_FALSE(image::JpegDecodeFromMemory(ctx, junk, sizeof(junk), img));
    EXPECT_EQ(img.pixels, nullptr);
}

struct ScanCase {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t result;
    uint32_t status;
    uint32_t comments;
};

uint32_t AlwaysSeven(JpegContext&, void*) { return 7; }
void Count(JpegContext& ctx, void*) { ++ctx.comment_count; }

TEST(JpegMarkerScan, WalksSegmentsAndStopsOnDamage) {
    const std::vector<uint8_t> exif = testjpeg::ExifSegment(6);
    auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> out;
        for (const auto& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const std::vector<uint8_t> soi = {0xFF, 0xD8}, sos = {0xFF, 0xDA, 0x00, 0x02};
    const ScanCase cases[] = {
        {"empty", {}, 0, status::kOk, 0},
        {"exif", join({soi, exif, sos}), 7, status::kOk, 0},
        {"fill bytes and garbage", join({soi, {0x00, 0x11, 0xFF, 0xFF}, {0xFE, 0x00, 0x03, 'x'}, sos}), 0, status::kOk, 1},
        {"restart markers stand alone", join({soi, {0xFF, 0xD0, 0xFF, 0xFE, 0x00, 0x02}, sos}), 0, status::kOk, 1},
        {"length below two", join({soi, {0xFF, 0xE2, 0x00, 0x01}, exif}), 0, status::kCannotRead, 0},
        {"segment past the end", join({soi, {0xFF, 0xDB, 0x40, 0x00, 1, 2}}), 0, status::kCannotRead, 0},
        {"comment past the end", join({soi, {0xFF, 0xFE, 0x40, 0x00}}), 0, status::kCannotRead, 1},
        {"APP1 past the end is quiet", join({soi, {0xFF, 0xE1, 0x40, 0x00, 'E', 'x'}}), 0, status::kOk, 0},
        {"stops at the scan", join({soi, sos, exif}), 0, status::kOk, 0},
        {"stops at the end of image", join({soi, {0xFF, 0xD9}, exif}), 0, status::kOk, 0},
        {"lone FF at the end", join({soi, {0xFF}}), 0, status::kOk, 0},
        {"no length at the end", join({soi, {0xFF, 0xC4, 0x00}}), 0, status::kCannotRead, 0},
    };
    for (const ScanCase& c : cases) {
        JpegContext ctx;
        ctx.src.begin = c.bytes.data();
        ctx.src.end = c.bytes.data() + c.bytes.size();
        image::JpegMarkerHooks hooks;
        hooks.on_exif = AlwaysSeven;
        hooks.on_comment = Count;
        EXPECT_EQ(image::JpegScanMarkers(ctx, hooks), c.result) << c.name;
        EXPECT_EQ(ctx.src.status, c.status) << c.name;
        EXPECT_EQ(ctx.comment_count, c.comments) << c.name;
    }
}

TEST(JpegMarkerScan, ExifOffsetsNeverLeaveTheirSegment) {
    // IFD offset pointing far beyond the block, then an entry count larger than the entries.
    fixtures::ByteWriter far;
    far.Bytes({0xFF, 0xD8, 0xFF, 0xE1}).U16BE(2 + 6 + 8).Ascii("Exif").Bytes({0, 0});
    far.Ascii("II").U16LE(42).U32LE(0xFFFFFFF0);
    fixtures::ByteWriter many;
    many.Bytes({0xFF, 0xD8, 0xFF, 0xE1}).U16BE(2 + 6 + 8 + 2 + 12).Ascii("Exif").Bytes({0, 0});
    many.Ascii("MM").U16BE(42).U32BE(8).U16BE(500).U16BE(1).U16BE(3).U32BE(1).U16BE(6).U16BE(0);
    many.U16BE(274).U16BE(3).U32BE(1).U16BE(6).U16BE(0); // beyond the segment: never read
    for (const auto* w : {&far, &many}) {
        JpegContext ctx;
        ctx.src.begin = w->Data().data();
        ctx.src.end = ctx.src.begin + w->Size();
        image::JpegMarkerHooks hooks;
        hooks.on_exif = image::JpegOrientationHandler;
        EXPECT_EQ(image::JpegScanMarkers(ctx, hooks), 1u);
        EXPECT_TRUE(ctx.exif);
    }
}

std::vector<uint8_t> Gradient(int w, int h) {
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t(3);
    std::vector<uint8_t> px(stride * h + 4, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[y * stride + 3 * x];
            p[0] = static_cast<uint8_t>(x * 4);
            p[1] = static_cast<uint8_t>(y * 5);
            p[2] = 200;
        }
    return px;
}

TEST(JpegEncode, RoundTripsAndRespectsTheCapacity) {
    const int w = 64, h = 48;
    const std::vector<uint8_t> px = Gradient(w, h);
    std::vector<uint8_t> out(64 * 1024, 0xEE);
    image::JpegEncoder enc = image::JpegEncoderInit(w, h, 90, out.data(), out.size());
    ASSERT_TRUE(image::EncodeJpeg(enc, px.data()));
    ASSERT_GT(enc.produced, 100u);
    ASSERT_LT(enc.produced, out.size());
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xD8);
    EXPECT_EQ(out[enc.produced - 1], 0xD9);

    JpegContext ctx;
    Result r = Decode(ctx, std::vector<uint8_t>(out.begin(), out.begin() + static_cast<ptrdiff_t>(enc.produced)));
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.img.info.header.width, w);
    int worst = 0;
    for (size_t i = 0; i < static_cast<size_t>(w) * 3; ++i)
        for (int y = 0; y < h; ++y)
            worst = std::max(worst, std::abs(px[y * 192 + i] - StoredRow(r.img, y)[i]));
    EXPECT_LE(worst, 12) << "channels and rows in the right order";

    // Too small a buffer fails without writing past its end.
    const size_t capacity = enc.produced / 2;
    std::fill(out.begin(), out.end(), 0xEE);
    image::JpegEncoder small = image::JpegEncoderInit(w, h, 90, out.data(), capacity);
    EXPECT_FALSE(image::EncodeJpeg(small, px.data()));
    for (size_t i = capacity; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0xEE) << i;
}

TEST(JpegEncode, QualityRule) {
    EXPECT_EQ(image::JpegEncoderInit(1, 1, 101, nullptr, 0).quality, 75);
    EXPECT_EQ(image::JpegEncoderInit(1, 1, 100, nullptr, 0).quality, 100);
    const std::vector<uint8_t> px = Gradient(64, 64);
    std::vector<uint8_t> out(64 * 1024);
    size_t sizes[3];
    const int qualities[3] = {5, 50, 98};
    for (int i = 0; i < 3; ++i) {
        image::JpegEncoder enc = image::JpegEncoderInit(64, 64, qualities[i], out.data(), out.size());
        ASSERT_TRUE(image::EncodeJpeg(enc, px.data()));
        sizes[i] = enc.produced;
    }
    EXPECT_LT(sizes[0], sizes[1]);
    EXPECT_LT(sizes[1], sizes[2]);
    image::JpegEncoder none = image::JpegEncoderInit(64, 64, 50, out.data(), 0);
    EXPECT_FALSE(image::EncodeJpeg(none, px.data()));
}

class JpegComment : public ::testing::Test {
  protected:
    fixtures::TempFolder dir;
    std::wstring Save(const std::wstring& name, const std::vector<uint8_t>& bytes) {
        fixtures::ByteWriter w;
        w.Bytes(bytes);
        EXPECT_TRUE(w.SaveTo(dir / name));
        return dir / name;
    }
    static bool Contains(const std::vector<uint8_t>& hay, const std::string& needle) {
        return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
    }
};

TEST_F(JpegComment, CrLfIsStoredAsLfAndReadBackAsCrLf) {
    const std::wstring src = Save(L"a.jpg", testjpeg::Make(Picture()));
    JpegContext ctx;
    image::CommentChange change;
    ASSERT_EQ(image::WriteJpegComment(ctx, src, dir / L"b.jpg", "line one\r\nline two", &change), 1);
    EXPECT_EQ(change.kind, 1) << "inserted";
    const std::vector<uint8_t> written = fixtures::ReadWholeFile(dir / L"b.jpg");
    EXPECT_TRUE(Contains(written, "line one\nline two"));
    EXPECT_FALSE(Contains(written, "line one\r"));
    EXPECT_EQ(change.size_delta, static_cast<int64_t>(written.size()) - static_cast<int64_t>(fixtures::ReadWholeFile(src).size()));

    std::wstring text = L"unchanged";
    ASSERT_TRUE(image::ReadJpegComment(ctx, dir / L"b.jpg", &text));
    EXPECT_EQ(text, L"line one\r\nline two");

    JpegContext decode;
    DecodedImage img;
    ASSERT_TRUE(image::JpegDecodeFromFile(decode, dir / L"b.jpg", img)) << "the file stays a picture";
    EXPECT_EQ(decode.comment_count, 1u);
}

TEST_F(JpegComment, ReplaceRemoveAndNothingToDo) {
    JpegContext ctx;
    const std::wstring plain = Save(L"plain.jpg", testjpeg::Make(Picture()));
    image::CommentChange change;
    EXPECT_EQ(image::WriteJpegComment(ctx, plain, dir / L"out.jpg", "", &change), 0);
    EXPECT_FALSE(platform::FileExists(dir / L"out.jpg")) << "nothing to do writes nothing";
    std::wstring text = L"unchanged";
    ASSERT_TRUE(image::ReadJpegComment(ctx, plain, &text));
    EXPECT_EQ(text, L"unchanged");

    const std::wstring with = Save(L"with.jpg", testjpeg::InsertAfterSoi(testjpeg::Make(Picture()), testjpeg::CommentSegment("old\x1B text")));
    ASSERT_TRUE(image::ReadJpegComment(ctx, with, &text));
    EXPECT_EQ(text, L"old text") << "escape bytes are dropped";
    ASSERT_EQ(image::WriteJpegComment(ctx, with, dir / L"new.jpg", "new", &change), 1);
    EXPECT_EQ(change.kind, 0) << "replaced";
    EXPECT_EQ(change.size_delta, -6);
    ASSERT_TRUE(image::ReadJpegComment(ctx, dir / L"new.jpg", &text));
    EXPECT_EQ(text, L"new");
    ASSERT_EQ(image::WriteJpegComment(ctx, dir / L"new.jpg", dir / L"gone.jpg", "", &change), 1);
    EXPECT_EQ(change.kind, -1) << "removed";
    EXPECT_FALSE(Contains(fixtures::ReadWholeFile(dir / L"gone.jpg"), "new"));
}

TEST_F(JpegComment, LongCommentsAreCut) {
    const std::wstring src = Save(L"a.jpg", testjpeg::Make(Picture()));
    JpegContext ctx;
    image::CommentChange change;
    ASSERT_EQ(image::ReplaceJpegComment(ctx, src, std::string(5000, 'x'), &change), 1);
    std::wstring text;
    ASSERT_TRUE(image::ReadJpegComment(ctx, src, &text));
    EXPECT_EQ(text.size(), 4095u);
    // Bare LF gains a CR when read, still within 4,096 converted bytes.
    ASSERT_EQ(image::ReplaceJpegComment(ctx, src, std::string(4095, '\n'), &change), 1);
    ASSERT_TRUE(image::ReadJpegComment(ctx, src, &text));
    EXPECT_EQ(text.size(), 4096u);
    EXPECT_EQ(text.substr(0, 4), L"\r\n\r\n");
}

TEST_F(JpegComment, FailuresReport50005) {
    JpegContext ctx;
    image::CommentChange change;
    // No APP0 or APP1 segment: nowhere to put a comment.
    Picture bare;
    bare.jfif = false;
    const std::wstring no_app = Save(L"bare.jpg", testjpeg::Make(bare));
    EXPECT_EQ(image::WriteJpegComment(ctx, no_app, dir / L"o.jpg", "x", &change), -1);
    EXPECT_EQ(ctx.src.status, status::kWriteFailed);
    EXPECT_EQ(image::WriteJpegComment(ctx, dir / L"none.jpg", dir / L"o.jpg", "x", &change), -1);
    const std::wstring src = Save(L"a.jpg", testjpeg::Make(Picture()));
    EXPECT_EQ(image::WriteJpegComment(ctx, src, src, "x", &change), -1) << "the source is still mapped";
    EXPECT_EQ(image::WriteJpegComment(ctx, src, dir / L"no\\such\\folder.jpg", "x", &change), -1);
    std::vector<uint8_t> broken = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J'};
    const std::wstring cut = Save(L"cut.jpg", broken);
    EXPECT_EQ(image::WriteJpegComment(ctx, cut, dir / L"o.jpg", "x", &change), -1);
    EXPECT_EQ(ctx.src.status, status::kWriteFailed);
    std::wstring text = L"keep";
    EXPECT_TRUE(image::ReadJpegComment(ctx, cut, &text));
    EXPECT_EQ(ctx.src.status, status::kCannotRead);
    EXPECT_EQ(text, L"keep");
    EXPECT_FALSE(image::ReadJpegComment(ctx, dir / L"none.jpg", &text));
}

} // namespace
