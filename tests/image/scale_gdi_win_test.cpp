#include "image/scale_gdi_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "common/scoped_win.h"

namespace {

TEST(ScaleSystem, StretchesThroughTheScalersDeviceContext) {
    const int sw = 100, sh = 80, tw = 50, th = 30;
    const size_t stride = (sw * 3 + 3) & ~3;
    std::vector<uint8_t> src(stride * sh + 4);
    // Bottom half (first stored rows) blue, top half red.
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
            uint8_t* p = &src[y * stride + 3 * x];
            p[0] = y < sh / 2 ? 255 : 0;
            p[2] = y < sh / 2 ? 0 : 255;
        }
    image::DecodedImage info;
    image::SetBitmapHeader(info, sw, sh, 24);

    image::Scaler scaler;
    EXPECT_FALSE(image::ScaleImage(scaler, src.data(), sw, sh, tw, th, image::kScaleSystem, &info.info))
        << "no device context yet";

    win::MemoryDC dc(nullptr);
    ASSERT_NE(dc.Get(), nullptr);
    SetStretchBltMode(dc.Get(), HALFTONE);
    SetBrushOrgEx(dc.Get(), 0, 0, nullptr);
    image::ScalerUseDc(scaler, dc.Get());
    EXPECT_FALSE(image::ScaleImage(scaler, src.data(), sw, sh, tw, th, image::kScaleSystem, nullptr))
        << "no bitmap info";
    platform::PageBlock out = image::ScaleImage(scaler, src.data(), sw, sh, tw, th, image::kScaleSystem, &info.info);
    ASSERT_TRUE(out);
    const size_t ts = (tw * 3 + 3) & ~3;
    const uint8_t* bottom = out.Get() + 2 * ts + 3 * 10;
    const uint8_t* top = out.Get() + (th - 3) * ts + 3 * 10;
    EXPECT_GE(bottom[0], 240);
    EXPECT_LE(bottom[2], 15);
    EXPECT_GE(top[2], 240);
    EXPECT_LE(top[0], 15);

    image::ScalerUseDc(scaler, nullptr);
    EXPECT_FALSE(image::ScaleImage(scaler, src.data(), sw, sh, tw, th, image::kScaleSystem, &info.info));
}

} // namespace
