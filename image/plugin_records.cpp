#include "image/plugin_records.h"

#include <algorithm>
#include <cstring>

#include "common/path.h"
#include "image/detect.h"

namespace plugins {

namespace {

uint64_t Read64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// A fixed text field: false when it fills its whole width without a NUL.
bool TextField(const uint8_t* p, std::string* out) {
    const void* nul = std::memchr(p, 0, kEntryTextSize);
    if (!nul)
        return false;
    out->assign(reinterpret_cast<const char*>(p), static_cast<const uint8_t*>(nul) - p);
    return true;
}

// Seconds since 1970 as a FILETIME; times beyond what 64 bits of 100 ns hold count as unknown.
platform::FileTime UnixToFileTime(uint64_t seconds) {
    constexpr uint64_t kEpochDelta = 11644473600ULL;
    constexpr uint64_t kLimit = UINT64_MAX / 10000000ULL - kEpochDelta;
    return seconds > kLimit ? 0 : (seconds + kEpochDelta) * 10000000ULL;
}

std::wstring Trim(const std::wstring& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == L' ' || s[b] == L'\t'))
        ++b;
    while (e > b && (s[e - 1] == L' ' || s[e - 1] == L'\t'))
        --e;
    return s.substr(b, e - b);
}

// Expands packed 1- or 4-bit indices to one byte per pixel, row by row (both bottom-up).
void ExpandIndices(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstStride, uint32_t width,
                   uint32_t height, uint32_t bits) {
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* s = src + y * srcStride;
        uint8_t* d = dst + y * dstStride;
        if (bits == 1) {
            for (uint32_t x = 0; x < width; ++x)
                d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
        } else {
            for (uint32_t x = 0; x < width; ++x)
                d[x] = (x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4);
        }
    }
}

} // namespace

uint32_t KindFromVersion(const char* text, size_t length) {
    if (length < 4 || text[0] != '0' || text[1] != '0')
        return kNotUsable;
    if (text[2] == 'I' && text[3] == 'N')
        return kImagePlugin;
    if (text[2] == 'A' && text[3] == 'M')
        return kArchivePlugin;
    return kNotUsable;
}

std::string InfoAnswer(const char* buffer, size_t bufferSize, int written) {
    if (written <= 0 || bufferSize == 0)
        return std::string();
    size_t n = static_cast<size_t>(written) < bufferSize ? static_cast<size_t>(written) : bufferSize;
    const void* nul = std::memchr(buffer, 0, n);
    if (nul)
        n = static_cast<const char*>(nul) - buffer;
    return std::string(buffer, n);
}

void AddPatternExtensions(const std::wstring& patterns, std::vector<std::wstring>* out) {
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = patterns.find(L';', start);
        if (end == std::wstring::npos)
            end = patterns.size();
        const std::wstring pattern = Trim(patterns.substr(start, end - start));
        start = end + 1;
        const size_t dot = pattern.rfind(L'.');
        if (dot == std::wstring::npos || dot + 1 >= pattern.size())
            continue;
        std::wstring ext = pattern.substr(dot + 1);
        if (ext.find_first_of(L"*?\\/:") != std::wstring::npos)
            continue;
        if (image::FormatFromExtension(L"." + ext) != image::ImageFormat::Unknown)
            continue;
        for (wchar_t& c : ext)
            c = paths::FoldAscii(c);
        bool known = false;
        for (const std::wstring& have : *out)
            known = known || paths::EqualFold(have, ext);
        if (!known)
            out->push_back(ext);
    }
}

bool ConvertPluginBitmap(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                         int32_t depth, image::DecodedImage& out) {
    image::FreePixels(out);
    if (!info || !bits || infoSize < sizeof(image::BitmapInfoHeader) || bitsSize == 0)
        return false;
    image::BitmapInfoHeader h;
    std::memcpy(&h, info, sizeof h);
    if (h.size < sizeof h || h.size > infoSize || h.width <= 0 || h.height <= 0 || h.compression != 0)
        return false;
    const uint32_t bitCount = h.bit_count;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24)
        return false;
    const uint32_t width = static_cast<uint32_t>(h.width), height = static_cast<uint32_t>(h.height);
    const uint64_t srcStride = image::StrideFor(width, bitCount);
    // Division form: the rows the header promises must lie inside the pixel handle.
    if (srcStride == 0 || height > bitsSize / srcStride)
        return false;
    const uint32_t outBits = bitCount == 24 ? 24 : 8;
    platform::PageBlock block = image::AllocPixelBlock(width, height, outBits);
    if (!block.Get())
        return false;

    std::memset(&out.info, 0, sizeof out.info);
    out.info.header = h;
    out.info.header.size = sizeof h;
    out.info.header.bit_count = static_cast<uint16_t>(outBits);
    out.info.header.size_image = 0;
    // The colour table follows the header the plug-in wrote, which may be longer than 40 bytes.
    if (bitCount != 24) {
        const size_t tableBytes = std::min<size_t>(infoSize - h.size, sizeof out.info.colors);
        std::memcpy(out.info.colors, info + h.size, tableBytes - tableBytes % sizeof(image::RgbQuad));
    }
    const size_t dstStride = static_cast<size_t>(image::StrideFor(width, outBits));
    if (bitCount == 1 || bitCount == 4)
        ExpandIndices(bits, static_cast<size_t>(srcStride), block.Get(), dstStride, width, height, bitCount);
    else
        std::memcpy(block.Get(), bits, dstStride * height);
    image::AdoptPixels(out, std::move(block));
    out.format = 0;
    out.source_bits = depth > 0 ? static_cast<uint32_t>(depth) : bitCount;
    return true;
}

bool ParseEntryList(const uint8_t* data, size_t size, location::ArchiveListing* out, std::vector<EntrySize>* sizes) {
    out->entries.clear();
    sizes->clear();
    size_t off = 0;
    for (;;) {
        if (off >= size)
            return false; // no terminating record
        const uint8_t* e = data + off;
        if (e[0] == 0)
            return true;
        if (size - off < kEntryFields)
            return false;
        std::string path, name;
        if (!TextField(e + 40, &path) || !TextField(e + 240, &name))
            return false;
        const uint64_t position = Read64(e + 8);
        const uint64_t fileSize = Read64(e + 24);
        off += size - off < kEntryStride ? size - off : kEntryStride;
        if (position > UINT32_MAX)
            continue;
        location::ArchiveEntry entry;
        std::wstring full = platform::AnsiToWide(path);
        if (!full.empty() && full.back() != L'\\' && full.back() != L'/')
            full += L'\\';
        full += platform::AnsiToWide(name);
        location::SplitMemberPath(std::move(full), name.empty(), &entry);
        entry.locator = static_cast<uint32_t>(position);
        entry.size = fileSize > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(fileSize);
        entry.time = UnixToFileTime(Read64(e + 32));
        out->entries.push_back(std::move(entry));
        sizes->push_back({static_cast<uint32_t>(position), fileSize});
    }
}

} // namespace plugins
