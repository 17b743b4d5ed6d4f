// TIFF files:
//
//   "II" (little-endian) or "MM" (big-endian) | 42 u16 | offset of the first IFD u32
//   IFD: entry count u16 | entries of 12 bytes: tag u16, type u16, count u32, value or offset u32
//
// A value of up to 4 bytes is stored in the entry itself, left-aligned; longer ones at the offset,
// counted from the start of the data. Only the first IFD is read.
//
// What is read: uncompressed strips, photometric 0 and 1 (1, 4, 8 bits), 3 with a colour map (1, 4,
// 8 bits), 2 with three equal 8- or 16-bit samples. Compression, planar configuration 2, tiles,
// extra samples, fill order 2 and a samples-per-pixel count that does not fit the photometric
// interpretation are refused with 50002, as the rows would be misread otherwise.
//
// Damage policy: an IFD or strip array outside the data, missing or doubled strip tags and bad size
// types fail with 50007; strips or a colour map outside the data with 50004. The strips are read as
// one continuous sequence of rows (RowsPerStrip is not needed); rows the strips do not reach stay
// zero.
#include "image/tiff.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "common/byte_cursor.h"

namespace image {

namespace {

constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint32_t kMaxStrips = (1u << 30) - 1;

bool Fail(DecodeSource& src, uint32_t code) {
    src.status = code;
    return false;
}

// Random access to values the IFD points at, after Inside() has checked them; the IFD itself is read
// through a cursor.
struct Reader {
    const uint8_t* data;
    size_t size;
    bool big;
    uint16_t U16(size_t at) const { return big ? bytes::LoadU16BE(data + at) : bytes::LoadU16LE(data + at); }
    uint32_t U32(size_t at) const { return big ? bytes::LoadU32BE(data + at) : bytes::LoadU32LE(data + at); }
    bool Inside(uint64_t at, uint64_t n) const { return bytes::Fits(size, at, n); }
};

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    size_t value_at; // the entry's value field
};

// The first value of an entry stored in place: SHORT, LONG or BYTE.
uint32_t Scalar(const Reader& r, const Entry& e) {
    switch (e.type) {
    case kLong: return r.U32(e.value_at);
    case 1: return r.data[e.value_at];
    default: return r.U16(e.value_at);
    }
}

// An array of SHORT or LONG values, in the entry when it fits in 4 bytes, else at its offset.
struct Array {
    bool present = false;
    size_t at = 0;
    uint32_t count = 0;
    uint16_t type = 0;
    uint32_t Get(const Reader& r, uint32_t i) const {
        return type == kLong ? r.U32(at + 4 * static_cast<size_t>(i)) : r.U16(at + 2 * static_cast<size_t>(i));
    }
};

// 0 when the array is usable, else the status that refuses the file.
uint32_t ReadArray(const Reader& r, const Entry& e, Array* a) {
    if (a->present)
        return status::kNotFormat;
    if (e.type != kShort && e.type != kLong)
        return status::kNotFormat;
    if (e.count > kMaxStrips)
        return status::kBadFormat;
    const uint64_t bytes = static_cast<uint64_t>(e.count) * (e.type == kLong ? 4 : 2);
    a->at = bytes <= 4 ? e.value_at : r.U32(e.value_at);
    if (!r.Inside(a->at, bytes))
        return status::kNotFormat;
    a->present = true;
    a->count = e.count;
    a->type = e.type;
    return 0;
}

void ResetContext(TiffContext& ctx) {
    ctx.big_endian = false;
    ctx.width = ctx.height = 0;
    ctx.bits_per_sample = 1;
    ctx.bits_count = 0;
    ctx.compression = 1;
    ctx.photometric = 4;
    ctx.strip_count = 0;
    ctx.x_resolution_at = ctx.y_resolution_at = 0;
    ctx.resolution_unit = 2;
    ctx.colour_map_at = 0;
    ctx.out_bits = 0;
    ctx.out_stride = 0;
    ctx.description = false;
}

// The strips joined into one sequence of bytes, read without copying.
class StripSequence {
  public:
    StripSequence(const Reader& r, const Array& offsets, const Array& counts)
        : r_(r), offsets_(offsets), counts_(counts) {}

    // The next `n` bytes in place when they lie inside the current strip, else null.
    const uint8_t* Peek(size_t n) {
        while (left_ == 0 && next_ < offsets_.count) {
            at_ = offsets_.Get(r_, next_);
            left_ = counts_.Get(r_, next_);
            ++next_;
        }
        if (left_ < n)
            return nullptr;
        const uint8_t* p = r_.data + at_;
        at_ += n;
        left_ -= n;
        return p;
    }

