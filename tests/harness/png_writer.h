// Writes 24-bit RGB pictures as PNG files, for screenshots that people look at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace harness {

// `rgb` holds height rows of width × 3 bytes, top row first, red first.
bool WritePngRgb(const std::wstring& path, int width, int height, const std::vector<uint8_t>& rgb);
// The same, into memory.
std::vector<uint8_t> EncodePngRgb(int width, int height, const std::vector<uint8_t>& rgb);

} // namespace harness
