#include "tests/image/png_fixtures.h"

#include <zlib.h>

#include <cstdlib>

#include "tests/fixtures/byte_writer.h"

namespace testpng {

Bytes Chunk(const std::string& type, const Bytes& data, bool good_crc) {
    fixtures::ByteWriter w;
    w.U32BE(static_cast<uint32_t>(data.size())).Ascii(type).Bytes(data);
    uLong crc = crc32(0, w.Data().data() + 4, static_cast<uInt>(4 + data.size()));
    if (!good_crc)
        crc ^= 1;
    w.U32BE(static_cast<uint32_t>(crc));
    return w.Data();
}

Bytes Ihdr(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour_type, uint8_t interlace,
           uint8_t compression, uint8_t filter) {
    fixtures::ByteWriter w;
    w.U32BE(width).U32BE(height).U8(depth).U8(colour_type).U8(compression).U8(filter).U8(interlace);
    return Chunk("IHDR", w.Data());
}

Bytes File(const std::vector<Bytes>& chunks) {
    fixtures::ByteWriter w;
    w.Bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
    for (const Bytes& c : chunks)
        w.Bytes(c);
    return w.Data();
}

Bytes Zlib(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
}

uint32_t Channels(uint8_t colour_type) {
    switch (colour_type) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
    }
}

namespace {

// Packs the samples of the given pixels of row y into a scanline (no filter byte).
Bytes PackRow(const Picture& p, uint32_t y, uint32_t first, uint32_t step, uint32_t count) {
    const uint32_t channels = Channels(p.colour_type);
    Bytes row(((static_cast<size_t>(count) * channels * p.depth) + 7) / 8);
    size_t bit = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t x = first + i * step;
        for (uint32_t c = 0; c < channels; ++c) {
            const uint16_t v = p.sample(x, y, c);
            if (p.depth == 16) {
                row[bit / 8] = static_cast<uint8_t>(v >> 8);
                row[bit / 8 + 1] = static_cast<uint8_t>(v);
            } else if (p.depth == 8) {
                row[bit / 8] = static_cast<uint8_t>(v);
            } else {
                const uint32_t shift = 8 - p.depth - (bit % 8);
                row[bit / 8] = static_cast<uint8_t>(row[bit / 8] | ((v & ((1u << p.depth) - 1)) << shift));
            }
            bit += p.depth;
        }
    }
    return row;
}

uint8_t PaethPredict(int a, int b, int c) {
    const int pp = a + b - c;
    const int pa = std::abs(pp - a), pb = std::abs(pp - b), pc = std::abs(pp - c);
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

void AppendFiltered(Bytes& out, const Bytes& row, const Bytes& prev, uint8_t filter, size_t bpp) {
    out.push_back(filter);
    for (size_t i = 0; i < row.size(); ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0;
        const int b = prev[i];
        const int c = i >= bpp ? prev[i - bpp] : 0;
        int predicted = 0;
        switch (filter) {
        case 1: predicted = a; break;
        case 2: predicted = b; break;
        case 3: predicted = (a + b) / 2; break;
        case 4: predicted = PaethPredict(a, b, c); break;
        default: predicted = 0; break;
        }
        out.push_back(static_cast<uint8_t>(row[i] - predicted));
    }
}

} // namespace

Bytes Scanlines(const Picture& p) {
    struct Pass {
        uint32_t fc, fr, cs, rs;
    };
    static const Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                   {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    static const Pass kWhole[1] = {{0, 0, 1, 1}};
    const Pass* passes = p.interlace ? kAdam7 : kWhole;
    const int count = p.interlace ? 7 : 1;
    const size_t channels = Channels(p.colour_type);
    const size_t bpp = p.depth < 8 ? 1 : channels * p.depth / 8;
    Bytes out;
    uint32_t n = 0;
    for (int i = 0; i < count; ++i) {
        const Pass& pass = passes[i];
        if (p.width <= pass.fc || p.height <= pass.fr)
            continue;
        const uint32_t cols = (p.width - pass.fc + pass.cs - 1) / pass.cs;
        Bytes prev;
        for (uint32_t y = pass.fr; y < p.height; y += pass.rs) {
            const Bytes row = PackRow(p, y, pass.fc, pass.cs, cols);
            if (prev.empty())
                prev.assign(row.size(), 0);
            AppendFiltered(out, row, prev, p.filter ? p.filter(n) : 0, bpp);
            prev = row;
            ++n;
        }
    }
    return out;
}

Bytes Make(const Picture& p, const std::vector<Bytes>& before) {
    std::vector<Bytes> chunks;
    chunks.push_back(Ihdr(p.width, p.height, p.depth, p.colour_type, p.interlace ? 1 : 0));
    for (const Bytes& c : before)
        chunks.push_back(c);
    chunks.push_back(Chunk("IDAT", Zlib(Scanlines(p))));
    chunks.push_back(Chunk("IEND", {}));
    return File(chunks);
}

} // namespace testpng
