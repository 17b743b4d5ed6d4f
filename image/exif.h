// Exif: the 62 descriptive items of a JPEG's Exif block as label and value texts, for the
// picture-information list. The words come from the language module by string id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/jpeg.h"

namespace image {

constexpr int kExifItemCount = 62;
constexpr uint32_t kExifLabelBase = 51000;

// Finds the text of a language-module string (LoadStringW on Windows, a table in tests and tools).
struct ExifStrings {
    std::wstring (*lookup)(uint32_t id, void* user) = nullptr;
    void* user = nullptr;
    std::wstring Get(uint32_t id) const { return lookup ? lookup(id, user) : std::wstring(); }
};

struct ExifItem {
    bool present = false;
    std::wstring label; // string 51000 + index
    std::wstring value;
};

struct ExifInfo {
    ExifItem items[kExifItemCount];
};

// Loads the labels; done once when the record is created.
void ExifLoadLabels(ExifInfo& info, const ExifStrings& strings);

// Clears every item's value, then reads the first Exif segment of the JPEG. True when an Exif IFD
// was found. A file that cannot be mapped sets status 50004 and gives false; a bad marker segment
// sets 50004 but the items found before it stay.
bool ReadExifInfo(JpegContext& ctx, const std::wstring& path, ExifInfo& info, const ExifStrings& strings);
bool ReadExifInfoFromMemory(JpegContext& ctx, const uint8_t* data, size_t size, ExifInfo& info,
                            const ExifStrings& strings);

// x with exactly `digits` digits after the point, rounded half away from zero; empty when the
// integer digits and `digits` together need more than 9 digits. `plus` adds "+" to positive values.
std::wstring ExifFixed(double x, int digits, bool plus = false);
// The same for the rational numerator / denominator, exactly.
std::wstring ExifFixedRational(int64_t numerator, int64_t denominator, int digits, bool plus = false);

} // namespace image
