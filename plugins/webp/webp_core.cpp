#include "plugins/webp/webp_core.h"

#include <cstring>
#include <memory>

#include <webp/decode.h>

namespace webp_plugin {
namespace {

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool FitsLimit(const WebpInfo& info, uint64_t max_pixels) {
    return info.width > 0 && info.height > 0 &&
           static_cast<uint64_t>(info.width) <= max_pixels / static_cast<uint64_t>(info.height);
}

} // namespace

bool WebpIsSupported(const uint8_t* head, size_t len) {
    // RIFF size WEBP, then the first chunk: "VP8 " (lossy), "VP8L" (lossless) or "VP8X" (extended,
    // whose flags byte says whether the file is an animation).
    if (len < 21 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WEBP", 4) != 0)
        return false;
    const uint8_t* chunk = head + 12;
    if (std::memcmp(chunk, "VP8 ", 4) == 0 || std::memcmp(chunk, "VP8L", 4) == 0)
        return true;
    if (std::memcmp(chunk, "VP8X", 4) == 0)
        return (chunk[8] & 0x02) == 0;
    return false;
}

WebpError WebpReadInfo(const uint8_t* data, size_t size, WebpInfo* info) {
    *info = WebpInfo{};
    if (!data || size < 12 || !WebpIsSupported(data, size))
        return WebpError::NotWebp;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK)
        return WebpError::Broken;
    info->width = features.width;
    info->height = features.height;
    info->has_alpha = features.has_alpha != 0;
    info->lossless = features.format == 2;
    info->animated = features.has_animation != 0;
    if (info->animated)
        return WebpError::Unsupported;
    return info->width > 0 && info->height > 0 ? WebpError::Ok : WebpError::Broken;
}

size_t WebpDibStride(int width) {
    return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
}

size_t WebpDibSize(const WebpInfo& info, uint64_t max_pixels) {
    if (!FitsLimit(info, max_pixels))
        return 0;
    return WebpDibStride(info.width) * static_cast<size_t>(info.height);
}

void WebpFillInfoHeader(const WebpInfo& info, uint8_t out[kInfoHeaderSize]) {
    std::memset(out, 0, kInfoHeaderSize);
    PutLe32(out, kInfoHeaderSize);
    PutLe32(out + 4, static_cast<uint32_t>(info.width));
    PutLe32(out + 8, static_cast<uint32_t>(info.height));  // positive: bottom-up
    out[12] = 1;                                           // planes
    out[14] = 24;                                          // bits per pixel; BI_RGB stays 0
    PutLe32(out + 20, static_cast<uint32_t>(WebpDibSize(info)));
}

WebpError WebpDecodeInto(const uint8_t* data, size_t size, uint8_t* bits, size_t bits_size, uint64_t max_pixels) {
    WebpInfo info;
    WebpError error = WebpReadInfo(data, size, &info);
    if (error != WebpError::Ok)
        return error;
    const size_t need = WebpDibSize(info, max_pixels);
    if (need == 0)
        return WebpError::TooLarge;
    if (!bits || bits_size < need)
        return WebpError::BadSize;
    const size_t stride = WebpDibStride(info.width);
    const int width = info.width, height = info.height;

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return WebpError::Broken;
    config.output.is_external_memory = 1;
    std::unique_ptr<uint8_t[]> bgra;
    if (!info.has_alpha) {
        // Straight into the bitmap: the decoder's own vertical flip writes the rows bottom-up.
        config.options.flip = 1;
        config.output.colorspace = MODE_BGR;
        config.output.u.RGBA.rgba = bits;
        config.output.u.RGBA.stride = static_cast<int>(stride);
        config.output.u.RGBA.size = need;
    } else {
        const size_t bgra_stride = static_cast<size_t>(width) * 4;
        bgra.reset(new (std::nothrow) uint8_t[bgra_stride * static_cast<size_t>(height)]);
        if (!bgra)
            return WebpError::TooLarge;
        config.output.colorspace = MODE_BGRA;
        config.output.u.RGBA.rgba = bgra.get();
        config.output.u.RGBA.stride = static_cast<int>(bgra_stride);
        config.output.u.RGBA.size = bgra_stride * static_cast<size_t>(height);
    }
    const VP8StatusCode status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        return status == VP8_STATUS_OUT_OF_MEMORY ? WebpError::TooLarge : WebpError::Broken;
    if (bgra) {
        for (int y = 0; y < height; ++y) {
            const uint8_t* in = bgra.get() + static_cast<size_t>(y) * width * 4;
            uint8_t* out = bits + stride * static_cast<size_t>(height - 1 - y);
            for (int x = 0; x < width; ++x, in += 4, out += 3) {
                const uint8_t a = in[3];
                if (a == 255) {
                    out[0] = in[0], out[1] = in[1], out[2] = in[2];
                } else {
                    out[0] = CompositeOnWhite(in[0], a);
                    out[1] = CompositeOnWhite(in[1], a);
                    out[2] = CompositeOnWhite(in[2], a);
                }
            }
        }
    }
    // Row padding is part of the bitmap the host copies: keep it defined.
    if (stride > static_cast<size_t>(width) * 3) {
        for (int y = 0; y < height; ++y)
            std::memset(bits + stride * static_cast<size_t>(y) + static_cast<size_t>(width) * 3, 0,
                        stride - static_cast<size_t>(width) * 3);
    }
    return WebpError::Ok;
}

const char* WebpErrorText(WebpError error) {
    switch (error) {
    case WebpError::Ok: return "ok";
    case WebpError::NotWebp: return "not a WebP picture";
    case WebpError::Unsupported: return "animated WebP is not supported";
    case WebpError::TooLarge: return "picture too large";
    case WebpError::BadSize: return "output buffer too small";
    case WebpError::Broken: return "damaged or truncated WebP data";
    }
    return "unknown error";
}

} // namespace webp_plugin
