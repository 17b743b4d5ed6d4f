#include "image/scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "image/mul_table.h"

namespace {

using image::PictureSize;
using image::Scaler;

// A 24-bit bottom-up block with padded rows, as the scaler sees it.
struct Block {
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;
    size_t Stride() const { return (static_cast<size_t>(width) * 3 + 3) & ~size_t(3); }
    uint8_t& At(int x, int y, int c) { return bytes[y * Stride() + 3 * x + c]; }
    uint8_t At(int x, int y, int c) const { return bytes[y * Stride() + 3 * x + c]; }
};

Block MakeBlock(int w, int h) {
    Block b;
    b.width = w;
    b.height = h;
    b.bytes.assign(b.Stride() * h + 4, 0);
    return b;
}

Block RandomBlock(int w, int h, uint32_t seed) {
    Block b = MakeBlock(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                b.At(x, y, c) = static_cast<uint8_t>(rng());
    return b;
}

Block FromPage(const platform::PageBlock& page, int w, int h) {
    Block b = MakeBlock(w, h);
    std::memcpy(b.bytes.data(), page.Get(), b.Stride() * h);
    return b;
}

Block Scale(const Block& src, int tw, int th, int method) {
    Scaler scaler;
    platform::PageBlock out =
        image::ScaleImage(scaler, src.bytes.data(), src.width, src.height, tw, th, method, nullptr);
    if (!out)
        return Block();
    return FromPage(out, tw, th);
}

int Nearest(double x) { return static_cast<int>(x + 0.5); }

// Method 0 along one line, written straight from its description.
std::vector<int> ReferenceArea(const std::vector<int>& v, int m) {
    const int n = static_cast<int>(v.size());
    const double d = static_cast<double>(n) / m;
    const int L = Nearest(d * 255);
    std::vector<int> T(L + 2);
    for (int i = 0; i <= L; ++i)
        T[i] = Nearest(i / d);
    T[L + 1] = 255;
    std::vector<int> out;
    double a = 0, s = 0;
    for (int i = 0; i + 1 < n; ++i) {
        s += 1;
        a += v[i];
        if (d <= s + 1e-9) {
            s -= d;
            const int c = Nearest(v[i] * s);
            out.push_back(T[static_cast<int>(a) - c]);
            a = c;
        }
    }
    out.push_back(T[static_cast<int>(a) + v[n - 1]]);
    return out;
}

std::vector<int> ReferenceLinear(const std::vector<int>& v, int m) {
    const int n = static_cast<int>(v.size());
    const double c = static_cast<double>(n) / m;
    std::vector<int> out;
    double pos = c * 0.5 - 0.5;
    for (int k = 0; k < m; ++k, pos += c) {
        const double p = pos < 0 ? 0 : pos;
        const int i = static_cast<int>(p);
        const double f = p - i;
        const int r = i + 1 == n ? i : i + 1;
        out.push_back(Nearest(v[i] * (1 - f) + v[r] * f));
    }
    return out;
}

std::vector<int> ReferenceLine(const std::vector<int>& v, int m) {
    const int n = static_cast<int>(v.size());
    if (n == m)
        return v;
    return m < n ? ReferenceArea(v, m) : ReferenceLinear(v, m);
}

Block ReferenceMethod0(const Block& src, int tw, int th) {
    Block mid = MakeBlock(src.width, th);
    for (int x = 0; x < src.width; ++x)
        for (int c = 0; c < 3; ++c) {
            std::vector<int> col;
            for (int y = 0; y < src.height; ++y)
                col.push_back(src.At(x, y, c));
            const std::vector<int> out = ReferenceLine(col, th);
            for (int y = 0; y < th; ++y)
                mid.At(x, y, c) = static_cast<uint8_t>(out[y]);
        }
    Block dst = MakeBlock(tw, th);
    for (int y = 0; y < th; ++y)
        for (int c = 0; c < 3; ++c) {
            std::vector<int> row;
            for (int x = 0; x < src.width; ++x)
                row.push_back(mid.At(x, y, c));
            const std::vector<int> out = ReferenceLine(row, tw);
            for (int x = 0; x < tw; ++x)
                dst.At(x, y, c) = static_cast<uint8_t>(out[x]);
        }
    return dst;
}

TEST(FitToBox, KeepsFittingPicturesAndTouchesTheLimitingSide) {
    const struct {
        int w, h, bw, bh;
        PictureSize expected;
    } cases[] = {
        {140, 105, 140, 105, {140, 105}}, {10, 10, 140, 105, {10, 10}},     {1000, 10, 100, 100, {100, 1}},
        {10, 1000, 100, 100, {1, 100}},   {4000, 3000, 140, 105, {140, 105}}, {300, 400, 140, 105, {79, 105}},
        {400, 300, 140, 140, {140, 105}}, {141, 105, 140, 105, {140, 104}},  {100000, 1, 140, 105, {140, 1}},
    };
    for (const auto& c : cases) {
        const PictureSize s = image::FitToBox(c.w, c.h, c.bw, c.bh);
        EXPECT_EQ(s.width, c.expected.width) << c.w << "x" << c.h;
        EXPECT_EQ(s.height, c.expected.height) << c.w << "x" << c.h;
    }
}

TEST(ScaleMethod0, FourPixelsToTwoGiveTheRoundedMeans) {
    Block src = MakeBlock(4, 1);
    const uint8_t values[4][3] = {{10, 0, 255}, {21, 1, 254}, {100, 7, 0}, {201, 8, 1}};
    for (int x = 0; x < 4; ++x)
        for (int c = 0; c < 3; ++c)
            src.At(x, 0, c) = values[x][c];
    Block out = Scale(src, 2, 1, image::kScaleAreaLinear);
    ASSERT_EQ(out.width, 2);
    EXPECT_EQ(out.At(0, 0, 0), 16);  // 15.5
    EXPECT_EQ(out.At(0, 0, 1), 1);   // 0.5
    EXPECT_EQ(out.At(0, 0, 2), 255); // 254.5
    EXPECT_EQ(out.At(1, 0, 0), 151); // 150.5
    EXPECT_EQ(out.At(1, 0, 1), 8);   // 7.5
    EXPECT_EQ(out.At(1, 0, 2), 1);   // 0.5
}

TEST(ScaleMethod0, MatchesThePlainReferenceOnASweep) {
    int checked = 0;
    for (int sw = 1; sw <= 23; sw += 3)
        for (int sh = 1; sh <= 19; sh += 4)
            for (int tw = 1; tw <= 30; tw += 4)
                for (int th = 1; th <= 25; th += 5) {
                    if (tw == sw && th == sh)
                        continue;
                    const Block src = RandomBlock(sw, sh, static_cast<uint32_t>(sw * 1000 + sh));
                    const Block got = Scale(src, tw, th, image::kScaleAreaLinear);
                    const Block want = ReferenceMethod0(src, tw, th);
                    ASSERT_EQ(got.width, tw);
                    ASSERT_EQ(got.bytes, want.bytes) << sw << "x" << sh << " -> " << tw << "x" << th;
                    ++checked;
                }
    EXPECT_GT(checked, 1000) << "sweep too small";
    // Ratios whose steps do not add up exactly in binary.
    for (int n : {100, 333, 500, 1000})
        for (int m : {3, 7, 140, 105, 99}) {
            if (m >= n)
                continue;
            const Block src = RandomBlock(n, 2, static_cast<uint32_t>(n + m));
            ASSERT_EQ(Scale(src, m, 2, image::kScaleAreaLinear).bytes, ReferenceMethod0(src, m, 2).bytes)
                << n << " -> " << m;
        }
}

TEST(ScaleMethod0, FlatAreasStayFlat) {
    for (uint8_t v : {0, 1, 128, 254, 255}) {
        Block src = MakeBlock(500, 375);
        for (int y = 0; y < 375; ++y)
            for (int x = 0; x < 500; ++x)
                for (int c = 0; c < 3; ++c)
                    src.At(x, y, c) = v;
        const Block out = Scale(src, 140, 105, image::kScaleAreaLinear);
        for (int y = 0; y < 105; ++y)
            for (int x = 0; x < 140; ++x)
                ASSERT_EQ(out.At(x, y, 1), v) << int(v) << " at " << x << "," << y;
    }
}

TEST(ScaleImage, RefusesSizesAndMethodsItCannotServe) {
    const Block src = RandomBlock(8, 8, 1);
    Scaler scaler;
    auto scale = [&](int tw, int th, int method) {
        return static_cast<bool>(image::ScaleImage(scaler, src.bytes.data(), 8, 8, tw, th, method, nullptr));
    };
    EXPECT_FALSE(scale(0, 4, 0));
    EXPECT_FALSE(scale(4, -1, 1));
    EXPECT_FALSE(scale(8, 8, 0)) << "method 0 does not copy";
    EXPECT_TRUE(scale(8, 8, 1));
    EXPECT_TRUE(scale(8, 8, 2));
    EXPECT_FALSE(scale(4, 4, 4));
    EXPECT_FALSE(scale(4, 4, -1));
    EXPECT_FALSE(scale(4, 4, 3)) << "no device context";
    EXPECT_FALSE(scale(0x7FFFFFFF, 0x7FFFFFFF, 2)) << "target beyond 32 bits";
}

TEST(ScaleMethod1, StepsReduceByAtMostFour) {
    const auto a = image::PlanBicubicSteps(400, 401, 100, 100);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].to_width, 100);
    EXPECT_EQ(a[0].to_height, 400);
    EXPECT_TRUE(a[0].blur_horizontal);
    EXPECT_TRUE(a[0].blur_vertical);
    EXPECT_EQ(a[1].to_width, 100);
    EXPECT_EQ(a[1].to_height, 100);
    EXPECT_FALSE(a[1].blur_horizontal);
    EXPECT_TRUE(a[1].blur_vertical);

