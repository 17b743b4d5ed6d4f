// PNG: the program's own decoder (zlib only inflates the image data) and the comment operations of
// the comment dialog (read, rewrite and list tEXt chunks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/decoded_image.h"
#include "image/jpeg.h"
#include "image/load.h"

namespace image {

struct PngContext {
    DecodeSource src;
    // Set by the caller before decoding.
    BackgroundOptions options;
    const uint8_t* mul_table = nullptr; // the shared M table; MulTable() when null

    // From IHDR.
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bit_depth = 0;
    uint8_t colour_type = 0;
    uint8_t interlace = 0;
    bool grey = false;  // types 0 and 4
    bool alpha = false; // types 4 and 6
    uint16_t out_bits = 0;
    uint32_t out_stride = 0;
    uint32_t filter_bpp = 0; // bytes per pixel of the filter unit
    uint32_t channels = 0;

    uint32_t palette_count = 0;
    uint8_t palette_alpha[256] = {};
    bool seen_plte = false;
    bool seen_idat = false;
    bool seen_iend = false;
    bool seen_gama = false;
    bool seen_bkgd = false;
    bool seen_trns = false;
    uint32_t gamma = 0;               // file gamma x 100000
    uint8_t file_background[3] = {};  // red, green, blue from bKGD
    uint8_t key[3] = {};              // tRNS key: red, green, blue (type 2) or grey in key[0] (type 0)
    int32_t x_pels_per_meter = 0;
    int32_t y_pels_per_meter = 0;

    // Facts left for the thumbnail engine.
    bool interlaced = false;
    bool transparent = false; // alpha channel or an accepted tRNS
    uint32_t text_count = 0;  // tEXt chunks with a valid keyword
    uint32_t comment_count = 0;
    uint32_t idat_total = 0;
};

// Both reset the per-picture state and facts first.
bool PngDecodeFromMemory(PngContext& ctx, const uint8_t* data, size_t length, DecodedImage& out);
bool PngDecodeFromFile(PngContext& ctx, const std::wstring& path, DecodedImage& out);

// Registry entry of the format (see load.h): options from the request; facts interlaced,
// transparent, texts and comments.
bool PngLoad(const DecodeInput& in, const DecodeRequest& request, DecodedImage& out, LoadReport& report);

// The text of the first valid "Comment" tEXt chunk, CR LF line ends, from the ANSI code page. True
// when the file could be mapped; `out` is left alone when there is no comment.
bool ReadPngComment(PngContext& ctx, const std::wstring& path, std::wstring* out);

// Writes `source` with its first "Comment" chunk replaced by `comment` (empty removes it; a new one
// goes just before IEND) to `dest`, which must be another file. Gives 1 when written, 0 when there is
// nothing to do, -1 on failure (status 50005).
int WritePngComment(PngContext& ctx, const std::wstring& source, const std::wstring& dest,
                    const std::wstring& comment, CommentChange* change);
// The same in place through a temporary file copied over `path` (status 50003 when that fails).
int ReplacePngComment(PngContext& ctx, const std::wstring& path, const std::wstring& comment,
                      CommentChange* change);

struct PngTextPair {
    std::wstring keyword;
    std::wstring text;
};
constexpr size_t kMaxPngTextPairs = 16;

// The tEXt pairs of a PNG in file order, at most 16. True when at least one was read and the walk
// met no broken chunk (then status 50004 and false; the pairs read so far stay in `pairs`).
bool ListPngText(PngContext& ctx, const uint8_t* data, size_t size, std::vector<PngTextPair>* pairs);
bool ListPngTextFile(PngContext& ctx, const std::wstring& path, std::vector<PngTextPair>* pairs);

} // namespace image
