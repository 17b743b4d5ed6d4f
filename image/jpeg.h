// JPEG through libjpeg-turbo: decoding (optionally reduced inside the library while decoding), the
// marker scan that finds the Exif orientation and counts comments, encoding into a bounded memory
// buffer, and reading and rewriting the file's comment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/decoded_image.h"
#include "image/load.h"

namespace image {

struct JpegContext;

// Marker-scan hooks. The Exif handler is called with src.cursor at the first IFD and exif_end at the
// end of the Exif segment; its value becomes the scan's result.
struct JpegMarkerHooks {
    uint32_t (*on_exif)(JpegContext& ctx, void* user) = nullptr;
    bool (*stop_after_exif)(JpegContext& ctx, void* user) = nullptr;
    void (*on_comment)(JpegContext& ctx, void* user) = nullptr;
    void* user = nullptr;
};

struct JpegContext {
    DecodeSource src;
    bool grey = false;
    bool progressive = false;
    bool exif = false;
    uint32_t exif_length = 0;
    uint32_t byte_order = 0; // of the Exif block: 0 little-endian, 1 big-endian
    const uint8_t* tiff_base = nullptr;
    const uint8_t* exif_end = nullptr;
    uint16_t (*read16)(const uint8_t*) = nullptr;
    uint32_t (*read32)(const uint8_t*) = nullptr;
    uint32_t stored_width = 0; // before any reduction
    uint32_t stored_height = 0;
    bool reduce = false;
    uint32_t box_width = 0;
    uint32_t box_height = 0;
    uint32_t comment_count = 0; // COM segments before the scan
    uint32_t orientation = 1;   // Exif orientation: 1, 3, 6 or 8
    bool dc_only = false;       // the picture came from the DC scans (and low chroma terms) alone, jpeg_dc.h
    bool allow_dc_only = true;  // false: progressive files are always decoded whole
};

// The scale rule of reduced decoding: 8, 4, 2 or 1 by how many times the box fits into the picture
// (the smaller of the two directions); 1 without a box.
uint32_t JpegScaleDenominator(uint32_t box_width, uint32_t box_height, uint32_t width, uint32_t height);

// Asks for a reduced decode towards a square box of `fit_size`; 0 decodes at full size.
void JpegSetFit(JpegContext& ctx, uint32_t fit_size);

// Both reset the per-picture facts first. Library errors give false with status 50002; a truncated
// file decodes (the missing data reads as the end of the picture).
bool JpegDecodeFromMemory(JpegContext& ctx, const uint8_t* data, size_t length, DecodedImage& out);
bool JpegDecodeFromFile(JpegContext& ctx, const std::wstring& path, DecodedImage& out);

// Registry entry of the format (see load.h): reduced by the fit size; reports the orientation and
// the facts progressive, exif, comments, stored_width, stored_height and dc_only.
bool JpegLoad(const DecodeInput& in, const DecodeRequest& request, DecodedImage& out, LoadReport& report);

// Mark E of the thumbnail engine: 1 for an Exif segment, plus 1 when its orientation is not 1.
uint32_t JpegExifMark(const JpegContext& ctx);

// Walks the marker segments of src.begin..src.end up to the scan (see jpeg_markers.cpp).
uint32_t JpegScanMarkers(JpegContext& ctx, const JpegMarkerHooks& hooks);
// Tag 274 of the IFD at the cursor: 1, 3, 6 or 8; anything else (mirrored forms included) gives 1.
uint32_t JpegOrientationHandler(JpegContext& ctx, void* user);

struct JpegEncoder {
    int width = 0;
    int height = 0;
    int quality = 75; // 0..100
    int h_sampling = 1; // of the first component; 1 x 1 means no chroma subsampling
    int v_sampling = 1;
    uint8_t* output = nullptr;
    size_t capacity = 0;
    size_t produced = 0; // out
};

// Parameters for a picture; a quality above 100 becomes 75.
JpegEncoder JpegEncoderInit(int width, int height, int quality, uint8_t* output, size_t capacity);
// Encodes a 24-bit bottom-up block. Never writes beyond the capacity: a stream that needs more
// space fails.
bool EncodeJpeg(JpegEncoder& enc, const uint8_t* pixels);

// The first comment of the file, CR LF line ends, converted from the ANSI code page. True when the
// file could be mapped; `out` is left alone when there is no comment.
bool ReadJpegComment(JpegContext& ctx, const std::wstring& path, std::wstring* out);

// Writes `source` with its comment replaced by `comment` (ANSI bytes; CR bytes are dropped, at most
// 4,095 bytes kept; empty removes the comment) to `dest`, which must be another file. Gives 1 when
// written, 0 when there is nothing to do, -1 on failure (status 50005).
int WriteJpegComment(JpegContext& ctx, const std::wstring& source, const std::wstring& dest,
                     const std::string& comment, CommentChange* change);
// The same in place: writes a temporary file, then copies it over `path` (status 50003 when that
// fails). The temporary file is removed on every path.
int ReplaceJpegComment(JpegContext& ctx, const std::wstring& path, const std::string& comment,
                       CommentChange* change);

} // namespace image
