// PNG files: the 8-byte signature, then chunks of
//
//   length u32 BE (top bit clear) | type 4 ASCII | data | CRC-32 u32 BE over type and data
//
// IHDR first (13 bytes), IEND last; the image data is the zlib stream of the IDAT chunks joined.
//
// Damage policy:
// - the critical chunks we use (IHDR, PLTE, the first IDAT, IEND) must have good CRCs (50011); the
//   other IDATs of the run too (50024); ancillary chunks with bad CRCs are ignored, unknown chunks are
//   skipped unchecked, even critical ones;
// - out-of-order IHDR, PLTE or a second IDAT run fail with 50022; a chunk that does not fit in the
//   data fails with 50007;
// - image data that ends early (stream end, or input used up before the last row) is tolerated:
//   the rows not reached stay black. Corrupt deflate data fails with 50009, except after the last
//   row (a bad Adler-32, say), which zlib may or may not reach and so cannot decide anything;
// - filter bytes above 4 act as None.
//
// Rows are inflated one at a time into two row buffers, unfiltered in place and converted straight
// into the bottom-up output block, gamma and alpha compositing included, so no alpha plane is kept.
#include "image/png.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "common/byte_cursor.h"
#include "common/crc32.h"
#include "image/mul_table.h"

namespace image {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kFirstChunk = 8;
constexpr size_t kAfterIhdr = 33; // signature and a 25-byte IHDR chunk
constexpr size_t kMaxCommentBytes = 4095;
constexpr size_t kMaxAnsiComment = 4096;

constexpr uint32_t FourCc(char a, char b, char c, char d) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) | static_cast<uint32_t>(static_cast<uint8_t>(d));
}
constexpr uint32_t kIhdr = FourCc('I', 'H', 'D', 'R');
constexpr uint32_t kPlte = FourCc('P', 'L', 'T', 'E');
constexpr uint32_t kIdat = FourCc('I', 'D', 'A', 'T');
constexpr uint32_t kIend = FourCc('I', 'E', 'N', 'D');
constexpr uint32_t kTrns = FourCc('t', 'R', 'N', 'S');
constexpr uint32_t kBkgd = FourCc('b', 'K', 'G', 'D');
constexpr uint32_t kGama = FourCc('g', 'A', 'M', 'A');
constexpr uint32_t kPhys = FourCc('p', 'H', 'Y', 's');
constexpr uint32_t kText = FourCc('t', 'E', 'X', 't');

bool Fail(DecodeSource& src, uint32_t code) {
    src.status = code;
    return false;
}

// One chunk located in the data. Offsets are from the start of the data.
struct Chunk {
    uint32_t length = 0;
    uint32_t type = 0;
    size_t start = 0; // the length field
    size_t data = 0;  // first data byte
    size_t end = 0;   // one past the CRC
};

enum class ChunkRead { Ok, TopBit, PastEnd };

// Reads the chunk at `pos`; the whole chunk (length, type, data, CRC) must lie in the data.
ChunkRead ReadChunk(const uint8_t* data, size_t size, size_t pos, Chunk* c) {
    bytes::ByteCursor in(data, size);
    if (!in.Seek(pos) || !in.Has(8))
        return ChunkRead::PastEnd;
    c->start = pos;
    c->length = in.U32BE();
    c->type = in.U32BE();
    if (c->length & 0x80000000u)
        return ChunkRead::TopBit;
    c->data = in.Pos();
    if (!in.Skip(c->length) || !in.Skip(4))
        return ChunkRead::PastEnd;
    c->end = in.Pos();
    return ChunkRead::Ok;
}

// The type of the chunk at `pos`; 0 (no chunk type) when its length and type do not fit.
uint32_t ChunkTypeAt(const uint8_t* data, size_t size, size_t pos) {
    bytes::ByteCursor in(data, size);
    in.Seek(pos);
    in.Skip(4);
    return in.U32BE();
}

// For a chunk ReadChunk accepted.
bool CrcMatches(const uint8_t* data, const Chunk& c) {
    return crc::Crc32(data + c.start + 4, c.length + 4u) == bytes::LoadU32BE(data + c.data + c.length);
}

// ---- Row conversion -------------------------------------------------------------------------------

// Everything a row converter needs, fixed for one picture before the image data.
struct RowSink {
    uint8_t depth = 8;
    uint8_t colour_type = 0;
    const uint8_t* gamma = nullptr; // G table for 24-bit output, null when gamma is off
    const uint8_t* mul = nullptr;
    bool composite_alpha = false;   // types 4 and 6
    bool composite_key = false;     // type 2 with a tRNS key
    uint8_t key[3] = {};            // red, green, blue as stored (high bytes at depth 16)
    uint8_t background[3] = {};     // red, green, blue
};

