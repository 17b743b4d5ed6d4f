// The records the plug-in modules hand back, read without trusting them: version strings, extension
// patterns, bitmaps and archive entry lists. Portable, so the rules are tested and fuzzed natively; the
// Windows host (plugin_host_win.cpp) only moves the bytes out of the modules' memory handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/location.h"
#include "image/decoded_image.h"

namespace plugins {

// From GetPluginInfo(0): "00IN" image, "00AM" archive, anything else not usable.
enum PluginKind : uint32_t { kNotUsable = 0, kImagePlugin = 1, kArchivePlugin = 2 };
constexpr uint32_t kImageMask = 1;
constexpr uint32_t kArchiveMask = 2;

constexpr size_t kHeaderSkip = 128;          // a header some files carry before their data
constexpr size_t kHeadSize = 2048 + kHeaderSkip; // what IsSupported is shown, zero-padded
constexpr size_t kInfoBufferSize = 260;      // GetPluginInfo answers for patterns and descriptions
constexpr size_t kEntryStride = 448;         // x64 archive entries: 444 bytes of fields and 4 of padding
constexpr size_t kEntryFields = 444;
constexpr size_t kEntryTextSize = 200;       // the path and the file name fields
constexpr size_t kMaxBitmapInfo = 1064;      // header and 256 colours

uint32_t KindFromVersion(const char* text, size_t length);

// A GetPluginInfo answer: at most `written` characters of `buffer`, cut at the first NUL (many plug-ins
// count it, some write no terminator when the buffer is full).
std::string InfoAnswer(const char* buffer, size_t bufferSize, int written);

// "*.WebP; *.wp2" -> "webp", "wp2": the part after the last dot of each ";"-separated pattern, lower
// case; patterns without a dot, with wildcards after it or of a format the program decodes itself are
// dropped. Appends to `out` what it does not hold yet (case-insensitive).
void AddPatternExtensions(const std::wstring& patterns, std::vector<std::wstring>* out);

// GetPicture's answer converted into `out`: `info` is the bitmap-info handle's bytes, `bits` the pixel
// handle's. Uncompressed bottom-up 1, 4, 8 or 24 bits; 1 and 4 bits become 8-bit indices. Sizes must
// agree with the handles. `depth` is GetPictureInfo's colour depth (0 when it gave none). Format 0.
bool ConvertPluginBitmap(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                         int32_t depth, image::DecodedImage& out);

// What the host keeps of a listed entry beside its listing record.
struct EntrySize {
    uint32_t position;
    uint64_t fileSize; // as the plug-in reported it; 0 may mean unknown
};

// GetArchiveInfo's entry array: records 448 bytes apart up to the one whose first byte is 0. Fails
// when the terminator is missing, a record is cut short or a text field has no NUL. Entries whose
// position does not fit the 32-bit locator are left out. Names come in the ANSI code page.
bool ParseEntryList(const uint8_t* data, size_t size, location::ArchiveListing* out,
                    std::vector<EntrySize>* sizes);

} // namespace plugins
