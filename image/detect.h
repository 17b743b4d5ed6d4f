// Format detection by signature (the first eight bytes) and by file-name extension.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/decoded_image.h"

namespace image {

// Opens the file for reading, reads exactly 8 bytes and classifies them; Unreadable when the file
// cannot be opened or holds fewer than 8 bytes.
ImageFormat DetectFormatFromFile(const std::wstring& path);
// Classifies the first 8 bytes of a block; Unreadable for blocks shorter than 8 bytes.
ImageFormat DetectFormatFromMemory(const uint8_t* data, size_t length);
// By the part of the name from its last '.', ASCII case-insensitive. Only a hint: decoding always goes
// by the signature.
ImageFormat FormatFromExtension(const std::wstring& name);

} // namespace image