// Converts `count` pixels of one unfiltered row into the output, the first at `dst`, then every
// `step` pixels (Adam7 places each pixel straight where it belongs).
void ConvertRow(const RowSink& s, const uint8_t* row, uint32_t count, uint8_t* dst, uint32_t step) {
    const uint8_t* g = s.gamma;
    const uint8_t* m = s.mul;
    switch (s.colour_type) {
    case 0:
    case 3:
        if (s.depth < 8) {
            const uint32_t bits = s.depth;
            const uint32_t mask = (1u << bits) - 1;
            const uint32_t per_byte = 8 / bits;
            for (uint32_t i = 0; i < count; ++i, dst += step) {
                const uint32_t shift = 8 - bits * (i % per_byte + 1);
                *dst = static_cast<uint8_t>((row[i / per_byte] >> shift) & mask);
            }
        } else if (s.depth == 8) {
            if (step == 1) {
                std::memcpy(dst, row, count);
            } else {
                for (uint32_t i = 0; i < count; ++i, dst += step)
                    *dst = row[i];
            }
        } else {
            for (uint32_t i = 0; i < count; ++i, dst += step)
                *dst = row[2 * i];
        }
        return;
    case 4: {
        const uint32_t size = s.depth == 8 ? 2 : 4;
        const uint32_t alpha_at = s.depth == 8 ? 1 : 2;
        const uint8_t bg = s.background[0];
        for (uint32_t i = 0; i < count; ++i, dst += step, row += size) {
            const uint8_t grey = row[0];
            if (s.composite_alpha) {
                const uint8_t a = row[alpha_at];
                *dst = static_cast<uint8_t>(Mul255(m, grey, a) + Mul255(m, static_cast<uint8_t>(255 - a), bg));
            } else {
                *dst = grey;
            }
        }
        return;
    }
    case 2: {
        const uint32_t size = s.depth == 8 ? 3 : 6;
        const uint32_t ch = s.depth == 8 ? 1 : 2;
        const size_t out_step = static_cast<size_t>(step) * 3;
        if (!g && !s.composite_key && s.depth == 8) {
            for (uint32_t i = 0; i < count; ++i, dst += out_step, row += 3) {
                dst[0] = row[2];
                dst[1] = row[1];
                dst[2] = row[0];
            }
            return;
        }
        for (uint32_t i = 0; i < count; ++i, dst += out_step, row += size) {
            const uint8_t r = row[0], gr = row[ch], b = row[2 * ch];
            if (s.composite_key && r == s.key[0] && gr == s.key[1] && b == s.key[2]) {
                dst[0] = s.background[2];
                dst[1] = s.background[1];
                dst[2] = s.background[0];
            } else if (g) {
                dst[0] = g[b];
                dst[1] = g[gr];
                dst[2] = g[r];
            } else {
                dst[0] = b;
                dst[1] = gr;
                dst[2] = r;
            }
        }
        return;
    }
    case 6: {
        const uint32_t size = s.depth == 8 ? 4 : 8;
        const uint32_t ch = s.depth == 8 ? 1 : 2;
        const size_t out_step = static_cast<size_t>(step) * 3;
        const uint8_t bg_r = s.background[0], bg_g = s.background[1], bg_b = s.background[2];
        for (uint32_t i = 0; i < count; ++i, dst += out_step, row += size) {
            uint8_t r = row[0], gr = row[ch], b = row[2 * ch];
            if (g) {
                r = g[r];
                gr = g[gr];
                b = g[b];
            }
            if (s.composite_alpha) {
                const uint8_t a = row[3 * ch];
                const uint8_t na = static_cast<uint8_t>(255 - a);
                b = static_cast<uint8_t>(Mul255(m, a, b) + Mul255(m, na, bg_b));
                gr = static_cast<uint8_t>(Mul255(m, a, gr) + Mul255(m, na, bg_g));
                r = static_cast<uint8_t>(Mul255(m, a, r) + Mul255(m, na, bg_r));
            }
            dst[0] = b;
            dst[1] = gr;
            dst[2] = r;
        }
        return;
    }
    default:
        return;
    }
}

// ---- Unfiltering ----------------------------------------------------------------------------------

inline uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

template <size_t Bpp>
void UnfilterFixed(uint8_t filter, uint8_t* row, const uint8_t* prev, size_t n) {
    switch (filter) {
    case 1:
        for (size_t i = Bpp; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + row[i - Bpp]);
        return;
    case 2:
        for (size_t i = 0; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + prev[i]);
        return;
    case 3:
        for (size_t i = 0; i < Bpp && i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + (prev[i] >> 1));
        for (size_t i = Bpp; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + ((row[i - Bpp] + prev[i]) >> 1));
        return;
    case 4:
        for (size_t i = 0; i < Bpp && i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + prev[i]);
        for (size_t i = Bpp; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + Paeth(row[i - Bpp], prev[i], prev[i - Bpp]));
        return;
    default:
        return; // 0 None, and every unknown filter byte
    }
}

void Unfilter(uint8_t filter, uint8_t* row, const uint8_t* prev, size_t n, uint32_t bpp) {
    switch (bpp) {
    case 1: UnfilterFixed<1>(filter, row, prev, n); return;
    case 2: UnfilterFixed<2>(filter, row, prev, n); return;
    case 3: UnfilterFixed<3>(filter, row, prev, n); return;
    case 4: UnfilterFixed<4>(filter, row, prev, n); return;
    case 6: UnfilterFixed<6>(filter, row, prev, n); return;
    case 8: UnfilterFixed<8>(filter, row, prev, n); return;
    default: return;
    }
}