    // Copies up to `n` bytes into `out`; returns how many there were.
    size_t Read(uint8_t* out, size_t n) {
        size_t done = 0;
        while (done < n) {
            if (left_ == 0) {
                if (next_ >= offsets_.count)
                    break;
                at_ = offsets_.Get(r_, next_);
                left_ = counts_.Get(r_, next_);
                ++next_;
                continue;
            }
            const size_t take = static_cast<size_t>(std::min<uint64_t>(left_, n - done));
            std::memcpy(out + done, r_.data + at_, take);
            done += take;
            at_ += take;
            left_ -= take;
        }
        return done;
    }

  private:
    const Reader& r_;
    const Array& offsets_;
    const Array& counts_;
    uint32_t next_ = 0;
    size_t at_ = 0;
    uint64_t left_ = 0;
};

int32_t PixelsPerMetre(double v) {
    v = std::floor(v + 0.5);
    if (!(v > 0))
        return 0;
    return v >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(v);
}

void ReadResolution(const TiffContext& ctx, const Reader& r, DecodedImage& out) {
    if (!ctx.x_resolution_at || !ctx.y_resolution_at || !r.Inside(ctx.x_resolution_at, 8) ||
        !r.Inside(ctx.y_resolution_at, 8))
        return;
    const uint32_t xd = r.U32(ctx.x_resolution_at + 4), yd = r.U32(ctx.y_resolution_at + 4);
    if (xd == 0 || yd == 0)
        return;
    const double x = static_cast<double>(r.U32(ctx.x_resolution_at)) / xd;
    const double y = static_cast<double>(r.U32(ctx.y_resolution_at)) / yd;
    if (ctx.resolution_unit == 2) {
        out.info.header.x_pels_per_meter = PixelsPerMetre(x / 0.0254);
        out.info.header.y_pels_per_meter = PixelsPerMetre(y / 0.0254);
    } else if (ctx.resolution_unit == 3) {
        out.info.header.x_pels_per_meter = PixelsPerMetre(x * 100);
        out.info.header.y_pels_per_meter = PixelsPerMetre(y * 100);
    }
}

bool DecodeTiff(TiffContext& ctx, DecodedImage& out) {
    DecodeSource& src = ctx.src;
    const size_t size = SourceSize(src);
    const uint8_t* data = src.begin;
    if (!data || size < 8)
        return Fail(src, status::kNotFormat);
    if (data[0] == 'I' && data[1] == 'I')
        ctx.big_endian = false;
    else if (data[0] == 'M' && data[1] == 'M')
        ctx.big_endian = true;
    else
        return Fail(src, status::kNotFormat);
    const bool big = ctx.big_endian;
    const Reader r{data, size, big};
    bytes::ByteCursor in(data, size);
    in.Skip(2);
    if (in.U16(big) != 42)
        return Fail(src, status::kNotFormat);
    const uint32_t ifd = in.U32(big);
    if (!in.Seek(ifd) || !in.Has(2))
        return Fail(src, status::kNotFormat);
    const uint32_t entries = in.U16(big);
    if (!in.Has(static_cast<size_t>(entries) * 12))
        return Fail(src, status::kNotFormat);
    src.cursor = data + ifd;

    Array offsets, counts;
    uint32_t samples = 0; // tag 277; 0 when absent
    for (uint32_t i = 0; i < entries; ++i) {
        Entry e;
        e.tag = in.U16(big);
        e.type = in.U16(big);
        e.count = in.U32(big);
        e.value_at = in.Pos();
        in.Skip(4);
        switch (e.tag) {
        case 256:
        case 257: {
            if (e.type != kShort && e.type != kLong)
                return Fail(src, status::kNotFormat);
            const uint32_t v = Scalar(r, e);
            if (v == 0)
                return Fail(src, status::kNotFormat);
            if (v > 0x7FFFFFFFu)
                return Fail(src, status::kBadFormat);
            (e.tag == 256 ? ctx.width : ctx.height) = v;
            break;
        }
        case 258:
            ctx.bits_count = e.count;
            if (e.count == 1) {
                ctx.bits_per_sample = Scalar(r, e);
            } else if (e.count == 3) {
                bytes::ByteCursor values(data, size);
                values.Seek(r.U32(e.value_at));
                const uint32_t b0 = values.U16(big), b1 = values.U16(big), b2 = values.U16(big);
                if (!values.Ok())
                    return Fail(src, status::kNotFormat);
                if (b0 != b1 || b1 != b2 || (b0 != 8 && b0 != 16))
                    return Fail(src, status::kBadFormat);
                ctx.bits_per_sample = b0;
            }
            break;
        case 259:
            ctx.compression = Scalar(r, e);
            if (ctx.compression != 1)
                return Fail(src, status::kBadFormat);
            break;
        case 262:
            ctx.photometric = Scalar(r, e);
            break;
        case 266: // fill order: only most significant bit first
            if (Scalar(r, e) == 2)
                return Fail(src, status::kBadFormat);
            break;
        case 270:
            ctx.description = true;
            break;
        case 273:
        case 279: {
            const uint32_t failed = ReadArray(r, e, e.tag == 273 ? &offsets : &counts);
            if (failed)
                return Fail(src, failed);
            break;
        }
        case 277:
            samples = Scalar(r, e);
            break;
        case 282:
            ctx.x_resolution_at = r.U32(e.value_at);
            break;
        case 283:
            ctx.y_resolution_at = r.U32(e.value_at);
            break;
        case 284: // planar configuration: only one plane of interleaved samples
            if (Scalar(r, e) == 2)
                return Fail(src, status::kBadFormat);
            break;
        case 296:
            ctx.resolution_unit = Scalar(r, e);
            break;
        case 320:
            ctx.colour_map_at = r.U32(e.value_at);
            break;
        case 322: // tile width, length, offsets, byte counts
        case 323:
        case 324:
        case 325:
        case 338: // extra samples (alpha and the like)
            return Fail(src, status::kBadFormat);
        default:
            break;
        }
    }
    if (ctx.width == 0 || ctx.height == 0)
        return Fail(src, status::kBadFormat);
    if (!offsets.present || !counts.present || offsets.count != counts.count)
        return Fail(src, status::kNotFormat);
    ctx.strip_count = offsets.count;

    const uint32_t bits = ctx.bits_per_sample;
    const bool indexed_depth = bits == 1 || bits == 4 || bits == 8;
    bool rgb = false;
    switch (ctx.photometric) {
    case 0:
    case 1:
        if (!indexed_depth)
            return Fail(src, status::kBadFormat);
        break;
    case 3:
        if (!indexed_depth || ctx.colour_map_at == 0)
            return Fail(src, status::kBadFormat);
        break;
    case 2:
        if (ctx.bits_count != 3 || (bits != 8 && bits != 16))
            return Fail(src, status::kBadFormat);
        rgb = true;
        break;
    default:
        return Fail(src, status::kBadFormat);
    }
    // More samples per pixel than the photometric interpretation has would shift every row.
    if (samples != 0 && samples != (rgb ? 3u : 1u))
        return Fail(src, status::kBadFormat);
    ctx.out_bits = rgb ? 24 : 8;
    size_t block_bytes = 0;
    if (!PixelBlockSize(ctx.width, ctx.height, ctx.out_bits, &block_bytes) ||
        !WithinPixelLimit(src.limits, ctx.width, ctx.height))
        return Fail(src, status::kBadFormat);
    ctx.out_stride = static_cast<uint32_t>(StrideFor(ctx.width, ctx.out_bits));

    if (!rgb) {
        const uint32_t levels = 1u << bits;
        if (ctx.photometric == 3) {
            if (!r.Inside(ctx.colour_map_at, static_cast<uint64_t>(levels) * 6))
                return Fail(src, status::kCannotRead);
            for (uint32_t i = 0; i < levels; ++i) {
                const size_t at = ctx.colour_map_at + 2 * static_cast<size_t>(i);
                out.info.colors[i] = RgbQuad{static_cast<uint8_t>(r.U16(at + 4 * static_cast<size_t>(levels)) >> 8),
                                             static_cast<uint8_t>(r.U16(at + 2 * static_cast<size_t>(levels)) >> 8),
                                             static_cast<uint8_t>(r.U16(at) >> 8), 0};
            }
        } else {
            const uint32_t step = 255 / (levels - 1);
            for (uint32_t i = 0; i < levels; ++i) {
                const uint8_t v = static_cast<uint8_t>(ctx.photometric == 0 ? 255 - i * step : i * step);
                out.info.colors[i] = RgbQuad{v, v, v, 0};
            }
        }
    }

    uint64_t total = 0;
    for (uint32_t i = 0; i < offsets.count; ++i) {
        const uint32_t at = offsets.Get(r, i), n = counts.Get(r, i);
        if (!r.Inside(at, n))
            return Fail(src, status::kCannotRead);
        total += n;
    }
    if (total > 0xFFFFFFFFu)
        return Fail(src, status::kBadFormat);

    platform::PageBlock block(block_bytes);
    if (!block)
        return Fail(src, status::kNoMemory);
    uint64_t row_bytes = 0;
    switch (bits) {
    case 1: row_bytes = (static_cast<uint64_t>(ctx.width) + 7) / 8; break;
    case 4: row_bytes = (static_cast<uint64_t>(ctx.width) + 1) / 2; break;
    case 8: row_bytes = static_cast<uint64_t>(ctx.width) * (rgb ? 3 : 1); break;
    default: row_bytes = static_cast<uint64_t>(ctx.width) * 6; break;
    }
    // One file row at a time; the last stored row is the picture's top.
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[static_cast<size_t>(row_bytes)]);
    if (!row)
        return Fail(src, status::kNoMemory);
    StripSequence strips(r, offsets, counts);
    const size_t high = ctx.big_endian ? 0 : 1;
    for (uint32_t y = 0; y < ctx.height; ++y) {
        // A band of 16 rows between looks at the cancel flag.
        if (y % 16 == 0 && DecodeCancelled(src))
            return Fail(src, status::kCannotRead);
        // Most rows lie inside one strip and are read where they are; others are joined first.
        const uint8_t* s = strips.Peek(static_cast<size_t>(row_bytes));
        size_t got = static_cast<size_t>(row_bytes);
        if (!s) {
            got = strips.Read(row.get(), static_cast<size_t>(row_bytes));
            s = row.get();
        }
        if (got == 0)
            break;
        uint8_t* dst = block.Get() + static_cast<size_t>(ctx.height - 1 - y) * ctx.out_stride;
        switch (rgb ? bits * 3 : bits) {
        case 1:
            for (uint32_t x = 0; x < ctx.width && x / 8 < got; ++x)
                dst[x] = (s[x / 8] >> (7 - x % 8)) & 1;
            break;
        case 4:
            for (uint32_t x = 0; x < ctx.width && x / 2 < got; ++x)
                dst[x] = (x & 1) ? (s[x / 2] & 15) : (s[x / 2] >> 4);
            break;
        case 8:
            std::memcpy(dst, s, got);
            break;
        case 24:
            for (uint32_t x = 0; x < ctx.width && 3 * static_cast<size_t>(x) + 3 <= got; ++x, s += 3, dst += 3) {
                dst[0] = s[2];
                dst[1] = s[1];
                dst[2] = s[0];
            }
            break;
        default: // 48: six bytes per pixel, the high byte of each sample
            for (uint32_t x = 0; x < ctx.width && 6 * static_cast<size_t>(x) + 6 <= got; ++x, s += 6, dst += 3) {
                dst[0] = s[4 + high];
                dst[1] = s[2 + high];
                dst[2] = s[high];
            }
            break;
        }
        if (got < row_bytes)
            break;
    }

