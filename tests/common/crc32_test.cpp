#include "common/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const uint8_t* Bytes(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

// One bit at a time, straight from the definition: the reference the table-driven form must match.
uint32_t BitwiseCrc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return c ^ 0xFFFFFFFFu;
}

TEST(Crc32, KnownVectors) {
    struct Case {
        const char* text;
        uint32_t crc;
    } cases[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
        {"IEND", 0xAE426082u}, // the CRC every PNG ends with
    };
    for (const Case& c : cases)
        EXPECT_EQ(crc::Crc32(Bytes(c.text), std::strlen(c.text)), c.crc) << c.text;
    EXPECT_EQ(crc::Crc32(nullptr, 0), 0u);
}

TEST(Crc32, MatchesBitwiseReferenceAtEveryLengthAndAlignment) {
    std::vector<uint8_t> data(300);
    uint32_t x = 12345;
    for (uint8_t& b : data) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    // Lengths around the 8-byte step and starts off any alignment reach both loops and their seams.
    for (size_t start = 0; start < 9; ++start)
        for (size_t n = 0; start + n <= 40; ++n)
            EXPECT_EQ(crc::Crc32(data.data() + start, n), BitwiseCrc32(data.data() + start, n)) << start << "+" << n;
    EXPECT_EQ(crc::Crc32(data.data(), data.size()), BitwiseCrc32(data.data(), data.size()));
}

TEST(Crc32, IncrementalEqualsOneShot) {
    const char* text = "123456789";
    for (size_t split = 0; split <= 9; ++split) {
        uint32_t running = crc::kCrc32Init;
        running = crc::Crc32Update(running, Bytes(text), split);
        running = crc::Crc32Update(running, Bytes(text) + split, 9 - split);
        EXPECT_EQ(crc::Crc32Final(running), 0xCBF43926u) << split;
    }
    // Feeding one byte at a time, and empty pieces in between, changes nothing.
    uint32_t running = crc::kCrc32Init;
    for (size_t i = 0; i < 9; ++i) {
        running = crc::Crc32Update(running, Bytes(text) + i, 1);
        running = crc::Crc32Update(running, Bytes(text), 0);
    }
    EXPECT_EQ(crc::Crc32Final(running), 0xCBF43926u);
}

} // namespace