// ---- Image data -------------------------------------------------------------------------------------

// Rows between two looks at the cancel flag.
constexpr uint32_t kCancelBand = 16;

// The zlib input: the data of a run of consecutive IDAT chunks, already checked, fed one by one.
struct IdatRun {
    IdatRun(const uint8_t* data, size_t first, size_t end) : in(data, end) { in.Seek(first); }

    bool Feed(z_stream& z) {
        while (in.Left() > 0) {
            const uint32_t length = in.U32BE();
            in.Skip(4); // type
            const uint8_t* p = in.Bytes(length);
            in.Skip(4); // CRC
            if (!in.Ok())
                return false;
            if (length > 0) {
                z.next_in = const_cast<Bytef*>(p);
                z.avail_in = length;
                return true;
            }
        }
        return false;
    }

    bytes::ByteCursor in; // ends with the run
};

// Owner of one zlib inflate stream.
class Inflater {
  public:
    Inflater() { std::memset(&z_, 0, sizeof(z_)); }
    ~Inflater() {
        if (open_)
            inflateEnd(&z_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    int Open() {
        const int r = inflateInit2(&z_, 15);
        open_ = r == Z_OK;
        return r;
    }
    z_stream& Stream() { return z_; }

  private:
    z_stream z_;
    bool open_ = false;
};

enum class RowResult { Row, RowThenEnd, RowThenError, End, Error, NoMemory };

RowResult InflateRow(z_stream& z, IdatRun& run, uint8_t* row, size_t n) {
    z.next_out = row;
    z.avail_out = static_cast<uInt>(n);
    while (z.avail_out > 0) {
        if (z.avail_in == 0 && !run.Feed(z))
            return RowResult::End; // the data is used up before this row is complete
        const int r = inflate(&z, Z_NO_FLUSH);
        if (r == Z_STREAM_END)
            return z.avail_out == 0 ? RowResult::RowThenEnd : RowResult::End;
        if (r == Z_BUF_ERROR && z.avail_in == 0)
            continue;
        if (r == Z_MEM_ERROR)
            return RowResult::NoMemory;
        if (r != Z_OK)
            return z.avail_out == 0 ? RowResult::RowThenError : RowResult::Error;
    }
    return RowResult::Row;
}

struct Pass {
    uint32_t first_col, first_row, col_step, row_step;
};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Pass kWhole = {0, 0, 1, 1};

uint64_t RowBytes(uint32_t pixels, uint32_t channels, uint32_t depth) {
    return (static_cast<uint64_t>(pixels) * channels * depth + 7) / 8;
}

// Inflates, unfilters and converts the whole image into `block`. False with the status set on a
// failure; data that ends early is not one.
bool DecodeImageData(PngContext& ctx, IdatRun run, const RowSink& sink, uint8_t* block) {
    Inflater inflater;
    const int opened = inflater.Open();
    if (opened != Z_OK)
        return Fail(ctx.src, opened == Z_MEM_ERROR ? status::kNoMemory : status::kPngInflate);
    z_stream& z = inflater.Stream();

    const uint64_t full_row = RowBytes(ctx.width, ctx.channels, ctx.bit_depth);
    if (full_row + 1 > (static_cast<uint64_t>(1) << 31))
        return Fail(ctx.src, status::kBadFormat);
    const size_t buffer = static_cast<size_t>(full_row) + 1;
    std::unique_ptr<uint8_t[]> rows(new (std::nothrow) uint8_t[2 * buffer]);
    if (!rows)
        return Fail(ctx.src, status::kNoMemory);
    uint8_t* cur = rows.get();
    uint8_t* prev = rows.get() + buffer;

    const size_t px = ctx.out_bits / 8;
    const Pass* passes = ctx.interlace ? kAdam7 : &kWhole;
    const int pass_count = ctx.interlace ? 7 : 1;
    uint64_t rows_left = 0;
    for (int p = 0; p < pass_count; ++p) {
        const Pass& pass = passes[p];
        if (ctx.width > pass.first_col && ctx.height > pass.first_row)
            rows_left += (ctx.height + pass.row_step - pass.first_row - 1) / pass.row_step;
    }
    for (int p = 0; p < pass_count; ++p) {
        const Pass& pass = passes[p];
        const uint32_t cols = (ctx.width + pass.col_step - pass.first_col - 1) / pass.col_step;
        const uint32_t rows_in_pass = (ctx.height + pass.row_step - pass.first_row - 1) / pass.row_step;
        if (cols == 0 || rows_in_pass == 0)
            continue;
        const size_t n = static_cast<size_t>(RowBytes(cols, ctx.channels, ctx.bit_depth));
        std::memset(prev, 0, n + 1);
        for (uint32_t r = 0; r < rows_in_pass; ++r) {
            if (r % kCancelBand == 0 && DecodeCancelled(ctx.src))
                return Fail(ctx.src, status::kCannotRead);
            const RowResult result = InflateRow(z, run, cur, n + 1);
            if (result == RowResult::End)
                return true;
            if (result == RowResult::Error)
                return Fail(ctx.src, status::kPngInflate);
            if (result == RowResult::NoMemory)
                return Fail(ctx.src, status::kNoMemory);
            Unfilter(cur[0], cur + 1, prev + 1, n, ctx.filter_bpp);
            const uint32_t y = pass.first_row + r * pass.row_step;
            uint8_t* out_row = block + static_cast<size_t>(ctx.height - 1 - y) * ctx.out_stride;
            ConvertRow(sink, cur + 1, cols, out_row + pass.first_col * px, pass.col_step);
            std::swap(cur, prev);
            --rows_left;
            if (result == RowResult::RowThenEnd)
                return true;
            if (result == RowResult::RowThenError) {
                // zlib may read past the last row into the checksum in the same call: damage after
                // the picture's last byte does not spoil the picture.
                return rows_left == 0 || Fail(ctx.src, status::kPngInflate);
            }
        }
    }
    return true;
}

// G[i] = nearest((i / 255)^d x 255), G[0] = 0.
void BuildGammaTable(double exponent, uint8_t* g) {
    g[0] = 0;
    for (int i = 1; i < 256; ++i) {
        const double v = std::pow(i / 255.0, exponent) * 255.0 + 0.5;
        g[i] = static_cast<uint8_t>(std::min(255.0, std::max(0.0, v)));
    }
}

// ---- Chunk handlers -------------------------------------------------------------------------------

uint8_t ScaleGrey(uint16_t value, uint8_t depth) {
    switch (depth) {
    case 1: return (value & 1) ? 255 : 0;
    case 2: return static_cast<uint8_t>((value & 3) * 85);
    case 4: return static_cast<uint8_t>((value & 15) * 17);
    case 8: return static_cast<uint8_t>(value);
    default: return static_cast<uint8_t>(value >> 8);
    }
}

// The low byte of a 16-bit sample at depths up to 8, its high byte at depth 16.
uint8_t SampleByte(const uint8_t* p, uint8_t depth) { return depth == 16 ? p[0] : p[1]; }

void OnPlte(PngContext& ctx, const uint8_t* p, uint32_t length, DecodedImage& out) {
    const uint32_t limit = ctx.bit_depth >= 8 ? 256u : (1u << ctx.bit_depth);
    ctx.palette_count = std::min(length / 3, limit);
    for (uint32_t i = 0; i < ctx.palette_count; ++i, p += 3)
        out.info.colors[i] = RgbQuad{p[2], p[1], p[0], 0};
}

void OnTrns(PngContext& ctx, const uint8_t* p, uint32_t length) {
    switch (ctx.colour_type) {
    case 2:
        if (length != 6)
            return;
        ctx.key[0] = SampleByte(p, ctx.bit_depth);
        ctx.key[1] = SampleByte(p + 2, ctx.bit_depth);
        ctx.key[2] = SampleByte(p + 4, ctx.bit_depth);
        break;
    case 3:
        if (!ctx.seen_plte || length > ctx.palette_count)
            return;
        std::memset(ctx.palette_alpha, 255, sizeof(ctx.palette_alpha));
        std::memcpy(ctx.palette_alpha, p, length);
        break;
    case 0:
        if (length != 2)
            return;
        ctx.key[0] = SampleByte(p, ctx.bit_depth);
        break;
    default:
        return;
    }
    ctx.seen_trns = true;
    ctx.transparent = true;
}

void OnBkgd(PngContext& ctx, const uint8_t* p, uint32_t length, const DecodedImage& out) {
    uint8_t* bg = ctx.file_background;
    switch (ctx.colour_type) {
    case 0:
    case 4:
        if (length != 2)
            return;
        bg[0] = bg[1] = bg[2] = ScaleGrey(bytes::LoadU16BE(p), ctx.bit_depth);
        break;
    case 3: {
        if (length != 1 || !ctx.seen_plte)
            return;
        const RgbQuad& c = out.info.colors[p[0]];
        bg[0] = c.red;
        bg[1] = c.green;
        bg[2] = c.blue;
        break;
    }
    case 2:
    case 6:
        if (length != 6)
            return;
        bg[0] = SampleByte(p, ctx.bit_depth);
        bg[1] = SampleByte(p + 2, ctx.bit_depth);
        bg[2] = SampleByte(p + 4, ctx.bit_depth);
        break;
    default:
        return;
    }
    ctx.seen_bkgd = true;
}

bool ValidKeyword(const uint8_t* p, uint32_t length, bool* is_comment) {
    if (length < 2 || p[0] == 0)
        return false;
    const uint32_t limit = std::min<uint32_t>(length, 80);
    const void* zero = std::memchr(p, 0, limit);
    if (!zero)
        return false;
    const size_t keyword = static_cast<const uint8_t*>(zero) - p;
    *is_comment = keyword == 7 && std::memcmp(p, "Comment", 7) == 0;
    return true;
}

// Header checks and the choice of output (IHDR at offset 8, already known to fit).
bool ReadHeader(PngContext& ctx, const uint8_t* data, size_t size) {
    bytes::ByteCursor in(data, size);
    in.Seek(kFirstChunk);
    Chunk c;
    c.start = kFirstChunk;
    c.length = in.U32BE();
    c.type = in.U32BE();
    c.data = in.Pos();
    if (c.length != 13)
        return Fail(ctx.src, status::kPngFirstLength);
    if (c.type != kIhdr)
        return Fail(ctx.src, status::kPngFirstNotIhdr);
    if (!CrcMatches(data, c))
        return Fail(ctx.src, status::kPngCrc);
    ctx.width = in.U32BE();
    ctx.height = in.U32BE();
    ctx.bit_depth = in.U8();
    ctx.colour_type = in.U8();
    const uint8_t compression = in.U8(), filter = in.U8(), interlace = in.U8();
    if (ctx.width == 0 || ctx.height == 0 || ctx.width > 0x7FFFFFFFu || ctx.height > 0x7FFFFFFFu)
        return Fail(ctx.src, status::kBadFormat);
    if (compression != 0)
        return Fail(ctx.src, status::kPngCompression);
    if (filter != 0)
        return Fail(ctx.src, status::kPngFilter);
    if (interlace > 1)
        return Fail(ctx.src, status::kPngInterlace);
    ctx.interlace = interlace;

    const uint8_t depth = ctx.bit_depth;
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)
        return Fail(ctx.src, status::kPngBitDepth);
    switch (ctx.colour_type) {
    case 0: ctx.channels = 1; break;
    case 3: ctx.channels = 1; if (depth == 16) return Fail(ctx.src, status::kPngColourType); break;
    case 2: ctx.channels = 3; break;
    case 4: ctx.channels = 2; break;
    case 6: ctx.channels = 4; break;
    default: return Fail(ctx.src, status::kPngColourType);
    }
    if (ctx.colour_type != 0 && ctx.colour_type != 3 && depth < 8)
        return Fail(ctx.src, status::kPngColourType);
    ctx.grey = (ctx.colour_type & 2) == 0;
    ctx.alpha = (ctx.colour_type & 4) != 0;
    ctx.transparent = ctx.alpha;
    ctx.interlaced = ctx.interlace == 1;
    ctx.out_bits = (ctx.colour_type == 2 || ctx.colour_type == 6) ? 24 : 8;
    ctx.filter_bpp = depth < 8 ? 1 : ctx.channels * (depth / 8);
    size_t block = 0;
    if (!PixelBlockSize(ctx.width, ctx.height, ctx.out_bits, &block) ||
        !WithinPixelLimit(ctx.src.limits, ctx.width, ctx.height))
        return Fail(ctx.src, status::kBadFormat);
    ctx.out_stride = static_cast<uint32_t>(StrideFor(ctx.width, ctx.out_bits));
    if (ctx.colour_type == 3)
        std::memset(ctx.palette_alpha, 255, sizeof(ctx.palette_alpha));
    return true;
}

// The colour table of 8-bit pictures before gamma: the grey ramp for grey pictures (PLTE fills it
// for palette pictures as the chunk is read).
void SetRamp(const PngContext& ctx, DecodedImage& out) {
    if (!ctx.grey)
        return;
    const uint32_t levels = ctx.bit_depth >= 8 ? 256u : (1u << ctx.bit_depth);
    const uint32_t step = 255 / (levels - 1);
    for (uint32_t i = 0; i < levels; ++i) {
        const uint8_t v = static_cast<uint8_t>(i * step);
        out.info.colors[i] = RgbQuad{v, v, v, 0};
    }
}

// The background transparent pixels are flattened onto, red first.
void ChooseBackground(const PngContext& ctx, const uint8_t* gamma, uint8_t* bg) {
    if (ctx.seen_bkgd && ctx.options.use_file_background) {
        for (int i = 0; i < 3; ++i)
            bg[i] = gamma ? gamma[ctx.file_background[i]] : ctx.file_background[i];
        return;
    }
    const uint32_t c = ctx.options.background;
    bg[0] = static_cast<uint8_t>(c);
    bg[1] = static_cast<uint8_t>(c >> 8);
    bg[2] = static_cast<uint8_t>(c >> 16);
}

// Gamma and compositing of the colour table of 8-bit pictures, once all rows are in.
void FinishTable(PngContext& ctx, const uint8_t* gamma, const uint8_t* mul, DecodedImage& out) {
    RgbQuad* t = out.info.colors;
    if (gamma) {
        for (int i = 0; i < 256; ++i)
            t[i] = RgbQuad{gamma[t[i].blue], gamma[t[i].green], gamma[t[i].red], 0};
    }
    if (!ctx.options.composite || !ctx.transparent)
        return;
    uint8_t bg[3];
    ChooseBackground(ctx, gamma, bg);
    if (ctx.colour_type == 0 && ctx.seen_trns) {
        t[ctx.key[0]] = RgbQuad{bg[2], bg[1], bg[0], 0};
    } else if (ctx.colour_type == 3 && ctx.seen_trns) {
        for (int i = 0; i < 256; ++i) {
            const uint8_t a = ctx.palette_alpha[i];
            const uint8_t na = static_cast<uint8_t>(255 - a);
            t[i].blue = static_cast<uint8_t>(Mul255(mul, a, t[i].blue) + Mul255(mul, na, bg[2]));
            t[i].green = static_cast<uint8_t>(Mul255(mul, a, t[i].green) + Mul255(mul, na, bg[1]));
            t[i].red = static_cast<uint8_t>(Mul255(mul, a, t[i].red) + Mul255(mul, na, bg[0]));
        }
    }
}

void ResetContext(PngContext& ctx) {
    ctx.width = ctx.height = 0;
    ctx.bit_depth = ctx.colour_type = ctx.interlace = 0;
    ctx.grey = ctx.alpha = false;
    ctx.out_bits = 0;
    ctx.out_stride = ctx.filter_bpp = ctx.channels = 0;
    ctx.palette_count = 0;
    std::memset(ctx.palette_alpha, 255, sizeof(ctx.palette_alpha));
    ctx.seen_plte = ctx.seen_idat = ctx.seen_iend = ctx.seen_gama = ctx.seen_bkgd = ctx.seen_trns = false;
    ctx.gamma = 0;
    std::memset(ctx.file_background, 0, sizeof(ctx.file_background));
    std::memset(ctx.key, 0, sizeof(ctx.key));
    ctx.x_pels_per_meter = ctx.y_pels_per_meter = 0;
    ctx.interlaced = ctx.transparent = false;
    ctx.text_count = ctx.comment_count = 0;
    ctx.idat_total = 0;
}

bool DecodePng(PngContext& ctx, DecodedImage& out) {
    DecodeSource& src = ctx.src;
    const uint8_t* data = src.begin;
    const size_t size = SourceSize(src);
    if (!data || size < kAfterIhdr || std::memcmp(data, kSignature, sizeof(kSignature)) != 0)
        return Fail(src, status::kNotFormat);
    if (!ReadHeader(ctx, data, size))
        return false;
    SetRamp(ctx, out);

    const double display = ctx.options.display_gamma / 1000.0;
    uint8_t gamma_table[256];
    const uint8_t* gamma = nullptr;
    const uint8_t* mul = ctx.mul_table ? ctx.mul_table : MulTable();
    platform::PageBlock block;
    bool idat_run_over = false; // a chunk other than IDAT followed the run

    size_t pos = kAfterIhdr;
    for (;;) {
        src.cursor = data + std::min(pos, size);
        Chunk c;
        const ChunkRead read = ReadChunk(data, size, pos, &c);
        if (read == ChunkRead::TopBit)
            return Fail(src, status::kPngChunkLength);
        if (read == ChunkRead::PastEnd)
            return Fail(src, status::kNotFormat);
        const uint8_t* p = data + c.data;
        pos = c.end;
        if (c.type != kIdat && ctx.seen_idat)
            idat_run_over = true;

        switch (c.type) {
        case kIhdr:
            return Fail(src, status::kPngOrder);
        case kPlte:
            if (ctx.colour_type != 3)
                break;
            if (ctx.seen_plte || ctx.seen_idat)
                return Fail(src, status::kPngOrder);
            if (!CrcMatches(data, c))
                return Fail(src, status::kPngCrc);
            OnPlte(ctx, p, c.length, out);
            ctx.seen_plte = true;
            break;
        case kTrns:
            if (!ctx.seen_trns && !ctx.seen_idat && CrcMatches(data, c))
                OnTrns(ctx, p, c.length);
            break;
        case kBkgd:
            if (!ctx.seen_bkgd && !ctx.seen_idat && CrcMatches(data, c))
                OnBkgd(ctx, p, c.length, out);
            break;
        case kGama:
            if (!ctx.seen_gama && !ctx.seen_plte && !ctx.seen_idat && c.length == 4 && CrcMatches(data, c)) {
                bytes::ByteCursor field(p, c.length);
                const uint32_t v = field.U32BE();
                if (v >= 1 && v <= 0x7FFFFFFFu) {
                    ctx.gamma = v;
                    ctx.seen_gama = true;
                }
            }
            break;
        case kPhys:
            if (!ctx.seen_idat && c.length == 9 && CrcMatches(data, c) && p[8] == 1) {
                bytes::ByteCursor field(p, c.length);
                const uint32_t x = field.U32BE(), y = field.U32BE();
                if (x < 0x80000000u && y < 0x80000000u) {
                    ctx.x_pels_per_meter = static_cast<int32_t>(x);
                    ctx.y_pels_per_meter = static_cast<int32_t>(y);
                }
            }
            break;
        case kText: {
            bool is_comment = false;
            if (c.length > 1 && CrcMatches(data, c) && ValidKeyword(p, c.length, &is_comment)) {
                ++ctx.text_count;
                if (is_comment)
                    ++ctx.comment_count;
            }
            break;
        }
        case kIdat: {
            if (idat_run_over)
                return Fail(src, status::kPngOrder);
            if (!CrcMatches(data, c))
                return Fail(src, status::kPngCrc);
            // The rest of the run: each chunk whole, with a good CRC.
            uint64_t total = c.length;
            size_t run_end = c.end;
            while (ChunkTypeAt(data, size, run_end) == kIdat) {
                Chunk next;
                if (ReadChunk(data, size, run_end, &next) != ChunkRead::Ok || !CrcMatches(data, next))
                    return Fail(src, status::kPngIdat);
                total += next.length;
                if (total > 0xFFFFFFFFu)
                    return Fail(src, status::kPngIdat);
                run_end = next.end;
            }
            ctx.idat_total = static_cast<uint32_t>(total);
            ctx.seen_idat = true;
            pos = run_end;

            if (ctx.seen_gama && ctx.options.display_gamma != 0) {
                const double exponent = 1.0 / ((ctx.gamma / 100000.0) * display);
                BuildGammaTable(exponent, gamma_table);
                gamma = gamma_table;
            }
            block = AllocPixelBlock(ctx.width, ctx.height, ctx.out_bits);
            if (!block)
                return Fail(src, status::kNoMemory);
            RowSink sink;
            sink.depth = ctx.bit_depth;
            sink.colour_type = ctx.colour_type;
            sink.gamma = ctx.out_bits == 24 ? gamma : nullptr;
            sink.mul = mul;
            const bool composite = ctx.options.composite && ctx.transparent;
            sink.composite_alpha = composite && ctx.alpha;
            sink.composite_key = composite && ctx.colour_type == 2 && ctx.seen_trns;
            std::memcpy(sink.key, ctx.key, sizeof(sink.key));
            if (composite) {
                // Grey pixels are indices into a table that gamma maps later: they take the file
                // background as stored.
                ChooseBackground(ctx, ctx.out_bits == 24 ? gamma : nullptr, sink.background);
            }
            IdatRun run(data, c.start, run_end);
            if (!DecodeImageData(ctx, run, sink, block.Get()))
                return false;
            break;
        }
        case kIend:
            if (!CrcMatches(data, c))
                return Fail(src, status::kPngCrc);
            ctx.seen_iend = true;
            if (!ctx.seen_idat || (ctx.colour_type == 3 && !ctx.seen_plte))
                return Fail(src, status::kPngMissing);
            if (ctx.out_bits == 8)
                FinishTable(ctx, gamma, mul, out);
            SetBitmapHeader(out, static_cast<int32_t>(ctx.width), static_cast<int32_t>(ctx.height), ctx.out_bits);
            out.info.header.x_pels_per_meter = ctx.x_pels_per_meter;
            out.info.header.y_pels_per_meter = ctx.y_pels_per_meter;
            out.source_bits = (ctx.colour_type == 2 || ctx.colour_type == 6) ? ctx.bit_depth * 3u : ctx.bit_depth;
            out.format = static_cast<uint32_t>(ImageFormat::Png);
            AdoptPixels(out, std::move(block));
            return true;
        default:
            break; // unknown chunks, critical or not, are skipped unchecked
        }
    }
}

// ---- Comment chunks ----------------------------------------------------------------------------------

// Walks the chunks after IHDR, calling `visit` for each whole chunk until it returns false or IEND
// has been visited. False with status 50004 when a chunk is broken before that.
template <typename Visit>
bool WalkChunks(DecodeSource& src, const uint8_t* data, size_t size, Visit visit) {
    size_t pos = kAfterIhdr;
    for (;;) {
        Chunk c;
        if (ReadChunk(data, size, pos, &c) != ChunkRead::Ok)
            return Fail(src, status::kCannotRead);
        if (!visit(c) || c.type == kIend)
            return true;
        pos = c.end;
    }
}

bool IsCommentChunk(const uint8_t* data, const Chunk& c) {
    return c.type == kText && c.length >= 8 && std::memcmp(data + c.data, "Comment", 8) == 0 && CrcMatches(data, c);
}

std::string DropEscapes(const uint8_t* p, size_t n) {
    std::string s;
    s.reserve(n);
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0x1B)
            s.push_back(static_cast<char>(p[i]));
    return s;
}

