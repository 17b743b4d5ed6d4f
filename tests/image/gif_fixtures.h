// GIF test files made in code: blocks written byte by byte, image data through a small LZW encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testgif {

using Bytes = std::vector<uint8_t>;

// LZW codes of `indices` (clear code first, end code last), packed least significant bit first.
// With `max_codes` below 4096 the encoder clears its table earlier than it must.
Bytes Lzw(const Bytes& indices, uint32_t min_code_size, uint32_t max_codes = 4096);
// `data` cut into sub-blocks of at most `block` bytes, with the zero-length terminator.
Bytes SubBlocks(const Bytes& data, size_t block = 255);

struct Frame {
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    bool interlace = false;
    uint32_t local_bits = 0;  // 0: no local table; else 2^bits entries
    Bytes local_table;        // RGB triples (padded with zeros)
    Bytes indices;            // in stream order (already interlaced when `interlace` is set)
    uint32_t min_code_size = 8;
};

struct File {
    std::string version = "89a";
    uint16_t width = 1;
    uint16_t height = 1;
    uint32_t global_bits = 0; // 0: no global table
    Bytes global_table;
    uint8_t background = 0;
    Bytes blocks;             // extensions and anything else before the first frame
    std::vector<Frame> frames;
    bool trailer = true;
};

Bytes GraphicControl(bool transparent, uint8_t index);
Bytes Comment(const std::string& text);
Bytes Application(const std::string& id, const Bytes& data);
Bytes Make(const File& f);

} // namespace testgif
