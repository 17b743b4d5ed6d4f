// Comparing two decodes of one picture: pixel for pixel, or as PSNR over the colour bytes.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "image/decoded_image.h"

namespace testjpeg {

inline bool SamePixels(const image::DecodedImage& a, const image::DecodedImage& b) {
    if (!a.pixels || !b.pixels || image::Width(a) != image::Width(b) || image::Height(a) != image::Height(b) ||
        image::BitCount(a) != image::BitCount(b))
        return false;
    const size_t stride = static_cast<size_t>(image::Stride(a));
    return std::memcmp(a.pixels, b.pixels, stride * static_cast<size_t>(image::Height(a))) == 0;
}

// Peak signal-to-noise ratio in dB over every sample (padding left out); 99 for identical pictures,
// 0 when the sizes differ.
inline double Psnr(const image::DecodedImage& a, const image::DecodedImage& b) {
    if (!a.pixels || !b.pixels || image::Width(a) != image::Width(b) || image::Height(a) != image::Height(b) ||
        image::BitCount(a) != image::BitCount(b))
        return 0;
    const size_t stride = static_cast<size_t>(image::Stride(a));
    const size_t rowBytes = static_cast<size_t>(image::Width(a)) * (image::BitCount(a) / 8u);
    double sum = 0;
    size_t n = 0;
    for (int y = 0; y < image::Height(a); ++y)
        for (size_t x = 0; x < rowBytes; ++x) {
            const double d = static_cast<double>(a.pixels[y * stride + x]) - b.pixels[y * stride + x];
            sum += d * d;
            ++n;
        }
    if (sum == 0)
        return 99;
    return 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(n)));
}

} // namespace testjpeg