void PutU32BE(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

int FailWrite(PngContext& ctx) {
    ctx.src.status = status::kWriteFailed;
    return -1;
}

} // namespace

bool PngDecodeFromMemory(PngContext& ctx, const uint8_t* data, size_t length, DecodedImage& out) {
    SourceBegin(ctx.src, out);
    ResetContext(ctx);
    SourceUseMemory(ctx.src, data, length);
    const bool ok = DecodePng(ctx, out);
    SourceEnd(ctx.src);
    return ok;
}

bool PngDecodeFromFile(PngContext& ctx, const std::wstring& path, DecodedImage& out) {
    SourceBegin(ctx.src, out);
    ResetContext(ctx);
    if (!SourceMapFile(ctx.src, path))
        return false;
    const bool ok = DecodePng(ctx, out);
    SourceEnd(ctx.src);
    return ok;
}

bool PngLoad(const DecodeInput& in, const DecodeRequest& request, DecodedImage& out, LoadReport& report) {
    PngContext ctx;
    if (request.options) {
        ctx.src.limits = request.options->limits;
        ctx.src.cancel = request.options->cancel;
        ctx.options = request.options->background;
    }
    const bool ok = in.path ? PngDecodeFromFile(ctx, *in.path, out) : PngDecodeFromMemory(ctx, in.data, in.size, out);
    report.status = ctx.src.status;
    if (ok) {
        report.facts.push_back(DecoderFact{"interlaced", ctx.interlaced ? 1u : 0u});
        report.facts.push_back(DecoderFact{"transparent", ctx.transparent ? 1u : 0u});
        report.facts.push_back(DecoderFact{"texts", ctx.text_count});
        report.facts.push_back(DecoderFact{"comments", ctx.comment_count});
    }
    return ok;
}

