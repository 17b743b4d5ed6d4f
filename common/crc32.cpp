#include "common/crc32.h"

#include <zlib.h>

namespace crc {

// zlib's routine: the same polynomial, several times faster than a table loop of our own, and
// every member, chunk and packed file passes through here.
uint32_t Crc32Update(uint32_t running, const uint8_t* data, size_t size) {
    uLong c = running ^ 0xFFFFFFFFu;
    while (size > 0) {
        const uInt piece = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        c = crc32(c, data, piece);
        data += piece;
        size -= piece;
    }
    return static_cast<uint32_t>(c) ^ 0xFFFFFFFFu;
}

} // namespace crc
