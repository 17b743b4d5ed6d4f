#include "folder/thumb_item.h"

#include <new>
#include <stdexcept>
#include <utility>

namespace folder {

ThumbItem::~ThumbItem() { platform::PageFree(pixels); }

ThumbItem::ThumbItem(ThumbItem&& other) noexcept { *this = std::move(other); }

ThumbItem& ThumbItem::operator=(ThumbItem&& other) noexcept {
    if (this == &other)
        return *this;
    platform::PageFree(pixels);
    state = other.state;
    cellWindow = other.cellWindow;
    textWindow = other.textWindow;
    header = other.header;
    pixels = other.pixels;
    other.pixels = nullptr;
    name = std::move(other.name);
    time = other.time;
    width = other.width;
    height = other.height;
    size = other.size;
    format = other.format;
    bitDepth = other.bitDepth;
    markC = other.markC;
    markE = other.markE;
    markI = other.markI;
    markA = other.markA;
    selected = other.selected;
    thumbWidth = other.thumbWidth;
    thumbHeight = other.thumbHeight;
    locator = other.locator;
    fromCache = other.fromCache;
    path = std::move(other.path);
    entry = other.entry;
    return *this;
}

void AttachThumbnail(ThumbItem& item, image::DecodedImage& picture) {
    platform::PageFree(item.pixels);
    item.header = picture.info.header;
    item.pixels = image::ReleasePixels(picture);
}

void FreeThumbnail(ThumbItem& item) {
    platform::PageFree(item.pixels);
    item.pixels = nullptr;
    item.header = image::BitmapInfoHeader{};
}

bool AllocateItems(ThumbItemArray& array, size_t count) {
    ReleaseItems(array);
    std::vector<ThumbItem> fresh;
    // The item array is the one large allocation of a load; running out is reported, not thrown.
    try {
        fresh.resize(count);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    array.items = std::move(fresh);
    array.inUse = count;
    return true;
}

void ReleaseItems(ThumbItemArray& array) {
    std::vector<ThumbItem>().swap(array.items);
    array.inUse = 0;
}

} // namespace folder
