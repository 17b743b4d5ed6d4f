// The shared 256 x 256 multiplication table: M[a][b] = a x b / 255, rounded. Built once, then read
// by every thread (alpha compositing of the PNG and GIF decoders).
#pragma once

#include <cstdint>

namespace image {

// Row a of the table starts at MulTable() + 256 * a.
const uint8_t* MulTable();

inline uint8_t Mul255(const uint8_t* table, uint8_t a, uint8_t b) { return table[(a << 8) | b]; }

} // namespace image
