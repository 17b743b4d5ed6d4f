// Progressive pictures reduced by 8 from the scans their reduced transform reads, against the same
// files decoded whole.
#include "image/jpeg.h"
#include "image/jpeg_dc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "tests/image/jpeg_dc_compare.h"
#include "tests/image/jpeg_fixtures.h"

namespace {

using image::DecodedImage;
using image::JpegContext;
using testjpeg::Picture;

struct Decoded {
    bool ok = false;
    bool dcOnly = false;
    DecodedImage img;
};

Decoded Decode(const std::vector<uint8_t>& bytes, uint32_t fit, bool allowDc) {
    Decoded d;
    JpegContext ctx;
    ctx.allow_dc_only = allowDc;
    image::JpegSetFit(ctx, fit);
    d.ok = image::JpegDecodeFromMemory(ctx, bytes.data(), bytes.size(), d.img);
    d.dcOnly = ctx.dc_only;
    if (d.ok) {
        EXPECT_TRUE(ctx.progressive || !allowDc || !d.dcOnly);
        EXPECT_NE(ctx.stored_width, 0u);
    }
    return d;
}

// 640 x 480 reduced by 8 for a 60-pixel box: gradients, edges and grain, like a photograph.
Picture Photo(int components = 3) {
    Picture p;
    p.width = 640;
    p.height = 480;
    p.kind = components == 1 ? testjpeg::Kind::Grey : testjpeg::Kind::Colour;
    p.quality = 88;
    p.sample = [](int x, int y, int c) {
        uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^
                     static_cast<uint32_t>(c) * 83492791u;
        h = (h ^ (h >> 13)) * 0x5bd1e995u;
        const int grain = static_cast<int>((h >> 24) & 15) - 8;
        const bool block = ((x / 70) + (y / 50)) % 4 == 0;
        const int base = block ? 200 - c * 70 : (c == 0 ? x / 3 : (c == 1 ? y / 2 : 255 - (x + y) / 5));
        const int v = base + grain;
        return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    };
    return p;
}
constexpr uint32_t kFit = 60;

TEST(JpegDcOnly, ScriptsAndCodingsTakeThePathOnlyWhereItHolds) {
    struct Case {
        const char* name;
        std::vector<testjpeg::Scan> scans;
        bool libraryScript;
        bool arithmetic;
        bool expectDc;
    };
    const Case cases[] = {
        {"library script (DC refined after the AC scans)", {}, true, false, true},
        {"DC of all components first", testjpeg::DcFirstScript(), false, false, true},
        {"luminance DC alone first", testjpeg::LumaFirstScript(), false, false, true},
        {"DC refined later", testjpeg::DcRefinedLaterScript(), false, false, true},
        {"arithmetic coding", testjpeg::DcFirstScript(), false, true, false},
        {"baseline", {}, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = Photo();
        p.progressive = c.libraryScript;
        p.scans = c.scans;
        p.arithmetic = c.arithmetic;
        const std::vector<uint8_t> bytes = testjpeg::Make(p);
        const Decoded whole = Decode(bytes, kFit, false);
        const Decoded dc = Decode(bytes, kFit, true);
        ASSERT_TRUE(whole.ok && dc.ok);
        EXPECT_FALSE(whole.dcOnly);
        EXPECT_EQ(dc.dcOnly, c.expectDc);
        ASSERT_EQ(image::Width(dc.img), 80);
        ASSERT_EQ(image::Height(dc.img), 60);
        ASSERT_EQ(image::Width(whole.img), 80);
        // Every coefficient the reduced transform reads is kept, chroma terms included.
        EXPECT_TRUE(testjpeg::SamePixels(dc.img, whole.img));
    }
}

// With one component the 1/8 transform reads the DC coefficient alone, so the DC scans give exactly
// what the whole file gives, provided every refinement bit was kept.
TEST(JpegDcOnly, GreyPicturesComeOutExactlyWithTheirRefinements) {
    for (bool refined : {false, true}) {
        SCOPED_TRACE(refined ? "refined" : "single DC scan");
        Picture p = Photo(1);
        if (refined)
            p.scans = {{{0}, 0, 0, 0, 2}, {{0}, 1, 63, 0, 0}, {{0}, 0, 0, 2, 1}, {{0}, 0, 0, 1, 0}};
        else
            p.scans = {{{0}, 0, 0, 0, 0}, {{0}, 1, 5, 0, 0}, {{0}, 6, 63, 0, 0}};
        const std::vector<uint8_t> bytes = testjpeg::Make(p);
        const Decoded whole = Decode(bytes, kFit, false);
        const Decoded dc = Decode(bytes, kFit, true);
        ASSERT_TRUE(whole.ok && dc.ok);
        EXPECT_TRUE(dc.dcOnly);
        EXPECT_TRUE(testjpeg::SamePixels(dc.img, whole.img));
    }
}

TEST(JpegDcOnly, NotReducedByEightDecodesTheWholeFile) {
    Picture p = Photo();
    p.progressive = true;
    const std::vector<uint8_t> bytes = testjpeg::Make(p);
    for (uint32_t fit : {0u, 61u, 120u}) {
        const Decoded d = Decode(bytes, fit, true);
        ASSERT_TRUE(d.ok);
        EXPECT_FALSE(d.dcOnly) << fit;
    }
}

// Cut inside a kept scan (DC, or chroma AC): the whole-file decode decides, ending the data as it
// always did. Cut inside a skipped one: the kept scans are complete and serve the same picture.
TEST(JpegDcOnly, TruncatedFilesKeepTodaysPictureOrUseCompleteDcScans) {
    Picture p = Photo();
    p.scans = testjpeg::DcRefinedLaterScript();
    const std::vector<uint8_t> bytes = testjpeg::Make(p);
    std::vector<size_t> sos;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA)
            sos.push_back(i);
    ASSERT_EQ(sos.size(), 5u);
    struct Cut {
        size_t at;
        bool expectDc;
    };
    const Cut cuts[] = {
        {(sos[0] + sos[1]) / 2, false},      // first DC scan
        {(sos[1] + sos[2]) / 2, false},      // chroma AC, read by the 2 x 2 transform
        {(sos[3] + sos[4]) / 2, false},      // DC refinement
        {(sos[4] + bytes.size()) / 2, true}, // luminance AC
        {bytes.size() - 2, true},            // no EOI
    };
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.at);
        const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut.at));
        const Decoded whole = Decode(part, kFit, false);
        const Decoded dc = Decode(part, kFit, true);
        ASSERT_TRUE(whole.ok && dc.ok);
        EXPECT_EQ(dc.dcOnly, cut.expectDc);
        EXPECT_EQ(image::Width(dc.img), 80);
        EXPECT_TRUE(testjpeg::SamePixels(dc.img, whole.img));
    }
}

