// Photograph-like test pictures written by code: smooth colour gradients with seeded noise, so each
// file compresses like a photograph and no two look alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace photos {

// A 24-bit bottom-up pixel block (rows padded to 4 bytes) of `width` x `height`.
std::vector<uint8_t> GradientNoise(int width, int height, uint32_t seed);

// Writes the picture as a baseline JPEG (quality 85) or a 24-bit BMP; false when writing fails.
bool WriteJpeg(const std::wstring& path, int width, int height, uint32_t seed);
bool WriteBmp(const std::wstring& path, int width, int height, uint32_t seed);

} // namespace photos