    const auto b = image::PlanBicubicSteps(1024, 1024, 16, 16);
    ASSERT_EQ(b.size(), 3u);
    const int sides[3] = {256, 64, 16};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(b[i].to_width, sides[i]);
        EXPECT_EQ(b[i].to_height, sides[i]);
        EXPECT_TRUE(b[i].blur_horizontal && b[i].blur_vertical);
    }

    const auto c = image::PlanBicubicSteps(10, 10, 40, 40);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_FALSE(c[0].blur_horizontal || c[0].blur_vertical);

    const auto d = image::PlanBicubicSteps(10, 1024, 40, 16);
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].to_width, 40);
    EXPECT_EQ(d[0].to_height, 256);
    EXPECT_EQ(d[2].to_width, 40);
    EXPECT_EQ(d[2].to_height, 16);

    EXPECT_TRUE(image::PlanBicubicSteps(7, 7, 7, 7).empty());
}

TEST(ScaleMethod1, PrefilterWeights) {
    const image::Prefilter four = image::MakePrefilter(4.0);
    EXPECT_EQ(four.radius, 2);
    EXPECT_EQ(four.shift, 10); // total 255 + 2 * (155 + 35) = 635
    EXPECT_EQ(four.weights[0], 411);
    EXPECT_EQ(four.weights[1], 250);
    EXPECT_EQ(four.weights[2], 56);
    const image::Prefilter slight = image::MakePrefilter(401.0 / 400.0);
    EXPECT_EQ(slight.radius, 1);
    EXPECT_EQ(slight.weights[1], 0);
    EXPECT_EQ(slight.weights[0], 256);
    EXPECT_EQ(slight.shift, 8);
}