// Every prefix and a sweep of damaged bytes: the walk stays inside the data and either refuses or
// hands the library a stream that ends in EOI; decoding never fails where the whole file decodes.
TEST(JpegDcOnly, DamagedAndCutStreamsStayInBounds) {
    Picture p = Photo();
    p.width = 256;
    p.height = 192;
    p.progressive = true;
    const std::vector<uint8_t> bytes = testjpeg::Make(p);
    for (size_t n = 0; n <= bytes.size(); n += 13) {
        image::JpegDcStream dc;
        if (image::BuildJpegDcStream(bytes.data(), n, 24, 24, &dc) == image::JpegDcRefusal::None) {
            ASSERT_LE(dc.size, n + 2);
            ASSERT_EQ(dc.block.Get()[dc.size - 1], 0xD9);
        }
    }
    std::vector<uint8_t> damaged = bytes;
    for (size_t i = 2; i < bytes.size(); i += 29) {
        const uint8_t keep = damaged[i];
        damaged[i] = static_cast<uint8_t>(i % 3 == 0 ? 0xFF : keep ^ 0x5A);
        const Decoded whole = Decode(damaged, 24, false);
        const Decoded dc = Decode(damaged, 24, true);
        if (whole.ok) {
            EXPECT_TRUE(dc.ok) << i;
        }
        damaged[i] = keep;
    }
}

} // namespace
