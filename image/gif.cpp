// GIF files, little-endian:
//
//   "GIF87a" or "GIF89a" | screen width u16, height u16, packed, background index, aspect
//   | global colour table (packed bit 7: 2^((packed & 7) + 1) RGB triples)
//   | blocks: 21 label sub-blocks (extensions), 2C image descriptor + LZW data, 3B trailer
//
// Sub-blocks are a length byte (0 ends the chain) followed by that many bytes. Only the first image
// is decoded; it is placed on the logical screen, whose other pixels take the background index.
//
// Damage policy: a chain of sub-blocks that runs past the data, a frame outside the screen, no colour
// table or a bad minimum code size fail with 50007; an unknown block byte or extension label with
// 50004. Inside the image data a code stream that ends early, or that names a code the table cannot
// have yet, ends decoding quietly: the pixels not reached keep index 0.
#include "image/gif.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "common/byte_cursor.h"

namespace image {

namespace {

constexpr size_t kScreenEnd = 13;
constexpr uint32_t kMaxCodes = 4096;

bool Fail(DecodeSource& src, uint32_t code) {
    src.status = code;
    return false;
}

bool SkipSubBlocks(bytes::ByteCursor& in) {
    for (;;) {
        const uint8_t n = in.U8();
        if (!in.Ok())
            return false;
        if (n == 0)
            return true;
        if (!in.Skip(n))
            return false;
    }
}

// Reads least-significant-bit-first codes from the gathered image data.
class CodeReader {
  public:
    CodeReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    // False when fewer than `width` bits are left.
    bool Read(uint32_t width, uint32_t* code) {
        while (count_ < width) {
            if (pos_ == size_)
                return false;
            bits_ |= static_cast<uint64_t>(data_[pos_++]) << count_;
            count_ += 8;
        }
        *code = static_cast<uint32_t>(bits_ & ((1u << width) - 1));
        bits_ >>= width;
        count_ -= width;
        return true;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint64_t bits_ = 0;
    uint32_t count_ = 0;
};

// The string table: entry e is the string of entry prefix[e] followed by suffix[e].
struct LzwTable {
    uint8_t suffix[kMaxCodes];
    uint8_t first[kMaxCodes]; // first byte of the string, kept so the "code not yet in the table"
                              // case needs no walk
    uint16_t prefix[kMaxCodes];
    uint16_t length[kMaxCodes];
};

class IndexWriter {
  public:
    IndexWriter(uint8_t* out, size_t total) : out_(out), total_(total) {}
    bool Full() const { return pos_ >= total_; }

    // Writes entry `code`'s string, walking the prefixes from the last byte backwards; bytes beyond
    // the frame are dropped.
    void String(const LzwTable& t, uint32_t code) {
        const size_t end = pos_ + t.length[code];
        size_t k = end;
        uint32_t e = code;
        while (k > total_) {
            e = t.prefix[e];
            --k;
        }
        while (k > pos_) {
            out_[--k] = t.suffix[e];
            e = t.prefix[e];
        }
        pos_ = end;
    }
    void Byte(uint8_t b) {
        if (pos_ < total_)
            out_[pos_] = b;
        ++pos_;
    }

