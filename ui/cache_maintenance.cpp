#include "ui/cache_maintenance.h"

#include "common/dpi.h"
#include "folder/captions.h"

namespace cachelist {

int LocationWidth(int clientWidth, int scrollBarWidth, int screenDpi) {
    // Each column is scaled on its own, as it is inserted, so their sum is taken the same way.
    const int others = dpi::Scale(kNumberWidth, screenDpi) + dpi::Scale(kBoxWidth, screenDpi) +
                       dpi::Scale(kCountWidth, screenDpi) + dpi::Scale(kSizeWidth, screenDpi);
    const int width = clientWidth - scrollBarWidth - others;
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
