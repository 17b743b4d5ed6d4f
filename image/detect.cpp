#include "image/detect.h"

#include <cstring>

#include "common/path.h"

namespace image {

namespace {

ImageFormat Classify(const uint8_t* b) {
    static const uint8_t kPng[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    if (b[0] == 0x42 && b[1] == 0x4D)
        return ImageFormat::Bmp;
    if (std::memcmp(b, kPng, 8) == 0)
        return ImageFormat::Png;
    if (b[0] == 0xFF && b[1] == 0xD8)
        return ImageFormat::Jpeg;
    // Big-endian TIFF: the byte between "MM" and 2A is not checked.
    if ((b[0] == 0x49 && b[1] == 0x49 && b[2] == 0x2A) || (b[0] == 0x4D && b[1] == 0x4D && b[3] == 0x2A))
        return ImageFormat::Tiff;
    if (b[0] == 0x47 && b[1] == 0x49 && b[2] == 0x46)
        return ImageFormat::Gif;
    return ImageFormat::Unknown;
}

} // namespace

ImageFormat DetectFormatFromFile(const std::wstring& path) {
    platform::File file;
    if (!file.Open(path, platform::OpenMode::ReadShared))
        return ImageFormat::Unreadable;
    uint8_t head[8];
    if (!file.ReadExact(head, sizeof(head)))
        return ImageFormat::Unreadable;
    return Classify(head);
}

ImageFormat DetectFormatFromMemory(const uint8_t* data, size_t length) {
    if (!data || length < 8)
        return ImageFormat::Unreadable;
    return Classify(data);
}

ImageFormat FormatFromExtension(const std::wstring& name) {
    static const struct {
        const wchar_t* ext;
        ImageFormat format;
    } kTable[] = {
        {L".jpg", ImageFormat::Jpeg}, {L".png", ImageFormat::Png},   {L".gif", ImageFormat::Gif},
        {L".bmp", ImageFormat::Bmp},  {L".tif", ImageFormat::Tiff},  {L".tiff", ImageFormat::Tiff},
        {L".jpe", ImageFormat::Jpeg}, {L".jpeg", ImageFormat::Jpeg},
    };
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos)
        return ImageFormat::Unknown;
    std::wstring ext = name.substr(dot);
    for (wchar_t& c : ext)
        c = paths::FoldAscii(c);
    for (const auto& entry : kTable)
        if (ext == entry.ext)
            return entry.format;
    return ImageFormat::Unknown;
}

} // namespace image
