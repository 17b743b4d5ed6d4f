// The decoded-picture record every decoder fills, the input context they share, and the format codes.
//
// A DecodedImage starts with a device-independent bitmap description laid out exactly like a Windows
// BITMAPINFO with 256 colour entries, so GDI can take it without copying. Pixels are bottom-up rows
// padded to 4 bytes, 8 bits (through the colour table) or 24 bits (blue, green, red), in one page
// block of stride x height + 4 bytes that the record owns.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/platform.h"

namespace image {

enum class ImageFormat : uint32_t {
    Unknown = 0,
    Bmp = 1,
    Png = 2,
    Jpeg = 3,
    Tiff = 4,
    Gif = 5,
    Unreadable = 6,
};

const char* ImageFormatName(ImageFormat format);

// Decode status: 50000 is success, anything else the language-module string id of the failure.
namespace status {
constexpr uint32_t kOk = 50000;
constexpr uint32_t kNoMemory = 50001;
constexpr uint32_t kBadFormat = 50002; // invalid or unsupported picture, bad size, size overflow
constexpr uint32_t kReplaceFailed = 50003; // an edited file could not be written or put in place
constexpr uint32_t kCannotRead = 50004; // cannot open or map, or the data ends too early
constexpr uint32_t kWriteFailed = 50005; // writing a file failed (comment rewrite, bitmap file)
constexpr uint32_t kNotFormat = 50007; // not the expected format (PNG, GIF, TIFF), or truncated
constexpr uint32_t kPngInflate = 50009;
constexpr uint32_t kPngCrc = 50011;
constexpr uint32_t kPngChunkLength = 50012;
constexpr uint32_t kPngFirstLength = 50013;
constexpr uint32_t kPngFirstNotIhdr = 50014;
constexpr uint32_t kPngColourType = 50016;
constexpr uint32_t kPngBitDepth = 50017;
constexpr uint32_t kPngCompression = 50018;
constexpr uint32_t kPngFilter = 50019;
constexpr uint32_t kPngInterlace = 50020;
constexpr uint32_t kPngOrder = 50022;
constexpr uint32_t kPngMissing = 50023;
constexpr uint32_t kPngIdat = 50024;
constexpr uint32_t kFirstFailure = 50001;
constexpr uint32_t kLastFailure = 50024;
} // namespace status

struct BitmapInfoHeader {
    uint32_t size;
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bit_count;
    uint32_t compression;
    uint32_t size_image;
    int32_t x_pels_per_meter;
    int32_t y_pels_per_meter;
    uint32_t clr_used;
    uint32_t clr_important;
};

struct RgbQuad {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
};

struct BitmapInfo {
    BitmapInfoHeader header;
    RgbQuad colors[256];
};

// Owns its pixel block; move-only so a block can never be freed twice.
struct DecodedImage {
    BitmapInfo info;
    uint32_t format; // ImageFormat of the producer, 0 for a plug-in
    uint32_t reserved;
    uint8_t* pixels; // page block, null until a decode succeeds
    uint32_t source_size;
    uint32_t source_bits;
    platform::FileTime source_time; // zero when decoded from memory