double Cubic(double t) {
    t = std::fabs(t);
    if (t <= 1)
        return t * t * t - 2 * t * t + 1;
    if (t <= 2)
        return -t * t * t + 5 * t * t - 8 * t + 4;
    return 0;
}

// One bicubic pass as described: the 4 x 4 taps summed directly.
Block ReferenceBicubic(const Block& src, int tw, int th) {
    Block dst = MakeBlock(tw, th);
    const double sx = static_cast<double>(src.width) / tw, sy = static_cast<double>(src.height) / th;
    for (int y = 0; y < th; ++y) {
        const double v = (y + 0.5) * sy - 0.5;
        const int j = static_cast<int>(std::floor(v));
        for (int x = 0; x < tw; ++x) {
            const double u = (x + 0.5) * sx - 0.5;
            const int i = static_cast<int>(std::floor(u));
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int b = -1; b <= 2; ++b)
                    for (int a = -1; a <= 2; ++a) {
                        const int px = std::min(std::max(i + a, 0), src.width - 1);
                        const int py = std::min(std::max(j + b, 0), src.height - 1);
                        sum += Cubic(v - (j + b)) * Cubic(u - (i + a)) * src.At(px, py, c);
                    }
                dst.At(x, y, c) = static_cast<uint8_t>(std::min(std::max(sum + 1e-7, 0.0), 255.0));
            }
        }
    }
    return dst;
}

