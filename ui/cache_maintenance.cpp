#include "ui/cache_maintenance.h"

#include "folder/captions.h"

namespace cachelist {

int LocationWidth(int clientWidth, int scrollBarWidth) {
    const int width = clientWidth - scrollBarWidth - (kNumberWidth + kBoxWidth + kCountWidth + kSizeWidth);
    return width > 0 ? width : 0;
}

RowTexts RowTextsOf(const thumbs::CacheEntryInfo& entry) {
    RowTexts row;
    row.number = std::to_wstring(entry.record.number);
    row.location = entry.record.path;
    row.box = std::to_wstring(entry.record.boxWidth) + L"x" + std::to_wstring(entry.record.boxHeight);
    if (entry.dataReadable) {
        row.count = folder::GroupThousands(entry.recordCount);
        row.size = folder::GroupThousands(entry.dataBytes >> 10);
    }
    return row;
}

} // namespace cachelist