bool ReadPngComment(PngContext& ctx, const std::wstring& path, std::wstring* out) {
    ctx.src.status = status::kOk;
    platform::MappedView view;
    if (!view.Open(path)) {
        ctx.src.status = status::kCannotRead;
        return false;
    }
    const uint8_t* data = view.Data();
    WalkChunks(ctx.src, data, view.Size(), [&](const Chunk& c) {
        if (!IsCommentChunk(data, c) || c.length < 9)
            return true;
        std::string text;
        const uint8_t* p = data + c.data + 8;
        const size_t n = c.length - 8u;
        for (size_t i = 0; i < n && text.size() < kMaxCommentBytes; ++i) {
            const char ch = static_cast<char>(p[i]);
            if (ch == 0x1B)
                continue;
            if (ch == '\n' && (text.empty() || text.back() != '\r')) {
                text.push_back('\r');
                if (text.size() >= kMaxCommentBytes)
                    break;
            }
            text.push_back(ch);
        }
        *out = platform::AnsiToWide(text);
        return false;
    });
    return true;
}

int WritePngComment(PngContext& ctx, const std::wstring& source, const std::wstring& dest,
                    const std::wstring& comment, CommentChange* change) {
    ctx.src.status = status::kOk;
    std::string ansi = platform::WideToAnsi(comment);
    if (ansi.size() > kMaxAnsiComment)
        ansi.resize(kMaxAnsiComment);
    if (source == dest)
        return FailWrite(ctx);
    platform::MappedView view;
    if (!view.Open(source))
        return FailWrite(ctx);
    const uint8_t* data = view.Data();
    const size_t size = view.Size();
    const size_t npos = static_cast<size_t>(-1);
    size_t span_begin = npos, span_end = npos;
    const bool walked = size >= kAfterIhdr && WalkChunks(ctx.src, data, size, [&](const Chunk& c) {
        if (IsCommentChunk(data, c)) {
            span_begin = c.start;
            span_end = c.end;
            return false;
        }
        if (c.type == kIend)
            span_begin = span_end = c.start;
        return true;
    });
    if (!walked || span_begin == npos)
        return FailWrite(ctx);

    const std::string text = StoredCommentBytes(ansi, kMaxCommentBytes);
    if (text.empty() && span_begin == span_end)
        return 0;
    std::vector<uint8_t> record;
    if (!text.empty()) {
        record.resize(4 + 4 + 8 + text.size() + 4);
        PutU32BE(record.data(), static_cast<uint32_t>(8 + text.size()));
        std::memcpy(record.data() + 4, "tEXtComment", 12); // keyword with its zero byte
        std::memcpy(record.data() + 16, text.data(), text.size());
        PutU32BE(record.data() + 16 + text.size(), crc::Crc32(record.data() + 4, 12 + text.size()));
    }
    if (!WriteSplicedFile(dest, data, size, span_begin, span_end, record, change))
        return FailWrite(ctx);
    return 1;
}