TEST(ScaleMethod1, OneEnlargingPassMatchesTheDirectSum) {
    int mismatches = 0, total = 0;
    for (int sw : {1, 2, 5, 10})
        for (int sh : {1, 3, 10})
            for (int tw : {11, 17, 40})
                for (int th : {12, 40}) {
                    const Block src = RandomBlock(sw, sh, static_cast<uint32_t>(sw * 31 + sh));
                    const Block got = Scale(src, tw, th, image::kScaleBicubic);
                    const Block want = ReferenceBicubic(src, tw, th);
                    ASSERT_EQ(got.width, tw);
                    for (size_t i = 0; i < got.bytes.size(); ++i) {
                        ASSERT_LE(std::abs(got.bytes[i] - want.bytes[i]), 1);
                        mismatches += got.bytes[i] != want.bytes[i];
                        ++total;
                    }
                }
    // Summing rows first may move a value sitting exactly on an integer; that must stay rare.
    EXPECT_LT(mismatches, total / 10000 + 1);
}

TEST(ScaleMethod1, FlatAreasStayFlatWhenEnlarging) {
    for (uint8_t v : {0, 77, 255}) {
        Block src = MakeBlock(10, 10);
        std::fill(src.bytes.begin(), src.bytes.end(), v);
        const Block out = Scale(src, 40, 40, image::kScaleBicubic);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(out.At(x, y, 0), v) << int(v);
    }
}

TEST(ScaleMethod1, ReducesLargePicturesToTheExactTarget) {
    const Block src = RandomBlock(1024, 1024, 5);
    const Block out = Scale(src, 16, 16, image::kScaleBicubic);
    ASSERT_EQ(out.width, 16);
    // Random noise averages out towards the middle.
    int sum = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            sum += out.At(x, y, 0);
    EXPECT_NEAR(sum / 256.0, 127.5, 12);
    EXPECT_EQ(Scale(RandomBlock(400, 401, 6), 100, 100, image::kScaleBicubic).width, 100);
}

TEST(ScaleMethod2, PicksTheSourcePixelUnderEachCentre) {
    for (int sw : {1, 3, 10, 33})
        for (int sh : {1, 4, 9})
            for (int tw : {1, 2, 7, 50})
                for (int th : {1, 5, 20}) {
                    const Block src = RandomBlock(sw, sh, static_cast<uint32_t>(sw + 7 * sh));
                    const Block got = Scale(src, tw, th, image::kScaleNearest);
                    const double ex = static_cast<double>(sw) / tw, ey = static_cast<double>(sh) / th;
                    for (int y = 0; y < th; ++y)
                        for (int x = 0; x < tw; ++x) {
                            const int sx = static_cast<int>((x + 0.5) * ex), sy = static_cast<int>((y + 0.5) * ey);
                            for (int c = 0; c < 3; ++c)
                                ASSERT_EQ(got.At(x, y, c), src.At(sx, sy, c));
                        }
                }
}

Block Rotate(const Block& src, int kind) {
    int w = src.width, h = src.height;
    platform::PageBlock out = image::RotateImage(src.bytes.data(), &w, &h, kind);
    if (!out)
        return Block();
    return FromPage(out, w, h);
}

TEST(RotateImage, InversePairsRestoreThePicture) {
    for (int w : {1, 2, 3, 5, 8})
        for (int h : {1, 2, 7}) {
            const Block src = RandomBlock(w, h, static_cast<uint32_t>(w * 10 + h));
            Block clean = src;
            // Padding bytes are not part of the picture.
            for (int y = 0; y < h; ++y)
                std::fill(clean.bytes.begin() + y * src.Stride() + 3 * w, clean.bytes.begin() + (y + 1) * src.Stride(), 0);
            std::fill(clean.bytes.end() - 4, clean.bytes.end(), 0);
            EXPECT_EQ(Rotate(Rotate(src, 1), 3).bytes, clean.bytes) << w << "x" << h;
            EXPECT_EQ(Rotate(Rotate(src, 3), 1).bytes, clean.bytes);
            EXPECT_EQ(Rotate(Rotate(src, 2), 2).bytes, clean.bytes);
            EXPECT_EQ(Rotate(Rotate(src, 4), 4).bytes, clean.bytes);
            EXPECT_EQ(Rotate(Rotate(src, 5), 5).bytes, clean.bytes);
            EXPECT_EQ(Rotate(Rotate(src, 4), 5).bytes, Rotate(src, 2).bytes) << "two mirrors are a half turn";
        }
}

