// The WebP plug-in's decoding core: plain functions over bytes, shared by the module's entry points and
// the native tests and fuzz target. Output is what the plug-in interface carries: a 24-bit bottom-up
// device-independent bitmap (rows padded to 4 bytes) with a BITMAPINFOHEADER. The interface has no
// alpha, so transparent pixels are composited onto white.
#pragma once

#include <cstddef>
#include <cstdint>

namespace webp_plugin {

enum class WebpError {
    Ok,
    NotWebp,        // no RIFF/WEBP signature or no picture chunk
    Unsupported,    // animation: the interface carries one picture
    TooLarge,       // over the pixel limit
    BadSize,        // output buffer smaller than the bitmap
    Broken,         // the decoder rejected the data (damaged or truncated)
};

struct WebpInfo {
    int width = 0;
    int height = 0;
    bool has_alpha = false;
    bool lossless = false;
    bool animated = false;
};

constexpr size_t kInfoHeaderSize = 40;
// 16,383 × 16,383 is the format's own maximum; the limit is a parameter so the fuzz target can lower it.
constexpr uint64_t kDefaultMaxPixels = uint64_t{16383} * 16383;

// True when `head` (the file's first bytes, zero-padded) starts a still WebP picture.
bool WebpIsSupported(const uint8_t* head, size_t len);

// Width, height and kind from the headers; needs only the first few dozen bytes of the file.
WebpError WebpReadInfo(const uint8_t* data, size_t size, WebpInfo* info);

// Bytes per row of the 24-bit bitmap, and of the whole bitmap (0 when over `max_pixels`).
size_t WebpDibStride(int width);
size_t WebpDibSize(const WebpInfo& info, uint64_t max_pixels = kDefaultMaxPixels);

// The BITMAPINFOHEADER of the bitmap WebpDecodeInto writes.
void WebpFillInfoHeader(const WebpInfo& info, uint8_t out[kInfoHeaderSize]);

// Decodes into `bits` (at least WebpDibSize bytes): bottom-up BGR rows, alpha composited onto white.
WebpError WebpDecodeInto(const uint8_t* data, size_t size, uint8_t* bits, size_t bits_size,
                         uint64_t max_pixels = kDefaultMaxPixels);

// One channel over white: c·a/255 + 255·(255−a)/255, rounded to nearest.
inline uint8_t CompositeOnWhite(uint8_t c, uint8_t a) {
    return static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
}

const char* WebpErrorText(WebpError error);

} // namespace webp_plugin