  private:
    uint8_t* out_;
    size_t total_;
    size_t pos_ = 0;
};

void DecodeLzw(const uint8_t* data, size_t size, uint32_t min_size, uint8_t* out, size_t total) {
    std::unique_ptr<LzwTable> table(new (std::nothrow) LzwTable);
    if (!table)
        return;
    LzwTable& t = *table;
    std::memset(&t, 0, sizeof(t));
    const uint32_t clear = 1u << min_size;
    const uint32_t end = clear + 1;
    for (uint32_t i = 0; i < clear; ++i) {
        t.suffix[i] = t.first[i] = static_cast<uint8_t>(i);
        t.prefix[i] = static_cast<uint16_t>(i);
        t.length[i] = 1;
    }
    CodeReader codes(data, size);
    IndexWriter writer(out, total);
    uint32_t width = min_size + 1;
    uint32_t next = clear + 2;
    uint32_t code = 0;

    // The first code after the start or a clear is a single byte.
    auto start = [&](uint32_t* prev) {
        do {
            if (!codes.Read(width, &code) || code == end)
                return false;
        } while (code == clear);
        if (code > end)
            return false; // no string can have that code yet
        writer.Byte(static_cast<uint8_t>(code));
        *prev = code;
        return true;
    };

    uint32_t prev = 0;
    if (!start(&prev))
        return;
    while (!writer.Full()) {
        if (!codes.Read(width, &code) || code == end)
            return;
        if (code == clear) {
            width = min_size + 1;
            next = clear + 2;
            if (!start(&prev))
                return;
            continue;
        }
        uint8_t head;
        if (code < next) {
            writer.String(t, code);
            head = t.first[code];
        } else {
            writer.String(t, prev);
            head = t.first[prev];
            writer.Byte(head);
        }
        if (next < kMaxCodes) {
            t.suffix[next] = head;
            t.first[next] = t.first[prev];
            t.prefix[next] = static_cast<uint16_t>(prev);
            t.length[next] = static_cast<uint16_t>(std::min<uint32_t>(t.length[prev] + 1u, kMaxCodes));
            ++next;
            if (next > (1u << width) - 1 && width < 12)
                ++width;
        }
        prev = code;
    }
}

// Reads a colour table of `entries` triples at the cursor into `table`.
bool ReadTable(bytes::ByteCursor& in, uint32_t entries, uint8_t* table) {
    const size_t bytes = static_cast<size_t>(entries) * 3;
    if (!in.Has(bytes))
        return false;
    std::memset(table, 0, 768);
    std::memcpy(table, in.Here(), bytes);
    in.Skip(bytes);
    return true;
}

void ResetContext(GifContext& ctx) {
    ctx.screen_width = ctx.screen_height = 0;
    ctx.colour_bits = 0;
    ctx.background_index = 0;
    ctx.has_global = ctx.has_local = false;
    ctx.frame_left = ctx.frame_top = ctx.frame_width = ctx.frame_height = 0;
    ctx.interlaced = ctx.transparent = ctx.comment = false;
    ctx.transparent_index = 0;
}

// Decoded row of the frame shown at output row i (counted from the frame's top).
uint32_t SourceRow(uint32_t i, uint32_t height, bool interlaced) {
    if (!interlaced)
        return i;
    const uint32_t r1 = (height + 7) / 8;
    const uint32_t r2 = r1 + (height + 3) / 8;
    const uint32_t r3 = r2 + (height + 1) / 4;
    if (i % 8 == 0)
        return i / 8;
    if (i % 8 == 4)
        return r1 + i / 8;
    if (i % 4 == 2)
        return r2 + i / 4;
    return r3 + i / 2;
}

bool DecodeImage(GifContext& ctx, bytes::ByteCursor& in, DecodedImage& out) {
    DecodeSource& src = ctx.src;
    if (!in.Has(9))
        return Fail(src, status::kNotFormat);
    ctx.frame_left = in.U16LE();
    ctx.frame_top = in.U16LE();
    ctx.frame_width = in.U16LE();
    ctx.frame_height = in.U16LE();
    const uint8_t packed = in.U8();
    if (static_cast<uint32_t>(ctx.frame_left) + ctx.frame_width > ctx.screen_width ||
        static_cast<uint32_t>(ctx.frame_top) + ctx.frame_height > ctx.screen_height)
        return Fail(src, status::kNotFormat);
    if (packed & 0x80) {
        const uint32_t bits = (packed & 7u) + 1;
        if (!ReadTable(in, 1u << bits, ctx.local_table))
            return Fail(src, status::kNotFormat);
        ctx.has_local = true;
        ctx.colour_bits = std::max(ctx.colour_bits, bits);
    }
    ctx.interlaced = (packed & 0x40) != 0;
    if (!ctx.has_local && !ctx.has_global)
        return Fail(src, status::kNotFormat);

    const uint8_t min_size = in.U8();
    if (!in.Ok() || min_size < 2 || min_size > 8)
        return Fail(src, status::kNotFormat);

    // Gather the sub-blocks; never more than the data could hold.
    const uint64_t frame_pixels = static_cast<uint64_t>(ctx.frame_width) * ctx.frame_height;
    const uint64_t capacity = std::min<uint64_t>(frame_pixels * 5 / 4 + 260, in.Left());
    std::unique_ptr<uint8_t[]> gathered(new (std::nothrow) uint8_t[static_cast<size_t>(capacity) + 1]);
    if (!gathered)
        return Fail(src, status::kNoMemory);
    size_t have = 0;
    for (;;) {
        const uint8_t n = in.U8();
        if (!in.Ok() || !in.Has(n))
            return Fail(src, status::kNotFormat);
        if (n == 0)
            break;
        const size_t take = std::min<size_t>(n, static_cast<size_t>(capacity) - have);
        std::memcpy(gathered.get() + have, in.Here(), take);
        have += take;
        in.Skip(n);
    }
    if (have == 0)
        return Fail(src, status::kNotFormat);

    platform::PageBlock indices;
    if (frame_pixels > 0) {
        indices = platform::PageBlock(static_cast<size_t>(frame_pixels));
        if (!indices)
            return Fail(src, status::kNoMemory);
        DecodeLzw(gathered.get(), have, min_size, indices.Get(), static_cast<size_t>(frame_pixels));
    }
    gathered.reset();

    const uint32_t width = ctx.screen_width;
    const uint32_t height = ctx.screen_height;
    platform::PageBlock block = AllocPixelBlock(width, height, 8);
    if (!block)
        return Fail(src, status::kNoMemory);
    const size_t stride = static_cast<size_t>(StrideFor(width, 8));
    const uint8_t bg = ctx.background_index;
    for (uint32_t y = 0; y < height; ++y) {
        // A band of 16 rows between looks at the cancel flag.
        if (y % 16 == 0 && DecodeCancelled(src))
            return Fail(src, status::kCannotRead);
        uint8_t* row = block.Get() + static_cast<size_t>(height - 1 - y) * stride;
        if (y < ctx.frame_top || y >= static_cast<uint32_t>(ctx.frame_top) + ctx.frame_height) {
            std::memset(row, bg, width);
            continue;
        }
        const uint32_t source = SourceRow(y - ctx.frame_top, ctx.frame_height, ctx.interlaced);
        std::memset(row, bg, ctx.frame_left);
        if (ctx.frame_width > 0)
            std::memcpy(row + ctx.frame_left, indices.Get() + static_cast<size_t>(source) * ctx.frame_width,
                        ctx.frame_width);
        const uint32_t right = static_cast<uint32_t>(ctx.frame_left) + ctx.frame_width;
        std::memset(row + right, bg, width - right);
    }

    uint8_t* active = ctx.has_local ? ctx.local_table : ctx.global_table;
    if (ctx.options.composite && ctx.transparent) {
        uint8_t colour[3];
        if (ctx.options.use_file_background && ctx.has_global) {
            std::memcpy(colour, ctx.global_table + 3 * bg, 3);
        } else {
            colour[0] = static_cast<uint8_t>(ctx.options.background);
            colour[1] = static_cast<uint8_t>(ctx.options.background >> 8);
            colour[2] = static_cast<uint8_t>(ctx.options.background >> 16);
        }
        std::memcpy(active + 3 * ctx.transparent_index, colour, 3);
    }
    for (int i = 0; i < 256; ++i)
        out.info.colors[i] = RgbQuad{active[3 * i + 2], active[3 * i + 1], active[3 * i], 0};

    SetBitmapHeader(out, static_cast<int32_t>(width), static_cast<int32_t>(height), 8);
    out.source_bits = ctx.colour_bits;
    out.format = static_cast<uint32_t>(ImageFormat::Gif);
    AdoptPixels(out, std::move(block));
    return true;
}

bool DecodeGif(GifContext& ctx, DecodedImage& out) {
    DecodeSource& src = ctx.src;
    const size_t size = SourceSize(src);
    if (!src.begin || size < kScreenEnd || std::memcmp(src.begin, "GIF", 3) != 0 ||
        (std::memcmp(src.begin + 3, "87a", 3) != 0 && std::memcmp(src.begin + 3, "89a", 3) != 0))
        return Fail(src, status::kNotFormat);
    bytes::ByteCursor in(src.begin, size);
    in.Seek(6);
    ctx.screen_width = in.U16LE();
    ctx.screen_height = in.U16LE();
    const uint8_t packed = in.U8();
    ctx.background_index = in.U8();
    in.U8(); // pixel aspect ratio
    if (ctx.screen_width == 0 || ctx.screen_height == 0 ||
        !WithinPixelLimit(src.limits, ctx.screen_width, ctx.screen_height))
        return Fail(src, status::kBadFormat);
    if (packed & 0x80) {
        ctx.colour_bits = (packed & 7u) + 1;
        if (!ReadTable(in, 1u << ctx.colour_bits, ctx.global_table))
            return Fail(src, status::kNotFormat);
        ctx.has_global = true;
    }

    for (;;) {
        src.cursor = in.Here();
        const uint8_t block = in.U8();
        if (!in.Ok())
            return Fail(src, status::kNotFormat);
        if (block == 0x2C)
            return DecodeImage(ctx, in, out);
        if (block == 0x3B)
            return Fail(src, status::kNotFormat);
        if (block != 0x21)
            return Fail(src, status::kCannotRead);
        const uint8_t label = in.U8();
        if (!in.Ok())
            return Fail(src, status::kNotFormat);
        switch (label) {
        case 0xF9:
            if (!in.Has(6))
                return Fail(src, status::kNotFormat);
            if (in.Here()[0] >= 4) {
                ctx.transparent = (in.Here()[1] & 1) != 0;
                ctx.transparent_index = in.Here()[4];
            }
            break;
        case 0xFE:
            ctx.comment = true;
            break;
        case 0x01:
        case 0xFF:
            break;
        default:
            return Fail(src, status::kCannotRead);
        }
        // Every extension's head is itself a sub-block, so one walk skips head and data alike.
        if (!SkipSubBlocks(in))
            return Fail(src, status::kNotFormat);
    }
}

} // namespace

bool GifDecodeFromMemory(GifContext& ctx, const uint8_t* data, size_t length, DecodedImage& out) {
    SourceBegin(ctx.src, out);
    ResetContext(ctx);
    SourceUseMemory(ctx.src, data, length);
    const bool ok = DecodeGif(ctx, out);
    SourceEnd(ctx.src);
    return ok;
}

bool GifDecodeFromFile(GifContext& ctx, const std::wstring& path, DecodedImage& out) {
    SourceBegin(ctx.src, out);
    ResetContext(ctx);
    if (!SourceMapFile(ctx.src, path))
        return false;
    const bool ok = DecodeGif(ctx, out);
    SourceEnd(ctx.src);
    return ok;
}

bool GifLoad(const DecodeInput& in, const DecodeRequest& request, DecodedImage& out, LoadReport& report) {
    GifContext ctx;
    if (request.options) {
        ctx.src.limits = request.options->limits;
        ctx.src.cancel = request.options->cancel;
        ctx.options = request.options->background;
    }
    const bool ok = in.path ? GifDecodeFromFile(ctx, *in.path, out) : GifDecodeFromMemory(ctx, in.data, in.size, out);
    report.status = ctx.src.status;
    if (ok) {
        report.facts.push_back(DecoderFact{"interlaced", ctx.interlaced ? 1u : 0u});
        report.facts.push_back(DecoderFact{"transparent", ctx.transparent ? 1u : 0u});
        report.facts.push_back(DecoderFact{"comments", ctx.comment ? 1u : 0u});
    }
    return ok;
}

} // namespace image
