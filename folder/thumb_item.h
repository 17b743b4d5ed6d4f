// A pane's items: one ThumbItem per listed picture, filled by the thumbnail workers, drawn by the view
// and stored by the thumbnail cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/platform.h"
#include "image/decoded_image.h"

namespace folder {

struct ThumbItem {
    uint8_t state = 0;            // 1 once the worker is done with the item, picture or not
    void* cellWindow = nullptr;   // HWND of the picture cell showing the item (view-owned), or null
    void* textWindow = nullptr;   // HWND of its text cell, or null
    image::BitmapInfoHeader header{}; // of the thumbnail bitmap: 24 bits, bottom-up
    uint8_t* pixels = nullptr;    // page block owned by the item, null until produced
    std::wstring name;
    platform::FileTime time = 0;
    int32_t width = 0; // full picture, before any reduction
    int32_t height = 0;
    int32_t size = 0;     // source file in bytes
    int32_t format = 0;   // ImageFormat
    int32_t bitDepth = 0; // of the source
    int32_t markC = 0;
    int32_t markE = 0;
    int32_t markI = 0;
    int32_t markA = 0;
    int32_t selected = 0;
    int32_t thumbWidth = 0; // size at which the thumbnail is drawn
    int32_t thumbHeight = 0;
    int32_t locator = 0;
    int32_t fromCache = 0; // the thumbnail came from the cache (and may be regenerated)
    std::wstring path;
    // Position in the listing of the load that made the item: its identity while sorting and removal
    // move it around (the worker's results name the item by it).
    size_t entry = 0;

    ThumbItem() = default;
    ~ThumbItem();
    ThumbItem(const ThumbItem&) = delete;
    ThumbItem& operator=(const ThumbItem&) = delete;
    ThumbItem(ThumbItem&& other) noexcept;
    ThumbItem& operator=(ThumbItem&& other) noexcept;
};

// Replaces the item's thumbnail with the picture's block and header (the picture keeps no pixels).
void AttachThumbnail(ThumbItem& item, image::DecodedImage& picture);
void FreeThumbnail(ThumbItem& item);

struct ThumbItemArray {
    std::vector<ThumbItem> items; // allocated count = items.size()
    size_t inUse = 0;             // smaller than the allocated count after items were removed
};

// Replaces the array with `count` zeroed items. False (array empty) when memory runs out.
bool AllocateItems(ThumbItemArray& array, size_t count);
void ReleaseItems(ThumbItemArray& array);

} // namespace folder
