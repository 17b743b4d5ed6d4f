#include "image/decoded_image.h"

#include <cstring>
#include <utility>

namespace image {

const char* ImageFormatName(ImageFormat format) {
    switch (format) {
    case ImageFormat::Bmp: return "bmp";
    case ImageFormat::Png: return "png";
    case ImageFormat::Jpeg: return "jpeg";
    case ImageFormat::Tiff: return "tiff";
    case ImageFormat::Gif: return "gif";
    case ImageFormat::Unreadable: return "unreadable";
    case ImageFormat::Unknown: break;
    }
    return "unknown";
}

DecodedImage::DecodedImage() {
    std::memset(&info, 0, sizeof(info));
    format = 0;
    reserved = 0;
    pixels = nullptr;
    source_size = 0;
    source_bits = 0;
    source_time = 0;
}

DecodedImage::~DecodedImage() { platform::PageFree(pixels); }

DecodedImage::DecodedImage(DecodedImage&& other) noexcept
    : info(other.info), format(other.format), reserved(other.reserved), pixels(other.pixels),
      source_size(other.source_size), source_bits(other.source_bits), source_time(other.source_time) {
    other.pixels = nullptr;
}

DecodedImage& DecodedImage::operator=(DecodedImage&& other) noexcept {
    if (this != &other) {
        platform::PageFree(pixels);
        info = other.info;
        format = other.format;
        reserved = other.reserved;
        pixels = other.pixels;
        source_size = other.source_size;
        source_bits = other.source_bits;
        source_time = other.source_time;
        other.pixels = nullptr;
    }
    return *this;
}

int Width(const DecodedImage& img) { return img.info.header.width; }
int Height(const DecodedImage& img) { return img.info.header.height; }
int BitCount(const DecodedImage& img) { return img.info.header.bit_count; }

size_t Stride(const DecodedImage& img) {
    const BitmapInfoHeader& h = img.info.header;
    return h.width > 0 ? static_cast<size_t>(StrideFor(static_cast<uint32_t>(h.width), h.bit_count)) : 0;
}

bool PixelBlockSize(uint32_t width, uint32_t height, uint32_t bits, size_t* bytes) {
    if (width == 0 || height == 0 || bits == 0 || bits > 32)
        return false;
    const uint64_t stride = StrideFor(width, bits);
    // Division form: stride x height must fit in 32 bits, with room for the 4 spare bytes.
    const uint64_t limit = 0xFFFFFFFFull - 4;
    if (stride > limit / height)
        return false;
    *bytes = static_cast<size_t>(stride * height + 4);
    return true;
}

platform::PageBlock AllocPixelBlock(uint32_t width, uint32_t height, uint32_t bits) {
    size_t bytes = 0;
    if (!PixelBlockSize(width, height, bits, &bytes))
        return platform::PageBlock();
    return platform::PageBlock(bytes);
}

void AdoptPixels(DecodedImage& img, platform::PageBlock block) {
    platform::PageFree(img.pixels);
    img.pixels = block.Release();
}

void FreePixels(DecodedImage& img) {
    platform::PageFree(img.pixels);
    img.pixels = nullptr;
}

uint8_t* ReleasePixels(DecodedImage& img) { return std::exchange(img.pixels, nullptr); }

void SetBitmapHeader(DecodedImage& img, int32_t width, int32_t height, uint16_t bits) {
    BitmapInfoHeader& h = img.info.header;
    h = BitmapInfoHeader{};
    h.size = 40;
    h.width = width;
    h.height = height;
    h.planes = 1;
    h.bit_count = bits;
}

void SetGreyRamp(DecodedImage& img) {
    for (int i = 0; i < 256; ++i) {
        const uint8_t v = static_cast<uint8_t>(i);
        img.info.colors[i] = RgbQuad{v, v, v, 0};
    }
}

bool ConvertTo24Bit(DecodedImage& img) {
    const BitmapInfoHeader& h = img.info.header;
    if (h.bit_count == 24 && img.pixels)
        return true;
    if (h.bit_count != 8 || !img.pixels || h.width <= 0 || h.height <= 0) {
        FreePixels(img);
        return false;
    }
    const uint32_t w = static_cast<uint32_t>(h.width);
    const uint32_t ht = static_cast<uint32_t>(h.height);
    platform::PageBlock out = AllocPixelBlock(w, ht, 24);
    if (!out) {
        FreePixels(img);
        return false;
    }
    const size_t in_stride = static_cast<size_t>(StrideFor(w, 8));
    const size_t out_stride = static_cast<size_t>(StrideFor(w, 24));
    const RgbQuad* table = img.info.colors;
    for (uint32_t y = 0; y < ht; ++y) {
        const uint8_t* src = img.pixels + y * in_stride;
        uint8_t* dst = out.Get() + y * out_stride;
        for (uint32_t x = 0; x < w; ++x) {
            const RgbQuad& c = table[src[x]];
            dst[0] = c.blue;
            dst[1] = c.green;
            dst[2] = c.red;
            dst += 3;
        }
    }
    AdoptPixels(img, std::move(out));
    img.info.header.bit_count = 24;
    return true;
}

DecodeSource::~DecodeSource() {
    if (delete_on_close && !temp_path.empty() && platform::FileExists(temp_path))
        platform::DeleteFileAt(temp_path);
}

void SourceBegin(DecodeSource& src, DecodedImage& target) {
    src.status = status::kOk;
    src.target = &target;
    FreePixels(target);
    std::memset(target.info.colors, 0, sizeof(target.info.colors));
    target.source_time = 0;
    target.source_size = 0;
}

void SourceUseMemory(DecodeSource& src, const uint8_t* data, size_t length) {
    src.begin = data;
    src.cursor = data;
    src.end = data ? data + length : data;
    if (src.target) {
        src.target->source_time = 0;
        src.target->source_size = length > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(length);
    }
}

bool SourceMapFile(DecodeSource& src, const std::wstring& path) {
    if (!src.view.Open(path)) {
        src.status = status::kCannotRead;
        return false;
    }
    SourceUseMemory(src, src.view.Data(), src.view.Size());
    if (src.target)
        src.target->source_time = src.view.LastWriteTime();
    return true;
}

void SourceEnd(DecodeSource& src) {
    src.view.Close();
    src.begin = src.cursor = src.end = nullptr;
}

bool WithinPixelLimit(const ImageLimits& limits, uint64_t width, uint64_t height) {
    if (limits.max_pixels == 0)
        return true;
    return width != 0 && height <= limits.max_pixels / width;
}

int ReplaceThroughTempFile(const std::wstring& path, uint32_t* status,
                           const std::function<int(const std::wstring& temp)>& write) {
    const std::wstring temp = platform::MakeTempFile();
    if (temp.empty()) {
        *status = status::kReplaceFailed;
        return -1;
    }
    int result = write(temp);
    if (result == 1 && !platform::CopyOver(temp, path)) {
        *status = status::kReplaceFailed;
        result = -1;
    }
    platform::DeleteFileAt(temp);
    return result;
}

std::string StoredCommentBytes(const std::string& text, size_t max_bytes) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < max_bytes; ++i)
        if (text[i] != '\r')
            out.push_back(text[i]);
    return out;
}

bool WriteSplicedFile(const std::wstring& dest, const uint8_t* data, size_t size, size_t begin, size_t end,
                      const std::vector<uint8_t>& record, CommentChange* change) {
    platform::File file;
    if (!file.Open(dest, platform::OpenMode::CreateAlways))
        return false;
    auto write = [&file](const void* bytes, size_t n) { return n == 0 || file.Write(bytes, n) == n; };
    const bool ok = write(data, begin) && write(record.data(), record.size()) && write(data + end, size - end);
    file.Close();
    if (!ok) {
        platform::DeleteFileAt(dest);
        return false;
    }
    if (change) {
        change->kind = record.empty() ? -1 : (begin == end ? 1 : 0);
        change->size_delta = static_cast<int64_t>(record.size()) - static_cast<int64_t>(end - begin);
    }
    return true;
}

} // namespace image