TEST(RotateImage, KindsMoveTheTopLeftCornerWhereTheyShould) {
    // Storage is bottom-up: the picture's top-left pixel is column 0 of the last stored row.
    Block src = MakeBlock(3, 2);
    src.At(0, 1, 0) = 200;
    struct Case {
        int kind, w, h, x, stored_row;
    } cases[] = {
        {1, 2, 3, 1, 2}, // clockwise: to the top-right
        {3, 2, 3, 0, 0}, // counter-clockwise: to the bottom-left
        {2, 3, 2, 2, 0}, // half turn: to the bottom-right
        {4, 3, 2, 2, 1}, // left-right: to the top-right
        {5, 3, 2, 0, 0}, // top-bottom: to the bottom-left
    };
    for (const Case& c : cases) {
        const Block out = Rotate(src, c.kind);
        ASSERT_EQ(out.width, c.w) << c.kind;
        ASSERT_EQ(out.height, c.h) << c.kind;
        EXPECT_EQ(out.At(c.x, c.stored_row, 0), 200) << "kind " << c.kind;
    }
    int w = 3, h = 2;
    EXPECT_FALSE(image::RotateImage(src.bytes.data(), &w, &h, 0));
    EXPECT_FALSE(image::RotateImage(src.bytes.data(), &w, &h, 6));
    EXPECT_EQ(w, 3);
}

// Greyscale pictures stay 8 bits a pixel: every kind moves each grey value where it moves the
// same pixel of a 24-bit copy, with the narrower rows padded as 8-bit rows are.
TEST(RotateImage, EightBitBlocksTurnLikeTheirColourCopies) {
    for (int w : {1, 3, 5, 6})
        for (int h : {1, 2, 7}) {
            const size_t stride8 = (static_cast<size_t>(w) + 3) & ~size_t(3);
            std::vector<uint8_t> grey(stride8 * h + 4, 0);
            Block colour = MakeBlock(w, h);
            std::mt19937 rng(static_cast<uint32_t>(w * 31 + h));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint8_t v = static_cast<uint8_t>(rng());
                    grey[y * stride8 + x] = v;
                    for (int c = 0; c < 3; ++c)
                        colour.At(x, y, c) = v;
                }
            for (int kind = 1; kind <= 5; ++kind) {
                int gw = w, gh = h;
                platform::PageBlock out = image::RotateImage(grey.data(), &gw, &gh, kind, 8);
                ASSERT_TRUE(out) << kind;
                const Block expected = Rotate(colour, kind);
                ASSERT_EQ(gw, expected.width);
                ASSERT_EQ(gh, expected.height);
                const size_t outStride = (static_cast<size_t>(gw) + 3) & ~size_t(3);
                for (int y = 0; y < gh; ++y)
                    for (int x = 0; x < gw; ++x)
                        ASSERT_EQ(out.Get()[y * outStride + x], expected.At(x, y, 0))
                            << w << "x" << h << " kind " << kind << " at " << x << "," << y;
            }
        }
    int w = 2, h = 2;
    const uint8_t four[12] = {};
    EXPECT_FALSE(image::RotateImage(four, &w, &h, 1, 16)) << "only 8 and 24 bits";
}

TEST(MulTable, IsTheProductOver255OverItsWholeDomain) {
    const uint8_t* m = image::MulTable();
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            const int v = image::Mul255(m, static_cast<uint8_t>(a), static_cast<uint8_t>(b));
            ASSERT_EQ(v, image::Mul255(m, static_cast<uint8_t>(b), static_cast<uint8_t>(a)));
            // Rounded, except that the fixed-point reciprocal may round a product within 1/100 of
            // a half down.
            ASSERT_LE(std::fabs(v - a * b / 255.0), 0.51) << a << " x " << b;
        }
    for (int x = 0; x < 256; ++x) {
        EXPECT_EQ(m[x], 0);
        EXPECT_EQ(m[255 * 256 + x], x);
        EXPECT_EQ(m[x * 256 + 255], x);
    }
}

} // namespace
