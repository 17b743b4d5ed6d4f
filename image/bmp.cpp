// Bitmap files, little-endian:
//
//   0   2   "BM"
//   2   4   file size (not trusted)
//   10  4   offset of the pixel rows
//   14  40+ info header; its size field says how long it really is (40, 52, 56, 64, 108, 124)
//   54  12  red, green, blue masks of compression 3: after a 40-byte header, or the header's own
//           mask fields in every longer header, so always at file offset 54
//   14 + header size: the colour table, blue-green-red-reserved entries
//   pixel offset: rows, bottom-up, each padded to 4 bytes
//
// Damage policy: a file shorter than 54 bytes, a pixel offset outside the data, or (for 1, 4, 8 and
// 24 bits) less data after the header than the colour table plus all rows fails with 50004. Beyond
// that, rows the data does not reach stay black. Top-down bitmaps, run-length compression and OS/2
// 1.x headers (size 12) fail with 50002 and are left to the image plug-ins.
#include "image/bmp.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "common/byte_cursor.h"

namespace image {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kMaskOffset = 54;

bool Fail(DecodeSource& src, uint32_t code) {
    src.status = code;
    return false;
}

// One channel of a bit-field pixel: its own lowest set bit and span, scaled to 0..255.
struct Channel {
    uint32_t mask = 0;
    uint32_t shift = 0;
    uint32_t max = 0; // mask >> shift
};

Channel MakeChannel(uint32_t mask) {
    Channel c;
    c.mask = mask;
    if (mask == 0)
        return c;
    while (!((mask >> c.shift) & 1u))
        ++c.shift;
    c.max = mask >> c.shift;
    return c;
}

inline uint8_t Scale(const Channel& c, uint32_t pixel) {
    if (c.max == 0)
        return 0;
    const uint64_t v = (pixel & c.mask) >> c.shift;
    return static_cast<uint8_t>(v * 255u / c.max);
}

void ReadTable(const uint8_t* table, uint32_t entries, DecodedImage& out) {
    for (uint32_t i = 0; i < entries; ++i)
        out.info.colors[i] = RgbQuad{table[4 * i], table[4 * i + 1], table[4 * i + 2], 0};
}

void UnpackRows(const uint8_t* data, size_t available, size_t src_stride, uint32_t width,
                uint32_t height, uint32_t bits, uint8_t* dst, size_t dst_stride) {
    const uint32_t per_byte = 8 / bits;
    const uint32_t mask = (1u << bits) - 1;
    for (uint32_t y = 0; y < height; ++y) {
        const uint64_t row_start = static_cast<uint64_t>(y) * src_stride;
        if (row_start >= available)
            break;
        const size_t row_bytes = static_cast<size_t>(std::min<uint64_t>(src_stride, available - row_start));
        const uint8_t* src = data + row_start;
        uint8_t* out = dst + y * dst_stride;
        for (uint32_t x = 0; x < width; ++x) {
            const size_t byte = x / per_byte;
            if (byte >= row_bytes)
                break;
            const uint32_t shift = 8 - bits * (x % per_byte + 1);
            out[x] = static_cast<uint8_t>((src[byte] >> shift) & mask);
        }
    }
}

void ConvertFieldRows(const uint8_t* data, size_t available, uint32_t width, uint32_t height,
                      uint32_t bits, const Channel& r, const Channel& g, const Channel& b,
                      uint8_t* dst, size_t dst_stride) {
    const size_t bytes_per_pixel = bits / 8;
    const size_t src_stride = bits == 16 ? ((static_cast<size_t>(width) + 1) & ~size_t(1)) * 2
                                         : static_cast<size_t>(width) * 4;
    // Larger 16-bit pictures go through one table per channel; small ones and 32-bit pixels are
    // computed directly.
    const bool use_lut = bits == 16 && static_cast<uint64_t>(width) * height >= 16384;
    std::vector<uint8_t> lut(use_lut ? 3 * 65536 : 0);
    if (use_lut) {
        for (uint32_t p = 0; p < 65536; ++p) {
            lut[3 * p] = Scale(b, p);
            lut[3 * p + 1] = Scale(g, p);
            lut[3 * p + 2] = Scale(r, p);
        }
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint64_t row_start = static_cast<uint64_t>(y) * src_stride;
        if (row_start >= available)
            break;
        const size_t row_bytes = static_cast<size_t>(std::min<uint64_t>(src_stride, available - row_start));
        const uint32_t pixels = static_cast<uint32_t>(std::min<size_t>(width, row_bytes / bytes_per_pixel));
        const uint8_t* src = data + row_start;
        uint8_t* out = dst + y * dst_stride;
        if (use_lut) {
            for (uint32_t x = 0; x < pixels; ++x, src += 2, out += 3) {
                const uint8_t* c = &lut[3 * static_cast<size_t>(bytes::LoadU16LE(src))];
                out[0] = c[0];
                out[1] = c[1];
                out[2] = c[2];
            }
        } else {
            for (uint32_t x = 0; x < pixels; ++x, src += bytes_per_pixel, out += 3) {
                const uint32_t p = bits == 16 ? bytes::LoadU16LE(src) : bytes::LoadU32LE(src);
                out[0] = Scale(b, p);
                out[1] = Scale(g, p);
                out[2] = Scale(r, p);
            }
        }
    }
}

bool DecodeBmp(BmpContext& ctx, DecodedImage& out) {
    DecodeSource& src = ctx.src;
    const size_t size = SourceSize(src);
    bytes::ByteCursor in(src.begin, size);
    if (size < kMaskOffset)
        return Fail(src, status::kCannotRead);
    in.Seek(10);
    const uint32_t pixel_offset = in.U32LE();
    if (pixel_offset >= size)
        return Fail(src, status::kCannotRead);

    BitmapInfoHeader& h = ctx.header;
    in.Seek(kFileHeaderSize);
    h.size = in.U32LE();
    h.width = in.I32LE();
    h.height = in.I32LE();
    h.planes = in.U16LE();
    h.bit_count = in.U16LE();
    h.compression = in.U32LE();
    h.size_image = in.U32LE();
    h.x_pels_per_meter = in.I32LE();
    h.y_pels_per_meter = in.I32LE();
    h.clr_used = in.U32LE();
    h.clr_important = in.U32LE();

    if (h.size < kInfoHeaderSize || h.width <= 0 || h.height <= 0)
        return Fail(src, status::kBadFormat);
    const uint32_t width = static_cast<uint32_t>(h.width);
    const uint32_t height = static_cast<uint32_t>(h.height);
    const uint32_t bits = h.bit_count;
    const uint64_t header_end = kFileHeaderSize + static_cast<uint64_t>(h.size);

    bool indexed = false;
    switch (bits) {
    case 1:
    case 4:
    case 8:
        indexed = true;
        if (h.compression != 0)
            return Fail(src, status::kBadFormat);
        break;
    case 24:
        if (h.compression != 0)
            return Fail(src, status::kBadFormat);
        break;
    case 16:
    case 32:
        if (h.compression != 0 && h.compression != 3)
            return Fail(src, status::kBadFormat);
        break;
    default:
        return Fail(src, status::kBadFormat);
    }
    out.source_bits = bits;

    // Sizes first: a hostile size is a format error whatever else is wrong with the file.
    const uint16_t out_bits = indexed ? 8 : 24;
    size_t block_bytes = 0;
    if (!PixelBlockSize(width, height, out_bits, &block_bytes) || !WithinPixelLimit(src.limits, width, height))
        return Fail(src, status::kBadFormat);

    const uint64_t table_entries = indexed ? (h.clr_used ? h.clr_used : (1u << bits)) : 0;
    if (bits != 16 && bits != 32) {
        const uint64_t rows = StrideFor(width, bits) * height;
        if (header_end > size || size - header_end < table_entries * 4 + rows)
            return Fail(src, status::kCannotRead);
    }

    platform::PageBlock block(block_bytes);
    if (!block)
        return Fail(src, status::kNoMemory);

    const uint8_t* pixels = src.begin + pixel_offset;
    const size_t available = size - pixel_offset;
    const size_t out_stride = static_cast<size_t>(StrideFor(width, out_bits));
    if (indexed) {
        const uint32_t used = static_cast<uint32_t>(std::min<uint64_t>(table_entries, 1u << bits));
        ReadTable(src.begin + header_end, used, out);
    }
    if (bits == 8 || bits == 24) {
        // Source and output rows have the same padded length here.
        std::memcpy(block.Get(), pixels, std::min<uint64_t>(available, static_cast<uint64_t>(out_stride) * height));
    } else if (indexed) {
        UnpackRows(pixels, available, static_cast<size_t>(StrideFor(width, bits)), width, height, bits,
                   block.Get(), out_stride);
    } else {
        uint32_t masks[3];
        if (h.compression == 3) {
            in.Seek(kMaskOffset);
            masks[0] = in.U32LE();
            masks[1] = in.U32LE();
            masks[2] = in.U32LE();
            if (!in.Ok())
                return Fail(src, status::kCannotRead);
        } else if (bits == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x03E0;
            masks[2] = 0x001F;
        } else {
            masks[0] = 0xFF0000;
            masks[1] = 0x00FF00;
            masks[2] = 0x0000FF;
        }
        ConvertFieldRows(pixels, available, width, height, bits, MakeChannel(masks[0]),
                         MakeChannel(masks[1]), MakeChannel(masks[2]), block.Get(), out_stride);
    }

    SetBitmapHeader(out, h.width, h.height, out_bits);
    out.info.header.x_pels_per_meter = std::max(h.x_pels_per_meter, 0);
    out.info.header.y_pels_per_meter = std::max(h.y_pels_per_meter, 0);
    out.format = static_cast<uint32_t>(ImageFormat::Bmp);
    AdoptPixels(out, std::move(block));
    return true;
}

void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

bool BmpDecodeFromMemory(BmpContext& ctx, const uint8_t* data, size_t length, DecodedImage& out) {
    SourceBegin(ctx.src, out);
    ctx.header = BitmapInfoHeader{};
    SourceUseMemory(ctx.src, data, length);
    const bool ok = DecodeBmp(ctx, out);
    SourceEnd(ctx.src);
    return ok;
}

bool BmpDecodeFromFile(BmpContext& ctx, const std::wstring& path, DecodedImage& out) {
    SourceBegin(ctx.src, out);
    ctx.header = BitmapInfoHeader{};
    if (!SourceMapFile(ctx.src, path))
        return false;
    const bool ok = DecodeBmp(ctx, out);
    SourceEnd(ctx.src);
    return ok;
}

bool BmpLoad(const DecodeInput& in, const DecodeRequest& request, DecodedImage& out, LoadReport& report) {
    BmpContext ctx;
    if (request.options) {
        ctx.src.limits = request.options->limits;
        ctx.src.cancel = request.options->cancel;
    }
    const bool ok = in.path ? BmpDecodeFromFile(ctx, *in.path, out) : BmpDecodeFromMemory(ctx, in.data, in.size, out);
    report.status = ctx.src.status;
    return ok;
}

BmpWriter BmpWriterFor(const DecodedImage& img) {
    BmpWriter w;
    const BitmapInfoHeader& h = img.info.header;
    w.width = h.width > 0 ? static_cast<uint32_t>(h.width) : 0;
    w.height = h.height > 0 ? static_cast<uint32_t>(h.height) : 0;
    w.bit_count = h.bit_count;
    w.x_pels_per_meter = h.x_pels_per_meter;
    w.y_pels_per_meter = h.y_pels_per_meter;
    return w;
}

bool WriteBmp(BmpWriter& writer, const std::wstring& path, const RgbQuad* table, const uint8_t* pixels) {
    writer.status = status::kOk;
    const bool indexed = writer.bit_count == 8;
    if ((writer.bit_count != 24 && !indexed) || (indexed && !table)) {
        writer.status = status::kBadFormat;
        return false;
    }
    const uint32_t table_bytes = indexed ? 256 * 4 : 0;
    const uint32_t offset = static_cast<uint32_t>(kMaskOffset) + table_bytes;
    const uint64_t stride = StrideFor(writer.width, writer.bit_count);
    const uint64_t pixel_bytes = stride * writer.height;
    if (!pixels || pixel_bytes == 0 || pixel_bytes > 0xFFFFFFFFull - offset) {
        writer.status = status::kNoMemory;
        return false;
    }

    uint8_t head[kMaskOffset] = {};
    head[0] = 'B';
    head[1] = 'M';
    PutU32(head + 2, static_cast<uint32_t>(pixel_bytes) + offset);
    PutU32(head + 10, offset);
    PutU32(head + 14, 40);
    PutU32(head + 18, writer.width);
    PutU32(head + 22, writer.height);
    PutU16(head + 26, 1);
    PutU16(head + 28, writer.bit_count);
    PutU32(head + 38, static_cast<uint32_t>(writer.x_pels_per_meter));
    PutU32(head + 42, static_cast<uint32_t>(writer.y_pels_per_meter));
    PutU32(head + 46, indexed ? 256 : 0);

    platform::File file;
    if (!file.Open(path, platform::OpenMode::CreateAlways)) {
        writer.status = status::kWriteFailed;
        return false;
    }
    bool ok = file.Write(head, sizeof(head)) == sizeof(head);
    if (ok && indexed)
        ok = file.Write(table, table_bytes) == table_bytes;
    if (ok)
        ok = file.Write(pixels, static_cast<size_t>(pixel_bytes)) == pixel_bytes;
    file.Close();
    if (!ok) {
        platform::DeleteFileAt(path);
        writer.status = status::kWriteFailed;
    }
    return ok;
}

} // namespace image
