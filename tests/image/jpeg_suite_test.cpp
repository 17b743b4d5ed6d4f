// libjpeg-turbo's own test pictures through the 1/8 path. The library's tests make their progressive
// files from testorig at run time (its default script and test.scan); so do these, then compare the
// reduced decode from the kept scans with the whole decode. Arithmetic-coded files keep the whole one.
#include "image/jpeg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/platform.h"
#include "tests/image/jpeg_dc_compare.h"
#include "tests/image/jpeg_fixtures.h"

namespace {

std::string SuitePath(const char* name) { return std::string(QUORLE_TEST_SUITES) + "/" + name; }

// "0 1 2: 0 0 0 0;" lines: components, then Ss Se Ah Al.
std::vector<testjpeg::Scan> ReadScanScript(const std::string& path) {
    std::ifstream in(path);
    std::vector<testjpeg::Scan> scans;
    std::string line;
    while (std::getline(in, line, ';')) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        testjpeg::Scan scan;
        std::istringstream comps(line.substr(0, colon)), values(line.substr(colon + 1));
        int c = 0;
        while (comps >> c)
            scan.components.push_back(c);
        values >> scan.ss >> scan.se >> scan.ah >> scan.al;
        scans.push_back(scan);
    }
    return scans;
}

struct Pair {
    bool ok = false;
    bool dcOnly = false;
    image::DecodedImage whole, reduced;
};

Pair DecodeBoth(const std::vector<uint8_t>& bytes, uint32_t fit) {
    Pair r;
    image::JpegContext whole, dc;
    whole.allow_dc_only = false;
    image::JpegSetFit(whole, fit);
    image::JpegSetFit(dc, fit);
    r.ok = image::JpegDecodeFromMemory(whole, bytes.data(), bytes.size(), r.whole) &&
           image::JpegDecodeFromMemory(dc, bytes.data(), bytes.size(), r.reduced);
    r.dcOnly = dc.dc_only;
    return r;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(JpegSuite, ReducedByEightFromTheKeptScansMatchesTheWholeDecode) {
    const std::vector<uint8_t> original = ReadAll(SuitePath("jpeg/testorig.jpg"));
    const std::vector<testjpeg::Scan> script = ReadScanScript(SuitePath("jpeg-scan/test.scan"));
    ASSERT_FALSE(original.empty());
    ASSERT_EQ(script.size(), 8u);
    image::JpegContext ctx;
    image::DecodedImage full;
    ASSERT_TRUE(image::JpegDecodeFromMemory(ctx, original.data(), original.size(), full));
    const int w = image::Width(full), h = image::Height(full);
    ASSERT_EQ(w, 227);

    testjpeg::Picture p;
    p.width = w;
    p.height = h;
    p.quality = 95;
    p.sample = [&full, h](int x, int y, int c) { return full.pixels[(h - 1 - y) * image::Stride(full) + x * 3 + (2 - c)]; };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool expectDc;
    };
    std::vector<Case> cases;
    p.progressive = true;
    cases.push_back({"default progressive script", testjpeg::Make(p), true});
    p.progressive = false;
    p.scans = script;
    cases.push_back({"test.scan", testjpeg::Make(p), true});
    p.arithmetic = true;
    cases.push_back({"test.scan, arithmetic", testjpeg::Make(p), false});
    cases.push_back({"testimgari.jpg", ReadAll(SuitePath("jpeg/testimgari.jpg")), false});
    cases.push_back({"testimgint.jpg", ReadAll(SuitePath("jpeg/testimgint.jpg")), false});
    cases.push_back({"testorig.jpg", original, false});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty());
        // 227 x 149: boxes of 8 to 18 reduce by 8.
        for (uint32_t fit : {8u, 13u, 18u}) {
            const Pair r = DecodeBoth(c.bytes, fit);
            ASSERT_TRUE(r.ok);
            EXPECT_EQ(r.dcOnly, c.expectDc);
            EXPECT_EQ(image::Width(r.reduced), 29);
            EXPECT_GE(testjpeg::Psnr(r.whole, r.reduced), 35.0);
            EXPECT_TRUE(testjpeg::SamePixels(r.whole, r.reduced));
        }
    }
}

} // namespace