    SetBitmapHeader(out, static_cast<int32_t>(ctx.width), static_cast<int32_t>(ctx.height), ctx.out_bits);
    ReadResolution(ctx, r, out);
    out.source_bits = rgb ? bits * 3 : bits;
    out.format = static_cast<uint32_t>(ImageFormat::Tiff);
    AdoptPixels(out, std::move(block));
    return true;
}

} // namespace

bool TiffDecodeFromMemory(TiffContext& ctx, const uint8_t* data, size_t length, DecodedImage& out) {
    SourceBegin(ctx.src, out);
    ResetContext(ctx);
    SourceUseMemory(ctx.src, data, length);
    const bool ok = DecodeTiff(ctx, out);
    SourceEnd(ctx.src);
    return ok;
}

bool TiffDecodeFromFile(TiffContext& ctx, const std::wstring& path, DecodedImage& out) {
    SourceBegin(ctx.src, out);
    ResetContext(ctx);
    if (!SourceMapFile(ctx.src, path))
        return false;
    const bool ok = DecodeTiff(ctx, out);
    SourceEnd(ctx.src);
    return ok;
}

bool TiffLoad(const DecodeInput& in, const DecodeRequest& request, DecodedImage& out, LoadReport& report) {
    TiffContext ctx;
    if (request.options) {
        ctx.src.limits = request.options->limits;
        ctx.src.cancel = request.options->cancel;
    }
    const bool ok = in.path ? TiffDecodeFromFile(ctx, *in.path, out) : TiffDecodeFromMemory(ctx, in.data, in.size, out);
    report.status = ctx.src.status;
    if (ok)
        report.facts.push_back(DecoderFact{"description", ctx.description ? 1u : 0u});
    return ok;
}

} // namespace image
