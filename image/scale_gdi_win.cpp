#include "image/scale_gdi_win.h"

#include <cstddef>
#include <cstring>

#include "common/scoped_win.h"

namespace image {

// The portable records must be the Windows ones, so a DecodedImage goes to GDI without copying.
static_assert(sizeof(BitmapInfoHeader) == sizeof(BITMAPINFOHEADER), "BITMAPINFOHEADER size");
static_assert(offsetof(BitmapInfoHeader, width) == offsetof(BITMAPINFOHEADER, biWidth), "biWidth");
static_assert(offsetof(BitmapInfoHeader, bit_count) == offsetof(BITMAPINFOHEADER, biBitCount), "biBitCount");
static_assert(offsetof(BitmapInfoHeader, x_pels_per_meter) == offsetof(BITMAPINFOHEADER, biXPelsPerMeter),
              "biXPelsPerMeter");
static_assert(offsetof(BitmapInfoHeader, clr_important) == offsetof(BITMAPINFOHEADER, biClrImportant),
              "biClrImportant");
static_assert(sizeof(RgbQuad) == sizeof(RGBQUAD), "RGBQUAD size");
static_assert(offsetof(BitmapInfo, colors) == offsetof(BITMAPINFO, bmiColors), "bmiColors");

namespace {

platform::PageBlock GdiStretch(Scaler& scaler, const uint8_t* src, int sw, int sh, int tw, int th,
                               const BitmapInfo* info) {
    HDC dc = static_cast<HDC>(scaler.dc);
    platform::PageBlock out = AllocPixelBlock(static_cast<uint32_t>(tw), static_cast<uint32_t>(th), 24);
    if (!out)
        return out;
    BITMAPINFO target = {};
    target.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    target.bmiHeader.biWidth = tw;
    target.bmiHeader.biHeight = th; // bottom-up
    target.bmiHeader.biPlanes = 1;
    target.bmiHeader.biBitCount = 24;
    target.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win::Bitmap section(CreateDIBSection(dc, &target, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!section || !bits)
        return platform::PageBlock();
    {
        win::SelectObjectScope select(dc, section.Get());
        if (StretchDIBits(dc, 0, 0, tw, th, 0, 0, sw, sh, src, reinterpret_cast<const BITMAPINFO*>(info),
                          DIB_RGB_COLORS, SRCCOPY) == 0)
            return platform::PageBlock();
        GdiFlush();
        std::memcpy(out.Get(), bits, static_cast<size_t>(StrideFor(static_cast<uint32_t>(tw), 24)) * th);
    }
    return out;
}

} // namespace

void ScalerUseDc(Scaler& scaler, HDC dc) {
    scaler.dc = dc;
    scaler.system_stretch = dc ? GdiStretch : nullptr;
}

} // namespace image