int ReplacePngComment(PngContext& ctx, const std::wstring& path, const std::wstring& comment,
                       CommentChange* change) {
    return ReplaceThroughTempFile(path, &ctx.src.status, [&](const std::wstring& temp) {
        return WritePngComment(ctx, path, temp, comment, change);
    });
}

bool ListPngText(PngContext& ctx, const uint8_t* data, size_t size, std::vector<PngTextPair>* pairs) {
    ctx.src.status = status::kOk;
    pairs->clear();
    if (!data || size < kAfterIhdr) {
        ctx.src.status = status::kCannotRead;
        return false;
    }
    const bool walked = WalkChunks(ctx.src, data, size, [&](const Chunk& c) {
        if (c.type != kText || c.length <= 1 || data[c.data] == 0 || !CrcMatches(data, c))
            return true;
        const uint8_t* p = data + c.data;
        const size_t n = std::min<size_t>(c.length, 1103);
        const size_t limit = std::min<size_t>(n, 79);
        size_t keyword = 0;
        while (keyword < limit && p[keyword] != 0)
            ++keyword;
        PngTextPair pair;
        pair.keyword = platform::AnsiToWide(DropEscapes(p, keyword));
        if (keyword < n && p[keyword] == 0) {
            const size_t text = std::min<size_t>(n - keyword - 1, 1023);
            pair.text = platform::AnsiToWide(DropEscapes(p + keyword + 1, text));
        }
        pairs->push_back(std::move(pair));
        return pairs->size() < kMaxPngTextPairs;
    });
    return walked && !pairs->empty();
}

bool ListPngTextFile(PngContext& ctx, const std::wstring& path, std::vector<PngTextPair>* pairs) {
    platform::MappedView view;
    if (!view.Open(path)) {
        pairs->clear();
        ctx.src.status = status::kCannotRead;
        return false;
    }
    return ListPngText(ctx, view.Data(), view.Size(), pairs);
}

} // namespace image