    DecodedImage();
    ~DecodedImage();
    DecodedImage(const DecodedImage&) = delete;
    DecodedImage& operator=(const DecodedImage&) = delete;
    DecodedImage(DecodedImage&& other) noexcept;
    DecodedImage& operator=(DecodedImage&& other) noexcept;
};

static_assert(sizeof(BitmapInfoHeader) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(sizeof(RgbQuad) == 4, "RGBQUAD is 4 bytes");
static_assert(sizeof(BitmapInfo) == 40 + 256 * 4, "BITMAPINFO with 256 colours");
static_assert(offsetof(BitmapInfoHeader, bit_count) == 14, "biBitCount offset");
static_assert(offsetof(BitmapInfoHeader, x_pels_per_meter) == 24, "biXPelsPerMeter offset");
static_assert(offsetof(BitmapInfoHeader, clr_important) == 36, "biClrImportant offset");
static_assert(offsetof(DecodedImage, info) == 0, "the record starts with its BITMAPINFO");
static_assert(offsetof(DecodedImage, format) == 1064, "format follows the colour table");
static_assert(offsetof(DecodedImage, pixels) == 1072, "pixel pointer offset");
static_assert(offsetof(DecodedImage, source_size) == 1080, "source size offset");
static_assert(offsetof(DecodedImage, source_time) == 1088, "source time offset");

int Width(const DecodedImage& img);
int Height(const DecodedImage& img);
int BitCount(const DecodedImage& img);
// Row length in bytes of the record's pixel block.
size_t Stride(const DecodedImage& img);

// Row length of a picture with `bits` per pixel, padded to 4 bytes.
inline uint64_t StrideFor(uint32_t width, uint32_t bits) {
    return ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
}

// Bytes of a block for width x height at `bits`: stride x height + 4. False (nothing to allocate) when
// width or height is zero or stride x height does not fit in 32 bits.
bool PixelBlockSize(uint32_t width, uint32_t height, uint32_t bits, size_t* bytes);

// A zero-filled page block of stride x height + 4 bytes; empty when the size is invalid (see above) or
// the allocation fails.
platform::PageBlock AllocPixelBlock(uint32_t width, uint32_t height, uint32_t bits);

// Replaces the record's pixel block (the old one is freed).
void AdoptPixels(DecodedImage& img, platform::PageBlock block);
void FreePixels(DecodedImage& img);
// Hands the pixel block to the caller, who frees it with platform::PageFree.
uint8_t* ReleasePixels(DecodedImage& img);

// Sets the header fields every decoder writes: 40, width, height, 1 plane, bit count, the rest zero.
void SetBitmapHeader(DecodedImage& img, int32_t width, int32_t height, uint16_t bits);
// Fills entries 0..255 with the grey ramp.
void SetGreyRamp(DecodedImage& img);

// Replaces an 8-bit block by a 24-bit one through the colour table. On failure the old block is gone
// too and the pixel pointer is null.
bool ConvertTo24Bit(DecodedImage& img);

// Limits a caller may tighten (fuzzing, untrusted sources). Zero means no limit beyond the 32-bit
// block-size rule.
struct ImageLimits {
    uint64_t max_pixels = 0;       // width x height of the output
    uint32_t max_jpeg_scans = 0;   // progressive scans read before giving up
    uint64_t max_codec_memory = 0; // bytes the JPEG library may allocate for one picture
};

// The input context every built-in decoder embeds at its start.
struct DecodeSource {
    // Owned by decode-from-file for the length of one decode.
    platform::MappedView view;
    // A file the context owns (for example a member spilled to disk); deleted at teardown when
    // delete_on_close is set.
    std::wstring temp_path;
    bool delete_on_close = false;
    const uint8_t* begin = nullptr;
    const uint8_t* cursor = nullptr;
    const uint8_t* end = nullptr;
    DecodedImage* target = nullptr;
    uint32_t status = status::kOk;
    ImageLimits limits;
    // Set from another thread to give up a long decode; polled between row bands. A cancelled decode
    // fails (status 50004) and keeps no partial picture.
    const std::atomic<bool>* cancel = nullptr;

    DecodeSource() = default;
    ~DecodeSource();
    DecodeSource(const DecodeSource&) = delete;
    DecodeSource& operator=(const DecodeSource&) = delete;
};

inline bool DecodeCancelled(const DecodeSource& src) {
    return src.cancel && src.cancel->load(std::memory_order_relaxed);
}

// Prepares a decode into `target`: status 50000, the target's old pixels freed, colour table cleared.
void SourceBegin(DecodeSource& src, DecodedImage& target);
// Points begin/cursor/end at a caller's block; source time zero, source size = length (clamped).
void SourceUseMemory(DecodeSource& src, const uint8_t* data, size_t length);
// Maps a whole file and points begin/cursor/end at it; stores its time and size in the target.
// Empty files, files of 4 GiB or more and files that cannot be opened fail with 50004.
bool SourceMapFile(DecodeSource& src, const std::wstring& path);
// Ends one decode: unmaps the file and forgets the pointers.
void SourceEnd(DecodeSource& src);
inline size_t SourceSize(const DecodeSource& src) { return static_cast<size_t>(src.end - src.begin); }
// Edits a file in place the safe way: `write` produces the edited copy at a temporary path (returning 1
// when written, 0 when there is nothing to change, -1 on failure), which is then copied over `path`.
// A failed copy sets 50003 in `status`. The temporary file is always deleted.
int ReplaceThroughTempFile(const std::wstring& path, uint32_t* status,
                           const std::function<int(const std::wstring& temp)>& write);

// What writing a comment did to a file.
struct CommentChange {
    int kind = 0;           // 1 inserted, 0 replaced, -1 removed
    int64_t size_delta = 0; // size of the written file minus size of the source
};
// A comment as the picture formats store it: CR bytes dropped, at most `max_bytes` of `text` read.
std::string StoredCommentBytes(const std::string& text, size_t max_bytes);
// Writes `size` bytes of `data` to `dest` with the bytes [begin, end) replaced by `record` (none:
// removed). False when it cannot be written; the partial file is deleted. `change` (may be null)
// gets what the edit did.
bool WriteSplicedFile(const std::wstring& dest, const uint8_t* data, size_t size, size_t begin, size_t end,
                      const std::vector<uint8_t>& record, CommentChange* change);

// True when `pixels` more pixels are within the caller's limit.
bool WithinPixelLimit(const ImageLimits& limits, uint64_t width, uint64_t height);

} // namespace image
