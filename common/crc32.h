// CRC-32 of PNG chunks and ZIP entries: the reflected polynomial 0xEDB88320, initial value and final
// XOR 0xFFFFFFFF. Crc32(p, n) is the whole computation; for data that arrives in pieces, start with
// kCrc32Init, feed each piece to Crc32Update and finish with Crc32Final.
#pragma once

#include <cstddef>
#include <cstdint>

namespace crc {

constexpr uint32_t kCrc32Init = 0xFFFFFFFFu;

uint32_t Crc32Update(uint32_t running, const uint8_t* data, size_t size);
inline uint32_t Crc32Final(uint32_t running) { return running ^ 0xFFFFFFFFu; }
inline uint32_t Crc32(const uint8_t* data, size_t size) { return Crc32Final(Crc32Update(kCrc32Init, data, size)); }

} // namespace crc
