#include "image/mul_table.h"

#include <array>

namespace image {

namespace {

std::array<uint8_t, 65536> BuildMulTable() {
    std::array<uint8_t, 65536> m{};
    for (uint32_t x = 0; x < 256; ++x) {
        m[x] = 0;
        m[x << 8] = 0;
        m[(255u << 8) | x] = static_cast<uint8_t>(x);
        m[(x << 8) | 255u] = static_cast<uint8_t>(x);
    }
    for (uint32_t a = 1; a <= 254; ++a) {
        const uint32_t f = (a * 65536u) / 255u;
        for (uint32_t b = a; b <= 254; ++b) {
            const uint8_t v = static_cast<uint8_t>((b * f + 32768u) >> 16);
            m[(a << 8) | b] = v;
            m[(b << 8) | a] = v;
        }
    }
    return m;
}

} // namespace

const uint8_t* MulTable() {
    static const std::array<uint8_t, 65536> table = BuildMulTable();
    return table.data();
}

} // namespace image
