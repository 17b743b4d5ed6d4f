#include "folder/captions.h"

#include <cstdio>

#include "image/decoded_image.h"

namespace folder {

std::wstring SelectionCountText(size_t selected, size_t count) {
    if (count == 0)
        return L"-";
    return std::to_wstring(selected) + L"/" + std::to_wstring(count);
}

std::wstring GroupThousands(uint64_t value) {
    const std::wstring digits = std::to_wstring(value);
    if (digits.size() < 4)
        return digits;
    std::wstring out;
    out.reserve(digits.size() + digits.size() / 3);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out.push_back(L',');
        out.push_back(digits[i]);
    }
    return out;
}

std::wstring KiBText(uint32_t bytes) {
    // 64-bit so sizes near 4 GiB do not wrap.
    return GroupThousands((static_cast<uint64_t>(bytes) + 1023) >> 10) + L"KB";
}

std::wstring SizeLine(const ThumbItem& item) {
    return std::to_wstring(item.width) + L"x" + std::to_wstring(item.height) + L" (" +
           KiBText(static_cast<uint32_t>(item.size)) + L")";
}

std::wstring BitsLine(const ThumbItem& item, bool autoRotate) {
    std::wstring line = std::to_wstring(item.bitDepth) + L"bit";
    switch (static_cast<image::ImageFormat>(item.format)) {
    case image::ImageFormat::Png:
        if (item.markA)
            line += L" A";
        if (item.markI)
            line += L" I";
        if (item.markE)
            line += L" Text";
        break;
    case image::ImageFormat::Jpeg:
        if (item.markI)
            line += L" P";
        if (item.markE) {
            line += L" Exif";
            if (item.markE == 2 && autoRotate)
                line += L" R";
        }
        if (item.markC >= 1)
            line += L" C";
        break;
    case image::ImageFormat::Tiff:
        if (item.markC >= 1)
            line += L" C";
        break;
    case image::ImageFormat::Gif:
        if (item.markA)
            line += L" A";
        if (item.markI)
            line += L" I";
        if (item.markC >= 1)
            line += L" C";
        break;
    default: break;
    }
    return line;
}

std::wstring DateLine(int year, int month, int day, int hour, int minute, int second) {
    wchar_t buffer[64];
    std::swprintf(buffer, sizeof(buffer) / sizeof(buffer[0]), L"%d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    return buffer;
}

std::wstring BoxText(int32_t width, int32_t height) { return std::to_wstring(width) + L"x" + std::to_wstring(height); }

int GridColumns(int clientWidth, int cellWidth) {
    if (cellWidth <= 0)
        return 1;
    const int columns = clientWidth / cellWidth;
    return columns < 1 ? 1 : columns;
}

int GridRows(int clientHeight, int cellHeight) {
    if (cellHeight <= 0)
        return 1;
    const int rows = clientHeight / cellHeight;
    return rows < 1 ? 1 : rows;
}

int RowCount(size_t itemCount, int columns) {
    if (columns < 1)
        columns = 1;
    return static_cast<int>((itemCount + static_cast<size_t>(columns) - 1) / static_cast<size_t>(columns));
}

int ScrollMaximum(int cellHeight, size_t itemCount, int columns) { return cellHeight * RowCount(itemCount, columns) - 1; }

int SnapToRow(int cellHeight, int trackPosition) {
    if (cellHeight <= 0)
        return trackPosition;
    return cellHeight * ((cellHeight / 2 + trackPosition) / cellHeight);
}

} // namespace folder
