#include "common/crc32.h"

namespace crc {

namespace {

// Eight tables, so the loop consumes eight bytes per step ("slicing by 8"); table k advances a byte
// value through k further zero bytes.
struct Tables {
    uint32_t t[8][256];
    Tables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

uint32_t Crc32Update(uint32_t running, const uint8_t* data, size_t size) {
    static const Tables tables;
    const auto& t = tables.t;
    uint32_t c = running;
    while (size >= 8) {
        const uint32_t lo = c ^ Le32(data);
        const uint32_t hi = Le32(data + 4);
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        data += 8;
        size -= 8;
    }
    while (size--)
        c = t[0][(c ^ *data++) & 0xFF] ^ (c >> 8);
    return c;
}

} // namespace crc
